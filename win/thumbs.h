// The thumbnails as Windows bitmaps: the square the shell draws.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "shell/thumbnail.h"

namespace zantrel {

// A side x side 32-bit bitmap of the thumbnail; nullptr when none can be made.
HBITMAP RenderThumbnail(const Thumbnail& thumbnail, int side);
// A 32-bit bitmap of width x height pixels (0xAARRGGBB, top row first).
HBITMAP BitmapOf(const std::vector<std::uint32_t>& pixels, int width, int height);
// The arrow with a plus in a box: a drag that copies.
HCURSOR MakeCopyCursor();

} // namespace zantrel
