// Files and folders as wholes: checked renames and deletions, what is at a
// name, flushes to the disk, and whether two names are one file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ioerror.h"

namespace zantrel {

// Checked rename over an existing target. On Windows a read-only target is
// refused at once, and a file another program holds open is tried again for
// about a second (so is a deletion).
void RenameFile(const std::string& from, const std::string& to);
// Tested rename: false when it failed.
bool TryRenameFile(const std::string& from, const std::string& to);
// Checked deletion; a file that is not there is no error.
void DeleteFileChecked(const std::string& path);
// Ignored deletion.
void DeleteFileQuietly(const std::string& path);
// A file without write permission (the read-only attribute on Windows).
bool IsReadOnlyFile(const std::string& path);
// Throws IoError naming path when an existing file there could not be
// replaced now: read-only, or held open by a program that does not share it
// for deletion (Windows). A missing file can always be replaced.
void CheckReplaceable(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// A symbolic link (or, on Windows, any reparse point: a junction too) at
// path, whatever it points to.
bool IsLink(const std::string& path);
// A folder that is not reached through a link at its own name.
bool IsRealFolder(const std::string& path);
// Size in bytes, or -1 when the file cannot be examined.
std::int64_t FileSizeOf(const std::string& path);

// Puts the files' contents on the disk itself, so that a power cut after a
// rename cannot leave the renamed file empty. Throws IoError. A large set is
// flushed with one call per file system where the system has one.
void FlushToDisk(const std::vector<std::string>& paths);
// Puts a folder's entries (the renames into it) on the disk; where the
// system cannot, nothing happens. Never throws.
void FlushFolder(const std::string& folder);

// What a file is to the file system, whatever its name: two names with one
// identity are one file (a hard link, a link, another spelling of the name on
// a disk that ignores letter case).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file or folder at path, links followed; nullopt when
// nothing is there or it cannot be examined.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The folder's own path as the system resolves it: absolute, links and "."
// and ".." resolved; nullopt when it cannot be resolved (missing).
std::optional<std::string> ResolvedFolder(const std::string& folder);
// Whether two paths name one file as the file system sees them: by identity
// where both exist; otherwise by their folders' identity and their names,
// without regard to letter case where the folder's file system ignores it
// (always on Windows; on another system, as a probe file in it shows).
bool SameFile(const std::string& a, const std::string& b);
// A new empty folder under the system's temporary folder, named prefix and
// a random suffix; returns its path.
std::string CreateTempFolder(std::string_view prefix);

} // namespace zantrel
