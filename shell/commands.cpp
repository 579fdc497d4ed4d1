#include "shell/commands.h"

#include "base/fileio.h"

#include "drm/drmpack.h"

#include "shell/edit.h"
#include "shell/history.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/take.h"

namespace zantrel {

namespace {

using Slot = ConsolePositional::Slot;

constexpr std::string_view EditingNotOffered =
    "the editing commands are not offered: no session is pending (open a flash file first)";

// The item number replace and restore take: 1 to the most items a DRM can hold.
std::optional<long> ItemNumber(const std::string& text) {
    const auto number = ParseIntegerToken(text);
    if (!number || *number < 1 || *number > MaxDrmItems + 3)
        return std::nullopt;
    return static_cast<long>(*number);
}

std::optional<std::string> CheckFit(const ConsoleArguments& a) {
    if (!FitFromName(a.fit))
        return "--fit needs inside, fill or stretch";
    return std::nullopt;
}

std::optional<std::string> CheckFile(const ConsoleArguments& a) {
    if (auto bad = CheckFit(a))
        return bad;
    if (a.first.empty())
        return "empty file name";
    return std::nullopt;
}

ReplaceOptions OptionsOf(const ConsoleArguments& a) {
    ReplaceOptions options;
    options.fit = FitFromName(a.fit).value_or(Fit::Inside);
    options.iconTakesNewSize = a.keepSize;
    return options;
}

// A command typed is not asked: it refuses to replace files unless told.
Overwrite OverwriteOf(const ConsoleArguments& a) {
    return a.overwrite ? Overwrite::Replace : Overwrite::Refuse;
}

// Save As from the console: a second run that does not finish its session
// keeps it, as Exit does.
CommandResult SaveAsAndKeep(const ConsoleArguments& a) {
    const CommandResult result = RunCommand([&] { return SaveAs(a.first); });
    if (result != CommandResult::Completed)
        RunCommand(FileExit1Execute);
    return result;
}

// Each row names only what differs from the defaults; GCC 12 warns about
// the members a designated initializer leaves to them, which is the point.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<Command> BuildCommands() {
    using enum MenuItem;
    return {
        {.item = FileOpenItem,
         .caption = "&Open",
         .hint = "Open|Open a flash file",
         .shortcut = Shortcut::CtrlO,
         .runs = FreshRun,
         .whyNotSecond = "open is not offered: a session is pending (save-as or port it, or keep "
                         "it with exit)",
         .run = FileOpen1Execute,
         .console = {.name = "open",
                     .help =
                         R"(Open: FLASH is the flash file to edit. EXPORT, when given, is a second
flash file whose DRM can then be ported into FLASH's. Without EXPORT
the second file dialog counts as cancelled. With "ask-second" off
(edit-only mode) EXPORT is refused with status 2. Only in a fresh run.)",
                     .positionals = {{"FLASH"}, {"EXPORT", Slot::Second, false}},
                     .missing = "open needs a flash file and at most one export file",
                     .check = [](const ConsoleArguments& a) -> std::optional<std::string> {
                         if (a.first.empty() || (a.second && a.second->empty()))
                             return "empty file name";
                         return std::nullopt;
                     },
                     .refuse = [](const ConsoleArguments& a) -> std::optional<std::string> {
                         if (a.second && !State().askSecondFile)
                             return "an export file is not asked for in edit-only mode (settings "
                                    "--ask-second on turns it back on)";
                         return std::nullopt;
                     },
                     .run =
                         [](const ConsoleArguments& a) {
                             return OpenFlashFiles({a.first, a.second});
                         }}},
        {.item = FileSaveAsItem,
         .caption = "Save &As...",
         .hint = "Save As|Save DRM to file",
         .shortcut = Shortcut::CtrlS,
         .runs = SecondRuns,
         .whyNotFresh = "save-as is not offered: no session is pending (open a flash file first)",
         .run = FileSave1Execute,
         .console = {.name = "save-as",
                     .help =
                         R"(Save As: compiles the edited DRM. A superfile or SBF session writes the
superfile FILE and the compiled code group FILE less its extension plus
".bin"; a raw-image session writes only that ".bin" file. FILE without
an extension gets ".shx". Cleans the work folder afterwards unless
"cleanup" is off. Only in a second run.)",
                     .positionals = {{"FILE"}},
                     .missing = "save-as needs one file name",
                     .check = [](const ConsoleArguments& a) -> std::optional<std::string> {
                         if (a.first.empty())
                             return "save-as needs one file name";
                         return std::nullopt;
                     },
                     .run = SaveAsAndKeep}},
        {.item = Port1,
         .caption = "&Port",
         .hint = "Port |Port DRM",
         .shortcut = Shortcut::CtrlP,
         .runs = PairRun,
         .whyNotFresh = "port is not offered: no session is pending (open two flash files first)",
         .whyNotSecond = "port is not offered: the pending session holds one flash file only",
         .rereadsView = true,
         .run = Port1Click,
         .console = {.name = "port",
                     .help =
                         R"(Port: copies the icons and pictures of EXPORT's DRM over FLASH's. The
session then stays pending (as with exit) for a later save-as. Only in
a second run of a session opened with two files.)",
                     // The session stays pending on disk: nothing to keep, nothing to say.
                     .run = [](const ConsoleArguments&) { return Port1Click(); }}},
        {.item = FileExitItem,
         .caption = "E&xit",
         .hint = "Exit|Exit utility",
         .run = FileExit1Execute,
         .console = {.name = "exit",
                     .help = R"(Exit: in a second run, keeps the pending session for a later run
("DRM was not compiled"); in a fresh run does nothing.)",
                     .readOnlyStart = true,
                     .run = [](const ConsoleArguments&) { return FileExit1Execute(); }}},
        {.item = FileDiscardItem,
         .caption = "&Discard Session...",
         .hint = "Discard Session|Delete the pending session and its work files",
         .runs = SecondRuns,
         .whyNotFresh = "discard is not offered: no session is pending",
         .rereadsView = true, // the run goes on as a fresh one
         .run = FileDiscard1Execute,
         .console = {.name = "discard",
                     .help = R"(Discard Session: ends the pending session without saving it: deletes
the session file and the work files, edits included. Only in a second
run.)",
                     .run = [](const ConsoleArguments&) { return FileDiscard1Execute(); }}},
        {.item = ItemReplaceItem,
         .caption = "&Replace...",
         .hint = "Replace|Replace this item with a PNG, JPEG, GIF, BMP or TGA picture",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .runOnItem =
             [](long number) {
                 ReplaceOptions options;
                 options.askFirst = true;
                 return ReplaceItem(number, std::nullopt, options);
             },
         .console = {.name = "replace",
                     .help =
                         R"(Replaces item N of the file to edit with the picture FILE (PNG, JPEG,
GIF, BMP or TGA): a picture at exactly its slot's size, an icon as a GIF
or BMP as it was. Pixels less than half opaque become transparent. Only
in a second run.)",
                     .positionals = {{"N", Slot::Item}, {"FILE"}},
                     .fitOption = true,
                     .keepSizeOption = true,
                     .missing = "replace needs an item number and a picture file",
                     .check = [](const ConsoleArguments& a) -> std::optional<std::string> {
                         if (auto bad = CheckFit(a))
                             return bad;
                         if (!ItemNumber(a.item))
                             return "replace needs an item number (1, 2, ...)";
                         return CheckFile(a);
                     },
                     .run =
                         [](const ConsoleArguments& a) {
                             return ReplaceItem(*ItemNumber(a.item), a.first, OptionsOf(a));
                         }}},
        {.item = ItemRestoreItem,
         .caption = "Restore &Original",
         .hint = "Restore Original|Put this item back as Open wrote it",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .runOnItem = RestoreItem,
         // "restore all" is File > Restore All Originals; both are offered alike.
         .console = {.name = "restore",
                     .help = R"(Puts item N back as Open wrote it; "all" puts back every edited
item. Only in a second run.)",
                     .positionals = {{"N", Slot::Item, true, "N|all"}},
                     .missing = "restore needs an item number or all",
                     .check = [](const ConsoleArguments& a) -> std::optional<std::string> {
                         if (auto bad = CheckFit(a))
                             return bad;
                         if (a.item != "all" && !ItemNumber(a.item))
                             return "restore needs an item number (1, 2, ...) or all";
                         return std::nullopt;
                     },
                     .run =
                         [](const ConsoleArguments& a) {
                             return a.item == "all" ? RestoreAllItems()
                                                    : RestoreItem(*ItemNumber(a.item));
                         }}},
        {.item = ItemTakeItem,
         .caption = "&Use in",
         .hint = "Use in|Put this item of the other phone in place of the same item of the file "
                 "to edit",
         .runs = PairRun,
         .whyNotFresh = "take is not offered: no session is pending (open two flash files first)",
         .whyNotSecond = "take is not offered: the pending session holds one flash file only",
         .runOnItems = [](const std::vector<long>& numbers) { return TakeItems(numbers); },
         .console = {.name = "take",
                     .help =
                         R"(Puts items N (3 or 3,7,9; "all": every item that fits) of EXPORT's
DRM in place of FLASH's items of the same numbers, or with --to K the
one item N in place of item K: a picture into a slot of its size, an
icon fitted as replace fits it. Only in a second run of a session
opened with two files.)",
                     .positionals = {{"N", Slot::Item, true, "N[,M...]|all"}},
                     .toOption = true,
                     .missing = "take needs item numbers or all",
                     .check = [](const ConsoleArguments& a) -> std::optional<std::string> {
                         const auto numbers = ParseItemList(a.item);
                         if (!numbers)
                             return "take needs item numbers (3 or 3,7,9) or all";
                         if (!a.to.empty() && (!ItemNumber(a.to) || numbers->size() != 1))
                             return "--to needs one item number, and one item to take";
                         return std::nullopt;
                     },
                     .run =
                         [](const ConsoleArguments& a) {
                             return TakeItems(*ParseItemList(a.item),
                                              a.to.empty()
                                                  ? std::nullopt
                                                  : std::optional<long>(*ItemNumber(a.to)));
                         }}},
        {.item = FileExportItem,
         .caption = "&Export Pictures as PNG...",
         .hint = "Export Pictures|Write every picture and icon as a PNG file named by number",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .rereadsView = true,
         .run = [] { return ExportPictures(std::nullopt); },
         .console = {.name = "export-png",
                     .help =
                         R"(Writes every picture and icon of the file to edit into the folder DIR
(made when missing) as N.png, all or none. Files of those names there
are replaced only with --overwrite. Only in a second run.)",
                     .positionals = {{"DIR"}},
                     .overwriteOption = true,
                     .missing = "export-png needs one folder",
                     .check = CheckFile,
                     .run =
                         [](const ConsoleArguments& a) {
                             return ExportPictures(a.first, OverwriteOf(a));
                         }}},
        {.item = FileExportSheetItem,
         .caption = "Export &Contact Sheet...",
         .hint = "Export Contact Sheet|One PNG of every item with its number, size and mark",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .rereadsView = true,
         .run = [] { return ExportContactSheet(std::nullopt); },
         .console = {.name = "sheet",
                     .help =
                         R"(Writes one PNG picture of every item with its number, size and edited
mark. An existing FILE is replaced only with --overwrite. Only in a
second run.)",
                     .positionals = {{"FILE"}},
                     .overwriteOption = true,
                     .missing = "sheet needs one file name",
                     .check = CheckFile,
                     .run =
                         [](const ConsoleArguments& a) {
                             return ExportContactSheet(a.first, OverwriteOf(a));
                         }}},
        {.item = FileImportItem,
         .caption = "&Import Pictures...",
         .hint = "Import Pictures|Replace items from a folder of pictures named by number",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .rereadsView = true,
         .run = [] { return ImportPictures(std::nullopt); },
         .console = {.name = "import",
                     .help = R"(Replaces the items whose numbers name the pictures in DIR (1.png,
2.jpg, ...), all in one step; a picture that shows what its item shows
leaves it untouched. A file that cannot be used is named with its reason
and left out. Only in a second run.)",
                     .positionals = {{"DIR"}},
                     .fitOption = true,
                     .missing = "import needs one folder",
                     .check = CheckFile,
                     .run =
                         [](const ConsoleArguments& a) {
                             return ImportPictures(a.first, OptionsOf(a));
                         }}},
        {.item = FileRestoreAllItem,
         .caption = "&Restore All Originals...",
         .hint = "Restore All Originals|Put every edited item back as Open wrote it",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .rereadsView = true,
         .run = RestoreAllItems},
        {.item = EditUndoItem,
         .caption = "&Undo",
         .hint = "Undo|Take back the last change Zantrel made to the work files",
         .shortcut = Shortcut::CtrlZ,
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .rereadsView = true,
         .run = UndoStep,
         .console = {.name = "undo",
                     .help = R"(Takes back the last step Zantrel made to the work files (replace,
restore, import, port, take), also one of an earlier run. A file
another program changed since is kept as it is. Only in a second run.)",
                     .run = [](const ConsoleArguments&) { return UndoStep(); }}},
        {.item = EditRedoItem,
         .caption = "&Redo",
         .hint = "Redo|Make the last change taken back again",
         .shortcut = Shortcut::CtrlY,
         .runs = SecondRuns,
         .alternate = Shortcut::CtrlShiftZ,
         .whyNotFresh = EditingNotOffered,
         .rereadsView = true,
         .run = RedoStep,
         .console = {.name = "redo",
                     .help = R"(Makes the last step that undo took back again. Only in a second
run.)",
                     .run = [](const ConsoleArguments&) { return RedoStep(); }}},
        {.item = EditHistoryItem,
         .caption = "&History...",
         .hint = "History|The steps Undo and Redo go through",
         .runs = SecondRuns,
         .whyNotFresh = EditingNotOffered,
         .run = ShowHistory,
         .console = {.name = "history",
                     .help = R"(Lists the steps undo and redo go through, newest first. Only in a
second run.)",
                     .readOnlyStart = true,
                     .run = [](const ConsoleArguments&) { return ShowHistory(); }}},
        {.item = FileOpenWorkFolderItem,
         .caption = "Open &Work Folder",
         .hint = "Open Work Folder|Show the icons and pictures to edit in the file manager",
         .runs = SecondRuns,
         .action = MenuAction::OpenWorkFolder},
        {.item = ViewRefreshItem,
         .caption = "&Refresh",
         .hint = "Refresh|Read the work files again",
         .shortcut = Shortcut::F5,
         .runs = SecondRuns,
         .action = MenuAction::Refresh},
        {.item = ViewOnlyDifferingItem,
         .caption = "Show Only &Differing Items",
         .hint = "Show only differing items|Image 2's tab shows only the items that differ "
                 "from image 1's",
         .runs = PairRun,
         .action = MenuAction::OnlyDiffering},
        {.item = Settings1,
         .caption = "&Settings",
         .hint = "Settings",
         .runs = FreshRun,
         .whyNotSecond = "settings are not offered: a session is pending; settings change only "
                         "before open",
         .action = MenuAction::SettingsDialog},
        {.item = HelpHowItem,
         .caption = "&How Zantrel Works",
         .hint = "How Zantrel Works|The two runs, the work folder, the commands and the settings",
         .shortcut = Shortcut::F1,
         .action = MenuAction::HelpPage},
        {.item = HelpAboutItem,
         .caption = "&About...",
         .hint = "About|Displays program information, version number, and copyright",
         .action = MenuAction::AboutBox},
    };
}
#pragma GCC diagnostic pop

} // namespace

