// The input is the session file "shxdata.dat" found at start-up. It must be
// taken whatever it holds and left in place (the session ends only with a
// save or a discard), and the mode read must survive being written and read
// again.
#include "base/fileio.h"

#include "shell/session.h"
#include "shell/state.h"

#include "harness.h"

using namespace zantrel;
using namespace zantrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& start = StartFolder();
    const std::string path = JoinPath(start, SessionFileName);
    WriteFile(path, {data, size});
    SharedState& s = State();
    s.sessionMode = 0xA5;
    if (!ReadSessionFile() || s.freshSession)
        Fail("a session file present was not taken");
    if (!FileExists(path))
        Fail("the session file was deleted by reading it");
    const std::uint8_t mode = s.sessionMode;
    try {
        WriteSessionFile();
    } catch (const IoError& e) {
        Fail("WriteSessionFile failed: " + IoErrorText(e.Code()));
    }
    s.sessionMode = static_cast<std::uint8_t>(~mode);
    if (!ReadSessionFile() || s.sessionMode != mode)
        Fail("the session mode changed on being written and read back");
    return 0;
}
