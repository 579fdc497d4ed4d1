// A contact sheet: every item of a resource region on one picture, with its
// number, size and marks, to share or to compare regions by eye; and the small
// built-in font it is lettered in, so it looks the same on every system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/picture.h"

namespace zantrel {

// The font is fixed width: each character 5 pixels wide on a 6-pixel pitch,
// 7 rows above the baseline and 2 below it for descenders.
inline constexpr int TextHeight = 9;

// The pixels text covers across, its last character's gap left out; 0 when
// empty. Text is UTF-8: a character is a code point, and each byte that does
// not begin a well-formed sequence is one character of its own.
int TextWidth(std::string_view text);

// Sets the pixels of text to colour, its top-left corner at (x, y); whatever
// falls outside the canvas is left out. ASCII's printable characters and the
// middle dot have glyphs; any other character is a small box.
void DrawText(Picture& canvas, int x, int y, std::string_view text, std::uint32_t colour);

struct SheetCell {
    Picture square;      // the drawn thumbnail: opaque, the same side in every cell
    std::string caption; // "12.gif"
    std::string detail;  // "176x220"
    bool edited = false; // framed in blue and tagged "edited"
    bool marked = false; // lettered in red: it will not compile
};

// A longer title is cut to this many characters, the last three "...".
inline constexpr int MaxTitleCharacters = 120;

// An opaque white sheet: the title, a legend line, then the cells in a grid
// of columns, row by row, each square with its caption and detail centred
// under it. columns 0 picks the count (at most 16) that makes the sheet
// nearest 4:3; more columns than cells are cut to the cells. No cells: the
// title and "No items". Only the sheet itself is allocated, however many
// cells there are. Throws std::length_error when its size cannot be held.
Picture ContactSheet(const std::string& title, const std::vector<SheetCell>& cells,
                     int columns = 0);

} // namespace zantrel
