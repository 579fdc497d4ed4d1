#include "shell/sdimain.h"

#include <cctype>
#include <exception>
#include <filesystem>
#include <map>
#include <new>
#include <vector>

#include "drm/drmpack.h"
#include "base/fileio.h"
#include "flash/readers.h"
#include "flash/superfile.h"
#include "shell/cleanup.h"
#include "shell/open.h"
#include "shell/session.h"
#include "shell/settings.h"
#include "shell/summary.h"
#include "shell/workcheck.h"
#include "base/state.h"
#include "base/worktree.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

std::map<MenuItem, bool> g_menu;
ErrorReporter g_errorReporter;

void ResetMenu() {
    for (MenuItem item :
         {MenuItem::FileOpenItem, MenuItem::Port1, MenuItem::FileSaveAsItem,
          MenuItem::FileDiscardItem, MenuItem::FileOpenWorkFolderItem, MenuItem::FileExitItem,
          MenuItem::ViewRefreshItem, MenuItem::Settings1, MenuItem::HelpAboutItem})
        g_menu[item] = true;
}

void DisableMenuItem(MenuItem item) {
    g_menu[item] = false;
    SetMenuItemEnabled(item, false);
}

// A refusal's message, shown once, in the box every refusal has.
CommandResult ShowRefusal(const Outcome& outcome) {
    if (!outcome.Refused())
        return CommandResult::Completed;
    ShowMessage(outcome.message, "Error");
    return CommandResult::Refused;
}

// Image's flash file read and its DRM decompiled; a damaged but readable
// file's warning is shown as soon as the reading ends.
Outcome Open(FlashKind kind, int image) {
    const Outcome read = ReadFlashFile(kind, image);
    if (!read.warning.empty())
        ShowMessage(read.warning, "Warning");
    return read.Done() ? DrmDecompile(image) : read;
}

void ReportError(const std::string& message, const std::string& path) {
    if (g_errorReporter)
        g_errorReporter(message, path);
}

// What a Save As to savePath writes: the superfile and the compiled code
// group beside it; a raw session's code group, or a superfile saved under
// the code group's own ".bin" name, alone.
std::vector<std::string> SaveTargets(bool raw) {
    const SharedState& s = State();
    if (raw)
        return {s.compiledImagePath};
    if (s.savePath == s.compiledImagePath)
        return {s.savePath};
    return {s.savePath, s.compiledImagePath};
}

// Whether Port will refuse the pair for its layouts; a pair it cannot even
// read is for Port itself to report.
bool PortIncompatible() {
    try {
        return PlanPort().outcome == PortOutcome::Incompatible;
    } catch (const IoError&) {
        return false;
    }
}

} // namespace

// Image 1's code group compiled, then the superfile written around it. Every
// check that can refuse the header runs before anything is compiled.
Outcome SaveSuperfile() {
    const SharedState& s = State();
    if (auto bad = CheckHeaderFile())
        return Outcome::Refusal(*bad);
    // Saved under a ".bin" name the superfile takes the compiled image's own
    // name, so the code group is compiled beside it and not kept.
    const bool sameTarget = s.savePath == s.compiledImagePath;
    AtomicOutput compiled(sameTarget ? s.savePath + ".cg" : s.compiledImagePath);
    const Outcome outcome = DrmCompileTo(compiled.TempPath());
    if (!outcome.Done())
        return outcome;
    return WriteSuperfile(compiled, !sameTarget);
}

void InitApp() {
    SharedState& s = State();
    s.startFolder = Utf8FromPath(std::filesystem::current_path());
    ResetMenu();
    if (!ReadSessionFile()) {
        DisableMenuItem(MenuItem::FileSaveAsItem);
        DisableMenuItem(MenuItem::Port1);
        DisableMenuItem(MenuItem::FileDiscardItem);
        DisableMenuItem(MenuItem::FileOpenWorkFolderItem);
        DisableMenuItem(MenuItem::ViewRefreshItem);
    } else {
        DisableMenuItem(MenuItem::Settings1);
        // Only a low-bit value of exactly 1 (one image) has nothing to port.
        if ((s.sessionMode & 3) == ModeSingle)
            DisableMenuItem(MenuItem::Port1);
        DisableMenuItem(MenuItem::FileOpenItem);
    }
    LoadSettings();
    BuildWorkTree();
    if (!s.freshSession)
        ReadFlashPaths();
    // Whatever an abandoned earlier run left goes, whatever the settings say.
    if (s.freshSession && FolderExists(s.binary1Dir)) {
        CleanWorkFolder();
        BuildWorkTree();
    }
}

