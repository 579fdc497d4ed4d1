#include "drm/originals.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "base/paths.h"
#include "base/worktree.h"

#include "imaging/bmpraw.h"
#include "imaging/decode.h"

namespace zantrel {

namespace {

// Whether file holds exactly the bytes that next() hands out, length in all:
// compared a buffer at a time, so neither side is held whole.
template <class Next> bool SameBytes(BinaryFile& file, std::int64_t length, Next next) {
    if (file.Size() != length)
        return false;
    std::array<std::uint8_t, CopyBufferSize> mine{};
    file.Seek(0);
    for (std::int64_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(length - done, static_cast<std::int64_t>(mine.size())));
        const std::span<std::uint8_t> chunk(mine.data(), n);
        if (file.Read(chunk) != n || !next(std::span<const std::uint8_t>(chunk)))
            return false;
        done += static_cast<std::int64_t>(n);
    }
    return true;
}

// Whether file holds the length bytes of source at offset.
bool SameAsRange(BinaryFile& file, BinaryFile& source, std::int64_t offset, std::int64_t length) {
    std::array<std::uint8_t, CopyBufferSize> theirs{};
    source.Seek(offset);
    return SameBytes(file, length, [&](std::span<const std::uint8_t> chunk) {
        const std::span<std::uint8_t> into(theirs.data(), chunk.size());
        return source.Read(into) == chunk.size() &&
               std::memcmp(into.data(), chunk.data(), chunk.size()) == 0;
    });
}

bool SameAsBytes(BinaryFile& file, std::span<const std::uint8_t> expected) {
    std::size_t at = 0;
    return SameBytes(
        file, static_cast<std::int64_t>(expected.size()), [&](std::span<const std::uint8_t> chunk) {
            const bool same = std::memcmp(expected.data() + at, chunk.data(), chunk.size()) == 0;
            at += chunk.size();
            return same;
        });
}

} // namespace

std::optional<DrmOriginals> DrmOriginals::Load(const ImageFolders& image) {
    const std::string path = JoinPath(image.binaryDir, CodeGroupFileName(DrmCodeGroup));
    if (!FileExists(path))
        return std::nullopt;
    BinaryFile codeGroup = BinaryFile::OpenRead(path);
    Checked<DrmSummary> drm = InspectDrm(codeGroup);
    if (!drm)
        return std::nullopt;
    return DrmOriginals(image, std::move(codeGroup), std::move(*drm));
}

bool DrmOriginals::HoldsIcon(long number, const std::string& path) {
    const long index = number - PictureCount() - 1;
    if (index < 0 || index >= IconCount())
        return false;
    BinaryFile file = BinaryFile::OpenRead(path);
    return HoldsIcon(number, file);
}

bool DrmOriginals::HoldsIcon(long number, BinaryFile& file) {
    const long index = number - PictureCount() - 1;
    if (index < 0 || index >= IconCount())
        return false;
    const DrmIcon& icon = drm_.icons[static_cast<std::size_t>(index)];
    return SameAsRange(file, codeGroup_, icon.offset, icon.size);
}

std::optional<std::pair<int, int>> DrmOriginals::IconSize(long number) {
    const long index = number - PictureCount() - 1;
    if (index < 0 || index >= IconCount())
        return std::nullopt;
    const DrmIcon& icon = drm_.icons[static_cast<std::size_t>(index)];
    std::array<std::uint8_t, PictureHeadSize> head{};
    codeGroup_.Seek(icon.offset);
    const auto got =
        static_cast<std::size_t>(std::min<std::int64_t>(codeGroup_.Read(head), icon.size));
    auto size = PictureSizeOf({head.data(), got}, !icon.bmp);
    if (!size || size->first <= 0 || size->second == 0 || size->second == INT_MIN)
        return std::nullopt;
    size->second = std::abs(size->second);
    return size;
}

std::vector<ContentKind> DrmOriginals::IconKinds() {
    std::vector<ContentKind> kinds;
    std::array<std::uint8_t, PictureHeadSize> head{};
    for (const DrmIcon& icon : drm_.icons) {
        codeGroup_.Seek(icon.offset);
        const auto n = static_cast<std::size_t>(
            std::clamp<std::int64_t>(icon.size, 0, static_cast<std::int64_t>(head.size())));
        const ContentKind kind = KindOfContent(
            std::span<const std::uint8_t>(head.data(), codeGroup_.Read({head.data(), n})));
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end())
            kinds.push_back(kind);
    }
    return kinds;
}

