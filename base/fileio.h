// Files for the whole program: the one I/O error type, buffered binary files
// counted in records, the text-file rules of the settings and session files,
// and outputs that appear at their target only once complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace zantrel {

// A failed file operation. Code() is the number the user sees: 2 not found,
// 3 bad name, 4 too many open files, 5 access denied, 100 read past end,
// 101 disk full, 106 bad number; any other value is the system's own.
// Path() is the person's own file: a temporary is named by its target.
// A folder failure means a file could not be made because of Path(), a
// folder: it cannot be written (access denied) or is not there (not found).
class IoError : public std::runtime_error {
public:
    enum class Subject { File, Folder };
    IoError(int code, std::string path, Subject subject = Subject::File);
    int Code() const noexcept { return code_; }
    const std::string& Path() const noexcept { return path_; }
    bool AboutFolder() const noexcept { return subject_ == Subject::Folder; }
    // What the failure meant ("Nothing was ported."), added by the code that
    // knows, each note after the ones before; empty when none.
    const std::string& Note() const noexcept { return note_; }
    IoError& WithNote(const std::string& note) {
        note_ += (note_.empty() ? "" : " ") + note;
        return *this;
    }

private:
    int code_;
    std::string path_;
    Subject subject_;
    std::string note_;
};

inline constexpr int IoFileNotFound = 2;
inline constexpr int IoInvalidFilename = 3;
inline constexpr int IoTooManyOpenFiles = 4;
inline constexpr int IoAccessDenied = 5;
inline constexpr int IoReadPastEnd = 100;
inline constexpr int IoDiskFull = 101;
inline constexpr int IoInvalidNumber = 106;

int IoCodeFromErrno(int err);
// The same table for Windows' error codes (GetLastError).
int IoCodeFromWindowsError(unsigned long err);
// A std::filesystem error, whichever table its value comes from.
int IoCodeFromErrorCode(const std::error_code& ec);
// "File not found", ..., "I/O error 32": the bare text for a code.
std::string IoErrorText(int code);
// The text as the error box shows it: "." is added when the last character
// sorts after ".".
std::string IoErrorMessage(int code);

// The block of a byte-for-byte comparison of two files (a work file with its
// original). Copies and checksums move larger blocks: see CopyFileRange.
inline constexpr std::size_t CopyBufferSize = 8192;

// Temporaries are named "<target's name>.<16 hex digits>.tmp~": nobody can
// place anything at such a name beforehand, and the pattern tells the
// program's own leftovers from anyone else's files.
std::string NewTemporaryPath(const std::string& target);
bool IsOwnTemporaryName(std::string_view fileName);
// The path a person knows: a temporary's target, any other path as it is.
std::string ShownPath(std::string_view path);

// Test seam for failing disks: every open, write, flush, rename and checked
// deletion of the file layer asks it first. Null in normal runs.
struct FaultInjector {
    virtual ~FaultInjector() = default;
    enum class Op { OpenRead, OpenWrite, Write, Rename, Remove };
    // Returns an errno value to fail the operation with, or 0 to let it run.
    virtual int Check(Op op, const std::string& path) = 0;
};
void InstallFaultInjector(FaultInjector* injector);
int CheckFault(FaultInjector::Op op, const std::string& path);

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

// Longer than any path a system takes.
inline constexpr std::size_t MaxTextLineLength = 32 * 1024;

// Reads a text file by the Conventions: integers as whitespace-delimited
// tokens (then the rest of the line is skipped), strings as whole lines.
// Lines end in CR LF; a lone CR or LF is taken as a line end too.
class TextReader {
public:
    explicit TextReader(BinaryFile file);
    // Skips characters at or below space, takes up to 32 characters as a
    // signed number (decimal, or hex after "$", "x" or "0x") and skips the
    // rest of the line. End of file before a token gives 0; a bad token
    // throws IoError 106 (the rest of its line is skipped first).
    std::int64_t ReadInteger();
    // Everything up to the line end, which is consumed; nullopt for a line
    // longer than MaxTextLineLength, which only a damaged file holds.
    std::optional<std::string> ReadLine();
    bool AtEnd();
    void Close() { file_.Close(); }

private:
    int Peek();
    int Get();
    void SkipLine();
    BinaryFile file_;
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
};

// Parses a number token as the text reader does; nullopt when it is not one.
std::optional<std::int64_t> ParseIntegerToken(std::string_view token);

class TextWriter {
public:
    explicit TextWriter(BinaryFile file) : file_(std::move(file)) {}
    void Write(std::string_view text) { file_.Write(text); }
    void WriteInteger(std::int64_t value) { file_.Write(std::to_string(value)); }
    void WriteLine(std::string_view text);
    void EndLine() { file_.Write("\r\n"); }
    void Close() { file_.Close(); }

private:
    BinaryFile file_;
};

// An output written to a temporary file beside its target and renamed into
// place by Commit(); destroyed uncommitted, the temporary is removed, so a
// failure never leaves a half-written file at the target. The temporary is
// made at construction, under a new name, so nothing placed beforehand is
// written through.
class AtomicOutput {
public:
    explicit AtomicOutput(std::string target);
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;
    ~AtomicOutput();
    const std::string& TempPath() const { return temp_; }
    const std::string& Target() const { return target_; }
    // The temporary, emptied, for writing.
    BinaryFile Create(int recordSize = 1);
    void Commit();
    void Discard();
    // Leaves the temporary to the caller (a commit of several files).
    std::string Release();

private:
    std::string target_;
    std::string temp_;
    bool created_ = false;
    bool done_ = false;
};

// bytes written as the whole file at path through an AtomicOutput: the file
// is all of them or what it was. Throws IoError.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

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
// Removes the program's own leftover temporaries directly inside folder
// (never a folder, never through a link); only those of target's name when
// one is given. Returns how many went.
int RemoveOwnTemporaries(const std::string& folder, std::string_view targetName = {});
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
