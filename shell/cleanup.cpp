#include "shell/cleanup.h"

#include <filesystem>

#include "base/fileio.h"
#include "base/state.h"
#include "base/worktree.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

inline constexpr long HighestPictureNumber = 2999;
inline constexpr int HighestCleanedCodeGroup = 18;

// A numbered file counts as present when it can be opened for reading.
bool RemoveIfPresent(const std::string& path) {
    if (!BinaryFile::TryOpenRead(path))
        return false;
    DeleteFileQuietly(path);
    return true;
}

void CleanIcons(const std::string& iconsDir) {
    for (long n = 1; n <= HighestPictureNumber; ++n) {
        if (!RemoveIfPresent(JoinPath(iconsDir, NumberedFileName(n, ".gif"))) &&
            !RemoveIfPresent(JoinPath(iconsDir, NumberedFileName(n, ".bmp"))))
            break;
    }
}

void CleanRaws(const std::string& drmpackDir) {
    std::string raws = JoinPath(drmpackDir, RawsFolderName);
    for (long n = 1; n <= HighestPictureNumber; ++n)
        if (!RemoveIfPresent(JoinPath(raws, NumberedFileName(n, ".raw"))))
            break;
}

void CleanBranch(const std::string& binaryDir, const std::string& drmpackDir,
                 const std::string& iconsDir, bool firstImage) {
    CleanIcons(iconsDir);
    if (firstImage)
        RemoveIfPresent(JoinPath(iconsDir, ThumbsFileName));
    CleanRaws(drmpackDir);
    for (auto name : {StartFileName, OffFileName, TrailFileName, DescrFileName, NewOffFileName})
        DeleteFileQuietly(JoinPath(drmpackDir, name));
    DeleteFileQuietly(JoinPath(binaryDir, RamdldFileName));
    DeleteFileQuietly(JoinPath(binaryDir, HeaderFileName));
    // The readers' scratch file lives here; an interrupted read may leave it.
    DeleteFileQuietly(JoinPath(binaryDir, ScratchFileName));
    DeleteFileQuietly(JoinPath(drmpackDir, RawOffFileName));
    if (firstImage) {
        DeleteFileQuietly(JoinPath(drmpackDir, TempRawFileName));
        DeleteFileQuietly(JoinPath(binaryDir, FlashPathsFileName));
    }
    for (int n = 0; n <= HighestCleanedCodeGroup; ++n)
        DeleteFileQuietly(JoinPath(binaryDir, CodeGroupFileName(n)));
}

void RemoveFolderIfEmpty(const std::string& path) {
    // Removing a folder fails while it holds anything: one that still holds
    // files stays, by design. (Not is_empty: it cannot list a folder whose
    // path passes 260 characters on Windows.)
    std::error_code ignored;
    if (FolderExists(path))
        std::filesystem::remove(PathFromUtf8(path), ignored);
}

} // namespace

void CleanWorkFolder() {
    const SharedState& s = State();
    CleanBranch(s.binary1Dir, s.drmpack1Dir, s.icons1Dir, true);
    CleanBranch(s.binary2Dir, s.drmpack2Dir, s.icons2Dir, false);
    for (const std::string& folder :
         {s.icons1Dir, s.icons2Dir, JoinPath(s.drmpack1Dir, RawsFolderName),
          JoinPath(s.drmpack2Dir, RawsFolderName), s.drmpack1Dir, s.drmpack2Dir, s.binary1Dir,
          s.binary2Dir})
        RemoveFolderIfEmpty(folder);
}

} // namespace zantrel
