// Decompilation: code group 15 split into the plain files of the image's
// drmpack folder, with "descr.dat" written last.
#include "drm/decompile.h"

#include <filesystem>

#include "base/paths.h"
#include "base/primitives.h"
#include "base/uiops.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "imaging/bmpraw.h"

namespace zantrel {

namespace {

void CopyPiece(BinaryFile& codeGroup, std::int64_t offset, std::int64_t length, bool limited,
               const std::string& path) {
    BinaryFile piece = BinaryFile::Create(path);
    CopyFileRange(codeGroup, offset, length, piece, limited);
    piece.Close();
}

} // namespace

void ExtractPictureTable(BinaryFile& codeGroup, const DrmSummary& drm,
                         BinaryFile& pictureTablePiece) {
    CopyFileRange(codeGroup, drm.pictureTableOffset,
                  PictureDescriptorSize * drm.pictureDescriptorCount, pictureTablePiece, true);
}

std::int32_t ExtractPictures(BinaryFile& codeGroup, const DrmSummary& drm,
                             const ImageFolders& folders) {
    ProgressScope scope("Extracting raws");
    const std::string raws = JoinPath(folders.drmpackDir, RawsFolderName);
    std::error_code ignored; // an existing folder is reused; a missing one fails at the first raw
    std::filesystem::create_directory(PathFromUtf8(raws), ignored);
    const auto r = static_cast<std::int32_t>(drm.pictures.size());
    for (std::int32_t k = 1; k <= r; ++k) {
        const PictureSlot& p = drm.pictures[static_cast<std::size_t>(k - 1)];
        const std::string rawPath = JoinPath(raws, NumberedFileName(k, ".raw"));
        CopyPiece(codeGroup, p.offset, p.size, true, rawPath);
        if (folders.pictures.bmp)
            RawToBmp(rawPath, p.width, p.height,
                     JoinPath(folders.iconsDir, NumberedFileName(k, ".bmp")),
                     folders.pictures.replacer);
        SetProgress(ProgressPercent(k, r));
    }
    return r;
}

std::int32_t ExtractIcons(BinaryFile& codeGroup, const DrmSummary& drm, int firstNumber,
                          const ImageFolders& folders) {
    ProgressScope scope("Extracting gifs");
    const auto n = static_cast<std::int32_t>(drm.icons.size());
    for (std::int32_t k = 1; k <= n; ++k) {
        const DrmIcon& icon = drm.icons[static_cast<std::size_t>(k - 1)];
        const long number = static_cast<long>(firstNumber) + k;
        const std::string gifPath = JoinPath(folders.iconsDir, NumberedFileName(number, ".gif"));
        CopyPiece(codeGroup, icon.offset, icon.size, true, gifPath);
        // Written as ".gif" first and renamed, so no older ".gif" of this number survives.
        if (icon.bmp)
            RenameFile(gifPath, JoinPath(folders.iconsDir, NumberedFileName(number, ".bmp")));
        SetProgress(ProgressPercent(k, n));
    }
    return n;
}

Outcome DrmDecompile(const ImageFolders& folders) {
    BinaryFile codeGroup =
        BinaryFile::OpenRead(JoinPath(folders.binaryDir, CodeGroupFileName(DrmCodeGroup)));
    // Everything is checked before the first work file is written.
    const Checked<DrmSummary> drm = InspectDrm(codeGroup);
    if (!drm)
        return Outcome::Refusal(drm.Why());
    // With conversion on, compilation puts each picture's pixels and mask
    // back into its slot: one they cannot fit could be opened but never saved.
    if (folders.pictures.bmp) {
        for (std::size_t k = 0; k < drm->pictures.size(); ++k) {
            const PictureSlot& p = drm->pictures[k];
            const std::int64_t needed = RawPictureSize(p.width, p.height);
            if (needed > p.size)
                return Outcome::Refusal("Picture " + std::to_string(k + 1) + " is " +
                                        std::to_string(p.width) + " x " + std::to_string(p.height) +
                                        " pixels, which take " + std::to_string(needed) +
                                        " bytes with their mask, but its slot in the DRM holds " +
                                        std::to_string(p.size) + " bytes.");
        }
    }
    const DrmHeader& h = drm->header;
    const std::int64_t iconArea = FileOffsetOf(h.iconAreaStart, h.baseAddress);
    const std::int64_t iconTable = FileOffsetOf(h.iconTableStart, h.baseAddress);
    const std::int64_t trail = FileOffsetOf(h.trailStart, h.baseAddress);

    CopyPiece(codeGroup, 0, iconArea, true, JoinPath(folders.drmpackDir, StartFileName));
    CopyPiece(codeGroup, iconTable, trail - iconTable, true,
              JoinPath(folders.drmpackDir, OffFileName));
    CopyPiece(codeGroup, trail, 0, false, JoinPath(folders.drmpackDir, TrailFileName));

    std::int32_t r = 0;
    if (drm->extended) {
        BinaryFile table = BinaryFile::Create(JoinPath(folders.drmpackDir, RawOffFileName));
        ExtractPictureTable(codeGroup, *drm, table);
        table.Close();
        r = ExtractPictures(codeGroup, *drm, folders);
    }
    const std::int32_t n = ExtractIcons(codeGroup, *drm, r, folders);
    codeGroup.Close();

    DrmRecords records;
    static_cast<DrmHeader&>(records) = h;
    records.iconCount = n;
    records.reserved = 0;
    records.extended = drm->extended;
    if (drm->extended) {
        records.pictureCount = r;
        records.pictureAreaOffset = drm->pictureAreaOffset;
        records.pictureTableOffset = drm->pictureTableOffset;
    }
    WriteDescr(JoinPath(folders.drmpackDir, DescrFileName), records);
    return {};
}

} // namespace zantrel
