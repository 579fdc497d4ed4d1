// zantrel-cli: the console front end. Each invocation is one run of the
// program in the current folder: start-up, one menu command, the end of the
// run. "info" alone reads a flash file without touching the start folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/consoleui.h"
#include "drm/drmpack.h"
#include "base/fileio.h"
#include "flash/flashformat.h"
#include "flash/readers.h"
#include "shell/about1.h"
#include "shell/sdimain.h"
#include "base/state.h"
#include "base/worktree.h"

namespace zantrel {
namespace {

namespace fs = std::filesystem;

inline constexpr const char* ProgramName = "zantrel-cli";

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1; // I/O failure, an "Error" message, a rejected input
inline constexpr int ExitUsage = 2;  // bad usage or a command this run does not offer

const char* const HelpText = R"(Usage: zantrel-cli COMMAND [ARGUMENTS]

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

Commands:
  open FLASH [EXPORT]
      Open: FLASH is the flash file to edit. EXPORT, when given, is a second
      flash file whose DRM can then be ported into FLASH's. Without EXPORT
      the second file dialog counts as cancelled. With "ask-second" off
      (edit-only mode) EXPORT is refused with status 2. Only in a fresh run.
  save-as FILE
      Save As: compiles the edited DRM. A superfile or SBF session writes the
      superfile FILE and the compiled code group FILE less its extension plus
      ".bin"; a raw-image session writes only that ".bin" file. FILE without
      an extension gets ".shx". Cleans the work folder afterwards unless
      "cleanup" is off. Only in a second run.
  port
      Port: copies the icons and pictures of EXPORT's DRM over FLASH's. The
      session then stays pending (as with exit) for a later save-as. Only in
      a second run of a session opened with two files.
  exit
      Exit: in a second run, keeps the pending session for a later run
      ("DRM was not compiled"); in a fresh run does nothing.
  settings [OPTIONS]
      Without options prints the settings. With options, changes them as the
      Settings dialog would and rewrites "zantrel.ini". Only in a fresh run.
        --cleanup on|off       clean the work folder after a successful save-as
        --ask-second on|off    open takes a second (EXPORT) file
        --bmp on|off           convert raw pictures to and from BMP
        --replacer R,G,B       transparency replacer colour, 0-255 each
                               (needs --bmp on)
        --work-folder DIR      an existing folder to hold the work tree
  info FLASH [--json]
      Prints the kind of FLASH, its code-group table, whether it holds a DRM
      and, when it does, its layout, icons and pictures. Touches neither the
      start folder nor the work folder (its scratch goes to a private
      temporary folder). --json prints the same as one JSON object.
  --help
      This text.

A command that this run does not offer (open, settings in a second run;
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

void PrintError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", ProgramName, message.c_str());
}

int UsageError(const std::string& message) {
    PrintError(message);
    std::fprintf(stderr, "Try '%s --help'.\n", ProgramName);
    return ExitUsage;
}

std::string Absolute(const std::string& path) {
    return fs::absolute(fs::path(path)).lexically_normal().string();
}

// The command line after the command: positional arguments and "--name
// value" (or "--name=value") options; flags listed in flagNames take no value.
struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    std::string error;
};

Arguments ParseArguments(int argc, char** argv, int first,
                         const std::vector<std::string>& valueNames,
                         const std::vector<std::string>& flagNames) {
    Arguments args;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
                args.error = "unknown option '" + arg + "'";
                return args;
            }
            args.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        auto known = [&](const std::vector<std::string>& names) {
            for (const auto& n : names)
                if (n == name)
                    return true;
            return false;
        };
        if (known(flagNames)) {
            if (value) {
                args.error = "option '--" + name + "' takes no value";
                return args;
            }
            args.options[name] = "";
        } else if (known(valueNames)) {
            if (!value) {
                if (i + 1 >= argc) {
                    args.error = "option '--" + name + "' needs a value";
                    return args;
                }
                value = argv[++i];
            }
            if (args.options.count(name)) {
                args.error = "option '--" + name + "' given twice";
                return args;
            }
            args.options[name] = *value;
        } else {
            args.error = "unknown option '--" + name + "'";
            return args;
        }
    }
    return args;
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
    std::uint32_t parts[3];
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
        parts[i] = static_cast<std::uint32_t>(value);
        pos = end + 1;
    }
    return parts[0] | parts[1] << 8 | parts[2] << 16;
}

// ---- JSON ----

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Hex32(std::int64_t value) { return "0x" + HexWord(static_cast<std::uint32_t>(value)); }

// ---- info ----

struct CodeGroupLine {
    std::string name;
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::int64_t size = 0;
};

