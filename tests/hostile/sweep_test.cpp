// The deterministic sweep: every truncation of each small sample flash file
// and three flips of every byte (to 0x00, to 0xFF, xor 0x80), each opened in
// turn in one process. Each must end in a decompiled DRM or a clear refusal,
// never a crash, and write nothing outside the work tree.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

#include "base/worktree.h"

#include "shell/sdimain.h"
#include "shell/state.h"

#include "hostile.h"

namespace zantrel::hostile {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

enum class Outcome { Decompiled, NoDrm, Refused, Failed };

struct SweepFigures {
    long cases = 0;
    std::map<Outcome, long> outcomes;
    std::vector<std::string> faults; // what went wrong, for the first few
};

// A sweep's taken cases (every SweepEvery()-th), or the part-th of parts
// shares of them: a long sweep in parts balances parallel runs.
struct SweepPart {
    std::size_t part = 0;
    std::size_t parts = 1;
};

class Sweep {
public:
    Sweep(const TempFolder& dir, std::string name, SweepPart share = {})
        : dir_(dir), path_(dir / name), name_(std::move(name)), share_(share) {
        // Edit-only mode: one dialog per Open.
        test::WriteText(dir / "zantrel.ini",
                        "1\r\n0\r\n1\r\n255\r\n0\r\n255\r\n" + (dir / "work") + "\r\n");
        ResetState();
        InitApp();
    }

