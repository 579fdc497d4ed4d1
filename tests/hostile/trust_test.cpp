// What a person must be able to trust: one Zantrel per start folder, no
// path through a link out of the work tree, a pair of outputs replaced
// together or not at all, honest endings when a file cannot be deleted.
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "base/folderlock.h"
#include "base/unicode.h"

#include "shell/about1.h"
#include "shell/cleanup.h"
#include "shell/sdimain.h"
#include "shell/settings.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/workcheck.h"

#include "hostile.h"
#include "support/process.h"

namespace zantrel::hostile {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::ReadAll;
using test::ReadText;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;
using Op = FaultInjector::Op;

constexpr const char* AlreadyRunning = "Zantrel is already running in this folder.";

bool Says(const test::ProgramResult& r, const std::string& text) {
    return r.out.find(text) != std::string::npos || r.err.find(text) != std::string::npos;
}

class Trust : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSettings(dir.Path(), dir / "work");
        WriteAll(dir / "a.shx", SmallSuperfile(SmallExtendedDrm(1)));
        WriteAll(dir / "b.shx", SmallSuperfile(SmallExtendedDrm(9)));
    }
    test::ProgramResult Cli(const std::vector<std::string>& args) {
        return test::RunProgram(dir.Path(), "zantrel-cli", args);
    }
    // A fresh start that opens file alone (or with a second file).
    void Open(const std::string& file, std::optional<std::string> second = std::nullopt) {
        std::remove((dir / "shxdata.dat").c_str());
        NextRun(run).ui.openAnswers = {file, second};
        ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    }
    CommandResult Save(const std::string& target) {
        NextRun(run).ui.saveAnswers = {target};
        return RunCommand(FileSave1Execute);
    }

    TempFolder dir;
    std::unique_ptr<ProgramRun> run;
};

TEST_F(Trust, ASecondCopyInTheFolderIsRefusedAndChangesNothing) {
    NextRun(run); // this run holds the folder
    const auto before = Snapshot(dir.Path());
    const test::ProgramResult second = Cli({"open", dir / "a.shx"});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(Says(second, AlreadyRunning)) << second.out << second.err;
    EXPECT_EQ(Snapshot(dir.Path()), before);

    run.reset(); // the run ends: the next one starts
    EXPECT_EQ(Cli({"open", dir / "a.shx"}).status, 0);

#ifndef _WIN32
    // A holder that is killed leaves nothing stale behind.
    const pid_t holder = fork();
    if (holder == 0) {
        LockStartFolder(dir.Path());
        pause();
        _exit(0);
    }
    for (int i = 0; i < 200 && !Says(Cli({"session"}), AlreadyRunning); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Cli({"session"}).status, 1);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(Cli({"session"}).status, 0);
#endif
}

// Two copies started at once: whichever runs, what it reports complete is
// right, and the other changes nothing.
TEST_F(Trust, ConcurrentPairsNeverReportAWrongOutput) {
#ifdef _WIN32
    constexpr int Trials = 4; // a process start under Wine takes most of a second
#else
    // Fewer where the sweeps take a stride (a process start costs ten times
    // more under the sanitizers); make sweep runs them all.
    const int Trials = std::max(4, 25 / static_cast<int>(SweepEvery()));
#endif
    std::map<std::string, Bytes> reference;
    for (const std::string name : {"a.shx", "b.shx"}) {
        Open(dir / name);
        ASSERT_EQ(Save(dir / ("ref-" + name)), CommandResult::Completed);
        reference[name] = WithoutDate(ReadAll(dir / ("ref-" + name)));
    }
    run.reset();
    auto both = [&](std::vector<std::string> one, std::vector<std::string> two) {
        test::ProgramResult r1, r2;
        std::thread t1([&] { r1 = Cli(one); });
        std::thread t2([&] { r2 = Cli(two); });
        t1.join();
        t2.join();
        return std::pair{r1, r2};
    };
    int opened = 0, saved = 0;
    for (int i = 0; i < Trials; ++i) {
        SCOPED_TRACE(i);
        std::remove((dir / "shxdata.dat").c_str());
        const auto [ra, rb] = both({"open", dir / "a.shx"}, {"open", dir / "b.shx"});
        const bool a = Says(ra, "DRM decompiled."), b = Says(rb, "DRM decompiled.");
        ASSERT_NE(a, b) << ra.out << ra.err << rb.out << rb.err;
        ++opened;
        ASSERT_EQ(Cli({"save-as", "out.shx"}).status, 0);
        EXPECT_EQ(WithoutDate(ReadAll(dir / "out.shx")), reference[a ? "a.shx" : "b.shx"]);

        // The same target or two, by turns.
        ASSERT_EQ(Cli({"open", dir / "a.shx"}).status, 0);
        const std::string other = i % 2 ? "x.shx" : "y.shx";
        const auto [sx, sy] = both({"save-as", "x.shx"}, {"save-as", other});
        const bool x = Says(sx, "Operation Complete"), y = Says(sy, "Operation Complete");
        ASSERT_NE(x, y) << sx.out << sx.err << sy.out << sy.err;
        ++saved;
        EXPECT_EQ(WithoutDate(ReadAll(dir / (x ? "x.shx" : other))), reference["a.shx"]);
        if (HasFailure())
            return;
    }
    std::printf("[ figures  ] %d Open pairs and %d Save As pairs at once\n", opened, saved);
}

