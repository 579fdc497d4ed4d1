// What the main window shows: its title, the hint page of a fresh run, or
// the session's panel above each image's thumbnails. Both windows draw it
// as the shell describes it here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shell/summary.h"
#include "shell/thumbnail.h"

namespace zantrel {

inline constexpr std::string_view MainCaption = "Zantrel";
inline constexpr std::string_view FreshRunHint =
    "Open a flash file to start.\n\nFile > Open, or drop a flash file here.";

struct ImageView {
    std::string title; // "Image 1: phone.shx"
    std::vector<Thumbnail> thumbnails;
};

struct MainView {
    // The title bar: MainWindowTitle.
    std::string title = std::string(MainCaption);
    // The hint page (a fresh run, or work files that cannot be listed), or
    // the session: the panel above the images' thumbnails.
    bool sessionPage = false;
    std::string hint;
    SessionSummary panel;
    std::vector<ImageView> images; // image 1, and image 2 for a pair
};
MainView DescribeMainWindow();
// "phone.shx — Zantrel"; for a pair "phone.shx ← other.shx — Zantrel"
// (UTF-8); "Zantrel" in a fresh run or when the files are not known.
std::string MainWindowTitle();

} // namespace zantrel
