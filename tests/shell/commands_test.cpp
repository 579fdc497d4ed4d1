// The main window's commands and the settings dialog's logic, driven through
// RecordingUi in a fresh start folder.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <new>
#include <optional>
#include <stdexcept>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/scratch.h"
#include "base/unicode.h"

#include "shell/about1.h"
#include "shell/commands.h"
#include "shell/info.h"
#include "shell/sdimain.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/workcheck.h"

#include "support/bytes.h"
#include "support/programrun.h"
#include "support/recordingui.h"
#include "support/tempfolder.h"
#include "tools/drmbuilder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zantrel {
namespace {

using test::Exists;
using test::ListFiles;
using test::NextRun;
using test::ProgramRun;
using test::PutLE32;
using test::ReadText;
using test::RecordingUi;
using test::Snapshot;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;
using Bytes = std::vector<std::uint8_t>;

const std::string OpenTitle1 = "Open SBF/SHX file to edit or import DRM to";
const std::string OpenTitle2 = "Open SBF/SHX file to export DRM from (Cancel to skip)";
const std::string Filter =
    "All flash files|*.shx;*.sbf;*.bin;*.smg|SHX files|*.shx|SBF files|*.sbf|BIN files|*.bin|"
    "SMG files|*.smg|All files|*.*";

Bytes BasicDrm() {
    samples::DrmPlan plan;
    plan.icons = {samples::GifIcon(4, 4, 1), samples::BmpIcon(3, 2, 2), samples::GifIcon(5, 2, 3)};
    return samples::BuildDrmCodeGroup(plan);
}

Bytes ExtendedDrm() {
    samples::DrmPlan plan;
    plan.extended = true;
    plan.tag = samples::TagVariant::At464;
    plan.icons = {samples::GifIcon(4, 4, 4), samples::GifIcon(2, 2, 5)};
    plan.pictures = {samples::SamplePicture(5, 3, 6, true, 0)};
    return samples::BuildDrmCodeGroup(plan);
}

// A flash header listing the RAMDLD and code group 15 only.
Bytes Header(std::uint32_t ramdldStart, std::size_t ramdldSize, std::uint32_t drmStart,
             std::size_t drmSize, bool listDrm) {
    Bytes h(8172, 0);
    PutLE32(h, 944, listDrm ? 2 : 1);
    PutLE32(h, 948, ramdldStart);
    PutLE32(h, 952, ramdldStart + static_cast<std::uint32_t>(ramdldSize) - 1);
    if (listDrm) {
        PutLE32(h, 1424, drmStart);
        PutLE32(h, 1428, drmStart + static_cast<std::uint32_t>(drmSize) - 1);
    }
    return h;
}

void AppendSection(Bytes& out, const Bytes& data, std::uint32_t address) {
    auto put = [&](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
    put("S00600004844521B\r\n");
    for (std::size_t at = 0; at < data.size(); at += 32) {
        std::size_t n = std::min<std::size_t>(32, data.size() - at);
        unsigned count = static_cast<unsigned>(n + 5);
        unsigned sum = count;
        char buf[16];
        std::snprintf(buf, sizeof buf, "S3%02X%08X", count, address);
        std::string line = buf;
        for (int i = 0; i < 4; ++i)
            sum += (address >> (8 * i)) & 0xFF;
        for (std::size_t i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", data[at + i]);
            line += buf;
            sum += data[at + i];
        }
        std::snprintf(buf, sizeof buf, "%02X\r\n", 255 - (sum & 0xFF));
        put(line + buf);
        address += static_cast<std::uint32_t>(n);
    }
    put("S70500000000FA\r\n");
}

Bytes Ramdld() {
    Bytes r(100);
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return r;
}

Bytes Superfile(const Bytes& drm, bool listDrm = true) {
    Bytes ramdld = Ramdld();
    Bytes out = Header(0x03FC0000, ramdld.size(), 0x10D00000, drm.size(), listDrm);
    AppendSection(out, ramdld, 0x03FC0000);
    if (listDrm)
        AppendSection(out, drm, 0x10D00000);
    return out;
}

void AppendSbfRecord(Bytes& out, const Bytes& data) {
    out.insert(out.end(), 9, 0xAA);
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
    out.insert(out.end(), 4, 0xBB);
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), 12, 0xCC);
}

Bytes Sbf(const Bytes& drm) {
    Bytes ramdld = Ramdld();
    Bytes out = Header(0x03FC0000, ramdld.size(), 0x10D00000, drm.size(), true);
    AppendSbfRecord(out, ramdld);
    AppendSbfRecord(out, drm);
    return out;
}

// Ends a run held on the stack; the next one starts in the same start folder.
void NextRun() { ResetState(); }

// One Open in a new run; returns the session file's text ("" when absent).
std::string OpenFiles(const TempFolder& dir, std::unique_ptr<ProgramRun>& run,
                      std::deque<std::optional<std::string>> answers) {
    NextRun(run).ui.openAnswers = std::move(answers);
    const CommandResult result = RunCommand(FileOpen1Execute);
    EXPECT_TRUE(result == CommandResult::Completed || result == CommandResult::Stopped);
    return Exists(dir / "shxdata.dat") ? ReadText(dir / "shxdata.dat") : "";
}

