// zantrel-cli: the console front end. Each invocation is one run of the
// program in the current folder: start-up, one menu command, the end of the
// run. "info" alone reads a flash file without touching the start folder.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/state.h"
#include "base/unicode.h"
#include "cli/consoleui.h"
#include "cli/helpformat.h"
#include "cli/infoprint.h"
#include "drm/drmpack.h"
#include "shell/about1.h"
#include "shell/edit.h"
#include "shell/info.h"
#include "shell/sdimain.h"
#include "shell/summary.h"

namespace zantrel {
namespace {

namespace fs = std::filesystem;

inline constexpr const char* ProgramName = "zantrel-cli";

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1; // I/O failure, an "Error" message, a rejected input
inline constexpr int ExitUsage = 2;  // bad usage or a command this run does not offer

// The help's own words; the commands and their options between them are
// rendered from the command line's definition.
const char* const Overview = R"(Usage: zantrel-cli COMMAND [ARGUMENTS]

Takes the DRM (the icons and pictures of a phone's flash) out of a superfile
(.shx), an SBF file (.sbf) or a raw code-group image (any other extension)
into a work folder of plain files, and compiles it back into a new file.

The work is spread over two runs, as with the window program. The current
folder is the start folder: it holds the settings file "zantrel.ini" and,
between the two runs, the session file "shxdata.dat". The work folder
(settings; the start folder by default) holds binary1/ (the file to edit) and
binary2/ (the file whose DRM is exported), each with drmpack/ and
drmpack/icons/ (pictures as .bmp, icons as .gif or .bmp, numbered from 1).

  1. zantrel-cli open FLASH [EXPORT]   decompiles; writes "shxdata.dat"
  2. edit the files in binary1/drmpack/icons with any outside tool
  3. zantrel-cli port                  (only when EXPORT was given)
  4. zantrel-cli save-as FILE          compiles and writes FILE

Step 2 can also be done here: replace, restore, import, export-png, sheet.
)";

const char* const Notes = R"(A command that this run does not offer (open, settings in a second run;
save-as, port in a fresh run; port in a session with one file) is refused.
A second run that does not finish its session keeps it, as exit does.

Status texts and messages are printed on standard output, one line each
("Caption: text"); progress is drawn on standard error when it is a terminal.
An I/O failure prints "zantrel-cli: " and its message on standard error.

Exit status:
  0  the command ended as intended (a warning included)
  1  an I/O failure, an "Error" message or a rejected input
  2  bad usage, or a command this run does not offer
)";

// Messages name files given on the command line or found in the work folder.
void PrintError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", ProgramName, PrintableLines(message).c_str());
}

// An I/O failure with the file it concerns, "File not found: /path/x.shx",
// and what to do next on a line of its own.
void PrintIoFailure(const std::string& message, const std::string& path, const std::string& next) {
    std::string text = message;
    if (!path.empty()) {
        if (!text.empty() && text.back() == '.')
            text.pop_back();
        text += ": " + path;
    }
    PrintError(text);
    if (!next.empty())
        std::fprintf(stderr, "%s\n", next.c_str());
}

int UsageError(const std::string& message) {
    PrintError(message);
    std::fprintf(stderr, "Try '%s --help'.\n", ProgramName);
    return ExitUsage;
}

std::string Absolute(const std::string& path) {
    return Utf8FromPath(fs::absolute(PlainPathFromUtf8(path)).lexically_normal());
}

std::optional<bool> ParseOnOff(const std::string& text) {
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    return std::nullopt;
}

// "R,G,B", each 0 to 255, as a platform colour value 0x00BBGGRR.
std::optional<std::uint32_t> ParseColour(const std::string& text) {
    std::uint8_t parts[3];
    std::size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        std::size_t end = text.find(',', pos);
        if ((i < 2) != (end != std::string::npos))
            return std::nullopt;
        std::string part =
            text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        unsigned long value = std::stoul(part);
        if (value > 255)
            return std::nullopt;
        parts[i] = static_cast<std::uint8_t>(value);
        pos = end + 1;
    }
    return PackColour({parts[0], parts[1], parts[2]});
}