    void Case(const Bytes& bytes, const std::string& label, SweepFigures& fig) {
        const std::size_t call = calls_++;
        if (call % SweepEvery() != 0 || call / SweepEvery() % share_.parts != share_.part)
            return;
        test::WriteAll(path_, bytes);
        // The work tree is emptied of files; its folders stay.
        std::error_code ec;
        for (const std::string& file : test::ListFiles(dir_ / "work"))
            fs::remove(dir_ / ("work/" + file), ec);
        fs::remove(dir_ / "shxdata.dat", ec);
        ui_.messages.clear();
        ui_.log.clear();
        ui_.statusTexts.clear();
        ui_.progress.clear();
        ui_.progressShown.clear();
        ui_.openDialogs.clear();
        ui_.closeCalls = 0;
        errors_.clear();
        ui_.openAnswers = {path_};

        const CommandResult result = RunCommand(FileOpen1Execute);
        ++fig.cases;
        auto fault = [&](const std::string& what) {
            if (fig.faults.size() < 20)
                fig.faults.push_back(name_ + " " + label + ": " + what);
        };
        const auto& m = ui_.messages;
        Outcome outcome = Outcome::Failed;
        if (result == CommandResult::Completed && !m.empty() &&
            m.back() == test::RecordingUi::Message{"DRM decompiled.", ""})
            outcome = Outcome::Decompiled;
        else if (result == CommandResult::Stopped && m.size() == 1 &&
                 m[0] == test::RecordingUi::Message{"No DRM found", "Error"})
            outcome = Outcome::NoDrm;
        else if (result == CommandResult::Refused && m.size() == 1 && m[0].caption == "Error" &&
                 m[0].text.size() > 20)
            outcome = Outcome::Refused;
        else
            fault(errors_.empty() ? (m.empty() ? "no outcome" : "messages: " + m.back().text)
                                  : "I/O failure: " + errors_[0]);
        ++fig.outcomes[outcome];

        const bool session = fs::exists(dir_ / "shxdata.dat");
        if (session != (outcome == Outcome::Decompiled))
            fault("session file present: " + std::to_string(session));
        for (const std::string& entry : Entries(dir_.Path()))
            if (entry != "zantrel.ini" && entry != "work" && entry != name_ &&
                !(entry == "shxdata.dat" && session))
                fault("written outside the work tree: " + entry);
        for (const std::string& entry : Entries(dir_ / "work"))
            if (entry != "binary1" && entry != "binary2" && entry != "zantrel.owner")
                fault("unexpected in the work folder: " + entry);
        if (!Leftovers(dir_.Path()).empty())
            fault("temporary left: " + Leftovers(dir_.Path())[0]);
        if (outcome != Outcome::Decompiled) {
            // A refused DRM is refused before its first work file.
            if (!test::ListFiles(dir_ / "work/binary1/drmpack").empty())
                fault("drmpack files written for a file that was not decompiled");
        } else if (!fs::exists(dir_ / "work/binary1/drmpack/descr.dat")) {
            fault("decompiled without descr.dat");
        }
    }

private:
    const TempFolder& dir_;
    std::string path_;
    std::string name_;
    SweepPart share_;
    std::size_t calls_ = 0;
    test::RecordingUi ui_;
    std::vector<std::string> errors_;
    struct Reporter {
        explicit Reporter(std::vector<std::string>& e) {
            SetErrorReporter([&e](const std::string& m, const std::string&, const std::string&) {
                e.push_back(m);
            });
        }
        ~Reporter() { SetErrorReporter(nullptr); }
    } reporter_{errors_};
};

// Flash header bytes the program copies through without reading them: the
// sweep flips every HeaderStride-th of them (1 flips them all) and every
// byte from the piece count to the end of the slot table.
constexpr std::size_t HeaderStride = 17;
constexpr std::size_t ReadHeaderFrom = 944;
constexpr std::size_t ReadHeaderTo = 1648;
constexpr std::size_t FlashHeaderBytes = 8172;

void SweepFile(const std::string& name, const Bytes& sample, SweepFigures& fig,
               bool flashHeader = false, SweepPart share = {}) {
    TempFolder dir;
    Sweep sweep(dir, name, share);
    sweep.Case(sample, "as built", fig); // the first part's first case
    if (share.part == 0) {
        EXPECT_EQ(fig.outcomes[Outcome::Decompiled], 1) << name << " does not open as built";
    }
    // A flash file cut inside its header is one case however it is cut.
    for (std::size_t n = 0; n < sample.size(); ++n)
        if (!flashHeader || n >= FlashHeaderBytes || n % HeaderStride == 0)
            sweep.Case(Bytes(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(n)),
                       "cut to " + std::to_string(n), fig);
    Bytes bytes = sample;
    for (std::size_t i = 0; i < sample.size(); ++i) {
        if (flashHeader && i < FlashHeaderBytes && (i < ReadHeaderFrom || i >= ReadHeaderTo) &&
            i % HeaderStride != 0)
            continue;
        const std::uint8_t was = bytes[i];
        for (std::uint8_t to :
             {std::uint8_t{0x00}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(was ^ 0x80)}) {
            if (to == was)
                continue;
            bytes[i] = to;
            sweep.Case(bytes, "byte " + std::to_string(i) + " set to " + std::to_string(to), fig);
        }
        bytes[i] = was;
    }
}

void Check(const char* what, const SweepFigures& fig) {
    std::printf("[ figures  ] %s: %ld cases; %ld decompiled, %ld no DRM, %ld refused, %ld failed\n",
                what, fig.cases,
                fig.outcomes.count(Outcome::Decompiled) ? fig.outcomes.at(Outcome::Decompiled) : 0,
                fig.outcomes.count(Outcome::NoDrm) ? fig.outcomes.at(Outcome::NoDrm) : 0,
                fig.outcomes.count(Outcome::Refused) ? fig.outcomes.at(Outcome::Refused) : 0,
                fig.outcomes.count(Outcome::Failed) ? fig.outcomes.at(Outcome::Failed) : 0);
    for (const std::string& f : fig.faults)
        ADD_FAILURE() << f;
}

TEST(Sweep, RawImages) {
    SweepFigures basic, extended;
    SweepFile("small.bin", SmallBasicDrm(), basic);
    Check("raw image, basic DRM", basic);
    SweepFile("small.smg", SmallExtendedDrm(), extended);
    Check("raw image, extended DRM", extended);
}

TEST(Sweep, SbfFile) {
    SweepFigures fig;
    SweepFile("small.sbf", SmallSbf(SmallBasicDrm()), fig, true);
    Check("SBF file", fig);
}

// The longest sweep, in two halves of its cases.
TEST(Sweep, Superfile) {
    SweepFigures fig;
    SweepFile("small.shx", SmallSuperfile(SmallExtendedDrm()), fig, true, {0, 2});
    Check("superfile, first half", fig);
}

TEST(Sweep, SuperfileSecondHalf) {
    SweepFigures fig;
    SweepFile("small.shx", SmallSuperfile(SmallExtendedDrm()), fig, true, {1, 2});
    Check("superfile, second half", fig);
}

} // namespace
} // namespace zantrel::hostile

