// Undo and redo: each kind of step taken back and made again to the exact
// bytes of the whole work tree, across restarts; a file another program
// changed since is not undone over without asking; the bound drops the
// oldest steps only; the history ends with the session. Taking single
// items of the other phone, and a slot that cannot take one; the marks of
// the items that differ between the two.
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "base/commit.h"

#include "imaging/picture.h"

#include "shell/edit.h"
#include "shell/history.h"
#include "shell/mainview.h"
#include "shell/sdimain.h"
#include "shell/state.h"
#include "shell/take.h"

#include "support/bytes.h"
#include "support/programrun.h"
#include "support/tempfolder.h"
#include "tools/drmbuilder.h"

namespace zantrel {
namespace {

using test::NextRun;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;
using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, Bytes>;

// Pictures 1 (5 x 3), icons 2 (GIF 4 x 4), 3 (BMP 3 x 2), 4 (GIF 2 x 2);
// seed tells two phones apart.
Bytes Drm(int seed) {
    samples::DrmPlan plan;
    plan.extended = true;
    plan.tag = samples::TagVariant::At464;
    plan.icons = {samples::GifIcon(4, 4, 4 + seed), samples::BmpIcon(3, 2, 5 + seed),
                  samples::GifIcon(2, 2, 6 + seed)};
    plan.pictures = {samples::SamplePicture(5, 3, 6 + seed, true, 0)};
    return samples::BuildDrmCodeGroup(plan);
}

class Pair : public ::testing::Test {
protected:
    // A pair of raw images opened, BMP conversion on; the second run.
    void Open() {
        WriteText(dir / "zantrel.ini",
                  "0\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + (dir / "work") + "\r\n");
        WriteAll(dir / "phone.bin", Drm(0));
        WriteAll(dir / "other.bin", Drm(3));
        std::filesystem::remove(dir / "shxdata.dat");
        NextRun(run).ui.openAnswers = {dir / "phone.bin", dir / "other.bin"};
        ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
        NextRun(run);
    }
    // The work files, the history left out.
    Files Work() {
        Files files;
        for (const std::string name : {"binary1", "binary2"})
            for (auto& [path, bytes] : test::Snapshot(dir / ("work/" + std::string(name))))
                files[name + "/" + path] = std::move(bytes);
        return files;
    }
    std::string Icon(const std::string& name, int image = 1) {
        return dir / ("work/binary" + std::to_string(image) + "/drmpack/icons/" + name);
    }

    TempFolder dir;
    std::unique_ptr<test::ProgramRun> run;
};

TEST_F(Pair, EachKindOfStepUndoesAndRedoesToTheExactBytesAcrossARestart) {
    Open();
    WritePngFile(dir / "red.png", FilledPicture(8, 8, 0xFFFF0000u));
    std::filesystem::create_directory(dir / "set");
    WritePngFile(dir / "set/1.png", FilledPicture(5, 3, 0xFF00FF00u));
    WritePngFile(dir / "set/3.png", FilledPicture(3, 2, 0xFF0000FFu));
    struct Kind {
        std::string name;
        std::function<CommandResult()> step;
    };
    const std::vector<Kind> kinds = {
        {"Replace 2.gif", [&] { return ReplaceItem(2, dir / "red.png"); }},
        {"Import of 2 pictures", [&] { return ImportPictures(dir / "set"); }},
        {"Restore 2.gif", [] { return RestoreItem(2); }},
        {"Port of other.bin", [] { return Port1Click(); }},
        {"Restore All of 4 items", [] { return RestoreAllItems(); }},
    };
    std::vector<Files> states = {Work()};
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        ASSERT_EQ(RunCommand(kind.step), CommandResult::Completed);
        states.push_back(Work());
        ASSERT_NE(states.back(), states[states.size() - 2]);
        NextRun(run);
        EXPECT_EQ(NextUndo(), kind.name);
    }
    // Back to Open's files one restart at a time, then forward again.
    for (std::size_t i = kinds.size(); i-- > 0;) {
        ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
        EXPECT_EQ(Work(), states[i]) << kinds[i].name;
        EXPECT_EQ(NextRedo(), kinds[i].name);
        NextRun(run);
    }
    EXPECT_EQ(NextUndo(), std::nullopt);
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    EXPECT_EQ(run->ui.statusTexts.back(), "Nothing to undo");
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        ASSERT_EQ(RunCommand(RedoStep), CommandResult::Completed);
        EXPECT_EQ(Work(), states[i + 1]) << kinds[i].name;
        NextRun(run);
    }
    EXPECT_TRUE(run->ui.questions.empty() ||
                run->ui.questions.back().caption != "Undo"); // nothing changed outside

