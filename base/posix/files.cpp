// The file layer's system calls on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "base/fileops.h"
#include "base/paths.h"
#include "base/sysfile.h"
#include "base/unicode.h"

namespace zantrel {

namespace fs = std::filesystem;

namespace sys {

std::int64_t StreamSize(std::FILE* f, bool* folder) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0)
        return -1;
    if (folder)
        *folder = S_ISDIR(st.st_mode);
    return static_cast<std::int64_t>(st.st_size);
}

int SeekTo(std::FILE* f, std::int64_t offset, int whence) {
    return fseeko(f, static_cast<off_t>(offset), whence);
}

std::int64_t TellPosition(std::FILE* f) { return static_cast<std::int64_t>(ftello(f)); }

void StartWriteback(std::FILE* f) {
#ifdef __linux__
    // Only a hint: the flush before the journal says "prepared" still waits.
    ::sync_file_range(fileno(f), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)f;
#endif
}

std::FILE* OpenStream(const std::string& path, const char* mode, int& code) {
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (!f)
        code = IoCodeFromErrno(errno);
    return f;
}

std::FILE* CreateStream(const std::string& path, bool exclusive, int& code) {
    const int flags =
        O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | (exclusive ? O_EXCL : 0);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == ELOOP && !exclusive && IsLink(path)) {
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0666);
    }
    if (fd < 0) {
        code = IoCodeFromErrno(errno);
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, "w+b");
    if (!f) {
        const int err = errno;
        ::close(fd);
        throw IoError(IoCodeFromErrno(err), path);
    }
    return f;
}

// Nothing holds a file against a rename here.
void CheckNotHeld(const std::string&) {}

// A file of the program's own name (lower-case letters in it) is made and
// looked for under its upper-case spelling, then removed.
bool FolderIgnoresCase(const std::string& folder) {
    const std::string probe = NewTemporaryPath(JoinPath(folder, "zantrel-case"));
    const int fd =
        ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    const std::optional<FileIdentity> own = IdentityOf(probe);
    const std::optional<FileIdentity> other =
        IdentityOf(JoinPath(folder, UpperAscii(FileNamePart(probe))));
    ::unlink(probe.c_str());
    return own && own == other;
}

} // namespace sys

int IoCodeFromErrorCode(const std::error_code& ec) { return IoCodeFromErrno(ec.value()); }

void RenameFile(const std::string& from, const std::string& to) {
    if (int err = CheckFault(FaultInjector::Op::Rename, to))
        throw IoError(IoCodeFromErrno(err), to);
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw IoError(IoCodeFromErrno(errno), to);
}

void DeleteFileChecked(const std::string& path) {
    if (int err = CheckFault(FaultInjector::Op::Remove, path))
        throw IoError(IoCodeFromErrno(err), path);
    std::error_code ec;
    fs::remove(path, ec);
    if (ec)
        throw IoError(IoCodeFromErrorCode(ec), path);
}

bool IsReadOnlyFile(const std::string& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    return !ec && fs::is_regular_file(status) &&
           (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool IsLink(const std::string& path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(PathFromUtf8(path), ec));
}

void FlushToDisk(const std::vector<std::string>& paths) {
    // A flush costs a few milliseconds a file: thousands of icons go with one
    // flush of their file system instead.
    constexpr std::size_t FlushedOneByOne = 16;
    const bool whole = paths.size() > FlushedOneByOne;
    std::vector<dev_t> flushed;
    for (const std::string& path : paths) {
        // Of thousands, only the first on each file system is opened.
        struct stat st {};
        if (whole && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            std::find(flushed.begin(), flushed.end(), st.st_dev) != flushed.end())
            continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            throw IoError(IoCodeFromErrno(errno), path);
        int rc = 0;
        if (!whole) {
            rc = ::fsync(fd);
        } else if (::fstat(fd, &st) == 0 &&
                   std::find(flushed.begin(), flushed.end(), st.st_dev) == flushed.end()) {
            flushed.push_back(st.st_dev);
            rc = ::syncfs(fd);
        }
        const int err = errno;
        ::close(fd);
        if (rc != 0)
            throw IoError(IoCodeFromErrno(err), path);
    }
}

void FlushFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<std::string> ResolvedFolder(const std::string& folder) {
    char* resolved = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;
    std::string path(resolved);
    std::free(resolved);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return path;
}

} // namespace zantrel
