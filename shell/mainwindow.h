// The main window's model: it owns what the window shows and every rule of
// what the person's actions do, so both window programs are drawing and
// hit-testing only, and a rule is written (and tested) once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/uiops.h"

#include "shell/about1.h"
#include "shell/commands.h"
#include "shell/mainview.h"
#include "shell/opendialog.h"
#include "shell/runner.h"
#include "shell/thumbnail.h"
#include "shell/windowplace.h"

namespace zantrel {

// What a window does for its model: it carries out the user-interface
// operations and draws; everything else is the model's.
struct MainWindowToolkit : UiSink {
    // Draws the model's view anew: the title, the menu's states (Offers),
    // the hint or the panel, the thumbnails.
    virtual void Draw() = 0;
    // Closes the window: the command that ran ended the run.
    virtual void Close() = 0;
    // Opens a file or folder with the program the system has for it; false
    // when none answered.
    virtual bool OpenInShell(const std::string& path) = 0;
    // The error box of a command an I/O failure ended: a stop icon, one OK
    // button, MainCaption as its title, details under the message.
    virtual void ShowError(const std::string& message, const std::string& details) = 0;
    // The settings dialog; its state when closed with OK.
    virtual std::optional<SettingsDialogState> RunSettingsDialog() = 0;
    virtual void RunAboutBox() = 0;
    // A page of plain text under caption, scrollable where it is long.
    virtual void ShowHelpPage(const std::string& caption, const std::string& text) = 0;
};

// A thumbnail as a gesture took it when it began (a menu opened, a drop, a
// double-click): the item's number, not its place in a list that a refresh
// may rebuild meanwhile.
struct ItemRef {
    int image = 0;
    long number = 0;
    std::string path;
};

// How a thumbnail's text is drawn: in the colour of a refusal, of an edit,
// or plain; and, in a pair, whether its background says that it differs
// from the other image's item.
enum class Mark { None, Refused, Edited, Differs };
Mark MarkOf(const Thumbnail& thumbnail);
// Differs or None.
Mark DifferenceMarkOf(const Thumbnail& thumbnail);

// The folders whose changes the view follows: files added, removed or
// renamed into place. The shown files themselves tell of edits in place, up
// to MaxWatchedPaths paths in all (the system's watches are limited).
inline constexpr std::size_t MaxWatchedPaths = 2000;
// An editor's save is several changes in a row: the view is reread once
// none has come for this long.
inline constexpr int SettleMilliseconds = 300;

// A DRM of more items than this shows from its folders' listings first, and
// its files are checked after the first paint on a thread of their own: the
// window never waits for thousands of files before it shows, nor stops
// answering while they are read. It asks every CheckPollMilliseconds
// whether they are done.
inline constexpr std::size_t ListedFirstAbove = 600;
inline constexpr int CheckPollMilliseconds = 10;

// The work folder's link and the menu's Open Work Folder: shows the folder
// where the file manager did not answer.
inline constexpr std::string_view NoFileManagerText = "No file manager answered. The folder is:";
inline constexpr std::string_view OpenWorkFolderCaption = "Open Work Folder";
// A thumbnail's file that no program opened: its folder was, or neither was.
inline constexpr std::string_view NoProgramCaption = "Open";

class MainWindowModel {
public:
    explicit MainWindowModel(MainWindowToolkit& window) : window_(window) {}
    ~MainWindowModel();
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // The window as a sink and its error box installed, the start-up run;
    // the window draws unless the run ended at once.
    void Start();
    const MainView& View() const { return view_; }
    // Whether the menu offers item now: in this run and, for Undo and Redo,
    // with a step to take.
    bool Offers(MenuItem item) const;
    // The item's caption now ("&Undo Replace 7.gif").
    std::string Caption(MenuItem item) const { return CaptionNow(item); }
    // Whether a menu item that is a switch is on (Show Only Differing Items).
    bool Checked(MenuItem item) const;
    // What the status bar says of item while the menu is on it: its long
    // hint, and for Port a pair it will refuse says so beforehand.
    std::string Hint(MenuItem item) const;
    bool Busy() const { return runner_.Busy(); }
    bool CloseRequested() const { return runner_.CloseRequested(); }
    // The logic's CloseMainWindow: the window closes once the command returns.
    void RequestClose() { runner_.RequestClose(); }
    // What the file and folder dialogs keep: each starts where the last one
    // ended (Import where the pictures were just exported).
    OpenDialogMemory& OpenDialog() { return openDialog_; }

    // A menu item chosen (by the menu, a shortcut or a drop): a greyed item
    // does nothing, nor does a second command while one runs.
    void Choose(MenuItem item);
    // The view read again and drawn.
    void Refresh();

