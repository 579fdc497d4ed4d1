// The squares a window draws, decoded ahead on a thread of their own: each
// thumbnail gets its own square, never an earlier file's.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "shell/thumbnail.h"

#include "support/tempfolder.h"

namespace zantrel {
namespace {

// A 2x1 raw picture of one colour (RGB565 value), its mask opaque.
void WriteRaw(const std::string& path, std::uint16_t value) {
    const auto high = static_cast<std::uint8_t>(value >> 8), low = static_cast<std::uint8_t>(value);
    test::WriteAll(path, {high, low, high, low, 0x00, 0x00});
}

TEST(ThumbnailSquares, EachThumbnailGetsTheSquareOfItsFileAsItIsNow) {
    test::TempFolder dir;
    constexpr int Count = 300;
    std::vector<Thumbnail> shown(Count);
    for (int i = 0; i < Count; ++i) {
        shown[i].width = 2;
        shown[i].height = 1;
        shown[i].path = dir / (std::to_string(i) + ".raw");
        WriteRaw(shown[i].path, static_cast<std::uint16_t>(i * 97));
    }
    ThumbnailSquares squares(96);
    squares.Show(shown);
    // A screen's worth shown while the rest is decoded ahead, then files
    // change: what was decoded before is stale.
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(squares.Take(i).square);
    // Time for the thread to decode the next ones (the old files) ahead.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 5; i < 60; ++i)
        WriteRaw(shown[i].path, static_cast<std::uint16_t>(0xFFFF - i));
    squares.Show(shown);
    const auto same = [&](int i, const ThumbnailSquares::Place& place) {
        ASSERT_TRUE(place.square) << i;
        EXPECT_EQ(place.square->pixels, ThumbnailPicture(shown[i], 96).pixels) << i;
    };
    for (int i = 0; i < Count; ++i)
        same(i, squares.Take(i));
    // Paged through backwards, as a list may ask for them too.
    squares.Show(shown);
    std::vector<int> slots(Count);
    for (int i = Count - 1; i >= 0; --i) {
        const ThumbnailSquares::Place place = squares.Take(i);
        same(i, place);
        slots[i] = place.slot;
    }
    for (int i = 0; i < Count; ++i) {
        const ThumbnailSquares::Place place = squares.Take(i);
        EXPECT_FALSE(place.square) << i; // kept in its slot
        EXPECT_EQ(place.slot, slots[i]);
    }
    EXPECT_EQ(squares.Take(Count).slot, -1);
}

} // namespace
} // namespace zantrel
