#include "base/scratch.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "base/fileops.h"
#include "base/folders.h"
#include "base/ioerror.h"
#include "base/paths.h"
#include "base/sysfile.h"
#include "base/unicode.h"

namespace zantrel {

namespace fs = std::filesystem;

namespace {

// A folder without a lock file is taken for a live run's only this long: the
// run locks its folder at once after making it.
constexpr auto LocklessGrace = std::chrono::hours(1);

bool IsScratchName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + 17 || name.substr(0, prefix.size()) != prefix ||
        name[prefix.size()] != '-')
        return false;
    for (char c : name.substr(prefix.size() + 1))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool UnchangedForLong(const std::string& folder) {
    std::error_code ec;
    const auto changed = fs::last_write_time(PathFromUtf8(folder), ec);
    return !ec && fs::file_time_type::clock::now() - changed > LocklessGrace;
}

} // namespace

void RemoveStaleScratchFolders(const std::string& parent, std::string_view prefix) {
    const auto names = FolderEntries(parent);
    if (!names)
        return;
    for (const std::string& name : *names) {
        if (!IsScratchName(name, prefix))
            continue;
        const std::string folder = JoinPath(parent, name);
        if (sys::IsOwnScratchFolder(folder) &&
            sys::TakeScratchLockAndRemove(folder) == sys::ScratchLockState::Missing &&
            UnchangedForLong(folder))
            RemoveFolderTree(folder);
    }
}

ScratchFolder::ScratchFolder(std::string_view prefix) {
    std::error_code ec;
    std::string parent = Utf8FromPath(fs::temp_directory_path(ec));
    // Its trailing separator off ("C:\Users\me\Temp\"), a drive's root's kept.
    while (parent.size() > 1 && IsPathSeparator(parent.back()) && parent[parent.size() - 2] != ':')
        parent.pop_back();
    if (!ec)
        RemoveStaleScratchFolders(parent, prefix);
    path_ = CreateTempFolder(prefix);
    try {
        lock_ = sys::HoldScratchLock(JoinPath(path_, ScratchLockName));
    } catch (const IoError&) {
        RemoveFolderTree(path_);
        throw;
    }
}

ScratchFolder::~ScratchFolder() { sys::RemoveScratchFolder(path_, lock_); }

} // namespace zantrel
