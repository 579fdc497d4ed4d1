// Outputs that appear at their target only once complete, and the clean-up
// of the temporaries a killed run left.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/binaryfile.h"

namespace zantrel {

// An output written to a temporary file beside its target and renamed into
// place by Commit(); destroyed uncommitted, the temporary is removed, so a
// failure never leaves a half-written file at the target. The temporary is
// made at construction, under a new name, so nothing placed beforehand is
// written through.
class AtomicOutput {
public:
    explicit AtomicOutput(std::string target);
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;
    ~AtomicOutput();
    const std::string& TempPath() const { return temp_; }
    const std::string& Target() const { return target_; }
    // The temporary, emptied, for writing.
    BinaryFile Create(int recordSize = 1);
    void Commit();
    void Discard();
    // Leaves the temporary to the caller (a commit of several files).
    std::string Release();

private:
    std::string target_;
    std::string temp_;
    bool created_ = false;
    bool done_ = false;
};

// bytes written as the whole file at path through an AtomicOutput: the file
// is all of them or what it was. Throws IoError.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Removes the program's own leftover temporaries directly inside folder
// (never a folder, never through a link); only those of target's name when
// one is given. Returns how many went.
int RemoveOwnTemporaries(const std::string& folder, std::string_view targetName = {});

} // namespace zantrel
