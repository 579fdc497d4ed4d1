// An I/O failure in the middle of a command, as the console shows it: the
// progress bar's line is ended and nothing of the command is left showing
// before the error.
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

#include "shell/sdimain.h"
#include "shell/state.h"

#include "cli/consoleui.h"

#include "hostile.h"

namespace zantrel::hostile {
namespace {

TEST(Console, AFailureMidPortEndsTheBarBeforeTheError) {
    test::TempFolder dir;
    std::filesystem::current_path(dir.Path());
    WriteSettings(dir.Path(), dir.Path());
    test::WriteAll(dir / "a.shx", SmallSuperfile(SmallExtendedDrm(1)));
    test::WriteAll(dir / "b.shx", SmallSuperfile(SmallExtendedDrm(2)));
    std::unique_ptr<ProgramRun> run;
    NextRun(run).ui.openAnswers = {dir / "a.shx", dir / "b.shx"};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    run.reset();
    ResetState();
    // Image 2's icons gone: the copy fails at its first slot.
    for (const auto& entry : std::filesystem::directory_iterator(dir / "binary2/drmpack/icons"))
        std::filesystem::remove(entry.path());

    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        ConsoleUi console(out, out, true);
        InstallUi(&console);
        SetErrorReporter([&](const std::string& message, const std::string&, const std::string&) {
            std::fprintf(out, "zantrel-cli: %s\n", message.c_str());
        });
        ASSERT_EQ(RunCommand(InitApp), CommandResult::Completed);
        EXPECT_EQ(RunCommand(Port1Click), CommandResult::Failed);
        InstallUi(nullptr);
        SetErrorReporter(nullptr);
    }
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(out);
    // The status line, the bar at 0 %, its line ended, then the error alone on its line.
    EXPECT_EQ(text, "Copying icons\n\r[                                        ]   0%\n"
                    "zantrel-cli: File not found.\n");
}

} // namespace
} // namespace zantrel::hostile
