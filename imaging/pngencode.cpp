// The PNG files this program writes: 8-bit truecolour, with an alpha channel
// only where a picture needs one. A picture whose pixels are each either
// opaque or fully transparent (every item's, as the phone shows it) is
// written as three bytes a pixel and one colour named transparent: a
// quarter less to compress, and files every editor reads.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "imaging/deflate.h"
#include "imaging/picture.h"

namespace zantrel {

namespace {

enum ColourType : std::uint8_t { Truecolour = 2, TruecolourAlpha = 6 };

// The transparent colour is taken from these, in this order: magenta first,
// the colour such pictures are drawn in where a tool ignores the key; none
// of the rest is a colour a phone's 16-bit pixel widens to.
constexpr std::uint32_t KeyBase = 0xFF0000; // 0xFF00kk, kk from 0xFF down
constexpr std::uint32_t NoKey = 0xFFFFFFFF;

struct Layout {
    ColourType type = TruecolourAlpha;
    std::uint32_t key = NoKey; // the transparent colour (0xRRGGBB), NoKey when none
};

Layout LayoutOf(const Picture& picture) {
    bool opaque = true;
    std::array<bool, 256> keyUsed{};
    for (const std::uint32_t p : picture.pixels) {
        const std::uint32_t alpha = p >> 24;
        if (alpha == 0xFF) {
            if ((p & 0xFFFF00) == KeyBase)
                keyUsed[p & 0xFF] = true;
        } else if (alpha == 0) {
            opaque = false;
        } else {
            return {}; // partly transparent: the alpha channel it is
        }
    }
    if (opaque)
        return {Truecolour, NoKey};
    for (int k = 0xFF; k >= 0; --k)
        if (!keyUsed[static_cast<std::size_t>(k)])
            return {Truecolour, KeyBase | static_cast<std::uint32_t>(k)};
    return {};
}

void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A chunk's length, type and CRC around data already appended from start.
void CloseChunk(std::vector<std::uint8_t>& out, std::size_t start) {
    const std::size_t length = out.size() - start - 8;
    for (int i = 0; i < 4; ++i)
        out[start + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    PutBE32(out, Crc32(0, out.data() + start + 4, out.size() - start - 4));
}

std::size_t OpenChunk(std::vector<std::uint8_t>& out, std::string_view type) {
    const std::size_t start = out.size();
    out.insert(out.end(), 4, 0);
    out.insert(out.end(), type.begin(), type.end());
    return start;
}

// Every row after the first by its difference from the row above (filter
// "Up"): as good as trying every filter on the pictures a phone shows, for
// a fraction of the time. Channels: R, G, B (and A); with three, a
// transparent pixel is the key colour.
template <int Channels>
std::vector<std::uint8_t> Filtered(const Picture& picture, std::uint32_t key) {
    const std::size_t width = static_cast<std::size_t>(picture.width);
    const std::size_t rowBytes = 1 + width * Channels;
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(picture.height));
    const auto shown = [key](std::uint32_t p) { return Channels == 3 && (p >> 24) == 0 ? key : p; };
    const std::uint32_t* above = nullptr;
    const std::uint32_t* pixel = picture.pixels.data();
    std::uint8_t* out = rows.data();
    for (int y = 0; y < picture.height; ++y, above = pixel, pixel += width) {
        *out++ = above ? 2 : 0;
        for (std::size_t x = 0; x < width; ++x, out += Channels) {
            const std::uint32_t p = shown(pixel[x]);
            const std::uint32_t q = above ? shown(above[x]) : 0;
            out[0] = static_cast<std::uint8_t>((p >> 16) - (q >> 16));
            out[1] = static_cast<std::uint8_t>((p >> 8) - (q >> 8));
            out[2] = static_cast<std::uint8_t>(p - q);
            if constexpr (Channels == 4)
                out[3] = static_cast<std::uint8_t>((p >> 24) - (q >> 24));
        }
    }
    return rows;
}

} // namespace

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    const Layout layout = LayoutOf(picture);
    const std::vector<std::uint8_t> rows = layout.type == Truecolour
                                               ? Filtered<3>(picture, layout.key)
                                               : Filtered<4>(picture, layout.key);
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.reserve(64 + rows.size() + rows.size() / 1000 + 64);
    std::size_t chunk = OpenChunk(png, "IHDR");
    PutBE32(png, static_cast<std::uint32_t>(picture.width));
    PutBE32(png, static_cast<std::uint32_t>(picture.height));
    png.insert(png.end(), {8, layout.type, 0, 0, 0}); // depth, type, deflate, filters, no interlace
    CloseChunk(png, chunk);
    if (layout.key != NoKey) {
        chunk = OpenChunk(png, "tRNS");
        for (int shift = 16; shift >= 0; shift -= 8)
            png.insert(png.end(), {0, static_cast<std::uint8_t>(layout.key >> shift)});
        CloseChunk(png, chunk);
    }
    chunk = OpenChunk(png, "IDAT");
    AppendDeflated(rows.data(), rows.size(), png);
    CloseChunk(png, chunk);
    CloseChunk(png, OpenChunk(png, "IEND"));
    return png;
}

} // namespace zantrel
