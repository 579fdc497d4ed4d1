#include "shell/mainview.h"

#include <algorithm>

#include "base/paths.h"
#include "base/state.h"
#include "base/uiops.h"
#include "base/worktree.h"
#include "imaging/decode.h"
#include "imaging/picture.h"
#include "shell/edit.h"
#include "shell/workview.h"

namespace zantrel {

void ChooseMenuItem(MenuItem item, const CommandRunner& runner, MainWindowActions& window) {
    if (!Offered(item, CurrentRun()))
        return;
    const Command& command = CommandOf(item);
    switch (command.action) {
    case MenuAction::Command:
        window.Run([item] { RunMenuCommand(item); });
        if (command.rereadsView)
            window.Refresh();
        break;
    case MenuAction::OpenWorkFolder:
        if (!runner.Busy())
            window.OpenFolder(EditFolder());
        break;
    case MenuAction::Refresh:
        if (!runner.Busy())
            window.Refresh();
        break;
    case MenuAction::SettingsDialog:
        window.Run([&window] {
            if (auto state = window.RunSettingsDialog())
                ApplySettings(*state);
        });
        break;
    case MenuAction::AboutBox:
        window.Run([&window] { window.RunAboutBox(); });
        break;
    case MenuAction::HelpPage:
        window.Run([&window] {
            window.ShowHelpPage(std::string(HowItWorksCaption), std::string(HowItWorksText));
        });
        break;
    }
}

bool ItemMenuApplies(const Thumbnail& thumbnail, int image) {
    return image == 1 && thumbnail.number > 0 && Offered(MenuItem::ItemReplaceItem, CurrentRun());
}

void ChooseItemMenu(MenuItem item, const Thumbnail& thumbnail, int image,
                    MainWindowActions& window) {
    if (!ItemMenuApplies(thumbnail, image))
        return;
    const Command& command = CommandOf(item);
    if (!command.runOnItem)
        return;
    window.Run([&command, number = thumbnail.number] { command.runOnItem(number); });
    window.Refresh();
}

bool CommandRunner::Run(const std::function<void()>& command) {
    // Commands never nest: one runs to its end before the next starts.
    if (busy_)
        return false;
    busy_ = true;
    closeRequested_ = false;
    RunCommand(command);
    busy_ = false;
    return true;
}

bool CommandRunner::AllowClose() {
    if (busy_)
        return false; // a running command ends first
    // A command that closes the window has done its part already.
    if (!closeRequested_ && !State().freshSession)
        Run([] { FileExit1Execute(); });
    // Closed even after a failure: the session file is still there from the start.
    return true;
}

bool CommandRunner::TakesDroppedFile() const {
    return !busy_ && Offered(MenuItem::FileOpenItem, CurrentRun());
}

void TakeOutsideFile(const std::string& path, const CommandRunner& runner, OpenDialogMemory& memory,
                     MainWindowActions& window) {
    if (path.empty() || runner.Busy())
        return;
    if (runner.TakesDroppedFile()) {
        memory.Drop(path);
        ChooseMenuItem(MenuItem::FileOpenItem, runner, window);
    } else if (!State().freshSession) {
        window.Run([&path] { SaySessionPending(path); });
    }
}

void SaySessionPending(const std::string& path) {
    std::string holds = FlashFileName(1);
    if (ImageCountOf(State().sessionMode) == ModePair)
        holds += " and " + FlashFileName(2);
    ShowMessage("A session is pending, so " + FileNamePart(path) + " was not opened.", "Open",
                "The session holds " + holds + "; its edits are in " + EditFolder() +
                    ". Save As or File > Discard Session... ends it; then open the file again.");
}

std::optional<std::string> OpenDialogMemory::TakeDropped(bool clearName) {
    if (clearName)
        fileName_.clear();
    if (!dropped_)
        return std::nullopt;
    std::string path = std::move(*dropped_);
    dropped_.reset();
    fileName_ = path;
    lastFile_ = path;
    folder_ = ParentFolder(path);
    return path;
}

void OpenDialogMemory::Remember(const std::string& path, int filterIndex) {
    fileName_ = path;
    lastFile_ = path;
    folder_ = ParentFolder(path);
    filterIndex_ = filterIndex;
}

int OpenDialogMemory::FilterIndexIn(std::string_view filter) const {
    const auto entries = FilterEntries(filter);
    const std::string kind = UpperExtension(lastFile_);
    for (std::size_t i = 0; kind.size() > 1 && i < entries.size(); ++i)
        if (entries[i].second.find(';') == std::string::npos &&
            entries[i].second.rfind("*.", 0) == 0 && UpperExtension(entries[i].second) == kind)
            return static_cast<int>(i) + 1;
    return filterIndex_ >= 1 && filterIndex_ <= static_cast<int>(entries.size()) ? filterIndex_ : 1;
}

std::vector<std::pair<std::string, std::string>> FilterEntries(std::string_view filter) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; !filter.empty() && start <= filter.size();) {
        const std::size_t bar = std::min(filter.find('|', start), filter.size());
        parts.emplace_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t i = 0; i < parts.size(); i += 2)
        entries.emplace_back(parts[i], i + 1 < parts.size() ? parts[i + 1] : "*");
    return entries;
}

