#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

#include "base/fileio.h"
#include "base/worktree.h"

#include "flash/readers.h"

#include "shell/open.h"
#include "shell/sdimain.h"
#include "shell/state.h"

#include "support/recordingui.h"
#include "support/tempfolder.h"
#include "tools/containers.h"
#include "tools/drmbuilder.h"

namespace zantrel {
namespace {

using namespace zantrel::test;
using samples::BodyOptions;
using samples::BytesPiece;
using samples::PatternPiece;
using samples::Piece;
using Bytes = std::vector<std::uint8_t>;

// A work tree under the temporary folder and image 1's flash file in "in/".
struct Bench {
    TempFolder tmp;
    RecordingUi ui;
    std::string flash;
    std::string work;
    explicit Bench(const std::string& name) {
        State().workFolder = tmp / "work";
        BuildWorkTree();
        work = State().binary1Dir;
        std::filesystem::create_directory(tmp / "in");
        flash = tmp / ("in/" + name);
        State().firstFlashPath = flash;
    }
    std::string W(const std::string& name) const { return JoinPath(work, name); }
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& f : ListFiles(work))
            if (f.find('/') == std::string::npos)
                files.push_back(f);
        return files;
    }
};

Bytes Seq(std::size_t n, int start) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(start + 7 * i);
    return b;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// RAMDLD, CG0, CG1, CG3 and CG15; the body carries CG0 and CG1 as one piece.
std::vector<Piece> FivePieces() {
    return {BytesPiece(-1, 0x03FC8000, Seq(130, 1)), BytesPiece(0, 0x10020000, Seq(100, 2)),
            BytesPiece(1, 0x10040000, Seq(70, 3)), BytesPiece(3, 0x10060000, Seq(50, 4)),
            BytesPiece(15, 0x10D0001C, Seq(200, 5))};
}

Bytes Header(const Bytes& file) { return Bytes(file.begin(), file.begin() + 8172); }

// A superfile of a RAMDLD and CG15 whose body is given as text.
Bytes SuperfileWithBody(const std::string& body) {
    Bytes file = samples::BuildFlashHeader(
        {BytesPiece(-1, 0x100, Seq(4, 1)), BytesPiece(15, 0x200, Seq(4, 2))});
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

TEST(ReadSuperfile, SplitsEveryPieceIntoTheWorkFolder) {
    for (int lineBytes : {64, 16, 250}) {
        for (bool finalLineEnd : {false, true}) {
            SCOPED_TRACE("lineBytes " + std::to_string(lineBytes));
            Bench b("phone.shx");
            BodyOptions body;
            body.lineBytes = lineBytes;
            body.finalLineEnd = finalLineEnd;
            const Bytes file = samples::BuildSuperfile(FivePieces(), body);
            WriteAll(b.flash, file);
            WriteAll(b.W("CG3.bin"), Bytes(5000, 0xEE)); // an earlier file is replaced

            EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Done);
            EXPECT_EQ(b.Files(), (std::vector<std::string>{"CG1.bin", "CG15.bin", "CG3.bin",
                                                           "RAMDLD.bin", "header.bin"}));
            EXPECT_EQ(ReadAll(b.W("header.bin")).size(), 8172u);
            EXPECT_EQ(ReadAll(b.W("header.bin")), Header(file));
            EXPECT_EQ(ReadAll(b.W("RAMDLD.bin")), Seq(130, 1));
            EXPECT_EQ(ReadAll(b.W("CG1.bin")), Concat(Seq(100, 2), Seq(70, 3)));
            EXPECT_EQ(ReadAll(b.W("CG3.bin")), Seq(50, 4));
            EXPECT_EQ(ReadAll(b.W("CG15.bin")), Seq(200, 5));
            EXPECT_EQ(b.ui.statusTexts, (std::vector<std::string>{"Extracting codegroups", ""}));
            EXPECT_EQ(b.ui.progressShown, (std::vector<bool>{true, false}));
            ASSERT_FALSE(b.ui.progress.empty());
            EXPECT_EQ(b.ui.progress.front(), 0);
            EXPECT_TRUE(b.ui.messages.empty());
            EXPECT_FALSE(Exists(b.tmp / "temp.bin"));
        }
    }
}

