#include "imaging/decode.h"

#include <array>

#include "base/fileio.h"
#include "base/primitives.h"
#include "imaging/bmpraw.h"

namespace zantrel {

PictureHead ReadPictureHead(const std::string& path, bool namedGif) {
    PictureHead head;
    try {
        auto file = BinaryFile::TryOpenRead(path);
        if (!file)
            return head;
        std::array<std::uint8_t, 26> bytes{}; // a BMP's header up to its height
        const std::size_t n = file->Read(bytes);
        const bool bmp = n >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
        const bool gif = n >= 3 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F';
        head.gifOrBmp = bmp || (gif && n >= 4 && bytes[3] == '8');
        if (namedGif && gif && n >= 10)
            head.size = std::make_pair(bytes[6] | bytes[7] << 8, bytes[8] | bytes[9] << 8);
        else if (!namedGif && bmp && n == bytes.size())
            head.size = std::make_pair(static_cast<std::int32_t>(LoadLE32(&bytes[18])),
                                       static_cast<std::int32_t>(LoadLE32(&bytes[22])));
    } catch (const IoError&) {
        return {};
    }
    return head;
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
