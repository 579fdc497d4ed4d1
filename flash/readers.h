// Reading the three kinds of flash file into an image's work folder.
#pragma once

namespace zantrel {

enum class ReadOutcome {
    NoDrm,      // the file lists no DRM: Open says "No DRM found"
    Decompiled, // the DRM is in the work folder
    Refused,    // the file was refused with its own message already shown
};

ReadOutcome OpenSuperfile(int image);
ReadOutcome OpenSbf(int image);
ReadOutcome OpenRawImage(int image);

// Write header.bin and, when the DRM is listed, every piece. Return NoDrm,
// Decompiled (meaning: pieces extracted, DRM listed) or Refused.
ReadOutcome ReadSuperfile(int image);
ReadOutcome ReadSbf(int image);

} // namespace zantrel
