// Folder locks and scratch-folder locks on Windows: named objects and files
// held open without delete sharing, which the system lets go of when the
// process ends, however it ends.
#include <windows.h>

#include <cwchar>

#include "base/folders.h"
#include "base/ioerror.h"
#include "base/paths.h"
#include "base/scratch.h"
#include "base/sysfile.h"
#include "base/unicode.h"

namespace zantrel::sys {

namespace {

// The folder's own path as the system resolves it (drive letters, links and
// case aside), so that every spelling of one folder takes one lock.
std::wstring FolderKey(const std::string& folder) {
    std::wstring path = WideFromUtf8(folder);
    const HANDLE handle = CreateFileW(SystemPathFromUtf8(folder).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        wchar_t final[32768];
        const DWORD n = GetFinalPathNameByHandleW(handle, final, 32768, FILE_NAME_NORMALIZED);
        if (n > 0 && n < 32768)
            path.assign(final, n);
        CloseHandle(handle);
    }
    CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    // A kernel object's name may not hold '\' and is limited in length: a hash.
    unsigned long long hash = 1469598103934665603ull;
    for (wchar_t c : path) {
        hash ^= static_cast<unsigned long long>(c);
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\Zantrel-%016llx", hash);
    return name;
}

} // namespace

// A named object that lives while a process holds a handle to it.
struct FolderLock::Held {
    HANDLE mutex = nullptr;
    std::wstring key;
};

FolderLock::FolderLock() = default;
FolderLock::~FolderLock() { Release(); }

FolderLockResult FolderLock::Take(const std::string& folder, const FolderLock* beside) {
    const std::wstring key = FolderKey(folder);
    if (held_ && held_->key == key)
        return FolderLockResult::Taken;
    Release();
    if (beside && beside->held_ && beside->held_->key == key)
        return FolderLockResult::Taken; // one folder, one lock
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, key.c_str());
    if (!mutex)
        return FolderLockResult::Unlockable;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return FolderLockResult::Held;
    }
    held_ = std::make_unique<Held>(Held{mutex, key});
    return FolderLockResult::Taken;
}

void FolderLock::Release() {
    if (held_)
        CloseHandle(held_->mutex);
    held_.reset();
}

// The temporary folder is the user's own; a link by the name is no folder of ours.
bool IsOwnScratchFolder(const std::string& folder) {
    const DWORD attributes = GetFileAttributesW(SystemPathFromUtf8(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deleting the lock file is taking it: its holder keeps it open without
// delete sharing. The folder is removed at once after.
ScratchLockState TakeScratchLockAndRemove(const std::string& folder) {
    const std::wstring lock = SystemPathFromUtf8(JoinPath(folder, ScratchLockName));
    if (!DeleteFileW(lock.c_str()))
        return GetLastError() == ERROR_FILE_NOT_FOUND ? ScratchLockState::Missing
                                                      : ScratchLockState::Kept;
    RemoveFolderTree(folder);
    return ScratchLockState::Removed;
}

std::intptr_t HoldScratchLock(const std::string& lock) {
    const HANDLE handle = CreateFileW(
        SystemPathFromUtf8(lock).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        throw IoError(IoCodeFromWindowsError(GetLastError()), lock);
    return reinterpret_cast<std::intptr_t>(handle);
}

void RemoveScratchFolder(const std::string& folder, std::intptr_t lock) {
    // Closed first: the open lock file would keep the folder.
    CloseHandle(reinterpret_cast<HANDLE>(lock));
    RemoveFolderTree(folder);
}

} // namespace zantrel::sys
