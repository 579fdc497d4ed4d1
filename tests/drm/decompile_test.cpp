#include <cstring>
#include <gtest/gtest.h>

#include "base/fileio.h"

#include "imaging/bmpraw.h"

#include "drm/decompile.h"
#include "drm/drmpack.h"

#include "drmfixture.h"
#include "support/recordingui.h"

namespace zantrel::test {
namespace {

using samples::DrmPlan;
using samples::TagVariant;
using Bytes = std::vector<std::uint8_t>;

TEST(DrmDecompile, ReadsEachHeaderCase) {
    struct Case {
        const char* name;
        bool prefix, extended;
        TagVariant tag;
        bool nameCheckFails;
        std::int32_t prefixLength, nameEntry;
    };
    const Case cases[] = {
        {"no prefix, basic", false, false, TagVariant::At468, false, 0, 24},
        {"no prefix, extended", false, true, TagVariant::At464, false, 0, 24},
        {"prefix, basic", true, false, TagVariant::At456, false, 8, 36},
        {"prefix, extended", true, true, TagVariant::At464, false, 8, 32},
        {"prefix, extended, no _drm name", true, true, TagVariant::At464, true, 8, 32},
        {"signature word", true, true, TagVariant::SignatureWord, false, 8, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        MakeWorkTree(folder);
        DrmPlan plan;
        plan.prefix = c.prefix;
        plan.extended = c.extended;
        plan.tag = c.tag;
        plan.nameCheckFails = c.nameCheckFails;
        plan.icons = {samples::GifIcon(2, 2, 7), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}};
        if (c.extended)
            plan.pictures = {samples::SamplePicture(2, 2, 3, false, 0)};
        PlaceCodeGroup(1, samples::BuildDrmCodeGroup(plan));
        ASSERT_TRUE(Report(DrmDecompile(FoldersOf(1))));

        // basic: icons at 560; extended: table at 560 (5 records), area at 640, one 2x2 picture
        // of 10 bytes, icons at 656. Icons 42 + 10 bytes, then padding to 16.
        const std::int32_t iconArea = c.extended ? 656 : 560;
        const std::int32_t iconTable = iconArea + 64;
        const std::int32_t trail = iconTable + 16;
        std::vector<std::int32_t> expected = {512,
                                              0x10D00000,
                                              0x10D00000 + trail + 4,
                                              0x10D00000 + trail,
                                              0x10D00000 + trail + 8,
                                              0x10D00000 + trail + 12,
                                              0x10D00000 + iconArea,
                                              0x10D00000 + iconTable,
                                              2,
                                              0,
                                              c.prefixLength,
                                              c.nameEntry};
        if (c.extended)
            expected.insert(expected.end(), {1, 640, 560});
        EXPECT_EQ(DescrRecords(State().drmpack1Dir + "/descr.dat"), expected);
        EXPECT_EQ(ReadAll(State().drmpack1Dir + "/start.bin").size(),
                  static_cast<std::size_t>(iconArea));
    }
}

TEST(DrmDecompile, WritesExactWorkFiles) {
    for (bool conversion : {false, true}) {
        SCOPED_TRACE(conversion ? "conversion on" : "conversion off");
        TempFolder folder;
        MakeWorkTree(folder);
        State().rawConversionEnabled = conversion;
        RecordingUi ui;
        DrmPlan plan = ExtendedPlan();
        std::vector<std::uint8_t> cg = samples::BuildDrmCodeGroup(plan);
        ASSERT_EQ(cg.size(), 900u);
        PlaceCodeGroup(1, cg);
        ASSERT_TRUE(Report(DrmDecompile(FoldersOf(1))));

        const std::string d = State().drmpack1Dir;
        std::vector<std::string> files = {"descr.dat", "icons/3.gif", "icons/4.bmp", "icons/5.gif",
                                          "off.bin",   "rawoff.bin",  "raws/1.raw",  "raws/2.raw",
                                          "start.bin", "trail.bin"};
        if (conversion)
            files.insert(files.begin() + 1, {"icons/1.bmp", "icons/2.bmp"});
        EXPECT_EQ(ListFiles(d), files);

        EXPECT_EQ(ReadAll(d + "/start.bin"), Slice(cg, 0, 720));
        EXPECT_EQ(ReadAll(d + "/off.bin"),
                  (std::vector<std::uint8_t>{0, 0,  0, 0, 0, 0,   0, 0, 0, 0,
                                             0, 47, 0, 0, 0, 125, 0, 0, 0, 126}));
        EXPECT_EQ(ReadAll(d + "/trail.bin"), Slice(cg, 868, 32));
        EXPECT_EQ(ReadAll(d + "/rawoff.bin"), Slice(cg, 560, 80));
        EXPECT_EQ(ReadAll(d + "/raws/1.raw"), samples::RawPictureBytes(plan.pictures[0]));
        EXPECT_EQ(ReadAll(d + "/raws/1.raw").size(), 20u); // 12 pixel, 2 mask, 6 filler bytes
        EXPECT_EQ(ReadAll(d + "/raws/2.raw").size(), 32u);
        EXPECT_EQ(ReadAll(d + "/icons/3.gif"), plan.icons[0]);
        EXPECT_EQ(ReadAll(d + "/icons/4.bmp"), plan.icons[1]);
        EXPECT_EQ(ReadAll(d + "/icons/5.gif"), std::vector<std::uint8_t>{'X'});
        EXPECT_EQ(ReadAll(d + "/descr.dat").size(), 60u);
        if (conversion) {
            std::vector<std::uint8_t> bmp = ReadAll(d + "/icons/1.bmp");
            ASSERT_EQ(bmp.size(), 54u + 2 * 12); // 3 pixels and 3 padding bytes per row
            EXPECT_EQ(bmp[18], 3);
            EXPECT_EQ(bmp[22], 2);
            EXPECT_EQ(ReadAll(d + "/icons/2.bmp").size(), 54u + 3 * 16);
        }

        const std::vector<std::string> statuses = {"Extracting raws", "", "Extracting gifs", ""};
        EXPECT_EQ(ui.statusTexts, statuses);
        EXPECT_EQ(ui.progress, (std::vector<int>{0, 50, 100, 0, 33, 67, 100}));
    }
}

TEST(DrmDecompile, BasicLayoutAndEmptyIconTable) {
    TempFolder folder;
    MakeWorkTree(folder);
    RecordingUi ui;
    DrmPlan plan;
    plan.icons = {samples::BmpIcon(1, 1, 0), {'B'}, {}};
    plan.extraIconPadding = true;
    std::vector<std::uint8_t> cg = samples::BuildDrmCodeGroup(plan);
    PlaceCodeGroup(1, cg);
    ASSERT_TRUE(Report(DrmDecompile(FoldersOf(1))));
    const std::string d = State().drmpack1Dir;
    EXPECT_EQ(ListFiles(d),
              (std::vector<std::string>{"descr.dat", "icons/1.bmp", "icons/2.gif", "icons/3.gif",
                                        "off.bin", "start.bin", "trail.bin"}));
    EXPECT_FALSE(Exists(d + "/raws"));
    EXPECT_EQ(ReadAll(d + "/descr.dat").size(), 48u);
    EXPECT_EQ(ReadAll(d + "/icons/3.gif").size(), 0u);
    // Icons end at 560 + 58 + 1; the padding up to the table at 640 is in no file.
    EXPECT_EQ(ReadAll(d + "/start.bin").size(), 560u);
    EXPECT_EQ(BE32(cg, 512 + 4), 0x10D00000u + 640);

    TempFolder again;
    MakeWorkTree(again);
    RecordingUi ui2;
    plan.icons.clear();
    PlaceCodeGroup(1, samples::BuildDrmCodeGroup(plan));
    ASSERT_TRUE(Report(DrmDecompile(FoldersOf(1))));
    EXPECT_EQ(ListFiles(State().icons1Dir), std::vector<std::string>{});
    EXPECT_EQ(DescrRecords(State().drmpack1Dir + "/descr.dat")[8], 0);
    EXPECT_EQ(ui2.progress, std::vector<int>{0});
}

TEST(DrmDecompile, DecompilesImageTwoIntoItsOwnFolders) {
    TempFolder folder;
    MakeWorkTree(folder);
    DrmPlan plan;
    plan.icons = {{'G', 'I'}};
    PlaceCodeGroup(2, samples::BuildDrmCodeGroup(plan));
    ASSERT_TRUE(Report(DrmDecompile(FoldersOf(2))));
    EXPECT_EQ(ReadAll(State().icons2Dir + "/1.gif"), (std::vector<std::uint8_t>{'G', 'I'}));
    EXPECT_EQ(ListFiles(State().drmpack1Dir), std::vector<std::string>{});
}

// A damaged code group is refused with a message saying what is wrong, and
// no work file is written.
TEST(DrmDecompile, RefusesDamagedCodeGroups) {
    // ExtendedPlan: directory at 512, picture table at 560, area at 656,
    // icons at 720, icon table at 848, trail at 868, 900 bytes.
    struct Case {
        const char* name;
        void (*damage)(std::vector<std::uint8_t>&);
        std::string message;
    };
    const Case cases[] = {
        {"directory pointer past the end", [](auto& b) { PutBE32(b, 52, 0x10D00000 + 2000); },
         "The DRM directory (offset 2000) lies outside the code group (900 bytes)."},
        {"directory pointer below the base", [](auto& b) { PutBE32(b, 52, 0x10C00000); },
         "The DRM directory (offset 4293918720) lies outside the code group (900 bytes)."},
        {"icon table past the end", [](auto& b) { PutBE32(b, 516, 0x10D00000 + 901); },
         "The DRM's icon table (offset 901) lies outside the code group (900 bytes)."},
        {"icon table before the icon area", [](auto& b) { PutBE32(b, 516, 0x10D00000 + 700); },
         "The DRM's icon table (offset 700) starts before its icon area (offset 720)."},
        {"trail before the icon table", [](auto& b) { PutBE32(b, 500, 0x10D00000 + 840); },
         "The DRM's trail (offset 840) starts before its icon table (offset 848)."},
        {"icon table of 4 bytes",
         [](auto& b) {
             PutBE32(b, 500, 0x10D00000 + 852);
             PutBE32(b, 496, 0x10D00000 + 852);
         },
         "The DRM's icon table is 4 bytes long; it needs at least 8."},
        {"trail pointer before the icon table", [](auto& b) { PutBE32(b, 504, 0x10D00000 + 100); },
         "The DRM's trail pointer 2 (address 0x10D00064) points before its icon table (address "
         "0x10D00350)."},
        {"icon offsets decrease", [](auto& b) { PutBE32(b, 848 + 12, 10); },
         "Icon 2 ends before it starts (offsets 47 and 10 in the icon table)."},
        {"icon past the icon area", [](auto& b) { PutBE32(b, 848 + 16, 129); },
         "Icon 3 runs past the icon area (it ends at offset 849; the icon table starts at offset "
         "848)."},
        {"two picture descriptors", [](auto& b) { b[560 + 32] = 1; },
         "The DRM's picture table has 2 descriptors; it needs at least 3."},
        {"picture offsets decrease", [](auto& b) { PutBE32(b, 560 + 16 + 12, 20); },
         "Picture 1 ends before it starts (its slot runs from offset 696 to offset 676)."},
        {"picture past the start region", [](auto& b) { PutBE32(b, 560 + 48 + 12, 40); },
         "Picture 2 lies outside the start region (it ends at offset 736; the icon area starts at "
         "offset 720)."},
        {"picture over the directory", [](auto& b) { PutBE32(b, 512 + 36, 0x10D00000 + 500); },
         "Picture 1 (offsets 500 to 520) overlaps the DRM directory (offsets 496 to 552)."},
        {"picture over the picture table", [](auto& b) { PutBE32(b, 512 + 36, 0x10D00000 + 600); },
         "Picture 1 (offsets 600 to 620) overlaps the picture table (offsets 560 to 640)."},
        {"picture area past the start region",
         [](auto& b) { PutBE32(b, 512 + 36, 0x10D00000 + 800); },
         "The DRM's picture area (offset 800) lies outside the start region (the icon area starts "
         "at offset 720)."},
        {"picture table past the start region",
         [](auto& b) { PutBE32(b, 512 + 32, 0x10D00000 + 712); },
         "The DRM's picture table (offsets 712 to 728) runs past the start region (the icon area "
         "starts at offset 720)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        MakeWorkTree(folder);
        RecordingUi ui;
        std::vector<std::uint8_t> cg = samples::BuildDrmCodeGroup(ExtendedPlan());
        ASSERT_EQ(cg.size(), 900u);
        c.damage(cg);
        PlaceCodeGroup(1, cg);
        EXPECT_FALSE(Report(DrmDecompile(FoldersOf(1))));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, c.message);
        EXPECT_EQ(ui.messages[0].caption, "Error");
        EXPECT_EQ(ListFiles(State().drmpack1Dir), std::vector<std::string>{});
    }
}

TEST(DrmDecompile, RefusesWhatASaveWouldRefuse) {
    TempFolder folder;
    MakeWorkTree(folder);
    RecordingUi ui;
    DrmPlan many = ExtendedPlan();
    many.pictures.assign(3000, samples::SamplePicture(1, 1, 7, true, 0));
    PlaceCodeGroup(1, samples::BuildDrmCodeGroup(many));
    EXPECT_EQ(DrmDecompile(FoldersOf(1)).message,
              "The DRM's picture table lists more than 2999 pictures.");
    EXPECT_EQ(ListFiles(State().drmpack1Dir), std::vector<std::string>{});

    // A descriptor larger than its slot: its BMP would compile back too long.
    std::vector<std::uint8_t> cg = samples::BuildDrmCodeGroup(ExtendedPlan());
    cg[577] = 5; // picture 1 said to be 5 x 2 in its slot of 20 bytes
    PlaceCodeGroup(1, cg);
    State().rawConversionEnabled = true;
    EXPECT_EQ(DrmDecompile(FoldersOf(1)).message,
              "Picture 1 is 5 x 2 pixels, which take 22 bytes with their mask, but its slot in "
              "the DRM holds 20 bytes.");
    EXPECT_EQ(ListFiles(State().drmpack1Dir), std::vector<std::string>{});
    // Without conversion the raw picture goes back as it came.
    State().rawConversionEnabled = false;
    EXPECT_TRUE(DrmDecompile(FoldersOf(1)));
}

TEST(InspectDrm, SummarisesTheLayout) {
    TempFolder folder;
    DrmPlan plan = ExtendedPlan();
    WriteAll(folder / "cg.bin", samples::BuildDrmCodeGroup(plan));
    BinaryFile cg = BinaryFile::OpenRead(folder / "cg.bin");
    const Checked<DrmSummary> drm = InspectDrm(cg);
    ASSERT_TRUE(drm) << drm.Why();
    EXPECT_TRUE(drm->extended);
    EXPECT_EQ(drm->header.prefixLength, 8);
    EXPECT_EQ(drm->header.baseAddress, 0x10D00000);
    EXPECT_EQ(drm->header.directoryOffset, 512);
    ASSERT_EQ(drm->pictures.size(), 2u);
    EXPECT_EQ(drm->pictures[0].width, 3);
    EXPECT_EQ(drm->pictures[0].height, 2);
    EXPECT_EQ(drm->pictures[0].offset, 656);
    EXPECT_EQ(drm->pictures[0].size, 20);
    EXPECT_EQ(drm->pictures[1].width, 5);
    EXPECT_EQ(drm->pictures[1].size, 32);
    ASSERT_EQ(drm->icons.size(), 3u);
    EXPECT_EQ(drm->icons[0].offset, 720);
    EXPECT_EQ(drm->icons[0].size, 47);
    EXPECT_FALSE(drm->icons[0].bmp);
    EXPECT_TRUE(drm->icons[1].bmp);
    EXPECT_EQ(drm->icons[2].size, 1);

    WriteAll(folder / "short.bin", std::vector<std::uint8_t>(20, 1));
    BinaryFile tiny = BinaryFile::OpenRead(folder / "short.bin");
    EXPECT_EQ(InspectDrm(tiny).Why(),
              "The code group is only 20 bytes long, too short to hold a DRM header.");
}

TEST(FindDrmTag, TagOffsetsAndSignatureWord) {
    TempFolder tmp;
    auto find = [&](Bytes bytes) {
        WriteAll(tmp / "image.bin", bytes);
        BinaryFile f = BinaryFile::OpenRead(tmp / "image.bin");
        DrmTag t = FindDrmTag(f);
        return std::pair{t.found, t.extended};
    };
    auto with = [](std::size_t size, std::size_t at, const char* text) {
        Bytes b(size, 0);
        std::memcpy(&b[at], text, std::strlen(text));
        return b;
    };
    EXPECT_EQ(find(with(600, 468, "_drm")), std::pair(true, false));
    EXPECT_EQ(find(with(600, 456, "_drm")), std::pair(true, false));
    EXPECT_EQ(find(with(600, 464, "_drm")), std::pair(true, true));
    EXPECT_EQ(find(with(472, 468, "_drm")), std::pair(true, false)); // tag ends the file
    EXPECT_EQ(find(with(600, 468, "_DRM")), std::pair(false, false));
    EXPECT_EQ(find(with(600, 460, "_drm")), std::pair(false, false));
    EXPECT_EQ(find(with(471, 468, "_dr")), std::pair(false, false));
    Bytes both = with(600, 464, "_drm");
    std::memcpy(&both[468], "_drm", 4);
    EXPECT_EQ(find(both), std::pair(true, false)); // 468 is tried first

    EXPECT_EQ(find(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0xD0, 0x00, 0x1C}), std::pair(true, true));
    EXPECT_EQ(find(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x1C, 0x00, 0xD0, 0x10}), std::pair(false, false));
    EXPECT_EQ(find(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0xD0, 0x00}), std::pair(false, false));
    EXPECT_EQ(find(Bytes{}), std::pair(false, false));
}

} // namespace
} // namespace zantrel::test
