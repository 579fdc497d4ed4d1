#include "imaging/sheet.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace zantrel {

namespace {

// ---- The font ----

constexpr int GlyphWidth = 5;
constexpr int GlyphAdvance = 6;
constexpr int GlyphsPerBand = 12;
constexpr int BandWidth = GlyphsPerBand * GlyphAdvance - 1;

// The glyphs of ' ' to '~' in ASCII order, then the middle dot, 12 to a band
// side by side with a blank column between them ('#' is ink). Drawn as text,
// so a wrong pixel is seen where it is.
constexpr std::string_view Font[][TextHeight] = {
    {
        "        #    # #   # #    #   ##     ##     #      #   #               ",
        "        #    # #   # #   #### ##  # #  #    #     #     #     #     #  ",
        "        #    # #  ##### # #      #  # #     #    #       #  # # #   #  ",
        "        #          # #   ###    #    #           #       #   ###  #####",
        "        #         #####   # #  #    # # #        #       #  # # #   #  ",
        "                   # #  ####  #  ## #  #          #     #     #     #  ",
        "        #          # #    #      ##  ## #          #   #               ",
        "                                                                       ",
        "                                                                       ",
    },
    {
        "                      #  ###    #    ###  #####    #  #####   ##  #####",
        "                      # #   #  ##   #   #    #    ##  #      #        #",
        "                     #  #  ##   #       #   #    # #  ####  #        # ",
        "      #####         #   # # #   #      #     #  #  #      # ####    #  ",
        "                   #    ##  #   #     #       # #####     # #   #  #   ",
        " ##          ##   #     #   #   #    #    #   #    #  #   # #   #  #   ",
        " ##          ##   #      ###   ###  #####  ###     #   ###   ###   #   ",
        "  #                                                                    ",
        " #                                                                     ",
    },
    {
        " ###   ###                 #         #     ###   ###   ###  ####   ### ",
        "#   # #   #  ##    ##     #           #   #   # #   # #   # #   # #   #",
        "#   # #   #  ##    ##    #    #####    #      #     # #   # #   # #    ",
        " ###   ####             #               #    #   ## # ##### ####  #    ",
        "#   #     #              #    #####    #    #   # # # #   # #   # #    ",
        "#   #    #   ##    ##     #           #         # # # #   # #   # #   #",
        " ###   ##    ##    ##      #         #      #    ###  #   # ####   ### ",
        "                    #                                                  ",
        "                   #                                                   ",
    },
    {
        "###   ##### #####  ###  #   #  ###    ### #   # #     #   # #   #  ### ",
        "#  #  #     #     #   # #   #   #      #  #  #  #     ## ## #   # #   #",
        "#   # #     #     #     #   #   #      #  # #   #     # # # ##  # #   #",
        "#   # ####  ####  # ### #####   #      #  ##    #     # # # # # # #   #",
        "#   # #     #     #   # #   #   #      #  # #   #     #   # #  ## #   #",
        "#  #  #     #     #   # #   #   #   #  #  #  #  #     #   # #   # #   #",
        "###   ##### #      #### #   #  ###   ##   #   # ##### #   # #   #  ### ",
        "                                                                       ",
        "                                                                       ",
    },
    {
        "####   ###  ####   #### ##### #   # #   # #   # #   # #   # #####  ### ",
        "#   # #   # #   # #       #   #   # #   # #   # #   # #   #     #  #   ",
        "#   # #   # #   # #       #   #   # #   # #   #  # #   # #     #   #   ",
        "####  #   # ####   ###    #   #   # #   # # # #   #     #     #    #   ",
        "#     # # # # #       #   #   #   # #   # # # #  # #    #    #     #   ",
        "#     #  #  #  #      #   #   #   #  # #  # # # #   #   #   #      #   ",
        "#      ## # #   # ####    #    ###    #    # #  #   #   #   #####  ### ",
        "                                                                       ",
        "                                                                       ",
    },
    {
        "#      ###    #          #          #               #         ##       ",
        "#        #   # #          #         #               #        #  #      ",
        " #       #  #   #          #   ###  ####   ###   ####  ###   #     ####",
        "  #      #                        # #   # #     #   # #   # ###   #   #",
        "   #     #                     #### #   # #     #   # #####  #    #   #",
        "    #    #                    #   # #   # #   # #   # #      #    #   #",
        "    #  ###                     #### ####   ###   ####  ###   #     ####",
        "                  #####                                               #",
        "                                                                   ### ",
    },
    {
        "#       #      #  #      ##                                            ",
        "#                 #       #                                            ",
        "# ##   ##     ##  #  #    #   ## #  # ##   ###  ####   #### # ##   ####",
        "##  #   #      #  # #     #   # # # ##  # #   # #   # #   # ##  # #    ",
        "#   #   #      #  ##      #   # # # #   # #   # #   # #   # #      ### ",
        "#   #   #      #  # #     #   #   # #   # #   # #   # #   # #         #",
        "#   #  ###     #  #  #   ###  #   # #   #  ###  ####   #### #     #### ",
        "            #  #                                #         #            ",
        "             ##                                 #         #            ",
    },
    {
        " #                                           ##   #   ##               ",
        " #                                          #     #     #              ",
        "###   #   # #   # #   # #   # #   # #####   #     #     #    #         ",
        " #    #   # #   # #   #  # #  #   #    #   #      #      #  # # #   ## ",
        " #    #   # #   # # # #   #   #   #   #     #     #     #      #    ## ",
        " #  # #  ##  # #  # # #  # #  #   #  #      #     #     #              ",
        "  ##   ## #   #    # #  #   #  #### #####    ##   #   ##               ",
        "                                  #                                    ",
        "                               ###                                     ",
    },
};
constexpr int GlyphCount = static_cast<int>(std::size(Font)) * GlyphsPerBand;
constexpr int MiddleDotSlot = GlyphCount - 1;

constexpr bool FontIsWellFormed() {
    for (const auto& band : Font)
        for (std::string_view row : band)
            if (static_cast<int>(row.size()) != BandWidth ||
                row.find_first_not_of(" #") != std::string_view::npos)
                return false;
    return GlyphCount == 96;
}
static_assert(FontIsWellFormed());

constexpr char32_t NotACharacter = 0xFFFD;

// The code point at text[i], i moved past it. A byte that does not begin a
// well-formed sequence is taken alone, so a name in another encoding still
// shows every byte instead of swallowing what follows.
char32_t NextCharacter(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    const int length = lead >= 0xC2 && lead < 0xE0   ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
    if (length == 0 || text.size() - i < static_cast<std::size_t>(length)) {
        ++i;
        return NotACharacter;
    }
    char32_t c = lead & (0xFFu >> (length + 1));
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return NotACharacter;
        }
        c = c << 6 | (next & 0x3F);
    }
    // An overlong form of an ASCII character is no more that character.
    constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Least[length]) {
        ++i;
        return NotACharacter;
    }
    i += length;
    return c;
}