TEST(ReadSbf, SplitsEveryPieceIntoTheWorkFolder) {
    Bench b("phone.sbf");
    std::vector<Piece> pieces = FivePieces();
    pieces[3] = BytesPiece(3, 0x10060000, {}); // a record of length 0 is a piece too
    const Bytes file = samples::BuildSbf(pieces);
    WriteAll(b.flash, file);

    EXPECT_EQ(Report(ReadSbf(FoldersOf(1))).kind, Outcome::Kind::Done);
    EXPECT_EQ(b.Files(), (std::vector<std::string>{"CG1.bin", "CG15.bin", "CG3.bin", "RAMDLD.bin",
                                                   "header.bin"}));
    EXPECT_EQ(ReadAll(b.W("header.bin")), Header(file));
    EXPECT_EQ(ReadAll(b.W("RAMDLD.bin")), Seq(130, 1));
    EXPECT_EQ(ReadAll(b.W("CG1.bin")), Concat(Seq(100, 2), Seq(70, 3)));
    EXPECT_EQ(ReadAll(b.W("CG3.bin")), Bytes{});
    EXPECT_EQ(ReadAll(b.W("CG15.bin")), Seq(200, 5));
    EXPECT_EQ(b.ui.statusTexts, (std::vector<std::string>{"Extracting codegroups", ""}));
    // No 0 first: the bar stays until the first piece is copied.
    ASSERT_FALSE(b.ui.progress.empty());
    EXPECT_NE(b.ui.progress.front(), 0);
    EXPECT_EQ(b.ui.progress.back(), 99); // 8672 of 8788 bytes: the records' framing is not counted
    EXPECT_TRUE(b.ui.messages.empty());
}

TEST(ReadSuperfile, TakesDataLinesAsWrittenAndWarnsOfBadChecksums) {
    Bench b("phone.shx");
    // Count 05 carries nothing; type 1 is read with a 4-byte address; the
    // second line's checksum is wrong (F5 is right) but its data are taken.
    const std::string body = "S00600004844521B\r\n"
                             "S30500000000FA\r\n"
                             "S307000000000102F4\r\n"
                             "S1071000000003040A\r\n"
                             "S70500000000FA\r\n"
                             "S00600004844521B\r\n"
                             "S306000000AA0A46\r\n"
                             "S70500000000FA";
    WriteAll(b.flash, SuperfileWithBody(body));
    EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Done);
    EXPECT_EQ(ReadAll(b.W("RAMDLD.bin")), (Bytes{0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(ReadAll(b.W("CG15.bin")), (Bytes{0x0A}));
    ASSERT_EQ(b.ui.messages.size(), 1u);
    EXPECT_EQ(b.ui.messages[0].caption, "Warning");
    EXPECT_EQ(b.ui.messages[0].text, "phone.shx: 3 S-record lines have a wrong checksum.");

    Bench one("one.shx");
    WriteAll(one.flash,
             SuperfileWithBody("S00600004844521B\r\nS307000000000102F4\r\nS70500000000FA\r\n"
                               "S00600004844521B\r\nS70500000000FA\r\n"));
    EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Done);
    ASSERT_EQ(one.ui.messages.size(), 1u);
    EXPECT_EQ(one.ui.messages[0].text, "one.shx: 1 S-record line has a wrong checksum.");
    EXPECT_EQ(ReadAll(one.W("CG15.bin")), Bytes{});
}

TEST(ReadSuperfile, RefusesMalformedLines) {
    const std::string start = "S00600004844521B\r\n";
    const std::string end = "S70500000000FA\r\n";
    const std::string good = "S307000000000102F5\r\n";
    struct Case {
        std::string line;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"S307000000000102f5\r\n", "not an upper-case hex digit"},
        {"S3070000000001G2F5\r\n", "not an upper-case hex digit"},
        {"S30700000000010F5\r\n", "odd number of characters"},
        {"S304000000FB\r\n", "count 4 is below 5"},
        {"S308000000000102F5\r\n", "count does not match its length"},
        {"S307000000000102F5\n", "does not end in CR LF"},
        {"S307000000000102F5\rX", "does not end in CR LF"},
        {"S3" + std::string(600, '0') + "\r\n", "longer than an S-record can be"},
        {"X307000000000102F5\r\n", "does not start with \"S\""},
        {"SX07000000000102F5\r\n", "record type is not a digit"},
        {"S3\r\n", "too short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 30));
        Bench b("phone.shx");
        WriteAll(b.flash,
                 SuperfileWithBody(start + good + c.line + good + end + start + good + end));
        EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Refused);
        ASSERT_EQ(b.ui.messages.size(), 1u);
        EXPECT_EQ(b.ui.messages[0].caption, "Error");
        EXPECT_EQ(b.ui.messages[0].text.rfind("phone.shx, line 3: ", 0), 0u)
            << b.ui.messages[0].text;
        EXPECT_NE(b.ui.messages[0].text.find(c.why), std::string::npos) << b.ui.messages[0].text;
        EXPECT_EQ(b.Files(), std::vector<std::string>{"header.bin"});
        EXPECT_EQ(b.ui.statusTexts.back(), "");
    }
}

