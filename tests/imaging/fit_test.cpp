#include <cstdint>
#include <gtest/gtest.h>
#include <stdexcept>

#include "imaging/fit.h"

namespace zantrel {
namespace {

constexpr std::uint32_t Red = 0xFFFF0000u;
constexpr std::uint32_t Green = 0xFF00FF00u;
constexpr std::uint32_t Blue = 0xFF0000FFu;

// 200 x 100: a blue quarter, a red half, a green quarter, left to right.
Picture Bands() {
    Picture picture = FilledPicture(200, 100, Red);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 50; ++x) {
            picture.At(x, y) = Blue;
            picture.At(150 + x, y) = Green;
        }
    return picture;
}

TEST(FitPicture, AtItsOwnSizeEveryPixelIsKept) {
    Picture picture = FilledPicture(3, 2, 0x80123456u);
    picture.At(1, 0) = 0x00FFFFFFu; // transparent, colour kept all the same
    picture.At(2, 1) = Blue;
    for (Fit fit : {Fit::Inside, Fit::Fill, Fit::Stretch})
        EXPECT_EQ(FitPicture(picture, 3, 2, fit).pixels, picture.pixels);
}

TEST(FitPicture, InsideCentresABandOnTransparency) {
    const Picture fitted = FitPicture(Bands(), 50, 50, Fit::Inside);
    ASSERT_EQ(fitted.width, 50);
    ASSERT_EQ(fitted.height, 50);
    // 50 x 25 from row 12; the odd row of margin goes below.
    for (int y = 0; y < 50; ++y) {
        const bool band = y >= 12 && y < 37;
        EXPECT_EQ(fitted.At(0, y), band ? Blue : 0u) << y;
        EXPECT_EQ(fitted.At(25, y), band ? Red : 0u) << y;
        EXPECT_EQ(fitted.At(49, y), band ? Green : 0u) << y;
    }
}

TEST(FitPicture, FillCropsTheMiddleAndStretchTakesEachSide) {
    const Picture filled = FitPicture(Bands(), 50, 50, Fit::Fill);
    EXPECT_EQ(filled.pixels, FilledPicture(50, 50, Red).pixels);
    const Picture stretched = FitPicture(Bands(), 40, 70, Fit::Stretch);
    ASSERT_EQ(stretched.width, 40);
    ASSERT_EQ(stretched.height, 70);
    EXPECT_EQ(stretched.At(0, 69), Blue);
    EXPECT_EQ(stretched.At(20, 0), Red);
    EXPECT_EQ(stretched.At(39, 35), Green);
}

TEST(FitPicture, OpaqueStaysOpaqueAndTransparentColoursDoNotBleed) {
    const Picture red = FilledPicture(7, 5, Red);
    for (auto [w, h] : {std::pair{13, 3}, std::pair{3, 11}, std::pair{2, 2}})
        EXPECT_EQ(FitPicture(red, w, h, Fit::Stretch).pixels, FilledPicture(w, h, Red).pixels);
    // Transparent green beside opaque red: no green in any pixel that shows.
    Picture half = FilledPicture(8, 8, Red);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            half.At(x, y) = 0x0000FF00u;
    for (auto [w, h] : {std::pair{3, 3}, std::pair{21, 13}})
        for (std::uint32_t pixel : FitPicture(half, w, h, Fit::Stretch).pixels)
            if (pixel >> 24 != 0) {
                EXPECT_EQ(pixel & 0xFFFF, 0u) << std::hex << pixel;
            }
}

TEST(FitPicture, RefusesNothingToFitAndNoSize) {
    EXPECT_THROW(FitPicture(Picture{}, 5, 5, Fit::Inside), std::invalid_argument);
    EXPECT_THROW(FitPicture(Bands(), 0, 5, Fit::Fill), std::invalid_argument);
}

} // namespace
} // namespace zantrel
