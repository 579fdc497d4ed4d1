// Pictures in memory for display and for replacing items: decoded from the
// common formats, scaled, and laid over one another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zantrel {

// Pixels as 0xAARRGGBB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool Empty() const { return width <= 0 || height <= 0; }
    std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * width + x];
    }
};

// A picture of width x height filled with one colour.
Picture FilledPicture(int width, int height, std::uint32_t colour);

// Larger pictures are refused before their pixels are decoded: a phone's
// largest picture is a few hundred pixels wide.
inline constexpr int MaxDecodedSide = 8192;

// Decodes a PNG, JPEG, GIF (its first frame), BMP of any depth or TGA file,
// whatever its name says. nullopt when the file cannot be read or decoded;
// why then says so in words ("not a picture Zantrel can read", ...).
std::optional<Picture> DecodePictureFile(const std::string& path, std::string* why = nullptr);

// The picture at width x height: each target pixel the alpha-weighted
// average of the source pixels it covers (a shrink), or the one it falls in
// (a whole-step enlargement stays sharp).
Picture ScaleByArea(const Picture& picture, int width, int height);

// Writes the picture as a PNG file (8-bit RGBA), atomically: the file is
// the whole new picture or what it was. Throws IoError.
void WritePngFile(const std::string& path, const Picture& picture);

// top laid over an opaque bottom, by top's alpha; the result is opaque.
std::uint32_t Over(std::uint32_t top, std::uint32_t bottom);

} // namespace zantrel
