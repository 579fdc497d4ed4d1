#include "base/binaryfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/sysfile.h"
#include "base/unicode.h"

namespace zantrel {

namespace fs = std::filesystem;
using sys::SeekTo;
using sys::StreamSize;
using sys::TellPosition;

namespace {

// stdio's own buffer, so that 4-byte reads and 64-byte writes stay cheap.
constexpr std::size_t StdioBufferSize = 64 * 1024;

} // namespace

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

std::FILE* OpenChecked(const std::string& path, const char* mode, FaultInjector::Op op,
                       std::int64_t* size = nullptr) {
    if (int err = CheckFault(op, path))
        throw IoError(IoCodeFromErrno(err), path);
    if (path.empty())
        throw IoError(IoFileNotFound, path);
    int code = 0;
    std::FILE* f = sys::OpenStream(path, mode, code);
    if (!f)
        throw IoError(code, path);
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

std::FILE* OpenForWriting(const std::string& path, bool exclusive) {
    if (int err = CheckFault(FaultInjector::Op::OpenWrite, path))
        ThrowCreateFailure(path, IoCodeFromErrno(err));
    if (path.empty())
        throw IoError(IoFileNotFound, path);
    int code = 0;
    std::FILE* f = sys::CreateStream(path, exclusive, code);
    if (!f)
        ThrowCreateFailure(path, code);
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

void BinaryFile::StartWriteback() {
    Flush();
    if (writable_)
        sys::StartWriteback(file_);
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

} // namespace zantrel