struct InfoReport {
    std::string file;
    std::string kind;
    bool hasHeader = false;
    std::int64_t headerBytes = 0; // short of FlashHeaderSize: the file ends inside its header
    std::vector<CodeGroupLine> codeGroups;
    std::optional<DrmSummary> drm;
};

// A private scratch folder under the system's temporary folder, made the
// current folder while it lives (the readers put their scratch piece in the
// current folder), and removed with everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "zantrel-info-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw IoError(IoCodeFromErrno(errno), pattern);
        path_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored; // a scratch folder left behind harms nothing
        fs::current_path(previous_, ignored);
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    fs::path previous_;
};

// Fills the report; false after an "Error" message about the file.
bool ReadInfo(const std::string& flash, InfoReport& report) {
    SharedState& s = State();
    const std::string ext = UpperExtension(flash);
    std::optional<BinaryFile> codeGroup;
    if (ext == ".SHX" || ext == ".SBF") {
        report.kind = ext == ".SHX" ? "superfile" : "SBF file";
        const Outcome outcome = ext == ".SHX" ? ReadSuperfile(1) : ReadSbf(1);
        if (!outcome.warning.empty())
            ShowMessage(outcome.warning, "Warning");
        if (outcome.Refused()) {
            ShowMessage(outcome.message, "Error");
            return false;
        }
        BinaryFile header = BinaryFile::OpenRead(JoinPath(s.binary1Dir, HeaderFileName));
        report.headerBytes = header.Size();
        const CodeGroupTable table = ParseFlashHeader(header, 1);
        report.hasHeader = true;
        for (int i = 0; i < table.count; ++i) {
            const strrec& entry = table.entries[static_cast<std::size_t>(i)];
            report.codeGroups.push_back(
                {FileNamePart(entry.fileName), static_cast<std::uint32_t>(entry.startAddress),
                 static_cast<std::uint32_t>(entry.endAddress),
                 static_cast<std::int64_t>(entry.endAddress) - entry.startAddress + 1});
        }
        if (outcome.Done()) {
            std::string cg15 = JoinPath(s.binary1Dir, CodeGroupFileName(DrmCodeGroup));
            if (!FileExists(cg15)) {
                ShowMessage("The header lists the DRM code group, but the body does not hold it",
                            "Error");
                return false;
            }
            codeGroup = BinaryFile::OpenRead(cg15);
        }
    } else {
        report.kind = "raw code-group image";
        BinaryFile image = BinaryFile::OpenRead(flash);
        if (FindDrmTag(image).found) {
            image.Seek(0);
            codeGroup = std::move(image);
        }
    }
    if (codeGroup) {
        std::string error;
        report.drm = InspectDrm(*codeGroup, error);
        if (!report.drm) {
            ShowMessage(error, "Error");
            return false;
        }
    }
    return true;
}

void PrintInfoText(const InfoReport& r) {
    std::printf("File: %s\n", r.file.c_str());
    std::printf("Kind: %s\n", r.kind.c_str());
    if (r.hasHeader && r.headerBytes < FlashHeaderSize)
        std::printf("Header: incomplete (%lld of %d bytes)\n",
                    static_cast<long long>(r.headerBytes), FlashHeaderSize);
    if (r.hasHeader) {
        std::printf("Code groups: %zu\n", r.codeGroups.size());
        for (const auto& cg : r.codeGroups)
            std::printf("  %-12s start %s  end %s  size %lld\n", cg.name.c_str(),
                        Hex32(cg.start).c_str(), Hex32(cg.end).c_str(),
                        static_cast<long long>(cg.size));
    }
    if (!r.drm) {
        std::printf("DRM: none\n");
        return;
    }
    const DrmSummary& d = *r.drm;
    std::printf("DRM: found\n");
    std::printf("Layout: %s\n", d.extended ? "extended" : "basic");
    std::printf("Prefix length: %d\n", d.header.prefixLength);
    std::printf("Base address: %s\n", Hex32(d.header.baseAddress).c_str());
    std::printf("Directory offset: %s\n", Hex32(d.header.directoryOffset).c_str());
    const std::size_t pictures = d.pictures.size();
    // Work files are numbered pictures first, then icons.
    std::printf("Pictures: %zu\n", pictures);
    for (std::size_t j = 0; j < pictures; ++j)
        std::printf("  %zu: %dx%d\n", j + 1, d.pictures[j].width, d.pictures[j].height);
    std::printf("Icons: %zu\n", d.icons.size());
    for (std::size_t k = 0; k < d.icons.size(); ++k)
        std::printf("  %zu: %s, %lld bytes\n", pictures + k + 1, d.icons[k].bmp ? "bmp" : "gif",
                    static_cast<long long>(d.icons[k].size));
}

