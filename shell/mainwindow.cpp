#include "shell/mainwindow.h"

#include <algorithm>
#include <utility>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/worktree.h"

#include "shell/edit.h"
#include "shell/help.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/take.h"

namespace zantrel {

Mark MarkOf(const Thumbnail& thumbnail) {
    if (thumbnail.caption.marked)
        return Mark::Refused;
    return thumbnail.caption.edited ? Mark::Edited : Mark::None;
}

Mark DifferenceMarkOf(const Thumbnail& thumbnail) {
    return thumbnail.differs ? Mark::Differs : Mark::None;
}

MainWindowModel::~MainWindowModel() {
    if (&Ui() == &window_)
        InstallUi(nullptr);
    SetErrorReporter({});
}

void MainWindowModel::Start() {
    InstallUi(&window_);
    SetErrorReporter(
        [this](const std::string& message, const std::string& path, const std::string& next) {
            window_.ShowError(message, ErrorDetails(path, next));
        });
    Run([] { InitApp(); });
    // Another Zantrel in this folder: the box has said so, the run ends.
    Read(true);
}

bool MainWindowModel::Offers(MenuItem item) const { return Available(item, CurrentRun()); }

std::string MainWindowModel::Hint(MenuItem item) const {
    if (item == MenuItem::Port1 && view_.panel.portRefuses)
        return PortRefusesText() + ".";
    return LongHint(MainMenuHint(item));
}

void MainWindowModel::Run(const std::function<void()>& command) {
    // What the checks under way have read may change: they start again.
    checksAfterCommand_ = checks_.has_value();
    checks_.reset();
    runner_.Run(command);
    if (std::exchange(checksAfterCommand_, false) && !closed_ && !State().freshSession)
        checks_.emplace().Start();
    if (runner_.CloseRequested() && !closed_) {
        closed_ = true;
        window_.Close();
    }
}

bool MainWindowModel::Checked(MenuItem item) const {
    return item == MenuItem::ViewOnlyDifferingItem && onlyDiffering_;
}

void MainWindowModel::Refresh() { Read(false); }

void MainWindowModel::Read(bool listedFirst) {
    if (closed_)
        return;
    checks_.reset();
    if (listedFirst && !State().freshSession) {
        MainView listed = checks_.emplace().Listed();
        std::size_t items = 0;
        for (const ImageView& image : listed.images)
            items += image.thumbnails.size();
        if (items > listFirstAbove_)
            return Show(std::move(listed));
        checks_.reset();
    }
    Show(DescribeMainWindow());
}

void MainWindowModel::Show(MainView view) {
    view_ = std::move(view);
    // Image 2's tab shows only what differs from image 1, when asked.
    if (onlyDiffering_ && view_.images.size() > 1)
        std::erase_if(view_.images[1].thumbnails,
                      [](const Thumbnail& thumbnail) { return !thumbnail.differs; });
    if (shownImage_ > static_cast<int>(view_.images.size()))
        shownImage_ = 1;
    window_.Draw();
}

void MainWindowModel::Choose(MenuItem item) {
    if (closed_ || !Offers(item))
        return;
    const Command& command = CommandOf(item);
    switch (command.action) {
    case MenuAction::Command:
        Run([item] { RunMenuCommand(item); });
        if (command.rereadsView)
            Refresh();
        break;
    case MenuAction::OpenWorkFolder:
        if (!Busy())
            OpenFolder(EditFolder());
        break;
    case MenuAction::Refresh:
        if (!Busy())
            Refresh();
        break;
    case MenuAction::OnlyDiffering:
        if (!Busy()) {
            onlyDiffering_ = !onlyDiffering_;
            Refresh();
        }
        break;
    case MenuAction::SettingsDialog:
        Run([this] {
            if (auto state = window_.RunSettingsDialog())
                ApplySettings(*state);
        });
        break;
    case MenuAction::AboutBox:
        Run([this] { window_.RunAboutBox(); });
        break;
    case MenuAction::HelpPage:
        Run([this] {
            window_.ShowHelpPage(std::string(HowItWorksCaption), std::string(HowItWorksText));
        });
        break;
    }
}

const Thumbnail* MainWindowModel::ThumbnailAt(int image, int index) const {
    if (image < 1 || image > static_cast<int>(view_.images.size()) || index < 0)
        return nullptr;
    const auto& shown = view_.images[static_cast<std::size_t>(image - 1)].thumbnails;
    return static_cast<std::size_t>(index) < shown.size() ? &shown[static_cast<std::size_t>(index)]
                                                          : nullptr;
}

int MainWindowModel::FindThumbnail(int image, std::string_view start, int from, bool wrap,
                                   bool whole) const {
    if (image < 1 || image > static_cast<int>(view_.images.size()))
        return -1;
    const auto& shown = view_.images[static_cast<std::size_t>(image - 1)].thumbnails;
    const int count = static_cast<int>(shown.size());
    from = std::clamp(from, 0, count);
    const std::string wanted = UpperAscii(std::string(start));
    for (int step = 0, steps = wrap ? count : count - from; step < steps; ++step) {
        const int index = (from + step) % count;
        const std::string text = shown[static_cast<std::size_t>(index)].Text();
        if (UpperAscii(text.substr(0, wanted.size())) == wanted &&
            (!whole || text.size() == wanted.size()))
            return index;
    }
    return -1;
}

std::optional<ItemRef> MainWindowModel::ItemAt(int image, int index) const {
    const Thumbnail* thumbnail = ThumbnailAt(image, index);
    if (!thumbnail)
        return std::nullopt;
    return ItemRef{image, thumbnail->number, thumbnail->path};
}

namespace {

// Image 1's items take their own menu and drops, in a second run.
bool TakesItemCommands(const ItemRef& item) {
    return item.image == 1 && item.number > 0 && Offered(MenuItem::ItemReplaceItem, CurrentRun());
}

// Image 2's items go into image 1's, in a pair, where its slot takes them.
bool Takeable(const ItemRef& item, const MainView& view) {
    if (item.image != 2 || item.number <= 0 || !Offered(MenuItem::ItemTakeItem, CurrentRun()) ||
        view.images.size() < 2)
        return false;
    for (const Thumbnail& thumbnail : view.images[1].thumbnails)
        if (thumbnail.number == item.number)
            return thumbnail.takes;
    return false;
}

} // namespace

bool MainWindowModel::ItemMenuEnabled(const ItemRef& item) const {
    return (TakesItemCommands(item) || Takeable(item, view_)) && !Busy();
}

const std::vector<MenuEntry>& MainWindowModel::ItemMenuOf(int image) {
    return image == 2 ? OtherItemMenu() : ItemMenu();
}

void MainWindowModel::ChooseOnItem(MenuItem command, const ItemRef& item) {
    ChooseOnItems(command, {item});
}

void MainWindowModel::ChooseOnItems(MenuItem command, const std::vector<ItemRef>& items) {
    const Command& row = CommandOf(command);
    std::vector<long> numbers;
    for (const ItemRef& item : items) {
        const bool takes = row.runOnItems ? Takeable(item, view_) : TakesItemCommands(item);
        if (takes)
            numbers.push_back(item.number);
    }
    if (closed_ || numbers.empty() || (!row.runOnItem && !row.runOnItems))
        return;
    if (row.runOnItems)
        Run([&row, &numbers] { row.runOnItems(numbers); });
    else
        Run([&row, number = numbers.front()] { row.runOnItem(number); });
    Refresh();
}

void MainWindowModel::DropOnItem(const ItemRef& item, const std::string& path) {
    if (closed_ || Busy())
        return;
    Run([&] {
        if (!TakesItemCommands(item))
            return;
        ReplaceOptions options;
        options.askFirst = true;
        ReplaceItem(item.number, path, options);
    });
    Refresh();
}

bool MainWindowModel::TakesItemDrop(const ItemRef& from, const ItemRef& to) const {
    return from.image == 2 && from.number > 0 && Offered(MenuItem::ItemTakeItem, CurrentRun()) &&
           TakesDrop(to) && !closed_;
}

void MainWindowModel::DropItemsOnItem(const std::vector<ItemRef>& from, const ItemRef& to) {
    if (from.empty() ||
        !std::ranges::all_of(from, [&](const ItemRef& one) { return TakesItemDrop(one, to); }))
        return;
    std::vector<long> numbers;
    for (const ItemRef& item : from)
        numbers.push_back(item.number);
    Run([&] { TakeItems(numbers, to.number); });
    Refresh();
}

void MainWindowModel::DropBeside(const std::string& path) {
    if (closed_ || path.empty() || Busy())
        return;
    if (Offers(MenuItem::FileOpenItem)) {
        openDialog_.Drop(path);
        Choose(MenuItem::FileOpenItem);
    } else if (!State().freshSession) {
        Run([&path] { SaySessionPending(path); });
    }
}

void MainWindowModel::OpenFolder(const std::string& folder) {
    if (!window_.OpenInShell(folder))
        SayWhereFolderIs(folder);
}

void MainWindowModel::ActivateItem(const ItemRef& item) {
    if (item.path.empty() || window_.OpenInShell(item.path))
        return;
    // Where no program is set up for the file's kind, its folder at least,
    // and a box that names the file so the person can open it themselves.
    const std::string folder = ParentFolder(item.path);
    const std::string name = FileNamePart(item.path);
    if (window_.OpenInShell(folder))
        ShowMessage("No program is set up to open " + name + "; its folder was opened instead.",
                    std::string(NoProgramCaption), item.path);
    else
        ShowMessage("No program is set up to open " + name + " or its folder.",
                    std::string(NoProgramCaption), item.path);
}

void MainWindowModel::FollowLink(const std::string& folder) {
    if (!Busy())
        OpenFolder(folder);
}

void MainWindowModel::WindowActivated() {
    if (!away_ || Busy() || State().freshSession)
        return;
    away_ = false;
    Refresh();
}

void MainWindowModel::FilesChanged(std::int64_t nowMs) { changedAt_ = nowMs; }

int MainWindowModel::RefreshDue(std::int64_t nowMs) {
    // No command runs while checks are under way: Run ends them first, and
    // the window keeps asking so that it sees them done after.
    if (checksAfterCommand_)
        return CheckPollMilliseconds;
    if (checks_ && !closed_) {
        // The first time once the window has painted what was listed.
        checks_->Start();
        if (!checks_->Done())
            return CheckPollMilliseconds;
        MainView checked = checks_->View();
        checks_.reset();
        Show(std::move(checked));
    }
    if (!changedAt_)
        return -1;
    // A command's own changes are followed by its own refresh.
    if (Busy())
        return SettleMilliseconds;
    if (const std::int64_t waited = nowMs - *changedAt_; waited < SettleMilliseconds)
        return static_cast<int>(SettleMilliseconds - waited);
    changedAt_.reset();
    Refresh();
    return -1;
}

bool MainWindowModel::CloseButton() {
    if (!runner_.AllowClose())
        return false;
    closed_ = true;
    return true;
}

void MainWindowModel::ShowImage(int image) {
    if (image >= 1 && image <= static_cast<int>(view_.images.size()))
        shownImage_ = image;
}

std::vector<std::string> MainWindowModel::Watched(bool files) const {
    std::vector<std::string> paths;
    const SharedState& s = State();
    if (s.freshSession)
        return paths;
    for (const std::string& folder :
         {s.icons1Dir, JoinPath(s.drmpack1Dir, RawsFolderName), s.drmpack1Dir, s.icons2Dir,
          JoinPath(s.drmpack2Dir, RawsFolderName)})
        if (FolderExists(folder))
            paths.push_back(folder);
    for (const ImageView& image : view_.images)
        for (const Thumbnail& thumbnail : image.thumbnails)
            if (files && !thumbnail.path.empty() && paths.size() < MaxWatchedPaths)
                paths.push_back(thumbnail.path);
    return paths;
}

std::string MainWindowModel::ErrorDetails(const std::string& path, const std::string& next) {
    std::string details = path;
    if (!next.empty())
        details += (details.empty() ? "" : "\n\n") + next;
    return details;
}

int WheelRows(int& pending, int delta) {
    constexpr int Notch = 120;
    pending += delta;
    const int rows = pending / Notch;
    pending -= rows * Notch;
    return -rows;
}

void SaySessionPending(const std::string& path) {
    std::string holds = FlashFileName(1);
    if (ImageCountOf(State().sessionMode) == ModePair)
        holds += " and " + FlashFileName(2);
    ShowMessage("A session is pending, so " + FileNamePart(path) + " was not opened.", "Open",
                "The session holds " + holds + "; its edits are in " + EditFolder() +
                    ". Save As or File > Discard Session... ends it; then open the file again.");
}

void SayWhereFolderIs(const std::string& folder) {
    ShowMessage(std::string(NoFileManagerText), std::string(OpenWorkFolderCaption), folder);
}

} // namespace zantrel
