#include "base/ioerror.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>

#include "base/paths.h"
#include "base/temporaries.h"

namespace zantrel {

namespace {

FaultInjector* g_injector = nullptr;

std::string RandomHex() {
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard<std::mutex> lock(mutex);
    char digits[TemporaryDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
    return digits;
}

} // namespace

IoError::IoError(int code, std::string path, Subject subject)
    : std::runtime_error(IoErrorText(code) + (path.empty() ? "" : ": " + ShownPath(path))),
      code_(code), path_(ShownPath(path)), subject_(subject) {}

std::string NewTemporaryPath(const std::string& target) {
    return target + "." + RandomHex() + std::string(TemporarySuffix);
}

bool IsOwnTemporaryName(std::string_view name) {
    if (name.size() <= TemporaryTail || !name.ends_with(TemporarySuffix))
        return false;
    const std::size_t dot = name.size() - TemporaryTail;
    if (name[dot] != '.')
        return false;
    for (std::size_t i = dot + 1; i < dot + 1 + TemporaryDigits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])) ||
            std::isupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string ShownPath(std::string_view path) {
    std::size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1]))
        --start;
    if (IsOwnTemporaryName(path.substr(start)))
        return std::string(path.substr(0, path.size() - TemporaryTail));
    return std::string(path);
}

int IoCodeFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return IoFileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return IoInvalidFilename;
    case EMFILE:
    case ENFILE:
        return IoTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return IoAccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return IoDiskFull;
    default:
        return err;
    }
}

int IoCodeFromWindowsError(unsigned long err) {
    switch (err) {
    case 2:  // ERROR_FILE_NOT_FOUND
    case 3:  // ERROR_PATH_NOT_FOUND
    case 15: // ERROR_INVALID_DRIVE
    case 53: // ERROR_BAD_NETPATH
        return IoFileNotFound;
    case 123: // ERROR_INVALID_NAME
    case 161: // ERROR_BAD_PATHNAME
    case 206: // ERROR_FILENAME_EXCED_RANGE
    case 267: // ERROR_DIRECTORY
        return IoInvalidFilename;
    case 4: // ERROR_TOO_MANY_OPEN_FILES
        return IoTooManyOpenFiles;
    case 5:   // ERROR_ACCESS_DENIED
    case 19:  // ERROR_WRITE_PROTECT
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
    case 303: // ERROR_DELETE_PENDING
        return IoAccessDenied;
    case 38: // ERROR_HANDLE_EOF
        return IoReadPastEnd;
    case 39:  // ERROR_HANDLE_DISK_FULL
    case 112: // ERROR_DISK_FULL
        return IoDiskFull;
    default:
        return static_cast<int>(err);
    }
}

std::string IoErrorText(int code) {
    switch (code) {
    case IoFileNotFound:
        return "File not found";
    case IoInvalidFilename:
        return "Invalid filename";
    case IoTooManyOpenFiles:
        return "Too many open files";
    case IoAccessDenied:
        return "File access denied";
    case IoReadPastEnd:
        return "Read beyond end of file";
    case IoDiskFull:
        return "Disk full";
    case IoInvalidNumber:
        return "Invalid numeric input";
    default:
        return "I/O error " + std::to_string(code);
    }
}

std::string IoErrorMessage(int code) {
    std::string text = IoErrorText(code);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

void InstallFaultInjector(FaultInjector* injector) { g_injector = injector; }

int CheckFault(FaultInjector::Op op, const std::string& path) {
    if (!g_injector)
        return 0;
    // The editing commands read files on several threads at once.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    return g_injector->Check(op, path);
}

} // namespace zantrel
