// The thumbnails of the work files: each picture or icon decoded (GIF and
// BMP by the system's imaging component, raw pictures by the logic) and drawn
// into a square.
#pragma once

#include <cstdint>
#include <vector>

#include <windows.h>

#include "shell/mainview.h"

namespace zantrel {

// Pixels as 0xAARRGGBB, top row first; empty when the file cannot be decoded.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

Picture LoadThumbnailPicture(const Thumbnail& thumbnail);

// A side x side 32-bit bitmap: the picture on a light square with a border,
// fitted as the shell says; shrunk by averaging.
HBITMAP RenderThumbnail(const Picture& picture, int side);

} // namespace zantrel
