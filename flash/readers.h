// Reading the three kinds of flash file into an image's work folder. A reader
// reports what it read; decompiling the DRM is the caller's next step.
#pragma once

#include "base/outcome.h"
#include "base/worktree.h"

namespace zantrel {

// Read image.flashPath: write its header.bin into image.binaryDir and, when
// the header lists the DRM, every piece beside it. Done means the pieces are there (warning set
// when S-record lines had a wrong checksum); NoDrm that the header lists no DRM; Refused that the
// body is malformed (no piece is left behind).
Outcome ReadSuperfile(const ImageFolders& image);
Outcome ReadSbf(const ImageFolders& image);

// Copies the raw code-group image image.flashPath whole into
// image.binaryDir's CG15.bin,
// complete or not at all.
void ReadRawImage(const ImageFolders& image);

} // namespace zantrel