TEST(InitApp, MenuStatesFollowTheSessionFile) {
    TempFolder dir;
    struct Case {
        const char* session; // nullptr: none
        bool open, port, save, settings;
    } cases[] = {
        {nullptr, true, false, false, true}, {"1", false, false, true, false},
        {"5", false, false, true, false},    {"2", false, true, true, false},
        {"6", false, true, true, false},     {"0", false, true, true, false},
        {"3", false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.session ? c.session : "fresh");
        ResetState();
        if (c.session)
            WriteText(dir / "shxdata.dat", c.session);
        RecordingUi ui;
        InitApp();
        EXPECT_EQ(Offered(MenuItem::FileOpenItem, CurrentRun()), c.open);
        EXPECT_EQ(Offered(MenuItem::Port1, CurrentRun()), c.port);
        EXPECT_EQ(Offered(MenuItem::FileSaveAsItem, CurrentRun()), c.save);
        EXPECT_EQ(Offered(MenuItem::Settings1, CurrentRun()), c.settings);
        EXPECT_TRUE(Offered(MenuItem::FileExitItem, CurrentRun()));
        EXPECT_TRUE(Offered(MenuItem::HelpAboutItem, CurrentRun()));
        EXPECT_EQ(Offered(MenuItem::FileDiscardItem, CurrentRun()), c.session != nullptr);
        EXPECT_EQ(Offered(MenuItem::ItemReplaceItem, CurrentRun()), c.session != nullptr);
        EXPECT_EQ(Exists(dir / "shxdata.dat"), c.session != nullptr);
        std::filesystem::remove(dir / "shxdata.dat");
        EXPECT_EQ(State().freshSession, c.session == nullptr);
    }
    // A fresh start sweeps what an abandoned run left; a second run keeps it.
    WriteText(dir / "binary1/CG15.bin", "left");
    ResetState();
    {
        RecordingUi ui;
        InitApp();
    }
    EXPECT_FALSE(Exists(dir / "binary1/CG15.bin"));
    EXPECT_TRUE(Exists(dir / "binary1/drmpack/icons"));
    WriteText(dir / "binary1/CG15.bin", "kept");
    WriteText(dir / "shxdata.dat", "1");
    ResetState();
    {
        RecordingUi ui;
        InitApp();
    }
    EXPECT_EQ(ReadText(dir / "binary1/CG15.bin"), "kept");
}

TEST(UpperExtension, TakesTheFileNamePartOnly) {
    EXPECT_EQ(UpperExtension("/a/b/x.Shx"), ".SHX");
    EXPECT_EQ(UpperExtension("/a/b/PHONE.smg"), ".SMG");
    EXPECT_EQ(UpperExtension("/a/b.d/phone"), "");
    EXPECT_EQ(UpperExtension("/a/b/x.tar.sbf"), ".SBF");
    EXPECT_EQ(UpperExtension("/a/b/name."), ".");
    EXPECT_EQ(UpperExtension(""), "");
#ifdef _WIN32
    // Both separators end a folder name there.
    EXPECT_EQ(UpperExtension("C:\\a\\dot.dir\\result"), "");
    EXPECT_EQ(UpperExtension("C:\\a/dot.dir\\x.Sbf"), ".SBF");
#endif
}

TEST(FileOpen1Execute, ModeFollowsTheKindsAndTheDialogs) {
    TempFolder dir;
    WriteAll(dir / "PHONE.smg", BasicDrm());
    WriteAll(dir / "x.bin", BasicDrm());
    WriteAll(dir / "phone", ExtendedDrm());
    WriteAll(dir / "x.Shx", Superfile(BasicDrm()));
    WriteAll(dir / "a.sbf", Sbf(ExtendedDrm()));
    WriteAll(dir / "b.shx", Superfile(ExtendedDrm()));

    std::unique_ptr<ProgramRun> run;
    EXPECT_EQ(OpenFiles(dir, run, {dir / "PHONE.smg"}), "5");
    const RecordingUi& ui = run->ui;
    ASSERT_EQ(ui.openDialogs.size(), 2u);
    EXPECT_EQ(ui.openDialogs[0].title, OpenTitle1);
    EXPECT_EQ(ui.openDialogs[0].filter, Filter);
    EXPECT_FALSE(ui.openDialogs[0].clearName);
    EXPECT_EQ(ui.openDialogs[1].title, OpenTitle2);
    EXPECT_EQ(ui.openDialogs[1].filter, Filter);
    EXPECT_TRUE(ui.openDialogs[1].clearName);
    EXPECT_EQ(ui.messages, (std::vector<RecordingUi::Message>{{"DRM decompiled.", ""}}));
    EXPECT_EQ(ui.statusTexts.front(), "Decompiling source file 1");
    EXPECT_EQ(ui.closeCalls, 1);
    EXPECT_EQ(test::ReadAll(dir / "binary1/CG15.bin"), BasicDrm());
    EXPECT_TRUE(Exists(dir / "binary1/drmpack/descr.dat"));

    EXPECT_EQ(OpenFiles(dir, run, {dir / "x.bin"}), "5");
    EXPECT_EQ(OpenFiles(dir, run, {dir / "phone"}), "5");
    EXPECT_EQ(OpenFiles(dir, run, {dir / "x.Shx"}), "1");
    EXPECT_TRUE(Exists(dir / "binary1/header.bin"));
    EXPECT_TRUE(Exists(dir / "binary1/RAMDLD.bin"));
    EXPECT_EQ(OpenFiles(dir, run, {dir / "a.sbf", dir / "b.shx"}), "2");
    EXPECT_TRUE(Exists(dir / "binary2/drmpack/descr.dat"));
    const auto& texts = run->ui.statusTexts;
    EXPECT_EQ(texts.front(), "Decompiling source file 1");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Decompiling source file 2"), texts.end());
    EXPECT_EQ(OpenFiles(dir, run, {dir / "phone", dir / "b.shx"}), "6");
    EXPECT_EQ(OpenFiles(dir, run, {dir / "b.shx", dir / "x.bin"}), "2");

    // Edit-only mode never shows the second dialog.
    WriteText(dir / "zantrel.ini", "1\r\n0\r\n1\r\n255\r\n0\r\n255\r\n" + dir.Path() + "\r\n");
    EXPECT_EQ(OpenFiles(dir, run, {dir / "x.Shx", dir / "b.shx"}), "1");
    EXPECT_EQ(run->ui.openDialogs.size(), 1u);
    EXPECT_EQ(OpenFiles(dir, run, {dir / "x.bin"}), "5");
    EXPECT_EQ(run->ui.openDialogs.size(), 1u);
}

