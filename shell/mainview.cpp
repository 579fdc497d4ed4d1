#include "shell/mainview.h"

#include <algorithm>

#include "shell/state.h"
#include "shell/take.h"

namespace zantrel {

std::string MainWindowTitle() {
    const SharedState& s = State();
    if (s.freshSession || s.firstFlashPath.empty())
        return std::string(MainCaption);
    // UTF-8 by bytes: the left arrow, then the em dash.
    std::string names = FlashFileName(1);
    if (ImageCountOf(s.sessionMode) == ModePair)
        names += " \xE2\x86\x90 " + FlashFileName(2);
    return names + " \xE2\x80\x94 " + std::string(MainCaption);
}

namespace {

// An image whose DRM could not be listed at all.
bool Unlisted(const WorkView& work) { return work.items.empty() && !work.error.empty(); }

// The view of a session from its images' listings (second empty unless a
// pair); items not yet checked are told neither to differ nor to be taken.
MainView Described(SessionSummary panel, const WorkView& first, const WorkView& second) {
    MainView view;
    view.title = MainWindowTitle();
    view.panel = std::move(panel);
    // Without image 1's files there is nothing to show but why.
    if (Unlisted(first)) {
        view.hint = NoDrmToShowText(first.error);
        return view;
    }
    const bool pair = view.panel.pair;
    const auto find = [](const WorkView& work, long number) -> const WorkItem* {
        const auto it = std::find_if(work.items.begin(), work.items.end(),
                                     [&](const WorkItem& item) { return item.number == number; });
        return it == work.items.end() ? nullptr : &*it;
    };
    // Image 1's edits, counted in the panel (the line held while the files
    // are read, so the thumbnails do not move when it comes).
    const bool checked = std::ranges::all_of(first.items, &WorkItem::checked) &&
                         std::ranges::all_of(second.items, &WorkItem::checked);
    if (!checked)
        view.panel.lines.push_back({"Edited", std::string(ReadingFilesText)});
    else if (const std::string edited = EditedCountText(first); !edited.empty())
        view.panel.lines.push_back({"Edited", edited});
    std::size_t differing = 0;
    for (int image = 1; image <= (pair ? 2 : 1); ++image) {
        const WorkView& work = image == 1 ? first : second;
        ImageView shown{ImageTitle(image), {}};
        for (const WorkItem& item : work.items) {
            Thumbnail thumbnail = ThumbnailOf(item);
            if (pair) {
                const WorkItem* other = find(image == 1 ? second : first, item.number);
                if (checked) {
                    thumbnail.differs = ItemsDiffer(item, other);
                    if (image == 1 && thumbnail.differs)
                        ++differing;
                    if (image == 2)
                        thumbnail.takes = !WhyNotTaken(item, other);
                }
            }
            shown.thumbnails.push_back(std::move(thumbnail));
        }
        view.images.push_back(std::move(shown));
    }
    // The pair's differing items, counted in the panel.
    if (pair)
        view.panel.lines.push_back({"Differing", checked ? std::to_string(differing) + " of " +
                                                               std::to_string(first.items.size()) +
                                                               " differ from " + FlashFileName(2)
                                                         : std::string(ReadingFilesText)});
    view.sessionPage = true;
    return view;
}

} // namespace

MainView DescribeMainWindow() {
    if (State().freshSession) {
        MainView view;
        view.title = MainWindowTitle();
        view.hint = FreshRunHint;
        return view;
    }
    SessionSummary panel = DescribeSession();
    const WorkView first = ListWorkItems(1);
    // Image 2 is not listed when image 1 cannot be.
    const WorkView second = panel.pair && !Unlisted(first) ? ListWorkItems(2) : WorkView{};
    return Described(std::move(panel), first, second);
}

MainViewChecks::MainViewChecks() : panel_(DescribeSession()), first_(1) {
    if (panel_.pair)
        second_.emplace(2);
}

MainViewChecks::~MainViewChecks() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

MainView MainViewChecks::Listed() {
    WorkView first = first_.Listed();
    return Described(panel_, first, second_ ? second_->Listed() : WorkView{});
}

void MainViewChecks::Start() {
    if (!thread_.joinable() && !Done())
        thread_ = std::thread([this] { Check(); });
}

void MainViewChecks::Check() {
    try {
        // A few items at a time: an end asked for waits no longer.
        while (!stop_ && !first_.Step(4)) {
        }
        if (!stop_) {
            const WorkView first = first_.View();
            // Image 2 is not shown, so not read, when image 1 cannot be listed.
            const bool second = second_ && !Unlisted(first);
            while (second && !stop_ && !second_->Step(4)) {
            }
            // Described here too, so the window only draws it.
            if (!stop_)
                view_ = Described(panel_, first, second ? second_->View() : WorkView{});
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
    done_.store(true, std::memory_order_release);
}

MainView MainViewChecks::View() {
    if (thread_.joinable())
        thread_.join();
    if (failure_)
        std::rethrow_exception(failure_);
    return std::move(view_);
}

} // namespace zantrel
