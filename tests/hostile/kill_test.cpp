// Abrupt ends: the process is ended at each file operation of Open, Port and
// Save As in turn (a forked child, ended by the fault seam with _Exit, as a
// crash or a kill would end it). The next start must find the session as the
// command's contract says, every work file whole (as before the command or as
// the command leaves it) and nothing half-written at a target. A second run
// killed with SIGKILL while it waits loses nothing either.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "shell/edit.h"
#include "shell/history.h"
#include "shell/sdimain.h"
#include "shell/state.h"

#include "hostile.h"
#include "support/process.h"

extern char** environ;
#endif

namespace zantrel::hostile {
namespace {

#ifdef _WIN32
TEST(Kill, NeedsFork) { GTEST_SKIP() << "the sweep forks a child per point; Linux only"; }
#else

using test::Exists;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;
using Files = std::map<std::string, Bytes>;

inline constexpr int KilledStatus = 86;

// Ends the process at the k-th file operation of any kind.
class EndAt final : public FaultInjector {
public:
    explicit EndAt(int k) : k_(k) {}
    int Check(Op, const std::string&) override {
        if (++calls_ == k_)
            std::_Exit(KilledStatus);
        return 0;
    }

private:
    int k_;
    int calls_ = 0;
};

// The work files a user could lose. Not among them: a killed writer's
// temporary beside its target, and the compiler's scratch files, which each
// compilation writes afresh before it reads them. The header's date field is
// the time of the save that prepared it.
Files WorkFiles(const std::string& folder) {
    Files files = test::Snapshot(folder);
    std::erase_if(files, [](const auto& f) {
        const std::string name = FileNamePart(f.first);
        return name.ends_with(".tmp~") || name == "newoff.bin" || name == "temp.raw";
    });
    for (auto& [name, bytes] : files)
        if (FileNamePart(name) == "header.bin")
            bytes = WithoutDate(bytes);
    return files;
}

// Every file in one of the states the command passes through whole (before,
// after, and any whole state between); absence counts as a state.
void ExpectEachWhole(const Files& now, std::initializer_list<const Files*> states) {
    std::set<std::string> names;
    for (const auto& [name, bytes] : now)
        names.insert(name);
    for (const Files* f : states)
        for (const auto& [name, bytes] : *f)
            names.insert(name);
    auto get = [](const Files& f, const std::string& name) {
        auto it = f.find(name);
        return it == f.end() ? std::optional<Bytes>() : std::optional<Bytes>(it->second);
    };
    for (const std::string& name : names)
        EXPECT_TRUE(std::any_of(states.begin(), states.end(), [&](const Files* f) {
            return get(*f, name) == get(now, name);
        })) << name;
}

class Kill : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSettings(dir.Path(), dir / "work");
        WriteAll(dir / "a.shx", SmallSuperfile(SmallExtendedDrm(1)));
        WriteAll(dir / "b.sbf", SmallSbf(SmallExtendedDrm(9)));
    }

    // A clean first run that opens the pair.
    void OpenPair() {
        run.reset();
        std::remove((dir / "shxdata.dat").c_str());
        test::RemoveTree(dir / "work");
        NextRun(run).ui.openAnswers = {dir / "a.shx", dir / "b.sbf"};
        ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    }

    // Runs command in a child from a new start, the process ended at file
    // operation k of the command; false when the command ran to its end first.
    bool EndedAt(int k, const std::function<void(ProgramRun&)>& answers,
                 CommandResult (*command)()) {
        run.reset();
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            ProgramRun r;
            answers(r);
            EndAt end(k);
            InstallFaultInjector(&end);
            RunCommand(command);
            std::_Exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        return WIFEXITED(status) && WEXITSTATUS(status) == KilledStatus;
    }

