#include "shell/mainview.h"

#include "shell/state.h"

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

MainView DescribeMainWindow() {
    MainView view;
    view.title = MainWindowTitle();
    if (State().freshSession) {
        view.hint = FreshRunHint;
        return view;
    }
    view.panel = DescribeSession();
    const int images = view.panel.pair ? 2 : 1;
    for (int image = 1; image <= images; ++image) {
        const WorkView work = ListWorkItems(image);
        // Without image 1's files there is nothing to show but why.
        if (image == 1 && !work.error.empty() && work.items.empty()) {
            view.hint = NoDrmToShowText(work.error);
            return view;
        }
        // Image 1's edits, counted in the panel.
        if (const std::string edited = EditedCountText(work); image == 1 && !edited.empty())
            view.panel.lines.push_back({"Edited", edited});
        ImageView shown{ImageTitle(image), {}};
        for (const WorkItem& item : work.items)
            shown.thumbnails.push_back(ThumbnailOf(item));
        view.images.push_back(std::move(shown));
    }
    view.sessionPage = true;
    return view;
}

} // namespace zantrel
