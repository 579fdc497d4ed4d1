// Pictures decoded for display: the size a BMP's header gives and the pixels
// of a raw picture, for the thumbnails of the window programs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zantrel {

// Width and height from a BMP file's header (height as stored: negative for a
// top-down file); nullopt when the file is not a BMP or cannot be read.
std::optional<std::pair<int, int>> ReadBmpSize(const std::string& path);
// Width and height from a GIF file's logical screen descriptor; nullopt when
// the file is not a GIF or cannot be read.
std::optional<std::pair<int, int>> ReadGifSize(const std::string& path);

// Whether a file's content starts as a GIF ("GIF8") or a BMP ("BM") does,
// whatever its name says; false when it cannot be read.
bool LooksLikeGifOrBmp(const std::string& path);

// Decodes a raw picture of width x height (RGB565 big-endian pixels, then the
// transparency mask) into 0xAARRGGBB pixels, top row first; transparent
// pixels get alpha 0. nullopt when the file is too short or the size is out
// of range.
std::optional<std::vector<std::uint32_t>> DecodeRawPicture(const std::string& path, int width,
                                                           int height);

} // namespace zantrel