    // command has just run on a pair session that held before: ended at each
    // of its file operations in turn, from that session each time, the next
    // start's recovery leaves image 1 wholly as before or wholly as after.
    void ExpectOldOrNewAtEachEnd(CommandResult (*command)(), const Files& before,
                                 const char* what) {
        const Files after = WorkFiles(dir / "work");
        ASSERT_NE(before, after);
        int points = 0;
        for (int k = 1;; k += static_cast<int>(SweepEvery())) {
            SCOPED_TRACE(k);
            OpenPair();
            if (!EndedAt(
                    k, [](ProgramRun&) {}, command))
                break;
            ++points;
            NextRun(run);
            EXPECT_FALSE(State().freshSession);
            const Files now = WorkFiles(dir / "work");
            EXPECT_TRUE(now == before || now == after);
            EXPECT_FALSE(Exists(dir / "zantrel.commit"));
            if (HasFailure())
                return;
        }
        EXPECT_GT(points * static_cast<int>(SweepEvery()), 5);
        std::printf("[ figures  ] %s: ended at %d of its file operations (one in %zu)\n", what,
                    points, SweepEvery());
    }

    TempFolder dir;
    std::unique_ptr<ProgramRun> run;
};

TEST_F(Kill, OpenLeavesNoSessionAndTheFlashFilesUntouched) {
    const Bytes a = ReadAll(dir / "a.shx");
    const Bytes b = ReadAll(dir / "b.sbf");
    int points = 0;
    for (int k = 1;; k += static_cast<int>(SweepEvery())) {
        SCOPED_TRACE(k);
        std::remove((dir / "shxdata.dat").c_str());
        const bool ended = EndedAt(
            k,
            [&](ProgramRun& r) {
                r.ui.openAnswers = {dir / "a.shx", dir / "b.sbf"};
            },
            FileOpen1Execute);
        if (!ended)
            break;
        ++points;
        // The session file is Open's last write: ended before it, no session.
        NextRun(run);
        EXPECT_TRUE(State().freshSession);
        EXPECT_EQ(ReadAll(dir / "a.shx"), a);
        EXPECT_EQ(ReadAll(dir / "b.sbf"), b);
        if (HasFailure())
            return;
    }
    EXPECT_GT(points * static_cast<int>(SweepEvery()), 10);
    std::printf("[ figures  ] Open: ended at %d of its file operations (one in %zu)\n", points,
                SweepEvery());
}

TEST_F(Kill, PortLeavesTheSessionAndEveryFileWhole) {
    OpenPair();
    const Files before = WorkFiles(dir / "work");
    NextRun(run);
    ASSERT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    ExpectOldOrNewAtEachEnd(Port1Click, before, "Port");
}

