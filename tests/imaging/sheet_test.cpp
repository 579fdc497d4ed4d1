#include <climits>
#include <cstdint>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "imaging/picture.h"
#include "imaging/sheet.h"

namespace zantrel {
namespace {

// A side x side square whose every pixel differs, so a shift or a flip shows.
Picture Pattern(int side, std::uint32_t seed) {
    Picture picture = FilledPicture(side, side, 0);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            picture.At(x, y) = 0xFF000000u | seed << 16 | static_cast<std::uint32_t>(y << 8 | x);
    return picture;
}

std::vector<SheetCell> Cells(int count, int side) {
    std::vector<SheetCell> cells(count);
    for (int i = 0; i < count; ++i) {
        cells[i].square = Pattern(side, static_cast<std::uint32_t>(i));
        cells[i].caption = std::to_string(i) + ".gif";
        cells[i].detail = std::to_string(side) + "x" + std::to_string(side);
    }
    return cells;
}

int CountIn(const Picture& sheet, int x, int y, int width, int height, std::uint32_t colour) {
    int count = 0;
    for (int row = y; row < y + height; ++row)
        for (int column = x; column < x + width; ++column)
            count += sheet.At(column, row) == colour;
    return count;
}

TEST(TextWidth, SixPixelsACodePointLessTheLastGap) {
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextWidth("1"), 5);
    EXPECT_EQ(TextWidth("12.gif"), 35);
    EXPECT_EQ(TextWidth("a\xC2\xB7"), 11); // the middle dot is one character
    EXPECT_EQ(TextWidth("\xFFx"), 11);     // a stray byte is one
    EXPECT_EQ(TextWidth("\xE2\x82x"), 17); // a cut sequence: each byte alone
    // Drawn on the same pitch: the ink of "MW" ends on the width's last column.
    Picture canvas = FilledPicture(12, TextHeight, 0);
    DrawText(canvas, 0, 0, "MW", 1);
    EXPECT_EQ(canvas.At(10, 0), 1u);
    EXPECT_EQ(CountIn(canvas, 11, 0, 1, TextHeight, 1), 0);
}

TEST(DrawText, EachCharacterHasItsOwnGlyphAndOthersABox) {
    const auto drawn = [](std::string_view text) {
        Picture canvas = FilledPicture(5, TextHeight, 0);
        DrawText(canvas, 0, 0, text, 1);
        return canvas.pixels;
    };
    std::set<std::vector<std::uint32_t>> glyphs;
    std::vector<std::string> characters = {"\xC2\xB7"};
    for (char c = ' '; c <= '~'; ++c)
        characters.emplace_back(1, c);
    for (const std::string& c : characters)
        EXPECT_TRUE(glyphs.insert(drawn(c)).second) << "'" << c << "' looks like another";
    const auto box = drawn("\x01");
    EXPECT_EQ(glyphs.count(box), 0u);
    EXPECT_EQ(drawn("\xE2\x82\xAC"), box); // any other code point
}

TEST(DrawText, ClipsAtEveryEdgeToWhatAnUnclippedDrawingShows) {
    const std::string text = "Ag|9_";
    Picture whole = FilledPicture(60, 30, 0);
    DrawText(whole, 20, 10, text, 7);
    // The same text on a small canvas, shifted so it hangs over each edge.
    for (const auto& [dx, dy] : {std::pair{-3, -4}, {14, 6}, {-30, 2}, {0, -7}}) {
        Picture part = FilledPicture(12, 8, 0);
        DrawText(part, dx, dy, text, 7);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 12; ++x) {
                const int wx = x - dx + 20, wy = y - dy + 10;
                const std::uint32_t expected =
                    wx < 60 && wy < 30 && wx >= 0 && wy >= 0 ? whole.At(wx, wy) : 0u;
                ASSERT_EQ(part.At(x, y), expected) << dx << "," << dy << " at " << x << "," << y;
            }
    }
    Picture part = FilledPicture(12, 8, 0);
    for (const auto& [x, y] : {std::pair{INT_MIN, 0}, {INT_MAX, 0}, {0, INT_MIN}, {0, INT_MAX}})
        DrawText(part, x, y, text, 7);
    EXPECT_EQ(CountIn(part, 0, 0, 12, 8, 7), 0);
    Picture none;
    DrawText(none, 0, 0, text, 7);
}

