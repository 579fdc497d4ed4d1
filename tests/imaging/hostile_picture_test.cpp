// Picture files as a person may have them, honest or not: each one decoded
// whole or refused in plain words, and a header that claims more pixels than
// its file could hold refused before anything large is allocated (this
// program's own allocation counter, below, measures it).
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <vector>

#include "imaging/gifwrite.h"
#include "imaging/picture.h"
#include "imaging/stbimage.h"

#include "support/bytes.h"
#include "support/tempfolder.h"

namespace {

// Every allocation through operator new, the decoder's included, counted
// while counting is on: the bytes held at the most.
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_held{0};
std::atomic<std::size_t> g_peak{0};
constexpr std::size_t Front = alignof(std::max_align_t);

void* Allocate(std::size_t size) {
    auto* raw = static_cast<unsigned char*>(std::malloc(size + Front));
    if (!raw)
        return nullptr;
    *reinterpret_cast<std::size_t*>(raw) = size;
    if (g_counting) {
        const std::size_t held = g_held += size;
        std::size_t peak = g_peak;
        while (held > peak && !g_peak.compare_exchange_weak(peak, held)) {
        }
    }
    return raw + Front;
}

void Release(void* block) {
    if (!block)
        return;
    auto* raw = static_cast<unsigned char*>(block) - Front;
    const std::size_t size = *reinterpret_cast<std::size_t*>(raw);
    if (g_counting)
        g_held -= std::min<std::size_t>(size, g_held);
    std::free(raw);
}

} // namespace

void* operator new(std::size_t size) {
    if (void* block = Allocate(size))
        return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }

namespace zantrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::PutLE32;
using test::TempFolder;

Bytes FromStb(bool (*write)(stbi_write_func*, void*, const Picture&), const Picture& picture) {
    Bytes out;
    const auto append = [](void* user, void* data, int size) {
        auto* bytes = static_cast<const std::uint8_t*>(data);
        static_cast<Bytes*>(user)->insert(static_cast<Bytes*>(user)->end(), bytes, bytes + size);
    };
    EXPECT_TRUE(write(append, &out, picture));
    return out;
}

Bytes Jpeg(const Picture& picture) {
    return FromStb(
        [](stbi_write_func* f, void* c, const Picture& p) {
            return stbi_write_jpg_to_func(f, c, p.width, p.height, 4, RgbaBytes(p).data(), 90) != 0;
        },
        picture);
}

Bytes Tga(const Picture& picture) {
    return FromStb(
        [](stbi_write_func* f, void* c, const Picture& p) {
            return stbi_write_tga_to_func(f, c, p.width, p.height, 4, RgbaBytes(p).data()) != 0;
        },
        picture);
}

