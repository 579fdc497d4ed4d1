#include "imaging/decode.h"

#include <array>

#include "base/fileio.h"
#include "base/primitives.h"
#include "imaging/bmpraw.h"

namespace zantrel {

std::optional<std::pair<int, int>> ReadBmpSize(const std::string& path) {
    try {
        auto file = BinaryFile::TryOpenRead(path);
        if (!file)
            return std::nullopt;
        std::array<std::uint8_t, 26> head{};
        if (file->Read(head) != head.size() || head[0] != 'B' || head[1] != 'M')
            return std::nullopt;
        return std::make_pair(static_cast<std::int32_t>(LoadLE32(&head[18])),
                              static_cast<std::int32_t>(LoadLE32(&head[22])));
    } catch (const IoError&) {
        return std::nullopt;
    }
}

bool LooksLikeGifOrBmp(const std::string& path) {
    try {
        auto file = BinaryFile::TryOpenRead(path);
        std::array<std::uint8_t, 4> head{};
        if (!file || file->Read(head) < 2)
            return false;
        if (head[0] == 'B' && head[1] == 'M')
            return true;
        return head[0] == 'G' && head[1] == 'I' && head[2] == 'F' && head[3] == '8';
    } catch (const IoError&) {
        return false;
    }
}

std::optional<std::pair<int, int>> ReadGifSize(const std::string& path) {
    try {
        auto file = BinaryFile::TryOpenRead(path);
        if (!file)
            return std::nullopt;
        std::array<std::uint8_t, 10> head{};
        if (file->Read(head) != head.size() || head[0] != 'G' || head[1] != 'I' || head[2] != 'F')
            return std::nullopt;
        return std::make_pair(head[6] | head[7] << 8, head[8] | head[9] << 8);
    } catch (const IoError&) {
        return std::nullopt;
    }
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