// The font's slot for c; -1 for the box.
int GlyphSlot(char32_t c) {
    if (c >= 0x20 && c <= 0x7E)
        return static_cast<int>(c - 0x20);
    return c == 0xB7 ? MiddleDotSlot : -1;
}

bool Inked(int slot, int gx, int gy) {
    if (slot < 0) // the box: an outline the height of a lower-case letter
        return gy >= 2 && gy <= 6 && (gy == 2 || gy == 6 || gx == 0 || gx == GlyphWidth - 1);
    return Font[slot / GlyphsPerBand][gy][slot % GlyphsPerBand * GlyphAdvance + gx] == '#';
}

void SetPixel(Picture& canvas, int x, int y, std::uint32_t colour) {
    if (x >= 0 && y >= 0 && x < canvas.width && y < canvas.height)
        canvas.At(x, y) = colour;
}

void FillRect(Picture& canvas, int x, int y, int width, int height, std::uint32_t colour) {
    for (int row = std::max(y, 0); row < std::min(y + height, canvas.height); ++row)
        for (int column = std::max(x, 0); column < std::min(x + width, canvas.width); ++column)
            canvas.At(column, row) = colour;
}

// ---- The sheet ----

constexpr std::uint32_t Paper = 0xFFFFFFFFu;
constexpr std::uint32_t Black = 0xFF000000u;
constexpr std::uint32_t Grey = 0xFF606060u;
constexpr std::uint32_t EditedBlue = 0xFF1060D0u;
constexpr std::uint32_t MarkedRed = 0xFFC00000u;

