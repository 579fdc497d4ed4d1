// Only its own files: a journal Zantrel did not write changes nothing but
// its own temporaries, Save As targets are compared as the file system sees
// them, two start folders never save each other's DRM, and a session nobody
// edited always saves.
#include <filesystem>
#include <gtest/gtest.h>

#include "base/fileio.h"

#include "shell/sdimain.h"
#include "shell/state.h"

#include "hostile.h"
#include "support/process.h"
#include "tools/containers.h"

namespace zantrel::hostile {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::ReadAll;
using test::ReadText;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;

class OwnFiles : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSettings(dir.Path(), dir / "work");
        WriteAll(dir / "a.shx", SmallSuperfile(SmallExtendedDrm(1)));
    }
    void Open(const std::string& file) {
        NextRun(run).ui.openAnswers = {file};
        ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    }
    CommandResult Save(const std::string& target) {
        NextRun(run).ui.saveAnswers = {target};
        return RunCommand(FileSave1Execute);
    }
    bool Told(const std::string& text) const {
        for (std::size_t i = 0; i < run->ui.messages.size(); ++i)
            if ((run->ui.messages[i].text + run->ui.messageDetails[i]).find(text) !=
                std::string::npos)
                return true;
        return false;
    }

    TempFolder dir;
    std::unique_ptr<ProgramRun> run;
};

constexpr const char* Hex = "0123456789abcdef";

// Every form of journal Zantrel does not write: a start reads it, changes
// no file, says so naming it, and goes on; no new step writes over it.
TEST_F(OwnFiles, PlantedJournalsChangeNothingAndAreSaid) {
    const std::string victim = dir / "victim";
    fs::create_directory(victim);
    const std::string doc = victim + "/doc.txt";
    const std::string aside = doc + "." + Hex + ".tmp~";
    const std::string journal = dir / "zantrel.commit";
    auto entry = [](const std::string& target, const std::string& temp, const std::string& old,
                    const std::string& id = "") {
        return target + "\t" + temp + "\t" + old + "\t" + id + "\n";
    };
    const std::string head = "zantrel-commit 2\nprepared\n";
    const std::string other = victim + "/other.txt";
    std::vector<std::pair<std::string, std::string>> forms = {
        {"a target's temporary that is not its own", head + entry(doc, other, "")},
        {"an old file that is not its own",
         "zantrel-commit 2\ncommitted\n" + entry(doc, "", other)},
        {"a path with ..", head + entry(dir / "work/../victim/doc.txt", "", aside)},
        {"a relative path",
         head + entry("victim/doc.txt", "", "victim/doc.txt.0123456789abcdef.tmp~")},
        {"a scratch file of no target", head + entry("", other, "")},
        {"damage", head + "garbage without tabs\n"},
        {"cut short", head + entry(doc, "", aside).substr(0, 10)},
        {"another version", "zantrel-commit 9\nprepared\n" + entry(doc, "", aside)},
    };
#ifndef _WIN32
    fs::create_directory_symlink(victim, dir / "via");
    forms.push_back({"a folder reached through a link",
                     head + entry(dir / "via/doc.txt", "", dir / "via/doc.txt." + Hex + ".tmp~")});
#endif
    for (const auto& [label, text] : forms) {
        SCOPED_TRACE(label);
        WriteText(doc, "yours");
        WriteText(other, "yours too");
        WriteText(aside, "planted");
        WriteText(journal, text);
        const auto before = Snapshot(victim);
        NextRun(run);
        EXPECT_EQ(Snapshot(victim), before);
        EXPECT_EQ(ReadText(journal), text);
        EXPECT_TRUE(Told("did not recognise")) << label;
    }

#ifndef _WIN32
    // The journal itself a link, to a journal that would otherwise be acted on.
    const std::string elsewhere = victim + "/journal";
    WriteText(elsewhere, head + entry(doc, "", aside));
    fs::remove(journal);
    fs::create_symlink(elsewhere, journal);
    NextRun(run);
    EXPECT_EQ(ReadText(doc), "yours");
    EXPECT_TRUE(fs::is_symlink(journal));
    EXPECT_TRUE(Told("did not recognise"));
    fs::remove(journal);
#endif

    // Over the size bound: not read at all.
    WriteText(journal, head + std::string(9 * 1024 * 1024, 'x') + "\n");
    NextRun(run);
    EXPECT_TRUE(Told("did not recognise"));
    EXPECT_EQ(ReadText(doc), "yours");

    // While it stays, no step writes a journal over it; moved away, they do.
    Open(dir / "a.shx");
    EXPECT_EQ(Save(dir / "out.shx"), CommandResult::Refused);
    EXPECT_FALSE(Exists(dir / "out.shx"));
    EXPECT_EQ(FileSizeOf(journal), 9 * 1024 * 1024 + 27);
    fs::remove(journal);
    EXPECT_EQ(Save(dir / "out.shx"), CommandResult::Completed);
}