TEST(ContactSheet, SizeFollowsCellsColumnsAndTitle) {
    // Squares of 96: cells 108 x 148 with 8 between, margins of 12, 46
    // above the grid.
    Picture sheet = ContactSheet("phone.shx", Cells(5, 96), 4);
    EXPECT_EQ(sheet.width, 12 + 4 * 108 + 3 * 8 + 12);
    EXPECT_EQ(sheet.height, 46 + 2 * 148 + 8 + 12);
    // More columns than cells: cut to the cells.
    sheet = ContactSheet("", Cells(3, 96), 9);
    EXPECT_EQ(sheet.width, 12 + 3 * 108 + 2 * 8 + 12);
    // A title wider than the grid widens the sheet.
    sheet = ContactSheet(std::string(100, 'x'), Cells(1, 96), 1);
    EXPECT_EQ(sheet.width, 12 + 599 + 12);
    // Up to 120 characters; a longer one (a hand-edited name) is cut.
    EXPECT_EQ(ContactSheet(std::string(120, 'x'), Cells(1, 96), 1).width, 12 + 719 + 12);
    EXPECT_EQ(ContactSheet(std::string(4000, 'x'), Cells(1, 96), 1).width, 12 + 719 + 12);
    // Chosen columns: 12 cells are nearest 4:3 on 5; many stop at 16.
    EXPECT_EQ(ContactSheet("", Cells(12, 96)).width, 12 + 5 * 108 + 4 * 8 + 12);
    sheet = ContactSheet("", Cells(400, 8)); // "399.gif": 41 inside
    EXPECT_EQ(sheet.width, 12 + 16 * 53 + 15 * 8 + 12);
    // No items: the title and one line.
    sheet = ContactSheet("Image 1", {});
    EXPECT_EQ(sheet.height, 12 + 9 + 4 + 9 + 12);
    EXPECT_EQ(sheet.width, 12 + 47 + 12);
}

TEST(ContactSheet, CopiesEachSquareExactlyIntoItsPlace) {
    // Squares of 20 in cells as wide as the "edited" tag (39 inside):
    // cell 3 of 2 columns is at (12 + 59, 46 + 80), its square 6 + 9 in.
    std::vector<SheetCell> cells = Cells(5, 20);
    cells[4].square = FilledPicture(20, 20, 0x00000000u); // transparent: paper shows
    const Picture sheet = ContactSheet("", cells, 2);
    const Picture& square = cells[3].square;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(sheet.At(86 + x, 132 + y), square.At(x, y)) << x << "," << y;
    EXPECT_EQ(sheet.At(85, 132), 0xFFFFFFFFu);
    EXPECT_EQ(sheet.At(106, 151), 0xFFFFFFFFu);
    EXPECT_EQ(sheet.At(27, 212), 0xFFFFFFFFu); // cell 4's square
}

TEST(ContactSheet, FramesOnlyEditedCellsAndLettersOnlyMarkedOnesInRed) {
    // Three cells of 51 x 72 in a row, 59 apart.
    std::vector<SheetCell> cells = Cells(3, 20);
    cells[1].edited = true;
    cells[2].marked = true;
    const Picture sheet = ContactSheet("", cells, 3);
    const std::uint32_t blue = 0xFF1060D0u, red = 0xFFC00000u;
    for (int i = 0; i < 3; ++i) {
        const int x = 12 + 59 * i, y = 46;
        const int frame = 2 * 51 * 2 + 2 * (72 - 4) * 2;
        const int edgeBlue =
            CountIn(sheet, x, y, 51, 2, blue) + CountIn(sheet, x, y + 70, 51, 2, blue) +
            CountIn(sheet, x, y + 2, 2, 68, blue) + CountIn(sheet, x + 49, y + 2, 2, 68, blue);
        EXPECT_EQ(edgeBlue, i == 1 ? frame : 0) << "cell " << i;
        // The tag inside, on its last line.
        EXPECT_EQ(CountIn(sheet, x + 2, y + 2, 47, 68, blue) > 0, i == 1) << "cell " << i;
        EXPECT_EQ(CountIn(sheet, x, y, 51, 72, red) > 0, i == 2) << "cell " << i;
    }
}

} // namespace
} // namespace zantrel