    // A new step after an undo ends the redo of what was undone.
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    ASSERT_EQ(RunCommand([&] { return ReplaceItem(4, dir / "red.png"); }),
              CommandResult::Completed);
    EXPECT_EQ(NextRedo(), std::nullopt);
    const std::vector<HistoryEntry> steps = HistorySteps();
    ASSERT_EQ(steps.size(), kinds.size());
    EXPECT_EQ(steps.back().name, "Replace 4.gif");

    // The session's end takes the history with it, as the program's own files.
    run->ui.confirmAnswers = {true};
    ASSERT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Completed);
    EXPECT_FALSE(std::filesystem::exists(dir / "work/history"));
}

TEST_F(Pair, AFileChangedOutsideIsKeptOrUndoneOverAsTheAnswerSays) {
    Open();
    const Bytes opened = ReadAll(Icon("2.gif"));
    WritePngFile(dir / "red.png", FilledPicture(8, 8, 0xFFFF0000u));
    ASSERT_EQ(ReplaceItem(2, dir / "red.png"), CommandResult::Completed);
    // Taken by a picture, icon 3's BMP goes and its GIF comes: both files
    // are the step's.
    ASSERT_EQ(ReplaceItem(3, dir / "red.png"), CommandResult::Completed);
    const Bytes outside = {'G', 'I', 'F', '8', '9', 'a', 1, 2, 3};
    WriteAll(Icon("2.gif"), outside);
    // Undo of the later step touches nothing changed: no question.
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    EXPECT_TRUE(run->ui.questions.empty());

    run->ui.confirmAnswers = {true}; // keep it
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    ASSERT_EQ(run->ui.questions.size(), 1u);
    EXPECT_EQ(run->ui.questions[0].text.substr(0, 66),
              "2.gif was changed by another program after Replace 2.gif. Keep it ");
    EXPECT_EQ(ReadAll(Icon("2.gif")), outside);
    EXPECT_EQ(NextRedo(), "Replace 2.gif");

    // Redo finds 2.gif unlike before the step too; this time undone over.
    run->ui.confirmAnswers = {true};
    ASSERT_EQ(RunCommand(RedoStep), CommandResult::Completed);
    EXPECT_EQ(ReadAll(Icon("2.gif")), outside);
    run->ui.confirmAnswers = {false};
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    EXPECT_EQ(ReadAll(Icon("2.gif")), opened);
}

TEST_F(Pair, TheBoundDropsTheOldestStepsOnly) {
    Open();
    const std::string target = Icon("2.gif");
    const std::int64_t size = static_cast<std::int64_t>(ReadAll(target).size());
    // Each step keeps the file twice, before and after: 2 x size bytes.
    for (int i = 0; i < 4; ++i) {
        StagedReplacements staging;
        BinaryFile out = staging.Stage(target);
        Bytes bytes = ReadAll(target);
        bytes.back() = static_cast<std::uint8_t>(i);
        out.Write(bytes);
        out.Close();
        CommitStep(staging, "Step " + std::to_string(i + 1), JournalPath(target), 5 * size);
    }
    const std::vector<HistoryEntry> steps = HistorySteps();
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].name, "Step 3");
    EXPECT_EQ(steps[1].name, "Step 4");
    // Only the kept steps' copies and the index remain.
    EXPECT_EQ(
        test::ListFiles(dir / "work/history"),
        (std::vector<std::string>{"3.1.new", "3.1.old", "4.1.new", "4.1.old", "history.txt"}));
    // The newest stays whatever its size.
    StagedReplacements staging;
    BinaryFile out = staging.Stage(target);
    out.Write(Bytes(10, 7));
    out.Close();
    CommitStep(staging, "Big", JournalPath(target), 1);
    ASSERT_EQ(HistorySteps().size(), 1u);
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    EXPECT_EQ(ReadAll(target).back(), 3);
}