constexpr int Margin = 12;    // around the sheet
constexpr int HeaderGap = 4;  // between the title and the legend
constexpr int GridGap = 12;   // between the legend and the cells
constexpr int CellGap = 8;    // between neighbouring cells
constexpr int Frame = 2;      // an edited cell's frame
constexpr int Padding = 4;    // between the frame and what it holds
constexpr int LineGap = 3;    // above each line under the square
constexpr int TagPadding = 2; // around the tag's text
constexpr int MaxAutoColumns = 16;
constexpr std::string_view EditedTag = "edited";

struct Layout {
    int side = 0;  // the squares' slot
    int inner = 0; // what a frame holds across: the slot or the widest text
    int cellWidth = 0;
    int cellHeight = 0;
    int columns = 0;
    int rows = 0;
    int top = 0; // the cells' first row
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// "12 items · framed: edited · red: will not compile", the keys in the
// colours they explain.
std::vector<std::pair<std::string, std::uint32_t>> Legend(std::size_t count) {
    const std::string separator = " \xC2\xB7 "; // the middle dot in UTF-8
    return {{std::to_string(count) + (count == 1 ? " item" : " items") + separator, Grey},
            {"framed: edited", EditedBlue},
            {separator, Grey},
            {"red: will not compile", MarkedRed}};
}

// The sheet's size with columns of cells; header: the title's or legend's
// width, whichever is wider.
void Size(Layout& layout, std::size_t count, int columns, int header) {
    layout.columns = columns;
    layout.rows = static_cast<int>((count + columns - 1) / columns);
    const std::int64_t gridWidth =
        std::int64_t{columns} * layout.cellWidth + std::int64_t{columns - 1} * CellGap;
    const std::int64_t gridHeight =
        std::int64_t{layout.rows} * layout.cellHeight + std::int64_t{layout.rows - 1} * CellGap;
    layout.width = 2 * Margin + std::max<std::int64_t>(gridWidth, header);
    layout.height = layout.top + gridHeight + Margin;
}

Layout LayOut(int header, const std::vector<SheetCell>& cells, int columns) {
    Layout layout;
    int widest = TextWidth(EditedTag) + 2 * TagPadding;
    for (const SheetCell& cell : cells) {
        layout.side = std::max({layout.side, cell.square.width, cell.square.height});
        widest = std::max({widest, TextWidth(cell.caption), TextWidth(cell.detail)});
    }
    layout.inner = std::max(layout.side, widest);
    layout.cellWidth = layout.inner + 2 * (Frame + Padding);
    // The tag's line is kept in every cell, so that sheets with and without
    // edits line up.
    layout.cellHeight = 2 * (Frame + Padding) + layout.side + 2 * (LineGap + TextHeight) + LineGap +
                        TextHeight + 2 * TagPadding;
    layout.top = Margin + TextHeight + HeaderGap + TextHeight + GridGap;
    const std::size_t count = cells.size();
    if (columns > 0) {
        Size(layout, count, static_cast<int>(std::min<std::size_t>(columns, count)), header);
        return layout;
    }
    // The count whose sheet is nearest 4:3, by the larger of 3w:4h and 4h:3w
    // compared across by multiplication; the fewer columns on a tie.
    Layout best;
    std::int64_t bestLong = 0, bestShort = 1;
    for (int c = 1; c <= MaxAutoColumns && static_cast<std::size_t>(c) <= count; ++c) {
        Size(layout, count, c, header);
        const std::int64_t across = 3 * layout.width, down = 4 * layout.height;
        const std::int64_t longer = std::max(across, down), shorter = std::min(across, down);
        if (best.columns == 0 || longer * bestShort < bestLong * shorter) {
            best = layout;
            bestLong = longer;
            bestShort = shorter;
        }
    }
    return best;
}

void DrawFrame(Picture& sheet, int x, int y, int width, int height) {
    FillRect(sheet, x, y, width, Frame, EditedBlue);
    FillRect(sheet, x, y + height - Frame, width, Frame, EditedBlue);
    FillRect(sheet, x, y, Frame, height, EditedBlue);
    FillRect(sheet, x + width - Frame, y, Frame, height, EditedBlue);
}

void DrawCell(Picture& sheet, const Layout& layout, int x, int y, const SheetCell& cell) {
    if (cell.edited)
        DrawFrame(sheet, x, y, layout.cellWidth, layout.cellHeight);
    x += Frame + Padding;
    y += Frame + Padding;
    const Picture& square = cell.square;
    const int squareX = x + (layout.inner - square.width) / 2;
    const int squareY = y + (layout.side - square.height) / 2;
    for (int row = 0; row < square.height; ++row)
        for (int column = 0; column < square.width; ++column)
            sheet.At(squareX + column, squareY + row) = Over(square.At(column, row), Paper);
    const auto centred = [&](std::string_view text) {
        return x + (layout.inner - TextWidth(text)) / 2;
    };
    y += layout.side + LineGap;
    DrawText(sheet, centred(cell.caption), y, cell.caption, cell.marked ? MarkedRed : Black);
    y += TextHeight + LineGap;
    DrawText(sheet, centred(cell.detail), y, cell.detail, cell.marked ? MarkedRed : Grey);
    y += TextHeight + LineGap;
    if (cell.edited) {
        const int tagX = centred(EditedTag) - TagPadding;
        FillRect(sheet, tagX, y, TextWidth(EditedTag) + 2 * TagPadding, TextHeight + 2 * TagPadding,
                 EditedBlue);
        DrawText(sheet, tagX + TagPadding, y + TagPadding, EditedTag, Paper);
    }
}

} // namespace

