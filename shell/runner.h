// The window's side of a command: one at a time, a close the logic asks for
// happens once the command has returned, and the close button of a second
// run is Exit.
#pragma once

#include <functional>

namespace zantrel {

class CommandRunner {
public:
    // Runs command through RunCommand unless another command runs; false
    // when it did not run.
    bool Run(const std::function<void()>& command);
    bool Busy() const { return busy_; }
    // The logic's CloseMainWindow: the window closes after the command.
    void RequestClose() { closeRequested_ = true; }
    bool CloseRequested() const { return closeRequested_; }
    // The window's own close button: false while a command runs (the window
    // stays); a second run is kept for the next start as Exit keeps it.
    bool AllowClose();

private:
    bool busy_ = false;
    bool closeRequested_ = false;
};

} // namespace zantrel