TEST_F(Pair, ADamagedIndexIsReadAsNoneAndNamesNoFileOutsideTheTree) {
    Open();
    WritePngFile(dir / "red.png", FilledPicture(8, 8, 0xFFFF0000u));
    ASSERT_EQ(ReplaceItem(2, dir / "red.png"), CommandResult::Completed);
    const std::string index = dir / "work/history/history.txt";
    std::string text = test::ReadText(index);
    const std::size_t at = text.find("drmpack/icons/2.gif");
    ASSERT_NE(at, std::string::npos);
    WriteText(index, text.replace(at, 19, "../../outside.txt"));
    WriteAll(dir / "outside.txt", {'k', 'e', 'e', 'p'});
    EXPECT_EQ(NextUndo(), std::nullopt);
    EXPECT_EQ(RunCommand(UndoStep), CommandResult::Refused);
    EXPECT_EQ(ReadAll(dir / "outside.txt"), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(run->ui.messages.back().text, "The undo history of this session cannot be read.");
}

TEST_F(Pair, TakesOneItemOrSeveralAsOneStepAndRefusesASlotThatCannotTakeIt) {
    Open();
    const Files opened = Work();
    auto pixels = [](const std::string& path) { return DecodePictureFile(path)->pixels; };
    ASSERT_NE(pixels(Icon("2.gif")), pixels(Icon("2.gif", 2)));

    ASSERT_EQ(TakeItems({2}), CommandResult::Completed);
    ASSERT_EQ(run->ui.pictureQuestions.size(), 1u);
    EXPECT_EQ(run->ui.pictureQuestions[0].text,
              "Use item 2 of other.bin as 2.gif of phone.bin? Everything else stays as it is.");
    EXPECT_EQ(pixels(Icon("2.gif")), pixels(Icon("2.gif", 2)));
    EXPECT_EQ(NextUndo(), "Take 2.gif");

    // A picture of its slot's size comes byte for byte, as Port copies it.
    ASSERT_EQ(TakeItems({1, 3}), CommandResult::Completed);
    EXPECT_EQ(ReadAll(Icon("1.bmp")), ReadAll(Icon("1.bmp", 2)));
    EXPECT_EQ(pixels(Icon("3.bmp")), pixels(Icon("3.bmp", 2)));
    EXPECT_EQ(ReadAll(Icon("4.gif")), opened.at("binary1/drmpack/icons/4.gif"));
    EXPECT_EQ(NextUndo(), "Take of 2 items");
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    EXPECT_EQ(Work(), opened);

    // An icon into a picture's slot: refused, nothing changed, nothing kept.
    EXPECT_EQ(TakeItems({2}, 1), CommandResult::Refused);
    EXPECT_EQ(run->ui.messages.back().text, "That item cannot be taken.");
    EXPECT_EQ(run->ui.messageDetails.back(),
              "item 2 of other.bin is an icon, item 1 of phone.bin a picture\nNothing was "
              "changed.");
    EXPECT_EQ(Work(), opened);
    EXPECT_EQ(NextRedo(), "Take 2.gif");
    EXPECT_EQ(ParseItemList("3,7,3"), (std::vector<long>{3, 7}));
    EXPECT_EQ(ParseItemList("3,,7"), std::nullopt);
}

TEST_F(Pair, MarksTheItemsThatDifferByPixelsAndCountsThem) {
    Open();
    auto marks = [] {
        const MainView view = DescribeMainWindow();
        std::string marked;
        for (const ImageView& image : view.images) {
            for (const Thumbnail& thumbnail : image.thumbnails)
                marked += thumbnail.differs ? "D" : "-";
            marked += " ";
        }
        return marked + view.panel.lines.back().value;
    };
    EXPECT_EQ(marks(), "DDDD DDDD 4 of 4 differ from other.bin");
    // The same pixels count as the same, whatever bytes hold them: an icon
    // taken is fitted and written anew, a picture copied.
    ASSERT_EQ(TakeItems({1, 2}), CommandResult::Completed);
    EXPECT_EQ(marks(), "--DD --DD 2 of 4 differ from other.bin");
}

} // namespace
} // namespace zantrel
