#include "shell/edit.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "base/parallel.h"
#include "base/paths.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "imaging/bmpraw.h"
#include "imaging/decode.h"
#include "imaging/gifwrite.h"
#include "imaging/sheet.h"

#include "drm/originals.h"

#include "shell/history.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/thumbnail.h"
#include "shell/workclaim.h"

namespace zantrel {

namespace {

namespace fs = std::filesystem;

Rgb Replacer() { return State().replacer; }

// A file's name or path as a message shows it: bytes a terminal or a box
// would act on, escaped.
std::string NameOf(const std::string& path) { return Printable(FileNamePart(path)); }
std::string PathOf(const std::string& path) { return Printable(path); }

std::string SizeText(int width, int height) {
    return std::to_string(width) + " × " + std::to_string(height) + " pixels";
}

// Image 1's items and their originals, as one edit sees them. Everything the
// workers of an export or import read is here, read-only: the originals'
// file is read before they start.
struct EditContext {
    WorkView work;
    std::optional<DrmOriginals> originals;
    std::map<long, std::size_t> index;
    // The size of the phone's own icon in each slot whose file cannot be read.
    std::map<long, std::pair<int, int>> iconSlots;

    const WorkItem* Find(long number) const {
        const auto found = index.find(number);
        return found == index.end() ? nullptr : &work.items[found->second];
    }
};

// An icon whose file cannot be read takes the phone's own icon's size.
void NoteIconSlot(EditContext& context, const WorkItem& item) {
    if (!item.picture && (item.fileWidth <= 0 || item.fileHeight == 0) && context.originals)
        if (auto size = context.originals->IconSize(item.number))
            context.iconSlots[item.number] = *size;
}

Checked<EditContext> LoadContext(EditedMarks marks = EditedMarks::Read) {
    if (const std::optional<Outcome> refused = RefuseWorkFolderForSession())
        return Checked<EditContext>::Refusal(refused->message);
    EditContext context;
    context.work = ListWorkItems(1, marks);
    if (!context.work.error.empty() && context.work.items.empty())
        return Checked<EditContext>::Refusal(context.work.error);
    context.originals = DrmOriginals::Load(FoldersOf(1));
    for (std::size_t i = 0; i < context.work.items.size(); ++i) {
        const WorkItem& item = context.work.items[i];
        context.index[item.number] = i;
        NoteIconSlot(context, item);
    }
    return context;
}

// What one item's new file holds, and where it goes.
struct NewFile {
    std::string target;
    std::vector<std::uint8_t> bytes;
    std::string stray; // an icon's file of the other kind, which would hide it
};

// The file an item's new content goes to: the one compilation takes now, or
// where Open put it.
std::string TargetOf(const WorkItem& item, const EditContext& context) {
    if (!item.path.empty() && !(item.picture && item.fault == WorkFault::Missing))
        return item.path;
    if (context.originals)
        return context.originals->OriginalPath(item.number);
    const ImageFolders folders = FoldersOf(1);
    if (item.picture && !State().rawConversionEnabled)
        return JoinPath(JoinPath(folders.drmpackDir, RawsFolderName),
                        NumberedFileName(item.number, ".raw"));
    return JoinPath(folders.iconsDir,
                    NumberedFileName(item.number, item.picture ? ".bmp" : ".gif"));
}

// The size an item takes a new picture of width x height at, and where that
// size comes from.
struct SlotSize {
    int width = 0;
    int height = 0;
    enum class From { Slot, IconFile, PhonesIcon, Picture } from = From::Slot;
};

SlotSize SizeFor(const WorkItem& item, const EditContext& context, int width, int height,
                 const ReplaceOptions& options) {
    if (item.picture)
        return {item.slotWidth, item.slotHeight, SlotSize::From::Slot};
    if (options.iconTakesNewSize)
        return {width, height, SlotSize::From::Picture};
    if (item.fileWidth > 0 && item.fileHeight != 0)
        return {item.fileWidth, std::abs(item.fileHeight), SlotSize::From::IconFile};
    // The icon's file cannot be read: the phone's own icon says the slot's size.
    if (const auto found = context.iconSlots.find(item.number); found != context.iconSlots.end())
        return {found->second.first, found->second.second, SlotSize::From::PhonesIcon};
    return {width, height, SlotSize::From::Picture};
}

// picture as item takes it at size: transparent where less than half opaque.
Picture Fitted(const Picture& picture, const SlotSize& size, Fit fit) {
    return Flattened(FitPicture(picture, size.width, size.height, fit));
}

// The new file for item holding fitted, or nullopt when those are the pixels
// it shows now (current; the file stays untouched).
std::optional<NewFile> EncodeFor(const WorkItem& item, const EditContext& context,
                                 const Picture& fitted, const std::optional<Picture>& current) {
    if (current && current->width == fitted.width && current->height == fitted.height &&
        current->pixels == fitted.pixels)
        return std::nullopt;
    NewFile file;
    file.target = TargetOf(item, context);
    const std::string kind = UpperExtension(file.target);
    if (kind == ".RAW") {
        file.bytes = EncodeRawPicture(fitted.pixels, fitted.width, fitted.height, Replacer());
        // A slot's raw keeps its length: what lay past the picture stays.
        std::vector<std::uint8_t> tail;
        if (auto old = BinaryFile::TryOpenRead(file.target);
            old && old->Size() == item.slotBytes &&
            item.slotBytes > static_cast<std::int64_t>(file.bytes.size())) {
            tail.resize(static_cast<std::size_t>(item.slotBytes) - file.bytes.size());
            old->Seek(static_cast<std::int64_t>(file.bytes.size()));
            old->Read(tail);
        }
        file.bytes.insert(file.bytes.end(), tail.begin(), tail.end());
        file.bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(item.slotBytes, 0)));
    } else if (kind == ".GIF") {
        file.bytes = EncodeGif(fitted);
    } else {
        file.bytes = EncodeBmp24(fitted, Replacer());
    }
    if (!item.picture)
        file.stray = JoinPath(ParentFolder(file.target),
                              NumberedFileName(item.number, kind == ".GIF" ? ".bmp" : ".gif"));
    return file;
}

