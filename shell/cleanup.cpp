#include "shell/cleanup.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "base/fileio.h"
#include "base/folders.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "drm/drmpack.h"

#include "shell/history.h"
#include "shell/state.h"

namespace zantrel {

namespace {

namespace fs = std::filesystem;

// Pictures are numbered 1 to R, icons after them: the icons folder holds
// numbers up to twice the most a DRM may list of either.
inline constexpr long HighestPictureNumber = MaxDrmItems;
inline constexpr long HighestItemNumber = 2 * MaxDrmItems;
inline constexpr int HighestCleanedCodeGroup = 18;

fs::file_type EntryType(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(PathFromUtf8(path), ec).type();
}

// A numbered file counts as present when something other than a folder is
// at its name; a link there is removed as a link.
bool RemoveIfPresent(const std::string& path) {
    const fs::file_type type = EntryType(path);
    if (type == fs::file_type::not_found || type == fs::file_type::directory)
        return false;
    DeleteFileQuietly(path);
    return true;
}

// Whether the clean-up may go into folder: a link found where a work folder
// belongs is removed as a link, and nothing behind it is touched.
bool Enter(const std::string& folder) {
    if (IsLink(folder)) {
        DeleteFileQuietly(folder);
        std::error_code ignored; // a link to a folder is a directory entry on Windows
        fs::remove(PathFromUtf8(folder), ignored);
        return false;
    }
    return FolderExists(folder);
}

// Leftovers of the program's own writers: temporaries of any age.
void RemoveTemporaries(const std::string& folder) {
    if (IsRealFolder(folder))
        RemoveOwnTemporaries(folder);
}

// pictures: the raw pictures found, whose BMP copies are missing when
// conversion was off; only a gap after them ends the loop.
void CleanIcons(const std::string& iconsDir, long pictures) {
    for (long n = 1; n <= HighestItemNumber; ++n) {
        if (!RemoveIfPresent(JoinPath(iconsDir, NumberedFileName(n, ".gif"))) &&
            !RemoveIfPresent(JoinPath(iconsDir, NumberedFileName(n, ".bmp"))) && n > pictures)
            break;
    }
}

// The number of raw pictures removed.
long CleanRaws(const std::string& raws) {
    long n = 1;
    while (n <= HighestPictureNumber &&
           RemoveIfPresent(JoinPath(raws, NumberedFileName(n, ".raw"))))
        ++n;
    return n - 1;
}

void CleanBranch(const std::string& binaryDir, const std::string& drmpackDir,
                 const std::string& iconsDir, bool firstImage) {
    if (!Enter(binaryDir))
        return;
    if (Enter(drmpackDir)) {
        const std::string raws = JoinPath(drmpackDir, RawsFolderName);
        long pictures = 0;
        if (Enter(raws)) {
            pictures = CleanRaws(raws);
            RemoveTemporaries(raws);
        }
        if (Enter(iconsDir)) {
            CleanIcons(iconsDir, pictures);
            if (firstImage)
                RemoveIfPresent(JoinPath(iconsDir, ThumbsFileName));
            RemoveTemporaries(iconsDir);
        }
        for (auto name : {StartFileName, OffFileName, TrailFileName, DescrFileName, NewOffFileName,
                          RawOffFileName})
            RemoveIfPresent(JoinPath(drmpackDir, name));
        if (firstImage)
            RemoveIfPresent(JoinPath(drmpackDir, TempRawFileName));
        RemoveTemporaries(drmpackDir);
    }
    RemoveIfPresent(JoinPath(binaryDir, RamdldFileName));
    RemoveIfPresent(JoinPath(binaryDir, HeaderFileName));
    // The readers' scratch file of earlier versions.
    RemoveIfPresent(JoinPath(binaryDir, ScratchFileName));
    if (firstImage)
        RemoveIfPresent(JoinPath(binaryDir, FlashPathsFileName));
    for (int n = 0; n <= HighestCleanedCodeGroup; ++n)
        RemoveIfPresent(JoinPath(binaryDir, CodeGroupFileName(n)));
    RemoveTemporaries(binaryDir);
}

void RemoveFolderIfEmpty(const std::string& path) {
    // Removing a folder fails while it holds anything: one that still holds
    // files stays, by design. (Not is_empty: it cannot list a folder whose
    // path passes 260 characters on Windows.)
    if (!IsRealFolder(path))
        return;
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(path), ignored);
}

void RemoveEmptyTree() {
    const SharedState& s = State();
    for (const std::string& folder :
         {s.icons1Dir, s.icons2Dir, JoinPath(s.drmpack1Dir, RawsFolderName),
          JoinPath(s.drmpack2Dir, RawsFolderName), s.drmpack1Dir, s.drmpack2Dir, s.binary1Dir,
          s.binary2Dir})
        RemoveFolderIfEmpty(folder);
}

// "17" and the like: decimal without leading zeros, as the program numbers.
bool IsNumber(std::string_view text) {
    if (text.empty() || text.size() > 9 || text[0] == '0')
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A name the program gives a numbered work file: "n.gif", "CGn.bin".
bool IsNumbered(const std::string& name, std::string_view prefix,
                std::initializer_list<std::string_view> extensions) {
    for (std::string_view extension : extensions)
        if (name.size() > prefix.size() + extension.size() && name.starts_with(prefix) &&
            name.ends_with(extension))
            return IsNumber(std::string_view(name).substr(
                prefix.size(), name.size() - prefix.size() - extension.size()));
    return false;
}

// Adds every file of folder (not a folder) that names accepts, or that is
// one of the program's own temporaries, to paths.
template <class Accept>
void ListOwn(const std::string& folder, Accept names, std::vector<std::string>& paths) {
    if (!Enter(folder))
        return;
    for (const std::string& name : FolderEntries(folder).value_or(std::vector<std::string>{}))
        if ((names(name) || IsOwnTemporaryName(name)) &&
            EntryType(JoinPath(folder, name)) != fs::file_type::directory)
            paths.push_back(JoinPath(folder, name));
}

void ListOwnBranch(const std::string& binaryDir, const std::string& drmpackDir,
                   const std::string& iconsDir, std::vector<std::string>& paths) {
    if (!Enter(binaryDir))
        return;
    if (Enter(drmpackDir)) {
        ListOwn(
            iconsDir,
            [](const std::string& name) {
                return name == ThumbsFileName || IsNumbered(name, "", {".gif", ".bmp"});
            },
            paths);
        ListOwn(
            JoinPath(drmpackDir, RawsFolderName),
            [](const std::string& name) { return IsNumbered(name, "", {".raw"}); }, paths);
        ListOwn(
            drmpackDir,
            [](const std::string& name) {
                for (auto known : {StartFileName, OffFileName, TrailFileName, DescrFileName,
                                   NewOffFileName, RawOffFileName, TempRawFileName})
                    if (name == known)
                        return true;
                return false;
            },
            paths);
    }
    ListOwn(
        binaryDir,
        [](const std::string& name) {
            return name == RamdldFileName || name == HeaderFileName || name == ScratchFileName ||
                   name == FlashPathsFileName || IsNumbered(name, "CG", {".bin"});
        },
        paths);
}

// Deletes paths; what cannot be deleted is listed as kept.
void DeleteAll(const std::vector<std::string>& paths, DiscardResult& result) {
    for (const std::string& path : paths) {
        try {
            DeleteFileChecked(path);
            ++result.deleted;
        } catch (const IoError&) {
            result.kept.push_back(path);
        }
    }
}

// The links directly inside folder (not entered when it is one itself).
void AddLinks(const std::string& folder, std::vector<std::string>& links,
              const std::function<const FolderNames&(const std::string&)>& listing) {
    if (IsLink(folder)) {
        links.push_back(folder);
        return;
    }
    for (const std::string& name : listing ? listing(folder).Links() : LinksInFolder(folder))
        links.push_back(JoinPath(folder, name));
}

} // namespace

std::vector<std::string>
LinksInWorkTree(bool both, const std::function<const FolderNames&(const std::string&)>& listing) {
    const SharedState& s = State();
    std::vector<std::string> links;
    for (const auto& [binaryDir, drmpackDir, iconsDir] :
         {std::tuple{s.binary1Dir, s.drmpack1Dir, s.icons1Dir},
          std::tuple{s.binary2Dir, s.drmpack2Dir, s.icons2Dir}}) {
        if (binaryDir == s.binary2Dir && !both)
            break;
        AddLinks(binaryDir, links, listing);
        if (IsLink(binaryDir))
            continue;
        AddLinks(drmpackDir, links, listing);
        if (IsLink(drmpackDir))
            continue;
        AddLinks(iconsDir, links, listing);
        AddLinks(JoinPath(drmpackDir, RawsFolderName), links, listing);
    }
    // A folder that is a link shows up once, from the folder above it.
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    return links;
}

void RemoveHistory() {
    const SharedState& s = State();
    if (s.workFolder.empty() || !IsRealFolder(s.workFolder))
        return;
    const std::string folder = JoinPath(s.workFolder, HistoryFolderName);
    std::vector<std::string> paths;
    ListOwn(folder, IsHistoryFileName, paths);
    DiscardResult ignored;
    DeleteAll(paths, ignored);
    RemoveFolderIfEmpty(folder);
}

void CleanWorkFolder() {
    const SharedState& s = State();
    RemoveHistory();
    CleanBranch(s.binary1Dir, s.drmpack1Dir, s.icons1Dir, true);
    CleanBranch(s.binary2Dir, s.drmpack2Dir, s.icons2Dir, false);
    RemoveEmptyTree();
    // The session that held the folder is over.
    RemoveIfPresent(JoinPath(s.workFolder, OwnerFileName));
}

DiscardResult DiscardWorkFiles() {
    const SharedState& s = State();
    DiscardResult result;
    std::vector<std::string> paths = OwnWorkFiles();
    // The owner marker last: while it stays, the files are this session's.
    const std::string owner = JoinPath(s.workFolder, OwnerFileName);
    const bool marked = !paths.empty() && paths.back() == owner;
    if (marked)
        paths.pop_back();
    DeleteAll(paths, result);
    RemoveEmptyTree();
    RemoveFolderIfEmpty(JoinPath(s.workFolder, HistoryFolderName));
    if (marked) {
        try {
            DeleteFileChecked(owner);
        } catch (const IoError&) {
            result.kept.push_back(owner);
        }
    }
    return result;
}

std::vector<std::string> OwnWorkFiles() {
    const SharedState& s = State();
    std::vector<std::string> paths;
    ListOwnBranch(s.binary1Dir, s.drmpack1Dir, s.icons1Dir, paths);
    ListOwnBranch(s.binary2Dir, s.drmpack2Dir, s.icons2Dir, paths);
    ListOwn(JoinPath(s.workFolder, HistoryFolderName), IsHistoryFileName, paths);
    const std::string owner = JoinPath(s.workFolder, OwnerFileName);
    if (EntryType(owner) == fs::file_type::regular)
        paths.push_back(owner);
    return paths;
}

void RemoveWorkFilesNotIn(const std::vector<std::string>& before) {
    const std::set<std::string> there(before.begin(), before.end());
    std::vector<std::string> added;
    for (const std::string& path : OwnWorkFiles())
        if (!there.contains(path))
            added.push_back(path);
    DiscardResult ignored;
    DeleteAll(added, ignored);
}

void RemoveLeftoverTemporaries() {
    const SharedState& s = State();
    // Folder by folder from the top, none entered through a link.
    RemoveTemporaries(JoinPath(s.workFolder, HistoryFolderName));
    for (const auto& [binaryDir, drmpackDir, iconsDir] :
         {std::tuple{s.binary1Dir, s.drmpack1Dir, s.icons1Dir},
          std::tuple{s.binary2Dir, s.drmpack2Dir, s.icons2Dir}}) {
        if (!IsRealFolder(binaryDir))
            continue;
        RemoveTemporaries(binaryDir);
        if (!IsRealFolder(drmpackDir))
            continue;
        RemoveTemporaries(drmpackDir);
        RemoveTemporaries(iconsDir);
        RemoveTemporaries(JoinPath(drmpackDir, RawsFolderName));
    }
}

} // namespace zantrel
