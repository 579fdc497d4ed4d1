// Pictures decoded for display: the kind and size a GIF's or BMP's header gives and the pixels
// of a raw picture, for the thumbnails of the window programs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zantrel {

// What a file's first bytes say it is, whatever its name says.
enum class ContentKind { Gif, Bmp, Png, Jpeg, Tiff, WebP, Ico, Empty, Unknown };
// Enough of a file's start for KindOfContent and PictureSizeOf: a BMP's
// header up to its height, a WebP's signature.
inline constexpr std::size_t PictureHeadSize = 26;
// head: the file's first bytes (fewer when it is shorter; none: Empty).
ContentKind KindOfContent(std::span<const std::uint8_t> head);
// "a PNG picture", "an ICO icon", "an empty file", ...; empty for Unknown.
std::string ContentKindName(ContentKind kind);

// Width and height from the header of the kind the name gives: a GIF's
// logical screen descriptor, a BMP's header (height as stored: negative for
// a top-down file); nullopt when the content is not of that kind.
std::optional<std::pair<int, int>> PictureSizeOf(std::span<const std::uint8_t> head, bool namedGif);

// Decodes a raw picture of width x height (RGB565 big-endian pixels, then the
// transparency mask) into 0xAARRGGBB pixels, top row first; transparent
// pixels get alpha 0. nullopt when the file is too short or the size is out
// of range.
std::optional<std::vector<std::uint32_t>> DecodeRawPicture(const std::string& path, int width,
                                                           int height);

} // namespace zantrel