void Stage(StagedReplacements& staging, const NewFile& file) {
    staging.Stage(file.target, file.bytes);
    if (!file.stray.empty())
        staging.Remove(file.stray);
}

// Why a source file's name and content disagree ("it is a JPEG picture named
// .png"); nullopt when they agree or the name says nothing.
std::optional<std::string> NameMismatch(const std::string& path) {
    const std::string extension = UpperExtension(path);
    ContentKind named = ContentKind::Unknown;
    if (extension == ".PNG")
        named = ContentKind::Png;
    else if (extension == ".JPG" || extension == ".JPEG")
        named = ContentKind::Jpeg;
    else if (extension == ".GIF")
        named = ContentKind::Gif;
    else if (extension == ".BMP")
        named = ContentKind::Bmp;
    if (named == ContentKind::Unknown)
        return std::nullopt;
    std::uint8_t head[PictureHeadSize] = {};
    std::size_t got = 0;
    try {
        if (auto file = BinaryFile::TryOpenRead(path))
            got = file->Read(head);
    } catch (const IoError&) {
        return std::nullopt; // the decoder says it cannot be read
    }
    const ContentKind kind = KindOfContent({head, got});
    if (kind == named || kind == ContentKind::Unknown || kind == ContentKind::Empty)
        return std::nullopt;
    return "it is " + ContentKindName(kind) + " named " + Printable(ExtensionOf(path));
}

// A source file's pixels, or why it cannot be used.
Checked<Picture> DecodeSource(const std::string& path) {
    std::string why;
    if (auto mismatch = NameMismatch(path))
        return Checked<Picture>::Refusal(*mismatch);
    if (auto picture = DecodePictureFile(path, &why))
        return std::move(*picture);
    return Checked<Picture>::Refusal(why);
}

