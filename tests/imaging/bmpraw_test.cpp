#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/fileio.h"

#include "imaging/bmpraw.h"
#include "imaging/decode.h"

#include "support/bytes.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::LE32;
using test::PutLE32;
using test::ReadAll;
using test::Slice;
using test::TempFolder;
using test::WriteAll;
using Bytes = std::vector<std::uint8_t>;

std::uint16_t Rgb565(unsigned r5, unsigned g6, unsigned b5) {
    return static_cast<std::uint16_t>((r5 << 11) | (g6 << 5) | b5);
}

// Raw picture bytes: big-endian pixels, then the given mask words.
Bytes Raw(const std::vector<std::uint16_t>& pixels, const std::vector<std::uint16_t>& mask) {
    Bytes out;
    for (auto p : pixels) {
        out.push_back(static_cast<std::uint8_t>(p >> 8));
        out.push_back(static_cast<std::uint8_t>(p));
    }
    for (auto m : mask) {
        out.push_back(static_cast<std::uint8_t>(m >> 8));
        out.push_back(static_cast<std::uint8_t>(m));
    }
    return out;
}

TEST(RawPictureSize, PixelsAndWholeMaskWords) {
    EXPECT_EQ(RawPictureSize(1, 1), 4);
    EXPECT_EQ(RawPictureSize(3, 2), 14);
    EXPECT_EQ(RawPictureSize(16, 1), 34);
    EXPECT_EQ(RawPictureSize(17, 1), 38);
    EXPECT_EQ(RawPictureSize(176, 220), 82280);
    EXPECT_EQ(RawPictureSize(255, 255), 138180);
    EXPECT_EQ(RawPictureSize(0, 9), 0);
}

TEST(RawToBmp, OneByOnePictureIsExact) {
    TempFolder tmp;
    WriteAll(tmp / "1.raw", Raw({Rgb565(31, 0, 3)}, {0x0000}));
    RawToBmp(tmp / "1.raw", 1, 1, tmp / "1.bmp", Rgb{255, 0, 255});
    const Bytes expected = {
        'B', 'M', 58,  0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,        // file header
        40,  0,   0,   0, 1, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0, // size, W, H, planes, bits
        0,   0,   0,   0, 4, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, // compression, image size, res
        0,   0,   0,   0, 0, 0, 0, 0,                           // colours
        25,  0,   255, 0};                                      // B G R, one pad byte
    EXPECT_EQ(ReadAll(tmp / "1.bmp"), expected);

    BmpToRaw(tmp / "1.bmp", tmp / "back.raw", Rgb{255, 0, 255});
    EXPECT_EQ(ReadAll(tmp / "back.raw"), (Bytes{0xF8, 0x03, 0x00, 0x00}));
}

TEST(RawToBmp, RowPaddingAndSizesFollowWidth) {
    TempFolder tmp;
    // W = 1..5 give P = 1, 2, 3, 0, 1: rows of 4, 8, 12, 12, 16 bytes.
    const std::size_t rowSizes[] = {4, 8, 12, 12, 16};
    for (int w = 1; w <= 5; ++w) {
        SCOPED_TRACE(w);
        Bytes raw(static_cast<std::size_t>(4 * w), 0xFF); // white pixels, then an empty mask
        raw.insert(raw.end(), {0, 0});
        WriteAll(tmp / "p.raw", raw);
        RawToBmp(tmp / "p.raw", w, 2, tmp / "p.bmp", Rgb{3, 2, 1});
        Bytes bmp = ReadAll(tmp / "p.bmp");
        const std::size_t row = rowSizes[w - 1];
        ASSERT_EQ(bmp.size(), 54 + 2 * row);
        EXPECT_EQ(LE32(bmp, 2), 54 + 2 * row);
        EXPECT_EQ(LE32(bmp, 34), 2 * row);
        for (std::size_t r = 0; r < 2; ++r)
            for (std::size_t i = 0; i < row; ++i)
                EXPECT_EQ(bmp[54 + r * row + i], i < 3u * w ? 255 : 0)
                    << "row " << r << " byte " << i;
    }

    // 176 x 220: file size 116214 and image size 116160, all four bytes.
    WriteAll(tmp / "big.raw", Bytes(82280, 0));
    RawToBmp(tmp / "big.raw", 176, 220, tmp / "big.bmp", Rgb{3, 2, 1});
    Bytes big = ReadAll(tmp / "big.bmp");
    EXPECT_EQ(big.size(), 116214u);
    EXPECT_EQ(Slice(big, 2, 4), (Bytes{0xF6, 0xC5, 0x01, 0x00}));
    EXPECT_EQ(Slice(big, 18, 8), (Bytes{0xB0, 0, 0, 0, 0xDC, 0, 0, 0}));
    EXPECT_EQ(Slice(big, 34, 4), (Bytes{0xC0, 0xC5, 0x01, 0x00}));
}