// A journal of the program's own shape, for a file that is not the program's:
// a target that had no old file is removed only when it is the very file the
// step put there, so a person's file at that name stays; the temporaries it
// names beside it are all that may go.
TEST_F(OwnFiles, ARecognisedJournalRemovesOnlyItsOwnNewFile) {
    // As the program records it: the folder as the system resolves it.
    const std::string doc = JoinPath(ResolvedFolder(dir.Path()).value(), "doc.txt");
    const std::string temp = doc + "." + Hex + ".tmp~";
    WriteText(doc, "yours");
    WriteText(temp, "a temporary of the program's own name");
    for (const std::string version : {"1", "2"}) {
        SCOPED_TRACE(version);
        WriteText(dir / "zantrel.commit", "zantrel-commit " + version + "\nprepared\n" + doc +
                                              "\t" + temp + "\t" +
                                              (version == "2" ? "\t1:2\n" : "\n"));
        NextRun(run);
        EXPECT_EQ(ReadText(doc), "yours");
        EXPECT_FALSE(Exists(temp));
        EXPECT_FALSE(Exists(dir / "zantrel.commit"));
        WriteText(temp, "again");
    }
}

// Save As never replaces a folder, a file of the start folder's own, the
// session's flash file (under any of its names) or a work file; it says
// what to choose instead and writes nothing.
TEST_F(OwnFiles, SaveAsRefusesTargetsItMustNotReplace) {
    Open(dir / "a.shx");
    fs::create_directory(dir / "folder.shx");
    fs::create_hard_link(dir / "a.shx", dir / "also-a.shx");
    std::vector<std::pair<std::string, std::string>> targets = {
        {dir / "folder.shx", "is a folder"},
        {dir / "shxdata.dat", "Zantrel's own shxdata.dat"},
        {dir / "zantrel.ini", "Zantrel's own zantrel.ini"},
        {dir / "zantrel.commit", "Zantrel's own zantrel.commit"},
        {dir / "a.shx", "other code groups would be lost"},
        {dir / "also-a.shx", "other code groups would be lost"},
        {dir / "work/binary1/x.shx", "inside the work tree"},
    };
#ifndef _WIN32
    fs::create_symlink(dir / "a.shx", dir / "link.shx");
    targets.push_back({dir / "link.shx", "other code groups would be lost"});
#else
    targets.push_back({dir / "A.SHX", "other code groups would be lost"});
#endif
    const auto before = Snapshot(dir.Path());
    for (const auto& [target, why] : targets) {
        SCOPED_TRACE(target);
        EXPECT_EQ(Save(target), CommandResult::Refused);
        ASSERT_FALSE(run->ui.messages.empty());
        EXPECT_NE(run->ui.messages.back().text.find(why), std::string::npos)
            << run->ui.messages.back().text;
        EXPECT_EQ(Snapshot(dir.Path()), before);
        EXPECT_TRUE(fs::is_directory(dir / "folder.shx"));
    }
    EXPECT_NE(run->ui.messages.back().text.find("such as " + (dir / "a-new.shx")),
              std::string::npos);

    // A name whose code group is the same file spelled otherwise: on a disk
    // that ignores case the superfile alone is written, as under x.bin.
    EXPECT_EQ(Save(dir / "x.BIN"), CommandResult::Completed);
    const Bytes written = ReadAll(dir / "x.BIN");
    EXPECT_EQ(std::string(written.begin() + 8172, written.begin() + 8188), "S00600004844521B");
    std::vector<std::string> outputs = Entries(dir.Path());
    std::erase_if(outputs, [](const std::string& name) { return !name.starts_with("x."); });
#ifdef _WIN32
    EXPECT_EQ(outputs, std::vector<std::string>{"x.BIN"});
#else
    EXPECT_EQ(outputs, (std::vector<std::string>{"x.BIN", "x.bin"})); // two files here
#endif
}

