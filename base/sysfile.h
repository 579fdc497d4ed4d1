// What the file layer asks of the system, once for POSIX (posix/) and once
// for Windows (windows/): the shared code above it holds no system's calls.
// Internal to base/.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/folderlock.h"

namespace zantrel::sys {

// The size in bytes of an open stream's file (-1 when it cannot be asked);
// folder, when given, tells whether it is a folder.
std::int64_t StreamSize(std::FILE* f, bool* folder = nullptr);
// 64-bit positions everywhere: damaged pointers make offsets past 2 GiB,
// which must fail as a read past the end, not as a bad seek.
int SeekTo(std::FILE* f, std::int64_t offset, int whence);
std::int64_t TellPosition(std::FILE* f);
// Starts writing an open stream's file to the disk without waiting for it
// (where the system can); a later flush then finds most of the work done.
void StartWriteback(std::FILE* f);

// fopen of a UTF-8 path; nullptr and the program's error code in code when
// it fails.
std::FILE* OpenStream(const std::string& path, const char* mode, int& code);
// A file opened for reading and writing, emptied. exclusive: the name must
// be free. Otherwise a link at the name is removed first, so that the file
// replaces it and nothing is written through it. nullptr and the error code
// in code when it cannot be made; throws IoError when it was made but
// cannot be used.
std::FILE* CreateStream(const std::string& path, bool exclusive, int& code);

// Throws IoError naming path when a program holds the existing file open
// without sharing its deletion, so that a rename over it would fail.
void CheckNotHeld(const std::string& path);

// Whether the folder's file system takes two spellings of a name for one file.
// Only ASCII letters count (UpperAscii): those are the ones every system
// folds alike.
bool FolderIgnoresCase(const std::string& folder);

// A folder's lock for the life of the process (the folder's own flock on
// POSIX; a named object on Windows), one per folder however it is spelt.
class FolderLock {
public:
    FolderLock();
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Taken when this lock or beside already holds the folder.
    FolderLockResult Take(const std::string& folder, const FolderLock* beside);
    void Release();

private:
    struct Held;
    std::unique_ptr<Held> held_;
};

// A scratch folder's lock file, held open while its run lives.
enum class ScratchLockState { Removed, Missing, Kept };
// A folder of this user's, not a link: the temporary folder is shared.
bool IsOwnScratchFolder(const std::string& folder);
// Takes the folder's lock and removes the folder; Missing when it holds no
// lock file, Kept when another run holds it.
ScratchLockState TakeScratchLockAndRemove(const std::string& folder);
// Makes the lock file and holds it; throws IoError naming it.
std::intptr_t HoldScratchLock(const std::string& lock);
// Lets go of the lock and removes the folder, in the order the system needs.
void RemoveScratchFolder(const std::string& folder, std::intptr_t lock);

} // namespace zantrel::sys