// A BMP of bits 1, 4, 8 (a grey palette), 16 (5-5-5), 24 or 32 per pixel,
// of width x height, rows top-down when the height is negative; pixel
// (x, y) of a stored row has the value (x + y) within the depth.
Bytes Bmp(int width, int height, int bits) {
    const int rows = std::abs(height);
    const int colours = bits <= 8 ? 1 << bits : 0;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
    const std::size_t stride = (rowBytes + 3) / 4 * 4;
    const std::size_t offset = 54 + 4 * static_cast<std::size_t>(colours);
    Bytes b(offset + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLE32(b, 2, static_cast<std::uint32_t>(b.size()));
    PutLE32(b, 10, static_cast<std::uint32_t>(offset));
    PutLE32(b, 14, 40);
    PutLE32(b, 18, static_cast<std::uint32_t>(width));
    PutLE32(b, 22, static_cast<std::uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<std::uint8_t>(bits);
    for (int i = 0; i < colours; ++i)
        for (int c = 0; c < 3; ++c)
            b[54 + 4 * i + c] = static_cast<std::uint8_t>(i * 255 / (colours - 1));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t bit = static_cast<std::size_t>(x) * bits;
            const unsigned value = static_cast<unsigned>(x + y) & ((1u << std::min(bits, 16)) - 1);
            std::uint8_t* row = &b[offset + stride * y];
            if (bits < 8)
                row[bit / 8] |= static_cast<std::uint8_t>(value << (8 - bits - bit % 8));
            else
                for (int k = 0; k < bits / 8; ++k)
                    row[bit / 8 + k] = static_cast<std::uint8_t>(k < 2 ? value >> (8 * k) : 0xFF);
        }
    return b;
}

Bytes Cut(Bytes bytes, std::size_t less) {
    bytes.resize(bytes.size() - less);
    return bytes;
}

// A picture with every pixel different, so no format compresses it to nothing.
Picture Noise(int width, int height) {
    Picture picture = FilledPicture(width, height, 0);
    std::uint32_t state = 12345;
    for (std::uint32_t& p : picture.pixels) {
        state = state * 1664525u + 1013904223u;
        p = 0xFF000000u | (state >> 8);
    }
    return picture;
}

struct Decoded {
    std::optional<Picture> picture;
    std::string why;
    std::size_t peak = 0; // bytes allocated at the most while decoding
};

Decoded Decode(const TempFolder& dir, const Bytes& bytes) {
    const std::string path = dir / "picture";
    test::WriteAll(path, bytes);
    Decoded out;
    g_held = 0;
    g_peak = 0;
    g_counting = true;
    out.picture = DecodePictureFile(path, &out.why);
    g_counting = false;
    out.peak = g_peak;
    return out;
}

TEST(HostilePictures, HonestFilesDecodeWhole) {
    TempFolder dir;
    // Every depth the decoder reads, stored bottom-up and top-down alike:
    // the top row comes first either way.
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int height : {30, -30}) {
            const Decoded out = Decode(dir, Bmp(40, height, bits));
            ASSERT_TRUE(out.picture) << bits << " bits, height " << height << ": " << out.why;
            EXPECT_EQ(out.picture->width, 40);
            EXPECT_EQ(out.picture->height, 30);
            const Decoded other = Decode(dir, Bmp(40, -height, bits));
            ASSERT_TRUE(other.picture);
            for (int y = 0; y < 30; ++y)
                EXPECT_EQ(out.picture->At(7, y), other.picture->At(7, 29 - y)) << bits;
        }
    }
    const Picture noise = Noise(33, 17);
    for (const Bytes& file : {EncodePng(noise), Jpeg(noise), Tga(noise), EncodeGif(noise)}) {
        const Decoded out = Decode(dir, file);
        ASSERT_TRUE(out.picture) << out.why;
        EXPECT_EQ(std::pair(out.picture->width, out.picture->height), std::pair(33, 17));
    }
}

TEST(HostilePictures, FilesCutShortAreRefusedInPlainWords) {
    TempFolder dir;
    const Picture noise = Noise(40, 30);
    const Bytes gif = EncodeGif(noise);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"BMP, one row's end missing", Cut(Bmp(40, 30, 24), 10)},
        {"BMP, half its rows missing", Cut(Bmp(40, -30, 8), 15 * 40)},
        {"GIF", Cut(gif, gif.size() / 3)},
        {"GIF, the trailer and the last block", Cut(gif, 3)},
        {"PNG", Cut(EncodePng(noise), 100)},
        {"JPEG", Cut(Jpeg(noise), 200)},
        {"TGA", Cut(Tga(noise), 100)},
        {"a header alone", Cut(Bmp(40, 30, 24), 40 * 30 * 3 + 10)},
    };
    for (const auto& [what, bytes] : files) {
        const Decoded out = Decode(dir, bytes);
        EXPECT_FALSE(out.picture) << what;
        EXPECT_EQ(out.why, "the file is cut short") << what;
    }
}

