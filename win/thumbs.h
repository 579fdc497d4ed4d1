// The thumbnails as Windows bitmaps: the square the shell draws.
#pragma once

#include <windows.h>

#include "shell/mainview.h"

namespace zantrel {

// A side x side 32-bit bitmap of the thumbnail; nullptr when none can be made.
HBITMAP RenderThumbnail(const Thumbnail& thumbnail, int side);

} // namespace zantrel
