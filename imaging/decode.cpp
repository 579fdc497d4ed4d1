#include "imaging/decode.h"

#include <algorithm>
#include <array>

#include "base/fileio.h"
#include "base/primitives.h"

#include "imaging/bmpraw.h"

namespace zantrel {

ContentKind KindOfContent(std::span<const std::uint8_t> head) {
    const auto starts = [&](std::initializer_list<std::uint8_t> magic, std::size_t at = 0) {
        return head.size() >= at + magic.size() &&
               std::equal(magic.begin(), magic.end(),
                          head.begin() + static_cast<std::ptrdiff_t>(at));
    };
    if (head.empty())
        return ContentKind::Empty;
    // Decompilation names an icon ".bmp" by these two bytes alone.
    if (starts({'B', 'M'}))
        return ContentKind::Bmp;
    if (starts({'G', 'I', 'F', '8'}))
        return ContentKind::Gif;
    if (starts({0x89, 'P', 'N', 'G'}))
        return ContentKind::Png;
    if (starts({0xFF, 0xD8, 0xFF}))
        return ContentKind::Jpeg;
    if (starts({'I', 'I', 0x2A, 0x00}) || starts({'M', 'M', 0x00, 0x2A}))
        return ContentKind::Tiff;
    if (starts({'R', 'I', 'F', 'F'}) && starts({'W', 'E', 'B', 'P'}, 8))
        return ContentKind::WebP;
    if (starts({0x00, 0x00, 0x01, 0x00}))
        return ContentKind::Ico;
    return ContentKind::Unknown;
}

std::string ContentKindName(ContentKind kind) {
    switch (kind) {
    case ContentKind::Gif:
        return "a GIF picture";
    case ContentKind::Bmp:
        return "a BMP picture";
    case ContentKind::Png:
        return "a PNG picture";
    case ContentKind::Jpeg:
        return "a JPEG picture";
    case ContentKind::Tiff:
        return "a TIFF picture";
    case ContentKind::WebP:
        return "a WebP picture";
    case ContentKind::Ico:
        return "an ICO icon";
    case ContentKind::Empty:
        return "an empty file";
    case ContentKind::Unknown:
        break;
    }
    return {};
}

std::optional<std::pair<int, int>> PictureSizeOf(std::span<const std::uint8_t> head,
                                                 bool namedGif) {
    const ContentKind kind = KindOfContent(head);
    if (namedGif && kind == ContentKind::Gif && head.size() >= 10)
        return std::make_pair(head[6] | head[7] << 8, head[8] | head[9] << 8);
    if (!namedGif && kind == ContentKind::Bmp && head.size() >= 26)
        return std::make_pair(static_cast<std::int32_t>(LoadLE32(&head[18])),
                              static_cast<std::int32_t>(LoadLE32(&head[22])));
    return std::nullopt;
}

std::optional<std::vector<std::uint32_t>> DecodeRawPicture(const std::string& path, int width,
                                                           int height) {
    if (width <= 0 || height <= 0 || width > 255 || height > 255)
        return std::nullopt;
    try {
        auto file = BinaryFile::TryOpenRead(path);
        if (!file)
            return std::nullopt;
        const std::size_t pixels = static_cast<std::size_t>(width) * height;
        const std::size_t maskWords = (pixels + 15) / 16;
        // At most 255 x 255 pixels: the picture is small enough to hold whole.
        std::vector<std::uint8_t> bytes(2 * pixels + 2 * maskWords);
        if (file->Read(bytes) != bytes.size())
            return std::nullopt;
        std::vector<std::uint32_t> argb(pixels);
        const std::uint8_t* mask = bytes.data() + 2 * pixels;
        for (std::size_t p = 0; p < pixels; ++p) {
            const auto v = static_cast<std::uint16_t>(LoadBE16(&bytes[2 * p]));
            const unsigned word = LoadBE16(&mask[2 * (p / 16)]);
            bool transparent = (word >> (15 - p % 16)) & 1;
            argb[p] = (transparent ? 0u : 0xFF000000u) | ExpandRawPixel(v);
        }
        return argb;
    } catch (const IoError&) {
        return std::nullopt;
    }
}

} // namespace zantrel
