#include "shell/about1.h"

#include "base/fileio.h"
#include "base/worktree.h"

#include "shell/settings.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/workclaim.h"

namespace zantrel {

void FormCreate(SettingsDialogState& dialog) {
    const SharedState& s = State();
    // The first three boxes show the inverse of their flags: a tick turns a feature off.
    dialog.checkBox1 = !s.cleanupEnabled;
    dialog.checkBox2 = !s.askSecondFile;
    dialog.checkBox4 = !s.rawConversionEnabled;
    dialog.checkBox5Enabled = s.rawConversionEnabled;
    dialog.shape1Enabled = s.rawConversionEnabled;
    dialog.shape1Colour = s.replacer;
}

void CheckBox4Click(SettingsDialogState& dialog) {
    SharedState& s = State();
    dialog.checkBox5Enabled = !dialog.checkBox4;
    dialog.shape1Enabled = !dialog.checkBox4;
    s.rawConversionEnabled = !dialog.checkBox4;
}

void CheckBox5Click(SettingsDialogState& dialog, std::optional<Rgb> picked) {
    if (!picked) {
        dialog.checkBox5 = false;
        return;
    }
    State().replacer = *picked;
    dialog.shape1Colour = *picked;
    dialog.checkBox5 = true;
}

const std::string& CurrentWorkFolder() { return State().workFolder; }

std::string ShownWorkFolder(const SettingsDialogState& dialog) {
    return dialog.checkBox3 && !dialog.directory.empty() ? dialog.directory : CurrentWorkFolder();
}

std::string ShortWorkFolder(const SettingsDialogState& dialog) {
    return ShortenMiddle(ShownWorkFolder(dialog), WorkFolderLabelChars);
}

void CheckBox3Click(SettingsDialogState& dialog, std::optional<std::string> picked) {
    if (!dialog.checkBox3)
        return;
    if (!picked) {
        dialog.checkBox3 = false;
        return;
    }
    dialog.directory = std::move(*picked);
}

void ApplySettings(const SettingsDialogState& dialog) {
    // The colour took effect when it was picked.
    SettingsChange change;
    change.cleanup = !dialog.checkBox1;
    change.askSecond = !dialog.checkBox2;
    change.bmp = !dialog.checkBox4;
    if (dialog.checkBox3)
        change.workFolder = dialog.directory;
    ChangeSettings(change);
}

SettingsChangeResult ChangeSettings(const SettingsChange& change) {
    SharedState& s = State();
    if (change.replacer && !change.bmp.value_or(s.rawConversionEnabled))
        return SettingsChangeResult::ReplacerNeedsBmp;
    if (change.cleanup)
        s.cleanupEnabled = *change.cleanup;
    if (change.askSecond)
        s.askSecondFile = *change.askSecond;
    if (change.bmp)
        s.rawConversionEnabled = *change.bmp;
    if (change.replacer)
        s.replacer = *change.replacer;
    SaveSettings([&] {
        if (change.workFolder) {
            // As at loading: no work folder is the start folder, never the root.
            s.workFolder = change.workFolder->empty() ? s.startFolder : *change.workFolder;
            BuildWorkTree();   // the old tree is left as it is
            ClaimWorkFolder(); // the lock goes with the folder; Open asks it
        }
    });
    return SettingsChangeResult::Applied;
}

std::optional<std::string> WorkFolderProblem(const std::string& folder) {
    // The settings file keeps the folder as one line.
    if (folder.find_first_of("\r\n") != std::string::npos)
        return "a work folder's name cannot hold a line break";
    if (!FolderExists(folder))
        return "no such folder: " + folder;
    return std::nullopt;
}

} // namespace zantrel