    // The thumbnail of image (1 or 2) at index in its list; nullptr when none.
    const Thumbnail* ThumbnailAt(int image, int index) const;
    std::optional<ItemRef> ItemAt(int image, int index) const;
    // The thumbnail of image a typed name's start finds: the first from
    // index from on whose text starts so, ASCII letters in either case
    // (whole: the text is no more than that), past the last on to the first
    // when wrap; -1 for none.
    int FindThumbnail(int image, std::string_view start, int from, bool wrap, bool whole) const;
    // Whether item's own menu can be chosen now: image 1's items, in a
    // second run; image 2's, in a pair, where image 1's slot takes it; no
    // command running.
    bool ItemMenuEnabled(const ItemRef& item) const;
    // The menu of image's thumbnails: ItemMenu or OtherItemMenu.
    static const std::vector<MenuEntry>& ItemMenuOf(int image);
    // An item of ItemMenuOf chosen on item; the view follows at once.
    void ChooseOnItem(MenuItem command, const ItemRef& item);
    // The same on several thumbnails of one image at once, as one step
    // where the command takes several (Use in); else on the first.
    void ChooseOnItems(MenuItem command, const std::vector<ItemRef>& items);
    // Whether item's thumbnail takes a dropped file now (a copy, its target
    // highlighted while the drag is over it).
    bool TakesDrop(const ItemRef& item) const { return item.image == 1 && ItemMenuEnabled(item); }
    // A file dropped on item's thumbnail: a picture replaces it after the
    // question (image 1's items, in a second run).
    void DropOnItem(const ItemRef& item, const std::string& path);
    // Whether image 1's thumbnail to takes image 2's from dragged onto it now
    // (in a pair, no command running; its target highlighted). Whether its
    // slot fits is said on the drop, as Take says it.
    bool TakesItemDrop(const ItemRef& from, const ItemRef& to) const;
    // Image 2's thumbnails dropped on image 1's to: the one taken into to's
    // number after Take's question, as one step. Several are refused, as
    // Take refuses them into one number: which one was meant is not known.
    void DropItemsOnItem(const std::vector<ItemRef>& from, const ItemRef& to);
    // A flash file handed to the window from outside: its command line, or a
    // drop beside the thumbnails. A fresh run takes it as Open's first answer
    // (the second question and the rest as usual); a second run says that a
    // session is pending and what it holds, and opens nothing. Nothing while
    // a command runs.
    void DropBeside(const std::string& path);
    // A thumbnail opened (double-click, Enter): its file with the system's
    // program, else its folder.
    void ActivateItem(const ItemRef& item);
    // The panel's link to a folder: opened, as Open Work Folder, unless a
    // command runs.
    void FollowLink(const std::string& folder);
    // The window came back to the front after the person was elsewhere:
    // files edited in other programs show up, unless a command runs. Its
    // first showing does not read the view again: Start just has.
    void WindowActivated();
    void WindowDeactivated() { away_ = true; }
    // A watched file or folder changed at nowMs (any steady clock).
    void FilesChanged(std::int64_t nowMs);
    // Asked at nowMs after Start and after changes: the items listed first
    // are shown checked once their checks are done; the view is read again
    // once changes have settled. Neither while a command runs. The milliseconds to wait
    // before asking again; -1 when nothing waits.
    int RefreshDue(std::int64_t nowMs);
    // Whether the view shows items listed but not yet checked.
    bool Checking() const { return checks_.has_value(); }
    // For tests: the item count above which Start lists first.
    void ListFirstAbove(std::size_t items) { listFirstAbove_ = items; }
    // The window's close button: false while a command runs; a second run
    // keeps its session as Exit does.
    bool CloseButton();

    // The image whose thumbnails show where only one shows at a time.
    int ShownImage() const { return shownImage_; }
    void ShowImage(int image);
    // What the view follows: the folders (those that exist), and with files
    // the shown files too, MaxWatchedPaths in all.
    std::vector<std::string> Watched(bool files) const;

    // The error box's details: the file or folder a failure concerns, so
    // the person knows which to look at, then what to do about it.
    static std::string ErrorDetails(const std::string& path, const std::string& next);

private:
    void Run(const std::function<void()>& command);
    void OpenFolder(const std::string& folder);
    // The view read again, a large one listed first when listedFirst.
    void Read(bool listedFirst);
    void Show(MainView view);

    MainWindowToolkit& window_;
    CommandRunner runner_;
    OpenDialogMemory openDialog_;
    MainView view_;
    int shownImage_ = 1;
    bool onlyDiffering_ = false;
    bool closed_ = false;
    bool away_ = false;
    std::optional<std::int64_t> changedAt_;
    std::size_t listFirstAbove_ = ListedFirstAbove;
    std::optional<MainViewChecks> checks_; // the listed view's checks under way
    bool checksAfterCommand_ = false;      // ended for the command that runs
};

// One notch of a mouse wheel (delta 120, up positive) scrolls the thumbnails
// one row; finer wheels add up to a notch in pending. The rows to scroll,
// down positive.
int WheelRows(int& pending, int delta);

// The second run's box for a file handed from outside.
void SaySessionPending(const std::string& path);
void SayWhereFolderIs(const std::string& folder);

} // namespace zantrel
