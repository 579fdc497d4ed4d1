// One image's icons and pictures ported into another's work files.
#pragma once

#include <cstdint>
#include <string>

#include "drm/drmpack.h"

namespace zantrel {

// Copies from's icons and pictures over into's, slot by slot.
// Incompatible: the DRMs' layouts differ and nothing was copied; Refused: a
// "descr.dat" was refused. message says why; the counts say what was copied.
enum class PortOutcome { Ported, Refused, Incompatible };
struct PortResult {
    PortOutcome outcome = PortOutcome::Ported;
    std::string message;
    std::int32_t icons = 0;
    std::int32_t pictures = 0;
};
PortResult PortDrm(const ImageFolders& into, const ImageFolders& from);
// What PortDrm would do, read from the two "descr.dat" files; nothing is
// copied. Throws IoError.
PortResult PlanPort(const ImageFolders& into, const ImageFolders& from);

} // namespace zantrel
