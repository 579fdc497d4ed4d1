// The file layer's system calls on Windows.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/fileops.h"
#include "base/paths.h"
#include "base/sysfile.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

// An image editor or a virus scanner may hold a file open for a moment:
// renames and deletes are tried again for about a second before they fail.
constexpr int BusyRetries = 10;
constexpr auto BusyPause = std::chrono::milliseconds(100);

bool IsBusy(DWORD err) {
    return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION ||
           err == ERROR_ACCESS_DENIED;
}

// Runs op until it succeeds or fails for a reason other than a busy file;
// returns 0 or the last Windows error.
template <typename Op> DWORD RetryWhileBusy(Op op) {
    for (int attempt = 1;; ++attempt) {
        if (op())
            return 0;
        const DWORD err = GetLastError();
        if (!IsBusy(err) || attempt == BusyRetries)
            return err;
        std::this_thread::sleep_for(BusyPause);
    }
}

// A handle that only asks about a file or folder (links followed), sharing
// everything, so no other program's work is disturbed.
HANDLE OpenToAsk(const std::string& path) {
    return CreateFileW(SystemPathFromUtf8(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

namespace sys {

std::int64_t StreamSize(std::FILE* f, bool* folder) {
    struct _stat64 st {};
    if (_fstat64(_fileno(f), &st) != 0)
        return -1;
    if (folder)
        *folder = (st.st_mode & _S_IFMT) == _S_IFDIR;
    return static_cast<std::int64_t>(st.st_size);
}

int SeekTo(std::FILE* f, std::int64_t offset, int whence) { return _fseeki64(f, offset, whence); }

std::int64_t TellPosition(std::FILE* f) { return _ftelli64(f); }

// Windows starts no write early on request; FlushFileBuffers at the end does it all.
void StartWriteback(std::FILE*) {}

std::FILE* OpenStream(const std::string& path, const char* mode, int& code) {
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    // The system's own error says more than errno ("Invalid filename" is not
    // "File not found"); cleared so that a stale one is never taken.
    _doserrno = 0;
    std::FILE* f = _wfopen(SystemPathFromUtf8(path).c_str(), wideMode.c_str());
    if (!f)
        code = _doserrno ? IoCodeFromWindowsError(_doserrno) : IoCodeFromErrno(errno);
    return f;
}

std::FILE* CreateStream(const std::string& path, bool exclusive, int& code) {
    const std::wstring wide = SystemPathFromUtf8(path);
    if (!exclusive && IsLink(path))
        DeleteFileW(wide.c_str());
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        code = IoCodeFromWindowsError(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        throw IoError(IoTooManyOpenFiles, path);
    }
    std::FILE* f = _fdopen(fd, "w+b");
    if (!f) {
        _close(fd);
        throw IoError(IoTooManyOpenFiles, path);
    }
    return f;
}

// A rename over the file needs every handle on it to share deletion; a
// viewer or an editor that holds it without doing so makes it fail.
void CheckNotHeld(const std::string& path) {
    const std::wstring wide = SystemPathFromUtf8(path);
    if (DWORD err = RetryWhileBusy([&] {
            const HANDLE handle =
                CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (handle == INVALID_HANDLE_VALUE)
                return false;
            CloseHandle(handle);
            return true;
        }))
        throw IoError(IoCodeFromWindowsError(err), path);
}

bool FolderIgnoresCase(const std::string&) { return true; }

} // namespace sys

int IoCodeFromErrorCode(const std::error_code& ec) {
    if (ec.category() == std::system_category())
        return IoCodeFromWindowsError(static_cast<unsigned long>(ec.value()));
    return IoCodeFromErrno(ec.value());
}

void RenameFile(const std::string& from, const std::string& to) {
    if (int err = CheckFault(FaultInjector::Op::Rename, to))
        throw IoError(IoCodeFromErrno(err), to);
    if (IsReadOnlyFile(to))
        throw IoError(IoAccessDenied, to);
    const std::wstring wideFrom = SystemPathFromUtf8(from);
    const std::wstring wideTo = SystemPathFromUtf8(to);
    // Plain rename() does not replace an existing target on Windows.
    if (DWORD err = RetryWhileBusy([&] {
            return MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }))
        throw IoError(IoCodeFromWindowsError(err), to);
}

void DeleteFileChecked(const std::string& path) {
    if (int err = CheckFault(FaultInjector::Op::Remove, path))
        throw IoError(IoCodeFromErrno(err), path);
    const std::wstring wide = SystemPathFromUtf8(path);
    if (DeleteFileW(wide.c_str()))
        return;
    DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return;
    // Elsewhere a file's write permission does not stop its deletion; the
    // program's own work files behave the same here.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (IsBusy(err))
        err = RetryWhileBusy([&] { return DeleteFileW(wide.c_str()) != 0; });
    if (err)
        throw IoError(IoCodeFromWindowsError(err), path);
}

bool IsReadOnlyFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(SystemPathFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(SystemPathFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void FlushToDisk(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const HANDLE handle =
            CreateFileW(SystemPathFromUtf8(path).c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            throw IoError(IoCodeFromWindowsError(GetLastError()), path);
        const bool flushed = FlushFileBuffers(handle) != 0;
        const DWORD err = GetLastError();
        CloseHandle(handle);
        if (!flushed)
            throw IoError(IoCodeFromWindowsError(err), path);
    }
}

// Renames write through (MOVEFILE_WRITE_THROUGH) instead.
void FlushFolder(const std::string&) {}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    const HANDLE handle = OpenToAsk(path);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::optional<std::string> ResolvedFolder(const std::string& folder) {
    const HANDLE handle = OpenToAsk(folder);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring final(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(
        handle, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (n == 0 || n >= final.size())
        return std::nullopt;
    final.resize(n);
    // The system's long-path prefix is not part of the name a person knows.
    if (final.starts_with(L"\\\\?\\UNC\\"))
        final = L"\\" + final.substr(7);
    else if (final.starts_with(L"\\\\?\\"))
        final = final.substr(4);
    return Utf8FromWide(final);
}

} // namespace zantrel
