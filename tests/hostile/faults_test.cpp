// Failing disks: every write, open and rename of Open, Save As and Port is
// made to fail in turn. Each time the command must stop with the right box,
// leave the menu as it was, put nothing half-written at a target (an earlier
// file there stays), and a later run must still finish the work.
#include <cerrno>
#include <cstdio>
#include <deque>
#include <gtest/gtest.h>
#include <optional>

#include "shell/sdimain.h"
#include "shell/state.h"

#include "hostile.h"

namespace zantrel::hostile {
namespace {

using test::Exists;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;
using Op = FaultInjector::Op;
using Answers = std::deque<std::optional<std::string>>;

struct FaultKind {
    Op op;
    int err;
    const char* message;
};

const FaultKind Kinds[] = {
    {Op::Write, ENOSPC, "Disk full."},
    {Op::OpenWrite, EACCES, "File access denied."},
    {Op::OpenRead, EACCES, "File access denied."},
    {Op::Rename, EBUSY, "I/O error 16."},
};

const char* OpName(Op op) {
    switch (op) {
    case Op::Write:
        return "write";
    case Op::OpenWrite:
        return "open for writing";
    case Op::OpenRead:
        return "open for reading";
    case Op::Rename:
        return "rename";
    case Op::Remove:
        return "remove";
    }
    return "?";
}

// A new file refused is its folder's refusal, told under the same fixed text.
bool Acceptable(const FaultKind& kind, const std::vector<std::string>& errors) {
    return errors.size() == 1 && errors[0] == kind.message;
}

struct Tally {
    int walked = 0;   // faults injected
    int failed = 0;   // the command stopped with its box
    int absorbed = 0; // a tested operation took the fault and the command went on
};

void Report(const char* what, const Tally& t) {
    std::printf("[ figures  ] %s: %d faults injected, %d stopped the command cleanly, "
                "%d absorbed; every one survived\n",
                what, t.walked, t.failed, t.absorbed);
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSettings(dir.Path(), dir / "work");
        WriteAll(dir / "a.shx", SmallSuperfile(SmallExtendedDrm(1)));
        WriteAll(dir / "b.sbf", SmallSbf(SmallExtendedDrm(9)));
        WriteAll(dir / "c.bin", SmallBasicDrm());
        WriteAll(dir / "d.sbf", SmallSbf(SmallBasicDrm()));
    }

    // A fresh run (no session file) that opens the files without a fault.
    void OpenClean(const Answers& answers) {
        std::remove((dir / "shxdata.dat").c_str());
        NextRun(run).ui.openAnswers = answers;
        ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
        ASSERT_TRUE(Exists(dir / "shxdata.dat"));
    }

    // What a command that stopped must have left: its one box, the window
    // open, the menu as it was, no temporary anywhere, nothing new beside
    // the flash files.
    void ExpectStopped(const FaultKind& kind, const MenuSnapshot& before,
                       const std::vector<std::string>& allowed) {
        EXPECT_TRUE(Acceptable(kind, run->errors))
            << (run->errors.empty() ? "no message" : run->errors[0]);
        // The person's own file is named, never a temporary.
        for (const std::string& path : run->errorPaths)
            EXPECT_FALSE(path.ends_with(".tmp~")) << path;
        EXPECT_EQ(run->ui.closeCalls, 0);
        EXPECT_TRUE(SnapMenu() == before);
        EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
        // A second run's session stays on disk whatever stopped the command.
        EXPECT_EQ(Exists(dir / "shxdata.dat"), !State().freshSession);
        for (const std::string& name : Entries(dir.Path()))
            EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), name) != allowed.end() ||
                        (name == "shxdata.dat" && !State().freshSession))
                << name;
    }

    TempFolder dir;
    std::unique_ptr<ProgramRun> run;
};

const std::vector<std::string> FlashFiles = {"a.shx", "b.sbf", "c.bin",
                                             "d.sbf", "work",  "zantrel.ini"};