namespace zantrel::hostile {
namespace {

// The second run's record file, every byte flipped three ways: Save As
// either writes a superfile that reads back as built, or refuses or fails
// with its message and leaves the earlier files as they were.
TEST(Sweep, DescrRecords) {
    TempFolder dir;
    // Clean-up off: the work stays for the next case.
    test::WriteText(dir / "zantrel.ini",
                    "0\r\n0\r\n1\r\n255\r\n0\r\n255\r\n" + dir.Path() + "\r\n");
    test::WriteAll(dir / "x.shx", SmallSuperfile(SmallExtendedDrm()));
    std::unique_ptr<ProgramRun> run;
    NextRun(run).ui.openAnswers = {dir / "x.shx"};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    NextRun(run);
    const std::string descr = dir / "binary1/drmpack/descr.dat";
    const Bytes good = test::ReadAll(descr);
    const Bytes earlier = {'o', 'l', 'd'};
    std::map<CommandResult, int> outcomes;
    std::map<std::string, int> ioMessages;
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (std::uint8_t to :
             {std::uint8_t{0x00}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(good[i] ^ 0x80)}) {
            if (to == good[i])
                continue;
            if ((3 * i + to) % SweepEvery() != 0)
                continue;
            SCOPED_TRACE("byte " + std::to_string(i) + " set to " + std::to_string(to));
            Bytes bytes = good;
            bytes[i] = to;
            test::WriteAll(descr, bytes);
            test::WriteAll(dir / "out.shx", earlier);
            test::WriteAll(dir / "out.bin", earlier);
            run->ui.messages.clear();
            run->errors.clear();
            run->ui.closeCalls = 0;
            run->ui.saveAnswers = {dir / "out.shx"};
            const CommandResult result = RunCommand(FileSave1Execute);
            ++outcomes[result];
            if (result == CommandResult::Completed) {
                EXPECT_EQ(run->ui.messages.back(),
                          (test::RecordingUi::Message{"Operation Complete", ""}));
                EXPECT_NE(test::ReadAll(dir / "out.shx"), earlier);
                // The next case is again a second run over the same work.
                test::WriteText(dir / "shxdata.dat", "1");
                NextRun(run);
            } else {
                if (result == CommandResult::Refused) {
                    ASSERT_EQ(run->ui.messages.size(), 1u);
                    EXPECT_EQ(run->ui.messages[0].caption, "Error");
                } else {
                    EXPECT_EQ(run->errors.size(), 1u);
                    if (!run->errors.empty())
                        ++ioMessages[run->errors[0]];
                }
                EXPECT_EQ(test::ReadAll(dir / "out.shx"), earlier);
                EXPECT_EQ(test::ReadAll(dir / "out.bin"), earlier);
                EXPECT_EQ(run->ui.closeCalls, 0);
            }
            EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
            if (HasFailure())
                return;
        }
    }
    std::printf("[ figures  ] descr.dat: %d saved, %d refused, %d failed with an I/O message\n",
                outcomes[CommandResult::Completed], outcomes[CommandResult::Refused],
                outcomes[CommandResult::Failed]);
    for (const auto& [message, count] : ioMessages)
        std::printf("[ figures  ]   %d x \"%s\"\n", count, message.c_str());
}

} // namespace
} // namespace zantrel::hostile
