#include "base/fileio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <thread>

#include "base/folders.h"
#include "base/paths.h"
#include "base/unicode.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zantrel {

namespace fs = std::filesystem;

namespace {

FaultInjector* g_injector = nullptr;

// stdio's own buffer, so that 4-byte reads and 64-byte writes stay cheap.
constexpr std::size_t StdioBufferSize = 64 * 1024;

} // namespace

IoError::IoError(int code, std::string path, Subject subject)
    : std::runtime_error(IoErrorText(code) + (path.empty() ? "" : ": " + ShownPath(path))),
      code_(code), path_(ShownPath(path)), subject_(subject) {}

namespace {

constexpr std::string_view TemporarySuffix = ".tmp~";
constexpr std::size_t TemporaryDigits = 16;
// "." + the digits + ".tmp~"
constexpr std::size_t TemporaryTail = 1 + TemporaryDigits + TemporarySuffix.size();

std::string RandomHex() {
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard<std::mutex> lock(mutex);
    char digits[TemporaryDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
    return digits;
}

} // namespace

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

int IoCodeFromErrorCode(const std::error_code& ec) {
#ifdef _WIN32
    if (ec.category() == std::system_category())
        return IoCodeFromWindowsError(static_cast<unsigned long>(ec.value()));
#endif
    return IoCodeFromErrno(ec.value());
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

// ---- BinaryFile ----

BinaryFile::BinaryFile(std::FILE* file, std::string path, int recordSize, bool writable,
                       std::int64_t size)
    : file_(file), buffer_(new char[StdioBufferSize]), path_(std::move(path)),
      recordSize_(recordSize), writable_(writable), size_(size) {
    std::setvbuf(file_, buffer_.get(), _IOFBF, StdioBufferSize);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : file_(other.file_), buffer_(std::move(other.buffer_)), path_(std::move(other.path_)),
      recordSize_(other.recordSize_), writable_(other.writable_), position_(other.position_),
      size_(other.size_) {
    other.file_ = nullptr;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
    if (this != &other) {
        if (file_)
            std::fclose(file_);
        file_ = other.file_;
        buffer_ = std::move(other.buffer_);
        path_ = std::move(other.path_);
        recordSize_ = other.recordSize_;
        writable_ = other.writable_;
        position_ = other.position_;
        size_ = other.size_;
        other.file_ = nullptr;
    }
    return *this;
}

// The buffer goes only after the stream that used it is closed.
BinaryFile::~BinaryFile() {
    if (file_)
        std::fclose(file_);
}

namespace {

// The size in bytes of an open stream's file (-1 when it cannot be asked);
// folder tells whether it is a folder.
std::int64_t StreamSize(std::FILE* f, bool* folder = nullptr) {
#ifdef _WIN32
    struct _stat64 st {};
    if (_fstat64(_fileno(f), &st) != 0)
        return -1;
#else
    struct stat st {};
    if (fstat(fileno(f), &st) != 0)
        return -1;
#endif
    if (folder)
        *folder = S_ISDIR(st.st_mode);
    return static_cast<std::int64_t>(st.st_size);
}

// 64-bit positions everywhere: damaged pointers make offsets past 2 GiB,
// which must fail as a read past the end, not as a bad seek.
int SeekTo(std::FILE* f, std::int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, offset, whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

std::int64_t TellPosition(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<std::int64_t>(ftello(f));
#endif
}

std::FILE* OpenChecked(const std::string& path, const char* mode, FaultInjector::Op op,
                       std::int64_t* size = nullptr) {
    if (int err = CheckFault(op, path))
        throw IoError(IoCodeFromErrno(err), path);
    if (path.empty())
        throw IoError(IoFileNotFound, path);
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    // The system's own error says more than errno ("Invalid filename" is not
    // "File not found"); cleared so that a stale one is never taken.
    _doserrno = 0;
    std::FILE* f = _wfopen(SystemPathFromUtf8(path).c_str(), wideMode.c_str());
    if (!f)
        throw IoError(_doserrno ? IoCodeFromWindowsError(_doserrno) : IoCodeFromErrno(errno), path);
#else
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (!f)
        throw IoError(IoCodeFromErrno(errno), path);
#endif
    // fopen succeeds on a folder for reading (opening one for writing fails
    // by itself); the program wants files only.
    if (size) {
        bool folder = false;
        const std::int64_t bytes = StreamSize(f, &folder);
        if (folder) {
            std::fclose(f);
            throw IoError(IoAccessDenied, path);
        }
        *size = bytes;
    }
    return f;
}

// Whether a file could not be made because of its folder: the name is free
// (nothing, not even a link, is there) yet creating it was refused or found
// no folder. The folder to name: the file's own when it refused (access
// denied), else the first one missing on the way (not found).
struct FolderFault {
    std::string folder;
    int code;
};
std::optional<FolderFault> FolderAtFault(const std::string& path, int code) {
    if (code != IoAccessDenied && code != IoFileNotFound)
        return std::nullopt;
    std::error_code ec;
    const fs::path file = PathFromUtf8(path);
    if (fs::symlink_status(file, ec).type() != fs::file_type::not_found)
        return std::nullopt;
    fs::path folder = file.parent_path();
    if (folder.empty())
        return std::nullopt;
    if (fs::is_directory(folder, ec)) {
        // A file missing from a folder that is there is not the folder's fault.
        if (code == IoFileNotFound)
            return std::nullopt;
        return FolderFault{Utf8FromPath(folder), IoAccessDenied};
    }
    while (folder.has_parent_path() && folder != folder.parent_path() &&
           !fs::is_directory(folder.parent_path(), ec))
        folder = folder.parent_path();
    return FolderFault{Utf8FromPath(folder), IoFileNotFound};
}

[[noreturn]] void ThrowCreateFailure(const std::string& path, int code) {
    if (auto fault = FolderAtFault(path, code))
        throw IoError(fault->code, fault->folder, IoError::Subject::Folder);
    throw IoError(code, path);
}

// Opens path for reading and writing, emptied. exclusive: the name must be
// free. Otherwise a link at the name is removed first, so that the file
// replaces it and nothing is written through it.
std::FILE* OpenForWriting(const std::string& path, bool exclusive) {
    if (int err = CheckFault(FaultInjector::Op::OpenWrite, path))
        ThrowCreateFailure(path, IoCodeFromErrno(err));
    if (path.empty())
        throw IoError(IoFileNotFound, path);
#ifdef _WIN32
    const std::wstring wide = SystemPathFromUtf8(path);
    if (!exclusive && IsLink(path))
        DeleteFileW(wide.c_str());
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        ThrowCreateFailure(path, IoCodeFromWindowsError(GetLastError()));
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
#else
    const int flags =
        O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | (exclusive ? O_EXCL : 0);
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == ELOOP && !exclusive && IsLink(path)) {
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0666);
    }
    if (fd < 0)
        ThrowCreateFailure(path, IoCodeFromErrno(errno));
    std::FILE* f = ::fdopen(fd, "w+b");
    if (!f) {
        const int err = errno;
        ::close(fd);
        throw IoError(IoCodeFromErrno(err), path);
    }
    return f;
#endif
}

} // namespace

BinaryFile BinaryFile::OpenRead(const std::string& path, int recordSize) {
    std::int64_t size = -1;
    std::FILE* f = OpenChecked(path, "rb", FaultInjector::Op::OpenRead, &size);
    return BinaryFile(f, path, recordSize, false, size);
}

BinaryFile BinaryFile::OpenUpdate(const std::string& path, int recordSize) {
    return BinaryFile(OpenChecked(path, "r+b", FaultInjector::Op::OpenWrite), path, recordSize,
                      true);
}

BinaryFile BinaryFile::Create(const std::string& path, int recordSize) {
    return BinaryFile(OpenForWriting(path, false), path, recordSize, true);
}

BinaryFile BinaryFile::CreateNew(const std::string& path, int recordSize) {
    return BinaryFile(OpenForWriting(path, true), path, recordSize, true);
}

std::optional<BinaryFile> BinaryFile::TryOpenRead(const std::string& path, int recordSize) {
    try {
        return OpenRead(path, recordSize);
    } catch (const IoError&) {
        return std::nullopt;
    }
}

void BinaryFile::Fail(int err) { throw IoError(IoCodeFromErrno(err ? err : EIO), path_); }

std::size_t BinaryFile::Read(std::span<std::uint8_t> into) {
    std::size_t want = into.size() - into.size() % static_cast<std::size_t>(recordSize_);
    if (want == 0)
        return 0;
    std::size_t got = std::fread(into.data(), 1, want, file_);
    if (got < want && std::ferror(file_)) {
        position_ = -1;
        Fail(errno);
    }
    std::size_t whole = got - got % static_cast<std::size_t>(recordSize_);
    if (whole != got) { // a partial record is not taken, nor left in the caller's buffer
        if (SeekTo(file_, -static_cast<std::int64_t>(got - whole), SEEK_CUR) != 0)
            position_ = -1;
        std::fill(into.begin() + static_cast<std::ptrdiff_t>(whole),
                  into.begin() + static_cast<std::ptrdiff_t>(got), std::uint8_t{0});
    }
    if (position_ >= 0)
        position_ += static_cast<std::int64_t>(whole);
    return whole;
}

void BinaryFile::ReadExact(std::span<std::uint8_t> into) {
    if (Read(into) != into.size())
        throw IoError(IoReadPastEnd, path_);
}

void BinaryFile::Write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return;
    if (!writable_)
        throw IoError(IoAccessDenied, path_);
    if (int err = CheckFault(FaultInjector::Op::Write, path_))
        Fail(err);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        position_ = -1;
        Fail(errno);
    }
    if (position_ >= 0)
        position_ += static_cast<std::int64_t>(bytes.size());
}

