#include "base/scratch.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "base/fileio.h"
#include "base/folders.h"
#include "base/paths.h"
#include "base/unicode.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zantrel {

namespace fs = std::filesystem;

namespace {

// A folder without a lock file is taken for a live run's only this long: the
// run locks its folder at once after making it.
constexpr auto LocklessGrace = std::chrono::hours(1);

bool IsScratchName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + 17 || name.substr(0, prefix.size()) != prefix ||
        name[prefix.size()] != '-')
        return false;
    for (char c : name.substr(prefix.size() + 1))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool UnchangedForLong(const std::string& folder) {
    std::error_code ec;
    const auto changed = fs::last_write_time(PathFromUtf8(folder), ec);
    return !ec && fs::file_time_type::clock::now() - changed > LocklessGrace;
}

// What became of a scratch folder whose lock was tried.
enum class LockState { Removed, Missing, Kept };

#ifdef _WIN32

// The temporary folder is the user's own; a link by the name is no folder of ours.
bool IsOurFolder(const std::string& folder) {
    const DWORD attributes = GetFileAttributesW(SystemPathFromUtf8(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Deleting the lock file is taking it: its holder keeps it open without
// delete sharing. The folder is removed at once after.
LockState TakeLockAndRemove(const std::string& folder) {
    const std::wstring lock = SystemPathFromUtf8(JoinPath(folder, ScratchLockName));
    if (!DeleteFileW(lock.c_str()))
        return GetLastError() == ERROR_FILE_NOT_FOUND ? LockState::Missing : LockState::Kept;
    RemoveFolderTree(folder);
    return LockState::Removed;
}

#else

bool IsOurFolder(const std::string& folder) {
    struct stat st {};
    // lstat: a link by the name is no folder of ours, and /tmp is shared.
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// The lock is held while the folder is removed.
LockState TakeLockAndRemove(const std::string& folder) {
    const std::string lock = JoinPath(folder, ScratchLockName);
    const int fd = open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? LockState::Missing : LockState::Kept;
    LockState state = LockState::Kept;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        RemoveFolderTree(folder);
        state = LockState::Removed;
    }
    close(fd);
    return state;
}

#endif

} // namespace

void RemoveStaleScratchFolders(const std::string& parent, std::string_view prefix) {
    const auto names = FolderEntries(parent);
    if (!names)
        return;
    for (const std::string& name : *names) {
        if (!IsScratchName(name, prefix))
            continue;
        const std::string folder = JoinPath(parent, name);
        if (IsOurFolder(folder) && TakeLockAndRemove(folder) == LockState::Missing &&
            UnchangedForLong(folder))
            RemoveFolderTree(folder);
    }
}

ScratchFolder::ScratchFolder(std::string_view prefix) {
    std::error_code ec;
    std::string parent = Utf8FromPath(fs::temp_directory_path(ec));
    // Its trailing separator off ("C:\Users\me\Temp\"), a drive's root's kept.
    while (parent.size() > 1 && IsPathSeparator(parent.back()) && parent[parent.size() - 2] != ':')
        parent.pop_back();
    if (!ec)
        RemoveStaleScratchFolders(parent, prefix);
    path_ = CreateTempFolder(prefix);
    const std::string lock = JoinPath(path_, ScratchLockName);
#ifdef _WIN32
    const HANDLE handle = CreateFileW(
        SystemPathFromUtf8(lock).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        RemoveFolderTree(path_);
        throw IoError(IoCodeFromWindowsError(err), lock);
    }
    lock_ = handle;
#else
    // Locked before it takes its name: a lock file found by that name always
    // had its holder's lock.
    const std::string fresh = lock + ".new";
    const int fd = open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    // A file system without flock keeps the folder from every other run's
    // clean-up: its lock cannot be taken.
    if (fd < 0 || (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) ||
        std::rename(fresh.c_str(), lock.c_str()) != 0) {
        const int err = errno;
        if (fd >= 0)
            close(fd);
        RemoveFolderTree(path_);
        throw IoError(IoCodeFromErrno(err), lock);
    }
    lock_ = fd;
#endif
}

ScratchFolder::~ScratchFolder() {
#ifdef _WIN32
    // Closed first: the open lock file would keep the folder.
    CloseHandle(static_cast<HANDLE>(lock_));
    RemoveFolderTree(path_);
#else
    RemoveFolderTree(path_);
    close(lock_);
#endif
}

} // namespace zantrel
