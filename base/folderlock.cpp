#include "base/folderlock.h"

#include "base/sysfile.h"

namespace zantrel {

namespace {

sys::FolderLock g_start;
sys::FolderLock g_work;

} // namespace

FolderLockResult LockStartFolder(const std::string& folder) {
    // The work folder's lock follows the start folder's settings: taken anew.
    g_work.Release();
    return g_start.Take(folder, nullptr);
}

void UnlockStartFolder() { g_start.Release(); }

FolderLockResult LockWorkFolder(const std::string& folder) { return g_work.Take(folder, &g_start); }

void UnlockWorkFolder() { g_work.Release(); }

} // namespace zantrel