RunKind CurrentRun() {
    const SharedState& s = State();
    if (s.freshSession)
        return RunKind::Fresh;
    return ImageCountOf(s.sessionMode) == ModeSingle ? RunKind::Second : RunKind::Pair;
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = BuildCommands();
    return commands;
}

const Command& CommandOf(MenuItem item) {
    for (const Command& command : Commands())
        if (command.item == item)
            return command;
    // Every item has its row (the table's test holds it to that).
    return Commands().front();
}

const Command* ConsoleCommand(std::string_view name) {
    for (const Command& command : Commands())
        if (!command.console.name.empty() && command.console.name == name)
            return &command;
    return nullptr;
}

bool Offered(MenuItem item, RunKind run) { return CommandOf(item).runs.Has(run); }

std::string WhyDisabled(MenuItem item, RunKind run) {
    const Command& command = CommandOf(item);
    const std::string_view why = run == RunKind::Fresh ? command.whyNotFresh : command.whyNotSecond;
    return std::string(why.empty() ? "this command is not offered in this run" : why);
}

const std::vector<MenuGroup>& MainMenu() {
    static const std::vector<MenuGroup> menu = [] {
        auto entry = [](MenuItem item, bool separatorBefore = false) {
            const Command& c = CommandOf(item);
            return MenuEntry{item, c.caption, c.hint, c.shortcut, separatorBefore, c.alternate};
        };
        using enum MenuItem;
        const Command& settings = CommandOf(Settings1);
        return std::vector<MenuGroup>{
            {"&File",
             "Operation commands",
             {entry(FileOpenItem), entry(Port1), entry(FileSaveAsItem), entry(FileDiscardItem),
              entry(FileOpenWorkFolderItem), entry(FileImportItem, true), entry(FileExportItem),
              entry(FileExportSheetItem), entry(FileRestoreAllItem), entry(FileExitItem, true)},
             std::nullopt},
            {"&Edit",
             "Edit commands",
             {entry(EditUndoItem), entry(EditRedoItem), entry(EditHistoryItem, true)},
             std::nullopt},
            {"&View",
             "View commands",
             {entry(ViewRefreshItem), entry(ViewOnlyDifferingItem)},
             std::nullopt},
            {settings.caption, settings.hint, {}, Settings1},
            {"&Help", "Help topics", {entry(HelpHowItem), entry(HelpAboutItem)}, std::nullopt},
        };
    }();
    return menu;
}

