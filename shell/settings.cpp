#include "shell/settings.h"

#include "base/fileio.h"

#include "shell/state.h"

namespace zantrel {

namespace {

std::string SettingsPath() { return JoinPath(State().startFolder, SettingsFileName); }

// A number of the settings file; an unreadable one counts as 0 and the
// reading goes on, as nothing is reported at start-up.
std::int64_t ReadSettingNumber(TextReader& in) {
    try {
        return in.ReadInteger();
    } catch (const IoError&) {
        return 0;
    }
}

bool FlagOf(std::int64_t value) { return (value & 0xFF) == 1; }

void WriteFlagLines(TextWriter& out, const SharedState& s) {
    out.WriteLine(s.cleanupEnabled ? "1" : "0");
    out.WriteLine(s.askSecondFile ? "1" : "0");
    out.WriteLine(s.rawConversionEnabled ? "1" : "0");
    // The file keeps the replacer colour as blue, green and red lines.
    out.WriteLine(std::to_string(s.replacer.blue));
    out.WriteLine(std::to_string(s.replacer.green));
    out.WriteLine(std::to_string(s.replacer.red));
}

} // namespace

void SetDefaultSettings() {
    SharedState& s = State();
    s.cleanupEnabled = true;
    s.askSecondFile = true;
    s.rawConversionEnabled = true;
    s.replacer = {255, 0, 255};
    s.workFolder = s.startFolder;
}

void LoadSettings(bool writeDefaults) {
    SharedState& s = State();
    auto file = BinaryFile::TryOpenRead(SettingsPath());
    if (!file) {
        SetDefaultSettings();
        if (!writeDefaults)
            return;
        try {
            SaveSettings();
        } catch (const IoError&) {
            // The defaults hold for this run; a read-only start folder is no error.
        }
        return;
    }
    try {
        TextReader in(std::move(*file));
        s.cleanupEnabled = FlagOf(ReadSettingNumber(in));
        s.askSecondFile = FlagOf(ReadSettingNumber(in));
        s.rawConversionEnabled = FlagOf(ReadSettingNumber(in));
        s.replacer.blue = static_cast<std::uint8_t>(ReadSettingNumber(in) & 0xFF);
        s.replacer.green = static_cast<std::uint8_t>(ReadSettingNumber(in) & 0xFF);
        s.replacer.red = static_cast<std::uint8_t>(ReadSettingNumber(in) & 0xFF);
        // A line longer than any path names no folder: the tree goes to the
        // start folder, and lines 1 to 6, read as they are, hold.
        s.workFolder = in.ReadLine().value_or(std::string());
    } catch (const IoError&) {
        // Read errors are not reported; what was read holds.
    }
    // A short file or a folder the picker could not name leaves no work
    // folder: the tree goes to the start folder, never the file-system root.
    if (s.workFolder.empty())
        s.workFolder = s.startFolder;
}

void SaveSettings(const std::function<void()>& beforeWorkFolder) {
    AtomicOutput target(SettingsPath());
    TextWriter out(target.Create());
    WriteFlagLines(out, State());
    if (beforeWorkFolder)
        beforeWorkFolder();
    out.WriteLine(State().workFolder);
    out.Close();
    target.Commit();
}

} // namespace zantrel
