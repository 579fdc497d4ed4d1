// A run of the program in the current folder, driven through RecordingUi,
// and a scope for a fault injector.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/fileio.h"

#include "support/recordingui.h"

namespace zantrel::test {

// A sink, an error reporter and the start-up sequence.
struct ProgramRun {
    RecordingUi ui;
    std::vector<std::string> errors;
    std::vector<std::string> errorPaths; // the file or folder each error names
    std::vector<std::string> errorNext;  // what each error tells the person to do
    ProgramRun();
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;
};
// Ends the run held (if any; its sink goes first) and starts the next one.
ProgramRun& NextRun(std::unique_ptr<ProgramRun>& run);

// Installs an injector for the life of the scope.
class FaultScope {
public:
    explicit FaultScope(FaultInjector* injector) { InstallFaultInjector(injector); }
    ~FaultScope() { InstallFaultInjector(nullptr); }
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
};

} // namespace zantrel::test
