#include <filesystem>
#include <gtest/gtest.h>

#include "drm/decompile.h"
#include "drm/originals.h"

#include "drmfixture.h"

namespace zantrel::test {
namespace {

using Numbers = std::optional<std::vector<long>>;

// ExtendedPlan's items: pictures 1 (with a mask) and 2, icons 3.gif, 4.bmp
// and 5.gif (one byte, neither GIF nor BMP).
TEST(EditedItems, TellsEachChangedWorkFileFromWhatOpenWrote) {
    for (const bool conversion : {true, false}) {
        SCOPED_TRACE(conversion ? "BMP pictures" : "raw pictures");
        TempFolder folder;
        State().rawConversionEnabled = conversion;
        MakeWorkTree(folder);
        EXPECT_EQ(EditedItems(FoldersOf(1)), std::nullopt); // no code group: no original known
        PlaceCodeGroup(1, samples::BuildDrmCodeGroup(ExtendedPlan()));
        ASSERT_TRUE(DrmDecompile(FoldersOf(1)).Done());
        EXPECT_EQ(EditedItems(FoldersOf(1)), Numbers(std::vector<long>{}));

        const std::string icons = State().icons1Dir;
        const std::string picture =
            conversion ? icons + "/2.bmp" : State().drmpack1Dir + "/raws/2.raw";
        const std::vector<std::uint8_t> before = ReadAll(picture);
        std::vector<std::uint8_t> changed = before;
        changed.back() ^= 1;
        WriteAll(picture, changed);
        std::vector<std::uint8_t> gif = ReadAll(icons + "/3.gif");
        gif.push_back(0);
        WriteAll(icons + "/3.gif", gif);
        std::filesystem::rename(icons + "/4.bmp", icons + "/4.gif");
        // Beside an unchanged original, a file of the other kind is an edit too.
        WriteAll(icons + "/5.bmp", ReadAll(icons + "/5.gif"));
        EXPECT_EQ(EditedItems(FoldersOf(1)), Numbers(std::vector<long>{2, 3, 4, 5}));

        WriteAll(picture, before);
        EXPECT_EQ(EditedItems(FoldersOf(1)), Numbers(std::vector<long>{3, 4, 5}));
        if (conversion) {
            // The originals of BMP pictures are made with the current replacer colour.
            State().replacer.green = 1;
            EXPECT_EQ(EditedItems(FoldersOf(1)), Numbers(std::vector<long>{1, 3, 4, 5}));
        }
    }
}

} // namespace
} // namespace zantrel::test
