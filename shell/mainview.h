// What the main window shows: its title, the hint page of a fresh run, or
// the session's panel above each image's thumbnails. Both windows draw it
// as the shell describes it here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/summary.h"
#include "shell/thumbnail.h"
#include "shell/workview.h"

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

// The same in steps, for a window that shows a large DRM at once (a session
// only): Listed describes it from the folders' listings alone, no file read,
// no item marked, the panel's counts saying ReadingFilesText; Step checks up
// to count more items of each image; once it says done, View is what
// DescribeMainWindow gives.
inline constexpr std::string_view ReadingFilesText = "reading the files...";
class MainViewSteps {
public:
    MainViewSteps();
    MainView Listed() const;
    bool Step(std::size_t count);
    MainView View();

private:
    SessionSummary panel_;
    WorkListing first_;
    std::optional<WorkListing> second_;
};
// "phone.shx — Zantrel"; for a pair "phone.shx ← other.shx — Zantrel"
// (UTF-8); "Zantrel" in a fresh run or when the files are not known.
std::string MainWindowTitle();

} // namespace zantrel