void PrintInfoJson(const InfoReport& r) {
    std::string out = "{\"file\":" + JsonString(r.file) + ",\"kind\":" + JsonString(r.kind);
    if (r.hasHeader) {
        out += ",\"headerBytes\":" + std::to_string(r.headerBytes);
        out += ",\"codeGroups\":[";
        for (std::size_t i = 0; i < r.codeGroups.size(); ++i) {
            const auto& cg = r.codeGroups[i];
            out += (i ? "," : "");
            out += "{\"name\":" + JsonString(cg.name) + ",\"start\":" + std::to_string(cg.start) +
                   ",\"end\":" + std::to_string(cg.end) + ",\"size\":" + std::to_string(cg.size) +
                   "}";
        }
        out += "]";
    }
    out += ",\"drm\":";
    if (!r.drm) {
        out += "null}";
        std::printf("%s\n", out.c_str());
        return;
    }
    const DrmSummary& d = *r.drm;
    out += "{\"layout\":" + JsonString(d.extended ? "extended" : "basic");
    out += ",\"prefixLength\":" + std::to_string(d.header.prefixLength);
    out += ",\"baseAddress\":" + std::to_string(static_cast<std::uint32_t>(d.header.baseAddress));
    out += ",\"directoryOffset\":" + std::to_string(d.header.directoryOffset);
    out += ",\"pictures\":[";
    const std::size_t pictures = d.pictures.size();
    for (std::size_t j = 0; j < pictures; ++j) {
        out += (j ? "," : "");
        out += "{\"number\":" + std::to_string(j + 1) +
               ",\"width\":" + std::to_string(d.pictures[j].width) +
               ",\"height\":" + std::to_string(d.pictures[j].height) + "}";
    }
    out += "],\"icons\":[";
    for (std::size_t k = 0; k < d.icons.size(); ++k) {
        out += (k ? "," : "");
        out += "{\"number\":" + std::to_string(pictures + k + 1) +
               ",\"kind\":" + JsonString(d.icons[k].bmp ? "bmp" : "gif") +
               ",\"size\":" + std::to_string(d.icons[k].size) + "}";
    }
    out += "]}}";
    std::printf("%s\n", out.c_str());
}

int RunInfo(int argc, char** argv) {
    Arguments args = ParseArguments(argc, argv, 2, {}, {"json"});
    if (!args.error.empty())
        return UsageError(args.error);
    if (args.positional.size() != 1 || args.positional[0].empty())
        return UsageError("info needs one flash file");
    const bool json = args.options.count("json") != 0;

    // Messages go to standard error, so the report on standard output stays clean.
    ConsoleUi ui(stderr, stderr, false);
    ui.showStatus = false;
    InstallUi(&ui);
    SetErrorReporter(PrintError);

    InfoReport report;
    report.file = Absolute(args.positional[0]);
    bool sound = false;
    CommandResult result = RunCommand([&] {
        ScratchFolder scratch;
        SharedState& s = State();
        s.startFolder = scratch.Path();
        s.workFolder = scratch.Path();
        s.firstFlashPath = report.file;
        s.currentImage = 1;
        BuildWorkTree();
        sound = ReadInfo(report.file, report);
    });
    InstallUi(nullptr);
    if (result != CommandResult::Completed || !sound)
        return ExitFailed;
    if (json)
        PrintInfoJson(report);
    else
        PrintInfoText(report);
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
    case MenuItem::Port1:
        return s.freshSession
                   ? "port is not offered: no session is pending (open two flash files first)"
                   : "port is not offered: the pending session holds one flash file only";
    default:
        return "this command is not offered in this run";
    }
}

struct SettingsChoice {
    std::optional<bool> cleanup;
    std::optional<bool> askSecond;
    std::optional<bool> bmp;
    std::optional<std::uint32_t> replacer;
    std::optional<std::string> workFolder;
    bool any() const { return cleanup || askSecond || bmp || replacer || workFolder; }
};

