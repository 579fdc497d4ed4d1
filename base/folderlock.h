// One run of the program per start folder: two runs at once would share the
// session file, the work tree and their scratch files.
#pragma once

#include <string>

namespace zantrel {

// Takes the start folder's lock for the life of the process, or until
// UnlockStartFolder. False when another running program holds it. The
// system releases it when the process ends, however it ends, so a crash
// leaves nothing stale. A folder that cannot be locked at all (unreadable)
// counts as taken: the run then finds its own errors.
bool LockStartFolder(const std::string& folder);
void UnlockStartFolder();

} // namespace zantrel
