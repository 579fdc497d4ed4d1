#include "shell/compare.h"

#include "base/paths.h"
#include "base/scratch.h"
#include "base/worktree.h"

#include "shell/open.h"
#include "shell/state.h"

namespace zantrel {

namespace {

// Why a file that was read holds nothing to compare, after the file's name.
std::string NoDrmText(const std::string& file) {
    if (FlashKindOf(file) == FlashKind::RawImage)
        return "holds no DRM: a raw code-group image (as its extension says) carries the tag "
               "\"_drm\" at offset 456, 464 or 468, or the word 10D0001C at offset 8, and it "
               "does not.";
    return "holds no DRM: its flash header does not list the DRM code group (CG15).";
}

// Reads one side. A refusal says why after the file's name; one that
// cannot be read names the person's file, never the scratch copy.
std::optional<BinaryFile> ReadSide(int image, FlashInfo& info, const std::string& scratch) {
    const ImageFolders folders = FoldersOf(image);
    if (FolderExists(folders.flashPath)) {
        info.file = folders.flashPath;
        info.refused = true;
        info.refusal = "is a folder, not a flash file.";
        return std::nullopt;
    }
    std::optional<BinaryFile> codeGroup;
    try {
        codeGroup = ReadFlashFile(folders, info);
    } catch (const IoError& e) {
        info.refused = true;
        info.refusal = "cannot be read: " + IoErrorMessage(e.Code());
        if (e.Path() != folders.flashPath && e.Path().starts_with(scratch))
            info.refusal = "could not be copied into a temporary folder to be compared: " +
                           IoErrorMessage(e.Code());
        return std::nullopt;
    }
    if (info.refused)
        info.refusal = "cannot be compared: " + info.refusal;
    else if (!info.drm) {
        info.refused = true;
        info.refusal = NoDrmText(folders.flashPath);
    }
    return codeGroup;
}

} // namespace

FlashComparison CompareFlashFiles(const std::string& a, const std::string& b) {
    // First made, last removed: every file below is closed before it goes.
    ScratchFolder scratch("zantrel-compare");
    SharedState& s = State();
    s.startFolder = scratch.Path();
    s.workFolder = scratch.Path();
    s.firstFlashPath = a;
    s.secondFlashPath = b;
    s.currentImage = 1;
    BuildWorkTree();

    FlashComparison result;
    std::optional<BinaryFile> codeGroupA = ReadSide(1, result.a, scratch.Path());
    std::optional<BinaryFile> codeGroupB = ReadSide(2, result.b, scratch.Path());
    if (result.Refused())
        return result;
    result.drm = CompareDrms(*codeGroupA, *result.a.drm, *codeGroupB, *result.b.drm);

    if (result.a.hasHeader && result.b.hasHeader) {
        const std::string binaryA = FoldersOf(1).binaryDir;
        const std::string binaryB = FoldersOf(2).binaryDir;
        BinaryFile headerA = BinaryFile::OpenRead(JoinPath(binaryA, HeaderFileName));
        BinaryFile headerB = BinaryFile::OpenRead(JoinPath(binaryB, HeaderFileName));
        result.header = CompareHeaders(headerA, headerB);
        auto ramdldA = BinaryFile::TryOpenRead(JoinPath(binaryA, RamdldFileName));
        auto ramdldB = BinaryFile::TryOpenRead(JoinPath(binaryB, RamdldFileName));
        if (ramdldA && ramdldB)
            result.ramdld = CompareRamdlds(*ramdldA, *ramdldB);
    }
    return result;
}

} // namespace zantrel
