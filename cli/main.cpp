// zantrel-cli: the console front end. Each invocation is one run of the
// program in the current folder: start-up, one menu command, the end of the
// run. "info" alone reads a flash file without touching the start folder.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/unicode.h"

#include "shell/about1.h"
#include "shell/commands.h"
#include "shell/compare.h"
#include "shell/info.h"
#include "shell/sdimain.h"
#include "shell/state.h"
#include "shell/summary.h"

#include "cli/compareprint.h"
#include "cli/consoleui.h"
#include "cli/helpformat.h"
#include "cli/infoprint.h"

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
compare's own:
  0  the DRMs are equal
  1  the DRMs differ
  2  bad usage, or a file that cannot be read or holds no DRM
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
        std::fprintf(stderr, "%s\n", PrintableLines(next).c_str());
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

// "R,G,B", each 0 to 255.
std::optional<Rgb> ParseColour(const std::string& text) {
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
    return Rgb{parts[0], parts[1], parts[2]};
}

// The settings command's options as the command line gave them.
struct SettingsOptions {
    std::optional<std::string> cleanup, askSecond, bmp, replacer, workFolder;
};

// ---- info and compare ----

// Runs a command that reads flash files and prints a report on standard
// output: its messages go to standard error, its status texts nowhere.
template <class Step> CommandResult RunReporting(Step&& step) {
    ConsoleUi ui(stderr, stderr, false);
    ui.showStatus = false;
    InstallUi(&ui);
    SetErrorReporter(PrintIoFailure);
    const CommandResult result = RunCommand(std::forward<Step>(step));
    InstallUi(nullptr);
    return result;
}

