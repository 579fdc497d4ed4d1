// The command table: one row per command of the main window, with
// everything the menu, the windows, the console and the tests know of it.
// The menu, the runs that offer a command, what choosing it does and the
// console's subcommands are all read from here, so adding a command is one
// row, its function and its test.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/sdimain.h"

namespace zantrel {

enum class MenuItem {
    FileOpenItem,
    Port1,
    FileSaveAsItem,
    FileDiscardItem,
    FileOpenWorkFolderItem, // the front end opens the folder in the file manager
    FileExitItem,
    ViewRefreshItem, // the front end rereads the work files into its view
    Settings1,
    HelpAboutItem,
    FileImportItem,
    FileExportItem,
    FileExportSheetItem,
    FileRestoreAllItem,
    // A thumbnail's own menu: the commands take its number.
    ItemReplaceItem,
    ItemRestoreItem,
    HelpHowItem, // one page on the runs, the work folder, the commands and the settings
    // The Edit menu: its captions name the step ("&Undo Replace 7.gif").
    EditUndoItem,
    EditRedoItem,
    EditHistoryItem,
    // Image 2's thumbnails' menu: its item into image 1's ("Use in phone.shx").
    ItemTakeItem,
    // A switch: image 2's tab shows only the items that differ from image 1's.
    ViewOnlyDifferingItem,
};

// The run of the program a command is offered in: a fresh run (no session
// file), a second run of a session of one image, or of a pair.
enum class RunKind { Fresh, Second, Pair };
// This run, as start-up found the session file. Only a low-bit value of
// exactly 1 (one image) is a second run without a pair.
RunKind CurrentRun();

struct Runs {
    bool fresh = false;
    bool second = false;
    bool pair = false;
    constexpr bool Has(RunKind run) const {
        return run == RunKind::Fresh ? fresh : run == RunKind::Second ? second : pair;
    }
};
inline constexpr Runs EveryRun{true, true, true};
inline constexpr Runs FreshRun{true, false, false};
inline constexpr Runs SecondRuns{false, true, true};
inline constexpr Runs PairRun{false, false, true};

enum class Shortcut { None, CtrlO, CtrlP, CtrlS, F5, F1, CtrlZ, CtrlY, CtrlShiftZ };

// What choosing an item does: a command of the logic, or something the
// window does itself.
enum class MenuAction {
    Command,
    OpenWorkFolder,
    Refresh,
    SettingsDialog,
    AboutBox,
    HelpPage,
    OnlyDiffering, // the window's switch of what image 2's tab shows
};

// The console's arguments of a command as its command line gave them.
struct ConsoleArguments {
    std::string first;                 // the file or folder: FLASH, FILE, DIR
    std::optional<std::string> second; // open's EXPORT
    std::string item;                  // replace's and restore's N ("all" for restore)
    std::string fit = "inside";
    bool keepSize = false;
    std::string to;         // take's --to K; empty for none
    bool overwrite = false; // --overwrite: files that exist are replaced, not refused
};

// A positional argument of a console command and where it goes.
struct ConsolePositional {
    enum class Slot { First, Second, Item };
    std::string_view name; // "FLASH"
    Slot slot = Slot::First;
    bool required = true;
    std::string_view typeName; // the help's form when it is not the name: "N|all"
};

// A command as the console offers it; a row without a name is the window's
// alone.
struct ConsoleForm {
    std::string_view name; // "save-as"
    // The help's description, broken where the help breaks it.
    std::string_view help;
    std::vector<ConsolePositional> positionals;
    bool fitOption = false;       // --fit inside|fill|stretch
    bool keepSizeOption = false;  // --keep-size
    bool toOption = false;        // --to K
    bool overwriteOption = false; // --overwrite
    // The usage error when a required argument is missing.
    std::string_view missing;
    // Start-up reads the session but changes nothing on disk.
    bool readOnlyStart = false;
    // Before start-up: the arguments' usage error, nullopt when they will do.
    std::optional<std::string> (*check)(const ConsoleArguments&) = nullptr;
    // After start-up, for a command the run offers: the arguments' usage
    // error in this run, nullopt when they will do.
    std::optional<std::string> (*refuse)(const ConsoleArguments&) = nullptr;
    CommandResult (*run)(const ConsoleArguments&) = nullptr;
};

struct Command {
    MenuItem item;
    std::string_view caption; // "&Open": the letter after "&" is the item's key
    std::string_view hint;    // "Open|Open a flash file": the status bar shows the part after "|"
    Shortcut shortcut = Shortcut::None;
    Runs runs = EveryRun; // the runs that offer it
    // A second key for it (Redo's Ctrl+Shift+Z); None for none.
    Shortcut alternate = Shortcut::None;
    // Why a run does not offer it (the console's words): a fresh run, and a
    // second run (of one image or of a pair); empty where it is offered.
    std::string_view whyNotFresh;
    std::string_view whyNotSecond;
    MenuAction action = MenuAction::Command;
    // The window reads the work files again after it: it changed the files
    // shown and leaves the window open.
    bool rereadsView = false;
    CommandResult (*run)() = nullptr;           // a menu command's function
    CommandResult (*runOnItem)(long) = nullptr; // an item menu command's: the item's number
    // An item menu command taken on several items at once, as one step.
    CommandResult (*runOnItems)(const std::vector<long>&) = nullptr;
    ConsoleForm console;
};

// Every command, the console's in the order its help lists them.
const std::vector<Command>& Commands();
const Command& CommandOf(MenuItem item);
// The console's command of that name; nullptr for none.
const Command* ConsoleCommand(std::string_view name);

// Whether run offers item: pure, from the table.
bool Offered(MenuItem item, RunKind run);
// Why run does not offer item, in the console's words.
std::string WhyDisabled(MenuItem item, RunKind run);

// ---- The menu, as the table lays it out ----

struct MenuEntry {
    MenuItem item;
    std::string_view caption;
    std::string_view hint;
    Shortcut shortcut = Shortcut::None;
    bool separatorBefore = false;
    Shortcut alternate = Shortcut::None;
};

// A top-level entry of the menu bar: a menu of entries, or (without
// entries) an item of its own.
struct MenuGroup {
    std::string_view caption;
    std::string_view hint;
    std::vector<MenuEntry> entries;
    std::optional<MenuItem> item; // a top-level item: "&Settings"
};

// File, Edit, View, Settings and Help, in order.
const std::vector<MenuGroup>& MainMenu();
// A thumbnail's own menu (Replace, Restore Original).
const std::vector<MenuEntry>& ItemMenu();
// The menu of image 2's thumbnails (Use in <flash file 1>).
const std::vector<MenuEntry>& OtherItemMenu();
// The hint of item where the main menu holds it (an entry, or an item of the
// bar); empty for the items of a thumbnail's menu.
std::string_view MainMenuHint(MenuItem item);
// The part of a hint after "|" (the whole hint when it has none).
std::string LongHint(std::string_view hint);
// "Ctrl+O", "F5"; empty for none.
std::string ShortcutText(Shortcut shortcut);

// The item's caption now: Undo and Redo name their step ("&Undo Replace
// 7.gif"); the rest as the table has it.
std::string CaptionNow(MenuItem item);
// Whether item can be chosen now: offered in this run and, for Undo and
// Redo, with a step to take.
bool Available(MenuItem item, RunKind run);

MenuAction ActionOf(MenuItem item);
// The command a Command item runs (Open, Port, Save As, Discard, Exit, the edits).
CommandResult RunMenuCommand(MenuItem item);

} // namespace zantrel