bool MenuItemEnabled(MenuItem item) {
    auto it = g_menu.find(item);
    return it == g_menu.end() || it->second;
}

CommandResult FileOpen1Execute() {
    SharedState& s = State();
    s.secondFlashPath.clear();
    auto first =
        AskOpenFile("Open SBF/SHX file to edit or import DRM to", std::string(OpenFilter), false);
    if (!first) {
        DeleteSessionFile();
        CloseMainWindow();
        return CommandResult::Completed;
    }
    s.firstFlashPath = *first;

    bool accepted = false;
    if (s.askSecondFile) {
        auto second = AskOpenFile("Open SBF/SHX file to export DRM from (Cancel to skip)",
                                  std::string(OpenFilter), true);
        accepted = second.has_value();
        s.secondFlashPath = second.value_or(std::string());
    }
    s.sessionMode = accepted ? ModePair : ModeSingle;

    s.currentImage = 1;
    SetStatusText("Decompiling source file 1");
    const FlashKind firstKind = FlashKindOf(s.firstFlashPath);
    const bool raw = firstKind == FlashKind::RawImage;
    Outcome outcome = Open(firstKind, 1);
    if (!outcome.Done()) {
        // One box per file: a refusal's own message, or "No DRM found".
        ShowRefusal(outcome);
        SetStatusText(outcome.Refused() ? "The file was refused. Shutting down."
                                        : "No DRM found. Shutting down.");
        if (outcome.kind == Outcome::Kind::NoDrm)
            ShowMessage("No DRM found", "Error");
        DeleteSessionFile();
        CloseMainWindow();
        return outcome.Refused() ? CommandResult::Refused : CommandResult::Stopped;
    }

    CommandResult result = CommandResult::Completed;
    if (s.sessionMode == ModePair) {
        s.currentImage = 2;
        SetStatusText("Decompiling source file 2");
        // The raw bit describes flash file 1 only.
        outcome = Open(FlashKindOf(s.secondFlashPath), 2);
        if (!outcome.Done()) {
            result = ShowRefusal(outcome);
            s.sessionMode = ModeSingle;
            SetStatusText(outcome.Refused() ? "The 2nd file was refused. DRM Edit mode"
                                            : "No DRM found. DRM Edit mode");
            if (outcome.kind == Outcome::Kind::NoDrm)
                ShowMessage("No 2nd DRM found", "Warning");
        }
    }
    if (raw)
        s.sessionMode |= ModeRawImage;
    const bool pair = (s.sessionMode & 3) == ModePair;
    std::string next = "The icons and pictures to edit are in " + EditFolder() +
                       ". Edit them with any picture editor, then start Zantrel again and choose " +
                       (pair ? "Port or Save As." : "Save As.");
    if (pair && PortIncompatible())
        next += "\nThe two DRMs have different layouts; Port will refuse them.";
    // The session file is the last file written: a run ended before it
    // leaves no session, and the next start cleans the work folder.
    WriteFlashPaths();
    WriteSessionFile();
    ShowMessage("DRM decompiled.", "", next);
    CloseMainWindow();
    return result;
}

