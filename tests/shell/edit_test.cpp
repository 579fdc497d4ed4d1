// Editing inside Zantrel on a decompiled raw image: what replace writes,
// byte for byte; restore's and export-then-import's round trips; import as
// one step.
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

#include "base/paths.h"

#include "imaging/picture.h"

#include "shell/edit.h"
#include "shell/sdimain.h"
#include "shell/workview.h"

#include "support/bytes.h"
#include "support/programrun.h"
#include "support/tempfolder.h"
#include "tools/drmbuilder.h"

namespace zantrel {
namespace {

using test::NextRun;
using test::ReadAll;
using test::Snapshot;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;
using Bytes = std::vector<std::uint8_t>;

// Pictures 1 (5 x 3), icons 2 (GIF 4 x 4), 3 (BMP 3 x 2), 4 (GIF 2 x 2).
Bytes Drm() {
    samples::DrmPlan plan;
    plan.extended = true;
    plan.tag = samples::TagVariant::At464;
    plan.icons = {samples::GifIcon(4, 4, 4), samples::BmpIcon(3, 2, 5), samples::GifIcon(2, 2, 6)};
    plan.pictures = {samples::SamplePicture(5, 3, 6, true, 0)};
    return samples::BuildDrmCodeGroup(plan);
}

class Edit : public ::testing::Test {
protected:
    // A raw image opened with BMP conversion on or off, replacer magenta.
    void Open(bool bmp) {
        WriteText(dir / "zantrel.ini", std::string("0\r\n0\r\n") + (bmp ? "1" : "0") +
                                           "\r\n255\r\n0\r\n255\r\n" + dir.Path() + "\r\n");
        WriteAll(dir / "phone.bin", Drm());
        std::filesystem::remove(dir / "shxdata.dat");
        NextRun(run).ui.openAnswers = {dir / "phone.bin"};
        ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
        NextRun(run); // the second run, where editing is offered
    }
    std::string Icons(const std::string& name) { return dir / ("binary1/drmpack/icons/" + name); }

    TempFolder dir;
    std::unique_ptr<test::ProgramRun> run;
};

Picture Png(const std::string& path, Picture picture) {
    WritePngFile(path, picture);
    return picture;
}

TEST_F(Edit, APictureFromAPngIsTheSlotsBmpOrRawExactly) {
    Open(true);
    Picture picture = FilledPicture(5, 3, 0xFF123456u);
    picture.At(0, 0) = 0x40FFFFFFu; // under half opaque: transparent
    picture.At(4, 2) = 0xFFFF00FFu; // the replacer colour, opaque: kept opaque
    Png(dir / "new.png", picture);
    ASSERT_EQ(ReplaceItem(1, dir / "new.png"), CommandResult::Completed);
    const Bytes bmp = ReadAll(Icons("1.bmp"));
    ASSERT_EQ(bmp.size(), 54u + 3 * 16);
    EXPECT_EQ(bmp[28], 24);
    // Bottom-up: the top row is the last; pixel (0,0) magenta, (1,0) the colour.
    const std::size_t top = 54 + 2 * 16;
    EXPECT_EQ(Bytes(bmp.begin() + top, bmp.begin() + top + 6),
              (Bytes{255, 0, 255, 0x56, 0x34, 0x12}));
    EXPECT_EQ(Bytes(bmp.begin() + 54 + 12, bmp.begin() + 54 + 15), (Bytes{0xFE, 0x00, 0xFF}));
    EXPECT_TRUE(ListWorkItems(1).items[0].edited);

    // The same picture again changes nothing.
    const auto before = Snapshot(dir / "binary1");
    ASSERT_EQ(ReplaceItem(1, dir / "new.png"), CommandResult::Completed);
    EXPECT_EQ(Snapshot(dir / "binary1"), before);

    // Conversion off: the raw, its slot's length, mask bit for (0,0) only.
    Open(false);
    ASSERT_EQ(ReplaceItem(1, dir / "new.png"), CommandResult::Completed);
    const Bytes raw = ReadAll(dir / "binary1/drmpack/raws/1.raw");
    ASSERT_EQ(raw.size(), 2u * 15 + 2);
    EXPECT_EQ(raw[0], 0xF8); // magenta, reduced
    EXPECT_EQ(raw[1], 0x1F);
    EXPECT_EQ(raw[2], 0x11); // 0x123456 as 5-6-5: 00010 001101 01011
    EXPECT_EQ(raw[3], 0xAA);
    EXPECT_EQ(raw[30], 0x80);
    EXPECT_EQ(raw[31], 0x00);
}

TEST_F(Edit, IconsKeepTheirKindAndSizeAndRestoreGivesBackOpensBytes) {
    Open(true);
    const auto opened = Snapshot(dir / "binary1");
    Png(dir / "big.png", FilledPicture(8, 8, 0xFF00C000u));
    ASSERT_EQ(ReplaceItem(2, dir / "big.png"), CommandResult::Completed);
    ASSERT_EQ(ReplaceItem(3, dir / "big.png"), CommandResult::Completed);
    const auto gif = DecodePictureFile(Icons("2.gif"));
    ASSERT_TRUE(gif.has_value());
    EXPECT_EQ(ReadAll(Icons("2.gif"))[0], 'G');
    EXPECT_EQ(std::pair(gif->width, gif->height), std::pair(4, 4));
    EXPECT_EQ(gif->At(1, 1), 0xFF00C000u);
    EXPECT_EQ(ReadAll(Icons("3.bmp"))[0], 'B');
    // Asked for, the icon takes the new picture's own size: an option, or
    // the question's check box.
    ASSERT_EQ(ReplaceItem(4, dir / "big.png", {Fit::Inside, true}), CommandResult::Completed);
    EXPECT_EQ(DecodePictureFile(Icons("4.gif"))->width, 8);
    run->ui.checkAnswers = {true};
    ASSERT_EQ(ReplaceItem(3, dir / "big.png", {Fit::Inside, false, true}),
              CommandResult::Completed);
    ASSERT_EQ(run->ui.pictureQuestions.size(), 1u);
    EXPECT_EQ(run->ui.pictureQuestions[0].text,
              "Replace 3.bmp with big.png? It is fitted to 3 × 2 pixels.");
    EXPECT_EQ(run->ui.pictureQuestions[0].checkBox, "Keep the picture's own size, 8 × 8 pixels");
    EXPECT_EQ(DecodePictureFile(Icons("3.bmp"))->width, 8);
    EXPECT_EQ(EditedCountText(ListWorkItems(1)), "3 of 4 edited");

    ASSERT_EQ(RestoreItem(2), CommandResult::Completed);
    EXPECT_EQ(ReadAll(Icons("2.gif")), opened.at("drmpack/icons/2.gif"));
    run->ui.confirmAnswers = {true};
    ASSERT_EQ(RestoreAllItems(), CommandResult::Completed);
    EXPECT_EQ(Snapshot(dir / "binary1"), opened);
    EXPECT_EQ(EditedCountText(ListWorkItems(1)), "0 of 4 edited");
}

// The files of a folder that differ between two snapshots, by name.
std::vector<std::string> Changed(const std::map<std::string, Bytes>& before,
                                 const std::map<std::string, Bytes>& after) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : after)
        if (!before.contains(name) || before.at(name) != bytes)
            names.push_back(name);
    for (const auto& [name, bytes] : before)
        if (!after.contains(name))
            names.push_back(name);
    return names;
}