// A target another program holds: nothing is replaced, the message names
// the target and what to do.
TEST_F(Trust, AHeldTargetLeavesBothOldFiles) {
    Open(dir / "a.shx");
    WriteText(dir / "out.shx", "old superfile");
    WriteText(dir / "out.bin", "old image");
#ifdef _WIN32
    // A viewer holding the file without sharing it for deletion.
    const HANDLE held = CreateFileW(WideFromUtf8(dir / "out.shx").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const CommandResult result = Save(dir / "out.shx");
    CloseHandle(held);
#else
    struct HoldTarget final : FaultInjector {
        std::string path;
        int Check(Op op, const std::string& p) override {
            return op == Op::OpenWrite && p == path ? EBUSY : 0;
        }
    } hold;
    hold.path = dir / "out.shx";
    CommandResult result;
    {
        test::FaultScope scope(&hold);
        result = Save(dir / "out.shx");
    }
#endif
    EXPECT_EQ(result, CommandResult::Failed);
    ASSERT_EQ(run->errorPaths.size(), 1u);
    EXPECT_EQ(run->errorPaths[0], dir / "out.shx");
    EXPECT_EQ(ReadText(dir / "out.shx"), "old superfile");
    EXPECT_EQ(ReadText(dir / "out.bin"), "old image");
    EXPECT_TRUE(Exists(dir / "shxdata.dat"));
    EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
}

#ifndef _WIN32
// Links placed in the work tree and at temporary names: nothing outside
// the tree is read through, written or deleted.
TEST_F(Trust, LinksAreNeverFollowedOutOfTheTree) {
    const std::string outside = dir / "outside";
    fs::create_directory(outside);
    WriteText(outside + "/1.gif", "not yours");
    WriteText(outside + "/start.bin", "not yours either");
    const auto elsewhere = Snapshot(outside);

    // At binary1/drmpack: Discard removes the link, not what it points to.
    Open(dir / "a.shx");
    test::RemoveTree(dir / "work/binary1/drmpack");
    fs::create_directory_symlink(outside, dir / "work/binary1/drmpack");
    NextRun(run);
    EXPECT_TRUE(SessionProblem().has_value());
    run->ui.saveAnswers = {dir / "out.shx"};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Refused); // never read through
    EXPECT_FALSE(Exists(dir / "out.shx"));
    EXPECT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Completed);
    EXPECT_EQ(Snapshot(outside), elsewhere);
    EXPECT_FALSE(fs::is_symlink(dir / "work/binary1/drmpack"));

    // At binary1 itself, found by a fresh start's clean-up.
    fs::create_directory_symlink(outside, dir / "work/binary1");
    NextRun(run);
    EXPECT_EQ(Snapshot(outside), elsewhere);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(dir / "work/binary1")));

    // At an icon's name while Open writes: the link is replaced.
    NextRun(run).ui.openAnswers = {dir / "a.shx"};
    fs::create_symlink(outside + "/1.gif", dir / "work/binary1/drmpack/icons/2.gif");
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    EXPECT_EQ(Snapshot(outside), elsewhere);
    EXPECT_FALSE(fs::is_symlink(dir / "work/binary1/drmpack/icons/2.gif"));

    // At an icon's name before Save As: refused, naming it.
    fs::remove(dir / "work/binary1/drmpack/icons/2.gif");
    fs::create_symlink(outside + "/1.gif", dir / "work/binary1/drmpack/icons/2.gif");
    EXPECT_EQ(Save(dir / "out.shx"), CommandResult::Refused);
    const std::vector<WorkProblem> problems = CheckWorkFiles();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].files,
              std::vector<std::string>{dir / "work/binary1/drmpack/icons/2.gif"});
    EXPECT_FALSE(Exists(dir / "out.shx"));

    // At the fixed temporary names earlier versions used.
    fs::remove(dir / "work/binary1/drmpack/icons/2.gif");
    Open(dir / "a.shx");
    fs::create_symlink(outside + "/start.bin", dir / "out.shx.tmp~");
    fs::create_symlink(outside + "/start.bin", dir / "zantrel.ini.tmp~");
    EXPECT_EQ(Save(dir / "out.shx"), CommandResult::Completed);
    SettingsChange change;
    change.cleanup = false;
    NextRun(run);
    ChangeSettings(change);
    EXPECT_EQ(Snapshot(outside), elsewhere);
    EXPECT_FALSE(Exists(dir / "out.shx.tmp~"));
}
#endif

