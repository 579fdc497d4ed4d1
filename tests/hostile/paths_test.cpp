// The two-run workflow with spaces and non-ASCII characters in the start
// folder, the work folder and every file name.
#include <filesystem>
#include <gtest/gtest.h>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/unicode.h"

#include "shell/sdimain.h"

#include "hostile.h"
#include "tools/drmbuilder.h"

namespace zantrel::hostile {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::ListFiles;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;
using Message = test::RecordingUi::Message;

TEST(OddPaths, TwoRunsWithSpacesAndNonAscii) {
    TempFolder top;
    const std::string start = top / "Start F\xC3\xB6lder \xC3\xBC";            // "Start Földer ü"
    const std::string work = top / "W\xC3\xB6rk Ordner \xC3\xB1 \xE2\x82\xAC"; // "Wörk Ordner ñ €"
    fs::create_directories(PathFromUtf8(start));
    fs::create_directories(PathFromUtf8(work));
    fs::current_path(PathFromUtf8(start));
    WriteSettings(start, work);
    const std::string one = start + "/ph\xC3\xB6ne one.shx";
    const std::string two = start + "/zwei \xC3\x9F.sbf";
    const std::string raw = start + "/\xC3\xAFmage raw.bin";
    WriteAll(one, SmallSuperfile(SmallExtendedDrm(1)));
    WriteAll(two, SmallSbf(SmallExtendedDrm(9)));
    WriteAll(raw, SmallBasicDrm());

    // First run: open both; second run: port and save.
    std::unique_ptr<ProgramRun> run;
    NextRun(run).ui.openAnswers = {one, two};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    EXPECT_EQ(run->ui.messages, (std::vector<Message>{{"DRM decompiled.", ""}}));
    EXPECT_EQ(test::ReadText(start + "/shxdata.dat"), "2");
    EXPECT_TRUE(Exists(work + "/binary2/drmpack/descr.dat"));
    EXPECT_EQ(ReadAll(work + "/binary1/CG15.bin"), SmallExtendedDrm(1));

    const std::string saved = start + "/n\xC3\xAB"
                                      "w out put.shx";
    const std::string image = start + "/n\xC3\xAB"
                                      "w out put.bin";
    NextRun(run).ui.saveAnswers = {saved};
    ASSERT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    ASSERT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed) << run->errors.size();
    EXPECT_EQ(run->ui.messages.back(), (Message{"Operation Complete", ""}));
    EXPECT_FALSE(Exists(start + "/shxdata.dat"));
    EXPECT_FALSE(Exists(JoinPath(work, "binary1"))); // cleaned after saving
    EXPECT_EQ(Entries(start),
              (std::vector<std::string>{"n\xC3\xAB"
                                        "w out put.bin",
                                        "n\xC3\xAB"
                                        "w out put.shx",
                                        "ph\xC3\xB6ne one.shx", "zantrel.ini", "zwei \xC3\x9F.sbf",
                                        "\xC3\xAFmage raw.bin"}));

    // The written superfile opens again, and its DRM is the code group written beside it.
    NextRun(run).ui.openAnswers = {saved, std::nullopt};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    EXPECT_EQ(run->ui.messages, (std::vector<Message>{{"DRM decompiled.", ""}}));
    EXPECT_EQ(ReadAll(work + "/binary1/CG15.bin"), ReadAll(image));
    EXPECT_EQ(ReadAll(work + "/binary1/RAMDLD.bin").size(), 512u);

    // A raw image session under the same names.
    const std::string rawOut = start + "/n\xC3\xAB"
                                       "w \xC3\xADmage.bin";
    NextRun(run); // a second run of the session above: leave it
    ASSERT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
    DeleteFileQuietly(JoinPath(start, "shxdata.dat"));
    NextRun(run).ui.openAnswers = {raw, std::nullopt};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    EXPECT_EQ(test::ReadText(start + "/shxdata.dat"), "5");
    NextRun(run).ui.saveAnswers = {rawOut};
    ASSERT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    // Nothing edited: the compiled code group is the one opened.
    EXPECT_EQ(ReadAll(rawOut), SmallBasicDrm());
    EXPECT_EQ(Leftovers(top.Path()), std::vector<std::string>{});
}

// Windows takes a plain path of at most 259 characters (a folder's, 247).
TEST(OddPaths, WorkFolderPast260Characters) {
    TempFolder top;
    const std::string work = JoinPath(JoinPath(top / std::string(100, 'a'), std::string(100, 'b')),
                                      std::string(90, 'c'));
    ASSERT_GT(work.size(), 260u);
    fs::create_directories(PathFromUtf8(work));
    WriteSettings(top.Path(), work);
    const std::string flash = top / "phone.shx";
    WriteAll(flash, SmallSuperfile(SmallExtendedDrm(1)));

    std::unique_ptr<ProgramRun> run;
    NextRun(run).ui.openAnswers = {flash, std::nullopt};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed) << run->errors.size();
    EXPECT_EQ(ReadAll(JoinPath(work, "binary1/CG15.bin")), SmallExtendedDrm(1));
    EXPECT_TRUE(Exists(JoinPath(work, "binary1/drmpack/icons/1.bmp")));

    NextRun(run).ui.saveAnswers = {top / "new.shx"};
    ASSERT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed)
        << (run->errors.empty() ? "" : run->errors[0]);
    EXPECT_EQ(run->ui.messages.back(), (Message{"Operation Complete", ""}));
    EXPECT_TRUE(Exists(top / "new.shx"));
    EXPECT_FALSE(Exists(JoinPath(work, "binary1"))); // cleaned after saving
}

} // namespace
} // namespace zantrel::hostile
