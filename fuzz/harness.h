// What every harness shares: a private start folder made once per process,
// a work tree inside it, and the helpers that put fuzz input on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "shell/open.h"

namespace zantrel::fuzz {

// Makes a fresh start folder (under $ZANTREL_FUZZ_TMP, else on /dev/shm when
// there is one, so the disk is not worn), makes it current, resets the shared
// state to a first run with the default settings and a silent user interface,
// and builds the work tree at <start>/work. Runs once; later calls return the same folder. The
// folder is removed when the process exits normally.
const std::string& StartFolder();

// Puts the work tree back to empty folders: whatever a run left is removed.
void ResetWorkTree();

void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes);
// The whole file; only for the small outputs of a fuzz run.
std::string ReadFile(const std::string& path);

// Writes data as flash file 1 named fileName in the start folder and opens
// it with the reader, as Open does. An I/O failure is an expected outcome.
// Checks what the reader leaves: a decompiled DRM has all its work files; a
// refused or DRM-less file has no "descr.dat". With conversion off, the
// untouched work folder must compile, to exactly the size its pieces add up to.
void OpenAndCheck(Outcome (*open)(const ImageFolders&), const std::string& fileName,
                  std::span<const std::uint8_t> data, bool conversion);

// Stops the run with a message: a broken invariant is a finding like a crash.
[[noreturn]] void Fail(const std::string& what);

// Takes the fuzz input apart into fields: bytes, then length-prefixed chunks.
class InputSplitter {
public:
    explicit InputSplitter(std::span<const std::uint8_t> data) : data_(data) {}
    // The next byte, or 0 past the end.
    std::uint8_t Byte();
    // The next little-endian 16-bit value, 0 past the end.
    std::uint16_t Word();
    // A 16-bit length, then that many bytes (fewer when the input ends).
    std::span<const std::uint8_t> Chunk();
    std::span<const std::uint8_t> Rest();
    bool AtEnd() const { return pos_ >= data_.size(); }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

} // namespace zantrel::fuzz
