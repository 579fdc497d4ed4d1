#include "shell/workview.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "drm/drmpack.h"
#include "base/fileio.h"
#include "base/paths.h"
#include "base/primitives.h"
#include "imaging/bmpraw.h"
#include "base/state.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

inline constexpr long MaxListedSlots = 65535; // far beyond any phone's DRM

// Returns whether the file's content is a GIF or a BMP (false for a raw picture).
bool DescribeFile(WorkItem& item, const std::string& path) {
    item.path = path;
    item.bytes = FileSizeOf(path);
    const std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    if (extension != ".bmp" && extension != ".gif")
        return false;
    std::vector<std::uint8_t> head(PictureHeadSize);
    try {
        auto file = BinaryFile::TryOpenRead(path);
        head.resize(file ? file->Read(head) : 0);
    } catch (const IoError&) {
        head.clear();
    }
    if (const auto size = PictureSizeOf(head, extension == ".gif")) {
        item.fileWidth = size->first;
        item.fileHeight = std::abs(size->second);
    }
    const ContentKind kind = KindOfContent(head);
    return kind == ContentKind::Gif || kind == ContentKind::Bmp;
}

// The picture descriptors' widths and heights, descriptors 1..count; fewer
// when the file ends early.
std::vector<std::pair<int, int>> ReadPictureSizes(const std::string& path, long count) {
    std::vector<std::pair<int, int>> sizes;
    auto file = BinaryFile::TryOpenRead(path);
    if (!file)
        return sizes;
    file->Seek(PictureDescriptorSize);
    std::array<std::uint8_t, PictureDescriptorSize> record{};
    for (long k = 1; k <= count; ++k) {
        if (file->Read(record) != record.size())
            break;
        const PictureDescriptor descriptor = ParsePictureDescriptor(record.data());
        sizes.emplace_back(descriptor.width, descriptor.height);
    }
    return sizes;
}

} // namespace

WorkView ListWorkItems(int image) {
    WorkView view;
    const ImageFolders folders = FoldersOf(image);
    try {
        const DrmRecords records = ReadDescr(JoinPath(folders.drmpackDir, DescrFileName));
        long pictures = records.extended ? std::max<long>(records.pictureCount, 0) : 0;
        long icons = std::max<long>(records.iconCount, 0);

        // The counts come from an editable file: keep them within the tables they count.
        const std::string rawOffPath = JoinPath(folders.drmpackDir, RawOffFileName);
        if (pictures > 0)
            pictures = std::min<long>(
                pictures,
                std::max<std::int64_t>(FileSizeOf(rawOffPath) / PictureDescriptorSize - 3, 0));
        const std::int64_t offBytes = FileSizeOf(JoinPath(folders.drmpackDir, OffFileName));
        if (offBytes >= 0)
            icons = std::min<long>(icons, std::max<std::int64_t>(offBytes / 4 - 2, 0));
        pictures = std::min(pictures, MaxListedSlots);
        icons = std::min(icons, MaxListedSlots);

        const std::vector<std::pair<int, int>> sizes = ReadPictureSizes(rawOffPath, pictures);
        const bool bmpPictures = State().rawConversionEnabled;
        const std::string rawsDir = JoinPath(folders.drmpackDir, RawsFolderName);
        for (long k = 1; k <= static_cast<long>(sizes.size()); ++k) {
            WorkItem item;
            item.number = k;
            item.picture = true;
            item.slotWidth = sizes[k - 1].first;
            item.slotHeight = sizes[k - 1].second;
            const std::string path = bmpPictures
                                         ? JoinPath(folders.iconsDir, NumberedFileName(k, ".bmp"))
                                         : JoinPath(rawsDir, NumberedFileName(k, ".raw"));
            if (FileExists(path)) {
                DescribeFile(item, path);
                item.sizeChanged = bmpPictures && (item.fileWidth != item.slotWidth ||
                                                   item.fileHeight != item.slotHeight);
            } else {
                item.bytes = -1;
            }
            view.items.push_back(std::move(item));
        }
        const long first = static_cast<long>(sizes.size());
        for (long k = 1; k <= icons; ++k) {
            WorkItem item;
            item.number = first + k;
            // Compilation takes the ".gif" when both are present.
            const std::string gif =
                JoinPath(folders.iconsDir, NumberedFileName(item.number, ".gif"));
            const std::string bmp =
                JoinPath(folders.iconsDir, NumberedFileName(item.number, ".bmp"));
            if (FileExists(gif))
                item.notGifOrBmp = !DescribeFile(item, gif);
            else if (FileExists(bmp))
                item.notGifOrBmp = !DescribeFile(item, bmp);
            else
                item.bytes = -1;
            view.items.push_back(std::move(item));
        }
    } catch (const IoError& e) {
        view.items.clear();
        view.error = IoErrorMessage(e.Code()) + " (" + e.Path() + ")";
    }
    return view;
}

WorkItemCaption CaptionOf(const WorkItem& item) {
    WorkItemCaption caption;
    const auto size = [](int width, int height) {
        return std::to_string(width) + "x" + std::to_string(height);
    };
    if (item.path.empty()) {
        caption.name = std::to_string(item.number);
        caption.detail = "missing";
        caption.marked = true;
        return caption;
    }
    caption.name = FileNamePart(item.path);
    if (item.sizeChanged) {
        caption.detail = "size changed: was " + size(item.slotWidth, item.slotHeight);
        caption.marked = true;
    } else if (item.notGifOrBmp) {
        caption.detail = "not a GIF or BMP";
        caption.marked = true;
    } else if (item.picture) {
        caption.detail = size(item.slotWidth, item.slotHeight);
    } else if (item.fileWidth > 0 && item.fileHeight > 0) {
        caption.detail = size(item.fileWidth, item.fileHeight);
    } else {
        caption.detail = std::to_string(item.bytes) + " bytes";
    }
    return caption;
}

} // namespace zantrel
