// Folder locks and scratch-folder locks on POSIX systems: flock, which the
// system lets go of when the process ends, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/folders.h"
#include "base/ioerror.h"
#include "base/paths.h"
#include "base/scratch.h"
#include "base/sysfile.h"

namespace zantrel::sys {

// The folder itself is locked: no lock file to create in a folder that may be
// read-only, none to leave behind.
struct FolderLock::Held {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    bool Is(const struct stat& st) const { return st.st_dev == device && st.st_ino == inode; }
};

FolderLock::FolderLock() = default;
FolderLock::~FolderLock() { Release(); }

FolderLockResult FolderLock::Take(const std::string& folder, const FolderLock* beside) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FolderLockResult::Unlockable;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return FolderLockResult::Unlockable;
    }
    const bool ours = held_ && held_->Is(st);
    if (ours || (beside && beside->held_ && beside->held_->Is(st))) {
        // Already ours (this lock or the other): a second flock would
        // conflict with our own.
        ::close(fd);
        if (!ours)
            Release();
        return FolderLockResult::Taken;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? FolderLockResult::Held : FolderLockResult::Unlockable;
    }
    Release();
    held_ = std::make_unique<Held>(Held{fd, st.st_dev, st.st_ino});
    return FolderLockResult::Taken;
}

void FolderLock::Release() {
    if (held_)
        ::close(held_->fd);
    held_.reset();
}

bool IsOwnScratchFolder(const std::string& folder) {
    struct stat st {};
    // lstat: a link by the name is no folder of ours, and /tmp is shared.
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// The lock is held while the folder is removed.
ScratchLockState TakeScratchLockAndRemove(const std::string& folder) {
    const std::string lock = JoinPath(folder, ScratchLockName);
    const int fd = open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ScratchLockState::Missing : ScratchLockState::Kept;
    ScratchLockState state = ScratchLockState::Kept;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        RemoveFolderTree(folder);
        state = ScratchLockState::Removed;
    }
    close(fd);
    return state;
}

std::intptr_t HoldScratchLock(const std::string& lock) {
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
        throw IoError(IoCodeFromErrno(err), lock);
    }
    return fd;
}

void RemoveScratchFolder(const std::string& folder, std::intptr_t lock) {
    RemoveFolderTree(folder);
    close(static_cast<int>(lock));
}

} // namespace zantrel::sys