TEST(ReadSuperfile, RefusesABodyThatDoesNotMatchItsHeader) {
    const std::string start = "S00600004844521B\r\n";
    const std::string end = "S70500000000FA\r\n";
    const std::string good = "S307000000000102F5\r\n";
    struct Case {
        std::string body;
        std::string text;
    };
    const std::vector<Case> cases = {
        {start + good + end + start + good + "S7050000",
         "phone.shx, line 6: its count does not match its length"},
        {start + good + end + start + good,
         "phone.shx: the body ends inside a piece (its last section has no end line)."},
        {start + good + end, "phone.shx: its body holds 1 pieces but its header lists 2."},
        {"", "phone.shx: its body holds 0 pieces but its header lists 2."},
        {start + good + end + start + end + start + good + end,
         "phone.shx: its body holds more pieces than its header lists (2)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Bench b("phone.shx");
        WriteAll(b.flash, SuperfileWithBody(c.body));
        EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Refused);
        ASSERT_EQ(b.ui.messages.size(), 1u);
        EXPECT_EQ(b.ui.messages[0].caption, "Error");
        EXPECT_EQ(b.ui.messages[0].text.rfind(c.text, 0), 0u) << b.ui.messages[0].text;
        EXPECT_EQ(b.Files(), std::vector<std::string>{"header.bin"});
    }

    // Line ends after the last section are no extra piece.
    Bench tail("phone.shx");
    WriteAll(tail.flash, SuperfileWithBody(start + good + end + start + good + end + "\r\n\r\n"));
    EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Done);
    EXPECT_TRUE(tail.ui.messages.empty());

    // CG0 and CG1 written apart: one piece more than the header lists.
    Bench apart("phone.shx");
    BodyOptions body;
    body.mergeCg0 = false;
    WriteAll(apart.flash, samples::BuildSuperfile(FivePieces(), body));
    EXPECT_EQ(Report(ReadSuperfile(FoldersOf(1))).kind, Outcome::Kind::Refused);
    ASSERT_EQ(apart.ui.messages.size(), 1u);
    EXPECT_EQ(apart.ui.messages[0].text,
              "phone.shx: its body holds more pieces than its header lists (4). Nothing was "
              "decompiled.");
    EXPECT_EQ(apart.Files(), std::vector<std::string>{"header.bin"});
}