int RunInfo(const std::string& flash, bool json) {
    if (flash.empty())
        return UsageError("info needs one flash file");

    FlashInfo report;
    const std::string file = Absolute(flash);
    // The warning goes before an I/O failure that ends the reading later, as
    // when the reader showed it.
    auto warn = [&] {
        if (!report.warning.empty())
            ShowMessage(report.warning, "Warning");
    };
    const CommandResult result = RunReporting([&] {
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
    if (result != CommandResult::Completed || report.refused)
        return ExitFailed;
    if (json)
        PrintInfoJson(stdout, report);
    else
        PrintInfoText(stdout, report);
    return ExitOk;
}

// compare's own statuses: 1 says the DRMs differ, so every failure is 2.
inline constexpr int ExitDiffer = 1;
inline constexpr int ExitNotCompared = 2;

int RunCompare(const std::string& first, const std::string& second, bool json) {
    if (first.empty() || second.empty())
        return UsageError("compare needs two flash files");

    FlashComparison comparison;
    const CommandResult result =
        RunReporting([&] { comparison = CompareFlashFiles(Absolute(first), Absolute(second)); });
    if (result != CommandResult::Completed)
        return ExitNotCompared;
    const std::pair<const char*, const FlashInfo*> sides[] = {{"A", &comparison.a},
                                                              {"B", &comparison.b}};
    for (const auto& [name, side] : sides)
        if (!side->warning.empty())
            PrintError(std::string("warning: ") + name + " (" + Printable(side->file) +
                       "): " + Printable(side->warning));
    if (comparison.Refused()) {
        for (const auto& [name, side] : sides)
            if (side->refused)
                PrintError(std::string(name) + " (" + Printable(side->file) + ") " +
                           Printable(side->refusal));
        return ExitNotCompared;
    }
    if (json)
        PrintCompareJson(stdout, comparison);
    else
        PrintCompareText(stdout, comparison);
    return comparison.Equal() ? ExitOk : ExitDiffer;
}

// ---- settings ----

void PrintSettings() {
    const SharedState& s = State();
    std::printf("cleanup: %s\n", s.cleanupEnabled ? "on" : "off");
    std::printf("ask-second: %s\n", s.askSecondFile ? "on" : "off");
    std::printf("bmp: %s\n", s.rawConversionEnabled ? "on" : "off");
    std::printf("replacer: %u,%u,%u\n", s.replacer.red, s.replacer.green, s.replacer.blue);
    std::printf("work-folder: %s\n", Printable(s.workFolder).c_str());
}

// The settings options as a change; the usage error's text when one is bad.
std::optional<std::string> ReadSettingsOptions(const SettingsOptions& line,
                                               SettingsChange& change) {
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

// ---- the commands of a run ----

// One run of the program for a command: the console as its window, the
// start-up, and whether the run offers the command; its exit status.
class ConsoleRun {
public:
    explicit ConsoleRun(bool readOnlyStart) : ui_(stdout, stderr, isatty(STDERR_FILENO) != 0) {
        InstallUi(&ui_);
        SetErrorReporter(PrintIoFailure);
        // Looking at a session, or keeping it, changes nothing on disk.
        started_ =
            Note(RunCommand(readOnlyStart ? InitAppReadOnly : InitApp)) == CommandResult::Completed;
    }
    bool Started() const { return started_; }
    // Whether this run offers item; when not, says why, keeps a second run's
    // session as Exit does, and the status is a usage error.
    bool Offers(MenuItem item) {
        if (Offered(item, CurrentRun()))
            return true;
        PrintError(WhyDisabled(item, CurrentRun()));
        if (CurrentRun() != RunKind::Fresh)
            Note(RunCommand(FileExit1Execute));
        status_ = ExitUsage;
        return false;
    }
    CommandResult Note(CommandResult result) {
        if (result != CommandResult::Completed && status_ == ExitOk)
            status_ = ExitFailed;
        return result;
    }
    int Status() const { return status_; }
    void SetStatus(int status) { status_ = status; }

private:
    ConsoleUi ui_;
    bool started_ = false;
    int status_ = ExitOk;
};

// A command of the table: its arguments checked before start-up, which
// reads the session file, then run if this run offers it.
int RunTableCommand(const Command& command, ConsoleArguments args) {
    const ConsoleForm& form = command.console;
    if (form.check)
        if (auto bad = form.check(args))
            return UsageError(*bad);
    if (!args.first.empty())
        args.first = Absolute(args.first);
    if (args.second)
        args.second = Absolute(*args.second);
    ConsoleRun run(form.readOnlyStart);
    if (!run.Started() || !run.Offers(command.item))
        return run.Status();
    if (form.refuse)
        if (auto bad = form.refuse(args)) {
            PrintError(*bad);
            return ExitUsage;
        }
    run.Note(RunCommand([&] { return form.run(args); }));
    return run.Status();
}

int RunSession() {
    ConsoleRun run(true);
    if (!run.Started())
        return run.Status();
    const SessionSummary summary = DescribeSession();
    if (summary.lines.empty())
        std::printf("No session is pending.\n");
    // The values come from files of the work folder, flash paths included.
    for (const SessionLine& fact : summary.lines)
        std::printf("%s: %s\n", fact.label.c_str(), Printable(fact.value).c_str());
    return run.Status();
}

int RunSettings(const SettingsOptions& options) {
    SettingsChange change;
    if (auto bad = ReadSettingsOptions(options, change))
        return UsageError(*bad);
    if (change.workFolder) {
        if (auto problem = WorkFolderProblem(*change.workFolder)) {
            PrintError(*problem);
            return ExitFailed;
        }
    }
    ConsoleRun run(false);
    if (!run.Started() || !run.Offers(MenuItem::Settings1))
        return run.Status();
    if (change.Empty()) {
        PrintSettings();
        return ExitOk;
    }
    SettingsChangeResult result = SettingsChangeResult::Applied;
    if (run.Note(RunCommand([&] { result = ChangeSettings(change); })) ==
        CommandResult::Completed) {
        if (result == SettingsChangeResult::ReplacerNeedsBmp) {
            PrintError("--replacer needs BMP conversion on (--bmp on)");
            return ExitUsage;
        }
        PrintSettings();
    }
    return run.Status();
}

// ---- the command line ----

// The commands, their arguments and options, and the help rendered from
// them: the table's commands in its order, with the console's own (session,
// settings, info) where the help has them. Each command's callback runs it.
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

        for (const Command& command : Commands()) {
            if (command.console.name.empty())
                continue;
            AddTableCommand(command);
            // The session as the window's panel shows it, after exit in the help.
            if (command.item == MenuItem::FileExitItem)
                Add("session",
                    R"(Prints the pending session as the window's panel shows it: the flash
files, their kind, the work folder, the counts of icons and pictures,
what save-as writes and, for two files, whether port can work. Changes
nothing.)")
                    ->callback([this] { status_ = RunSession(); });
        }

        CLI::App* settings = Add(
            "settings", R"(Without options prints the settings. With options, changes them as the
Settings dialog would and rewrites "zantrel.ini". Only in a fresh run.)");
        settings
            ->add_option("--cleanup", settings_.cleanup,
                         "clean the work folder after a successful save-as")
            ->type_name("on|off");
        settings
            ->add_option("--ask-second", settings_.askSecond, "open takes a second (EXPORT) file")
            ->type_name("on|off");
        settings->add_option("--bmp", settings_.bmp, "convert raw pictures to and from BMP")
            ->type_name("on|off");
        settings
            ->add_option("--replacer", settings_.replacer,
                         "transparency replacer colour, 0-255 each\n(needs --bmp on)")
            ->type_name("R,G,B");
        settings
            ->add_option("--work-folder", settings_.workFolder,
                         "an existing folder to hold the work tree")
            ->type_name("DIR");
        settings->callback([this] { status_ = RunSettings(settings_); });

        CLI::App* info =
            Add("info", R"(Prints the kind of FLASH, its code-group table, whether it holds a DRM
and, when it does, its layout, icons and pictures. Touches neither the
start folder nor the work folder (its scratch goes to a private
temporary folder).)");
        info->add_option("FLASH", args_.first)->required();
        info->add_flag("--json", json_, "prints the same as one JSON object")
            ->disable_flag_override();
        info->callback([this] { status_ = RunInfo(args_.first, json_); });
        missing_["info"] = "info needs one flash file";

        CLI::App* compare =
            Add("compare", R"(Says whether the DRMs of two flash files hold the same items and lists
the items that differ, then whether their RAMDLDs and flash headers
match (those do not count). Status 0: the DRMs are equal; 1: they
differ; 2: a file cannot be read or holds no DRM. Like info, touches
neither the start folder nor the work folder.)");
        compare->add_option("A", args_.first)->required();
        compare->add_option("B", args_.second)->required();
        compare->add_flag("--json", json_, "prints the same as one JSON object")
            ->disable_flag_override();
        compare->callback(
            [this] { status_ = RunCompare(args_.first, args_.second.value_or(""), json_); });
        missing_["compare"] = "compare needs two flash files";
    }

    std::string Help() const { return app_.help(); }
    bool Knows(const std::string& command) const { return missing_.contains(command); }
    // The usage error of a command whose required argument is missing.
    const std::string& Missing(const std::string& command) const { return missing_.at(command); }
    // Parses the command line and runs its command; the exit status.
    // Throws CLI::ParseError.
    int Run(int argc, char** argv) {
        app_.parse(argc, argv);
        return status_;
    }

private:
    void AddTableCommand(const Command& command) {
        const ConsoleForm& form = command.console;
        CLI::App* sub = Add(std::string(form.name), std::string(form.help));
        for (const ConsolePositional& positional : form.positionals) {
            using Slot = ConsolePositional::Slot;
            CLI::Option* option =
                positional.slot == Slot::Second
                    ? sub->add_option(std::string(positional.name), args_.second)
                    : sub->add_option(std::string(positional.name),
                                      positional.slot == Slot::Item ? args_.item : args_.first);
            if (positional.required)
                option->required();
            if (!positional.typeName.empty())
                option->type_name(std::string(positional.typeName));
        }
        if (form.fitOption)
            sub->add_option("--fit", args_.fit,
                            "how a picture of another size fits:\ninside (the default, a "
                            "transparent margin),\nfill (cropped) or stretch")
                ->type_name("inside|fill|stretch");
        if (form.keepSizeOption)
            sub->add_flag("--keep-size", args_.keepSize,
                          "an icon keeps the new picture's own size\n(by default it takes the "
                          "old icon's)")
                ->disable_flag_override();
        if (form.toOption)
            sub->add_option("--to", args_.to, "the item of FLASH to put it in")->type_name("K");
        if (form.overwriteOption)
            sub->add_flag("--overwrite", args_.overwrite, "replaces files that exist already")
                ->disable_flag_override();
        sub->callback([this, &command] { status_ = RunTableCommand(command, args_); });
        if (!form.missing.empty())
            missing_[std::string(form.name)] = std::string(form.missing);
    }
    CLI::App* Add(const std::string& name, const std::string& description) {
        CLI::App* command = app_.add_subcommand(name, description);
        command->set_help_flag(); // --help is the program's alone
        missing_.emplace(name, name + " needs one flash file");
        return command;
    }
    CLI::App app_;
    ConsoleArguments args_;
    SettingsOptions settings_;
    bool json_ = false;
    int status_ = ExitOk;
    std::map<std::string, std::string> missing_;
};

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
    try {
        return definition.Run(argc, argv);
    } catch (const CLI::RequiredError&) {
        // A file argument missing: say which the command needs.
        return UsageError(definition.Missing(command));
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }
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