int RunMenuCommand(int argc, char** argv, const std::string& command) {
    MenuItem item = MenuItem::FileExitItem;
    std::optional<std::string> firstFile;
    std::optional<std::string> secondFile;
    std::optional<std::string> saveFile;
    SettingsChoice choice;

    // Everything about the command line is checked before start-up, which
    // reads (and deletes) the session file.
    if (command == "open") {
        item = MenuItem::FileOpenItem;
        Arguments args = ParseArguments(argc, argv, 2, {}, {});
        if (!args.error.empty())
            return UsageError(args.error);
        if (args.positional.empty() || args.positional.size() > 2)
            return UsageError("open needs a flash file and at most one export file");
        for (const auto& p : args.positional)
            if (p.empty())
                return UsageError("empty file name");
        firstFile = Absolute(args.positional[0]);
        if (args.positional.size() == 2)
            secondFile = Absolute(args.positional[1]);
    } else if (command == "save-as") {
        item = MenuItem::FileSaveAsItem;
        Arguments args = ParseArguments(argc, argv, 2, {}, {});
        if (!args.error.empty())
            return UsageError(args.error);
        if (args.positional.size() != 1 || args.positional[0].empty())
            return UsageError("save-as needs one file name");
        saveFile = Absolute(args.positional[0]);
    } else if (command == "port" || command == "exit") {
        item = command == "port" ? MenuItem::Port1 : MenuItem::FileExitItem;
        if (argc > 2)
            return UsageError(command + " takes no arguments");
    } else if (command == "settings") {
        item = MenuItem::Settings1;
        Arguments args = ParseArguments(
            argc, argv, 2, {"cleanup", "ask-second", "bmp", "replacer", "work-folder"}, {});
        if (!args.error.empty())
            return UsageError(args.error);
        if (!args.positional.empty())
            return UsageError("settings takes options only");
        for (const auto& [name, value] : args.options) {
            if (name == "replacer") {
                choice.replacer = ParseColour(value);
                if (!choice.replacer)
                    return UsageError("--replacer needs R,G,B with each part 0 to 255");
            } else if (name == "work-folder") {
                if (value.empty())
                    return UsageError("--work-folder needs a folder");
                choice.workFolder = Absolute(value);
            } else {
                auto flag = ParseOnOff(value);
                if (!flag)
                    return UsageError("--" + name + " needs on or off");
                (name == "cleanup"      ? choice.cleanup
                 : name == "ask-second" ? choice.askSecond
                                        : choice.bmp) = flag;
            }
        }
        if (choice.workFolder) {
            // The settings file keeps the folder as one line.
            if (choice.workFolder->find_first_of("\r\n") != std::string::npos) {
                PrintError("a work folder's name cannot hold a line break");
                return ExitFailed;
            }
            if (!FolderExists(*choice.workFolder)) {
                PrintError("no such folder: " + *choice.workFolder);
                return ExitFailed;
            }
        }
    } else {
        return UsageError("unknown command '" + command + "'");
    }

    ConsoleUi ui(stdout, stderr, isatty(STDERR_FILENO) != 0);
    InstallUi(&ui);
    SetErrorReporter(PrintError);

    int status = ExitOk;
    auto note = [&](CommandResult result) {
        if (result != CommandResult::Completed && status == ExitOk)
            status = ExitFailed;
        return result;
    };
    if (note(RunCommand(InitApp)) != CommandResult::Completed)
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
        ui.openAnswers = {firstFile, secondFile};
        note(RunCommand(FileOpen1Execute));
    } else if (command == "save-as") {
        ui.saveAnswers = {saveFile};
        if (note(RunCommand(FileSave1Execute)) != CommandResult::Completed)
            keepSession();
    } else if (command == "port") {
        note(RunCommand(Port1Click));
        keepSession();
    } else if (command == "exit") {
        note(RunCommand(FileExit1Execute));
    } else if (command == "settings") {
        SettingsDialogState dialog;
        FormCreate(dialog);
        if (!choice.any()) {
            PrintSettings();
            return ExitOk;
        }
        if (choice.cleanup)
            dialog.checkBox1 = !*choice.cleanup;
        if (choice.askSecond)
            dialog.checkBox2 = !*choice.askSecond;
        if (choice.bmp && dialog.checkBox4 == *choice.bmp) {
            dialog.checkBox4 = !*choice.bmp;
            CheckBox4Click(dialog);
        }
        if (choice.replacer) {
            if (!dialog.checkBox5Enabled) {
                PrintError("--replacer needs BMP conversion on (--bmp on)");
                return ExitUsage;
            }
            dialog.checkBox5 = true;
            CheckBox5Click(dialog, choice.replacer);
        }
        if (choice.workFolder) {
            dialog.checkBox3 = true;
            CheckBox3Click(dialog, choice.workFolder);
        }
        if (note(RunCommand([&] { ApplySettings(dialog); })) == CommandResult::Completed)
            PrintSettings();
    }
    return status;
}

int Main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: %s COMMAND [ARGUMENTS]\nTry '%s --help'.\n", ProgramName,
                     ProgramName);
        return ExitUsage;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(HelpText, stdout);
        return ExitOk;
    }
    if (command == "info")
        return RunInfo(argc, argv);
    return RunMenuCommand(argc, argv, command);
}

} // namespace
} // namespace zantrel

int main(int argc, char** argv) {
    try {
        return zantrel::Main(argc, argv);
    } catch (const std::exception& e) {
        // Nothing the commands throw gets here; this is the last guard.
        zantrel::PrintError(e.what());
        return zantrel::ExitFailed;
    }
}