TEST(ReadSbf, RefusesRecordsThatDoNotFit) {
    auto sbfWithLength = [](std::uint32_t secondLength, std::size_t dataBytes) {
        Bytes file =
            samples::BuildSbf({BytesPiece(-1, 0x100, Seq(4, 1)), BytesPiece(15, 0x200, Seq(4, 2))});
        file.resize(8172 + 17 + 4 + 12); // keep the RAMDLD record
        Bytes record(17, 0x11);
        record[9] = static_cast<std::uint8_t>(secondLength >> 24);
        record[10] = static_cast<std::uint8_t>(secondLength >> 16);
        record[11] = static_cast<std::uint8_t>(secondLength >> 8);
        record[12] = static_cast<std::uint8_t>(secondLength);
        file.insert(file.end(), record.begin(), record.end());
        file.insert(file.end(), dataBytes, 0x5A);
        return file;
    };
    for (auto [length, data] :
         {std::pair<std::uint32_t, std::size_t>{0xFFFFFFFFu, 100}, {101, 100}, {0x7FFFFFFF, 0}}) {
        Bench b("phone.sbf");
        WriteAll(b.flash, sbfWithLength(length, data));
        EXPECT_EQ(Report(ReadSbf(FoldersOf(1))).kind, Outcome::Kind::Refused);
        ASSERT_EQ(b.ui.messages.size(), 1u);
        EXPECT_EQ(b.ui.messages[0].caption, "Error");
        EXPECT_EQ(b.ui.messages[0].text,
                  "phone.sbf: piece record 2 is cut short by the end of the file. The file was "
                  "not decompiled.");
        EXPECT_EQ(b.Files(), std::vector<std::string>{"header.bin"});
    }
    // The data complete but the closing bytes cut short: the piece is whole.
    Bench cut("phone.sbf");
    Bytes file = sbfWithLength(100, 100);
    file.insert(file.end(), 5, 0x00);
    WriteAll(cut.flash, file);
    EXPECT_EQ(Report(ReadSbf(FoldersOf(1))).kind, Outcome::Kind::Done);
    EXPECT_EQ(ReadAll(cut.W("CG15.bin")), Bytes(100, 0x5A));

    Bench apart("phone.sbf");
    BodyOptions body;
    body.mergeCg0 = false;
    WriteAll(apart.flash, samples::BuildSbf(FivePieces(), body));
    EXPECT_EQ(Report(ReadSbf(FoldersOf(1))).kind, Outcome::Kind::Refused);
    ASSERT_EQ(apart.ui.messages.size(), 1u);
    EXPECT_NE(apart.ui.messages[0].text.find("more pieces than its header lists"),
              std::string::npos);
}

TEST(OpenSuperfile, WithoutDrmWritesTheHeaderOnly) {
    const std::vector<Piece> pieces = {BytesPiece(-1, 0x100, Seq(40, 1)),
                                       BytesPiece(2, 0x200, Seq(40, 2)),
                                       BytesPiece(5, 0x300, Seq(40, 3))};
    for (bool sbf : {false, true}) {
        Bench b(sbf ? "nodrm.sbf" : "nodrm.shx");
        const Bytes file = sbf ? samples::BuildSbf(pieces) : samples::BuildSuperfile(pieces);
        WriteAll(b.flash, file);
        EXPECT_EQ((sbf ? Report(OpenSbf(FoldersOf(1))) : Report(OpenSuperfile(FoldersOf(1)))).kind,
                  Outcome::Kind::NoDrm);
        EXPECT_EQ(b.Files(), std::vector<std::string>{"header.bin"});
        EXPECT_EQ(ReadAll(b.W("header.bin")), Header(file));
        EXPECT_TRUE(b.ui.messages.empty());
        EXPECT_TRUE(b.ui.statusTexts.empty());
    }
}

// Fails writable opens of one path, and records every path opened for writing.
struct OpenWatch : FaultInjector {
    std::string deny;
    std::vector<std::string> writes;
    OpenWatch() { InstallFaultInjector(this); }
    ~OpenWatch() override { InstallFaultInjector(nullptr); }
    int Check(Op op, const std::string& path) override {
        if (op == Op::OpenWrite) {
            writes.push_back(path);
            if (path == deny)
                return EACCES;
        }
        return 0;
    }
};