void BinaryFile::Write(std::string_view text) {
    Write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                        text.size()));
}

void BinaryFile::Seek(std::int64_t record) {
    if (record < 0)
        throw IoError(IoReadPastEnd, path_);
    const std::int64_t target = record * recordSize_;
    // stdio asks the system even for a seek inside its buffer. Only a file
    // that is just read may skip it: switching between reading and writing
    // needs the seek.
    if (!writable_ && target == position_)
        return;
    if (SeekTo(file_, target, SEEK_SET) != 0) {
        position_ = -1;
        Fail(errno);
    }
    position_ = target;
}

std::int64_t BinaryFile::Position() {
    if (position_ < 0) {
        const std::int64_t pos = TellPosition(file_);
        if (pos < 0)
            Fail(errno);
        position_ = pos;
    }
    return position_ / recordSize_;
}

std::int64_t BinaryFile::Size() {
    if (!writable_ && size_ >= 0)
        return size_ / recordSize_;
    // Buffered writes count too, so flush before asking the system.
    if (writable_ && std::fflush(file_) != 0)
        Fail(errno);
    const std::int64_t bytes = StreamSize(file_);
    if (bytes < 0)
        Fail(errno);
    return bytes / recordSize_;
}

bool BinaryFile::Eof() { return Position() >= Size(); }

