#include "base/folderlock.h"

#ifdef _WIN32
#include <cwchar>
#include <windows.h>

#include "base/unicode.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zantrel {

namespace {
std::string g_folder;
} // namespace

#ifdef _WIN32

namespace {

HANDLE g_mutex = nullptr;

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

bool LockStartFolder(const std::string& folder) {
    if (g_mutex && g_folder == folder)
        return true;
    UnlockStartFolder();
    // The named object lives while a process holds a handle to it.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, FolderKey(folder).c_str());
    if (!mutex)
        return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    g_mutex = mutex;
    g_folder = folder;
    return true;
}

void UnlockStartFolder() {
    if (g_mutex)
        CloseHandle(g_mutex);
    g_mutex = nullptr;
    g_folder.clear();
}

#else

namespace {
int g_fd = -1;
} // namespace

bool LockStartFolder(const std::string& folder) {
    if (g_fd >= 0 && g_folder == folder)
        return true;
    UnlockStartFolder();
    // The folder itself is locked: no lock file to create in a folder that
    // may be read-only, none to leave behind.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    g_fd = fd;
    g_folder = folder;
    return true;
}

void UnlockStartFolder() {
    if (g_fd >= 0)
        ::close(g_fd);
    g_fd = -1;
    g_folder.clear();
}

#endif

} // namespace zantrel