bool DrmOriginals::Holds(long number, BinaryFile& file) {
    if (number > PictureCount())
        return HoldsIcon(number, file);
    const PictureSlot& p = drm_.pictures[static_cast<std::size_t>(number - 1)];
    if (!folders_.pictures.bmp)
        return SameAsRange(file, codeGroup_, p.offset, p.size);
    return SameAsBytes(file, OriginalPictureBmp(p));
}

const std::vector<std::uint8_t>& DrmOriginals::OriginalPictureBmp(const PictureSlot& slot) {
    // What decompilation's RawToBmp wrote: at most 255 x 255 pixels, so
    // both forms are small enough to hold.
    raw_.resize(static_cast<std::size_t>(
        std::min<std::int64_t>(slot.size, RawPictureSize(slot.width, slot.height))));
    codeGroup_.Seek(slot.offset);
    raw_.resize(codeGroup_.Read(raw_));
    RawBytesToBmp(raw_, slot.width, slot.height, folders_.pictures.replacer, bmp_);
    return bmp_;
}

std::string DrmOriginals::OriginalPath(long number) const {
    if (number <= PictureCount()) {
        if (folders_.pictures.bmp)
            return JoinPath(folders_.iconsDir, NumberedFileName(number, ".bmp"));
        return JoinPath(JoinPath(folders_.drmpackDir, RawsFolderName),
                        NumberedFileName(number, ".raw"));
    }
    const DrmIcon& icon = drm_.icons[static_cast<std::size_t>(number - PictureCount() - 1)];
    return JoinPath(folders_.iconsDir, NumberedFileName(number, icon.bmp ? ".bmp" : ".gif"));
}

std::string DrmOriginals::OtherIconPath(long number) const {
    if (number <= PictureCount())
        return {};
    const DrmIcon& icon = drm_.icons[static_cast<std::size_t>(number - PictureCount() - 1)];
    return JoinPath(folders_.iconsDir, NumberedFileName(number, icon.bmp ? ".gif" : ".bmp"));
}

void DrmOriginals::WriteOriginal(long number, BinaryFile& out) {
    if (number < 1 || number > PictureCount() + IconCount())
        throw std::out_of_range("item " + std::to_string(number) + " is not in the DRM");
    if (number <= PictureCount()) {
        const PictureSlot& slot = drm_.pictures[static_cast<std::size_t>(number - 1)];
        if (folders_.pictures.bmp)
            out.Write(OriginalPictureBmp(slot));
        else
            CopyFileRange(codeGroup_, slot.offset, slot.size, out, true);
        return;
    }
    const DrmIcon& icon = drm_.icons[static_cast<std::size_t>(number - PictureCount() - 1)];
    CopyFileRange(codeGroup_, icon.offset, icon.size, out, true);
}

bool DrmOriginals::Edited(long number) {
    return Edited(
        number, [](const std::string& path) { return FileExists(path); }, nullptr);
}

bool DrmOriginals::Edited(long number, const std::function<bool(const std::string&)>& exists,
                          BinaryFile* open) {
    if (number < 1 || number > PictureCount() + IconCount())
        return true;
    // An icon's file of the other kind is one compilation or a restore passes over.
    if (number > PictureCount() && exists(OtherIconPath(number)))
        return true;
    const std::string original = OriginalPath(number);
    if (open && open->Path() == original)
        return !Holds(number, *open);
    if (!exists(original))
        return true;
    BinaryFile file = BinaryFile::OpenRead(original);
    return !Holds(number, file);
}

std::optional<std::vector<long>> EditedItems(const ImageFolders& image) {
    std::optional<DrmOriginals> originals = DrmOriginals::Load(image);
    if (!originals)
        return std::nullopt;
    std::vector<long> edited;
    const long items = originals->PictureCount() + originals->IconCount();
    for (long number = 1; number <= items; ++number)
        if (originals->Edited(number))
            edited.push_back(number);
    return edited;
}

} // namespace zantrel
