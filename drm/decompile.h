// The DRM taken apart into the work folder's files.
#pragma once

#include "drm/drmpack.h"

namespace zantrel {

// The pieces of the decompilation, on a code group InspectDrm accepted.
// "rawoff.bin": the picture descriptors, verbatim, without the ending record.
void ExtractPictureTable(BinaryFile& codeGroup, const DrmSummary& drm,
                         BinaryFile& pictureTablePiece);
// Writes the image's raws/k.raw (and icons/k.bmp while conversion is on);
// returns R.
std::int32_t ExtractPictures(BinaryFile& codeGroup, const DrmSummary& drm,
                             const ImageFolders& image);
// Writes the image's icons/n.gif or n.bmp for n = firstNumber + 1 ...;
// returns N.
std::int32_t ExtractIcons(BinaryFile& codeGroup, const DrmSummary& drm, int firstNumber,
                          const ImageFolders& image);

// Decompiles the image's binaryDir/CG15.bin into its drmpack and icons
// folders. A refused code group has written no work file. Throws IoError.
Outcome DrmDecompile(const ImageFolders& image);

} // namespace zantrel