TEST(FileOpen1Execute, FilesWithoutADrm) {
    TempFolder dir;
    WriteAll(dir / "x.shx", Superfile(BasicDrm()));
    WriteAll(dir / "plain.bin", Bytes(600, 0x11));
    WriteAll(dir / "nodrm.shx", Superfile(BasicDrm(), false));

    // Second file without a DRM: a warning, one image.
    std::unique_ptr<ProgramRun> run;
    EXPECT_EQ(OpenFiles(dir, run, {dir / "x.shx", dir / "plain.bin"}), "1");
    EXPECT_EQ(run->ui.messages, (std::vector<RecordingUi::Message>{{"No 2nd DRM found", "Warning"},
                                                                   {"DRM decompiled.", ""}}));
    const auto& texts = run->ui.statusTexts;
    EXPECT_NE(std::find(texts.begin(), texts.end(), "No DRM found. DRM Edit mode"), texts.end());
    EXPECT_EQ(OpenFiles(dir, run, {dir / "plain.bin", dir / "x.shx"}), "");
    EXPECT_EQ(OpenFiles(dir, run, {dir / "x.shx", dir / "plain.bin"}), "1");

    // First file without a DRM: an error, no session file, the run ends.
    for (const char* name : {"plain.bin", "nodrm.shx"}) {
        SCOPED_TRACE(name);
        NextRun(run).ui.openAnswers = {dir / name, dir / "x.shx"};
        WriteText(dir / "shxdata.dat", "1"); // even one written meanwhile goes
        EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Stopped);
        EXPECT_EQ(run->ui.messages, (std::vector<RecordingUi::Message>{{"No DRM found", "Error"}}));
        EXPECT_EQ(run->ui.statusTexts.back(), "No DRM found. Shutting down.");
        EXPECT_FALSE(Exists(dir / "shxdata.dat"));
        EXPECT_EQ(run->ui.closeCalls, 1);
    }

    // Cancel at the first dialog: the session file goes, nothing is shown.
    NextRun(run);
    WriteText(dir / "shxdata.dat", "2");
    EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    EXPECT_EQ(run->ui.openDialogs.size(), 1u);
    EXPECT_TRUE(run->ui.messages.empty());
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_EQ(run->ui.closeCalls, 1);
}

TEST(FileOpen1Execute, RefusedFileShowsOneBox) {
    TempFolder dir;
    // Tagged as a DRM, but nothing else in it holds together.
    Bytes broken(1024, 0);
    broken[468] = '_', broken[469] = 'd', broken[470] = 'r', broken[471] = 'm';
    WriteAll(dir / "broken.bin", broken);
    WriteAll(dir / "x.shx", Superfile(BasicDrm()));

    std::unique_ptr<ProgramRun> run;
    NextRun(run).ui.openAnswers = {dir / "broken.bin", dir / "x.shx"};
    EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Refused);
    ASSERT_EQ(run->ui.messages.size(), 1u);
    EXPECT_EQ(run->ui.messages[0].caption, "Error");
    EXPECT_NE(run->ui.messages[0].text, "No DRM found");
    EXPECT_EQ(run->ui.statusTexts.back(), "The file was refused. Shutting down.");
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_EQ(run->ui.closeCalls, 1);

    // Refused as the second file: one image, and no warning box on top.
    NextRun(run).ui.openAnswers = {dir / "x.shx", dir / "broken.bin"};
    EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Refused);
    ASSERT_EQ(run->ui.messages.size(), 2u);
    EXPECT_EQ(run->ui.messages[0].caption, "Error");
    EXPECT_EQ(run->ui.messages[1], (RecordingUi::Message{"DRM decompiled.", ""}));
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
}

// Opens a file in a first run (edit only) and starts the second run.
void SecondRunOf(const TempFolder& dir, std::unique_ptr<ProgramRun>& run, const std::string& file,
                 const std::string& settings = "1\r\n0\r\n1\r\n255\r\n0\r\n255\r\n") {
    WriteText(dir / "zantrel.ini", settings + dir.Path() + "\r\n");
    OpenFiles(dir, run, {file});
    NextRun(run);
}