TEST(RawToBmp, ExpandsByRoundingNotReplication) {
    TempFolder tmp;
    WriteAll(tmp / "e.raw", Raw({Rgb565(3, 11, 7), Rgb565(24, 48, 28), Rgb565(31, 63, 31)}, {0}));
    RawToBmp(tmp / "e.raw", 3, 1, tmp / "e.bmp", Rgb{3, 2, 1});
    EXPECT_EQ(Slice(ReadAll(tmp / "e.bmp"), 54, 12),
              (Bytes{58, 45, 25, 230, 194, 197, 255, 255, 255, 0, 0, 0}));
}

TEST(BmpToRaw, ReducesByRoundingNotShift) {
    TempFolder tmp;
    // 1 x 1 BMP with blue 5, green 3, red 5.
    Bytes bmp(58, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[18] = 1;
    bmp[22] = 1;
    bmp[54] = 5;
    bmp[55] = 3;
    bmp[56] = 5;
    WriteAll(tmp / "r.bmp", bmp);
    BmpToRaw(tmp / "r.bmp", tmp / "r.raw", Rgb{255, 0, 255});
    EXPECT_EQ(ReadAll(tmp / "r.raw"), (Bytes{0x08, 0x21, 0x00, 0x00}));
}

// Odd width and distinct colours, so a row flip or a B/R swap shows.
TEST(RawToBmp, OddWidthPictureFlipsRowsAndStoresBlueFirst) {
    TempFolder tmp;
    const std::vector<std::uint16_t> pixels = {
        Rgb565(31, 0, 0), Rgb565(0, 63, 0), Rgb565(0, 0, 31), // top row
        Rgb565(3, 0, 0),  Rgb565(0, 11, 0), Rgb565(0, 0, 7)}; // bottom row
    WriteAll(tmp / "f.raw", Raw(pixels, {0x0000}));
    RawToBmp(tmp / "f.raw", 3, 2, tmp / "f.bmp", Rgb{255, 0, 255});
    Bytes bmp = ReadAll(tmp / "f.bmp");
    ASSERT_EQ(bmp.size(), 78u);
    EXPECT_EQ(Slice(bmp, 54, 24), (Bytes{0, 0, 25,  0, 45,  0, 58,  0, 0, 0, 0, 0,    // bottom row
                                         0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0})); // top row
    BmpToRaw(tmp / "f.bmp", tmp / "back.raw", Rgb{255, 0, 255});
    EXPECT_EQ(ReadAll(tmp / "back.raw"), Raw(pixels, {0x0000}));
}

TEST(RawToBmp, MaskBitsRunAcrossRowsFromTheTop) {
    TempFolder tmp;
    // W = 3, H = 2: bits 15..10 of the first word are (0,0) (1,0) (2,0) (0,1) (1,1) (2,1).
    // Mark (0,0) and (2,1); the unused low bits are set too and must not matter.
    const std::vector<std::uint16_t> pixels(6, Rgb565(0, 63, 0));
    WriteAll(tmp / "m.raw", Raw(pixels, {0x87FF}));
    RawToBmp(tmp / "m.raw", 3, 2, tmp / "m.bmp", Rgb{30, 20, 10});
    Bytes bmp = ReadAll(tmp / "m.bmp");
    EXPECT_EQ(Slice(bmp, 54, 24), (Bytes{0,  255, 0,  0, 255, 0, 10, 20,  30, 0, 0, 0, // bottom row
                                         10, 20,  30, 0, 255, 0, 0,  255, 0,  0, 0, 0})); // top row

    // Back: transparent pixels take the replacer's raw value; unused bits are 0.
    BmpToRaw(tmp / "m.bmp", tmp / "back.raw", Rgb{30, 20, 10});
    const std::uint16_t replacer = Rgb565(4, 5, 1); // 30 -> 4, 20 -> 5, 10 -> 1
    EXPECT_EQ(ReadAll(tmp / "back.raw"),
              Raw({replacer, pixels[1], pixels[2], pixels[3], pixels[4], replacer}, {0x8400}));

    // Bytes after the mask change nothing.
    Bytes trailing = Raw(pixels, {0x87FF});
    trailing.insert(trailing.end(), {0xFF, 0xFF, 0x12, 0x34});
    WriteAll(tmp / "t.raw", trailing);
    RawToBmp(tmp / "t.raw", 3, 2, tmp / "t.bmp", Rgb{30, 20, 10});
    EXPECT_EQ(ReadAll(tmp / "t.bmp"), bmp);
}

// Mask bytes wholly inside a row (all clear, all set, mixed) and bytes shared
// by two rows, in both directions, against the plain per-pixel rule.
TEST(Conversion, MaskBytesInsideAndAcrossRowsAgreeWithEachPixel) {
    TempFolder tmp;
    for (const int width : {1, 7, 8, 13, 17, 24}) {
        SCOPED_TRACE(width);
        const int height = 5;
        const int count = width * height;
        std::vector<std::uint16_t> pixels;
        std::uint32_t seed = 12345u + static_cast<std::uint32_t>(width);
        for (int i = 0; i < count; ++i) {
            seed = seed * 1103515245u + 12345u;
            pixels.push_back(static_cast<std::uint16_t>(seed >> 16));
        }
        // Transparent: a run of 8 from pixel 8, the odd pixels of 16..23 and pixel 30.
        auto transparent = [](int i) {
            return (i >= 8 && i < 16) || (i >= 16 && i < 24 && i % 2 == 1) || i == 30;
        };
        std::vector<std::uint16_t> mask(static_cast<std::size_t>((count + 15) / 16), 0);
        for (int i = 0; i < count; ++i)
            if (transparent(i))
                mask[static_cast<std::size_t>(i / 16)] |=
                    static_cast<std::uint16_t>(0x8000u >> (i % 16));
        WriteAll(tmp / "p.raw", Raw(pixels, mask));
        RawToBmp(tmp / "p.raw", width, height, tmp / "p.bmp", Rgb{30, 20, 10});

        const Bytes bmp = ReadAll(tmp / "p.bmp");
        const std::size_t rowSize = static_cast<std::size_t>((3 * width + 3) / 4 * 4);
        ASSERT_EQ(bmp.size(), 54 + rowSize * height);
        std::vector<std::uint16_t> back;
        for (int i = 0; i < count; ++i) {
            const int r = i / width;
            const int c = i % width;
            const std::size_t at = 54 + rowSize * static_cast<std::size_t>(height - 1 - r) +
                                   3 * static_cast<std::size_t>(c);
            const unsigned p = pixels[static_cast<std::size_t>(i)];
            const Bytes want =
                transparent(i) ? Bytes{10, 20, 30}
                               : Bytes{static_cast<std::uint8_t>(((p & 31) * 255 + 15) / 31),
                                       static_cast<std::uint8_t>((((p >> 5) & 63) * 255 + 31) / 63),
                                       static_cast<std::uint8_t>(((p >> 11) * 255 + 15) / 31)};
            ASSERT_EQ(Slice(bmp, at, 3), want) << "pixel " << i;
            // 10, 20, 30 is no expanded colour: only the transparent pixels match it.
            back.push_back(transparent(i) ? Rgb565(4, 5, 1) : static_cast<std::uint16_t>(p));
        }
        BmpToRaw(tmp / "p.bmp", tmp / "back.raw", Rgb{30, 20, 10});
        EXPECT_EQ(ReadAll(tmp / "back.raw"), Raw(back, mask));
    }
}

TEST(Conversion, EveryComponentValueRoundTrips) {
    TempFolder tmp;
    // 64 x 2: every 6-bit green, every 5-bit red and blue, twice over.
    std::vector<std::uint16_t> pixels;
    for (unsigned i = 0; i < 128; ++i)
        pixels.push_back(Rgb565(i % 32, i % 64, (31 - i % 32 + i / 64) % 32));
    // Mask over 128 pixels: eight words; a few transparent pixels in the mix.
    const std::vector<std::uint16_t> mask = {0x8001, 0, 0, 0, 0, 0, 0, 0x0001};
    WriteAll(tmp / "a.raw", Raw(pixels, mask));
    // The replacer (1, 1, 1) is no expanded colour, so no opaque pixel matches it.
    RawToBmp(tmp / "a.raw", 64, 2, tmp / "a.bmp", Rgb{1, 1, 1});
    BmpToRaw(tmp / "a.bmp", tmp / "b.raw", Rgb{1, 1, 1});
    std::vector<std::uint16_t> expected = pixels;
    for (int p : {0, 15, 127})
        expected[static_cast<std::size_t>(p)] = 0; // (1, 1, 1) reduces to 0
    EXPECT_EQ(ReadAll(tmp / "b.raw"), Raw(expected, mask));

    // An opaque pixel whose colour expands to the replacer comes back transparent.
    WriteAll(tmp / "m.raw", Raw({Rgb565(31, 0, 31), Rgb565(31, 1, 31)}, {0x0000}));
    RawToBmp(tmp / "m.raw", 2, 1, tmp / "m.bmp", Rgb{255, 0, 255});
    BmpToRaw(tmp / "m.bmp", tmp / "m2.raw", Rgb{255, 0, 255});
    EXPECT_EQ(ReadAll(tmp / "m2.raw"), Raw({0xF81F, 0xF83F}, {0x8000}));
}

TEST(Conversion, PicturesWiderThan176ConvertLikeAnyOther) {
    TempFolder tmp;
    for (int w : {200, 255}) {
        SCOPED_TRACE(w);
        std::vector<std::uint16_t> pixels;
        for (int i = 0; i < 3 * w; ++i)
            pixels.push_back(static_cast<std::uint16_t>(i * 331 + 7));
        std::vector<std::uint16_t> mask(static_cast<std::size_t>((3 * w + 15) / 16), 0);
        WriteAll(tmp / "w.raw", Raw(pixels, mask));
        RawToBmp(tmp / "w.raw", w, 3, tmp / "w.bmp", Rgb{1, 1, 1});
        Bytes bmp = ReadAll(tmp / "w.bmp");
        const std::size_t row = w == 200 ? 600 : 768;
        ASSERT_EQ(bmp.size(), 54 + 3 * row);
        // The last pixel of the top row, from its own two bytes: 0x0154 when
        // 200 wide, 0x4871 when 255 wide.
        const std::size_t at = 54 + 2 * row + 3 * static_cast<std::size_t>(w - 1);
        EXPECT_EQ(Slice(bmp, at, 3), w == 200 ? (Bytes{165, 40, 0}) : (Bytes{140, 12, 74}));
        BmpToRaw(tmp / "w.bmp", tmp / "back.raw", Rgb{1, 1, 1});
        EXPECT_EQ(ReadAll(tmp / "back.raw"), Raw(pixels, mask));
    }
}

TEST(Conversion, ShortInputsReadAsZeros) {
    TempFolder tmp;
    // 2 x 2 raw with three bytes: pixel 0 whole, pixel 1's high byte, no mask.
    WriteAll(tmp / "s.raw", Bytes{0xF8, 0x00, 0x07});
    RawToBmp(tmp / "s.raw", 2, 2, tmp / "s.bmp", Rgb{9, 9, 9});
    Bytes bmp = ReadAll(tmp / "s.bmp");
    ASSERT_EQ(bmp.size(), 70u);
    // Pixel 1 is 0x0700 (green 56); the missing mask leaves every pixel opaque.
    EXPECT_EQ(Slice(bmp, 54, 16), (Bytes{0, 0, 0, 0, 0, 0, 0, 0,        // bottom row
                                         0, 0, 255, 0, 227, 0, 0, 0})); // top row

    // A BMP cut inside its bottom row: the missing bytes are zero pixels.
    Bytes cut(Slice(bmp, 0, 57));
    cut[54] = 255; // blue of the bottom-left pixel
    WriteAll(tmp / "cut.bmp", cut);
    BmpToRaw(tmp / "cut.bmp", tmp / "cut.raw", Rgb{1, 1, 1});
    EXPECT_EQ(ReadAll(tmp / "cut.raw"), Raw({0, 0, 0x001F, 0}, {0x0000}));

    // A file too short to hold a width byte converts to an empty raw.
    WriteAll(tmp / "tiny.bmp", Bytes{'B', 'M', 1});
    BmpToRaw(tmp / "tiny.bmp", tmp / "tiny.raw", Rgb{1, 1, 1});
    EXPECT_TRUE(ReadAll(tmp / "tiny.raw").empty());
}

TEST(Conversion, EmptySideGivesHeaderOnlyAndEmptyRaw) {
    TempFolder tmp;
    WriteAll(tmp / "z.raw", Bytes{1, 2, 3, 4});
    for (auto [w, h] : {std::pair{0, 5}, std::pair{7, 0}}) {
        RawToBmp(tmp / "z.raw", w, h, tmp / "z.bmp", Rgb{255, 0, 255});
        Bytes bmp = ReadAll(tmp / "z.bmp");
        ASSERT_EQ(bmp.size(), 54u);
        EXPECT_EQ(LE32(bmp, 2), 54u);
        EXPECT_EQ(LE32(bmp, 18), static_cast<std::uint32_t>(w));
        EXPECT_EQ(LE32(bmp, 22), static_cast<std::uint32_t>(h));
        EXPECT_EQ(LE32(bmp, 34), 0u);
        WriteAll(tmp / "z2.raw", Bytes{9, 9});
        BmpToRaw(tmp / "z.bmp", tmp / "z2.raw", Rgb{255, 0, 255});
        EXPECT_TRUE(ReadAll(tmp / "z2.raw").empty());
    }
}

TEST(Conversion, MissingSourceThrowsAndWritesNothing) {
    TempFolder tmp;
    try {
        RawToBmp(tmp / "none.raw", 2, 2, tmp / "out.bmp", Rgb{0, 0, 0});
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 2);
    }
    EXPECT_THROW(BmpToRaw(tmp / "none.bmp", tmp / "out.raw", Rgb{0, 0, 0}), IoError);
    EXPECT_TRUE(test::ListFiles(tmp.Path()).empty());
}

