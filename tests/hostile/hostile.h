// Shared pieces of the hostile-input tests: small sample flash files, a
// counting fault injector and checks of what a start folder holds.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/uiops.h"

#include "shell/commands.h"

#include "support/programrun.h"
#include "support/recordingui.h"
#include "support/tempfolder.h"

namespace zantrel::hostile {

using Bytes = std::vector<std::uint8_t>;
using test::FaultScope;
using test::NextRun;
using test::ProgramRun;
using test::Snapshot;

// $ZANTREL_SWEEP_EVERY=n: the sweeps take every n-th case only (the first
// always). A case costs tens of milliseconds under an emulation layer such as
// Wine or under the sanitizers; make sweep runs them all.
std::size_t SweepEvery();

// Small code groups (well under 2 KB) and flash files around them.
Bytes SmallBasicDrm();
Bytes SmallExtendedDrm(std::uint8_t seed = 1);
Bytes SmallRamdld();
Bytes SmallSuperfile(const Bytes& drm);
Bytes SmallSbf(const Bytes& drm);

// zantrel.ini with clean-up, second file and BMP conversion on, magenta
// replacer, and the work folder given.
void WriteSettings(const std::string& startFolder, const std::string& workFolder);

// Whether this run offers each menu item.
struct MenuSnapshot {
    std::map<MenuItem, bool> offered;
    bool operator==(const MenuSnapshot&) const = default;
};
MenuSnapshot SnapMenu();

// Fails the failAt-th call of one operation with err; counts every call.
class CountingFault final : public FaultInjector {
public:
    CountingFault(Op op, int failAt, int err) : op_(op), failAt_(failAt), err_(err) {}
    int Check(Op op, const std::string& path) override;
    int calls = 0;
    bool fired = false;
    std::string firedPath;

private:
    Op op_;
    int failAt_;
    int err_;
};

// Names directly inside a folder, sorted.
std::vector<std::string> Entries(const std::string& folder);
// Files below a folder named temp.bin or ending in ".tmp~".
std::vector<std::string> Leftovers(const std::string& folder);

// A superfile's bytes without its date field (offsets 320 to 447), which
// carries the time of writing.
Bytes WithoutDate(Bytes superfile);

} // namespace zantrel::hostile
