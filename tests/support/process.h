// Runs a program of the build as a child, the way a user's shell would.
#pragma once

#include <string>
#include <vector>

namespace zantrel::test {

struct ProgramResult {
    int status = -1; // the exit status; -1 when it could not be started or did not exit
    std::string out;
    std::string err;
};

// The folder of the build's programs: $ZANTREL_BIN, else "bin".
std::string ProgramFolder();

// Runs program (a name in ProgramFolder(), without ".exe") with args in the
// folder, its standard output and error captured.
ProgramResult RunProgram(const std::string& folder, const std::string& program,
                         const std::vector<std::string>& args);

} // namespace zantrel::test
