// The input is the settings file "zantrel.ini" read at start-up. Whatever
// it holds, the settings read must be written back and read again unchanged.
#include "base/fileio.h"

#include "shell/settings.h"
#include "shell/state.h"

#include "harness.h"

using namespace zantrel;
using namespace zantrel::fuzz;

namespace {

struct Settings {
    bool cleanup, askSecond, conversion;
    Rgb replacer;
    std::string workFolder;
    bool operator==(const Settings&) const = default;
};

Settings Taken() {
    const SharedState& s = State();
    return {s.cleanupEnabled, s.askSecondFile, s.rawConversionEnabled, s.replacer, s.workFolder};
}

// Values no settings file gives all at once, so a field left unread shows.
void Scramble() {
    SharedState& s = State();
    s.cleanupEnabled = s.askSecondFile = s.rawConversionEnabled = true;
    s.replacer = {3, 2, 1};
    s.workFolder = "\r";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& start = StartFolder();
    const std::string path = JoinPath(start, SettingsFileName);
    WriteFile(path, {data, size});
    Scramble();
    LoadSettings(); // never reports anything: a bad file is no failure
    const Settings first = Taken();
    if (first.workFolder.find_first_of("\r\n") != std::string::npos)
        Fail("the work folder was read with a line end in it");
    try {
        SaveSettings();
    } catch (const IoError& e) {
        Fail("SaveSettings failed: " + IoErrorText(e.Code()));
    }
    Scramble();
    LoadSettings();
    if (!(Taken() == first))
        Fail("the settings changed on being written and read back");
    return 0;
}