// A start folder that cannot be written: Save As refuses before it writes
// anything; Discard says it could not; Exit keeps the session without a write.
TEST_F(Trust, AReadOnlyStartFolderIsToldNotHidden) {
    Open(dir / "a.shx");
    struct ReadOnly final : FaultInjector {
        std::string folder;
        int Check(Op op, const std::string& p) override {
            const bool inFolder = ParentFolder(p) == folder;
            return inFolder && op != Op::OpenRead ? EACCES : 0;
        }
    } readOnly;
    readOnly.folder = dir.Path();
    NextRun(run);
    test::FaultScope scope(&readOnly);
    EXPECT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
    EXPECT_TRUE(run->errors.empty());

    NextRun(run).ui.saveAnswers = {dir / "out.shx"};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Failed);
    ASSERT_EQ(run->errors.size(), 1u);
    EXPECT_EQ(run->errors[0], "File access denied.");
    EXPECT_EQ(run->errorPaths[0], dir.Path());
    EXPECT_FALSE(Exists(dir / "out.shx"));

    NextRun(run);
    EXPECT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Refused);
    EXPECT_EQ(run->ui.messages.back().text, "The session could not be discarded.");
    EXPECT_TRUE(Exists(dir / "shxdata.dat"));
    EXPECT_TRUE(Exists(dir / "work/binary1/drmpack/descr.dat"));
}

// Port's question names the edits it would overwrite; no, and nothing changes.
TEST_F(Trust, PortsQuestionNamesTheEditsItOverwrites) {
    Open(dir / "a.shx", dir / "b.shx");
    WriteText(dir / "work/binary1/drmpack/icons/2.gif", "GIF89a edited");
    const auto before = Snapshot(dir / "work");
    NextRun(run).ui.confirmAnswers = {false};
    EXPECT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    ASSERT_EQ(run->ui.questions.size(), 1u);
    EXPECT_EQ(run->ui.questions[0].text,
              "Replace 2 icons and 1 picture of a.shx with those of b.shx?\n\nPort overwrites a "
              "file you edited since Open: 2.gif.");
    EXPECT_EQ(Snapshot(dir / "work"), before);
}

// Discard does not stop at a gap in the numbering.
TEST_F(Trust, DiscardDeletesEveryWorkFilePastAGap) {
    Open(dir / "a.shx");
    const auto icons = test::ListFiles(dir / "work/binary1/drmpack/icons");
    ASSERT_GE(icons.size(), 3u);
    std::remove((dir / "work/binary1/drmpack/icons/" + icons[1]).c_str());
    NextRun(run);
    EXPECT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Completed);
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_FALSE(Exists(dir / "work/binary1"));
}

// Lines longer than any path are damage, not memory to fill.
TEST_F(Trust, OverlongLinesAreTakenAsDamage) {
    const std::string overlong(100 * 1024, 'x');
    WriteText(dir / "zantrel.ini", "0\r\n0\r\n0\r\n1\r\n2\r\n3\r\n" + overlong + "\r\n");
    NextRun(run);
    // Lines 1 to 6 hold as read; the overlong line names no folder.
    EXPECT_FALSE(State().cleanupEnabled);
    EXPECT_EQ(State().replacer.blue, 1);
    EXPECT_EQ(State().replacer.red, 3);
    EXPECT_EQ(State().workFolder, dir.Path());

    WriteSettings(dir.Path(), dir / "work");
    Open(dir / "a.shx");
    WriteText(dir / "work/binary1/flashfiles.txt", overlong + "\r\n");
    NextRun(run);
    EXPECT_TRUE(State().firstFlashPath.empty());
    EXPECT_EQ(DescribeSession().lines[0].value, "not recorded (opened by an earlier version)");
}

} // namespace
} // namespace zantrel::hostile
