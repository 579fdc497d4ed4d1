// The main window's place between runs, as each window program keeps it
// per user, and its least size.
#pragma once

#include <vector>

namespace zantrel {

// The main window's least size, in pixels at 96 dots per inch: the menu,
// the panel and a row of thumbnails still show.
inline constexpr int MinimumWindowWidth = 420;
inline constexpr int MinimumWindowHeight = 300;

// A rectangle in the desktop's pixels: left, top, width, height.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenRect&) const = default;
};
// Where the main window was left.
struct WindowPlace {
    ScreenRect normal; // its size and place when not maximised
    bool maximised = false;
    bool operator==(const WindowPlace&) const = default;
};
// place brought onto the screens as they are now (their usable areas, the
// main one first): a window wholly on one screen stays where it was; else
// it goes onto the screen it overlaps most (the main one when none),
// shrunk to fit there but not below minWidth x minHeight. Without screens,
// place as it is.
WindowPlace KeepOnScreen(WindowPlace place, const std::vector<ScreenRect>& screens, int minWidth,
                         int minHeight);

} // namespace zantrel
