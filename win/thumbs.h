// The thumbnails as Windows bitmaps: the square the shell draws.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "shell/thumbnail.h"

namespace zantrel {

// One 32-bit bitmap, made once, through which the squares go into an image
// list's places: no bitmap is made and freed for each thumbnail.
class SquareCanvas {
public:
    explicit SquareCanvas(int side);
    ~SquareCanvas();
    SquareCanvas(const SquareCanvas&) = delete;
    SquareCanvas& operator=(const SquareCanvas&) = delete;
    // square (side x side) into images' place slot; false when it cannot be.
    bool Put(HIMAGELIST images, int slot, const Picture& square);

private:
    int side_;
    HBITMAP bitmap_ = nullptr;
    void* bits_ = nullptr;
};
// A 32-bit bitmap of width x height pixels (0xAARRGGBB, top row first).
HBITMAP BitmapOf(const std::vector<std::uint32_t>& pixels, int width, int height);
// The arrow with a plus in a box: a drag that copies.
HCURSOR MakeCopyCursor();

} // namespace zantrel