// Two start folders whose settings name one work folder: the second never
// cleans, opens over or saves the first's session, in turn or at once.
TEST_F(OwnFiles, TwoStartFoldersNeverSaveEachOthersDrm) {
    const std::string a = dir / "A";
    const std::string b = dir / "B";
    const std::string work = dir / "W";
    for (const std::string& start : {a, b}) {
        fs::create_directory(start);
        WriteSettings(start, work);
    }
    fs::current_path(a);
    Open(dir / "a.shx");
    const auto session = Snapshot(work);

    // B's fresh start leaves A's session alone; its Open is refused, naming A.
    fs::current_path(b);
    NextRun(run).ui.openAnswers = {dir / "a.shx"};
    EXPECT_EQ(Snapshot(work), session);
    EXPECT_EQ(RunCommand(FileOpen1Execute), CommandResult::Refused);
    EXPECT_TRUE(Told("holds the pending session of the Zantrel started in " + a));
    EXPECT_TRUE(run->ui.openDialogs.empty());
    EXPECT_EQ(Snapshot(work), session);

    // A copy of A's session in B: said at once; Save As refused; Discard ends
    // B's session only.
    WriteText(b + "/shxdata.dat", ReadText(a + "/shxdata.dat"));
    EXPECT_EQ(Save(dir / "b-out.shx"), CommandResult::Refused);
    EXPECT_TRUE(Told("not this folder's session"));
    EXPECT_FALSE(Exists(dir / "b-out.shx"));
    NextRun(run);
    EXPECT_EQ(RunCommand(FileDiscard1Execute), CommandResult::Completed);
    EXPECT_FALSE(Exists(b + "/shxdata.dat"));
    EXPECT_EQ(Snapshot(work), session);

    // At once: while A's run holds the work folder, B's console is refused.
    fs::current_path(a);
    NextRun(run);
    const test::ProgramResult held = test::RunProgram(b, "zantrel-cli", {"open", dir / "a.shx"});
    EXPECT_NE(held.status, 0);
    EXPECT_NE((held.out + held.err).find("Another Zantrel is working in the work folder"),
              std::string::npos)
        << held.out << held.err;
    EXPECT_EQ(Snapshot(work), session);

    // A's own session saves.
    EXPECT_EQ(Save(dir / "out.shx"), CommandResult::Completed);
    EXPECT_TRUE(Exists(dir / "out.shx"));
}

// A session nobody edited saves: whatever length the header lists for the
// RAMDLD, and after a Save As that stopped once the RAMDLD was filled.
TEST_F(OwnFiles, AnUneditedSessionAlwaysSaves) {
    const std::vector<std::uint8_t> ramdld(300, 0x5A);
    const std::vector<samples::Piece> pieces = {
        samples::BytesPiece(samples::RamdldSlot, 0x03FC0000, ramdld),
        samples::BytesPiece(15, 0x10D00000, SmallExtendedDrm(1))};
    Bytes listed = samples::BuildSuperfile(pieces);
    listed[952] = 0x63; // the entry's end: 100 bytes listed, 300 in the body
    listed[953] = 0x00;
    WriteAll(dir / "listed.shx", listed);
    Open(dir / "listed.shx");
    EXPECT_TRUE(Told("the flash header lists 100 bytes for the RAMDLD, but the flash file holds "
                     "300 bytes of it"));
    EXPECT_EQ(Save(dir / "out.shx"), CommandResult::Completed);

    WriteAll(dir / "short.shx", samples::BuildSuperfile(pieces));
    Open(dir / "short.shx");
    {
        // Stopped where it puts the new superfile in place, after the fill.
        struct FailPlacing final : FaultInjector {
            std::string target;
            int Check(Op op, const std::string& path) override {
                return op == Op::Rename && path == target ? EIO : 0;
            }
        } failing;
        failing.target = dir / "out2.shx";
        FaultScope scope(&failing);
        EXPECT_EQ(Save(dir / "out2.shx"), CommandResult::Failed);
    }
    EXPECT_EQ(FileSizeOf(dir / "work/binary1/RAMDLD.bin"), 415);
    EXPECT_EQ(Save(dir / "out2.shx"), CommandResult::Completed);
}

} // namespace
} // namespace zantrel::hostile
