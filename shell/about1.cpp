#include "shell/about1.h"

#include "base/fileio.h"
#include "shell/settings.h"
#include "base/state.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

// A platform colour value keeps red in the low byte: 0x00BBGGRR.
std::uint32_t ColourOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint32_t>(red) | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(blue) << 16;
}

} // namespace

void FormCreate(SettingsDialogState& dialog) {
    const SharedState& s = State();
    // The first three boxes show the inverse of their flags: a tick turns a feature off.
    dialog.checkBox1 = !s.cleanupEnabled;
    dialog.checkBox2 = !s.askSecondFile;
    dialog.checkBox4 = !s.rawConversionEnabled;
    dialog.checkBox5Enabled = s.rawConversionEnabled;
    dialog.shape1Enabled = s.rawConversionEnabled;
    dialog.shape1Colour = ColourOf(s.replacerRed, s.replacerGreen, s.replacerBlue);
}

void CheckBox4Click(SettingsDialogState& dialog) {
    SharedState& s = State();
    dialog.checkBox5Enabled = !dialog.checkBox4;
    dialog.shape1Enabled = !dialog.checkBox4;
    s.rawConversionEnabled = !dialog.checkBox4;
}

void CheckBox5Click(SettingsDialogState& dialog, std::optional<std::uint32_t> picked) {
    if (!picked) {
        dialog.checkBox5 = false;
        return;
    }
    SharedState& s = State();
    s.replacerBlue = static_cast<std::uint8_t>(*picked >> 16 & 0xFF);
    s.replacerGreen = static_cast<std::uint8_t>(*picked >> 8 & 0xFF);
    s.replacerRed = static_cast<std::uint8_t>(*picked & 0xFF);
    dialog.shape1Colour = ColourOf(s.replacerRed, s.replacerGreen, s.replacerBlue);
    dialog.checkBox5 = true;
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
    SharedState& s = State();
    s.cleanupEnabled = !dialog.checkBox1;
    s.askSecondFile = !dialog.checkBox2;
    s.rawConversionEnabled = !dialog.checkBox4;

    SaveSettings([&] {
        if (dialog.checkBox3) {
            s.workFolder = dialog.directory;
            BuildWorkTree(); // the old tree is left as it is
        }
    });
}

} // namespace zantrel
