#include "shell/workcheck.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "base/fileio.h"
#include "base/folders.h"
#include "base/paths.h"
#include "base/uiops.h"
#include "base/worktree.h"

#include "imaging/bmpraw.h"
#include "imaging/decode.h"

#include "flash/superfile.h"

#include "drm/drmpack.h"
#include "drm/originals.h"

#include "shell/cleanup.h"
#include "shell/state.h"

namespace zantrel {

namespace {

std::string Num(std::int64_t v) { return std::to_string(v); }

std::string FolderPart(const std::string& path) {
    const std::string name = FileNamePart(path);
    return path.substr(0, path.size() - name.size() - (path.size() > name.size() ? 1 : 0));
}

// A BMP's height as stored is negative for a top-down file.
int Magnitude(int v) { return v < 0 ? (v == INT_MIN ? INT_MAX : -v) : v; }

std::string WithoutStop(std::string text) {
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

// For the files Open wrote that are not for editing.
std::string PutBack(bool two = false) {
    return two ? "; Save As needs them as Open wrote them. Put them back, or discard the session "
                 "and open the flash file again."
               : "; Save As needs it as Open wrote it. Put it back, or discard the session and "
                 "open the flash file again.";
}

// One pass over an image's work files: each item's file is opened once, for
// its check and, with the marks, its comparison with what Open wrote.
class Scanner {
public:
    Scanner(int image, bool strict, EditedMarks marks)
        : image_(image), strict_(strict), marks_(marks == EditedMarks::Read),
          folders_(FoldersOf(image)) {}

    WorkScan Run() {
        while (!Step(SIZE_MAX)) {
        }
        return Done();
    }

    // Examines up to count more items; true once every item is.
    bool Step(std::size_t count) {
        if (!begun_) {
            begun_ = true;
            if (!Begin())
                next_ = ItemCount() + 1;
        }
        for (; count > 0 && next_ <= ItemCount(); --count, ++next_) {
            if (next_ <= static_cast<long>(slots_.size()))
                Item(next_, [&](WorkItem& item) { Picture(item); });
            else
                Item(next_, [&](WorkItem& item) { Icon(item); });
        }
        return next_ > ItemCount();
    }

    WorkScan Done() {
        LoadMarks();
        return std::move(scan_);
    }

    // The items as their folders' listings name them, no file opened: each
    // with its slot and the file compilation would take, unchecked. Once,
    // before Step: what it read, Step takes as it is rather than again.
    WorkScan Listed() {
        try {
            return List();
        } catch (...) {
            // Step then reads it all itself.
            listed_ = false;
            scan_ = {};
            throw;
        }
    }

private:
    WorkScan List() {
        listed_ = Unlinked() && ReadLayout();
        if (!listed_)
            return std::exchange(scan_, {});
        for (long n = 1; n <= ItemCount(); ++n) {
            WorkItem item;
            item.number = n;
            item.bytes = -1;
            item.checked = false;
            if (n <= static_cast<long>(slots_.size())) {
                SlotOf(item);
                item.path = PicturePath(n);
            } else {
                // Compilation takes the ".gif" when both are present.
                item.path = IconPath(n, ".gif");
                if (!InListing(item.path))
                    item.path = IconPath(n, ".bmp");
            }
            if (!InListing(item.path))
                item.path.clear();
            scan_.items.push_back(std::move(item));
        }
        // The problems of the whole DRM found so far stand for Step too.
        WorkScan listed = std::move(scan_);
        scan_ = {};
        scan_.problems = listed.problems;
        return listed;
    }

    long ItemCount() const { return static_cast<long>(slots_.size()) + records_.iconCount; }

    // What comes before the items; false when they cannot be examined.
    bool Begin() {
        if (!listed_ && (!Unlinked() || !ReadLayout()))
            return false;
        if (image_ == 1 && (State().sessionMode & ModeRawImage) == 0)
            CheckFlashPieces();
        LoadMarks();
        return true;
    }

    // Nothing is read through a link out of the tree, so nothing more is
    // looked at while there is one.
    bool Unlinked() {
        if (image_ == 1)
            for (const std::string& link :
                 LinksInWorkTree(false, [&](const std::string& folder) -> const FolderNames& {
                     return ListingOf(folder);
                 }))
                Whole({link}, FileNamePart(link) +
                                  ": a link to elsewhere; Zantrel reads only files inside the "
                                  "work folder. Put the file or folder itself in its place.");
        return scan_.problems.empty();
    }

    // The originals the edited marks are told from, once: a code group that
    // cannot be read fails the whole listing (IoError).
    void LoadMarks() {
        if (!marks_ || own_)
            return;
        own_.emplace(DrmOriginals::Load(FoldersOf(image_)));
        scan_.originalsKnown = own_->has_value();
    }

    // Whether a file is at path, as FileExists says; a name its folder's
    // listing lacks is not looked up, nor, outside Save As's own check, one
    // it shows as a plain file (a file gone since reads as unreadable).
    bool Exists(const std::string& path) {
        const FolderNames& names = Listing(path);
        const std::string name = FileNamePart(path);
        return names.MayHold(name) && ((!strict_ && names.HoldsFile(name)) || FileExists(path));
    }

    // Whether its folder's listing may hold path's name (in any case).
    bool InListing(const std::string& path) { return Listing(path).MayHold(FileNamePart(path)); }

    const FolderNames& Listing(const std::string& path) { return ListingOf(FolderPart(path)); }

    const FolderNames& ListingOf(const std::string& folder) {
        return listings_.try_emplace(folder, folder).first->second;
    }

    void Whole(std::vector<std::string> files, std::string text) {
        scan_.problems.push_back({0, std::move(files), std::move(text)});
    }

    // descr.dat and start.bin as compilation reads them; false when the items
    // cannot be told from them.
    bool ReadLayout() {
        const std::string descr = JoinPath(folders_.drmpackDir, DescrFileName);
        const std::string start = JoinPath(folders_.drmpackDir, StartFileName);
        if (!FileExists(descr)) {
            Whole({descr}, "descr.dat: missing" + PutBack());
            return false;
        }
        try {
            records_ = ReadDescr(descr);
        } catch (const IoError& e) {
            if (e.Code() != IoReadPastEnd)
                throw;
            Whole({descr}, "The DRM record file descr.dat holds " + Num(FileSizeOf(descr) / 4) +
                               " records; it must hold 12 or 15" + PutBack());
            return false;
        }
        if (auto bad = CheckDescr(records_)) {
            Whole({descr}, WithoutStop(*bad) + PutBack());
            return false;
        }
        if (!FileExists(start)) {
            Whole({start}, "start.bin: missing" + PutBack());
            return false;
        }
        BinaryFile file = BinaryFile::OpenRead(start);
        Checked<std::vector<PictureSlot>> slots = ReadStartRegion(file, records_);
        if (!slots) {
            Whole({descr, start}, WithoutStop(slots.Why()) + PutBack(true));
            return false;
        }
        slots_ = std::move(*slots);
        const std::string trail = JoinPath(folders_.drmpackDir, TrailFileName);
        if (!FileExists(trail))
            Whole({trail}, "trail.bin: missing" + PutBack());
        return true;
    }

    // What a superfile is written from besides the code group.
    void CheckFlashPieces() {
        for (std::string_view name : {HeaderFileName, RamdldFileName}) {
            const std::string path = JoinPath(folders_.binaryDir, name);
            if (!FileExists(path))
                Whole({path}, std::string(name) + ": missing" + PutBack());
        }
        if (auto bad = CheckHeaderFile(folders_))
            Whole({JoinPath(folders_.binaryDir, HeaderFileName)}, WithoutStop(*bad) + PutBack());
        else if (auto wrong = CheckRamdldFile(folders_))
            Whole({JoinPath(folders_.binaryDir, RamdldFileName),
                   JoinPath(folders_.binaryDir, HeaderFileName)},
                  WithoutStop(*wrong) + PutBack(true));
    }

    template <class Examine> void Item(long number, Examine examine) {
        WorkItem item;
        item.number = number;
        item.bytes = -1;
        files_.clear();
        open_.reset();
        try {
            examine(item);
        } catch (const IoError& e) {
            if (strict_)
                throw;
            item.fault = WorkFault::Unreadable;
            item.problem =
                FileNamePart(e.Path()) + ": cannot be read (" + IoErrorText(e.Code()) + ").";
            open_.reset();
        }
        if (marks_ && own_->has_value()) {
            try {
                item.edited = own_->value().Edited(
                    number, [&](const std::string& path) { return Exists(path); },
                    open_ ? &*open_ : nullptr);
            } catch (const IoError&) {
                item.edited = true; // its file cannot be read: not Open's
            }
        }
        open_.reset();
        if (item.fault != WorkFault::None) {
            if (files_.empty())
                files_.push_back(item.path);
            scan_.problems.push_back({number, files_, item.problem});
        }
        scan_.items.push_back(std::move(item));
    }

    void Missing(WorkItem& item, std::vector<std::string> files, std::string text) {
        item.fault = WorkFault::Missing;
        item.problem = std::move(text);
        files_ = std::move(files);
    }

    // The file's size and first bytes, from one open, which stays open for
    // the item's edited mark.
    std::vector<std::uint8_t> Head(WorkItem& item, const std::string& path) {
        item.path = path;
        open_ = BinaryFile::OpenRead(path);
        item.bytes = open_->Size();
        std::vector<std::uint8_t> head(BmpHeaderSize);
        head.resize(open_->Read(head));
        return head;
    }

    // Picture item's slot, told in item.
    const PictureSlot& SlotOf(WorkItem& item) const {
        const PictureSlot& slot = slots_[static_cast<std::size_t>(item.number - 1)];
        item.picture = true;
        item.slotWidth = slot.width;
        item.slotHeight = slot.height;
        item.slotBytes = slot.size;
        return slot;
    }

    // The file compilation takes for picture k: its BMP, or without the
    // conversion its raw picture.
    std::string PicturePath(long k) const {
        return State().rawConversionEnabled
                   ? JoinPath(folders_.iconsDir, NumberedFileName(k, ".bmp"))
                   : JoinPath(JoinPath(folders_.drmpackDir, RawsFolderName),
                              NumberedFileName(k, ".raw"));
    }

    std::string IconPath(long n, std::string_view extension) const {
        return JoinPath(folders_.iconsDir, NumberedFileName(n, extension));
    }

    void Picture(WorkItem& item) {
        const long k = item.number;
        const PictureSlot& slot = SlotOf(item);
        const std::string size = Num(slot.width) + " x " + Num(slot.height);
        const std::string path = PicturePath(k);
        const std::string name = FileNamePart(path);
        if (!State().rawConversionEnabled) {
            if (!Exists(path))
                return Missing(item, {path},
                               name + ": missing; put picture " + Num(k) +
                                   " back as a raw picture of " + Num(slot.size) + " bytes.");
            item.path = path;
            // Opened only for the mark; the size does not need it.
            if (marks_)
                open_ = BinaryFile::TryOpenRead(path);
            item.bytes = open_ ? open_->Size() : FileSizeOf(path);
            // A shorter one would leave the rest of the slot holding the old picture's bytes.
            if (item.bytes != slot.size) {
                item.fault = WorkFault::LengthChanged;
                item.problem = name + ": " + Num(item.bytes) +
                               " bytes; a raw picture must keep the " + Num(slot.size) +
                               " bytes of its slot.";
            }
            return;
        }
        if (!Exists(path))
            return Missing(item, {path},
                           name + ": missing; put picture " + Num(k) +
                               " back as a plain 24-bit BMP of " + size + " pixels.");
        const std::vector<std::uint8_t> head = Head(item, path);
        if (const auto sides = PictureSizeOf(head, false)) {
            item.fileWidth = sides->first;
            item.fileHeight = Magnitude(sides->second);
        }
        const std::vector<std::string> faults =
            PictureBmpFaults(head, item.bytes, slot.width, slot.height);
        if (!faults.empty()) {
            const bool resized = item.fileWidth != slot.width || item.fileHeight != slot.height;
            item.fault = KindOfContent(head) == ContentKind::Bmp && resized
                             ? WorkFault::SizeChanged
                             : WorkFault::NotPlainBmp;
            item.problem = PictureBmpProblem(name, faults, slot.width, slot.height);
        } else if (RawPictureSize(slot.width, slot.height) > slot.size) {
            item.fault = WorkFault::DoesNotFit;
            item.problem = name + ": its slot in the DRM holds " + Num(slot.size) +
                           " bytes, too few for " + size + " pixels (start.bin was changed).";
        }
    }

    void Icon(WorkItem& item) {
        const long n = item.number;
        const std::string gif = IconPath(n, ".gif");
        const std::string bmp = IconPath(n, ".bmp");
        // Compilation takes the ".gif" when both are present.
        const bool namedGif = Exists(gif);
        if (!namedGif && !Exists(bmp))
            return Missing(item, {gif, bmp},
                           NumberedFileName(n, ".gif") + ", " + NumberedFileName(n, ".bmp") +
                               ": both missing; put icon " + Num(n) +
                               " back as a GIF or BMP under one of these names.");
        const std::string& path = namedGif ? gif : bmp;
        const std::vector<std::uint8_t> head = Head(item, path);
        if (const auto sides = PictureSizeOf(head, namedGif)) {
            item.fileWidth = sides->first;
            item.fileHeight = Magnitude(sides->second);
        }
        const ContentKind kind = KindOfContent(head);
        if (kind == ContentKind::Gif || kind == ContentKind::Bmp)
            return;
        // Some DRMs hold icons of other kinds: such an icon, and an edited
        // one of a kind the DRM's own icons use, is compiled as it is.
        const std::vector<ContentKind>& kinds = IconKinds();
        if (Original(n) || std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) {
            item.unusual = true;
            return;
        }
        const std::string what = ContentKindName(kind);
        item.fault = WorkFault::NotGifOrBmp;
        item.problem = FileNamePart(path) + ": " +
                       (what.empty() ? "not a picture of a kind Zantrel knows" : what) +
                       "; this DRM's own icons are each " + KindList(kinds) +
                       ": save it as one of those.";
    }

    // The kinds of the DRM's own icons (and, in a pair, of those Port brings);
    // with no original known, the kinds two or more of image 1's icon files
    // share. GIF and BMP always.
    const std::vector<ContentKind>& IconKinds() {
        if (kinds_)
            return *kinds_;
        kinds_.emplace({ContentKind::Gif, ContentKind::Bmp});
        // A file of no kind Zantrel knows, or an empty one, is no kind a DRM uses.
        auto add = [&](ContentKind kind) {
            if (kind != ContentKind::Unknown && kind != ContentKind::Empty &&
                std::find(kinds_->begin(), kinds_->end(), kind) == kinds_->end())
                kinds_->push_back(kind);
        };
        const bool own = Originals(image_, own_);
        if (own)
            for (ContentKind kind : own_->value().IconKinds())
                add(kind);
        if (image_ == 1 && ImageCountOf(State().sessionMode) == ModePair && Originals(2, ported_))
            for (ContentKind kind : ported_->value().IconKinds())
                add(kind);
        if (own)
            return *kinds_;
        std::vector<ContentKind> seen;
        for (long k = 1; k <= records_.iconCount; ++k) {
            const long n = static_cast<long>(slots_.size()) + k;
            for (std::string_view extension : {".gif", ".bmp"}) {
                auto file = BinaryFile::TryOpenRead(IconPath(n, extension));
                if (!file)
                    continue;
                std::array<std::uint8_t, PictureHeadSize> head{};
                const ContentKind kind = KindOfContent({head.data(), file->Read(head)});
                if (std::find(seen.begin(), seen.end(), kind) != seen.end())
                    add(kind);
                seen.push_back(kind);
                break;
            }
        }
        return *kinds_;
    }

    // "a GIF picture, a BMP picture or a PNG picture"
    static std::string KindList(const std::vector<ContentKind>& kinds) {
        std::string list;
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            std::string name = ContentKindName(kinds[i]);
            if (name.empty())
                name = "of a kind Zantrel does not know";
            list += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + name;
        }
        return list;
    }

    // Whether icon n's open file holds what Open wrote for it: image 1's own
    // icon, or in a pair session image 2's icon that Port brings to it.
    bool Original(long n) {
        if (Originals(image_, own_) && own_->value().HoldsIcon(n, *open_))
            return true;
        if (image_ != 1 || ImageCountOf(State().sessionMode) != ModePair || !Originals(2, ported_))
            return false;
        const long k = n - static_cast<long>(slots_.size());
        return ported_->value().HoldsIcon(ported_->value().PictureCount() + k, *open_);
    }

    // Loads an image's originals once; false when none are known.
    bool Originals(int image, std::optional<std::optional<DrmOriginals>>& slot) {
        if (!slot) {
            try {
                slot = DrmOriginals::Load(FoldersOf(image));
            } catch (const IoError&) {
                if (strict_)
                    throw;
                slot = std::optional<DrmOriginals>();
            }
        }
        return slot->has_value();
    }

    int image_;
    bool strict_;
    bool marks_;
    ImageFolders folders_;
    std::map<std::string, FolderNames> listings_; // by folder, listed once
    std::optional<BinaryFile> open_;              // the item's file, when one was opened
    DrmRecords records_;
    std::vector<PictureSlot> slots_;
    std::vector<std::string> files_; // the files the item's problem names, when not its path
    std::optional<std::optional<DrmOriginals>> own_;
    std::optional<std::optional<DrmOriginals>> ported_;
    std::optional<std::vector<ContentKind>> kinds_;
    bool listed_ = false; // Listed read the links and the layout
    bool begun_ = false;
    long next_ = 1; // the next item to examine
    WorkScan scan_;
};

} // namespace

WorkScan ScanWorkFiles(int image, bool strict, EditedMarks marks) {
    return Scanner(image, strict, marks).Run();
}

class WorkScanner::Pass : public Scanner {
    using Scanner::Scanner;
};

WorkScanner::WorkScanner(int image, EditedMarks marks)
    : pass_(std::make_unique<Pass>(image, false, marks)) {}
WorkScanner::~WorkScanner() = default;
WorkScan WorkScanner::Listed() { return pass_->Listed(); }
bool WorkScanner::Step(std::size_t count) { return pass_->Step(count); }
WorkScan WorkScanner::Done() { return pass_->Done(); }

std::vector<WorkProblem> CheckWorkFiles() { return ScanWorkFiles(1, true).problems; }

void ShowWorkProblems(const std::vector<WorkProblem>& problems) {
    std::string details;
    std::vector<std::string> folders;
    for (const WorkProblem& problem : problems) {
        details += (details.empty() ? "" : "\n") + problem.text;
        for (const std::string& file : problem.files) {
            const std::string folder = FolderPart(file);
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(folder);
        }
    }
    std::string where = folders.size() == 1 ? "Folder: " : "Folders: ";
    for (std::size_t i = 0; i < folders.size(); ++i)
        where += (i ? ", " : "") + folders[i];
    const std::string text =
        problems.size() == 1
            ? "Nothing was saved: Save As found a problem in the work files. Put it right, then "
              "save again."
            : "Nothing was saved: Save As found " +
                  Num(static_cast<std::int64_t>(problems.size())) +
                  " problems in the work files. Put them right, then save again.";
    ShowMessage(text, "Error", details + "\n" + where);
}

} // namespace zantrel