// Picture files named by number in folder: "12.png" is item 12's.
struct FolderEntry {
    long number = 0;
    std::string path;
};
constexpr std::string_view PictureExtensions[] = {".PNG", ".JPG", ".JPEG", ".GIF", ".BMP", ".TGA"};

std::vector<FolderEntry> PictureFilesIn(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder), ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        const std::string name = Utf8FromPath(entry.path().filename());
        const std::size_t dot = name.find('.');
        if (dot == 0 || dot == std::string::npos || dot > 6 ||
            name.find_first_not_of("0123456789") != dot)
            continue;
        // The number's dot is the name's only one.
        const std::string extension = UpperExtension(name);
        if (dot + extension.size() != name.size() ||
            std::find(std::begin(PictureExtensions), std::end(PictureExtensions), extension) ==
                std::end(PictureExtensions))
            continue;
        entries.push_back({std::stol(name.substr(0, dot)), JoinPath(folder, name)});
    }
    if (ec)
        throw IoError(IoCodeFromErrorCode(ec), folder, IoError::Subject::Folder);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return a.number != b.number ? a.number < b.number : a.path < b.path;
    });
    return entries;
}

// A folder given or chosen in the picker; nullopt when the picker was
// cancelled.
std::optional<std::string> FolderFor(std::optional<std::string> folder, const std::string& title) {
    if (!folder)
        folder = AskFolder(title);
    return folder;
}

Outcome NoFolder(const std::string& folder) {
    return Outcome::Refusal("The folder " + PathOf(folder) + " does not exist.");
}

std::string NumberList(const std::vector<long>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size() && i < 30; ++i)
        text += (i ? ", " : "") + std::to_string(numbers[i]);
    if (numbers.size() > 30)
        text += ", ... (" + std::to_string(numbers.size()) + " in all)";
    return text;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < 30; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > 30)
        text += ", ... (" + std::to_string(names.size()) + " in all)";
    return text;
}

std::string Items(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " item" : " items");
}

std::string Pictures(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " picture" : " pictures");
}

// Whether files of a person's own may be replaced: existing names the
// files in folder that an export would replace. Nullopt to go on; an outcome
// (a refusal, or Done for a no) to stop with.
std::optional<Outcome> MayReplace(const std::vector<std::string>& existing,
                                  const std::string& folder, Overwrite overwrite,
                                  std::string_view caption) {
    if (existing.empty() || overwrite == Overwrite::Replace)
        return std::nullopt;
    const bool one = existing.size() == 1;
    const std::string them = one ? "it" : "them";
    const std::string files = (one ? "This file in " : "These files in ") + PathOf(folder) +
                              (one ? " exists" : " exist") +
                              " and would be replaced: " + NameList(existing) + ".";
    if (overwrite == Overwrite::Refuse)
        return Outcome::Refusal(files + " Nothing was written; --overwrite replaces " + them + ".");
    if (AskConfirmation(files + " Replace " + them + "?", std::string(caption),
                        DefaultAnswer::Cancel))
        return std::nullopt;
    return Outcome{};
}

// A folder made for an export, removed again (when still empty) unless the
// export is done.
class MadeFolder {
public:
    explicit MadeFolder(const std::string& folder) {
        if (FolderExists(folder))
            return;
        std::error_code ec;
        fs::create_directories(PathFromUtf8(folder), ec);
        if (ec)
            throw IoError(IoCodeFromErrorCode(ec), folder, IoError::Subject::Folder);
        made_ = folder;
    }
    MadeFolder(const MadeFolder&) = delete;
    MadeFolder& operator=(const MadeFolder&) = delete;
    ~MadeFolder() {
        std::error_code ignored; // a folder that holds something stays
        if (!made_.empty())
            fs::remove(PathFromUtf8(made_), ignored);
    }
    void Keep() { made_.clear(); }

private:
    std::string made_;
};

} // namespace

std::optional<Picture> ItemPicture(const WorkItem& item) {
    std::optional<Picture> picture =
        DecodeItemFile(item.path, item.slotWidth, item.slotHeight, Replacer());
    if (!picture)
        return std::nullopt;
    return Flattened(std::move(*picture));
}

