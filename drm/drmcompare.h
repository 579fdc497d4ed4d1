// Whether two DRMs hold the same items, and which differ. Items are
// compared as the phone shows them, so that a DRM and what Save As compiles
// from its unedited work files are equal: a picture by its pixels (the colour
// under a transparent pixel and the mask's unused bits are never shown) and
// the bytes after its mask, an icon byte for byte. The rest of the DRM is
// compared byte for byte too, but for what compilation rebuilds from the
// items: the icon table, the icon area's padding and the directory words
// that move with the trail (whose distances from the trail's start are
// compared instead).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/bytecompare.h"
#include "base/fileio.h"

#include "drm/drmpack.h"

namespace zantrel {

// One work item as a DRM holds it (numbered as the work files are:
// pictures 1 to R, then icons).
struct DrmItem {
    enum class Kind { Picture, GifIcon, BmpIcon };
    Kind kind = Kind::Picture;
    int width = 0; // pictures only
    int height = 0;
    std::int64_t size = 0; // an icon's bytes, a picture's slot
};

// What differs about an item, in the order a person reads them.
enum class ItemChange {
    OnlyInA,
    OnlyInB,
    Kind,     // picture or icon, GIF or BMP icon
    Size,     // a picture's width and height, an icon's length
    SlotSize, // the bytes of a picture's slot
    Pixels,   // what the phone shows of a picture of the same size
    Bytes,    // an icon of the same length, or the bytes after a picture's mask
};

struct ItemDifference {
    long number = 0;
    std::optional<DrmItem> a; // none: not in that DRM
    std::optional<DrmItem> b;
    std::vector<ItemChange> changes;
};

struct DrmComparison {
    bool extendedA = false;
    bool extendedB = false;
    long picturesA = 0;
    long iconsA = 0;
    long picturesB = 0;
    long iconsB = 0;
    std::vector<ItemDifference> items; // those that differ, by number
    // Pictures alike on the phone whose bytes differ only where it shows
    // nothing, as after a Save As with conversion to BMP.
    std::vector<long> hiddenOnly;
    // The head up to the icon area, its pictures and moving words left out.
    RegionComparison head;
    bool trailPointersSame = true;
    RegionComparison trail; // from the end of the icon table to the end

    bool Equal() const {
        return extendedA == extendedB && items.empty() && head.Same() && trailPointersSame &&
               trail.Same();
    }
};

// Compares the DRMs of two open code groups as InspectDrm read them.
// Reads a block (and one picture) at a time. Throws IoError.
DrmComparison CompareDrms(BinaryFile& a, const DrmSummary& drmA, BinaryFile& b,
                          const DrmSummary& drmB);

} // namespace zantrel
