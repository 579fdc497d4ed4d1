// "compare": whether two flash files hold the same DRM, read as "info" reads
// each of them, without a session and without writing anything of the
// person's. The front end prints the result.
#pragma once

#include <optional>
#include <string>

#include "flash/flashcompare.h"

#include "drm/drmcompare.h"

#include "shell/info.h"

namespace zantrel {

struct FlashComparison {
    // Each file as "info" tells it. A file that holds no DRM, or that cannot
    // be read, is refused: refusal says why in plain words, to follow the
    // file's name ("holds no DRM: ...", "cannot be read: File not found.").
    FlashInfo a;
    FlashInfo b;
    std::optional<DrmComparison> drm; // none when a file was refused
    // Only where both files carry them (superfiles and SBF files); they do
    // not count towards whether the DRMs are equal.
    std::optional<HeaderComparison> header;
    std::optional<RamdldComparison> ramdld;

    bool Refused() const { return a.refused || b.refused; }
    bool Equal() const { return drm && drm->Equal(); }
};

// Compares the flash files a and b (each a superfile, SBF file or raw image
// by its extension) in a private folder under the system's temporary folder,
// removed afterwards (or, when the run is killed, by the next one). Uses the
// shared state's two images as scratch: not for a run with a session.
// Throws IoError only when that folder cannot be made or read.
FlashComparison CompareFlashFiles(const std::string& a, const std::string& b);

} // namespace zantrel