std::string DefaultExtensionOf(std::string_view filter) {
    const auto entries = FilterEntries(filter);
    if (entries.empty())
        return {};
    std::string pattern = entries.front().second.substr(0, entries.front().second.find(';'));
    if (pattern.rfind("*.", 0) != 0 || pattern.find('*', 1) != std::string::npos)
        return {};
    return pattern.substr(2);
}

Thumbnail ThumbnailOf(const WorkItem& work) {
    const WorkItemCaption caption = CaptionOf(work);
    Thumbnail t;
    t.text = caption.name + "\n" + caption.detail;
    t.path = work.path;
    t.number = work.number;
    t.marked = caption.marked;
    t.edited = caption.edited;
    t.tip =
        work.path.empty() ? caption.name : work.path + "\n" + std::to_string(work.bytes) + " bytes";
    if (!caption.tip.empty())
        t.tip += "\n" + caption.tip;
    t.raw = ExtensionOf(work.path) == ".raw";
    t.width = work.slotWidth;
    t.height = work.slotHeight;
    return t;
}

std::string MainWindowTitle() {
    const SharedState& s = State();
    if (s.freshSession || s.firstFlashPath.empty())
        return std::string(MainCaption);
    // UTF-8 by bytes: the left arrow, then the em dash.
    std::string names = FlashFileName(1);
    if (ImageCountOf(s.sessionMode) == ModePair)
        names += " \xE2\x86\x90 " + FlashFileName(2);
    return names + " \xE2\x80\x94 " + std::string(MainCaption);
}

MainView DescribeMainWindow() {
    MainView view;
    view.title = MainWindowTitle();
    if (State().freshSession) {
        view.hint = FreshRunHint;
        return view;
    }
    view.panel = DescribeSession();
    const int images = view.panel.pair ? 2 : 1;
    for (int image = 1; image <= images; ++image) {
        const WorkView work = ListWorkItems(image);
        // Without image 1's files there is nothing to show but why.
        if (image == 1 && !work.error.empty() && work.items.empty()) {
            view.hint = NoDrmToShowText(work.error);
            return view;
        }
        // Image 1's edits, counted in the panel.
        if (const std::string edited = EditedCountText(work); image == 1 && !edited.empty())
            view.panel.lines.push_back({"Edited", edited});
        ImageView shown{ImageTitle(image), {}};
        for (const WorkItem& item : work.items)
            shown.thumbnails.push_back(ThumbnailOf(item));
        view.images.push_back(std::move(shown));
    }
    view.sessionPage = true;
    return view;
}

