// The DRM compiled back from the work folder's files into a code group.
#pragma once

#include <string>

#include "drm/drmpack.h"

namespace zantrel {

// Compiles the image's drmpack and icons folders into outputPath, complete
// or not at all. A refused edited file leaves nothing written. Throws
// IoError.
Outcome DrmCompile(const ImageFolders& image, const std::string& outputPath);
// The same into an output's temporary that the caller puts in place.
Outcome DrmCompileTo(const ImageFolders& image, AtomicOutput& output);

} // namespace zantrel
