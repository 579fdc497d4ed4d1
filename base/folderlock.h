// One run of the program per start folder, and per work folder: two runs at
// once would share the session file, the work tree and their scratch files.
#pragma once

#include <string>

namespace zantrel {

enum class FolderLockResult {
    Taken,      // this process holds it
    Held,       // another running program holds it
    Unlockable, // it cannot be locked at all (missing, or not readable)
};

// Takes the start folder's lock for the life of the process, or until
// UnlockStartFolder. The system releases it when the process ends, however
// it ends, so a crash leaves nothing stale.
FolderLockResult LockStartFolder(const std::string& folder);
void UnlockStartFolder();

// The same for the work folder, held beside the start folder's (taken at
// once when both are one folder); a new folder's lock replaces the old one's.
FolderLockResult LockWorkFolder(const std::string& folder);
void UnlockWorkFolder();

} // namespace zantrel
