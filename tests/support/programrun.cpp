#include "support/programrun.h"

#include "base/state.h"
#include "shell/sdimain.h"

namespace zantrel::test {

ProgramRun::ProgramRun() {
    SetErrorReporter([this](const std::string& m, const std::string&) { errors.push_back(m); });
    InitApp();
}

ProgramRun::~ProgramRun() { SetErrorReporter(nullptr); }

ProgramRun& NextRun(std::unique_ptr<ProgramRun>& run) {
    run.reset();
    ResetState();
    run = std::make_unique<ProgramRun>();
    return *run;
}

} // namespace zantrel::test
