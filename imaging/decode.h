// Pictures decoded for display: the kind and size a GIF's or BMP's header gives and the pixels
// of a raw picture, for the thumbnails of the window programs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zantrel {

// What the first bytes of a GIF or BMP work file say, from one read.
struct PictureHead {
    // The content starts as a GIF ("GIF8") or a BMP ("BM") does, whatever the
    // file's name says; false when it cannot be read.
    bool gifOrBmp = false;
    // Width and height from the header of the kind the name gives: a GIF's
    // logical screen descriptor, a BMP's header (height as stored: negative
    // for a top-down file); nullopt when the file is not of that kind.
    std::optional<std::pair<int, int>> size;
};
PictureHead ReadPictureHead(const std::string& path, bool namedGif);

// Decodes a raw picture of width x height (RGB565 big-endian pixels, then the
// transparency mask) into 0xAARRGGBB pixels, top row first; transparent
// pixels get alpha 0. nullopt when the file is too short or the size is out
// of range.
std::optional<std::vector<std::uint32_t>> DecodeRawPicture(const std::string& path, int width,
                                                           int height);

} // namespace zantrel