TEST(FileSave1Execute, RawSessionWritesTheCodeGroupOnly) {
    TempFolder dir;
    WriteAll(dir / "x.bin", BasicDrm());
    std::unique_ptr<ProgramRun> run;
    SecondRunOf(dir, run, dir / "x.bin");
    run->ui.saveAnswers = {dir / "new.shx"};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    ASSERT_EQ(run->ui.saveDialogs.size(), 1u);
    EXPECT_EQ(run->ui.saveDialogs[0].title, "Select a file to save DRM reflash");
    EXPECT_EQ(run->ui.saveDialogs[0].filter, "BIN files|*.bin");
    EXPECT_EQ(run->ui.saveDialogs[0].suggested, dir / "x-new.bin");
    EXPECT_EQ(test::ReadAll(dir / "new.bin"), BasicDrm());
    EXPECT_FALSE(Exists(dir / "new.shx"));
    EXPECT_EQ(run->ui.messages, (std::vector<RecordingUi::Message>{{"Operation Complete", ""}}));
    EXPECT_EQ(run->ui.statusTexts.back(), "Complete");
    EXPECT_EQ(run->ui.closeCalls, 1);
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    // Clean-up on: only the work folder itself is left of the tree.
    EXPECT_FALSE(Exists(dir / "binary1"));
    EXPECT_FALSE(Exists(dir / "binary2"));
}

TEST(FileSave1Execute, ShxSessionWritesSuperfileAndCodeGroup) {
    TempFolder dir;
    WriteAll(dir / "x.shx", Superfile(BasicDrm()));
    // Clean-up off: the tree stays.
    std::unique_ptr<ProgramRun> run;
    SecondRunOf(dir, run, dir / "x.shx", "0\r\n0\r\n1\r\n255\r\n0\r\n255\r\n");
    // Both files exist: the question names both; no brings the dialog back.
    WriteText(dir / "out.shx", "old");
    WriteText(dir / "out.bin", "old");
    run->ui.saveAnswers = {dir / "out.shx", dir / "out.shx"};
    run->ui.confirmAnswers = {false, true};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    EXPECT_EQ(run->ui.saveDialogs.size(), 2u);
    ASSERT_EQ(run->ui.questions.size(), 2u);
    EXPECT_EQ(run->ui.questions[0].text, "These files exist and will be replaced:\n" +
                                             (dir / "out.shx") + "\n" + (dir / "out.bin"));
    EXPECT_EQ(run->ui.saveDialogs[0].filter, "SHX files|*.shx");
    // Beside the flash file at first; after a no, the file just declined.
    EXPECT_EQ(run->ui.saveDialogs[0].suggested, dir / "x-new.shx");
    EXPECT_EQ(run->ui.saveDialogs[1].suggested, dir / "out.shx");
    EXPECT_EQ(test::ReadAll(dir / "out.bin"), BasicDrm());
    Bytes shx = test::ReadAll(dir / "out.shx");
    ASSERT_GT(shx.size(), 8172u + 18u);
    EXPECT_EQ(std::string(shx.begin() + 8172, shx.begin() + 8190), "S00600004844521B\r\n");
    EXPECT_EQ(shx[944], 2);
    EXPECT_EQ(run->ui.messages, (std::vector<RecordingUi::Message>{{"Operation Complete", ""}}));
    EXPECT_EQ(run->ui.messageDetails[0],
              "Written:\n" + (dir / "out.shx") + "\n" + (dir / "out.bin"));
    EXPECT_TRUE(Exists(dir / "binary1/CG15.bin"));
    EXPECT_TRUE(Exists(dir / "binary1/drmpack/descr.dat"));
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
}

TEST(FileSave1Execute, CancelAndFailureKeepTheSession) {
    TempFolder dir;
    WriteAll(dir / "x.bin", BasicDrm());
    std::unique_ptr<ProgramRun> run;
    SecondRunOf(dir, run, dir / "x.bin");
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    EXPECT_EQ(run->ui.messages, (std::vector<RecordingUi::Message>{
                                    {"DRM was not compiled", "Incomplete Operation"}}));
    EXPECT_EQ(run->ui.messageDetails[0], "Your edits are kept in " + State().icons1Dir +
                                             ". Start Zantrel again in " + dir.Path() +
                                             " to save them.");
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "5");
    EXPECT_EQ(run->ui.closeCalls, 1);

    // A missing work file is refused before the dialog; the window stays open.
    NextRun(run);
    std::remove((dir / "binary1/drmpack/descr.dat").c_str());
    run->ui.saveAnswers = {dir / "new.bin"};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Refused);
    EXPECT_TRUE(run->ui.saveDialogs.empty());
    ASSERT_EQ(run->ui.messages.size(), 1u);
    EXPECT_EQ(run->ui.messages[0].caption, "Error");
    EXPECT_EQ(run->ui.messageDetails[0].rfind("descr.dat: missing;", 0), 0u);
    EXPECT_EQ(run->ui.closeCalls, 0);
    EXPECT_FALSE(Exists(dir / "new.bin"));
    // Exit still keeps the pending work.
    EXPECT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "5");
}

TEST(FileExit1Execute, KeepsOnlyASecondRunsSession) {
    TempFolder dir;
    {
        ProgramRun run;
        EXPECT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
        EXPECT_TRUE(run.ui.messages.empty());
        EXPECT_EQ(run.ui.closeCalls, 1);
        EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    }
    NextRun();
    WriteText(dir / "shxdata.dat", "6\r\n");
    ProgramRun run;
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "6\r\n"); // read, and left as it was
    EXPECT_EQ(RunCommand(FileExit1Execute), CommandResult::Completed);
    EXPECT_EQ(run.ui.messages, (std::vector<RecordingUi::Message>{
                                   {"DRM was not compiled", "Incomplete Operation"}}));
    EXPECT_EQ(run.ui.messageDetails[0], "Your edits are kept in " + State().icons1Dir +
                                            ". Start Zantrel again in " + dir.Path() +
                                            " to save them.");
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "6");
    EXPECT_EQ(run.ui.closeCalls, 1);
}

