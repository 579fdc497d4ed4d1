#include "base/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zantrel {

namespace fs = std::filesystem;

namespace {

FaultInjector* g_injector = nullptr;

// stdio's own buffer, so that 4-byte reads and 64-byte writes stay cheap.
constexpr std::size_t StdioBufferSize = 64 * 1024;

// Buffers of closed files, kept for the next ones: a decompilation opens
// hundreds of small files, and a fresh 64 KiB each would be handed back to
// the system and faulted in again every time. Plain pointers in static
// storage: nothing to destroy at exit, and never an allocation on release.
constexpr std::size_t SpareBufferLimit = 4;
std::mutex g_spareMutex;
char* g_spareBuffers[SpareBufferLimit] = {};
std::size_t g_spareCount = 0;

std::unique_ptr<char[]> TakeBuffer() {
    {
        std::lock_guard<std::mutex> lock(g_spareMutex);
        if (g_spareCount > 0)
            return std::unique_ptr<char[]>(g_spareBuffers[--g_spareCount]);
    }
    return std::unique_ptr<char[]>(new char[StdioBufferSize]);
}

// Only once the stream that used it is closed.
void GiveBackBuffer(std::unique_ptr<char[]> buffer) noexcept {
    if (!buffer)
        return;
    std::lock_guard<std::mutex> lock(g_spareMutex);
    if (g_spareCount < SpareBufferLimit)
        g_spareBuffers[g_spareCount++] = buffer.release();
}

} // namespace

IoError::IoError(int code, std::string path)
    : std::runtime_error(IoErrorText(code) + (path.empty() ? "" : ": " + path)), code_(code),
      path_(std::move(path)) {}

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
    case EDQUOT:
    case EFBIG:
        return IoDiskFull;
    default:
        return err;
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
    return g_injector ? g_injector->Check(op, path) : 0;
}

// ---- BinaryFile ----

BinaryFile::BinaryFile(std::FILE* file, std::string path, int recordSize, bool writable,
                       std::int64_t size)
    : file_(file), buffer_(TakeBuffer()), path_(std::move(path)), recordSize_(recordSize),
      writable_(writable), size_(size) {
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
        GiveBackBuffer(std::move(buffer_));
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

BinaryFile::~BinaryFile() {
    if (file_)
        std::fclose(file_);
    GiveBackBuffer(std::move(buffer_));
}

namespace {

std::FILE* OpenChecked(const std::string& path, const char* mode, FaultInjector::Op op,
                       std::int64_t* size = nullptr) {
    if (int err = CheckFault(op, path))
        throw IoError(IoCodeFromErrno(err), path);
    if (path.empty())
        throw IoError(IoFileNotFound, path);
    std::FILE* f = std::fopen(path.c_str(), mode);
    if (!f)
        throw IoError(IoCodeFromErrno(errno), path);
    // fopen succeeds on a folder for reading (opening one for writing fails
    // by itself); the program wants files only.
    if (size) {
        struct stat st {};
        if (fstat(fileno(f), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                std::fclose(f);
                throw IoError(IoAccessDenied, path);
            }
            *size = static_cast<std::int64_t>(st.st_size);
        }
    }
    return f;
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
    return BinaryFile(OpenChecked(path, "w+b", FaultInjector::Op::OpenWrite), path, recordSize,
                      true);
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
        if (std::fseek(file_, -static_cast<long>(got - whole), SEEK_CUR) != 0)
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
    if (fseeko(file_, static_cast<off_t>(target), SEEK_SET) != 0) {
        position_ = -1;
        Fail(errno);
    }
    position_ = target;
}

std::int64_t BinaryFile::Position() {
    if (position_ < 0) {
        off_t pos = ftello(file_);
        if (pos < 0)
            Fail(errno);
        position_ = static_cast<std::int64_t>(pos);
    }
    return position_ / recordSize_;
}

std::int64_t BinaryFile::Size() {
    if (!writable_ && size_ >= 0)
        return size_ / recordSize_;
    // Buffered writes count too, so flush before asking the system.
    if (writable_ && std::fflush(file_) != 0)
        Fail(errno);
    struct stat st {};
    if (fstat(fileno(file_), &st) != 0)
        Fail(errno);
    return static_cast<std::int64_t>(st.st_size) / recordSize_;
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
    GiveBackBuffer(std::move(buffer_));
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

std::string TextReader::ReadLine() {
    std::string line;
    for (;;) {
        int c = Get();
        if (c < 0 || c == '\n')
            break;
        if (c == '\r') {
            if (Peek() == '\n')
                Get();
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return line;
}

void TextWriter::WriteLine(std::string_view text) {
    file_.Write(text);
    file_.Write("\r\n");
}

// ---- Whole files ----

AtomicOutput::AtomicOutput(std::string target) : target_(std::move(target)) {
    temp_ = target_ + ".tmp~";
}

AtomicOutput::~AtomicOutput() {
    if (!done_)
        DeleteFileQuietly(temp_);
}

void AtomicOutput::Commit() {
    RenameFile(temp_, target_);
    done_ = true;
}

void AtomicOutput::Discard() {
    DeleteFileQuietly(temp_);
    done_ = true;
}

void RenameFile(const std::string& from, const std::string& to) {
    if (int err = CheckFault(FaultInjector::Op::Rename, to))
        throw IoError(IoCodeFromErrno(err), to);
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw IoError(IoCodeFromErrno(errno), to);
}

bool TryRenameFile(const std::string& from, const std::string& to) {
    try {
        RenameFile(from, to);
        return true;
    } catch (const IoError&) {
        return false;
    }
}

void DeleteFileQuietly(const std::string& path) {
    std::error_code ignored; // callers treat a leftover as harmless
    fs::remove(path, ignored);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::int64_t FileSizeOf(const std::string& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
}

} // namespace zantrel
