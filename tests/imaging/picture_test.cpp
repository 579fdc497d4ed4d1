#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "imaging/bmpraw.h"
#include "imaging/picture.h"

#include "support/bytes.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::TempFolder;

TEST(PictureFiles, PngRoundTripKeepsEveryPixelAndAlpha) {
    TempFolder dir;
    Picture picture = FilledPicture(3, 2, 0xFF102030u);
    picture.At(1, 0) = 0x00000000u;
    picture.At(2, 1) = 0x80FF8000u;
    const std::string path = dir / "p.png";
    WritePngFile(path, picture);
    const auto back = DecodePictureFile(path);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->height, 2);
    EXPECT_EQ(back->pixels, picture.pixels);
}

// A picture whose pixels are opaque or fully transparent is written as
// 8-bit RGB, its transparent pixels in a colour no opaque one has, named by
// tRNS; it reads back pixel for pixel.
TEST(PictureFiles, PngOfOpaqueAndTransparentPixelsIsRgbWithAKeyColour) {
    TempFolder dir;
    const auto colourType = [](const std::vector<std::uint8_t>& png) { return png[25]; };
    const auto key = [](const std::vector<std::uint8_t>& png) -> std::uint32_t {
        if (png.size() < 49 || std::string(png.begin() + 37, png.begin() + 41) != "tRNS")
            return 0xFFFFFFFF;
        return std::uint32_t{png[42]} << 16 | std::uint32_t{png[44]} << 8 | png[46];
    };
    Picture picture = FilledPicture(5, 3, 0xFF102030u);
    EXPECT_EQ(colourType(EncodePng(picture)), 2);
    EXPECT_EQ(key(EncodePng(picture)), 0xFFFFFFFFu);
    picture.At(1, 1) = 0;
    picture.At(4, 2) = 0;
    EXPECT_EQ(key(EncodePng(picture)), 0xFF00FFu);
    // An opaque pixel of the first key moves the key on.
    picture.At(0, 0) = 0xFFFF00FFu;
    const std::vector<std::uint8_t> png = EncodePng(picture);
    EXPECT_EQ(colourType(png), 2);
    EXPECT_EQ(key(png), 0xFF00FEu);
    test::WriteAll(dir / "k.png", png);
    const auto back = DecodePictureFile(dir / "k.png");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->pixels, picture.pixels);
}

// The one-pass reading of the program's own BMP copies gives what the
// general decoder gives with the replacer colour made transparent; any
// other BMP goes to the general decoder.
TEST(PictureFiles, PlainBmpCopiesReadAsTheGeneralDecoderReadsThem) {
    TempFolder dir;
    const Rgb replacer{0xFF, 0x00, 0xFF};
    Picture picture = FilledPicture(7, 3, 0xFF123456u); // rows padded to 24 bytes
    picture.At(0, 0) = 0;
    picture.At(6, 2) = 0xFF00FF00u;
    picture.At(3, 1) = 0xFFABCDEFu;
    test::WriteAll(dir / "p.bmp", EncodeBmp24(picture, replacer));
    const auto fast = DecodePlainBmp(dir / "p.bmp", replacer);
    ASSERT_TRUE(fast.has_value());
    EXPECT_EQ(fast->pixels, picture.pixels);
    EXPECT_EQ(DecodeWorkPicture(dir / "p.bmp", replacer)->pixels, picture.pixels);
    std::vector<std::uint8_t> cut = EncodeBmp24(picture, replacer);
    cut.resize(cut.size() - 10); // into the top row's pixels
    test::WriteAll(dir / "cut.bmp", cut);
    EXPECT_FALSE(DecodePlainBmp(dir / "cut.bmp", replacer).has_value());
    EXPECT_FALSE(DecodeWorkPicture(dir / "cut.bmp", replacer).has_value());
}

TEST(PictureFiles, ABottomUp24BitBmpDecodesTopRowFirst) {
    TempFolder dir;
    // 2 x 2, bottom row (blue, white) stored first, rows padded to 4 bytes.
    std::vector<std::uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0,  0,
                                     2,   0,   0,  0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0,  0, 16, 0,
                                     0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0,  0};
    for (std::uint8_t b : {0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0, 0,  // blue, white
                           0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0}) // red, green
        bmp.push_back(b);
    test::WriteAll(dir / "b.bmp", bmp);
    const auto picture = DecodePictureFile(dir / "b.bmp");
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->pixels,
              (std::vector<std::uint32_t>{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}));
}

// The raw a picture is written as is what conversion makes of its BMP; the
// replacer colour, opaque, stays opaque in both.
TEST(SlotEncodings, RawEqualsTheConversionOfTheBmp) {
    TempFolder dir;
    Picture picture = FilledPicture(7, 3, 0xFF123456u);
    picture.At(0, 0) = 0x10FFFFFFu;
    picture.At(6, 2) = 0xFFFF00FFu;
    picture.At(3, 1) = 0xFF00FF00u;
    const Rgb replacer{0xFF, 0x00, 0xFF};
    test::WriteAll(dir / "p.bmp", EncodeBmp24(picture, replacer));
    BmpToRaw(dir / "p.bmp", dir / "p.raw", Rgb{0xFF, 0x00, 0xFF});
    const auto raw = EncodeRawPicture(picture.pixels, 7, 3, replacer);
    EXPECT_EQ(test::ReadAll(dir / "p.raw"), raw);
    EXPECT_EQ(raw[42], 0x80); // only (0,0) is transparent
    EXPECT_EQ(raw[44], 0x00);
    EXPECT_NE(AvoidReplacer(0x0000FF, 0x0000FF), 0x0000FFu);
    EXPECT_EQ(AvoidReplacer(0x0000FF, 0x0000FF) >> 3, 0x0000FFu >> 3);
}

TEST(ScaleByArea, ShrinksByAlphaWeightedAverageAndGrowsSharp) {
    Picture picture = FilledPicture(2, 2, 0xFFFF0000u);
    picture.At(1, 0) = 0xFF0000FFu;
    picture.At(0, 1) = 0x00000000u; // transparent: no colour weight
    picture.At(1, 1) = 0x00000000u;
    const Picture one = ScaleByArea(picture, 1, 1);
    EXPECT_EQ(one.At(0, 0), 0x7F7F007Fu);
    const Picture grown = ScaleByArea(picture, 4, 4);
    EXPECT_EQ(grown.At(1, 1), 0xFFFF0000u);
    EXPECT_EQ(grown.At(2, 0), 0xFF0000FFu);
    EXPECT_EQ(grown.At(3, 3), 0x00000000u);
}

} // namespace
} // namespace zantrel