TEST(Port1Click, CopiesIconsAndKeepsTheSessionWhenTheDrmsDiffer) {
    TempFolder dir;
    WriteAll(dir / "a.shx", Superfile(BasicDrm()));
    samples::DrmPlan other;
    other.icons = {samples::GifIcon(6, 6, 9)};
    WriteAll(dir / "b.bin", samples::BuildDrmCodeGroup(other));
    WriteAll(dir / "c.bin", ExtendedDrm());

    std::unique_ptr<ProgramRun> run;
    EXPECT_EQ(OpenFiles(dir, run, {dir / "a.shx", dir / "b.bin"}), "2");
    NextRun(run);
    // A work folder that cannot be written in a second run: advice that can
    // be followed there (Settings waits until the session has ended).
    {
        struct RefuseIcons final : FaultInjector {
            int Check(Op op, const std::string& path) override {
                return op == Op::OpenWrite && path.starts_with(State().icons1Dir) ? EACCES : 0;
            }
        } refuse;
        test::FaultScope scope(&refuse);
        EXPECT_EQ(RunCommand(Port1Click), CommandResult::Failed);
    }
    ASSERT_EQ(run->errorNext.size(), 1u);
    EXPECT_TRUE(run->errorNext[0].ends_with(
        "Make the folder writable (check its permissions), or end the session with File > "
        "Discard Session... and then choose another work folder in Settings."));
    EXPECT_EQ(run->ui.closeCalls, 0);
    EXPECT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    EXPECT_EQ(test::ReadAll(dir / "binary1/drmpack/icons/1.gif"), samples::GifIcon(6, 6, 9));
    EXPECT_EQ(test::ReadAll(dir / "binary1/drmpack/icons/2.bmp"), samples::BmpIcon(3, 2, 2));
    EXPECT_EQ(run->ui.closeCalls, 0);
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "2"); // the run stays open for Save As

    // Basic against extended: Open says once that Port will refuse the pair
    // and offers Save As alone; the panel says it too. Port keeps its ending:
    // the run ends, the session survives it, nothing was copied.
    EXPECT_EQ(OpenFiles(dir, run, {dir / "a.shx", dir / "c.bin"}), "2");
    const std::string refuses =
        "Port will refuse this pair: the DRMs of a.shx and c.bin have different layouts";
    ASSERT_EQ(run->ui.messages.back().text, "DRM decompiled.");
    const std::string said = run->ui.messageDetails.back();
    EXPECT_EQ(said.find(refuses), said.rfind(refuses));
    EXPECT_NE(said.find(" and choose Save As.\n" + refuses +
                        "; Save As saves a.shx with your "
                        "own edits."),
              std::string::npos);
    EXPECT_EQ(said.find("Port or Save As"), std::string::npos);
    NextRun(run);
    EXPECT_TRUE(DescribeSession().portRefuses);
    EXPECT_EQ(RunCommand(Port1Click), CommandResult::Stopped);
    EXPECT_EQ(run->ui.messages,
              (std::vector<RecordingUi::Message>{{"Incompatible DRMs", "Error"}}));
    EXPECT_EQ(run->ui.messageDetails[0].find(refuses + ", so nothing was copied."), 0u);
    EXPECT_EQ(run->ui.closeCalls, 1);
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "2");
}

TEST(Session, OutlivesRunsEndedWithoutACommandAndEndsOnlyByChoice) {
    TempFolder dir;
    WriteAll(dir / "a.shx", Superfile(BasicDrm()));
    std::unique_ptr<ProgramRun> run;
    EXPECT_EQ(OpenFiles(dir, run, {dir / "a.shx"}), "1");
    const auto work = Snapshot(dir / "binary1");
    ASSERT_FALSE(work.empty());

    // A second run closed, killed or crashed before any command: the next
    // start is again a second run with every work file as it was.
    NextRun(run);
    NextRun(run);
    EXPECT_FALSE(State().freshSession);
    EXPECT_TRUE(Offered(MenuItem::FileSaveAsItem, CurrentRun()));
    EXPECT_TRUE(Offered(MenuItem::FileDiscardItem, CurrentRun()));
    EXPECT_EQ(Snapshot(dir / "binary1"), work);

    // Discard asks first; declined, nothing changes.
    run->ui.confirmAnswers = {false};
    EXPECT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Completed);
    ASSERT_EQ(run->ui.questions.size(), 1u);
    EXPECT_NE(run->ui.questions[0].text.find(dir.Path()), std::string::npos);
    EXPECT_EQ(run->ui.closeCalls, 0);
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
    EXPECT_EQ(Snapshot(dir / "binary1"), work);

    // Confirmed, the session file and the work files go, a box says so, and
    // the run goes on as a fresh one. Enter never deletes: Cancel is the default.
    run->ui.confirmAnswers = {true};
    const std::size_t files = work.size();
    EXPECT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Completed);
    EXPECT_EQ(run->ui.defaultAnswers, std::vector(2, DefaultAnswer::Cancel));
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_EQ(ListFiles(dir / "binary1"), std::vector<std::string>{});
    ASSERT_EQ(run->ui.messages.size(), 1u);
    EXPECT_EQ(run->ui.messages[0].text, "Session discarded.");
    EXPECT_EQ(run->ui.messageDetails[0], "Deleted the session file " + (dir / "shxdata.dat") +
                                             " and " + std::to_string(files) + " work files from " +
                                             dir.Path() +
                                             ".\n\nTo begin again, open a flash file with File > "
                                             "Open.");
    EXPECT_EQ(run->ui.closeCalls, 0);
    EXPECT_EQ(CurrentRun(), RunKind::Fresh);
    EXPECT_TRUE(Offered(MenuItem::FileOpenItem, CurrentRun()));
    NextRun(run);
    EXPECT_TRUE(State().freshSession);
    EXPECT_FALSE(Offered(MenuItem::FileDiscardItem, CurrentRun()));
}

