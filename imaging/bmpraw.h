// The phone's raw pictures (RGB565 pixels, big-endian, then a one-bit
// transparency mask) and their 24-bit BMP copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
              std::uint8_t blue, std::uint8_t green, std::uint8_t red);
// Converts a 24-bit BMP back; pixels of exactly the replacer colour become
// transparent. Width and height are the low bytes of the header's fields; rows
// missing from a short file read as zero bytes. Throws IoError.
void BmpToRaw(const std::string& bmpPath, const std::string& rawPath, std::uint8_t blue,
              std::uint8_t green, std::uint8_t red);

// Checks that bmpPath is a picture BmpToRaw can take for a slot of
// width x height: 24-bit, uncompressed, bottom-up, pixels at 54, that size,
// and long enough. Returns the message naming the file, what it is and what
// it must be; nullopt when it fits. Throws IoError when it cannot be read.
std::optional<std::string> CheckPictureBmp(const std::string& bmpPath, int width, int height);

} // namespace zantrel