TEST(KindOfContent, NamesWhatTheFirstBytesSay) {
    const std::pair<Bytes, std::string> cases[] = {
        {{'G', 'I', 'F', '8', '9', 'a'}, "a GIF picture"},
        {{'B', 'M'}, "a BMP picture"},
        {{0x89, 'P', 'N', 'G', '\r', '\n'}, "a PNG picture"},
        {{0xFF, 0xD8, 0xFF, 0xE0}, "a JPEG picture"},
        {{'I', 'I', 0x2A, 0x00}, "a TIFF picture"},
        {{'M', 'M', 0x00, 0x2A}, "a TIFF picture"},
        {{'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'E', 'B', 'P'}, "a WebP picture"},
        {{0x00, 0x00, 0x01, 0x00, 0x01}, "an ICO icon"},
        {{}, "an empty file"},
        {{'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'A', 'V', 'E'}, ""},
        {{'G', 'I', 'F'}, ""},
    };
    for (const auto& [head, name] : cases)
        EXPECT_EQ(ContentKindName(KindOfContent(head)), name) << name;
}

TEST(CheckPictureBmp, AcceptsOnlyTheSlotsOwnKindOfBmp) {
    TempFolder tmp;
    WriteAll(tmp / "src.raw", Bytes(14, 0));
    RawToBmp(tmp / "src.raw", 3, 2, tmp / "3.bmp", Rgb{0, 0, 0});
    const Bytes good = ReadAll(tmp / "3.bmp");
    EXPECT_EQ(CheckPictureBmp(tmp / "3.bmp", 3, 2), std::nullopt);

    const std::string mustBe = "; it must be a plain 24-bit BMP of 3 x 2 pixels.";
    auto check = [&](Bytes bmp) {
        WriteAll(tmp / "3.bmp", bmp);
        return CheckPictureBmp(tmp / "3.bmp", 3, 2).value_or("accepted");
    };
    Bytes b = good;
    b[28] = 8;
    EXPECT_EQ(check(b), "3.bmp: 8-bit colour" + mustBe);
    b[28] = 32;
    EXPECT_EQ(check(b), "3.bmp: 32-bit colour" + mustBe);
    b = good;
    b[30] = 1;
    EXPECT_EQ(check(b), "3.bmp: compressed" + mustBe);
    b = good;
    PutLE32(b, 22, static_cast<std::uint32_t>(-2));
    EXPECT_EQ(check(b), "3.bmp: stored top-down" + mustBe);
    b = good;
    b[10] = 138;
    EXPECT_EQ(check(b), "3.bmp: extra data before its pixels" + mustBe);
    b = good;
    b[14] = 108;
    EXPECT_EQ(check(b), "3.bmp: a newer kind of BMP header" + mustBe);
    b[14] = 12;
    EXPECT_EQ(check(b), "3.bmp: an older kind of BMP header" + mustBe);
    b = good;
    b[1] = 'A';
    EXPECT_EQ(check(b), "3.bmp: not a BMP picture" + mustBe);
    EXPECT_EQ(check(Slice(good, 0, 40)), "3.bmp: cut short inside its header" + mustBe);
    EXPECT_EQ(check({}), "3.bmp: an empty file" + mustBe);
    EXPECT_EQ(check({0x89, 'P', 'N', 'G', '\r', '\n'}), "3.bmp: a PNG picture, not a BMP" + mustBe);
    b = good;
    b[18] = 4;
    EXPECT_EQ(check(b), "3.bmp: 4 x 2 pixels" + mustBe);
    b = good;
    b[23] = 1; // height 258: its low byte alone would pass
    EXPECT_EQ(check(b), "3.bmp: 3 x 258 pixels" + mustBe);
    // Every fault of the header in one line.
    b = good;
    b[28] = 32;
    b[18] = 5;
    PutLE32(b, 22, static_cast<std::uint32_t>(-4));
    EXPECT_EQ(check(b), "3.bmp: 32-bit colour, stored top-down, 5 x 4 pixels" + mustBe);
    EXPECT_EQ(check(Slice(good, 0, 77)), "3.bmp: cut short (77 of 78 bytes)" + mustBe);
    // Trailing bytes are harmless.
    b = good;
    b.push_back(0);
    EXPECT_EQ(check(b), "accepted");

    EXPECT_THROW(CheckPictureBmp(tmp / "missing.bmp", 3, 2), IoError);
}

} // namespace
} // namespace zantrel