namespace {

std::string NoItem(long number) {
    return "There is no item " + std::to_string(number) + " in " + Printable(FlashFileName(1)) +
           ".";
}

// What the question says about the size the picture is written at.
std::string SizeSentence(const Picture& picture, const SlotSize& size) {
    const bool fitted = picture.width != size.width || picture.height != size.height;
    const std::string at = SizeText(size.width, size.height);
    switch (size.from) {
    case SlotSize::From::PhonesIcon:
        return std::string(fitted ? " It is fitted to " : " It is written at ") + at +
               ", the size of the phone's own icon in this slot.";
    case SlotSize::From::Picture:
        return " It is written at its own size, " + at + ".";
    default:
        return fitted ? " It is fitted to " + at + "."
                      : " It is written at " + at + ", the item's size.";
    }
}

Outcome Replace(long number, std::optional<std::string> source, const ReplaceOptions& options) {
    constexpr std::string_view Caption = "Replace";
    auto context = LoadContext();
    if (!context)
        return Outcome::Refusal(context.Why());
    const WorkItem* item = context->Find(number);
    if (!item)
        return Outcome::Refusal(NoItem(number));
    if (!source)
        source = AskOpenFile("Replace " + std::to_string(number) + " with",
                             std::string(PictureFilter), true);
    if (!source)
        return {};
    const auto picture = DecodeSource(*source);
    if (!picture)
        return Outcome::Refusal(NameOf(*source) + " cannot be used: " + picture.Why() + ".\n" +
                                PathOf(*source) + "\nNothing was changed.");
    const std::optional<Picture> current = ItemPicture(*item);
    SlotSize size = SizeFor(*item, *context, picture->width, picture->height, options);
    Picture fitted = Fitted(*picture, size, options.fit);
    if (options.askFirst) {
        const Picture shown = SideBySide(current, fitted, 160);
        PictureQuestion question;
        question.caption = std::string(Caption);
        question.text = "Replace " + NameOf(TargetOf(*item, *context)) + " with " +
                        NameOf(*source) + "?" + SizeSentence(*picture, size);
        // An icon may take the picture's own size instead.
        if (!item->picture && size.from != SlotSize::From::Picture &&
            (picture->width != fitted.width || picture->height != fitted.height)) {
            question.checkBox =
                "Keep the picture's own size, " + SizeText(picture->width, picture->height);
            ReplaceOptions ownSize = options;
            ownSize.iconTakesNewSize = true;
            const SlotSize own = SizeFor(*item, *context, picture->width, picture->height, ownSize);
            question.checkedPixels =
                SideBySide(current, Fitted(*picture, own, options.fit), 160).pixels;
        }
        question.pixels = shown.pixels;
        question.width = shown.width;
        question.height = shown.height;
        if (!AskPictureQuestion(question))
            return {};
        if (question.checked && !question.checkBox.empty()) {
            size = {picture->width, picture->height, SlotSize::From::Picture};
            fitted = Fitted(*picture, size, options.fit);
        }
    }
    const auto file = EncodeFor(*item, *context, fitted, current);
    if (!file) {
        SetStatusText(NameOf(*source) + " shows what item " + std::to_string(number) +
                      " already shows: nothing changed");
        return {};
    }
    StagedReplacements staging;
    Stage(staging, *file);
    CommitStep(staging, "Replace " + NameOf(file->target), JournalPath(file->target));
    SetStatusText("Replaced " + NameOf(file->target) + " with " + NameOf(*source));
    return {};
}

} // namespace

CommandResult ReplaceItem(long number, std::optional<std::string> source,
                          const ReplaceOptions& options) {
    return ShowRefusal(Replace(number, std::move(source), options), "Replace");
}

Picture FittedForItem(const WorkItem& item, const Picture& picture, const ReplaceOptions& options) {
    EditContext context;
    if (!item.picture && (item.fileWidth <= 0 || item.fileHeight == 0)) {
        context.originals = DrmOriginals::Load(FoldersOf(1));
        NoteIconSlot(context, item);
    }
    return Fitted(picture, SizeFor(item, context, picture.width, picture.height, options),
                  options.fit);
}

