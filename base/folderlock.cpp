#include "base/folderlock.h"

#ifdef _WIN32
#include <cwchar>
#include <windows.h>

#include "base/unicode.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zantrel {

namespace {

#ifdef _WIN32

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

// A named object that lives while a process holds a handle to it.
class Lock {
public:
    FolderLockResult Take(const std::string& folder, const Lock* beside) {
        const std::wstring key = FolderKey(folder);
        if (mutex_ && key == key_)
            return FolderLockResult::Taken;
        Release();
        if (beside && beside->mutex_ && beside->key_ == key)
            return FolderLockResult::Taken; // one folder, one lock
        const HANDLE mutex = CreateMutexW(nullptr, FALSE, key.c_str());
        if (!mutex)
            return FolderLockResult::Unlockable;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            return FolderLockResult::Held;
        }
        mutex_ = mutex;
        key_ = key;
        return FolderLockResult::Taken;
    }
    void Release() {
        if (mutex_)
            CloseHandle(mutex_);
        mutex_ = nullptr;
        key_.clear();
    }

private:
    HANDLE mutex_ = nullptr;
    std::wstring key_;
};

#else

// The folder itself is locked: no lock file to create in a folder that may be
// read-only, none to leave behind.
class Lock {
public:
    FolderLockResult Take(const std::string& folder, const Lock* beside) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return FolderLockResult::Unlockable;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return FolderLockResult::Unlockable;
        }
        if ((fd_ >= 0 && Same(st, *this)) || (beside && beside->fd_ >= 0 && Same(st, *beside))) {
            // Already ours (this lock or the other): a second flock would
            // conflict with our own.
            ::close(fd);
            if (!(fd_ >= 0 && Same(st, *this)))
                Release();
            return FolderLockResult::Taken;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            ::close(fd);
            return held ? FolderLockResult::Held : FolderLockResult::Unlockable;
        }
        Release();
        fd_ = fd;
        device_ = st.st_dev;
        inode_ = st.st_ino;
        return FolderLockResult::Taken;
    }
    void Release() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    static bool Same(const struct stat& st, const Lock& lock) {
        return st.st_dev == lock.device_ && st.st_ino == lock.inode_;
    }
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

#endif

Lock g_start;
Lock g_work;

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
