// The one I/O error type of the program, its codes and texts; the names of
// the program's temporaries, which errors name by their targets; the seam
// through which tests fail the disk.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

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

} // namespace zantrel