int TextWidth(std::string_view text) {
    std::int64_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count)
        NextCharacter(text, i);
    return count == 0 ? 0
                      : static_cast<int>(std::min<std::int64_t>(count * GlyphAdvance - 1, INT_MAX));
}

void DrawText(Picture& canvas, int x, int y, std::string_view text, std::uint32_t colour) {
    // Compared before adding, so that no coordinate can overflow.
    if (y >= canvas.height || y <= -TextHeight)
        return;
    int pen = x;
    for (std::size_t i = 0; i < text.size() && pen < canvas.width; pen += GlyphAdvance) {
        const int slot = GlyphSlot(NextCharacter(text, i));
        if (pen <= -GlyphWidth)
            continue;
        for (int gy = 0; gy < TextHeight; ++gy)
            for (int gx = 0; gx < GlyphWidth; ++gx)
                if (Inked(slot, gx, gy))
                    SetPixel(canvas, pen + gx, y + gy, colour);
    }
}

namespace {

// title cut to MaxTitleCharacters: a hand-edited name of thousands would
// make a sheet of gigabytes.
std::string CutTitle(const std::string& title) {
    std::size_t at = 0;
    std::size_t kept = 0; // the bytes of the characters before the "..."
    for (int count = 0; at < title.size(); ++count) {
        if (count == MaxTitleCharacters - 3)
            kept = at;
        NextCharacter(title, at);
        if (count + 1 > MaxTitleCharacters)
            return title.substr(0, kept) + "...";
    }
    return title;
}

} // namespace

Picture ContactSheet(const std::string& fullTitle, const std::vector<SheetCell>& cells,
                     int columns) {
    constexpr std::string_view NoItems = "No items";
    const std::string title = CutTitle(fullTitle);
    const auto legend = Legend(cells.size());
    std::string legendText;
    for (const auto& part : legend)
        legendText += part.first;
    const int header = std::max(TextWidth(title),
                                TextWidth(cells.empty() ? NoItems : std::string_view(legendText)));
    Layout layout;
    if (cells.empty()) {
        layout.width = 2 * Margin + header;
        layout.height = Margin + TextHeight + HeaderGap + TextHeight + Margin;
    } else {
        layout = LayOut(header, cells, columns);
    }
    if (layout.width > INT_MAX || layout.height > INT_MAX ||
        layout.width * layout.height > static_cast<std::int64_t>(SIZE_MAX / sizeof(std::uint32_t)))
        throw std::length_error("the contact sheet is too large");
    Picture sheet =
        FilledPicture(static_cast<int>(layout.width), static_cast<int>(layout.height), Paper);

    DrawText(sheet, Margin, Margin, title, Black);
    const int legendY = Margin + TextHeight + HeaderGap;
    if (cells.empty()) {
        DrawText(sheet, Margin, legendY, NoItems, Grey);
        return sheet;
    }
    int x = Margin;
    for (const auto& [text, colour] : legend) {
        DrawText(sheet, x, legendY, text, colour);
        x += TextWidth(text) + GlyphAdvance - GlyphWidth; // and the last character's gap
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int column = static_cast<int>(i % layout.columns);
        const int row = static_cast<int>(i / layout.columns);
        DrawCell(sheet, layout, Margin + column * (layout.cellWidth + CellGap),
                 layout.top + row * (layout.cellHeight + CellGap), cells[i]);
    }
    return sheet;
}

} // namespace zantrel