void BinaryFile::Flush() {
    if (writable_ && std::fflush(file_) != 0)
        Fail(errno);
}

void BinaryFile::Close() {
    if (!file_)
        return;
    std::FILE* f = file_;
    file_ = nullptr;
    int flushErr = 0;
    if (writable_) {
        if (int err = CheckFault(FaultInjector::Op::Write, path_))
            flushErr = err;
        else if (std::fflush(f) != 0)
            flushErr = errno;
    }
    int closeRc = std::fclose(f);
    int closeErr = closeRc != 0 ? errno : 0;
    buffer_.reset();
    if (flushErr)
        Fail(flushErr);
    if (closeRc != 0)
        Fail(closeErr);
}

// ---- Read-ahead ----

std::size_t ReadAhead::Ensure(std::size_t n) {
    if (len_ - pos_ >= n || eof_)
        return len_ - pos_;
    std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
    len_ -= pos_;
    pos_ = 0;
    while (len_ < n && !eof_) {
        const std::size_t got = file_.Read(std::span(buf_.data() + len_, buf_.size() - len_));
        if (got == 0)
            eof_ = true;
        len_ += got;
    }
    return len_ - pos_;
}

// ---- Text files ----

TextReader::TextReader(BinaryFile file) : file_(std::move(file)), buf_(4096) {}

int TextReader::Peek() {
    if (pos_ == len_) {
        len_ = file_.Read(buf_);
        pos_ = 0;
        if (len_ == 0)
            return -1;
    }
    return buf_[pos_];
}

int TextReader::Get() {
    int c = Peek();
    if (c >= 0)
        ++pos_;
    return c;
}

bool TextReader::AtEnd() { return Peek() < 0; }

void TextReader::SkipLine() {
    for (;;) {
        int c = Get();
        if (c < 0 || c == '\n')
            return;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            return;
        }
    }
}