TEST(ReadSuperfile, ReadsAWriteProtectedFileAndKeepsScratchInTheWorkFolder) {
    for (bool sbf : {false, true}) {
        Bench b(sbf ? "phone.sbf" : "phone.shx");
        WriteAll(b.flash,
                 sbf ? samples::BuildSbf(FivePieces()) : samples::BuildSuperfile(FivePieces()));
        chmod(b.flash.c_str(), 0444);
        OpenWatch watch;
        watch.deny = b.flash; // as a read-only file would answer to a writable open
        EXPECT_EQ((sbf ? Report(ReadSbf(FoldersOf(1))) : Report(ReadSuperfile(FoldersOf(1)))).kind,
                  Outcome::Kind::Done);
        EXPECT_EQ(ReadAll(b.W("CG15.bin")), Seq(200, 5));
        bool scratchInWork = false;
        for (const std::string& path : watch.writes) {
            EXPECT_NE(path, b.flash);
            EXPECT_NE(path, b.tmp / "temp.bin");
            EXPECT_NE(path, "temp.bin");
            scratchInWork = scratchInWork || ShownPath(path) == b.W("temp.bin");
        }
        EXPECT_TRUE(scratchInWork);
        EXPECT_FALSE(Exists(b.W("temp.bin")));
        EXPECT_FALSE(Exists(b.tmp / "temp.bin"));
    }
}

TEST(OpenRawImage, CopiesATaggedImageWhole) {
    Bench none("nodrm.bin");
    WriteAll(none.flash, Seq(600, 9));
    EXPECT_EQ(Report(OpenRawImage(FoldersOf(1))).kind, Outcome::Kind::NoDrm);
    EXPECT_TRUE(none.Files().empty());

    Bench b("drm.smg");
    samples::DrmPlan plan;
    plan.extended = true;
    plan.prefix = true;
    plan.tag = samples::TagVariant::At464;
    plan.icons = {samples::GifIcon(3, 2, 1), samples::BmpIcon(2, 2, 2)};
    plan.pictures = {samples::SamplePicture(3, 2, 3, true, 0)};
    const Bytes image = samples::BuildDrmCodeGroup(plan);
    WriteAll(b.flash, image);
    chmod(b.flash.c_str(), 0444);
    EXPECT_EQ(Report(OpenRawImage(FoldersOf(1))).kind, Outcome::Kind::Done);
    EXPECT_EQ(ReadAll(b.W("CG15.bin")), image);
    EXPECT_TRUE(Exists(State().drmpack1Dir + "/descr.dat"));
    EXPECT_FALSE(Exists(b.W("header.bin")));
}

TEST(OpenSuperfile, DecompilesTheDrmOfEitherImage) {
    samples::DrmPlan plan;
    plan.extended = false;
    plan.tag = samples::TagVariant::At468;
    plan.loadAddress = 0x10D00000;
    plan.icons = {samples::GifIcon(4, 4, 1), samples::GifIcon(5, 3, 2), samples::BmpIcon(3, 3, 3)};
    const Bytes image = samples::BuildDrmCodeGroup(plan);
    std::vector<Piece> pieces = FivePieces();
    pieces[4] = BytesPiece(15, 0x10D00000, image);
    for (bool sbf : {false, true}) {
        Bench b(sbf ? "export.sbf" : "export.shx");
        State().secondFlashPath = b.flash;
        State().firstFlashPath.clear();
        WriteAll(b.flash, sbf ? samples::BuildSbf(pieces) : samples::BuildSuperfile(pieces));
        EXPECT_EQ((sbf ? Report(OpenSbf(FoldersOf(2))) : Report(OpenSuperfile(FoldersOf(2)))).kind,
                  Outcome::Kind::Done);
        EXPECT_EQ(ReadAll(State().binary2Dir + "/CG15.bin"), image);
        EXPECT_TRUE(Exists(State().drmpack2Dir + "/descr.dat"));
        EXPECT_TRUE(ListFiles(State().binary1Dir).empty());
    }
}

} // namespace
} // namespace zantrel