TEST(RunCommand, ReportsEveryFailureAndCarriesOn) {
    TempFolder dir;
    std::vector<std::string> errors;
    SetErrorReporter(
        [&](const std::string& m, const std::string&, const std::string&) { errors.push_back(m); });
    EXPECT_EQ(RunCommand([] { throw IoError(101, "x"); }), CommandResult::Failed);
    EXPECT_EQ(RunCommand([] { throw IoError(32, "x"); }), CommandResult::Failed);
    EXPECT_EQ(RunCommand([] { throw std::bad_alloc(); }), CommandResult::Failed);
    EXPECT_EQ(RunCommand([] { throw std::runtime_error("odd"); }), CommandResult::Failed);
    EXPECT_EQ(RunCommand([] {}), CommandResult::Completed);
    SetErrorReporter(nullptr);
    EXPECT_EQ(errors,
              (std::vector<std::string>{"Disk full.", "I/O error 32.", "Out of memory.", "odd"}));
}

// ---- the work files' check ----

// A grid item is marked exactly when the check lists it, with its text.
void ExpectGridMarksTheCheck() {
    const std::vector<WorkProblem> problems = CheckWorkFiles();
    for (const WorkItem& item : ListWorkItems(1).items) {
        SCOPED_TRACE(item.number);
        auto listed = std::find_if(problems.begin(), problems.end(),
                                   [&](const WorkProblem& p) { return p.number == item.number; });
        const WorkItemCaption caption = CaptionOf(item);
        EXPECT_EQ(caption.marked, listed != problems.end());
        EXPECT_EQ(caption.tip, listed != problems.end() ? listed->text : caption.tip);
    }
}

TEST(FileSave1Execute, ListsEveryProblemInOneRefusalAndWritesNothing) {
    TempFolder dir;
    WriteAll(dir / "x.shx", Superfile(ExtendedDrm()));
    std::unique_ptr<ProgramRun> run;
    SecondRunOf(dir, run, dir / "x.shx");
    const std::string icons = test::NativePath(dir / "binary1/drmpack/icons");
    Bytes picture = test::ReadAll(icons + "/1.bmp");
    picture[28] = 32;
    WriteAll(icons + "/1.bmp", picture);
    WriteAll(icons + "/2.gif", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    std::remove((icons + "/3.gif").c_str());
    ExpectGridMarksTheCheck();
    const auto work = Snapshot(dir / "binary1");

    run->ui.saveAnswers = {dir / "out.shx"};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Refused);
    EXPECT_TRUE(run->ui.saveDialogs.empty());
    EXPECT_EQ(run->ui.messages,
              (std::vector<RecordingUi::Message>{
                  {"Nothing was saved: Save As found 3 problems in the work files. Put them "
                   "right, then save again.",
                   "Error"}}));
    EXPECT_EQ(run->ui.messageDetails[0],
              "1.bmp: 32-bit colour; it must be a plain 24-bit BMP of 5 x 3 pixels.\n"
              "2.gif: a PNG picture; this DRM's own icons are each a GIF picture or a BMP "
              "picture: save it as one of those.\n"
              "3.gif, 3.bmp: both missing; put icon 3 back as a GIF or BMP under one of these "
              "names.\n"
              "Folder: " +
                  icons);
    EXPECT_FALSE(Exists(dir / "out.shx") || Exists(dir / "out.bin"));
    EXPECT_EQ(Snapshot(dir / "binary1"), work);
    EXPECT_EQ(run->ui.closeCalls, 0);
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
}

TEST(CheckWorkFiles, RawPicturesMustKeepTheLengthOfTheirSlots) {
    TempFolder dir;
    WriteAll(dir / "x.shx", Superfile(ExtendedDrm()));
    std::unique_ptr<ProgramRun> run;
    SecondRunOf(dir, run, dir / "x.shx", "1\r\n0\r\n0\r\n255\r\n0\r\n255\r\n");
    EXPECT_TRUE(CheckWorkFiles().empty());
    const std::string raw = test::NativePath(dir / "binary1/drmpack/raws/1.raw");
    Bytes picture = test::ReadAll(raw);
    const std::size_t length = picture.size();
    picture.resize(length - 2);
    WriteAll(raw, picture);
    ExpectGridMarksTheCheck();
    const std::vector<WorkProblem> problems = CheckWorkFiles();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].text, "1.raw: " + std::to_string(length - 2) +
                                    " bytes; a raw picture must keep the " +
                                    std::to_string(length) + " bytes of its slot.");
    EXPECT_EQ(problems[0].files, std::vector<std::string>{raw});
}