const std::vector<MenuEntry>& ItemMenu() {
    static const std::vector<MenuEntry> menu = [] {
        std::vector<MenuEntry> entries;
        for (MenuItem item : {MenuItem::ItemReplaceItem, MenuItem::ItemRestoreItem}) {
            const Command& c = CommandOf(item);
            entries.push_back({item, c.caption, c.hint, c.shortcut});
        }
        return entries;
    }();
    return menu;
}

const std::vector<MenuEntry>& OtherItemMenu() {
    static const std::vector<MenuEntry> menu = [] {
        const Command& c = CommandOf(MenuItem::ItemTakeItem);
        return std::vector<MenuEntry>{{c.item, c.caption, c.hint, c.shortcut}};
    }();
    return menu;
}

std::string_view MainMenuHint(MenuItem item) {
    for (const MenuGroup& group : MainMenu()) {
        if (group.item == item)
            return group.hint;
        for (const MenuEntry& entry : group.entries)
            if (entry.item == item)
                return entry.hint;
    }
    return {};
}

std::string LongHint(std::string_view hint) {
    const std::size_t bar = hint.find('|');
    return std::string(bar == std::string_view::npos ? hint : hint.substr(bar + 1));
}

std::string ShortcutText(Shortcut shortcut) {
    switch (shortcut) {
    case Shortcut::CtrlO:
        return "Ctrl+O";
    case Shortcut::CtrlP:
        return "Ctrl+P";
    case Shortcut::CtrlS:
        return "Ctrl+S";
    case Shortcut::F5:
        return "F5";
    case Shortcut::F1:
        return "F1";
    case Shortcut::CtrlZ:
        return "Ctrl+Z";
    case Shortcut::CtrlY:
        return "Ctrl+Y";
    case Shortcut::CtrlShiftZ:
        return "Ctrl+Shift+Z";
    case Shortcut::None:
        break;
    }
    return {};
}

std::string CaptionNow(MenuItem item) {
    const Command& command = CommandOf(item);
    std::optional<std::string> step;
    if (item == MenuItem::EditUndoItem && CurrentRun() != RunKind::Fresh)
        step = NextUndo();
    else if (item == MenuItem::EditRedoItem && CurrentRun() != RunKind::Fresh)
        step = NextRedo();
    if (item == MenuItem::ItemTakeItem && CurrentRun() == RunKind::Pair)
        step = FlashFileName(1);
    return std::string(command.caption) + (step ? " " + *step : "");
}

bool Available(MenuItem item, RunKind run) {
    if (!Offered(item, run))
        return false;
    if (item == MenuItem::EditUndoItem)
        return NextUndo().has_value();
    if (item == MenuItem::EditRedoItem)
        return NextRedo().has_value();
    return true;
}

MenuAction ActionOf(MenuItem item) { return CommandOf(item).action; }

CommandResult RunMenuCommand(MenuItem item) {
    const Command& command = CommandOf(item);
    return command.run ? command.run() : CommandResult::Completed;
}

} // namespace zantrel
