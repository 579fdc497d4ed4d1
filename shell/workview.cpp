#include "shell/workview.h"

#include <algorithm>

#include "base/fileio.h"
#include "base/paths.h"

#include "shell/workcheck.h"

namespace zantrel {

namespace {

WorkView FailedView(const IoError& e) {
    WorkView view;
    view.error = IoErrorMessage(e.Code()) + " (" + e.Path() + ")";
    return view;
}

// scan's result as a view: its items, or why there are none.
template <class Scan> WorkView ViewOf(Scan scan) {
    try {
        WorkScan done = scan();
        WorkView view;
        view.items = std::move(done.items);
        view.originalsKnown = done.originalsKnown;
        if (view.items.empty() && !done.problems.empty() && done.problems[0].number == 0)
            view.error = done.problems[0].text;
        return view;
    } catch (const IoError& e) {
        return FailedView(e);
    }
}

} // namespace

WorkView ListWorkItems(int image, EditedMarks marks) {
    return ViewOf([&] { return ScanWorkFiles(image, false, marks); });
}

WorkListing::WorkListing(int image)
    : scanner_(std::make_unique<WorkScanner>(image, EditedMarks::Read)) {}

WorkListing::~WorkListing() = default;

WorkView WorkListing::Listed() {
    return ViewOf([&] { return scanner_->Listed(); });
}

bool WorkListing::Step(std::size_t count) {
    if (failed_)
        return true;
    try {
        return scanner_->Step(count);
    } catch (const IoError& e) {
        failed_ = FailedView(e);
        return true;
    }
}

WorkView WorkListing::View() {
    if (failed_)
        return *failed_;
    return ViewOf([&] { return scanner_->Done(); });
}

std::string EditedCountText(const WorkView& view) {
    if (!view.originalsKnown)
        return {};
    const auto edited = std::count_if(view.items.begin(), view.items.end(),
                                      [](const WorkItem& item) { return item.edited; });
    return std::to_string(edited) + " of " + std::to_string(view.items.size()) + " edited";
}

WorkItemCaption CaptionOf(const WorkItem& item) {
    WorkItemCaption caption;
    const auto size = [](int width, int height) {
        return std::to_string(width) + "x" + std::to_string(height);
    };
    caption.name = item.path.empty() ? std::to_string(item.number) : FileNamePart(item.path);
    caption.tip = item.problem;
    caption.marked = item.fault != WorkFault::None;
    switch (item.fault) {
    case WorkFault::Missing:
        caption.detail = "missing";
        break;
    case WorkFault::SizeChanged:
        caption.detail = "size changed: was " + size(item.slotWidth, item.slotHeight);
        break;
    case WorkFault::NotPlainBmp:
        caption.detail = "not a plain 24-bit BMP";
        break;
    case WorkFault::DoesNotFit:
        caption.detail = "does not fit its slot";
        break;
    case WorkFault::LengthChanged:
        caption.detail = "length changed: was " + std::to_string(item.slotBytes) + " bytes";
        break;
    case WorkFault::NotGifOrBmp:
        caption.detail = "not a GIF or BMP";
        break;
    case WorkFault::Unreadable:
        caption.detail = "cannot be read";
        break;
    case WorkFault::None:
        if (item.unusual) {
            caption.detail = "not GIF/BMP, as found";
            caption.tip = "Neither a GIF nor a BMP, as in the phone's own DRM: it is compiled as "
                          "it is.";
        } else if (item.picture) {
            caption.detail = size(item.slotWidth, item.slotHeight);
        } else if (item.fileWidth > 0 && item.fileHeight > 0) {
            caption.detail = size(item.fileWidth, item.fileHeight);
        } else if (!item.checked) {
            caption.detail.clear(); // told once the file is read
        } else {
            caption.detail = std::to_string(item.bytes) + " bytes";
        }
        break;
    }
    // A refusal tells of an edit already.
    caption.edited = item.edited;
    if (item.edited && item.fault == WorkFault::None)
        caption.detail += ", edited";
    return caption;
}

} // namespace zantrel
