#include <gtest/gtest.h>
#include <map>

#include "base/fileio.h"

#include "drm/compile.h"
#include "drm/decompile.h"
#include "drm/drmpack.h"
#include "drm/port.h"

#include "drmfixture.h"
#include "support/recordingui.h"

namespace zantrel::test {
namespace {

using samples::DrmPlan;

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t v) {
    return std::vector<std::uint8_t>(n, v);
}

DrmPlan Extended(int pictures, std::vector<std::vector<std::uint8_t>> icons, std::uint8_t seed) {
    DrmPlan plan;
    plan.extended = true;
    plan.tag = samples::TagVariant::At464;
    for (int i = 0; i < pictures; ++i)
        plan.pictures.push_back(
            samples::SamplePicture(2 + i, 2, static_cast<std::uint8_t>(seed + i), true, 0));
    plan.icons = std::move(icons);
    return plan;
}

// Both images decompiled into one work tree.
void DecompileBoth(const TempFolder& folder, const DrmPlan& one, const DrmPlan& two) {
    MakeWorkTree(folder);
    PlaceCodeGroup(1, samples::BuildDrmCodeGroup(one));
    PlaceCodeGroup(2, samples::BuildDrmCodeGroup(two));
    ASSERT_TRUE(Report(DrmDecompile(FoldersOf(1))));
    ASSERT_TRUE(Report(DrmDecompile(FoldersOf(2))));
}

TEST(PortDrm, CopiesSlotsByTheirOwnNumbering) {
    for (bool conversion : {false, true}) {
        SCOPED_TRACE(conversion ? "conversion on" : "conversion off");
        TempFolder folder;
        State().rawConversionEnabled = conversion;
        // Image 1: R1 = 1, N1 = 3. Image 2: R2 = 2, N2 = 2; its first icon is a BMP
        // where image 1 holds a GIF.
        DecompileBoth(folder, Extended(1, {Bytes(5, 0x11), Bytes(6, 0x12), Bytes(7, 0x13)}, 1),
                      Extended(2, {samples::BmpIcon(1, 1, 5), Bytes(9, 0x22)}, 7));
        const std::string i1 = State().icons1Dir, i2 = State().icons2Dir;
        const std::string raws1 = State().drmpack1Dir + "/raws",
                          raws2 = State().drmpack2Dir + "/raws";
        const auto picture2 = ReadAll(conversion ? i2 + "/1.bmp" : raws2 + "/1.raw");
        const auto picture1Before = ReadAll(conversion ? i1 + "/1.bmp" : raws1 + "/1.raw");
        const auto untouchedRaw = ReadAll(raws1 + "/1.raw");
        RecordingUi ui;
        PortDrm(FoldersOf(1), FoldersOf(2));

        EXPECT_EQ(ReadAll(i1 + "/2.bmp"), samples::BmpIcon(1, 1, 5)); // from image 2's file 3
        EXPECT_FALSE(Exists(i1 + "/2.gif"));                          // would hide the ported icon
        EXPECT_EQ(ReadAll(i1 + "/3.gif"), Bytes(9, 0x22));            // from image 2's file 4
        EXPECT_EQ(ReadAll(i1 + "/4.gif"), Bytes(7, 0x13));            // beyond N2: kept
        EXPECT_NE(picture1Before, picture2);
        if (conversion) {
            EXPECT_EQ(ReadAll(i1 + "/1.bmp"), picture2);
            EXPECT_EQ(ReadAll(raws1 + "/1.raw"), untouchedRaw);
        } else {
            EXPECT_EQ(ReadAll(raws1 + "/1.raw"), picture2);
        }
        EXPECT_FALSE(Exists(raws1 + "/2.raw"));
        EXPECT_EQ(ui.statusTexts, (std::vector<std::string>{"Copying icons", ""}));
        EXPECT_EQ(ui.progress, (std::vector<int>{0, 50, 100}));
        EXPECT_EQ(ui.closeCalls, 0);

        // Compilation then takes the ported icons.
        State().compiledImagePath = folder / "out.bin";
        ASSERT_TRUE(Report(DrmCompile(FoldersOf(1), State().compiledImagePath)));
    }
}

TEST(PortDrm, BasicDrmsCopyIconsOnly) {
    TempFolder folder;
    DrmPlan one, two;
    one.icons = {Bytes(3, 1), Bytes(3, 2)};
    two.icons = {Bytes(4, 3), Bytes(4, 4), Bytes(4, 5)};
    DecompileBoth(folder, one, two);
    RecordingUi ui;
    PortDrm(FoldersOf(1), FoldersOf(2));
    EXPECT_EQ(Snapshot(State().icons1Dir), (std::map<std::string, std::vector<std::uint8_t>>{
                                               {"1.gif", Bytes(4, 3)}, {"2.gif", Bytes(4, 4)}}));
    EXPECT_FALSE(Exists(State().drmpack1Dir + "/raws"));
}

TEST(PortDrm, IncompatibleDrmsChangeNothing) {
    TempFolder folder;
    DrmPlan basic;
    basic.icons = {Bytes(3, 1)};
    DecompileBoth(folder, basic, Extended(1, {Bytes(4, 2)}, 3));
    const auto before = Snapshot(State().workFolder);
    RecordingUi ui;
    const PortResult port = PortDrm(FoldersOf(1), FoldersOf(2));
    EXPECT_EQ(port.outcome, PortOutcome::Incompatible);
    EXPECT_EQ(port.message, "Incompatible DRMs");
    // Showing it and ending the run are the command's to do.
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.closeCalls, 0);
    EXPECT_EQ(Snapshot(State().workFolder), before);
}

TEST(PortDrm, MissingSourceChangesNothing) {
    TempFolder folder;
    DrmPlan one, two;
    one.icons = {Bytes(3, 1), Bytes(3, 2), Bytes(3, 3)};
    two.icons = {Bytes(4, 4), Bytes(4, 5), Bytes(4, 6)};
    DecompileBoth(folder, one, two);
    std::remove((State().icons2Dir + "/2.gif").c_str());
    try {
        PortDrm(FoldersOf(1), FoldersOf(2));
        FAIL() << "no I/O failure";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 2);
    }
    // All or nothing: the slot before the missing one is not ported either.
    EXPECT_EQ(ReadAll(State().icons1Dir + "/1.gif"), Bytes(3, 1));
    EXPECT_EQ(ListFiles(State().icons1Dir),
              (std::vector<std::string>{"1.gif", "2.gif", "3.gif"})); // no temporary left
    EXPECT_EQ(ReadAll(State().icons1Dir + "/2.gif"), Bytes(3, 2));
    EXPECT_EQ(ReadAll(State().icons1Dir + "/3.gif"), Bytes(3, 3));

    // A record file that is too short fails before anything is copied.
    WriteAll(State().drmpack2Dir + "/descr.dat", Bytes(44, 0));
    WriteAll(State().icons2Dir + "/2.gif", Bytes(4, 5));
    try {
        PortDrm(FoldersOf(1), FoldersOf(2));
        FAIL() << "no I/O failure";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 100);
    }
    EXPECT_EQ(ReadAll(State().icons1Dir + "/2.gif"), Bytes(3, 2));
}

} // namespace
} // namespace zantrel::test