// The command line as the definition took it, before any check of the values.
struct CommandLine {
    std::string first;                 // open's FLASH, save-as's FILE, info's FLASH
    std::optional<std::string> second; // open's EXPORT
    bool json = false;
    // The settings options, each given or not.
    std::optional<std::string> cleanup, askSecond, bmp, replacer, workFolder;
    // The editing commands' item ("12", or restore's "all") and options.
    std::string item;
    std::string fit = "inside";
    bool keepSize = false;
    bool overwrite = false; // export-png's and sheet's
};

// The commands, their arguments and options, and the help rendered from them.
class Definition {
public:
    Definition() : app_(Overview, ProgramName) {
        // Options are "-x" and "--name" alone: on Windows CLI11 would take a
        // rooted path ("/phones/a.shx") for an option. The commands inherit it.
        app_.allow_windows_style_options(false);
        app_.set_help_flag("-h,--help", "This text.");
        app_.set_version_flag("-V,--version", std::string(ProgramName) + " " + ZANTREL_VERSION,
                              "Prints the program's name and version.");
        app_.footer(Notes);
        app_.formatter(std::make_shared<HelpFormatter>());

        // The descriptions break their lines where the help should.
        CLI::App* open = Command(
            "open", R"(Open: FLASH is the flash file to edit. EXPORT, when given, is a second
flash file whose DRM can then be ported into FLASH's. Without EXPORT
the second file dialog counts as cancelled. With "ask-second" off
(edit-only mode) EXPORT is refused with status 2. Only in a fresh run.)");
        open->add_option("FLASH", line_.first)->required();
        open->add_option("EXPORT", line_.second);

        CLI::App* save = Command(
            "save-as", R"(Save As: compiles the edited DRM. A superfile or SBF session writes the
superfile FILE and the compiled code group FILE less its extension plus
".bin"; a raw-image session writes only that ".bin" file. FILE without
an extension gets ".shx". Cleans the work folder afterwards unless
"cleanup" is off. Only in a second run.)");
        save->add_option("FILE", line_.first)->required();

        Command("port", R"(Port: copies the icons and pictures of EXPORT's DRM over FLASH's. The
session then stays pending (as with exit) for a later save-as. Only in
a second run of a session opened with two files.)");
        Command("exit", R"(Exit: in a second run, keeps the pending session for a later run
("DRM was not compiled"); in a fresh run does nothing.)");
        Command("session", R"(Prints the pending session as the window's panel shows it: the flash
files, their kind, the work folder, the counts of icons and pictures,
what save-as writes and, for two files, whether port can work. Changes
nothing.)");
        Command("discard", R"(Discard Session: ends the pending session without saving it: deletes
the session file and the work files, edits included. Only in a second
run.)");

        CLI::App* replace = Command(
            "replace", R"(Replaces item N of the file to edit with the picture FILE (PNG, JPEG,
GIF, BMP or TGA): a picture at exactly its slot's size, an icon as a GIF
or BMP as it was. Pixels less than half opaque become transparent. Only
in a second run.)");
        replace->add_option("N", line_.item)->required();
        replace->add_option("FILE", line_.first)->required();
        AddFitOption(replace);
        replace
            ->add_flag("--keep-size", line_.keepSize,
                       "an icon keeps the new picture's own size\n(by default it takes the "
                       "old icon's)")
            ->disable_flag_override();
        CLI::App* restore =
            Command("restore", R"(Puts item N back as Open wrote it; "all" puts back every edited
item. Only in a second run.)");
        restore->add_option("N", line_.item)->required()->type_name("N|all");
        CLI::App* exportPng = Command(
            "export-png", R"(Writes every picture and icon of the file to edit into the folder DIR
(made when missing) as N.png, all or none. Files of those names there
are replaced only with --overwrite. Only in a second run.)");
        exportPng->add_option("DIR", line_.first)->required();
        AddOverwriteOption(exportPng);
        CLI::App* sheet = Command(
            "sheet", R"(Writes one PNG picture of every item with its number, size and edited
mark. An existing FILE is replaced only with --overwrite. Only in a
second run.)");
        sheet->add_option("FILE", line_.first)->required();
        AddOverwriteOption(sheet);
        CLI::App* import =
            Command("import", R"(Replaces the items whose numbers name the pictures in DIR (1.png,
2.jpg, ...), all in one step; a picture that shows what its item shows
leaves it untouched. Only in a second run.)");
        import->add_option("DIR", line_.first)->required();
        AddFitOption(import);

        CLI::App* settings = Command(
            "settings", R"(Without options prints the settings. With options, changes them as the
Settings dialog would and rewrites "zantrel.ini". Only in a fresh run.)");
        settings
            ->add_option("--cleanup", line_.cleanup,
                         "clean the work folder after a successful save-as")
            ->type_name("on|off");
        settings->add_option("--ask-second", line_.askSecond, "open takes a second (EXPORT) file")
            ->type_name("on|off");
        settings->add_option("--bmp", line_.bmp, "convert raw pictures to and from BMP")
            ->type_name("on|off");
        settings
            ->add_option("--replacer", line_.replacer,
                         "transparency replacer colour, 0-255 each\n(needs --bmp on)")
            ->type_name("R,G,B");
        settings
            ->add_option("--work-folder", line_.workFolder,
                         "an existing folder to hold the work tree")
            ->type_name("DIR");

        CLI::App* info = Command(
            "info", R"(Prints the kind of FLASH, its code-group table, whether it holds a DRM
and, when it does, its layout, icons and pictures. Touches neither the
start folder nor the work folder (its scratch goes to a private
temporary folder).)");
        info->add_option("FLASH", line_.first)->required();
        info->add_flag("--json", line_.json, "prints the same as one JSON object")
            ->disable_flag_override();
    }

    std::string Help() const { return app_.help(); }
    bool Knows(const std::string& command) const {
        for (const CLI::App* sub : app_.get_subcommands({}))
            if (sub->get_name() == command)
                return true;
        return false;
    }
    // Throws CLI::ParseError.
    const CommandLine& Parse(int argc, char** argv) {
        app_.parse(argc, argv);
        return line_;
    }

