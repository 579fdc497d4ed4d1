#include "win/thumbs.h"

#include <cstring>

namespace zantrel {

HBITMAP BitmapOf(const std::vector<std::uint32_t>& pixels, int width, int height) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    // 0xAARRGGBB words are a DIB's BGRA bytes on a little-endian machine.
    if (bitmap)
        std::memcpy(bits, pixels.data(), pixels.size() * 4);
    return bitmap;
}

HBITMAP RenderThumbnail(const Thumbnail& thumbnail, int side) {
    const Picture square = ThumbnailPicture(thumbnail, side);
    return BitmapOf(square.pixels, square.width, square.height);
}

} // namespace zantrel
