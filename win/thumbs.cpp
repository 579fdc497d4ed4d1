#include "win/thumbs.h"

#include <cstring>

namespace zantrel {

HBITMAP RenderThumbnail(const Thumbnail& thumbnail, int side) {
    const Picture square = ThumbnailPicture(thumbnail, side);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = square.width;
    info.bmiHeader.biHeight = -square.height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    // 0xAARRGGBB words are a DIB's BGRA bytes on a little-endian machine.
    if (bitmap)
        std::memcpy(bits, square.pixels.data(), square.pixels.size() * 4);
    return bitmap;
}

} // namespace zantrel
