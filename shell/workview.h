// What the window shows of a decompiled image between the two runs: each
// picture and icon slot with the file that compilation will take for it, so
// the user sees which edits changed a picture's size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/decode.h"

namespace zantrel {

struct WorkItem {
    long number = 0;      // the work file's number: pictures 1..R, icons R+1..R+N
    bool picture = false; // a picture slot (raw or its BMP copy), else an icon
    std::string path;     // the file compilation takes; empty when none is there
    int slotWidth = 0;    // pictures: the size in the DRM's picture descriptor
    int slotHeight = 0;
    int fileWidth = 0; // BMP and GIF files: the size in the file's header; 0 when unknown
    int fileHeight = 0;
    bool sizeChanged = false; // a picture's BMP no longer has its slot's size
    bool notGifOrBmp = false; // an icon whose content is neither (compiled as it is)
    std::int64_t bytes = 0;   // the file's size, -1 when missing
};

struct WorkView {
    std::vector<WorkItem> items;
    // Set when the image's DRM could not be listed ("descr.dat" missing or bad).
    std::string error;
};

// What a thumbnail says under its picture: the file's name, and its size in
// pixels (a picture's slot size) or in bytes; marked when the file is missing
// or not a GIF or BMP, or when a picture no longer has its slot's size.
struct WorkItemCaption {
    std::string name;
    std::string detail;
    bool marked = false;
};
WorkItemCaption CaptionOf(const WorkItem& item);

// Lists image 1's or 2's pictures and icons from its drmpack folder. Never
// throws: a missing or unreadable work file is reported in the result.
WorkView ListWorkItems(int image);

} // namespace zantrel
