#include <gtest/gtest.h>

#include "imaging/bmpraw.h"

#include "drm/compile.h"
#include "drm/decompile.h"
#include "drm/drmcompare.h"

#include "drmfixture.h"

namespace zantrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Changes = std::vector<ItemChange>;

struct Compared {
    DrmComparison result;
    // The changes of each differing item, by number.
    std::map<long, Changes> Items() const {
        std::map<long, Changes> items;
        for (const ItemDifference& item : result.items)
            items[item.number] = item.changes;
        return items;
    }
};

Compared CompareBytes(const TempFolder& folder, const Bytes& a, const Bytes& b) {
    WriteAll(folder / "a.bin", a);
    WriteAll(folder / "b.bin", b);
    BinaryFile fileA = BinaryFile::OpenRead(folder / "a.bin");
    BinaryFile fileB = BinaryFile::OpenRead(folder / "b.bin");
    Checked<DrmSummary> drmA = InspectDrm(fileA);
    Checked<DrmSummary> drmB = InspectDrm(fileB);
    EXPECT_TRUE(drmA && drmB) << drmA.Why() << drmB.Why();
    return {CompareDrms(fileA, *drmA, fileB, *drmB)};
}

// ExtendedPlan with what Save As does not keep byte for byte: a colour under
// a transparent pixel other than the replacer, icon padding of more than the
// minimum, and stray bytes after the icon table's last word.
samples::DrmPlan PlanSaveAsDoesNotKeep() {
    samples::DrmPlan plan = ExtendedPlan();
    samples::PicturePlan& masked = plan.pictures[0];
    for (std::size_t p = 0; p < masked.transparent.size(); ++p)
        if (masked.transparent[p])
            masked.pixels[p] = static_cast<std::uint16_t>(0x1234 + p);
    plan.extraIconPadding = true;
    plan.strayTableBytes = {0xAB, 0xCD};
    return plan;
}

TEST(CompareDrms, AnUneditedCompileIsEqualThoughItsBytesAreNot) {
    TempFolder folder;
    State().rawConversionEnabled = true;
    MakeWorkTree(folder);
    const Bytes original = samples::BuildDrmCodeGroup(PlanSaveAsDoesNotKeep());
    PlaceCodeGroup(1, original);
    ASSERT_TRUE(DrmDecompile(FoldersOf(1)).Done());
    ASSERT_TRUE(DrmCompile(FoldersOf(1), folder / "compiled.bin").Done());
    const Bytes compiled = ReadAll(folder / "compiled.bin");
    ASSERT_NE(compiled, original);
    ASSERT_NE(compiled.size(), original.size());

    const Compared c = CompareBytes(folder, original, compiled);
    EXPECT_TRUE(c.result.Equal());
    EXPECT_TRUE(c.result.items.empty());
    EXPECT_TRUE(c.result.head.Same());
    EXPECT_TRUE(c.result.trailPointersSame);
    EXPECT_TRUE(c.result.trail.Same());
    // Picture 1's hidden colours came back as the replacer's.
    EXPECT_EQ(c.result.hiddenOnly, std::vector<long>{1});
}

// ExtendedPlan's items: pictures 1 (3 x 2, masked, 6 filler bytes) and
// 2 (5 x 3), icons 3.gif, 4.bmp and 5 (one byte).
TEST(CompareDrms, ListsExactlyTheItemsAndRegionsThatDiffer) {
    TempFolder folder;
    const samples::DrmPlan plan = ExtendedPlan();
    const samples::DrmLayout layout = samples::LayOutDrm(plan);
    const Bytes original = samples::BuildDrmCodeGroup(plan);
    auto at = [](std::int64_t offset) { return static_cast<std::size_t>(offset); };

    Bytes edited = original;
    edited[at(layout.pictureOffsets[0] + RawPictureSize(3, 2) + 1)] ^= 1; // filler
    edited[at(layout.pictureOffsets[1])] ^= 0x80;                         // an opaque pixel
    edited[at(layout.iconOffsets[1] + 40)] ^= 1;                          // inside the BMP icon
    edited[at(layout.directoryOffset + 12)] ^= 1; // a directory word compilation keeps
    edited.back() ^= 1;                           // the trail
    Compared c = CompareBytes(folder, original, edited);
    EXPECT_FALSE(c.result.Equal());
    EXPECT_EQ(c.Items(), (std::map<long, Changes>{
                             {1, {ItemChange::Bytes}},
                             {2, {ItemChange::Pixels}},
                             {4, {ItemChange::Bytes}},
                         }));
    EXPECT_EQ(c.result.head.bytes.count, 1);
    EXPECT_EQ(c.result.head.bytes.first, layout.directoryOffset + 12);
    EXPECT_EQ(c.result.trail.bytes.count, 1);
    EXPECT_TRUE(c.result.hiddenOnly.empty());

    // Items of other sizes and kinds, and one more: the icons move, so the
    // trail and its pointers move too, and still compare the same.
    samples::DrmPlan other = plan;
    other.pictures[1] = samples::SamplePicture(6, 3, 2, false, 0);
    other.icons[2] = {'B', 'M'};
    other.icons.push_back(samples::GifIcon(2, 2, 9));
    c = CompareBytes(folder, original, samples::BuildDrmCodeGroup(other));
    EXPECT_EQ(c.Items(), (std::map<long, Changes>{
                             {2, {ItemChange::Size, ItemChange::SlotSize}},
                             {5, {ItemChange::Kind, ItemChange::Size}},
                             {6, {ItemChange::OnlyInB}},
                         }));
    EXPECT_TRUE(c.result.trailPointersSame);
    EXPECT_TRUE(c.result.trail.Same());
    // The picture table in the head says the new size.
    EXPECT_FALSE(c.result.head.Same());
}

} // namespace
} // namespace zantrel::test