TEST_F(Kill, SaveAsLeavesTheSessionOrAWholeResult) {
    const std::string target = dir / "out.shx";
    const std::string image = dir / "out.bin";
    const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    const Bytes earlierImage = {'o', 'l', 'd'};
    auto answer = [&](ProgramRun& r) { r.ui.saveAnswers = {target}; };

    // The work folder once saved and kept (the RAMDLD prepared in place,
    // whole), then once saved and cleaned, as the settings say.
    test::WriteText(dir / "zantrel.ini",
                    "0\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + (dir / "work") + "\r\n");
    OpenPair();
    const Files before = WorkFiles(dir / "work");
    answer(NextRun(run));
    ASSERT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    const Files kept = WorkFiles(dir / "work");
    WriteSettings(dir.Path(), dir / "work");
    OpenPair();
    answer(NextRun(run));
    ASSERT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    const Bytes saved = WithoutDate(ReadAll(target));
    const Bytes savedImage = ReadAll(image);
    const Files after = WorkFiles(dir / "work");

    int points = 0;
    for (int k = 1;; k += static_cast<int>(SweepEvery())) {
        SCOPED_TRACE(k);
        OpenPair();
        WriteAll(target, earlier);
        WriteAll(image, earlierImage);
        if (!EndedAt(k, answer, FileSave1Execute))
            break;
        ++points;
        const bool pending = Exists(dir / "shxdata.dat");
        // The next start finishes or undoes a commit the end cut short.
        NextRun(run);
        EXPECT_EQ(State().freshSession, !pending);
        const Bytes result = WithoutDate(ReadAll(target));
        const Bytes resultImage = ReadAll(image);
        if (pending) {
            // Ended before the session's end: the pair is all old or all new.
            EXPECT_TRUE((result == earlier && resultImage == earlierImage) ||
                        (result == saved && resultImage == savedImage));
        } else {
            // The session ends only once both files are whole.
            EXPECT_EQ(result, saved);
            EXPECT_EQ(resultImage, savedImage);
        }
        EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
        EXPECT_FALSE(Exists(dir / "zantrel.commit"));
        ExpectEachWhole(WorkFiles(dir / "work"), {&before, &kept, &after});
        if (HasFailure())
            return;
    }
    EXPECT_GT(points * static_cast<int>(SweepEvery()), 10);
    std::printf("[ figures  ] Save As: ended at %d of its file operations (one in %zu)\n", points,
                SweepEvery());
}

// The folder the killed import reads; a plain function for EndedAt.
std::string g_importFolder;
CommandResult ImportTheFolder() { return ImportPictures(g_importFolder); }

TEST_F(Kill, ImportLeavesEveryItemOldOrNew) {
    const std::string pictures = dir / "pictures";
    OpenPair();
    NextRun(run);
    std::filesystem::create_directory(pictures);
    ASSERT_EQ(RunCommand([&] { return ExportPictures(pictures); }), CommandResult::Completed);
    // Two pictures swapped and an icon taken by a picture: three items change.
    const Bytes one = ReadAll(pictures + "/1.png");
    WriteAll(pictures + "/1.png", ReadAll(pictures + "/2.png"));
    WriteAll(pictures + "/2.png", one);
    WriteAll(pictures + "/4.png", one);
    g_importFolder = pictures;
    const Files before = WorkFiles(dir / "work");
    NextRun(run);
    ASSERT_EQ(RunCommand(ImportTheFolder), CommandResult::Completed);
    ExpectOldOrNewAtEachEnd(ImportTheFolder, before, "Import");
}

// Undo of a Port ended at each of its file operations, from the same ported
// session each time: the whole work folder, history included, is as before
// the undo or as after it, and Redo still finds its step.
TEST_F(Kill, UndoLeavesTheStepWhollyDoneOrUndone) {
    OpenPair();
    NextRun(run);
    ASSERT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    run.reset();
    const Files ported = test::Snapshot(dir / "work");
    const std::string session = test::ReadText(dir / "shxdata.dat");
    const Files before = WorkFiles(dir / "work");
    NextRun(run);
    ASSERT_EQ(RunCommand(UndoStep), CommandResult::Completed);
    const Files after = WorkFiles(dir / "work");
    ASSERT_NE(before, after);
    int points = 0;
    for (int k = 1;; k += static_cast<int>(SweepEvery())) {
        SCOPED_TRACE(k);
        run.reset();
        test::RemoveTree(dir / "work");
        for (const auto& [name, bytes] : ported) {
            std::filesystem::create_directories(ParentFolder(dir / ("work/" + name)));
            WriteAll(dir / ("work/" + name), bytes);
        }
        test::WriteText(dir / "shxdata.dat", session);
        if (!EndedAt(
                k, [](ProgramRun&) {}, UndoStep))
            break;
        ++points;
        NextRun(run);
        const Files now = WorkFiles(dir / "work");
        EXPECT_TRUE(now == before || now == after);
        EXPECT_FALSE(Exists(dir / "zantrel.commit"));
        EXPECT_EQ(now == before ? NextUndo() : NextRedo(), "Port of b.sbf");
        if (HasFailure())
            return;
    }
    EXPECT_GT(points * static_cast<int>(SweepEvery()), 5);
    std::printf("[ figures  ] Undo: ended at %d of its file operations (one in %zu)\n", points,
                SweepEvery());
}

// The window program of a second run killed while it waits for the user:
// the next start is again that second run, every work file as it was.
TEST_F(Kill, ASecondRunKilledWithoutACommandLosesNothing) {
    const std::string program = test::ProgramFolder() + "/zantrel";
    if (access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "the window program is not built";
    OpenPair();
    run.reset();
    const Files before = WorkFiles(dir / "work");
    const std::string session = test::ReadText(dir / "shxdata.dat");

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t child = 0;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ), 0);
    // Long enough for the start-up to have read the session and drawn the view.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(test::ReadText(dir / "shxdata.dat"), session);
    NextRun(run);
    EXPECT_FALSE(State().freshSession);
    EXPECT_EQ(WorkFiles(dir / "work"), before);
}

#endif

} // namespace
} // namespace zantrel::hostile