private:
    void AddFitOption(CLI::App* command) {
        command
            ->add_option("--fit", line_.fit,
                         "how a picture of another size fits:\ninside (the default, a "
                         "transparent margin),\nfill (cropped) or stretch")
            ->type_name("inside|fill|stretch");
    }
    void AddOverwriteOption(CLI::App* command) {
        command->add_flag("--overwrite", line_.overwrite, "replaces files that exist already")
            ->disable_flag_override();
    }
    CLI::App* Command(const std::string& name, const std::string& description) {
        CLI::App* command = app_.add_subcommand(name, description);
        command->set_help_flag(); // --help is the program's alone
        return command;
    }
    CLI::App app_;
    CommandLine line_;
};

// ---- info ----

int RunInfo(const CommandLine& line) {
    if (line.first.empty())
        return UsageError("info needs one flash file");

    // Messages go to standard error, so the report on standard output stays clean.
    ConsoleUi ui(stderr, stderr, false);
    ui.showStatus = false;
    InstallUi(&ui);
    SetErrorReporter(PrintIoFailure);

    FlashInfo report;
    const std::string file = Absolute(line.first);
    // The warning goes before an I/O failure that ends the reading later, as
    // when the reader showed it.
    auto warn = [&] {
        if (!report.warning.empty())
            ShowMessage(report.warning, "Warning");
    };
    CommandResult result = RunCommand([&] {
        try {
            ReadFlashInfo(file, report);
        } catch (...) {
            warn();
            throw;
        }
        warn();
        if (report.refused)
            ShowMessage(report.refusal, "Error");
    });
    InstallUi(nullptr);
    if (result != CommandResult::Completed || report.refused)
        return ExitFailed;
    if (line.json)
        PrintInfoJson(stdout, report);
    else
        PrintInfoText(stdout, report);
    return ExitOk;
}

