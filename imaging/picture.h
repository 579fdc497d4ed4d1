// Pictures in memory for display and for replacing items: decoded from the
// common formats, scaled, and laid over one another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/rgb.h"

namespace zantrel {

// Pixels as 0xAARRGGBB, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool Empty() const { return width <= 0 || height <= 0; }
    std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The pixels as R, G, B, A bytes, the order the stb libraries take; and
// back from width x height such bytes.
std::vector<unsigned char> RgbaBytes(const Picture& picture);
Picture FromRgbaBytes(const unsigned char* rgba, int width, int height);

// A picture of width x height filled with one colour.
Picture FilledPicture(int width, int height, std::uint32_t colour);

// Decodes a PNG, JPEG, GIF (its first frame), BMP of any depth stb_image
// reads (top-down too) or TGA file, whatever its name says, when every one
// of its pixels decodes: a file cut short is refused, and so is a header
// the file's bytes could not stand for (ReadPictureHeader), before anything
// is allocated for it. nullopt when refused; why then says so in a person's
// words ("the file is cut short", ...).
std::optional<Picture> DecodePictureFile(const std::string& path, std::string* why = nullptr);

// A work file's picture: a BMP (by its name) with its pixels of exactly the
// replacer colour transparent, the program's own plain BMP copies read in
// one pass; any other file as DecodePictureFile.
std::optional<Picture> DecodeWorkPicture(const std::string& path, Rgb replacer);

// A picture file's width and height from its header alone, as
// DecodePictureFile would take it; nullopt (why saying so) as it would refuse
// it, though a file damaged past its header is found only by decoding.
std::optional<std::pair<int, int>> ProbePictureFile(const std::string& path,
                                                    std::string* why = nullptr);

// The picture at width x height: each target pixel the alpha-weighted
// average of the source pixels it covers (a shrink), or the one it falls in
// (a whole-step enlargement stays sharp).
Picture ScaleByArea(const Picture& picture, int width, int height);

// The picture as a PNG file's bytes, compressed by zlib: the same bytes on
// every system. 8-bit RGB when every pixel is opaque or fully transparent
// (the transparent ones in one colour no other pixel has, named so), RGBA
// otherwise.
std::vector<std::uint8_t> EncodePng(const Picture& picture);
// Writes the picture as a PNG file (as EncodePng), atomically: the file is
// the whole new picture or what it was. Throws IoError.
void WritePngFile(const std::string& path, const Picture& picture);

// A bottom-up, uncompressed 24-bit BMP of the picture, as the picture slots
// take it: pixels with alpha below half in the replacer colour (0x00RRGGBB).
// An opaque pixel of exactly that colour is moved to a neighbour the phone
// cannot tell from it (AvoidReplacer), so it does not become transparent.
std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, Rgb replacer);

// The picture as the phone shows it: alpha below half fully transparent (0),
// the rest opaque; transparent is what the item's files can hold.
Picture Flattened(Picture picture);

// top laid over an opaque bottom, by top's alpha; the result is opaque.
std::uint32_t Over(std::uint32_t top, std::uint32_t bottom);

} // namespace zantrel