TEST_F(Faults, OpenStopsCleanlyAtEveryFault) {
    const std::vector<Answers> scenarios = {
        {dir / "a.shx", dir / "b.sbf"},
        {dir / "c.bin", dir / "a.shx"},
        {dir / "d.sbf", std::nullopt},
    };
    Tally tally;
    for (const Answers& answers : scenarios) {
        SCOPED_TRACE(*answers[0]);
        OpenClean(answers);
        const auto reference = Snapshot(dir / "work");
        const std::string session = test::ReadText(dir / "shxdata.dat");
        for (const FaultKind& kind : Kinds) {
            SCOPED_TRACE(OpName(kind.op));
            for (int k = 1; k < 5000; k += static_cast<int>(SweepEvery())) {
                SCOPED_TRACE(k);
                std::remove((dir / "shxdata.dat").c_str());
                ProgramRun& r = NextRun(run);
                r.ui.openAnswers = answers;
                const MenuSnapshot before = SnapMenu();
                const auto prior = Snapshot(dir / "work");
                CountingFault fault(kind.op, k, kind.err);
                CommandResult result;
                {
                    FaultScope scope(&fault);
                    result = RunCommand(FileOpen1Execute);
                }
                if (!fault.fired) {
                    EXPECT_EQ(result, CommandResult::Completed);
                    break;
                }
                ++tally.walked;
                if (result == CommandResult::Completed) {
                    ++tally.absorbed;
                    EXPECT_EQ(Snapshot(dir / "work"), reference);
                    continue;
                }
                ++tally.failed;
                ASSERT_EQ(result, CommandResult::Failed) << fault.firedPath;
                ExpectStopped(kind, before, FlashFiles);
                // Only what was there before this Open.
                EXPECT_EQ(Snapshot(dir / "work"), prior);
                // The next run starts fresh and opens the same files as if nothing happened.
                OpenClean(answers);
                EXPECT_EQ(Snapshot(dir / "work"), reference);
                EXPECT_EQ(test::ReadText(dir / "shxdata.dat"), session);
                if (HasFailure())
                    return;
            }
        }
    }
    Report("Open", tally);
}

// Not a sweep: one disk that fills half-way through Open.
class OpenFaults : public Faults {};

TEST_F(OpenFaults, AFailedOpenLeavesOnlyWhatWasThereSoARetryWorks) {
    const Answers answers = {dir / "a.shx", dir / "b.sbf"};
    CountingFault count(Op::Write, 1 << 30, ENOSPC); // a clean Open, its writes counted
    {
        FaultScope scope(&count);
        OpenClean(answers);
    }
    const auto reference = Snapshot(dir / "work");
    std::remove((dir / "shxdata.dat").c_str());
    NextRun(run);
    // The person's own files in the tree, and one with a work file's name
    // from before this Open: none of them is this Open's to remove.
    WriteText(dir / "work/binary1/notes.txt", "mine");
    WriteText(dir / "work/binary2/drmpack/icons/7.gif", "kept");
    WriteText(dir / "work/readme.txt", "mine too");
    const auto before = Snapshot(dir / "work");

    CountingFault full(Op::Write, count.calls / 2, ENOSPC);
    run->ui.openAnswers = answers;
    {
        FaultScope scope(&full);
        EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Failed);
    }
    ASSERT_TRUE(full.fired);
    EXPECT_EQ(run->errors, std::vector<std::string>{"Disk full."});
    EXPECT_EQ(Snapshot(dir / "work"), before);
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    // Space freed: the same window opens the same files.
    run->ui.openAnswers = answers;
    EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    auto expected = reference;
    for (const auto& [name, bytes] : before)
        expected.try_emplace(name, bytes);
    EXPECT_EQ(Snapshot(dir / "work"), expected);
}

TEST_F(Faults, SaveAsStopsCleanlyAtEveryFault) {
    struct Scenario {
        Answers answers;
        std::string target;
        bool superfile;
    };
    const std::vector<Scenario> scenarios = {
        {{dir / "a.shx", dir / "b.sbf"}, "out.shx", true},
        {{dir / "c.bin", std::nullopt}, "out.bin", false},
    };
    Tally tally;
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.target);
        const std::string target = dir / sc.target;
        const std::string image = dir / "out.bin";
        auto save = [&](ProgramRun& r) {
            r.ui.saveAnswers = {target};
            return RunCommand(FileSave1Execute);
        };
        OpenClean(sc.answers);
        ASSERT_EQ(save(NextRun(run)), CommandResult::Completed);
        const Bytes reference = WithoutDate(ReadAll(target));
        const Bytes referenceImage = ReadAll(image);
        auto expectSaved = [&] {
            EXPECT_EQ(WithoutDate(ReadAll(target)), reference);
            EXPECT_EQ(ReadAll(image), referenceImage);
        };
        const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
        const Bytes earlierImage = {'o', 'l', 'd'};

        for (const FaultKind& kind : Kinds) {
            SCOPED_TRACE(OpName(kind.op));
            for (int k = 1; k < 5000; k += static_cast<int>(SweepEvery())) {
                SCOPED_TRACE(k);
                OpenClean(sc.answers);
                ProgramRun& r = NextRun(run);
                WriteAll(image, earlierImage);
                if (sc.superfile)
                    WriteAll(target, earlier);
                const MenuSnapshot before = SnapMenu();
                CountingFault fault(kind.op, k, kind.err);
                CommandResult result;
                {
                    FaultScope scope(&fault);
                    result = save(r);
                }
                if (!fault.fired) {
                    EXPECT_EQ(result, CommandResult::Completed);
                    expectSaved();
                    break;
                }
                ++tally.walked;
                if (result == CommandResult::Completed) {
                    ++tally.absorbed;
                    expectSaved();
                    continue;
                }
                ++tally.failed;
                ASSERT_EQ(result, CommandResult::Failed) << fault.firedPath;
                std::vector<std::string> allowed = FlashFiles;
                allowed.insert(allowed.end(), {"out.bin", "out.shx"});
                // The pair stays all old.
                if (sc.superfile) {
                    EXPECT_EQ(ReadAll(target), earlier);
                }
                EXPECT_EQ(ReadAll(image), earlierImage);
                ExpectStopped(kind, before, allowed);
                // The user leaves with Exit; the next run saves from the same work.
                ASSERT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
                ASSERT_TRUE(Exists(dir / "shxdata.dat"));
                ASSERT_EQ(save(NextRun(run)), CommandResult::Completed) << run->errors.size();
                expectSaved();
                if (HasFailure())
                    return;
            }
        }
    }
    Report("Save As", tally);
}

