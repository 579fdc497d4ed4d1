// The main window as every window program draws it: its menu, the rules of
// its commands, what it shows, what it watches and every text it shows.
// A window holds only toolkit code: it draws what these say and passes the
// person's actions back, so the windows cannot drift apart.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/picture.h"
#include "shell/about1.h"
#include "shell/commands.h"
#include "shell/help.h"
#include "shell/sdimain.h"
#include "shell/summary.h"
#include "shell/workview.h"

namespace zantrel {

struct Thumbnail;

// What a window does itself when an item is chosen.
struct MainWindowActions {
    virtual ~MainWindowActions() = default;
    // Runs command through the window's CommandRunner, closing after it when asked.
    virtual void Run(const std::function<void()>& command) = 0;
    // Draws the main window anew (DescribeMainWindow).
    virtual void Refresh() = 0;
    // Opens a folder in the file manager (SayWhereFolderIs when none answers).
    virtual void OpenFolder(const std::string& folder) = 0;
    // Shows the settings dialog; its state when closed with OK.
    virtual std::optional<SettingsDialogState> RunSettingsDialog() = 0;
    virtual void RunAboutBox() = 0;
    // Shows a page of plain text under caption, scrollable where it is long.
    virtual void ShowHelpPage(const std::string& caption, const std::string& text) = 0;
};

class CommandRunner;
// A menu item chosen (by the menu, a shortcut or a drop): what it does, in
// both windows alike. A greyed item does nothing, nor does a second command
// while one runs.
void ChooseMenuItem(MenuItem item, const CommandRunner& runner, MainWindowActions& window);
// Whether image's thumbnail offers its own menu: image 1's items, in a
// second run.
bool ItemMenuApplies(const Thumbnail& thumbnail, int image);
// An item of ItemMenu chosen on image's thumbnail; the view follows at once.
void ChooseItemMenu(MenuItem item, const Thumbnail& thumbnail, int image,
                    MainWindowActions& window);

// ---- Running commands ----

// The window's side of a command: one at a time, a close the logic asks for
// happens once the command has returned, and the close button of a second
// run is Exit.
class CommandRunner {
public:
    // Runs command through RunCommand unless another command runs; false
    // when it did not run.
    bool Run(const std::function<void()>& command);
    bool Busy() const { return busy_; }
    // The logic's CloseMainWindow: the window closes after the command.
    void RequestClose() { closeRequested_ = true; }
    bool CloseRequested() const { return closeRequested_; }
    // The window's own close button: false while a command runs (the window
    // stays); a second run is kept for the next start as Exit keeps it.
    bool AllowClose();
    // Whether a dropped flash file is opened now: a fresh run, no command
    // running.
    bool TakesDroppedFile() const;

private:
    bool busy_ = false;
    bool closeRequested_ = false;
};

// ---- The open dialog ----

// What the open dialog keeps between its showings in a run, and a dropped
// file that stands for the next answer.
class OpenDialogMemory {
public:
    // A dropped file: the next Answer gives it without showing the dialog.
    void Drop(std::string path) { dropped_ = std::move(path); }
    // Before a showing: clearName empties the file name; a dropped file is
    // the answer at once (nullopt: show the dialog).
    std::optional<std::string> TakeDropped(bool clearName);
    // After a showing that chose path with the filter entry filterIndex (1 first).
    void Remember(const std::string& path, int filterIndex);
    const std::string& FileName() const { return fileName_; }
    const std::string& Folder() const { return folder_; }
    int FilterIndex() const { return filterIndex_; }
    // The entry a showing with filter starts on (1 first): the one for the
    // last file's kind alone (the second flash file's dialog starts on the
    // first file's), else the one last chosen, else the first.
    int FilterIndexIn(std::string_view filter) const;

private:
    std::string lastFile_; // kept when the name is cleared
    std::string fileName_;
    std::string folder_;
    int filterIndex_ = 1;
    std::optional<std::string> dropped_;
};

// A flash file handed to the window from outside: its command line, or a
// drop beside the thumbnails. A fresh run takes it as Open's first answer
// (the second question and the rest as usual); a second run says that a
// session is pending and what it holds, and opens nothing. Nothing while a
// command runs.
void TakeOutsideFile(const std::string& path, const CommandRunner& runner, OpenDialogMemory& memory,
                     MainWindowActions& window);
// The second run's box for such a file.
void SaySessionPending(const std::string& path);

// "SHX files|*.shx|SBF files|*.sbf" as (name, patterns) pairs.
std::vector<std::pair<std::string, std::string>> FilterEntries(std::string_view filter);
// A save dialog's default extension, without the dot: its first pattern's
// ("shx" for "SHX files|*.shx|..."); empty when that has none.
std::string DefaultExtensionOf(std::string_view filter);

// ---- What the window shows ----

inline constexpr std::string_view MainCaption = "Zantrel";
inline constexpr std::string_view FreshRunHint =
    "Open a flash file to start.\n\nFile > Open, or drop a flash file here.";

struct Thumbnail {
    std::string text; // the name, a line end, the size or the mark
    std::string tip;  // the file's path and size, and the problem when marked
    std::string path; // the file to draw and to open; empty when missing
    long number = 0;  // the item's number, for the commands of its menu
    bool marked = false;
    bool edited = false; // drawn apart from the rest, beside the refusal marks
    // A raw picture, which only the shell decodes: its slot's size.
    bool raw = false;
    int width = 0;
    int height = 0;
};

Thumbnail ThumbnailOf(const WorkItem& item);

struct ImageView {
    std::string title; // "Image 1: phone.shx"
    std::vector<Thumbnail> thumbnails;
};

struct MainView {
    // The title bar: MainWindowTitle.
    std::string title = std::string(MainCaption);
    // The hint page (a fresh run, or work files that cannot be listed), or
    // the session: the panel above the images' thumbnails.
    bool sessionPage = false;
    std::string hint;
    SessionSummary panel;
    std::vector<ImageView> images; // image 1, and image 2 for a pair
};
MainView DescribeMainWindow();
// "phone.shx — Zantrel"; for a pair "phone.shx ← other.shx — Zantrel"
// (UTF-8); "Zantrel" in a fresh run or when the files are not known.
std::string MainWindowTitle();

// How a picture of width x height sits in a thumbnail square of side: small
// icons grow by whole steps so their pixels stay sharp; large pictures
// shrink, keeping their shape.
inline constexpr int ThumbnailSide = 96;
struct ThumbnailFit {
    int width = 0;
    int height = 0;
};
ThumbnailFit FitThumbnail(int width, int height, int side);

// picture fitted in the middle of a light side x side square with a border;
// the bare square when there is none.
Picture SquareOf(const std::optional<Picture>& picture, int side);
// The thumbnail as both windows draw it: a side x side opaque square, light
// with a border, the item's picture (raw, GIF, BMP or any other kind the
// imaging layer reads) fitted in its middle; the bare square when the file is
// missing or cannot be decoded.
Picture ThumbnailPicture(const Thumbnail& thumbnail, int side);

// ---- The window's place between runs ----

// A rectangle in the desktop's pixels: left, top, width, height.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenRect&) const = default;
};
// Where the main window was left, as each window program keeps it per user.
struct WindowPlace {
    ScreenRect normal; // its size and place when not maximised
    bool maximised = false;
    bool operator==(const WindowPlace&) const = default;
};
// place brought onto the screens as they are now (their usable areas, the
// main one first): a window wholly on one screen stays where it was; else
// it goes onto the screen it overlaps most (the main one when none),
// shrunk to fit there but not below minWidth x minHeight. Without screens,
// place as it is.
WindowPlace KeepOnScreen(WindowPlace place, const std::vector<ScreenRect>& screens, int minWidth,
                         int minHeight);

// ---- Following the files ----

// The folders whose changes the view follows: files added, removed or
// renamed into place. The shown files themselves tell of edits in place, up
// to MaxWatchedPaths paths in all (the system's watches are limited).
std::vector<std::string> WatchedFolders();
inline constexpr std::size_t MaxWatchedPaths = 2000;
// An editor's save is several changes in a row: the view is reread once
// none has come for this long.
inline constexpr int SettleMilliseconds = 300;

// The work folder's link and the menu's Open Work Folder: shows the folder
// where the file manager did not answer.
inline constexpr std::string_view NoFileManagerText = "No file manager answered. The folder is:";
inline constexpr std::string_view OpenWorkFolderCaption = "Open Work Folder";
void SayWhereFolderIs(const std::string& folder);

} // namespace zantrel
