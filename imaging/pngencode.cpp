// The PNG files this program writes: 8-bit truecolour, with an alpha channel
// only where a picture needs one. A picture whose pixels are each either
// opaque or fully transparent (every item's, as the phone shows it) is
// written as three bytes a pixel and one colour named transparent: a
// quarter less to compress, and files every editor reads.
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/primitives.h"
#include "base/reused.h"

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

// Without a branch a pixel: on a noisy picture a branch would be guessed
// wrong every few pixels.
Layout LayoutOf(const Picture& picture) {
    std::uint32_t transparent = 0, partial = 0;
    std::array<std::uint8_t, 256> keyUsed{};
    for (const std::uint32_t p : picture.pixels) {
        const std::uint32_t alpha = p >> 24;
        // 1 or 0 by arithmetic, not by comparison: alpha 0 alone wraps below
        // zero, alpha 255 alone carries into bit 8.
        const std::uint32_t clear = ((alpha - 1) >> 8) & 1, opaque = (alpha + 1) >> 8;
        const std::uint32_t keyColour = (((p & 0xFFFF00) ^ KeyBase) - 1) >> 31;
        transparent |= clear;
        partial |= ~(clear | opaque) & 1;
        keyUsed[p & 0xFF] |= static_cast<std::uint8_t>(opaque & keyColour);
    }
    if (partial)
        return {}; // the alpha channel it is
    if (!transparent)
        return {Truecolour, NoKey};
    for (int k = 0xFF; k >= 0; --k)
        if (!keyUsed[static_cast<std::size_t>(k)])
            return {Truecolour, KeyBase | static_cast<std::uint32_t>(k)};
    return {};
}

void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.resize(out.size() + 4);
    StoreBE32(out.data() + out.size() - 4, value);
}

// A chunk's length, type and CRC around data already appended from start.
void CloseChunk(std::vector<std::uint8_t>& out, std::size_t start) {
    StoreBE32(out.data() + start, static_cast<std::uint32_t>(out.size() - start - 8));
    PutBE32(out, Crc32(0, out.data() + start + 4, out.size() - start - 4));
}

std::size_t OpenChunk(std::vector<std::uint8_t>& out, std::string_view type) {
    const std::size_t start = out.size();
    out.insert(out.end(), 4, 0);
    out.insert(out.end(), type.begin(), type.end());
    return start;
}

// The rows as the file holds them, into rows: each a filter byte, then R,
// G, B (and A) a pixel; with three channels a transparent pixel is the key
// colour. Every row after the first is its difference from the row above
// (filter "Up"): as good as trying every filter on the pictures a phone
// shows, for a fraction of the time.
template <int Channels>
void Filter(const Picture& picture, std::uint32_t key, std::vector<std::uint8_t>& rows) {
    const std::size_t width = static_cast<std::size_t>(picture.width);
    const std::size_t height = static_cast<std::size_t>(picture.height);
    const std::size_t rowBytes = 1 + width * Channels;
    rows.resize(rowBytes * height);
    const std::uint32_t* pixel = picture.pixels.data();
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* out = rows.data() + y * rowBytes;
        *out++ = y == 0 ? 0 : 2;
        for (std::size_t x = 0; x < width; ++x, out += Channels) {
            std::uint32_t p = *pixel++;
            if constexpr (Channels == 3) {
                // No branch: on noise it would be guessed wrong every few pixels.
                const std::uint32_t clear = 0u - static_cast<std::uint32_t>((p >> 24) == 0);
                p = (p & ~clear) | (key & clear);
            }
            out[0] = static_cast<std::uint8_t>(p >> 16);
            out[1] = static_cast<std::uint8_t>(p >> 8);
            out[2] = static_cast<std::uint8_t>(p);
            if constexpr (Channels == 4)
                out[3] = static_cast<std::uint8_t>(p >> 24);
        }
    }
    // From the bottom up, so that the row above is still unfiltered.
    for (std::size_t y = height; y-- > 1;) {
        std::uint8_t* row = rows.data() + y * rowBytes + 1;
        const std::uint8_t* above = row - rowBytes;
        for (std::size_t i = 0; i < rowBytes - 1; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] - above[i]);
    }
}

// The filtered rows of one picture at a time a thread, kept: a fresh block
// would be faulted in page by page for every picture.
auto TakeRows() {
    static Reused<std::vector<std::uint8_t>, std::unique_ptr<std::vector<std::uint8_t>> (*)()> pool(
        [] { return std::make_unique<std::vector<std::uint8_t>>(); });
    return pool.Take();
}

} // namespace

std::vector<std::uint8_t> EncodePng(const Picture& picture) {
    const Layout layout = LayoutOf(picture);
    const auto lease = TakeRows();
    std::vector<std::uint8_t>& rows = *lease;
    if (layout.type == Truecolour)
        Filter<3>(picture, layout.key, rows);
    else
        Filter<4>(picture, layout.key, rows);
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