TEST_F(Faults, PortStopsCleanlyAtEveryFault) {
    const Answers answers = {dir / "a.shx", dir / "b.sbf"};
    const std::string target = dir / "out.shx";
    auto save = [&](ProgramRun& r) {
        r.ui.saveAnswers = {target};
        return RunCommand(FileSave1Execute);
    };
    OpenClean(answers);
    const auto unportedFiles = Snapshot(dir / "work/binary1");
    ProgramRun& second = NextRun(run);
    ASSERT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    ASSERT_NE(Snapshot(dir / "work/binary1"), unportedFiles);
    ASSERT_EQ(save(second), CommandResult::Completed);
    const Bytes reference = WithoutDate(ReadAll(target));
    const Bytes unported = [&] {
        OpenClean(answers);
        EXPECT_EQ(save(NextRun(run)), CommandResult::Completed);
        return WithoutDate(ReadAll(target));
    }();
    ASSERT_NE(reference, unported); // the port changes what is saved

    Tally tally;
    for (const FaultKind& kind : Kinds) {
        SCOPED_TRACE(OpName(kind.op));
        for (int k = 1; k < 5000; k += static_cast<int>(SweepEvery())) {
            SCOPED_TRACE(k);
            OpenClean(answers);
            ProgramRun& r = NextRun(run);
            const MenuSnapshot before = SnapMenu();
            CountingFault fault(kind.op, k, kind.err);
            CommandResult result;
            {
                FaultScope scope(&fault);
                result = RunCommand(Port1Click);
            }
            if (!fault.fired || result == CommandResult::Completed) {
                EXPECT_EQ(result, CommandResult::Completed);
                EXPECT_EQ(save(r), CommandResult::Completed);
                EXPECT_EQ(WithoutDate(ReadAll(target)), reference);
                if (!fault.fired)
                    break;
                ++tally.walked;
                ++tally.absorbed;
                continue;
            }
            ++tally.walked;
            ++tally.failed;
            ASSERT_EQ(result, CommandResult::Failed) << fault.firedPath;
            std::vector<std::string> allowed = FlashFiles;
            allowed.insert(allowed.end(), {"out.shx", "out.bin"});
            ExpectStopped(kind, before, allowed);
            // All or nothing: image 1's files are all as they were.
            EXPECT_TRUE(Snapshot(dir / "work/binary1") == unportedFiles);
            // Exit keeps the session; the next run ports again and saves.
            ASSERT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
            ProgramRun& later = NextRun(run);
            ASSERT_EQ(RunCommand(Port1Click), CommandResult::Completed);
            ASSERT_EQ(save(later), CommandResult::Completed);
            EXPECT_EQ(WithoutDate(ReadAll(target)), reference);
            if (HasFailure())
                return;
        }
    }
    Report("Port", tally);
}

} // namespace
} // namespace zantrel::hostile

namespace zantrel::hostile {
namespace {

// The default settings file of a first start is written quietly; a disk that
// fails under it must not leave a short file that would empty the work
// folder (and so put the tree at the root) at the next start.
TEST(FirstStart, FailedDefaultSettingsLeaveNoShortFile) {
    TempFolder dir;
    const std::string defaults = "1\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + dir.Path() + "\r\n";
    int walked = 0;
    for (Op op : {Op::Write, Op::OpenWrite, Op::Rename}) {
        for (int k = 1; k < 100; ++k) {
            SCOPED_TRACE(k);
            std::remove((dir / "zantrel.ini").c_str());
            CountingFault fault(op, k, ENOSPC);
            {
                FaultScope scope(&fault);
                std::unique_ptr<ProgramRun> run;
                NextRun(run);
                EXPECT_EQ(State().workFolder, dir.Path()); // the defaults hold for this run
            }
            if (!fault.fired)
                break;
            ++walked;
            EXPECT_FALSE(Exists(dir / "zantrel.ini") &&
                         test::ReadText(dir / "zantrel.ini") != defaults);
            EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
            std::unique_ptr<ProgramRun> later;
            NextRun(later);
            EXPECT_EQ(State().workFolder, dir.Path());
            EXPECT_EQ(test::ReadText(dir / "zantrel.ini"), defaults);
        }
    }
    EXPECT_GE(walked, 3);
    std::printf("[ figures  ] first start: %d faults injected under the default settings file\n",
                walked);
}

} // namespace
} // namespace zantrel::hostile