// ---- menu commands ----

void PrintSettings() {
    const SharedState& s = State();
    std::printf("cleanup: %s\n", s.cleanupEnabled ? "on" : "off");
    std::printf("ask-second: %s\n", s.askSecondFile ? "on" : "off");
    std::printf("bmp: %s\n", s.rawConversionEnabled ? "on" : "off");
    std::printf("replacer: %u,%u,%u\n", s.replacerRed, s.replacerGreen, s.replacerBlue);
    std::printf("work-folder: %s\n", s.workFolder.c_str());
}

const char* WhyDisabled(MenuItem item) {
    const SharedState& s = State();
    switch (item) {
    case MenuItem::FileOpenItem:
        return "open is not offered: a session is pending (save-as or port it, or keep it with "
               "exit)";
    case MenuItem::Settings1:
        return "settings are not offered: a session is pending; settings change only before open";
    case MenuItem::FileSaveAsItem:
        return "save-as is not offered: no session is pending (open a flash file first)";
    case MenuItem::FileDiscardItem:
        return "discard is not offered: no session is pending";
    case MenuItem::ItemReplaceItem:
    case MenuItem::ItemRestoreItem:
    case MenuItem::FileRestoreAllItem:
    case MenuItem::FileImportItem:
    case MenuItem::FileExportItem:
    case MenuItem::FileExportSheetItem:
        return "the editing commands are not offered: no session is pending (open a flash file "
               "first)";
    case MenuItem::Port1:
        return s.freshSession
                   ? "port is not offered: no session is pending (open two flash files first)"
                   : "port is not offered: the pending session holds one flash file only";
    default:
        return "this command is not offered in this run";
    }
}

// The settings options as a change; the usage error's text when one is bad.
std::optional<std::string> ReadSettingsOptions(const CommandLine& line, SettingsChange& change) {
    struct OnOff {
        const char* name;
        const std::optional<std::string>& text;
        std::optional<bool>& flag;
    };
    // Checked in the options' alphabetical order.
    const OnOff onOff[] = {{"ask-second", line.askSecond, change.askSecond},
                           {"bmp", line.bmp, change.bmp},
                           {"cleanup", line.cleanup, change.cleanup}};
    for (const OnOff& option : onOff) {
        if (!option.text)
            continue;
        option.flag = ParseOnOff(*option.text);
        if (!option.flag)
            return std::string("--") + option.name + " needs on or off";
    }
    if (line.replacer) {
        change.replacer = ParseColour(*line.replacer);
        if (!change.replacer)
            return "--replacer needs R,G,B with each part 0 to 255";
    }
    if (line.workFolder) {
        if (line.workFolder->empty())
            return "--work-folder needs a folder";
        change.workFolder = Absolute(*line.workFolder);
    }
    return std::nullopt;
}

// ---- editing ----

bool IsEditCommand(const std::string& command) {
    return command == "replace" || command == "restore" || command == "export-png" ||
           command == "sheet" || command == "import";
}

struct EditRequest {
    MenuItem menuItem = MenuItem::ItemReplaceItem;
    long number = 0; // 0: restore all
    std::string path;
    ReplaceOptions options;
    // A command typed is not asked: it refuses to replace files unless told.
    Overwrite overwrite = Overwrite::Refuse;
};