TEST_F(Edit, ExportThenImportChangesNoByteAndTheImportIsItsSummary) {
    Open(true);
    const auto opened = Snapshot(dir / "binary1");
    // The folder is made; importing what was exported changes nothing.
    ASSERT_EQ(ExportPictures(dir / "set", Overwrite::Refuse), CommandResult::Completed);
    for (const char* name : {"1.png", "2.png", "3.png", "4.png"})
        EXPECT_TRUE(test::Exists(dir / ("set/" + std::string(name))));
    ASSERT_EQ(ImportPictures(dir / "set"), CommandResult::Completed);
    EXPECT_TRUE(run->ui.questions.empty());
    EXPECT_EQ(Snapshot(dir / "binary1"), opened);

    // One change, fitted; a file cut short, one of another kind than its
    // name, a header claiming far more than its file: all left out, and said
    // so before anything is asked.
    Png(dir / "set/1.png", FilledPicture(10, 6, 0xFF0000FFu));
    Bytes cut = ReadAll(dir / "set/2.png");
    cut.resize(cut.size() - 20);
    WriteAll(dir / "set/2.png", cut);
    WriteAll(dir / "set/3.png", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'});
    WriteAll(dir / "set/4.png",
             {0x89, 'P', 'N', 'G',  13,   10, 26, 10,   0,    0, 0, 13, 'I', 'H', 'D',
              'R',  0,   0,   0xEA, 0x60, 0,  0,  0xEA, 0x60, 8, 6, 0,  0,   0});
    WriteAll(dir / "set/9.png", ReadAll(dir / "set/1.png"));
    std::string summary;
    {
        const Checked<ImportPlan> plan = PlanImport(dir / "set");
        ASSERT_TRUE(plan);
        ASSERT_EQ(plan->changes.size(), 1u);
        EXPECT_EQ(FileNamePart(plan->changes[0].target), "1.bmp");
        summary = ImportPlanText(*plan);
    }
    EXPECT_EQ(summary, "Replace 1 item of phone.bin with the pictures in " + dir / "set" +
                           "?\n\nFitted (inside), their size differs: 1 to 5 × 3\n\nLeft out, "
                           "they cannot be used:\n2.png: the file is cut short\n3.png: it is a "
                           "JPEG picture named .png\n4.png: its header says 60000 × 60000 pixels "
                           "but the file holds too few bytes for that\n\nLeft out, no such item: "
                           "9\n\nThey change together, or none does.");
    // The question is that summary, and the import does exactly what it says.
    run->ui.confirmAnswers = {true};
    ASSERT_EQ(ImportPictures(dir / "set"), CommandResult::Completed);
    ASSERT_EQ(run->ui.questions.size(), 1u);
    EXPECT_EQ(run->ui.questions[0].text, summary);
    EXPECT_EQ(Changed(opened, Snapshot(dir / "binary1")),
              std::vector<std::string>{"drmpack/icons/1.bmp"});
    // Cancelled, nothing changes and nothing is left beside the work files.
    const auto imported = Snapshot(dir / "binary1");
    Png(dir / "set/1.png", FilledPicture(5, 3, 0xFF00FF00u));
    run->ui.confirmAnswers = {false};
    ASSERT_EQ(ImportPictures(dir / "set"), CommandResult::Completed);
    EXPECT_EQ(Snapshot(dir / "binary1"), imported);
}

// A person's own files in the export folder are replaced only after a
// question that names them; typed at the console, only when told.
TEST_F(Edit, ExportsAskBeforeReplacingFiles) {
    Open(true);
    std::filesystem::create_directory(dir / "set");
    WriteAll(dir / "set/2.png", {'m', 'i', 'n', 'e'});
    EXPECT_EQ(ExportPictures(dir / "set", Overwrite::Refuse), CommandResult::Refused);
    EXPECT_EQ(run->ui.messages.back().text,
              "This file in " + dir / "set" +
                  " exists and would be replaced: 2.png. Nothing was written; --overwrite "
                  "replaces it.");
    run->ui.confirmAnswers = {false};
    EXPECT_EQ(ExportPictures(dir / "set"), CommandResult::Completed);
    EXPECT_EQ(run->ui.questions.back().text,
              "This file in " + dir / "set" + " exists and would be replaced: 2.png. Replace it?");
    EXPECT_EQ(test::ListFiles(dir / "set"), std::vector<std::string>{"2.png"});
    EXPECT_EQ(ReadAll(dir / "set/2.png"), (Bytes{'m', 'i', 'n', 'e'}));
    run->ui.confirmAnswers = {true};
    EXPECT_EQ(ExportPictures(dir / "set"), CommandResult::Completed);
    EXPECT_TRUE(DecodePictureFile(dir / "set/2.png"));

    // The sheet: offered beside the flash file; an existing one kept unless
    // the question is answered yes (no brings the dialog back).
    WriteAll(dir / "phone-sheet.png", {'m', 'i', 'n', 'e'});
    run->ui.saveAnswers = {dir / "phone-sheet.png", std::nullopt};
    run->ui.confirmAnswers = {false};
    EXPECT_EQ(ExportContactSheet(std::nullopt), CommandResult::Completed);
    ASSERT_EQ(run->ui.saveDialogs.size(), 2u);
    EXPECT_EQ(run->ui.saveDialogs[0].suggested, dir / "phone-sheet.png");
    EXPECT_EQ(ReadAll(dir / "phone-sheet.png"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(ExportContactSheet(dir / "phone-sheet.png", Overwrite::Refuse),
              CommandResult::Refused);
    EXPECT_EQ(ReadAll(dir / "phone-sheet.png"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(ExportContactSheet(dir / "phone-sheet.png", Overwrite::Replace),
              CommandResult::Completed);
    EXPECT_TRUE(DecodePictureFile(dir / "phone-sheet.png"));
}

// An icon whose file was damaged (a PNG saved as 2.gif) is replaced at the
// size of the phone's own icon in the slot, and the question says so.
TEST_F(Edit, AnIconWithADamagedFileTakesThePhonesIconSize) {
    Open(true);
    Png(Icons("2.gif"), FilledPicture(300, 200, 0xFF808080u));
    Png(dir / "big.png", FilledPicture(8, 8, 0xFF00C000u));
    ReplaceOptions ask;
    ask.askFirst = true;
    ASSERT_EQ(ReplaceItem(2, dir / "big.png", ask), CommandResult::Completed);
    ASSERT_EQ(run->ui.pictureQuestions.size(), 1u);
    EXPECT_EQ(run->ui.pictureQuestions[0].text,
              "Replace 2.gif with big.png? It is fitted to 4 × 4 pixels, the size of the phone's "
              "own icon in this slot.");
    const auto gif = DecodePictureFile(Icons("2.gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(std::pair(gif->width, gif->height), std::pair(4, 4));
}

} // namespace
} // namespace zantrel