bool StageItemPicture(StagedReplacements& staging, const WorkItem& item, const Picture& fitted) {
    EditContext context;
    // Where the item's file is missing, its target is where Open put it.
    if (item.path.empty() || item.fault == WorkFault::Missing)
        context.originals = DrmOriginals::Load(FoldersOf(1));
    const auto file = EncodeFor(item, context, fitted, ItemPicture(item));
    if (!file)
        return false;
    Stage(staging, *file);
    return true;
}

Picture SideBySide(const std::optional<Picture>& now, const Picture& then, int side) {
    constexpr int Margin = 12;
    constexpr std::uint32_t White = 0xFFFFFFFF;
    const int width = 3 * Margin + 2 * side;
    const int height = 2 * Margin + side + 4 + TextHeight;
    Picture canvas = FilledPicture(width, height, White);
    const auto place = [&](const std::optional<Picture>& picture, int left,
                           std::string_view label) {
        const Picture square = SquareOf(picture, side);
        for (int y = 0; y < side; ++y)
            std::copy_n(square.pixels.begin() + static_cast<std::ptrdiff_t>(y) * side, side,
                        &canvas.At(left, Margin + y));
        DrawText(canvas, left + (side - TextWidth(label)) / 2, Margin + side + 4, label,
                 0xFF404040);
    };
    place(now, Margin, now ? "Now" : "Now: missing");
    place(then, 2 * Margin + side, "New");
    return canvas;
}

namespace {

void Restore(EditContext& context, const std::vector<long>& numbers, const std::string& stepName) {
    StagedReplacements staging;
    for (long number : numbers) {
        const std::string target = context.originals->OriginalPath(number);
        BinaryFile out = staging.Stage(target);
        context.originals->WriteOriginal(number, out);
        out.Close();
        if (const std::string other = context.originals->OtherIconPath(number); !other.empty())
            staging.Remove(other);
    }
    if (!staging.Empty())
        CommitStep(staging, stepName,
                   JournalPath(context.originals->OriginalPath(numbers.front())));
}

Checked<EditContext> LoadWithOriginals() {
    Checked<EditContext> context = LoadContext();
    if (context && !context->originals)
        return Checked<EditContext>::Refusal(
            "The originals are not known: " + std::string(CodeGroupFileName(DrmCodeGroup)) +
            " is missing from " + PathOf(FoldersOf(1).binaryDir) +
            " or was changed.\nNothing was restored.");
    return context;
}

Outcome RestoreOne(long number) {
    auto context = LoadWithOriginals();
    if (!context)
        return Outcome::Refusal(context.Why());
    const long items = context->originals->PictureCount() + context->originals->IconCount();
    if (number < 1 || number > items)
        return Outcome::Refusal(NoItem(number));
    if (!context->originals->Edited(number)) {
        SetStatusText("Item " + std::to_string(number) + " is as Open wrote it");
        return {};
    }
    Restore(*context, {number}, "Restore " + NameOf(context->originals->OriginalPath(number)));
    SetStatusText("Restored " + NameOf(context->originals->OriginalPath(number)));
    return {};
}

Outcome RestoreAll() {
    constexpr std::string_view Caption = "Restore All Originals";
    auto context = LoadWithOriginals();
    if (!context)
        return Outcome::Refusal(context.Why());
    std::vector<long> edited;
    const long items = context->originals->PictureCount() + context->originals->IconCount();
    for (long number = 1; number <= items; ++number)
        if (context->originals->Edited(number))
            edited.push_back(number);
    const std::string flash = Printable(FlashFileName(1));
    if (edited.empty()) {
        ShowMessage("No item of " + flash + " is edited.", std::string(Caption));
        return {};
    }
    if (!AskConfirmation(
            "Put " + Items(edited.size()) + " of " + flash +
                " back as Open wrote them? Their edits are lost: " + NumberList(edited) + ".",
            std::string(Caption), DefaultAnswer::Cancel))
        return {};
    Restore(*context, edited, "Restore All of " + Items(edited.size()));
    const std::string report = "Restored " + Items(edited.size()) + ".";
    ShowMessage(report, std::string(Caption));
    SetStatusText(report);
    return {};
}

} // namespace