std::optional<std::string> ReadEditOptions(const std::string& command, const CommandLine& line,
                                           EditRequest& edit) {
    const auto fit = FitFromName(line.fit);
    if (!fit)
        return "--fit needs inside, fill or stretch";
    edit.options.fit = *fit;
    edit.options.iconTakesNewSize = line.keepSize;
    edit.overwrite = line.overwrite ? Overwrite::Replace : Overwrite::Refuse;
    if (command == "replace" || command == "restore") {
        if (command == "restore" && line.item == "all") {
            edit.menuItem = MenuItem::FileRestoreAllItem;
        } else {
            const auto number = ParseIntegerToken(line.item);
            if (!number || *number < 1 || *number > MaxDrmItems + 3)
                return command + " needs an item number (1, 2, ...)" +
                       (command == "restore" ? " or all" : "");
            edit.number = static_cast<long>(*number);
            edit.menuItem =
                command == "replace" ? MenuItem::ItemReplaceItem : MenuItem::ItemRestoreItem;
        }
    } else {
        edit.menuItem = command == "import"       ? MenuItem::FileImportItem
                        : command == "export-png" ? MenuItem::FileExportItem
                                                  : MenuItem::FileExportSheetItem;
    }
    if (command != "restore") {
        if (line.first.empty())
            return "empty file name";
        edit.path = Absolute(line.first);
    }
    return std::nullopt;
}

CommandResult RunEdit(const std::string& command, const EditRequest& edit) {
    if (command == "replace")
        return ReplaceItem(edit.number, edit.path, edit.options);
    if (command == "restore")
        return edit.number ? RestoreItem(edit.number) : RestoreAllItems();
    if (command == "export-png")
        return ExportPictures(edit.path, edit.overwrite);
    if (command == "sheet")
        return ExportContactSheet(edit.path, edit.overwrite);
    return ImportPictures(edit.path, edit.options);
}

int RunMenuCommand(const std::string& command, const CommandLine& line) {
    MenuItem item = MenuItem::FileExitItem;
    std::optional<std::string> firstFile;
    std::optional<std::string> secondFile;
    std::optional<std::string> saveFile;
    SettingsChange change;
    EditRequest edit;

    // Everything about the command line is checked before start-up, which
    // reads the session file.
    if (command == "open") {
        item = MenuItem::FileOpenItem;
        if (line.first.empty() || (line.second && line.second->empty()))
            return UsageError("empty file name");
        firstFile = Absolute(line.first);
        if (line.second)
            secondFile = Absolute(*line.second);
    } else if (command == "save-as") {
        item = MenuItem::FileSaveAsItem;
        if (line.first.empty())
            return UsageError("save-as needs one file name");
        saveFile = Absolute(line.first);
    } else if (command == "port" || command == "exit") {
        item = command == "port" ? MenuItem::Port1 : MenuItem::FileExitItem;
    } else if (command == "discard") {
        item = MenuItem::FileDiscardItem;
    } else if (IsEditCommand(command)) {
        if (auto bad = ReadEditOptions(command, line, edit))
            return UsageError(*bad);
        item = edit.menuItem;
    } else if (command == "settings") {
        item = MenuItem::Settings1;
        if (auto bad = ReadSettingsOptions(line, change))
            return UsageError(*bad);
        if (change.workFolder) {
            if (auto problem = WorkFolderProblem(*change.workFolder)) {
                PrintError(*problem);
                return ExitFailed;
            }
        }
    }

    ConsoleUi ui(stdout, stderr, isatty(STDERR_FILENO) != 0);
    InstallUi(&ui);
    SetErrorReporter(PrintIoFailure);

    int status = ExitOk;
    auto note = [&](CommandResult result) {
        if (result != CommandResult::Completed && status == ExitOk)
            status = ExitFailed;
        return result;
    };
    // Looking at a session, or keeping it, changes nothing on disk.
    const bool readOnly = command == "session" || command == "exit";
    if (note(RunCommand(readOnly ? InitAppReadOnly : InitApp)) != CommandResult::Completed)
        return status;
    const bool secondRun = !State().freshSession;
    // A second run that ends without finishing its session keeps it, as Exit does.
    auto keepSession = [&] { note(RunCommand(FileExit1Execute)); };

    if (!MenuItemEnabled(item)) {
        PrintError(WhyDisabled(item));
        if (secondRun)
            keepSession();
        return ExitUsage;
    }

    if (command == "open") {
        if (secondFile && !State().askSecondFile) {
            PrintError("an export file is not asked for in edit-only mode (settings "
                       "--ask-second on turns it back on)");
            return ExitUsage;
        }
        note(RunCommand([&] { return OpenFlashFiles({firstFile, secondFile}); }));
    } else if (command == "save-as") {
        if (note(RunCommand([&] { return SaveAs(saveFile); })) != CommandResult::Completed)
            keepSession();
    } else if (command == "port") {
        // The session stays pending on disk: nothing to keep, nothing to say.
        note(RunCommand(Port1Click));
    } else if (IsEditCommand(command)) {
        note(RunCommand([&] { return RunEdit(command, edit); }));
    } else if (command == "exit") {
        note(RunCommand(FileExit1Execute));
    } else if (command == "discard") {
        note(RunCommand(FileDiscard1Execute));
    } else if (command == "session") {
        const SessionSummary summary = DescribeSession();
        if (summary.lines.empty())
            std::printf("No session is pending.\n");
        // The values come from files of the work folder, flash paths included.
        for (const SessionLine& fact : summary.lines)
            std::printf("%s: %s\n", fact.label.c_str(), Printable(fact.value).c_str());
    } else if (command == "settings") {
        if (change.Empty()) {
            PrintSettings();
            return ExitOk;
        }
        SettingsChangeResult result = SettingsChangeResult::Applied;
        if (note(RunCommand([&] { result = ChangeSettings(change); })) ==
            CommandResult::Completed) {
            if (result == SettingsChangeResult::ReplacerNeedsBmp) {
                PrintError("--replacer needs BMP conversion on (--bmp on)");
                return ExitUsage;
            }
            PrintSettings();
        }
    }
    return status;
}

