// Reading the three kinds of flash file into an image's work folder. A reader
// reports what it read; decompiling the DRM is the caller's next step.
#pragma once

#include "base/outcome.h"

namespace zantrel {

// Write header.bin and, when the header lists the DRM, every piece. Done means
// the pieces are in the work folder (warning set when S-record lines had a
// wrong checksum); NoDrm that the header lists no DRM; Refused that the body
// is malformed (no piece is left behind).
Outcome ReadSuperfile(int image);
Outcome ReadSbf(int image);

// Copies a raw code-group image whole into the image's CG15.bin, complete or
// not at all.
void ReadRawImage(int image);

} // namespace zantrel
