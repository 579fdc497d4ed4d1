// Pictures written as single-frame GIF89a files, the form the phone keeps its
// icons in. The same picture always gives the same bytes, on every build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/picture.h"

namespace zantrel {

// A GIF's sides are 16-bit fields.
inline constexpr int MaxGifSide = 65535;
// Pixels with less alpha than this are written transparent; the rest opaque.
inline constexpr std::uint32_t GifOpaqueAlpha = 128;

// The picture as a GIF89a: one global colour table, one uninterlaced image.
// The palette holds the opaque colours sorted by their 0xRRGGBB value, then,
// when any pixel is transparent, one black entry named transparent by a
// Graphic Control Extension. Up to 256 opaque colours (255 beside
// transparency) are kept exactly; more are reduced by median cut and each
// pixel takes its nearest palette colour. Throws std::invalid_argument for a
// side outside 1..65535 or pixels that do not match the sides.
std::vector<std::uint8_t> EncodeGif(const Picture& picture);

// EncodeGif written atomically: the file is the whole new picture or what it
// was. Throws IoError.
void WriteGifFile(const std::string& path, const Picture& picture);

} // namespace zantrel
