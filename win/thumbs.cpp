#include "win/thumbs.h"

#include <cstring>
#include <string_view>

namespace zantrel {

namespace {

// A width x height 32-bit DIB section, top row first; bits receives its pixels.
HBITMAP MakeBitmap(int width, int height, void*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

} // namespace

HBITMAP BitmapOf(const std::vector<std::uint32_t>& pixels, int width, int height) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = MakeBitmap(width, height, bits);
    // 0xAARRGGBB words are a DIB's BGRA bytes on a little-endian machine.
    if (bitmap)
        std::memcpy(bits, pixels.data(), pixels.size() * 4);
    return bitmap;
}

SquareCanvas::SquareCanvas(int side) : side_(side) {
    if (side > 0)
        bitmap_ = MakeBitmap(side, side, bits_);
}

SquareCanvas::~SquareCanvas() {
    if (bitmap_)
        DeleteObject(bitmap_);
}

bool SquareCanvas::Put(HIMAGELIST images, int slot, const Picture& square) {
    if (!bitmap_ || square.width != side_ || square.height != side_ ||
        square.pixels.size() != static_cast<std::size_t>(side_) * static_cast<std::size_t>(side_))
        return false;
    // The last copy out of the bitmap is done before its pixels change.
    GdiFlush();
    std::memcpy(bits_, square.pixels.data(), square.pixels.size() * 4);
    return ImageList_Replace(images, slot, bitmap_, nullptr) != FALSE;
}

HCURSOR MakeCopyCursor() {
    // X black, . white, blank transparent.
    static constexpr std::string_view Art[] = {
        "X",
        "XX",
        "X.X",
        "X..X",
        "X...X",
        "X....X",
        "X.....X",
        "X......X",
        "X.......X",
        "X........X",
        "X.....XXXXX",
        "X..X..X",
        "X.X X..X    XXXXXXXXXXX",
        "XX  X..X    X.........X",
        "X    X..X   X....X....X",
        "     X..X   X....X....X",
        "      XX    X....X....X",
        "            X.XXXXXXX.X",
        "            X....X....X",
        "            X....X....X",
        "            X....X....X",
        "            X.........X",
        "            XXXXXXXXXXX",
    };
    constexpr int Side = 32;
    std::vector<std::uint32_t> pixels(Side * Side, 0);
    std::vector<std::uint8_t> mask(Side * Side / 8, 0xFF);
    for (std::size_t y = 0; y < std::size(Art); ++y)
        for (std::size_t x = 0; x < Art[y].size(); ++x)
            if (Art[y][x] != ' ') {
                pixels[y * Side + x] = Art[y][x] == 'X' ? 0xFF000000u : 0xFFFFFFFFu;
                mask[(y * Side + x) / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
            }
    ICONINFO info{FALSE, 0, 0, CreateBitmap(Side, Side, 1, 1, mask.data()),
                  BitmapOf(pixels, Side, Side)};
    HCURSOR cursor = CreateIconIndirect(&info);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    return cursor;
}

} // namespace zantrel