// Icons the phone's own DRM holds that are neither GIF nor BMP (one byte,
// none at all, a PNG) compile as before, and so does an edited icon of a
// picture kind the DRM's own icons use; only an edit into another thing is
// refused, naming the kinds this DRM holds.
TEST(FileSave1Execute, OddIconsOfThePhonesOwnDrmCompileAsBefore) {
    TempFolder dir;
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3};
    samples::DrmPlan plan;
    plan.icons = {samples::GifIcon(4, 4, 1), {'X'}, {}, png};
    const Bytes drm = samples::BuildDrmCodeGroup(plan);
    WriteAll(dir / "x.bin", drm);
    std::unique_ptr<ProgramRun> run;
    SecondRunOf(dir, run, dir / "x.bin");
    const std::string icons = dir / "binary1/drmpack/icons";
    const std::vector<WorkItem> items = ListWorkItems(1).items;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[1].unusual && items[2].unusual && items[3].unusual);
    EXPECT_FALSE(CaptionOf(items[1]).marked);

    WriteAll(icons + "/2.gif", {'Y'});
    ExpectGridMarksTheCheck();
    const std::vector<WorkProblem> problems = CheckWorkFiles();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].text, "2.gif: not a picture of a kind Zantrel knows; this DRM's own "
                                "icons are each a GIF picture, a BMP picture or a PNG picture: "
                                "save it as one of those.");
    Bytes edited = png;
    edited.back() = 9;
    WriteAll(icons + "/2.gif", edited);
    EXPECT_TRUE(CheckWorkFiles().empty());

    WriteAll(icons + "/2.gif", {'X'});
    run->ui.saveAnswers = {dir / "new.bin"};
    EXPECT_EQ(RunCommand(FileSave1Execute), CommandResult::Completed);
    EXPECT_EQ(test::ReadAll(dir / "new.bin"), drm);

    // Brought by Port from the other phone's own DRM, such an icon is not an edit either.
    samples::DrmPlan other;
    other.icons = {samples::GifIcon(4, 4, 1), samples::GifIcon(2, 2, 2), {'Z'}, png};
    WriteAll(dir / "other.bin", samples::BuildDrmCodeGroup(other));
    WriteText(dir / "zantrel.ini", "1\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + dir.Path() + "\r\n");
    EXPECT_EQ(OpenFiles(dir, run, {dir / "other.bin", dir / "x.bin"}), "6");
    NextRun(run);
    ASSERT_EQ(RunCommand(Port1Click), CommandResult::Completed);
    EXPECT_TRUE(CheckWorkFiles().empty());
}

// ---- settings dialog ----

TEST(SettingsDialog, BoxesFollowTheSettings) {
    TempFolder dir;
    ProgramRun run;
    SettingsDialogState dialog;
    FormCreate(dialog);
    EXPECT_FALSE(dialog.checkBox1 || dialog.checkBox2 || dialog.checkBox3 || dialog.checkBox4 ||
                 dialog.checkBox5);
    EXPECT_TRUE(dialog.checkBox5Enabled);
    EXPECT_TRUE(dialog.shape1Enabled);
    EXPECT_EQ(dialog.shape1Colour, (Rgb{255, 0, 255}));

    dialog.checkBox4 = true;
    CheckBox4Click(dialog);
    EXPECT_FALSE(dialog.checkBox5Enabled || dialog.shape1Enabled);
    EXPECT_FALSE(State().rawConversionEnabled);
    dialog.checkBox4 = false;
    CheckBox4Click(dialog);
    EXPECT_TRUE(dialog.checkBox5Enabled && dialog.shape1Enabled);
    EXPECT_TRUE(State().rawConversionEnabled);

    NextRun();
    WriteText(dir / "zantrel.ini", "0\r\n0\r\n0\r\n1\r\n2\r\n3\r\n/w\r\n");
    ProgramRun second;
    SettingsDialogState loaded;
    FormCreate(loaded);
    EXPECT_TRUE(loaded.checkBox1 && loaded.checkBox2 && loaded.checkBox4);
    EXPECT_FALSE(loaded.checkBox5Enabled || loaded.shape1Enabled);
    EXPECT_EQ(loaded.shape1Colour, (Rgb{3, 2, 1})); // the file: blue 1, green 2, red 3
}

TEST(SettingsDialog, OkWritesTheFileCancelKeepsIt) {
    TempFolder dir;
    ProgramRun run;
    // The first start's default file (its text is checked with LoadSettings).
    const std::string defaults = ReadText(dir / "zantrel.ini");

    SettingsDialogState dialog;
    FormCreate(dialog);
    dialog.checkBox5 = true;
    CheckBox5Click(dialog, Rgb{255, 128, 0});
    EXPECT_TRUE(dialog.checkBox5);
    EXPECT_EQ(dialog.shape1Colour, (Rgb{255, 128, 0}));
    EXPECT_EQ(State().replacer.red, 255);
    EXPECT_EQ(State().replacer.green, 128);
    EXPECT_EQ(State().replacer.blue, 0);
    // Cancel: the picked colour holds for the run, the file is unchanged.
    EXPECT_EQ(ReadText(dir / "zantrel.ini"), defaults);

    // OK without the folder box rewrites line 7 unchanged.
    dialog.checkBox1 = true;
    ApplySettings(dialog);
    EXPECT_EQ(ReadText(dir / "zantrel.ini"),
              "0\r\n1\r\n1\r\n0\r\n128\r\n255\r\n" + dir.Path() + "\r\n");
    EXPECT_FALSE(State().cleanupEnabled);

    // A cancelled picker clears its box and changes nothing.
    CheckBox5Click(dialog, std::nullopt);
    EXPECT_FALSE(dialog.checkBox5);
    EXPECT_EQ(State().replacer.green, 128);
    dialog.checkBox3 = true;
    CheckBox3Click(dialog, std::nullopt);
    EXPECT_FALSE(dialog.checkBox3);

    // A new work folder: the tree is built there at once, and saved as line 7.
    std::filesystem::create_directory(dir / "work");
    dialog.checkBox3 = true;
    CheckBox3Click(dialog, dir / "work");
    ApplySettings(dialog);
    EXPECT_EQ(State().workFolder, dir / "work");
    EXPECT_TRUE(Exists(dir / "work/binary2/drmpack/icons"));
    EXPECT_EQ(ReadText(dir / "zantrel.ini"),
              "0\r\n1\r\n1\r\n0\r\n128\r\n255\r\n" + dir / "work" + "\r\n");

    // A picker that named no folder: the start folder, as at loading.
    CheckBox3Click(dialog, "");
    ApplySettings(dialog);
    EXPECT_EQ(State().workFolder, dir.Path());
    EXPECT_EQ(ReadText(dir / "zantrel.ini"),
              "0\r\n1\r\n1\r\n0\r\n128\r\n255\r\n" + dir.Path() + "\r\n");
}

