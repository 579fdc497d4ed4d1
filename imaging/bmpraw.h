// The phone's raw pictures (RGB565 pixels, big-endian, then a one-bit
// transparency mask) and their 24-bit BMP copies.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/rgb.h"

#include "imaging/picture.h"

namespace zantrel {

inline constexpr int BmpHeaderSize = 54;
inline constexpr int MaxPictureSide = 255; // widths and heights are bytes

// Size in bytes of a raw picture as BmpToRaw writes it: pixels and mask.
// Both conversions write their output beside the target and rename it into
// place when complete, so a failure leaves no half-written file.
std::int64_t RawPictureSize(int width, int height);

// One raw pixel's colour as the BMP copies hold it: 0x00RRGGBB.
std::uint32_t ExpandRawPixel(std::uint16_t pixel);

// Converts a raw picture of width x height (each 0 to 255, else
// std::invalid_argument) to a bottom-up 24-bit BMP; transparent pixels take
// the replacer colour. A raw file cut short reads as zero bytes past its end.
// Throws IoError.
void RawToBmp(const std::string& rawPath, int width, int height, const std::string& bmpPath,
              Rgb replacer);
// Converts a 24-bit BMP back; pixels of exactly the replacer colour become
// transparent. Width and height are the low bytes of the header's fields; rows
// missing from a short file read as zero bytes. Throws IoError.
void BmpToRaw(const std::string& bmpPath, const std::string& rawPath, Rgb replacer);

// The BMP RawToBmp writes for a raw picture held in memory (one cut short
// reads as zero bytes past its end), into bmp. Sides as for RawToBmp.
void RawBytesToBmp(std::span<const std::uint8_t> raw, int width, int height, Rgb replacer,
                   std::vector<std::uint8_t>& bmp);

// The raw picture BmpToRaw makes of a 24-bit BMP whose pixels are pixels
// (0xAARRGGBB, top row first, width x height), alpha below half standing for
// the replacer colour: the pixels and the mask, RawPictureSize bytes.
std::vector<std::uint8_t> EncodeRawPicture(const std::vector<std::uint32_t>& pixels, int width,
                                           int height, Rgb replacer);
// colour (0x00RRGGBB), or when it is the replacer colour, a neighbour of it
// that the phone's 5-6-5 colour cannot tell apart.
std::uint32_t AvoidReplacer(std::uint32_t colour, std::uint32_t replacer);

// What keeps BmpToRaw from taking a picture BMP for a slot of width x height,
// from the file's first 54 bytes (fewer when it is shorter) and its size:
// each fault in words ("32-bit colour", "stored top-down", "100 x 80
// pixels", "a PNG picture, not a BMP"); empty when it fits: 24-bit,
// uncompressed, bottom-up, pixels at 54, that size, and long enough.
std::vector<std::string> PictureBmpFaults(std::span<const std::uint8_t> head, std::int64_t fileSize,
                                          int width, int height);
// A plain picture BMP (24-bit, uncompressed, bottom-up, pixels at 54, sides
// of at most 255, the size that makes) read in one pass: opaque pixels, and
// transparent (0) ones where exactly the replacer colour, as a general
// decoder and MakeTransparent would make them. nullopt when the file is
// anything else. Throws IoError when it cannot be read.
std::optional<Picture> DecodePlainBmp(const std::string& bmpPath, Rgb replacer);
// "5.bmp: 32-bit colour; it must be a plain 24-bit BMP of 176 x 220 pixels."
std::string PictureBmpProblem(const std::string& name, const std::vector<std::string>& faults,
                              int width, int height);
// The same for the file at bmpPath, named by its file name; nullopt when it
// fits. Throws IoError when it cannot be read.
std::optional<std::string> CheckPictureBmp(const std::string& bmpPath, int width, int height);

} // namespace zantrel