std::optional<std::int64_t> ParseIntegerToken(std::string_view token) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < token.size() && token[i] == '$') {
        base = 16;
        ++i;
    } else if (i < token.size() && (token[i] == 'x' || token[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < token.size() && token[i] == '0' &&
               (token[i + 1] == 'x' || token[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == token.size())
        return std::nullopt;
    std::uint64_t value = 0;
    for (; i < token.size(); ++i) {
        char c = token[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        // A 32-bit reader would refuse larger values; keep the same bound.
        if (value > (base == 16 ? 0xFFFFFFFFull : 0x80000000ull))
            return std::nullopt;
    }
    if (base == 10 && !negative && value > 0x7FFFFFFFull)
        return std::nullopt;
    std::int64_t v = static_cast<std::int64_t>(value);
    if (base == 16 && value > 0x7FFFFFFFull)
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return negative ? -v : v;
}

std::int64_t TextReader::ReadInteger() {
    int c = Peek();
    while (c >= 0 && c <= ' ') {
        Get();
        c = Peek();
    }
    if (c < 0)
        return 0;
    std::string token;
    while (c > ' ' && token.size() < 32) {
        token.push_back(static_cast<char>(Get()));
        c = Peek();
    }
    // A token longer than 32 characters leaves its tail unread; it is no number.
    bool overlong = c > ' ';
    SkipLine();
    auto value = overlong ? std::nullopt : ParseIntegerToken(token);
    if (!value)
        throw IoError(IoInvalidNumber, file_.Path());
    return *value;
}

std::optional<std::string> TextReader::ReadLine() {
    std::string line;
    bool overlong = false;
    for (;;) {
        int c = Get();
        if (c < 0 || c == '\n')
            break;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            break;
        }
        // The rest is read on to the line end, but not kept.
        if (line.size() < MaxTextLineLength)
            line.push_back(static_cast<char>(c));
        else
            overlong = true;
    }
    if (overlong)
        return std::nullopt;
    return line;
}

void TextWriter::WriteLine(std::string_view text) {
    file_.Write(text);
    file_.Write("\r\n");
}

// ---- Whole files ----

AtomicOutput::AtomicOutput(std::string target) : target_(std::move(target)) {
    // Refused before anything is written: the user made it read-only.
    if (IsReadOnlyFile(target_))
        throw IoError(IoAccessDenied, target_);
    temp_ = NewTemporaryPath(target_);
}

AtomicOutput::~AtomicOutput() {
    if (!done_)
        DeleteFileQuietly(temp_);
}

BinaryFile AtomicOutput::Create(int recordSize) {
    // The first opening makes the temporary; a later one empties our own file.
    if (!created_) {
        created_ = true;
        return BinaryFile::CreateNew(temp_, recordSize);
    }
    return BinaryFile::Create(temp_, recordSize);
}

void AtomicOutput::Commit() {
    // On the disk before its name: a power cut never leaves an empty target.
    FlushToDisk({temp_});
    RenameFile(temp_, target_);
    done_ = true;
    FlushFolder(ParentFolder(target_));
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    AtomicOutput output(path);
    BinaryFile file = output.Create();
    file.Write(bytes);
    file.Close();
    output.Commit();
}

void AtomicOutput::Discard() {
    DeleteFileQuietly(temp_);
    done_ = true;
}

std::string AtomicOutput::Release() {
    done_ = true;
    return temp_;
}

namespace {

#ifdef _WIN32
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
#endif

} // namespace

void RenameFile(const std::string& from, const std::string& to) {
    if (int err = CheckFault(FaultInjector::Op::Rename, to))
        throw IoError(IoCodeFromErrno(err), to);
#ifdef _WIN32
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
#else
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw IoError(IoCodeFromErrno(errno), to);
#endif
}

bool TryRenameFile(const std::string& from, const std::string& to) {
    try {
        RenameFile(from, to);
        return true;
    } catch (const IoError&) {
        return false;
    }
}

void DeleteFileChecked(const std::string& path) {
    if (int err = CheckFault(FaultInjector::Op::Remove, path))
        throw IoError(IoCodeFromErrno(err), path);
#ifdef _WIN32
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
#else
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec)
        throw IoError(IoCodeFromErrorCode(ec), path);
#endif
}

void DeleteFileQuietly(const std::string& path) {
    try {
        DeleteFileChecked(path);
    } catch (const IoError&) {
        // callers treat a leftover as harmless
    }
}

bool IsReadOnlyFile(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(SystemPathFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    std::error_code ec;
    const auto status = fs::status(path, ec);
    return !ec && fs::is_regular_file(status) &&
           (status.permissions() & fs::perms::owner_write) == fs::perms::none;
#endif
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(PathFromUtf8(path), ec);
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(PathFromUtf8(path), ec);
}

bool IsLink(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(SystemPathFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(PathFromUtf8(path), ec));
#endif
}

bool IsRealFolder(const std::string& path) { return !IsLink(path) && FolderExists(path); }

void CheckReplaceable(const std::string& path) {
    if (int err = CheckFault(FaultInjector::Op::OpenWrite, path))
        throw IoError(IoCodeFromErrno(err), path);
    std::error_code ec;
    if (fs::symlink_status(PathFromUtf8(path), ec).type() == fs::file_type::not_found)
        return;
    if (IsReadOnlyFile(path))
        throw IoError(IoAccessDenied, path);
#ifdef _WIN32
    // A rename over the file needs every handle on it to share deletion; a
    // viewer or an editor that holds it without doing so makes it fail.
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
#endif
}

int RemoveOwnTemporaries(const std::string& folder, std::string_view targetName) {
    const auto names = FolderEntries(folder);
    if (!names)
        return 0;
    int removed = 0;
    for (const std::string& name : *names) {
        bool ours = IsOwnTemporaryName(name);
        if (!targetName.empty())
            // Only this target's, and the fixed name earlier versions used.
            ours = (ours && name.size() == targetName.size() + TemporaryTail &&
                    name.starts_with(targetName)) ||
                   name == std::string(targetName) + std::string(TemporarySuffix);
        if (!ours)
            continue;
        std::error_code ec;
        const fs::path path = PathFromUtf8(JoinPath(folder, name));
        const fs::file_type type = fs::symlink_status(path, ec).type();
        if ((type == fs::file_type::regular || type == fs::file_type::symlink) &&
            fs::remove(path, ec))
            ++removed;
    }
    return removed;
}

void FlushToDisk(const std::vector<std::string>& paths) {
#ifdef _WIN32
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
#else
    // A flush costs a few milliseconds a file: thousands of icons go with one
    // flush of their file system instead.
    constexpr std::size_t FlushedOneByOne = 16;
    const bool whole = paths.size() > FlushedOneByOne;
    std::vector<dev_t> flushed;
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            throw IoError(IoCodeFromErrno(errno), path);
        struct stat st {};
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
#endif
}

void FlushFolder(const std::string& folder) {
#ifndef _WIN32
    // Windows renames with MOVEFILE_WRITE_THROUGH instead.
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
#else
    (void)folder;
#endif
}

#ifdef _WIN32
namespace {
// A handle that only asks about a file or folder (links followed), sharing
// everything, so no other program's work is disturbed.
HANDLE OpenToAsk(const std::string& path) {
    return CreateFileW(SystemPathFromUtf8(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}
} // namespace
#endif

std::optional<FileIdentity> IdentityOf(const std::string& path) {
#ifdef _WIN32
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
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
#endif
}

std::optional<std::string> ResolvedFolder(const std::string& folder) {
#ifdef _WIN32
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
#else
    char* resolved = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;
    std::string path(resolved);
    std::free(resolved);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return path;
#endif
}

namespace {

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Whether the folder's file system takes two spellings of a name for one
// file: a file of the program's own name (lower-case letters in it) is made
// and looked for under its upper-case spelling, then removed.
bool FolderIgnoresCase(const std::string& folder) {
#ifdef _WIN32
    (void)folder;
    return true;
#else
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
#endif
}

} // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const std::optional<FileIdentity> one = IdentityOf(a);
    const std::optional<FileIdentity> other = IdentityOf(b);
    if (one || other)
        return one == other;
    // Neither is there yet.
    const std::string folderA = ParentFolder(a);
    const std::string folderB = ParentFolder(b);
    const std::optional<FileIdentity> inA = IdentityOf(folderA);
    if (!inA || inA != IdentityOf(folderB))
        return false;
    const std::string nameA = FileNamePart(a);
    const std::string nameB = FileNamePart(b);
    if (nameA == nameB)
        return true;
    return UpperAscii(nameA) == UpperAscii(nameB) && FolderIgnoresCase(folderA);
}

std::int64_t FileSizeOf(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(PathFromUtf8(path), ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
}

std::string CreateTempFolder(std::string_view prefix) {
    std::error_code ec;
    const fs::path parent = fs::temp_directory_path(ec);
    if (ec)
        throw IoError(IoCodeFromErrorCode(ec), "");
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
        const fs::path folder = parent / PathFromUtf8(std::string(prefix) + "-" + suffix);
        // create_directory is false, without an error, when the name is taken.
        if (fs::create_directory(folder, ec))
            return Utf8FromPath(folder);
        if (ec)
            throw IoError(IoCodeFromErrorCode(ec), Utf8FromPath(folder));
    }
    throw IoError(IoAccessDenied, Utf8FromPath(parent));
}

} // namespace zantrel
