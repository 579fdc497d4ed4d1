#include "shell/edit.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/commit.h"
#include "base/paths.h"
#include "shell/state.h"
#include "base/unicode.h"
#include "base/worktree.h"
#include "drm/originals.h"
#include "imaging/bmpraw.h"
#include "imaging/decode.h"
#include "imaging/gifwrite.h"
#include "imaging/sheet.h"
#include "shell/thumbnail.h"
#include "shell/summary.h"
#include "shell/workclaim.h"

namespace zantrel {

namespace {

namespace fs = std::filesystem;

Rgb Replacer() { return State().replacer; }

// Image 1's items and their originals, as one edit sees them.
struct EditContext {
    WorkView work;
    std::optional<DrmOriginals> originals;

    const WorkItem* Find(long number) const {
        for (const WorkItem& item : work.items)
            if (item.number == number)
                return &item;
        return nullptr;
    }
};

// nullopt after a box that says why there is nothing to edit.
std::optional<EditContext> LoadContext(std::string_view caption) {
    if (const std::optional<Outcome> refused = RefuseWorkFolderForSession()) {
        ShowMessage(refused->message, std::string(caption));
        return std::nullopt;
    }
    EditContext context;
    context.work = ListWorkItems(1);
    if (!context.work.error.empty() && context.work.items.empty()) {
        ShowMessage(context.work.error, std::string(caption));
        return std::nullopt;
    }
    context.originals = DrmOriginals::Load(FoldersOf(1));
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

// The size the item takes a new picture of width x height at.
std::pair<int, int> SizeFor(const WorkItem& item, int width, int height,
                            const ReplaceOptions& options) {
    if (item.picture)
        return {item.slotWidth, item.slotHeight};
    if (options.iconTakesNewSize || item.fileWidth <= 0 || item.fileHeight <= 0)
        return {width, height};
    return {item.fileWidth, std::abs(item.fileHeight)};
}

// picture as item takes it: at its size, transparent where less than half
// opaque.
Picture FittedFor(const WorkItem& item, const Picture& picture, const ReplaceOptions& options) {
    const auto [width, height] = SizeFor(item, picture.width, picture.height, options);
    return Flattened(FitPicture(picture, width, height, options.fit));
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
    BinaryFile out = staging.Stage(file.target);
    out.Write(file.bytes);
    out.Close();
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
    return "it is " + ContentKindName(kind) + " named " + ExtensionOf(path);
}

// A source file's size from its header, as the import's plan takes it.
std::optional<std::pair<int, int>> ProbeSource(const std::string& path, std::string& why) {
    if (auto mismatch = NameMismatch(path)) {
        why = *mismatch;
        return std::nullopt;
    }
    return ProbePictureFile(path, &why);
}

std::optional<Picture> DecodeSource(const std::string& path, std::string_view caption) {
    std::string why;
    if (auto mismatch = NameMismatch(path))
        why = *mismatch;
    else if (auto picture = DecodePictureFile(path, &why))
        return picture;
    ShowMessage(FileNamePart(path) + " cannot be used: " + why + ".", std::string(caption),
                path + "\nNothing was changed.");
    return std::nullopt;
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

// folder as given or as the picker answers; the command's end when there is
// none (cancelled) or it does not exist (refused).
std::optional<CommandResult> AskForFolder(std::optional<std::string>& folder,
                                          const std::string& title, std::string_view caption) {
    if (!folder)
        folder = AskFolder(title);
    if (!folder)
        return CommandResult::Completed;
    if (!FolderExists(*folder)) {
        ShowMessage("The folder " + *folder + " does not exist.", std::string(caption));
        return CommandResult::Refused;
    }
    return std::nullopt;
}

std::string NumberList(const std::vector<long>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size() && i < 30; ++i)
        text += (i ? ", " : "") + std::to_string(numbers[i]);
    if (numbers.size() > 30)
        text += ", ... (" + std::to_string(numbers.size()) + " in all)";
    return text;
}

std::string Items(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " item" : " items");
}

} // namespace

std::optional<Picture> ItemPicture(const WorkItem& item) {
    if (item.path.empty())
        return std::nullopt;
    std::optional<Picture> picture;
    const std::string kind = UpperExtension(item.path);
    if (kind == ".RAW") {
        if (auto pixels = DecodeRawPicture(item.path, item.slotWidth, item.slotHeight))
            picture = Picture{item.slotWidth, item.slotHeight, std::move(*pixels)};
    } else {
        picture = DecodePictureFile(item.path);
        // A BMP's transparency is its replacer colour.
        if (picture && kind == ".BMP")
            MakeTransparent(*picture, Replacer());
    }
    if (!picture)
        return std::nullopt;
    return Flattened(std::move(*picture));
}

CommandResult ReplaceItem(long number, std::optional<std::string> source,
                          const ReplaceOptions& options) {
    constexpr std::string_view Caption = "Replace";
    auto context = LoadContext(Caption);
    if (!context)
        return CommandResult::Refused;
    const WorkItem* item = context->Find(number);
    if (!item) {
        ShowMessage("There is no item " + std::to_string(number) + " in " + FlashFileName(1) + ".",
                    std::string(Caption));
        return CommandResult::Refused;
    }
    if (!source)
        source = AskOpenFile("Replace " + std::to_string(number) + " with",
                             std::string(PictureFilter), true);
    if (!source)
        return CommandResult::Completed;
    const auto picture = DecodeSource(*source, Caption);
    if (!picture)
        return CommandResult::Refused;
    const std::optional<Picture> current = ItemPicture(*item);
    Picture fitted = FittedFor(*item, *picture, options);
    if (options.askFirst) {
        const Picture shown = SideBySide(current, fitted, 160);
        PictureQuestion question;
        question.caption = std::string(Caption);
        question.text = "Replace " + FileNamePart(TargetOf(*item, *context)) + " with " +
                        FileNamePart(*source) + "?";
        if (picture->width != fitted.width || picture->height != fitted.height) {
            question.text += " It is fitted to " + std::to_string(fitted.width) + " x " +
                             std::to_string(fitted.height) + " pixels.";
            // An icon may take the picture's own size instead.
            if (!item->picture)
                question.checkBox = "Keep the picture's own size, " +
                                    std::to_string(picture->width) + " x " +
                                    std::to_string(picture->height) + " pixels";
        }
        question.pixels = shown.pixels;
        question.width = shown.width;
        question.height = shown.height;
        if (!AskPictureQuestion(question))
            return CommandResult::Completed;
        if (question.checked && !options.iconTakesNewSize) {
            ReplaceOptions chosen = options;
            chosen.iconTakesNewSize = true;
            fitted = FittedFor(*item, *picture, chosen);
        }
    }
    const auto file = EncodeFor(*item, *context, fitted, current);
    if (!file) {
        SetStatusText(FileNamePart(*source) + " shows what item " + std::to_string(number) +
                      " already shows: nothing changed");
        return CommandResult::Completed;
    }
    StagedReplacements staging;
    Stage(staging, *file);
    staging.Commit(JournalPath(file->target));
    SetStatusText("Replaced " + FileNamePart(file->target) + " with " + FileNamePart(*source));
    return CommandResult::Completed;
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

CommandResult Restore(EditContext& context, const std::vector<long>& numbers) {
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
        staging.Commit(JournalPath(context.originals->OriginalPath(numbers.front())));
    return CommandResult::Completed;
}

bool NoOriginals(const EditContext& context, std::string_view caption) {
    if (context.originals)
        return false;
    ShowMessage("The originals are not known: " + std::string(CodeGroupFileName(DrmCodeGroup)) +
                    " is missing from " + FoldersOf(1).binaryDir + " or was changed.",
                std::string(caption), "Nothing was restored.");
    return true;
}

} // namespace

CommandResult RestoreItem(long number) {
    constexpr std::string_view Caption = "Restore Original";
    auto context = LoadContext(Caption);
    if (!context || NoOriginals(*context, Caption))
        return CommandResult::Refused;
    const long items = context->originals->PictureCount() + context->originals->IconCount();
    if (number < 1 || number > items) {
        ShowMessage("There is no item " + std::to_string(number) + " in " + FlashFileName(1) + ".",
                    std::string(Caption));
        return CommandResult::Refused;
    }
    if (!context->originals->Edited(number)) {
        SetStatusText("Item " + std::to_string(number) + " is as Open wrote it");
        return CommandResult::Completed;
    }
    Restore(*context, {number});
    SetStatusText("Restored " + FileNamePart(context->originals->OriginalPath(number)));
    return CommandResult::Completed;
}

CommandResult RestoreAllItems() {
    constexpr std::string_view Caption = "Restore All Originals";
    auto context = LoadContext(Caption);
    if (!context || NoOriginals(*context, Caption))
        return CommandResult::Refused;
    std::vector<long> edited;
    const long items = context->originals->PictureCount() + context->originals->IconCount();
    for (long number = 1; number <= items; ++number)
        if (context->originals->Edited(number))
            edited.push_back(number);
    if (edited.empty()) {
        ShowMessage("No item of " + FlashFileName(1) + " is edited.", std::string(Caption));
        return CommandResult::Completed;
    }
    if (!AskConfirmation(
            "Put " + Items(edited.size()) + " of " + FlashFileName(1) +
                " back as Open wrote them? Their edits are lost: " + NumberList(edited) + ".",
            std::string(Caption), DefaultAnswer::Cancel))
        return CommandResult::Completed;
    Restore(*context, edited);
    const std::string report = "Restored " + Items(edited.size()) + ".";
    ShowMessage(report, std::string(Caption));
    SetStatusText(report);
    return CommandResult::Completed;
}

CommandResult ExportPictures(std::optional<std::string> folder) {
    constexpr std::string_view Caption = "Export Pictures";
    auto context = LoadContext(Caption);
    if (!context)
        return CommandResult::Refused;
    if (const auto refused =
            AskForFolder(folder, "Export the pictures and icons as PNG files to", Caption))
        return *refused;
    ProgressScope scope("Exporting pictures");
    std::vector<long> skipped;
    std::size_t written = 0;
    for (const WorkItem& item : context->work.items) {
        if (const auto picture = ItemPicture(item)) {
            WritePngFile(JoinPath(*folder, std::to_string(item.number) + ".png"), *picture);
            ++written;
        } else {
            skipped.push_back(item.number);
        }
        SetProgress(ProgressPercent(static_cast<double>(written + skipped.size()),
                                    static_cast<double>(context->work.items.size())));
    }
    const std::string report = "Exported " + Items(written) + " as PNG files to " + *folder + ".";
    ShowMessage(report, std::string(Caption),
                skipped.empty() ? "Import Pictures reads them back once edited."
                                : "Missing or unreadable, not exported: " + NumberList(skipped));
    SetStatusText(report);
    return CommandResult::Completed;
}

CommandResult ExportContactSheet(std::optional<std::string> file) {
    constexpr std::string_view Caption = "Export Contact Sheet";
    auto context = LoadContext(Caption);
    if (!context)
        return CommandResult::Refused;
    if (!file)
        file = AskSaveFile("Export Contact Sheet", std::string(PngFilter));
    if (!file)
        return CommandResult::Completed;
    const std::string target = WithDefaultExtension(*file, ".png");
    ProgressScope scope("Drawing the contact sheet");
    std::vector<SheetCell> cells;
    cells.reserve(context->work.items.size());
    for (const WorkItem& item : context->work.items) {
        const Thumbnail thumbnail = ThumbnailOf(item);
        SheetCell cell;
        cell.square = ThumbnailPicture(thumbnail, ThumbnailSide);
        const WorkItemCaption& caption = thumbnail.caption;
        cell.caption = caption.name;
        cell.detail = caption.detail;
        cell.edited = item.edited;
        cell.marked = caption.marked;
        cells.push_back(std::move(cell));
        SetProgress(ProgressPercent(static_cast<double>(cells.size()),
                                    static_cast<double>(context->work.items.size())));
    }
    WritePngFile(target, ContactSheet(FlashFileName(1), cells));
    const std::string report =
        "The contact sheet of " + Items(cells.size()) + " is " + target + ".";
    ShowMessage(report, std::string(Caption));
    SetStatusText(report);
    return CommandResult::Completed;
}

CommandResult ImportPictures(std::optional<std::string> folder, const ReplaceOptions& options) {
    constexpr std::string_view Caption = "Import Pictures";
    auto context = LoadContext(Caption);
    if (!context)
        return CommandResult::Refused;
    if (const auto refused =
            AskForFolder(folder, "Import the pictures and icons named by number from", Caption))
        return *refused;
    // First what each file would do, from its header alone.
    std::vector<FolderEntry> take;
    std::vector<long> fitted, outside, doubled;
    std::vector<std::string> unreadable;
    std::map<long, int> seen;
    const std::vector<FolderEntry> entries = PictureFilesIn(*folder);
    for (const FolderEntry& entry : entries)
        ++seen[entry.number];
    for (const FolderEntry& entry : entries) {
        const WorkItem* item = context->Find(entry.number);
        if (!item) {
            outside.push_back(entry.number);
            continue;
        }
        if (seen[entry.number] > 1) {
            if (doubled.empty() || doubled.back() != entry.number)
                doubled.push_back(entry.number);
            continue;
        }
        std::string why;
        const auto size = ProbeSource(entry.path, why);
        if (!size) {
            unreadable.push_back(FileNamePart(entry.path) + ": " + why);
            continue;
        }
        const auto [width, height] = SizeFor(*item, size->first, size->second, options);
        if (width != size->first || height != size->second)
            fitted.push_back(entry.number);
        take.push_back(entry);
    }
    if (take.empty()) {
        ShowMessage("No picture in " + *folder + " is named by the number of an item of " +
                        FlashFileName(1) + " (1.png, 2.jpg, ...).",
                    std::string(Caption), "Nothing was changed.");
        return CommandResult::Refused;
    }
    std::string plan = "Replace up to " + Items(take.size()) + " of " + FlashFileName(1) +
                       " with the pictures in " + *folder + "?";
    if (!fitted.empty())
        plan += "\n\nFitted (" + std::string(FitName(options.fit)) +
                "), their size differs: " + NumberList(fitted);
    if (!unreadable.empty()) {
        plan += "\n\nLeft out, they cannot be read:";
        for (std::size_t i = 0; i < unreadable.size() && i < 10; ++i)
            plan += "\n" + unreadable[i];
        if (unreadable.size() > 10)
            plan += "\n... and " + std::to_string(unreadable.size() - 10) + " more";
    }
    if (!doubled.empty())
        plan += "\n\nLeft out, more than one file for: " + NumberList(doubled);
    if (!outside.empty())
        plan += "\n\nLeft out, no such item: " + NumberList(outside);
    plan += "\n\nItems whose pixels do not change stay untouched. The rest change together, or "
            "none does.";
    if (!AskConfirmation(plan, std::string(Caption), DefaultAnswer::Ok))
        return CommandResult::Completed;

    // Then each file decoded, encoded and staged in turn; one that fails now
    // stops the lot before anything is replaced.
    ProgressScope scope("Importing pictures");
    StagedReplacements staging;
    std::size_t changed = 0, same = 0;
    std::string firstTarget;
    for (std::size_t i = 0; i < take.size(); ++i) {
        const auto picture = DecodeSource(take[i].path, Caption);
        if (!picture)
            return CommandResult::Refused;
        const WorkItem& item = *context->Find(take[i].number);
        if (const auto file =
                EncodeFor(item, *context, FittedFor(item, *picture, options), ItemPicture(item))) {
            Stage(staging, *file);
            if (firstTarget.empty())
                firstTarget = file->target;
            ++changed;
        } else {
            ++same;
        }
        SetProgress(ProgressPercent(static_cast<double>(i + 1), static_cast<double>(take.size())));
    }
    if (!staging.Empty())
        staging.Commit(JournalPath(firstTarget));
    const std::string report = "Imported " + Items(changed) + " from " + *folder + "." +
                               (same ? " " + Items(same) + " showed what they show already." : "");
    ShowMessage(report, std::string(Caption),
                unreadable.empty()
                    ? ""
                    : Counted(static_cast<long>(unreadable.size()), "file") +
                          (unreadable.size() == 1 ? " could not be read and was left out."
                                                  : " could not be read and were left out."));
    SetStatusText(report);
    return CommandResult::Completed;
}

} // namespace zantrel