int Main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: %s COMMAND [ARGUMENTS]\nTry '%s --help'.\n", ProgramName,
                     ProgramName);
        return ExitUsage;
    }
    Definition definition;
    const std::string command = argv[1];
    if (command == "--version" || command == "-V") {
        std::printf("%s %s\n", ProgramName, ZANTREL_VERSION);
        return ExitOk;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(definition.Help().c_str(), stdout);
        return ExitOk;
    }
    if (!definition.Knows(command))
        return UsageError("unknown command '" + command + "'");
    const CommandLine* line = nullptr;
    try {
        line = &definition.Parse(argc, argv);
    } catch (const CLI::RequiredError&) {
        // A file argument missing: say which the command needs.
        return UsageError(command == "open" ? "open needs a flash file and at most one export file"
                          : command == "save-as" ? "save-as needs one file name"
                          : command == "replace" ? "replace needs an item number and a picture file"
                          : command == "restore" ? "restore needs an item number or all"
                          : command == "sheet"   ? "sheet needs one file name"
                          : command == "export-png" || command == "import"
                              ? command + " needs one folder"
                              : command + " needs one flash file");
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }
    if (command == "info")
        return RunInfo(*line);
    return RunMenuCommand(command, *line);
}

} // namespace
} // namespace zantrel

int main(int argc, char** argv) {
    zantrel::UseUtf8Console();
    std::vector<std::string> args = zantrel::Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& arg : args)
        utf8Argv.push_back(arg.data());
    utf8Argv.push_back(nullptr);
    try {
        return zantrel::Main(static_cast<int>(args.size()), utf8Argv.data());
    } catch (const std::exception& e) {
        // Nothing the commands throw gets here; this is the last guard.
        zantrel::PrintError(e.what());
        return zantrel::ExitFailed;
    }
}
