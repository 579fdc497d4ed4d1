#include "base/fileops.h"

#include <filesystem>
#include <random>

#include "base/paths.h"
#include "base/sysfile.h"
#include "base/unicode.h"

namespace zantrel {

namespace fs = std::filesystem;

bool TryRenameFile(const std::string& from, const std::string& to) {
    try {
        RenameFile(from, to);
        return true;
    } catch (const IoError&) {
        return false;
    }
}

void DeleteFileQuietly(const std::string& path) {
    try {
        DeleteFileChecked(path);
    } catch (const IoError&) {
        // callers treat a leftover as harmless
    }
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(PathFromUtf8(path), ec);
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(PathFromUtf8(path), ec);
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
    sys::CheckNotHeld(path);
}

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
    return UpperAscii(nameA) == UpperAscii(nameB) && sys::FolderIgnoresCase(folderA);
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
