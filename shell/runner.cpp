#include "shell/runner.h"

#include "shell/state.h"
#include "shell/sdimain.h"

namespace zantrel {

bool CommandRunner::Run(const std::function<void()>& command) {
    // Commands never nest: one runs to its end before the next starts.
    if (busy_)
        return false;
    busy_ = true;
    closeRequested_ = false;
    RunCommand(command);
    busy_ = false;
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
