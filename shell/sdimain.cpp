#include "shell/sdimain.h"

#include <cctype>
#include <exception>
#include <filesystem>
#include <map>
#include <new>

#include "drm/drmpack.h"
#include "base/fileio.h"
#include "flash/readers.h"
#include "flash/superfile.h"
#include "shell/cleanup.h"
#include "shell/session.h"
#include "shell/settings.h"
#include "base/state.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

std::map<MenuItem, bool> g_menu;
std::function<void(const std::string&)> g_errorReporter;
// Set by a command that stopped at a refused input (its message already shown).
bool g_refused = false;

void ResetMenu() {
    for (MenuItem item : {MenuItem::FileOpenItem, MenuItem::Port1, MenuItem::FileSaveAsItem,
                          MenuItem::FileExitItem, MenuItem::Settings1, MenuItem::HelpAboutItem})
        g_menu[item] = true;
}

void DisableMenuItem(MenuItem item) {
    g_menu[item] = false;
    SetMenuItemEnabled(item, false);
}

// The reader is chosen by the upper-cased extension, compared exactly;
// anything but a superfile or an SBF file is taken as a raw code-group image.
ReadOutcome ReadFlashFile(const std::string& ext, int image, bool& raw) {
    if (ext == ".SBF")
        return OpenSbf(image);
    if (ext == ".SHX")
        return OpenSuperfile(image);
    raw = true;
    return OpenRawImage(image);
}

void ReportError(const std::string& message) {
    if (g_errorReporter)
        g_errorReporter(message);
}

} // namespace

void InitApp() {
    SharedState& s = State();
    s.startFolder = std::filesystem::current_path().string();
    ResetMenu();
    if (!ReadSessionFile()) {
        DisableMenuItem(MenuItem::FileSaveAsItem);
        DisableMenuItem(MenuItem::Port1);
    } else {
        DisableMenuItem(MenuItem::Settings1);
        // Only a low-bit value of exactly 1 (one image) has nothing to port.
        if ((s.sessionMode & 3) == ModeSingle)
            DisableMenuItem(MenuItem::Port1);
        DisableMenuItem(MenuItem::FileOpenItem);
    }
    LoadSettings();
    BuildWorkTree();
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

void FileOpen1Execute() {
    SharedState& s = State();
    s.secondFlashPath.clear();
    auto first =
        AskOpenFile("Open SBF/SHX file to edit or import DRM to", std::string(OpenFilter), false);
    if (!first) {
        DeleteSessionFile();
        CloseMainWindow();
        return;
    }
    s.firstFlashPath = *first;
    s.firstExt = UpperExtension(s.firstFlashPath);

    bool accepted = false;
    if (s.askSecondFile) {
        auto second = AskOpenFile("Open SBF/SHX file to export DRM from (Cancel to skip)",
                                  std::string(OpenFilter), true);
        accepted = second.has_value();
        s.secondFlashPath = second.value_or(std::string());
    }
    s.sessionMode = accepted ? ModePair : ModeSingle;
    s.secondExt = UpperExtension(s.secondFlashPath);

    s.currentImage = 1;
    bool raw = false;
    SetStatusText("Decompiling source file 1");
    ReadOutcome outcome = ReadFlashFile(s.firstExt, 1, raw);
    if (outcome != ReadOutcome::Decompiled) {
        SetStatusText("No DRM found. Shutting down.");
        // A refused file has had its own "Error" box; one box per file.
        if (outcome == ReadOutcome::NoDrm)
            ShowMessage("No DRM found", "Error");
        else
            g_refused = true;
        DeleteSessionFile();
        CloseMainWindow();
        return;
    }

    if (s.sessionMode == ModePair) {
        s.currentImage = 2;
        SetStatusText("Decompiling source file 2");
        bool ignored = false; // the raw bit describes flash file 1 only
        outcome = ReadFlashFile(s.secondExt, 2, ignored);
        if (outcome != ReadOutcome::Decompiled) {
            s.sessionMode = ModeSingle;
            SetStatusText("No DRM found. DRM Edit mode");
            if (outcome == ReadOutcome::NoDrm)
                ShowMessage("No 2nd DRM found", "Warning");
            else
                g_refused = true;
        }
    }
    if (raw)
        s.sessionMode |= ModeRawImage;
    WriteSessionFile();
    ShowMessage("DRM decompiled.", "");
    CloseMainWindow();
}

void FileSave1Execute() {
    SharedState& s = State();
    const bool raw = (s.sessionMode & ModeRawImage) != 0;
    auto chosen = AskSaveFile("Select a file to save DRM reflash",
                              raw ? "BIN files|*.bin" : "SHX files|*.shx");
    if (chosen) {
        s.savePath = *chosen;
        DeriveCompiledImagePath();
        // A raw session's result is the compiled code group itself.
        const bool written = raw ? DrmCompile() : WriteSuperfile();
        if (!written) {
            // Refused with its own message: the work stays pending, the window open.
            g_refused = true;
            return;
        }
        ShowMessage("Operation Complete", "");
        SetStatusText("Complete");
        if (s.cleanupEnabled)
            CleanWorkFolder();
    } else {
        ShowMessage("DRM was not compiled", "Incomplete Operation");
        WriteSessionFile();
    }
    CloseMainWindow();
}

void Port1Click() {
    // The port ends the run itself when the DRMs do not match; the session
    // file was deleted at start-up, so it is written again or the pending
    // work (image 1's edits) would be swept by the next fresh start.
    if (PortDrm() == PortOutcome::Incompatible && !State().freshSession)
        WriteSessionFile();
}

void FileExit1Execute() {
    if (!State().freshSession) {
        ShowMessage("DRM was not compiled", "Incomplete Operation");
        WriteSessionFile();
    }
    CloseMainWindow();
}

CommandResult RunCommand(const std::function<void()>& command) {
    g_refused = false;
    try {
        command();
    } catch (const IoError& e) {
        ReportError(IoErrorMessage(e.Code()));
        return CommandResult::Failed;
    } catch (const std::bad_alloc&) {
        ReportError("Out of memory.");
        return CommandResult::Failed;
    } catch (const std::exception& e) {
        ReportError(e.what());
        return CommandResult::Failed;
    } catch (...) {
        ReportError("Unexpected failure.");
        return CommandResult::Failed;
    }
    return g_refused ? CommandResult::Refused : CommandResult::Completed;
}

void SetErrorReporter(std::function<void(const std::string& message)> reporter) {
    g_errorReporter = std::move(reporter);
}

} // namespace zantrel
