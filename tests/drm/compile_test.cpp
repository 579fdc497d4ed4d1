#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

#include "base/fileio.h"
#include "base/paths.h"

#include "imaging/bmpraw.h"

#include "drm/compile.h"
#include "drm/decompile.h"
#include "drm/drmpack.h"

#include "drmfixture.h"
#include "support/recordingui.h"

namespace zantrel::test {
namespace {

using samples::DrmPlan;

// Decompiles plan as image 1 and points the compilation at folder/out.bin.
std::vector<std::uint8_t> Decompiled(const TempFolder& folder, const DrmPlan& plan) {
    MakeWorkTree(folder);
    std::vector<std::uint8_t> cg = samples::BuildDrmCodeGroup(plan);
    PlaceCodeGroup(1, cg);
    EXPECT_TRUE(Report(DrmDecompile(FoldersOf(1))));
    State().compiledImagePath = folder / "out.bin";
    return cg;
}

// Compiles image 1 to where Decompiled pointed the compilation.
Outcome CompileImage1() { return DrmCompile(FoldersOf(1), State().compiledImagePath); }

bool NoTemporaryLeft(const TempFolder& folder) {
    for (const std::string& f : ListFiles(folder.Path()))
        if (f.find(".tmp") != std::string::npos)
            return false;
    return true;
}

DrmPlan TwoIconBasic() {
    DrmPlan plan; // icons at 560, 48 bytes of icons: the table at 608 needs no padding
    plan.icons = {std::vector<std::uint8_t>(16, 0x11), std::vector<std::uint8_t>(32, 0x22)};
    return plan;
}

TEST(DrmCompile, UneditedFolderRoundTripsByteForByte) {
    DrmPlan basic;
    basic.icons = {samples::GifIcon(5, 5, 3), samples::BmpIcon(2, 3, 4), {0x00}};
    DrmPlan signature = ExtendedPlan();
    signature.tag = samples::TagVariant::SignatureWord;
    DrmPlan noName = ExtendedPlan();
    noName.nameCheckFails = true;
    struct Case {
        const char* name;
        DrmPlan plan;
        bool conversion;
    };
    const Case cases[] = {
        {"basic", basic, false},
        {"extended, filler after a mask", ExtendedPlan(), false},
        {"extended, converted to BMP and back", ExtendedPlan(), true},
        {"signature word", signature, true},
        {"directory pointer at 44", noName, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        State().rawConversionEnabled = c.conversion;
        std::vector<std::uint8_t> cg = Decompiled(folder, c.plan);
        RecordingUi ui;
        ASSERT_TRUE(Report(CompileImage1()));
        EXPECT_EQ(ReadAll(folder / "out.bin"), cg);
        EXPECT_EQ(ReadAll(State().drmpack1Dir + "/newoff.bin"),
                  ReadAll(State().drmpack1Dir + "/off.bin"));
        EXPECT_TRUE(NoTemporaryLeft(folder));
        if (c.plan.extended) {
            EXPECT_EQ(ui.statusTexts,
                      (std::vector<std::string>{"Moving gifs", "Converting and moving raws", ""}));
            EXPECT_EQ(ui.progress, (std::vector<int>{0, 20, 40, 60, 80, 100}));
        } else {
            EXPECT_EQ(ui.statusTexts, (std::vector<std::string>{"Moving gifs", ""}));
            EXPECT_EQ(ui.progress, (std::vector<int>{0, 33, 67, 100}));
        }
    }
}

TEST(DrmCompile, PicturesStayInTheirSlots) {
    TempFolder folder;
    std::vector<std::uint8_t> cg = Decompiled(folder, ExtendedPlan());
    // Picture 2 replaced whole goes to its own slot; nothing else moves.
    std::vector<std::uint8_t> raw2(32, 0x5A);
    WriteAll(State().drmpack1Dir + "/raws/2.raw", raw2);
    ASSERT_TRUE(Report(CompileImage1()));
    std::vector<std::uint8_t> out = ReadAll(folder / "out.bin");
    ASSERT_EQ(out.size(), 900u);
    EXPECT_EQ(Slice(out, 0, 676), Slice(cg, 0, 676));
    EXPECT_EQ(Slice(out, 676, 32), raw2);
    EXPECT_EQ(Slice(out, 708, 192), Slice(cg, 708, 192));
}

TEST(DrmCompile, LongerIconMovesTableAndTrailWords) {
    TempFolder folder;
    std::vector<std::uint8_t> cg = Decompiled(folder, TwoIconBasic());
    ASSERT_EQ(cg.size(), 656u); // table at 608, trail at 624
    std::vector<std::uint8_t> icon1(36, 0x33);
    WriteAll(State().icons1Dir + "/1.gif", icon1);
    ASSERT_TRUE(Report(CompileImage1()));

    std::vector<std::uint8_t> out = ReadAll(folder / "out.bin");
    ASSERT_EQ(out.size(), 688u); // 560 + 68 icon bytes + 12 zero bytes + 16 + 32
    EXPECT_EQ(Slice(out, 560, 36), icon1);
    EXPECT_EQ(Slice(out, 596, 32), std::vector<std::uint8_t>(32, 0x22));
    EXPECT_EQ(Slice(out, 628, 12), std::vector<std::uint8_t>(12, 0));
    EXPECT_EQ(Slice(out, 640, 16),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 36, 0, 0, 0, 68}));
    EXPECT_EQ(Slice(out, 656, 32), Slice(cg, 624, 32));
    // Each trail word moves by 32, the icon table points at 640, the icon
    // area's word stays.
    EXPECT_EQ(BE32(out, 496), 0x10D00000u + 628 + 32);
    EXPECT_EQ(BE32(out, 500), 0x10D00000u + 624 + 32);
    EXPECT_EQ(BE32(out, 504), 0x10D00000u + 632 + 32);
    EXPECT_EQ(BE32(out, 508), 0x10D00000u + 636 + 32);
    EXPECT_EQ(BE32(out, 512), 0x10D00000u + 560);
    EXPECT_EQ(BE32(out, 516), 0x10D00000u + 640);
    EXPECT_EQ(Slice(out, 520, 40), Slice(cg, 520, 40));
}

TEST(DrmCompile, StrayTableBytesAreDroppedAndTheTrailMovesByItsOwnDistance) {
    TempFolder folder;
    DrmPlan plan = TwoIconBasic();
    plan.strayTableBytes = {0xAB, 0xCD};
    std::vector<std::uint8_t> cg = Decompiled(folder, plan);
    ASSERT_EQ(cg.size(), 658u); // table 608..626, trail at 626
    ASSERT_TRUE(Report(CompileImage1()));
    std::vector<std::uint8_t> out = ReadAll(folder / "out.bin");
    ASSERT_EQ(out.size(), 656u);
    EXPECT_EQ(Slice(out, 608, 16), Slice(cg, 608, 16));
    EXPECT_EQ(Slice(out, 624, 32), Slice(cg, 626, 32));
    EXPECT_EQ(BE32(out, 496), 0x10D00000u + 630 - 2);
    EXPECT_EQ(BE32(out, 500), 0x10D00000u + 624);
    EXPECT_EQ(BE32(out, 504), 0x10D00000u + 634 - 2);
    EXPECT_EQ(BE32(out, 508), 0x10D00000u + 638 - 2);
    EXPECT_EQ(BE32(out, 516), 0x10D00000u + 608);
}

TEST(DrmCompile, GifIsTakenBeforeBmpAndAMissingIconFailsWithoutOutput) {
    TempFolder folder;
    Decompiled(folder, TwoIconBasic());
    WriteAll(State().icons1Dir + "/2.bmp", std::vector<std::uint8_t>(20, 0x44));
    ASSERT_TRUE(Report(CompileImage1()));
    EXPECT_EQ(Slice(ReadAll(folder / "out.bin"), 576, 32), std::vector<std::uint8_t>(32, 0x22));

    WriteAll(folder / "out.bin", {'o', 'l', 'd'});
    std::remove((State().icons1Dir + "/2.gif").c_str());
    std::remove((State().icons1Dir + "/2.bmp").c_str());
    try {
        Report(CompileImage1());
        FAIL() << "no I/O failure";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 2);
        EXPECT_EQ(e.Path(), JoinPath(State().icons1Dir, "2.bmp"));
    }
    EXPECT_EQ(ReadAll(folder / "out.bin"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(NoTemporaryLeft(folder));
}

// A ".gif" that is there only in another case, or that is a folder, does not
// open as the icon: its ".bmp" is taken, as when no ".gif" is there at all.
TEST(DrmCompile, GifThatDoesNotOpenFallsBackToBmp) {
    TempFolder folder;
    Decompiled(folder, TwoIconBasic());
    const std::string icons = State().icons1Dir;
    std::remove((icons + "/1.gif").c_str());
    std::remove((icons + "/2.gif").c_str());
    std::filesystem::create_directory(icons + "/1.gif");
    WriteAll(icons + "/1.bmp", std::vector<std::uint8_t>(16, 0x55));
    WriteAll(icons + "/2.GIF", std::vector<std::uint8_t>(32, 0x77));
    WriteAll(icons + "/2.bmp", std::vector<std::uint8_t>(32, 0x66));
    ASSERT_TRUE(Report(CompileImage1()));
    const std::vector<std::uint8_t> out = ReadAll(folder / "out.bin");
    EXPECT_EQ(Slice(out, 560, 16), std::vector<std::uint8_t>(16, 0x55));
    // Where names are matched without regard to case, 2.GIF is the icon.
    const bool caseBlind = std::filesystem::exists(icons + "/2.gif");
    EXPECT_EQ(Slice(out, 576, 32), std::vector<std::uint8_t>(32, caseBlind ? 0x77 : 0x66));
}

// An edited picture that does not fit is refused before the output exists;
// an earlier output stays as it was.
TEST(DrmCompile, RefusesPicturesThatDoNotFit) {
    struct Case {
        const char* name;
        bool conversion;
        void (*edit)();
        std::string message; // empty: the message of CheckPictureBmp for picture 2
    };
    const Case cases[] = {
        {"raw longer than its slot", false,
         [] { WriteAll(State().drmpack1Dir + "/raws/2.raw", std::vector<std::uint8_t>(34, 1)); },
         "Picture 2.raw is 34 bytes long, but its slot in the DRM holds 32 bytes; a raw picture "
         "must keep the length it was decompiled with."},
        // Shorter would leave the end of the slot holding the old picture's bytes.
        {"raw shorter than its slot", false,
         [] { WriteAll(State().drmpack1Dir + "/raws/1.raw", std::vector<std::uint8_t>(14, 1)); },
         "Picture 1.raw is 14 bytes long, but its slot in the DRM holds 20 bytes; a raw picture "
         "must keep the length it was decompiled with."},
        {"BMP whose raw form is longer than its slot", true,
         [] {
             std::vector<std::uint8_t> start = ReadAll(State().drmpack1Dir + "/start.bin");
             start[577] = 5; // descriptor 1 says 5 x 2: 22 bytes in a slot of 20
             WriteAll(State().drmpack1Dir + "/start.bin", start);
             WriteAll(State().icons1Dir + "/1.bmp", samples::BmpIcon(5, 2, 9));
         },
         "Picture 1 is 22 bytes long, but its slot in the DRM holds 20 bytes."},
        {"BMP of the wrong size", true,
         [] { WriteAll(State().icons1Dir + "/2.bmp", samples::BmpIcon(4, 3, 9)); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        State().rawConversionEnabled = c.conversion;
        Decompiled(folder, ExtendedPlan());
        c.edit();
        WriteAll(folder / "out.bin", {'o', 'l', 'd'});
        RecordingUi ui;
        EXPECT_FALSE(Report(CompileImage1()));
        std::string expected = c.message;
        if (expected.empty())
            expected = CheckPictureBmp(State().icons1Dir + "/2.bmp", 5, 3).value_or("(accepted)");
        EXPECT_EQ(ui.messages, (std::vector<RecordingUi::Message>{{expected, "Error"}}));
        EXPECT_EQ(ReadAll(folder / "out.bin"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
        EXPECT_TRUE(NoTemporaryLeft(folder));
        EXPECT_FALSE(Exists(State().drmpack1Dir + "/newoff.bin"));
    }
}

TEST(DrmCompile, RefusesABadRecordFile) {
    auto records = [](std::vector<std::int32_t> v) {
        std::vector<std::uint8_t> b;
        for (std::int32_t x : v)
            for (int i = 0; i < 4; ++i)
                b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(x) >> (8 * i)));
        return b;
    };
    // ExtendedPlan's records.
    const std::vector<std::int32_t> good = {
        512, 0x10D00000, 0x10D00368, 0x10D00364, 0x10D0036C, 0x10D00370, 0x10D002D0, 0x10D00350,
        3,   0,          8,          32,         2,          656,        560};
    struct Case {
        const char* name;
        std::vector<std::uint8_t> descr;
        int code;            // expected I/O failure, or 0
        std::string message; // expected refusal
    };
    auto with = [&](std::size_t index, std::int32_t value) {
        std::vector<std::int32_t> v = good;
        v[index] = value;
        return records(v);
    };
    std::vector<std::int32_t> sixteen = good;
    sixteen.push_back(0);
    const Case cases[] = {
        {"empty", {}, 100, ""},
        {"11 records", records({good.begin(), good.begin() + 11}), 100, ""},
        {"13 records", records({good.begin(), good.begin() + 13}), 100, ""},
        {"14 records", records({good.begin(), good.begin() + 14}), 100, ""},
        {"16 records", records(sixteen), 0,
         "The DRM record file descr.dat holds 16 records; it must hold 12 or 15."},
        {"negative icon count", with(8, -1), 0,
         "The DRM record file descr.dat gives -1 icons; the count must lie between 0 and 2999."},
        {"absurd picture count", with(12, 3000), 0,
         "The DRM record file descr.dat gives 3000 pictures; the count must lie between 0 and "
         "2999."},
        {"picture table outside start.bin", with(14, 700), 0,
         "descr.dat puts the picture table of 5 descriptors at offset 700, outside start.bin (720 "
         "bytes)."},
        {"directory outside start.bin", with(0, 8), 0,
         "descr.dat puts the DRM directory at offset 8, outside start.bin (720 bytes)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        Decompiled(folder, ExtendedPlan());
        ASSERT_EQ(DescrRecords(State().drmpack1Dir + "/descr.dat"), good);
        WriteAll(State().drmpack1Dir + "/descr.dat", c.descr);
        RecordingUi ui;
        if (c.code != 0) {
            try {
                Report(CompileImage1());
                ADD_FAILURE() << "no I/O failure";
            } catch (const IoError& e) {
                EXPECT_EQ(e.Code(), c.code);
            }
        } else {
            EXPECT_FALSE(Report(CompileImage1()));
            EXPECT_EQ(ui.messages, (std::vector<RecordingUi::Message>{{c.message, "Error"}}));
        }
        EXPECT_FALSE(Exists(folder / "out.bin"));
        EXPECT_TRUE(NoTemporaryLeft(folder));
    }

    TempFolder folder;
    MakeWorkTree(folder);
    State().compiledImagePath = folder / "out.bin";
    try {
        Report(CompileImage1());
        FAIL() << "no I/O failure";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 2);
    }
}

} // namespace
} // namespace zantrel::test
