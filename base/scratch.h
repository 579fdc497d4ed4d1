// A run's own folder under the system's temporary folder that a killed run
// does not leave there for good. While the run lives the folder holds a
// locked file (flock on Linux; on Windows a file open without delete
// sharing); each new one first removes the folders of its prefix whose lock
// nobody holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zantrel {

inline constexpr std::string_view ScratchLockName = "scratch.lock";

class ScratchFolder {
public:
    // Removes the stale folders of prefix, then makes a new one and locks it.
    // Throws IoError.
    explicit ScratchFolder(std::string_view prefix);
    // Removes the folder with everything in it; a failure leaves it stale.
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::intptr_t lock_ = -1; // the system's handle of the held lock file
};

// Removes the folders directly under parent named prefix, "-" and 16 hex
// digits (CreateTempFolder's names) whose lock can be taken, or which hold
// no lock file and have not changed for an hour (a run killed before it
// locked, or a program that made them without one). Symbolic links are
// removed, never followed. Failures are ignored.
void RemoveStaleScratchFolders(const std::string& parent, std::string_view prefix);

} // namespace zantrel
