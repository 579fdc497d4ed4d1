#include "drm/drmcompare.h"

#include <algorithm>

#include "imaging/bmpraw.h"

namespace zantrel {

namespace {

long ItemCount(const DrmSummary& drm) {
    return static_cast<long>(drm.pictures.size() + drm.icons.size());
}

std::optional<DrmItem> ItemOf(const DrmSummary& drm, long number) {
    const auto pictures = static_cast<long>(drm.pictures.size());
    if (number < 1 || number > ItemCount(drm))
        return std::nullopt;
    if (number <= pictures) {
        const PictureSlot& slot = drm.pictures[static_cast<std::size_t>(number - 1)];
        return DrmItem{DrmItem::Kind::Picture, slot.width, slot.height, slot.size};
    }
    const DrmIcon& icon = drm.icons[static_cast<std::size_t>(number - pictures - 1)];
    return DrmItem{icon.bmp ? DrmItem::Kind::BmpIcon : DrmItem::Kind::GifIcon, 0, 0, icon.size};
}

// The part of a picture the phone shows, its pixels and mask, as RawToBmp
// reads it: zeros past the end of a slot too short for them. At most
// 255 x 255 pixels, small enough to hold.
std::vector<std::uint8_t> ShownPart(BinaryFile& file, const PictureSlot& slot) {
    std::vector<std::uint8_t> shown(
        static_cast<std::size_t>(RawPictureSize(slot.width, slot.height)), 0);
    const auto n = static_cast<std::size_t>(
        std::clamp<std::int64_t>(slot.size, 0, static_cast<std::int64_t>(shown.size())));
    file.Seek(slot.offset);
    file.Read(std::span(shown.data(), n));
    return shown;
}

// Whether two shown parts of width x height pixels look alike: each pixel
// transparent in both, or opaque in both and of one colour.
bool SamePixels(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int width,
                int height) {
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // Pixel p's mask bit: bit 15 - p mod 16 of big-endian word p div 16.
    auto transparent = [&](const std::vector<std::uint8_t>& raw, std::size_t p) {
        return (raw[2 * count + 2 * (p / 16) + (p % 16) / 8] >> (7 - p % 8) & 1) != 0;
    };
    for (std::size_t p = 0; p < count; ++p) {
        const bool clear = transparent(a, p);
        if (clear != transparent(b, p))
            return false;
        if (!clear && (a[2 * p] != b[2 * p] || a[2 * p + 1] != b[2 * p + 1]))
            return false;
    }
    return true;
}

// A picture's changes; hidden is set when they are none but its bytes differ.
void ComparePictures(BinaryFile& a, const PictureSlot& pa, BinaryFile& b, const PictureSlot& pb,
                     std::vector<ItemChange>& changes, bool& hidden) {
    const bool sameSize = pa.width == pb.width && pa.height == pb.height;
    if (!sameSize)
        changes.push_back(ItemChange::Size);
    if (pa.size != pb.size)
        changes.push_back(ItemChange::SlotSize);
    if (!sameSize)
        return;
    const std::vector<std::uint8_t> shownA = ShownPart(a, pa);
    const std::vector<std::uint8_t> shownB = ShownPart(b, pb);
    bool bytesDiffer = shownA != shownB;
    if (bytesDiffer && !SamePixels(shownA, shownB, pa.width, pa.height))
        changes.push_back(ItemChange::Pixels);
    // What follows the mask up to the next picture stays in place through a
    // Save As; slots of other sizes have said so already.
    const std::int64_t shown = RawPictureSize(pa.width, pa.height);
    if (pa.size == pb.size && pa.size > shown) {
        if (CountDifferences(a, pa.offset + shown, b, pb.offset + shown, pa.size - shown).count >
            0) {
            changes.push_back(ItemChange::Bytes);
            bytesDiffer = true;
        }
    }
    hidden = changes.empty() && bytesDiffer;
}

void CompareIcons(BinaryFile& a, const DrmIcon& ia, BinaryFile& b, const DrmIcon& ib,
                  std::vector<ItemChange>& changes) {
    if (ia.bmp != ib.bmp)
        changes.push_back(ItemChange::Kind);
    if (ia.size != ib.size)
        changes.push_back(ItemChange::Size);
    else if (CountDifferences(a, ia.offset, b, ib.offset, ia.size).count > 0)
        changes.push_back(ItemChange::Bytes);
}

// What compilation writes in the head of its own: the directory words that
// move with the trail, and the pictures (compared as items).
void AddRebuiltRanges(const DrmSummary& drm, std::vector<ByteRange>& skip) {
    const std::int64_t dir = FileOffsetOf(drm.header.directoryOffset, 0);
    skip.push_back({dir - 16, dir});    // trail pointers and the trail's start
    skip.push_back({dir + 4, dir + 8}); // the icon table's start
    for (const PictureSlot& slot : drm.pictures)
        skip.push_back({slot.offset, slot.offset + slot.size});
}

bool SameTrailPointers(const DrmHeader& a, const DrmHeader& b) {
    // Each as a distance from its trail's start, which moves with the icons.
    auto from = [](std::int32_t pointer, std::int32_t trailStart) {
        return static_cast<std::uint32_t>(pointer) - static_cast<std::uint32_t>(trailStart);
    };
    return from(a.trailPointer1, a.trailStart) == from(b.trailPointer1, b.trailStart) &&
           from(a.trailPointer2, a.trailStart) == from(b.trailPointer2, b.trailStart) &&
           from(a.trailPointer3, a.trailStart) == from(b.trailPointer3, b.trailStart);
}

} // namespace

DrmComparison CompareDrms(BinaryFile& a, const DrmSummary& drmA, BinaryFile& b,
                          const DrmSummary& drmB) {
    DrmComparison result;
    result.extendedA = drmA.extended;
    result.extendedB = drmB.extended;
    result.picturesA = static_cast<long>(drmA.pictures.size());
    result.iconsA = static_cast<long>(drmA.icons.size());
    result.picturesB = static_cast<long>(drmB.pictures.size());
    result.iconsB = static_cast<long>(drmB.icons.size());

    const long items = std::max(ItemCount(drmA), ItemCount(drmB));
    for (long number = 1; number <= items; ++number) {
        ItemDifference item{number, ItemOf(drmA, number), ItemOf(drmB, number), {}};
        bool hidden = false;
        if (!item.b) {
            item.changes.push_back(ItemChange::OnlyInA);
        } else if (!item.a) {
            item.changes.push_back(ItemChange::OnlyInB);
        } else {
            const bool pictureA = number <= result.picturesA;
            const bool pictureB = number <= result.picturesB;
            if (pictureA != pictureB)
                item.changes.push_back(ItemChange::Kind);
            else if (pictureA)
                ComparePictures(a, drmA.pictures[static_cast<std::size_t>(number - 1)], b,
                                drmB.pictures[static_cast<std::size_t>(number - 1)], item.changes,
                                hidden);
            else
                CompareIcons(a, drmA.icons[static_cast<std::size_t>(number - result.picturesA - 1)],
                             b, drmB.icons[static_cast<std::size_t>(number - result.picturesB - 1)],
                             item.changes);
        }
        if (hidden)
            result.hiddenOnly.push_back(number);
        if (!item.changes.empty())
            result.items.push_back(std::move(item));
    }

    std::vector<ByteRange> rebuilt;
    AddRebuiltRanges(drmA, rebuilt);
    AddRebuiltRanges(drmB, rebuilt);
    const DrmHeader& ha = drmA.header;
    const DrmHeader& hb = drmB.header;
    result.head = CompareRegions(a, 0, FileOffsetOf(ha.iconAreaStart, ha.baseAddress), b, 0,
                                 FileOffsetOf(hb.iconAreaStart, hb.baseAddress), rebuilt);
    result.trailPointersSame = SameTrailPointers(ha, hb);
    const std::int64_t trailA = FileOffsetOf(ha.trailStart, ha.baseAddress);
    const std::int64_t trailB = FileOffsetOf(hb.trailStart, hb.baseAddress);
    result.trail = CompareRegions(a, trailA, a.Size() - trailA, b, trailB, b.Size() - trailB);
    return result;
}

} // namespace zantrel
