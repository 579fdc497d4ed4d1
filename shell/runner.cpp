#include "shell/runner.h"

#include "shell/sdimain.h"
#include "shell/state.h"

namespace zantrel {

bool CommandRunner::Run(const std::function<void()>& command) {
    // Commands never nest: one runs to its end before the next starts.
    if (busy_)
        return false;
    // Released however the command is left: a crash the system swallows
    // inside one of its dialogs unwinds past every catch here, and a window
    // still busy afterwards would refuse every command and its own close.
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{busy_};
    busy_ = true;
    closeRequested_ = false;
    RunCommand(command);
    return true;
}

bool CommandRunner::AllowClose() {
    if (busy_)
        return false; // a running command ends first
    // A command that closes the window has done its part already.
    if (!closeRequested_ && !State().freshSession)
        Run([] { FileExit1Execute(); });
    // Closed even after a failure: the session file is still there from the start.
    return true;
}

} // namespace zantrel