TEST(SettingsDialog, FailedWriteLeavesTheOldFile) {
    TempFolder dir;
    ProgramRun run;
    const std::string before = ReadText(dir / "zantrel.ini");
    struct FailWrites final : FaultInjector {
        int Check(Op op, const std::string&) override { return op == Op::Write ? 28 : 0; }
    } fault;
    SettingsDialogState dialog;
    FormCreate(dialog);
    dialog.checkBox2 = true;
    InstallFaultInjector(&fault);
    EXPECT_EQ(RunCommand([&] { ApplySettings(dialog); }), CommandResult::Failed);
    InstallFaultInjector(nullptr);
    EXPECT_EQ(run.errors, (std::vector<std::string>{"Disk full."}));
    EXPECT_EQ(ReadText(dir / "zantrel.ini"), before);
    EXPECT_EQ(test::ListFiles(dir.Path()), (std::vector<std::string>{"zantrel.ini"}));
}

// ---- info ----

// The temporary folder the system names, for the life of the scope.
class TempVariable {
public:
    explicit TempVariable(const std::string& folder) {
#ifdef _WIN32
        wchar_t before[32768];
        const DWORD n = GetEnvironmentVariableW(L"TMP", before, 32768);
        if (n > 0 && n < 32768)
            before_ = Utf8FromWide(before);
        SetEnvironmentVariableW(L"TMP", WideFromUtf8(folder).c_str());
#else
        if (const char* before = std::getenv("TMPDIR"))
            before_ = before;
        setenv("TMPDIR", folder.c_str(), 1);
#endif
    }
    ~TempVariable() {
#ifdef _WIN32
        SetEnvironmentVariableW(L"TMP", before_ ? WideFromUtf8(*before_).c_str() : nullptr);
#else
        if (before_)
            setenv("TMPDIR", before_->c_str(), 1);
        else
            unsetenv("TMPDIR");
#endif
    }

private:
    std::optional<std::string> before_;
};

// MinGW's std::filesystem cannot set a folder's time.
void MakeTwoHoursOld(const std::string& folder) {
#ifdef _WIN32
    const HANDLE handle = CreateFileW(SystemPathFromUtf8(folder).c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER then;
    then.LowPart = now.dwLowDateTime;
    then.HighPart = now.dwHighDateTime;
    then.QuadPart -= 2ull * 3600 * 10'000'000; // in 100 ns
    const FILETIME time{then.LowPart, then.HighPart};
    EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &time));
    CloseHandle(handle);
#else
    std::filesystem::last_write_time(folder, std::filesystem::file_time_type::clock::now() -
                                                 std::chrono::hours(2));
#endif
}

// A killed run's scratch folder is removed by the next run; a live run's
// (its lock held), a recent one not yet locked and other names are not.
TEST(ReadFlashInfo, RemovesTheScratchFoldersOfKilledRunsOnly) {
    namespace fs = std::filesystem;
    TempFolder dir;
    WriteAll(dir / "a.shx", Superfile(ExtendedDrm()));
    const std::string temp = dir / "tmp";
    fs::create_directory(PathFromUtf8(temp));
    TempVariable scope(temp);
    auto scratch = [&](const std::string& digits) {
        const std::string folder = JoinPath(temp, "zantrel-info-" + digits);
        fs::create_directories(PathFromUtf8(JoinPath(folder, "binary1")));
        WriteText(JoinPath(folder, "binary1/CG15.bin"), "drm");
        return folder;
    };
    const std::string killed = scratch("0123456789abcdef");
    WriteText(JoinPath(killed, "scratch.lock"), "");
    const std::string unlockedOld = scratch("00000000000000aa");
    MakeTwoHoursOld(unlockedOld);
    const std::string unlockedNew = scratch("00000000000000bb");
    const std::string otherName = scratch("0123456789abcdef0");
#ifndef _WIN32
    // A link in a killed run's folder goes; what it points at stays.
    fs::create_directory(dir / "kept");
    WriteText(dir / "kept/file", "x");
    fs::create_directory_symlink(dir / "kept", JoinPath(killed, "link"));
#endif
    ScratchFolder live("zantrel-info");

    FlashInfo info;
    ReadFlashInfo(dir / "a.shx", info);
    EXPECT_TRUE(info.drm.has_value());
    EXPECT_FALSE(Exists(killed));
    EXPECT_FALSE(Exists(unlockedOld));
    EXPECT_TRUE(Exists(unlockedNew));
    EXPECT_TRUE(Exists(otherName));
    EXPECT_TRUE(Exists(JoinPath(live.Path(), "scratch.lock")));
#ifndef _WIN32
    EXPECT_TRUE(Exists(dir / "kept/file"));
#endif
    // Its own went at its end.
    std::size_t left = 0;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(temp)))
        left += entry.is_directory() ? 1 : 0;
    EXPECT_EQ(left, 3u);
}

} // namespace
} // namespace zantrel
