// Buffered binary files counted in records, and a read-ahead window over one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/ioerror.h"

namespace zantrel {

// The block of a byte-for-byte comparison of two files (a work file with its
// original). Copies and checksums move larger blocks: see CopyFileRange.
inline constexpr std::size_t CopyBufferSize = 8192;

// A binary file opened with a record size of 1, 2 or 4 bytes. Positions and
// sizes count in records (a size drops any remainder); reads and writes move
// whole records. A short read is not an error. Buffered: many small reads or
// writes cost no system call each.
class BinaryFile {
public:
    static BinaryFile OpenRead(const std::string& path, int recordSize = 1);
    static BinaryFile OpenUpdate(const std::string& path, int recordSize = 1);
    // Creates or empties a file. A symbolic link at the name is replaced by
    // the file, never written through.
    static BinaryFile Create(const std::string& path, int recordSize = 1);
    // Creates a file that must not exist yet (nor any link at its name).
    static BinaryFile CreateNew(const std::string& path, int recordSize = 1);
    // Tested open: no error, just nothing when the file cannot be opened.
    static std::optional<BinaryFile> TryOpenRead(const std::string& path, int recordSize = 1);

    BinaryFile(BinaryFile&&) noexcept;
    BinaryFile& operator=(BinaryFile&&) noexcept;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    ~BinaryFile(); // closes quietly; never throws

    // Reads up to into.size() bytes, whole records only; returns the bytes read.
    std::size_t Read(std::span<std::uint8_t> into);
    // Reads exactly into.size() bytes or throws IoError 100.
    void ReadExact(std::span<std::uint8_t> into);
    void Write(std::span<const std::uint8_t> bytes);
    void Write(std::string_view text);
    void Seek(std::int64_t record);
    std::int64_t Position();
    std::int64_t Size();
    bool Eof();
    void Flush();
    // Flushes, and starts the bytes on their way to the disk without waiting:
    // a flush of many files at the end of a step then waits far less.
    void StartWriteback();
    void Close(); // reports a failed flush
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }
    int RecordSize() const { return recordSize_; }

private:
    BinaryFile(std::FILE* file, std::string path, int recordSize, bool writable,
               std::int64_t size = -1);
    void Fail(int err);
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::string path_;
    int recordSize_ = 1;
    bool writable_ = false;
    // Kept by the class so that asking costs no system call: the position in
    // bytes (-1 when not known), and the size in bytes of a file opened only
    // for reading, taken when it was opened (-1 when not known).
    std::int64_t position_ = 0;
    std::int64_t size_ = -1;
};

// A window of read-ahead over a file, for parsers that look at a record or a
// line in place before they move past it. One large read fills it at a time.
class ReadAhead {
public:
    // capacity must exceed the largest window a caller asks Ensure for.
    ReadAhead(BinaryFile& file, std::size_t capacity) : file_(file), buf_(capacity) {}
    // Makes at least n bytes available from Data() unless the file ends
    // first; returns how many are available.
    std::size_t Ensure(std::size_t n);
    const std::uint8_t* Data() const { return buf_.data() + pos_; }
    void Skip(std::size_t n) { pos_ += n; }
    bool AtEnd() { return Ensure(1) == 0; }

private:
    BinaryFile& file_;
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool eof_ = false;
};

} // namespace zantrel