CommandResult RestoreItem(long number) {
    return ShowRefusal(RestoreOne(number), "Restore Original");
}

CommandResult RestoreAllItems() { return ShowRefusal(RestoreAll(), "Restore All Originals"); }

namespace {

std::string PngName(long number) { return std::to_string(number) + ".png"; }

Outcome Export(std::optional<std::string> chosen, Overwrite overwrite) {
    constexpr std::string_view Caption = "Export Pictures";
    auto context = LoadContext(EditedMarks::Skipped);
    if (!context)
        return Outcome::Refusal(context.Why());
    const auto folder = FolderFor(chosen, "Export the pictures and icons as PNG files to");
    if (!folder)
        return {};
    const std::vector<WorkItem>& items = context->work.items;
    // Only what is there to export can replace anything.
    std::vector<std::string> existing;
    for (const WorkItem& item : items)
        if (!item.path.empty() && FileExists(JoinPath(*folder, PngName(item.number))))
            existing.push_back(PngName(item.number));
    if (auto stop = MayReplace(existing, *folder, overwrite, Caption))
        return *stop;
    MadeFolder made(*folder);

    ProgressScope scope("Exporting pictures");
    StagedReplacements staging;
    std::vector<long> skipped;
    // Decoded and compressed on every core, written here in the items' order.
    ProduceInOrder<std::optional<std::vector<std::uint8_t>>>(
        items.size(),
        [&](std::size_t i) -> std::optional<std::vector<std::uint8_t>> {
            // A slot of no pixels has no PNG a program could open.
            if (const auto picture = ItemPicture(items[i]); picture && !picture->Empty())
                return EncodePng(*picture);
            return std::nullopt;
        },
        [&](std::size_t i, std::optional<std::vector<std::uint8_t>>& png) {
            if (png)
                staging.Stage(JoinPath(*folder, PngName(items[i].number)), *png);
            else
                skipped.push_back(items[i].number);
            SetProgress(
                ProgressPercent(static_cast<double>(i + 1), static_cast<double>(items.size())));
        });
    const std::size_t written = staging.Size();
    if (written != 0)
        staging.Commit(JournalPath(JoinPath(*folder, PngName(items.front().number))));
    made.Keep();
    const std::string report =
        "Exported " + Items(written) + " as PNG files to " + PathOf(*folder) + ".";
    ShowMessage(report, std::string(Caption),
                skipped.empty() ? "Import Pictures reads them back once edited."
                                : "Missing or unreadable, not exported: " + NumberList(skipped));
    SetStatusText(report);
    return {};
}

// "<flash name>-sheet.png" beside the flash file.
std::string SuggestedSheetPath() {
    const std::string& first = State().firstFlashPath;
    if (first.empty())
        return {};
    return first.substr(0, first.size() - ExtensionOf(first).size()) + "-sheet.png";
}

Outcome Sheet(std::optional<std::string> given, Overwrite overwrite) {
    constexpr std::string_view Caption = "Export Contact Sheet";
    auto context = LoadContext();
    if (!context)
        return Outcome::Refusal(context.Why());
    std::string target;
    for (std::optional<std::string> chosen;;) {
        // An answer given beforehand is taken once; declined, it is a cancel.
        if (given && chosen)
            return {};
        chosen = given ? given
                       : AskSaveFile("Export Contact Sheet", std::string(PngFilter),
                                     chosen ? *chosen : SuggestedSheetPath());
        if (!chosen)
            return {};
        target = WithDefaultExtension(*chosen, ".png");
        if (!FileExists(target) || overwrite == Overwrite::Replace)
            break;
        const std::string exists = "The file " + PathOf(target) + " exists";
        if (overwrite == Overwrite::Refuse)
            return Outcome::Refusal(exists + ". Nothing was written; --overwrite replaces it.");
        // No, and the dialog comes back.
        if (AskConfirmation(exists + " and will be replaced.", std::string(Caption),
                            DefaultAnswer::Cancel))
            break;
    }
    const std::vector<WorkItem>& items = context->work.items;
    ProgressScope scope("Drawing the contact sheet");
    std::vector<SheetCell> cells(items.size());
    ProduceInOrder<SheetCell>(
        items.size(),
        [&](std::size_t i) {
            const WorkItem& item = items[i];
            SheetCell cell;
            const Thumbnail thumbnail = ThumbnailOf(item);
            cell.square = ThumbnailPicture(thumbnail, ThumbnailSide);
            const WorkItemCaption& caption = thumbnail.caption;
            cell.caption = caption.name;
            cell.detail = caption.detail;
            cell.edited = item.edited;
            cell.marked = caption.marked;
            return cell;
        },
        [&](std::size_t i, SheetCell& cell) {
            cells[i] = std::move(cell);
            SetProgress(
                ProgressPercent(static_cast<double>(i + 1), static_cast<double>(items.size())));
        });
    StagedReplacements staging;
    staging.Stage(target, EncodePng(ContactSheet(FlashFileName(1), cells)));
    staging.Commit(JournalPath(target));
    const std::string report =
        "The contact sheet of " + Items(cells.size()) + " is " + PathOf(target) + ".";
    ShowMessage(report, std::string(Caption));
    SetStatusText(report);
    return {};
}

} // namespace

