// What the main window shows: its title, the hint page of a fresh run, or
// the session's panel above each image's thumbnails. Both windows draw it
// as the shell describes it here.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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

// The same in two steps, for a window that shows a large DRM at once (a
// session only): Listed, once, describes it from the folders' listings
// alone, no file read, no item marked, the panel's counts saying
// ReadingFilesText; Start then checks the items on a thread of its own (going
// on from what Listed read), so that the window answers all along; once
// Done, View is what DescribeMainWindow gives. Nothing may change the
// session while the checks run: a command ends them first by destroying
// this, which waits at most for the few items in hand.
inline constexpr std::string_view ReadingFilesText = "reading the files...";
class MainViewChecks {
public:
    MainViewChecks();
    ~MainViewChecks();
    MainViewChecks(const MainViewChecks&) = delete;
    MainViewChecks& operator=(const MainViewChecks&) = delete;
    MainView Listed();
    void Start();
    bool Done() const { return done_.load(std::memory_order_acquire); }
    // Rethrows what the checks threw.
    MainView View();

private:
    void Check();

    SessionSummary panel_;
    WorkListing first_;
    std::optional<WorkListing> second_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    MainView view_;
    std::exception_ptr failure_;
    std::thread thread_;
};
// "phone.shx — Zantrel"; for a pair "phone.shx ← other.shx — Zantrel"
// (UTF-8); "Zantrel" in a fresh run or when the files are not known.
std::string MainWindowTitle();

} // namespace zantrel
