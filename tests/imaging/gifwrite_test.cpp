#include <algorithm>
#include <climits>
#include <cstdint>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/gifwrite.h"
#include "imaging/picture.h"

#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::TempFolder;

// Bytes from hex digits; spaces only separate the parts of the file.
std::vector<std::uint8_t> Hex(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Written, then read back by stb_image.
Picture RoundTrip(const Picture& picture) {
    TempFolder dir;
    WriteGifFile(dir / "p.gif", picture);
    const auto back = DecodePictureFile(dir / "p.gif");
    EXPECT_TRUE(back.has_value());
    return back.value_or(Picture{});
}

int Distance(std::uint32_t a, std::uint32_t b) {
    int sum = 0;
    for (int shift : {16, 8, 0}) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        sum += d * d;
    }
    return sum;
}

TEST(EncodeGif, WritesTheExactBytesOfSmallPictures) {
    // Every pair of neighbours new, so each pixel is a code: the codes widen
    // to 4 bits after the third, and the end code to 5 bits after the last.
    // Alpha 0x80 is opaque and dropped.
    Picture grey = FilledPicture(11, 1, 0);
    for (int x = 0; x < 11; ++x)
        grey.At(x, 0) = (x == 4 ? 0x80000000u : 0xFF000000u) +
                        0x111111u * static_cast<std::uint32_t>("01230213320"[x] - '0');
    // Header and screen, colour table, image descriptor, code size, data.
    EXPECT_EQ(EncodeGif(grey), Hex("474946383961 0b00 0100 f1 00 00"
                                   " 000000 111111 222222 333333"
                                   " 2c 0000 0000 0b00 0100 00"
                                   " 02 07 44342031235000 00 3b"));
    // Red sorts before white; transparency (alpha 0x7F) takes the entry after
    // the colours, named by a Graphic Control Extension; the spare entry is
    // black.
    Picture three = FilledPicture(3, 1, 0x7FFFFFFFu);
    three.At(1, 0) = 0xFFFFFFFFu;
    three.At(2, 0) = 0xFFFF0000u;
    EXPECT_EQ(EncodeGif(three), Hex("474946383961 0300 0100 f1 00 00"
                                    " ff0000 ffffff 000000 000000"
                                    " 21f904 01 0000 02 00"
                                    " 2c 0000 0000 0300 0100 00"
                                    " 02 02 5450 00 3b"));
}

TEST(EncodeGif, RefusesSizesAGifCannotHold) {
    EXPECT_THROW(EncodeGif(Picture{}), std::invalid_argument);
    EXPECT_THROW(EncodeGif(FilledPicture(65536, 1, 0xFF000000u)), std::invalid_argument);
    Picture torn = FilledPicture(2, 2, 0xFF000000u);
    torn.pixels.pop_back();
    EXPECT_THROW(EncodeGif(torn), std::invalid_argument);
}

TEST(EncodeGif, UpTo255ColoursAndTransparencyComeBackExactly) {
    // 300 x 300 of runs and noise over 255 colours and transparency: the code
    // table fills and is cleared many times, and long strings recur.
    Picture big = FilledPicture(300, 300, 0);
    std::uint32_t seed = 12345, index = 0;
    for (std::uint32_t& pixel : big.pixels) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % 3 == 0)
            index = (seed >> 8) % 256;
        pixel = index == 255 ? 0x40FFFFFFu : 0xFF000000u | (index * 0x9E3779u & 0xFFFFFF);
    }
    Picture opaque256 = FilledPicture(16, 16, 0);
    for (std::size_t i = 0; i < 256; ++i)
        opaque256.pixels[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 0x010101u);
    for (const Picture& picture :
         {big, opaque256, FilledPicture(1, 1, 0xFFABCDEFu), FilledPicture(1, 1, 0u)}) {
        const Picture back = RoundTrip(picture);
        ASSERT_EQ(back.width, picture.width);
        ASSERT_EQ(back.height, picture.height);
        for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
            if (picture.pixels[i] >> 24 >= 128)
                ASSERT_EQ(back.pixels[i], picture.pixels[i] | 0xFF000000u) << i;
            else
                ASSERT_EQ(back.pixels[i] >> 24, 0u) << i;
        }
    }
}

TEST(EncodeGif, ManyColoursTakeTheNearestOfTheirMedianCutPalette) {
    // 4096 colours along a surface of the RGB cube, and a transparent corner.
    Picture picture = FilledPicture(64, 64, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            picture.At(x, y) = 0xFF000000u | static_cast<std::uint32_t>(x * 4) << 16 |
                               static_cast<std::uint32_t>(y * 4) << 8 |
                               static_cast<std::uint32_t>((x + y) * 2);
    picture.At(0, 0) = 0;
    const std::vector<std::uint8_t> gif = EncodeGif(picture);
    EXPECT_EQ(EncodeGif(picture), gif);
    ASSERT_EQ(gif.at(10) & 7, 7); // 256 entries
    // The colours are the entries below the transparent one, which the
    // Graphic Control Extension after the 256-entry table names.
    ASSERT_EQ(gif.at(781), 0x21);
    std::vector<std::uint32_t> palette;
    for (std::size_t i = 0; i < gif.at(787); ++i)
        palette.push_back(0xFF000000u | std::uint32_t{gif.at(13 + 3 * i)} << 16 |
                          std::uint32_t{gif.at(14 + 3 * i)} << 8 | gif.at(15 + 3 * i));
    const Picture back = RoundTrip(picture);
    ASSERT_EQ(back.pixels.size(), picture.pixels.size());
    EXPECT_EQ(back.pixels[0] >> 24, 0u);
    for (std::size_t i = 1; i < picture.pixels.size(); ++i) {
        int nearest = INT_MAX;
        for (std::uint32_t entry : palette)
            nearest = std::min(nearest, Distance(entry, picture.pixels[i]));
        ASSERT_EQ(Distance(back.pixels[i], picture.pixels[i]), nearest) << i;
        ASSERT_LE(nearest, 20 * 20) << i; // no further off than 20 steps of one channel
    }
}

} // namespace
} // namespace zantrel