// A small file whose header claims 8000 x 8000 pixels: refused from the
// header, with next to nothing allocated.
TEST(HostilePictures, BombsAreRefusedBeforeAnythingLargeIsAllocated) {
    TempFolder dir;
    const Picture small = Noise(8, 8);
    Bytes bmp = Bmp(40, 30, 24); // 3,654 bytes
    PutLE32(bmp, 18, 8000);
    PutLE32(bmp, 22, 8000);
    Bytes png = EncodePng(small);
    test::PutBE32(png, 16, 8000);
    test::PutBE32(png, 20, 8000);
    Bytes jpeg = Jpeg(small); // the frame's height and width follow its marker
    for (std::size_t at = 2; at + 8 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xC0) {
            jpeg[at + 5] = jpeg[at + 7] = 8000 >> 8;
            jpeg[at + 6] = jpeg[at + 8] = 8000 & 0xFF;
            break;
        }
    // The logical screen of 8000 x 8000 with a frame of one pixel: 35 bytes.
    const Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0x40, 0x1F, 0x40, 0x1F, 0x80, 0,
                       0,   0,   0,   0,   255, 255, 255,  0x2C, 0,    0,    0,    0,
                       1,   0,   1,   0,   0,   2,   2,    0x44, 0x01, 0,    0x3B};
    Bytes tga = Tga(small);
    tga[12] = tga[14] = 8000 & 0xFF;
    tga[13] = tga[15] = 8000 >> 8;
    for (const auto& [what, bytes] : std::vector<std::pair<std::string, Bytes>>{
             {"BMP", bmp}, {"PNG", png}, {"JPEG", jpeg}, {"GIF", gif}, {"TGA", tga}}) {
        const Decoded out = Decode(dir, bytes);
        EXPECT_FALSE(out.picture) << what;
        EXPECT_EQ(out.why, "its header says 8000 × 8000 pixels but the file holds too few bytes "
                           "for that")
            << what << ", " << bytes.size() << " bytes";
        EXPECT_LT(out.peak, 256u * 1024) << what;
    }
    ASSERT_EQ(gif.size(), 35u);

    // An honest file past the caps is refused from its header too.
    const Bytes wide = EncodePng(FilledPicture(9000, 2, 0xFF000000u));
    const Decoded out = Decode(dir, wide);
    EXPECT_EQ(out.why, "it is 9000 × 2 pixels, more than this program decodes (at most 8192 a side "
                       "and 24 million in all)");
    EXPECT_LT(out.peak, 256u * 1024);
}

TEST(HostilePictures, OtherFilesAreNamedNotDecoded) {
    TempFolder dir;
    Bytes rle = Bmp(4, 4, 8);
    PutLE32(rle, 30, 1);
    Bytes unknownChunk = EncodePng(Noise(4, 4));
    // A critical chunk the decoder does not know, named with an escape
    // sequence: its bytes never reach the message.
    const Bytes chunk = {0, 0, 0, 0, 0x1B, '[', '2', 'J', 0, 0, 0, 0};
    unknownChunk.insert(unknownChunk.begin() + 33, chunk.begin(), chunk.end());
    const std::vector<std::pair<Bytes, std::string>> files = {
        {{'h', 'e', 'l', 'l', 'o'}, "it is not a picture file this program reads"},
        {{}, "the file is empty"},
        {rle, "it is a compressed (RLE) BMP, which this program does not read"},
        {{'I', 'I', 0x2A, 0, 8, 0, 0, 0},
         "it is a TIFF picture, a kind of picture this program "
         "does not read"},
        {unknownChunk, "its pixels are damaged"},
    };
    for (const auto& [bytes, why] : files) {
        const Decoded out = Decode(dir, bytes);
        EXPECT_FALSE(out.picture);
        EXPECT_EQ(out.why, why);
    }
    std::string why;
    EXPECT_FALSE(DecodePictureFile(dir / "missing.png", &why));
    EXPECT_EQ(why, "it cannot be read");
}

} // namespace
} // namespace zantrel