CommandResult ExportPictures(std::optional<std::string> folder, Overwrite overwrite) {
    return ShowRefusal(Export(std::move(folder), overwrite), "Export Pictures");
}

CommandResult ExportContactSheet(std::optional<std::string> file, Overwrite overwrite) {
    return ShowRefusal(Sheet(std::move(file), overwrite), "Export Contact Sheet");
}

namespace {

// One file of an import, as a worker finds it.
struct ImportedFile {
    std::string refusal; // why it cannot be used; empty when it can
    ImportPlan::Change change;
    std::optional<NewFile> file; // nullopt: the item shows it already
};

ImportedFile ImportOne(const EditContext& context, const WorkItem& item, const FolderEntry& entry,
                       const ReplaceOptions& options) {
    ImportedFile out;
    const auto picture = DecodeSource(entry.path);
    if (!picture) {
        out.refusal = NameOf(entry.path) + ": " + picture.Why();
        return out;
    }
    const SlotSize size = SizeFor(item, context, picture->width, picture->height, options);
    out.change = {
        item.number, entry.path,  TargetOf(item, context),
        size.width,  size.height, picture->width != size.width || picture->height != size.height};
    out.file = EncodeFor(item, context, Fitted(*picture, size, options.fit), ItemPicture(item));
    return out;
}

} // namespace

Checked<ImportPlan> PlanImport(const std::string& folder, const ReplaceOptions& options) {
    auto context = LoadContext(EditedMarks::Skipped);
    if (!context)
        return Checked<ImportPlan>::Refusal(context.Why());
    ImportPlan plan;
    plan.folder = folder;
    plan.fit = options.fit;
    std::vector<FolderEntry> take;
    std::map<long, int> seen;
    const std::vector<FolderEntry> entries = PictureFilesIn(folder);
    for (const FolderEntry& entry : entries)
        ++seen[entry.number];
    for (const FolderEntry& entry : entries) {
        if (!context->Find(entry.number))
            plan.outside.push_back(entry.number);
        else if (seen[entry.number] > 1 &&
                 (plan.doubled.empty() || plan.doubled.back() != entry.number))
            plan.doubled.push_back(entry.number);
        else if (seen[entry.number] == 1)
            take.push_back(entry);
    }
    if (take.empty())
        return Checked<ImportPlan>::Refusal(
            "No picture in " + PathOf(folder) + " is named by the number of an item of " +
            Printable(FlashFileName(1)) + " (1.png, 2.jpg, ...).\nNothing was changed.");
    ProgressScope scope("Reading the pictures");
    // Decoded, fitted and encoded on every core; staged here in the files'
    // order, so that the plan is the same however the work was shared.
    ProduceInOrder<ImportedFile>(
        take.size(),
        [&](std::size_t i) {
            return ImportOne(*context, *context->Find(take[i].number), take[i], options);
        },
        [&](std::size_t i, ImportedFile& found) {
            if (!found.refusal.empty())
                plan.unusable.push_back(std::move(found.refusal));
            else if (!found.file)
                plan.unchanged.push_back(found.change.number);
            else {
                Stage(*plan.staged, *found.file);
                plan.changes.push_back(std::move(found.change));
            }
            SetProgress(
                ProgressPercent(static_cast<double>(i + 1), static_cast<double>(take.size())));
        });
    return plan;
}