CommandResult FileSave1Execute() {
    // Everything Save As would refuse, listed at once before anything is asked or written.
    if (const std::vector<WorkProblem> problems = CheckWorkFiles(); !problems.empty()) {
        ShowWorkProblems(problems);
        return CommandResult::Refused;
    }
    SharedState& s = State();
    const bool raw = (s.sessionMode & ModeRawImage) != 0;
    std::optional<std::string> chosen;
    for (;;) {
        chosen = AskSaveFile("Select a file to save DRM reflash",
                             raw ? "BIN files|*.bin" : "SHX files|*.shx");
        if (!chosen)
            break;
        s.savePath = *chosen;
        DeriveCompiledImagePath();
        // One question for every file the save replaces; no, and the dialog comes back.
        std::string existing;
        for (const std::string& target : SaveTargets(raw))
            if (FileExists(target))
                existing += "\n" + target;
        if (existing.empty() ||
            AskConfirmation("These files exist and will be replaced:" + existing, "Save As"))
            break;
    }
    if (chosen) {
        // A raw session's result is the compiled code group itself.
        const Outcome written = raw ? DrmCompile() : SaveSuperfile();
        // Refused: the work stays pending, the window open.
        if (!written.Done())
            return ShowRefusal(written);
        // The session ends here; until now the file kept it for the next run.
        DeleteSessionFile();
        std::string paths = "Written:";
        for (const std::string& target : SaveTargets(raw))
            paths += "\n" + target;
        ShowMessage("Operation Complete", "", paths);
        SetStatusText("Complete");
        if (s.cleanupEnabled)
            CleanWorkFolder();
    } else {
        ShowMessage("DRM was not compiled", "Incomplete Operation");
        WriteSessionFile();
    }
    CloseMainWindow();
    return CommandResult::Completed;
}

CommandResult Port1Click() {
    SharedState& s = State();
    const PortResult plan = PlanPort();
    if (plan.outcome == PortOutcome::Ported) {
        // Port replaces files the user may have edited: ask, naming what goes.
        const std::string counts = CountIconsAndPictures(plan.icons, plan.pictures);
        if (!AskConfirmation("Replace " + counts + " of " + FlashFileName(1) + " with those of " +
                                 FlashFileName(2) + "?",
                             "Port"))
            return CommandResult::Completed;
    }
    const PortResult port = plan.outcome == PortOutcome::Ported ? PortDrm() : plan;
    if (port.outcome == PortOutcome::Refused)
        return ShowRefusal(Outcome::Refusal(port.message));
    if (port.outcome == PortOutcome::Incompatible) {
        // The run ends with the session still pending, as Exit leaves it.
        ShowMessage(port.message, "Error");
        CloseMainWindow();
        if (!s.freshSession)
            WriteSessionFile();
        return CommandResult::Stopped;
    }
    const std::string report = "Ported " + CountIconsAndPictures(port.icons, port.pictures) +
                               " of " + FlashFileName(2) + " into " + FlashFileName(1) + ".";
    SetStatusText(report);
    ShowMessage(report, "Port",
                "Save As compiles them into the new flash file; until then the session stays "
                "pending.");
    return CommandResult::Completed;
}

CommandResult FileExit1Execute() {
    if (!State().freshSession) {
        ShowMessage("DRM was not compiled", "Incomplete Operation");
        WriteSessionFile();
    }
    CloseMainWindow();
    return CommandResult::Completed;
}

CommandResult FileDiscard1Execute() {
    const SharedState& s = State();
    const std::string question = "Discard the pending session? The session file and every file in "
                                 "the work folder " +
                                 s.workFolder +
                                 " (binary1 and binary2) are deleted, edited icons and pictures "
                                 "included. This cannot be undone.";
    if (!AskConfirmation(question, "Discard Session"))
        return CommandResult::Completed;
    DeleteSessionFile();
    CleanWorkFolder();
    SetStatusText("Session discarded");
    CloseMainWindow();
    return CommandResult::Completed;
}

CommandResult RunGuarded(const std::function<CommandResult()>& command) {
    // A command stopped by a failure leaves nothing of itself showing: the
    // error box is the last word.
    std::string message;
    std::string path;
    try {
        return command();
    } catch (const IoError& e) {
        message = IoErrorMessage(e.Code());
        path = e.Path();
    } catch (const std::bad_alloc&) {
        message = "Out of memory.";
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unexpected failure.";
    }
    ShowProgress(false);
    SetStatusText("");
    ReportError(message, path);
    return CommandResult::Failed;
}

void SetErrorReporter(ErrorReporter reporter) { g_errorReporter = std::move(reporter); }

} // namespace zantrel
