#include "support/programrun.h"

#include "base/folderlock.h"

#include "shell/sdimain.h"
#include "shell/state.h"

namespace zantrel::test {

ProgramRun::ProgramRun() {
    SetErrorReporter(
        [this](const std::string& m, const std::string& path, const std::string& next) {
            errors.push_back(m);
            errorNext.push_back(next);
            errorPaths.push_back(path);
        });
    InitApp();
}

ProgramRun::~ProgramRun() {
    SetErrorReporter(nullptr);
    // The run's end, as the process's end would be: another may start here.
    UnlockStartFolder();
    UnlockWorkFolder();
}

ProgramRun& NextRun(std::unique_ptr<ProgramRun>& run) {
    run.reset();
    ResetState();
    run = std::make_unique<ProgramRun>();
    return *run;
}

} // namespace zantrel::test