std::string ImportPlanText(const ImportPlan& plan) {
    const std::string flash = Printable(FlashFileName(1));
    std::string text;
    if (plan.changes.empty())
        text = "No picture in " + PathOf(plan.folder) + " changes an item of " + flash + ".";
    else
        text = "Replace " + Items(plan.changes.size()) + " of " + flash + " with the pictures in " +
               PathOf(plan.folder) + "?";
    std::vector<std::string> fitted;
    for (const ImportPlan::Change& change : plan.changes)
        if (change.fitted)
            fitted.push_back(std::to_string(change.number) + " to " + std::to_string(change.width) +
                             " × " + std::to_string(change.height));
    if (!fitted.empty())
        text += "\n\nFitted (" + std::string(FitName(plan.fit)) +
                "), their size differs: " + NameList(fitted);
    if (!plan.unchanged.empty())
        text +=
            "\n\nUntouched, they show what the item shows already: " + NumberList(plan.unchanged);
    if (!plan.unusable.empty()) {
        text += "\n\nLeft out, they cannot be used:";
        for (std::size_t i = 0; i < plan.unusable.size() && i < 10; ++i)
            text += "\n" + plan.unusable[i];
        if (plan.unusable.size() > 10)
            text += "\n... and " + std::to_string(plan.unusable.size() - 10) + " more";
    }
    if (!plan.doubled.empty())
        text += "\n\nLeft out, more than one file for: " + NumberList(plan.doubled);
    if (!plan.outside.empty())
        text += "\n\nLeft out, no such item: " + NumberList(plan.outside);
    if (!plan.changes.empty())
        text += "\n\nThey change together, or none does.";
    return text;
}

void ApplyImport(ImportPlan& plan) {
    if (!plan.changes.empty())
        CommitStep(*plan.staged, "Import of " + Pictures(plan.changes.size()),
                   JournalPath(plan.changes.front().target));
}

CommandResult ImportPictures(std::optional<std::string> folder, const ReplaceOptions& options) {
    constexpr std::string_view Caption = "Import Pictures";
    const auto import = [&]() -> Outcome {
        folder = FolderFor(folder, "Import the pictures and icons named by number from");
        if (!folder)
            return {};
        if (!FolderExists(*folder))
            return NoFolder(*folder);
        Checked<ImportPlan> plan = PlanImport(*folder, options);
        if (!plan)
            return Outcome::Refusal(plan.Why());
        const std::string text = ImportPlanText(*plan);
        if (plan->changes.empty()) {
            ShowMessage(text, std::string(Caption), "Nothing was changed.");
            return {};
        }
        if (!AskConfirmation(text, std::string(Caption), DefaultAnswer::Ok))
            return {};
        ApplyImport(*plan);
        const std::string report =
            "Imported " + Items(plan->changes.size()) + " from " + PathOf(*folder) + ".";
        ShowMessage(report, std::string(Caption),
                    plan->unusable.empty() ? ""
                    : plan->unusable.size() == 1
                        ? "1 file could not be used and was left out."
                        : std::to_string(plan->unusable.size()) +
                              " files could not be used and were left out.");
        SetStatusText(report);
        return {};
    };
    return ShowRefusal(import(), Caption);
}

} // namespace zantrel
