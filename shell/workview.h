// What the window shows of a decompiled image between the two runs: each
// picture and icon slot with the file that compilation will take for it,
// marked where Save As would refuse it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zantrel {

// Why Save As would refuse an item's file; None when it takes it.
enum class WorkFault {
    None,
    Missing,
    SizeChanged,   // a picture BMP of another width or height
    NotPlainBmp,   // a picture BMP of another depth or layout, or not a BMP
    DoesNotFit,    // a picture whose pixels no longer fit its slot
    LengthChanged, // a raw picture of another length than its slot
    NotGifOrBmp,   // an icon edited into something else
    Unreadable,
};

struct WorkItem {
    long number = 0;      // the work file's number: pictures 1..R, icons R+1..R+N
    bool picture = false; // a picture slot (raw or its BMP copy), else an icon
    std::string path;     // the file compilation takes; empty when none is there
    int slotWidth = 0;    // pictures: the size in the DRM's picture descriptor
    int slotHeight = 0;
    std::int64_t slotBytes = 0; // pictures: the bytes of the slot in the DRM
    int fileWidth = 0;          // BMP and GIF files: the size in the file's header; 0 when unknown
    int fileHeight = 0;
    std::int64_t bytes = 0; // the file's size, -1 when missing
    WorkFault fault = WorkFault::None;
    std::string problem; // the line Save As lists for the item; empty when it takes it
    // An icon neither GIF nor BMP that the phone's own DRM holds so: compiled as it is.
    bool unusual = false;
    // The file differs from what Open wrote (known when the originals are).
    bool edited = false;
    // False while the item is only listed by name (WorkScanner::Listed): its file
    // not yet examined, so no fault, file size or mark is known.
    bool checked = true;
};

struct WorkView {
    std::vector<WorkItem> items;
    // Set when the image's DRM could not be listed ("descr.dat" missing or bad).
    std::string error;
    // Whether the items' edited marks could be told: the image's code group
    // is there to compare with.
    bool originalsKnown = false;
};

// "5 of 517 edited"; empty when the originals are not known.
std::string EditedCountText(const WorkView& view);

// What a thumbnail says under its picture: the file's name, and its size in
// pixels (a picture's slot size) or in bytes, or in short what Save As would
// refuse; marked exactly where Save As would refuse. tip says it in full
// (empty when there is nothing to say) for a tooltip.
struct WorkItemCaption {
    std::string name;
    std::string detail;
    std::string tip;
    bool marked = false;
    // Differs from what Open wrote: ", edited" ends the detail unless marked.
    bool edited = false;
};
WorkItemCaption CaptionOf(const WorkItem& item);

// Lists image 1's or 2's pictures and icons from its drmpack folder, each
// examined as Save As's check examines it (shell/workcheck.h) and, unless
// the caller has no use for the edited marks, compared with what Open wrote
// in the same pass. Never throws: a missing or unreadable work file is
// reported in the result.
enum class EditedMarks { Read, Skipped };
WorkView ListWorkItems(int image, EditedMarks marks = EditedMarks::Read);

// ListWorkItems in steps, for a window that shows a large DRM before all its
// files are read: Listed once, at once (every item unchecked), then Step
// until it says done, then View, which is what ListWorkItems gives.
class WorkScanner;
class WorkListing {
public:
    explicit WorkListing(int image);
    ~WorkListing();
    WorkListing(const WorkListing&) = delete;
    WorkListing& operator=(const WorkListing&) = delete;
    WorkView Listed();
    // Examines up to count more items; true once every item is.
    bool Step(std::size_t count);
    WorkView View();

private:
    std::unique_ptr<WorkScanner> scanner_;
    std::optional<WorkView> failed_; // a code group that could not be read
};

} // namespace zantrel