ThumbnailFit FitThumbnail(int width, int height, int side) {
    if (width <= 0 || height <= 0)
        return {};
    const int room = side - side / 12;
    if (width <= room / 2 && height <= room / 2) {
        const int factor = std::min(room / width, room / height);
        return {width * factor, height * factor};
    }
    if (width <= room && height <= room)
        return {width, height};
    if (width >= height)
        return {room, std::max(1, height * room / width)};
    return {std::max(1, width * room / height), room};
}

Picture SquareOf(const std::optional<Picture>& picture, int side) {
    constexpr std::uint32_t Background = 0xFFF4F4F4;
    constexpr std::uint32_t Border = 0xFFC8C8C8;
    Picture canvas = FilledPicture(side, side, Border);
    for (int y = 1; y < side - 1; ++y)
        std::fill_n(&canvas.At(1, y), side - 2, Background);
    if (!picture)
        return canvas;
    const ThumbnailFit fit = FitThumbnail(picture->width, picture->height, side);
    const Picture fitted = ScaleByArea(*picture, fit.width, fit.height);
    const int left = (side - fit.width) / 2, top = (side - fit.height) / 2;
    for (int y = 0; y < fit.height; ++y)
        for (int x = 0; x < fit.width; ++x)
            canvas.At(left + x, top + y) = Over(fitted.At(x, y), canvas.At(left + x, top + y));
    return canvas;
}

Picture ThumbnailPicture(const Thumbnail& thumbnail, int side) {
    std::optional<Picture> picture;
    if (thumbnail.raw) {
        if (auto pixels = DecodeRawPicture(thumbnail.path, thumbnail.width, thumbnail.height))
            picture = Picture{thumbnail.width, thumbnail.height, std::move(*pixels)};
    } else if (!thumbnail.path.empty()) {
        picture = DecodePictureFile(thumbnail.path);
    }
    return SquareOf(picture, side);
}

WindowPlace KeepOnScreen(WindowPlace place, const std::vector<ScreenRect>& screens, int minWidth,
                         int minHeight) {
    if (screens.empty())
        return place;
    ScreenRect& r = place.normal;
    r.width = std::max(r.width, minWidth);
    r.height = std::max(r.height, minHeight);
    // 64-bit: a stored place may be far off any screen.
    auto overlap = [&r](const ScreenRect& s) {
        const long long w = std::min<long long>(r.x + 0LL + r.width, s.x + 0LL + s.width) -
                            std::max<long long>(r.x, s.x);
        const long long h = std::min<long long>(r.y + 0LL + r.height, s.y + 0LL + s.height) -
                            std::max<long long>(r.y, s.y);
        return w > 0 && h > 0 ? w * h : 0;
    };
    const ScreenRect* best = &screens.front();
    for (const ScreenRect& s : screens)
        if (overlap(s) > overlap(*best))
            best = &s;
    const ScreenRect& s = *best;
    if (overlap(s) == static_cast<long long>(r.width) * r.height)
        return place;
    r.width = std::max(std::min(r.width, s.width), minWidth);
    r.height = std::max(std::min(r.height, s.height), minHeight);
    r.x = static_cast<int>(
        std::clamp<long long>(r.x, s.x, std::max<long long>(s.x, s.x + 0LL + s.width - r.width)));
    r.y = static_cast<int>(
        std::clamp<long long>(r.y, s.y, std::max<long long>(s.y, s.y + 0LL + s.height - r.height)));
    return place;
}

std::vector<std::string> WatchedFolders() {
    const SharedState& s = State();
    if (s.freshSession)
        return {};
    return {s.icons1Dir, JoinPath(s.drmpack1Dir, RawsFolderName), s.drmpack1Dir, s.icons2Dir,
            JoinPath(s.drmpack2Dir, RawsFolderName)};
}

void SayWhereFolderIs(const std::string& folder) {
    ShowMessage(std::string(NoFileManagerText), std::string(OpenWorkFolderCaption), folder);
}

} // namespace zantrel
