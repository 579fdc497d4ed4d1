// Named malformed inputs: piece counts, SBF lengths, S-record lines,
// "descr.dat" record counts and edited picture BMPs. Each is refused with a
// message that says what is wrong, and nothing half-made is left.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

#include "shell/sdimain.h"

#include "hostile.h"
#include "support/bytes.h"
#include "tools/containers.h"
#include "tools/drmbuilder.h"

namespace zantrel::hostile {
namespace {

using test::Exists;
using test::ListFiles;
using test::ReadAll;
using test::RecordingUi;
using test::TempFolder;
using test::WriteAll;
using Message = RecordingUi::Message;
using Messages = std::vector<Message>;

using test::PutBE32;
using test::PutLE32;

class Malformed : public ::testing::Test {
protected:
    void SetUp() override {
        // Edit-only mode: one dialog per Open.
        test::WriteText(dir / "zantrel.ini",
                        "1\r\n0\r\n1\r\n255\r\n0\r\n255\r\n" + dir.Path() + "\r\n");
    }
    // A first run that opens path; returns how the command ended.
    CommandResult Open(const std::string& name, const Bytes& bytes) {
        WriteAll(dir / name, bytes);
        std::remove((dir / "shxdata.dat").c_str());
        NextRun(run).ui.openAnswers = {dir / name};
        return RunCommand(FileOpen1Execute);
    }
    // What a file that was not decompiled leaves: header.bin at most.
    void ExpectNothingDecompiled() {
        EXPECT_FALSE(Exists(dir / "shxdata.dat"));
        const auto files = ListFiles(dir / "binary1");
        EXPECT_TRUE(files.empty() || files == std::vector<std::string>{"header.bin"})
            << files.size() << " files, the first " << files[0];
        EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
    }
    TempFolder dir;
    std::unique_ptr<ProgramRun> run;
};

TEST_F(Malformed, PieceCounts) {
    const Bytes drm = SmallBasicDrm();
    for (auto [count, name] : {std::pair<std::uint32_t, const char*>{0, "x.shx"},
                               {22, "x.shx"},
                               {0xFFFFFFFF, "x.shx"},
                               {0, "x.sbf"},
                               {22, "x.sbf"},
                               {0xFFFFFFFF, "x.sbf"}}) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(count));
        Bytes file = std::string(name) == "x.shx" ? SmallSuperfile(drm) : SmallSbf(drm);
        PutLE32(file, 944, count);
        EXPECT_EQ(Open(name, file), CommandResult::Stopped);
        EXPECT_EQ(run->ui.messages, (Messages{{"No DRM found", "Error"}}));
        ExpectNothingDecompiled();
        // header.bin is the file's first 8172 bytes, whatever they list.
        EXPECT_EQ(ReadAll(dir / "binary1/header.bin"), Bytes(file.begin(), file.begin() + 8172));
    }
    // 21 listed (the slots past the two real ones hold filler) but 2 carried.
    for (const char* name : {"x.shx", "x.sbf"}) {
        Bytes file = std::string(name) == "x.shx" ? SmallSuperfile(drm) : SmallSbf(drm);
        PutLE32(file, 944, 21);
        EXPECT_EQ(Open(name, file), CommandResult::Refused);
        EXPECT_EQ(run->ui.messages,
                  (Messages{{std::string(name) + ": its body holds 2 pieces but its header lists "
                                                 "21. The file was not decompiled.",
                             "Error"}}));
        ExpectNothingDecompiled();
    }

    // A full table: the RAMDLD and code groups 1 to 20, the DRM among them.
    std::vector<samples::Piece> pieces = {
        samples::BytesPiece(samples::RamdldSlot, 0x03FC0000, SmallRamdld())};
    for (int slot = 1; slot <= 20; ++slot)
        pieces.push_back(slot == 15 ? samples::BytesPiece(15, 0x10D00000, drm)
                                    : samples::PatternPiece(slot, 0x01000000u * slot, 40 + slot,
                                                            static_cast<std::uint32_t>(slot)));
    for (const char* name : {"full.shx", "full.sbf"}) {
        SCOPED_TRACE(name);
        const Bytes file = std::string(name) == "full.shx" ? samples::BuildSuperfile(pieces)
                                                           : samples::BuildSbf(pieces);
        ASSERT_EQ(file[944], 21);
        EXPECT_EQ(Open(name, file), CommandResult::Completed);
        EXPECT_EQ(run->ui.messages, (Messages{{"DRM decompiled.", ""}}));
        EXPECT_EQ(ReadAll(dir / "binary1/CG20.bin"), samples::PieceBytes(pieces[20]));
        EXPECT_EQ(ReadAll(dir / "binary1/CG15.bin"), drm);
        EXPECT_EQ(ReadAll(dir / "binary1/RAMDLD.bin"), SmallRamdld());
        // One more piece in the body than the 21 the header lists.
        std::vector<samples::Piece> more = pieces;
        more.push_back(samples::PatternPiece(21, 0x30000000, 16, 3));
        samples::HeaderOptions listed;
        listed.pieceCount = 21;
        const Bytes over = std::string(name) == "full.shx"
                               ? samples::BuildSuperfile(more, {}, listed)
                               : samples::BuildSbf(more, {}, listed);
        EXPECT_EQ(Open(name, over), CommandResult::Refused);
        EXPECT_EQ(run->ui.messages,
                  (Messages{{std::string(name) + ": its body holds more pieces than its header "
                                                 "lists (21). Nothing was decompiled.",
                             "Error"}}));
        ExpectNothingDecompiled();
    }
}

TEST_F(Malformed, SbfLengths) {
    const Bytes good = SmallSbf(SmallBasicDrm());
    // The RAMDLD record: 17 bytes, 512 data bytes, 12 bytes; the DRM's follows.
    const std::size_t ramdldLength = 8172 + 9;
    const std::size_t drmLength = 8172 + 17 + 512 + 12 + 9;
    ASSERT_EQ(good[drmLength + 2] * 256 + good[drmLength + 3],
              static_cast<int>(SmallBasicDrm().size()));
    const std::size_t drmLeft = good.size() - (drmLength - 9) - 17;
    struct Case {
        std::size_t at;
        std::uint32_t length;
        std::string message;
    } cases[] = {
        {drmLength, 0,
         "x.sbf: its body holds more pieces than its header lists (2). Nothing was decompiled."},
        {drmLength, static_cast<std::uint32_t>(drmLeft + 1),
         "x.sbf: piece record 2 is cut short by the end of the file. The file was not decompiled."},
        {drmLength, 0xFFFFFFFF,
         "x.sbf: piece record 2 is cut short by the end of the file. The file was not decompiled."},
        {ramdldLength, 0xFFFFFFFF,
         "x.sbf: piece record 1 is cut short by the end of the file. The file was not decompiled."},
        {ramdldLength, 0x80000000,
         "x.sbf: piece record 1 is cut short by the end of the file. The file was not decompiled."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes file = good;
        PutBE32(file, c.at, c.length);
        EXPECT_EQ(Open("x.sbf", file), CommandResult::Refused);
        EXPECT_EQ(run->ui.messages, (Messages{{c.message, "Error"}}));
        ExpectNothingDecompiled();
    }
    // A DRM record of length 0 that ends the file: an empty code group.
    Bytes file(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(drmLength - 9 + 17));
    PutBE32(file, drmLength, 0);
    EXPECT_EQ(Open("x.sbf", file), CommandResult::Refused);
    EXPECT_EQ(run->ui.messages,
              (Messages{{"The code group is only 0 bytes long, too short to hold a DRM header.",
                         "Error"}}));
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_EQ(ListFiles(dir / "binary1/drmpack"), std::vector<std::string>{});
}

TEST_F(Malformed, SRecordLines) {
    const Bytes good = SmallSuperfile(SmallBasicDrm());
    const std::string text(good.begin() + 8172, good.end());
    // Line 2 is the RAMDLD's first data line.
    const std::size_t lineStart = text.find("\r\n") + 2;
    const std::size_t lineEnd = text.find("\r\n", lineStart);
    const std::string line = text.substr(lineStart, lineEnd - lineStart);
    ASSERT_EQ(line.substr(0, 12), "S34503FC0000");
    std::string lower = line;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return std::tolower(c); });

    struct Case {
        std::string replacement; // for the line and its CR LF
        std::string why;
    } cases[] = {
        {line.substr(0, line.size() - 1) + "\r\n", "it has an odd number of characters"},
        {line.substr(0, 20) + "G" + line.substr(21) + "\r\n",
         "it holds a character that is not an upper-case hex digit"},
        {lower + "\r\n", "it does not start with \"S\""},
        {"S3" + lower.substr(2) + "\r\n",
         "it holds a character that is not an upper-case hex digit"},
        {"S30403FC0000\r\n", "its count 4 is below 5"},
        {"S300\r\n", "its count 0 is below 5"},
        {"S344" + line.substr(4) + "\r\n", "its count does not match its length"},
        {"S346" + line.substr(4) + "\r\n", "its count does not match its length"},
        {line + "\n", "it does not end in CR LF"},
        {line + "\r", "it does not end in CR LF"},
        // Runs into the next line, whose "S" is no hex digit.
        {line, "it holds a character that is not an upper-case hex digit"},
        {"S3" + std::string(9998, 'A') + "\r\n", "it is longer than an S-record can be"},
        {"S\r\n", "its record type is not a digit"},
        {"\r\n", "it does not start with \"S\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replacement.substr(0, 40));
        Bytes file(good.begin(), good.begin() + 8172);
        const std::string body =
            text.substr(0, lineStart) + c.replacement + text.substr(lineEnd + 2);
        file.insert(file.end(), body.begin(), body.end());
        EXPECT_EQ(Open("x.shx", file), CommandResult::Refused);
        EXPECT_EQ(
            run->ui.messages,
            (Messages{{"x.shx, line 2: " + c.why + ". The file was not decompiled.", "Error"}}));
        ExpectNothingDecompiled();
    }
    // Lower-case hex in the first line of the file.
    Bytes file(good.begin(), good.begin() + 8172);
    const std::string body = "S00600004844521b" + text.substr(16);
    file.insert(file.end(), body.begin(), body.end());
    EXPECT_EQ(Open("x.shx", file), CommandResult::Refused);
    EXPECT_EQ(run->ui.messages,
              (Messages{{"x.shx, line 1: it holds a character that is not an upper-case hex "
                         "digit. The file was not decompiled.",
                         "Error"}}));
}

// A second run over an extended DRM opened from a superfile, with an earlier
// file at the targets.
class SecondRun : public Malformed {
protected:
    void SetUp() override {
        Malformed::SetUp();
        ASSERT_EQ(Open("x.shx", SmallSuperfile(SmallExtendedDrm())), CommandResult::Completed);
        NextRun(run);
        WriteAll(dir / "out.shx", earlier);
        WriteAll(dir / "out.bin", earlier);
    }
    CommandResult Save() {
        run->ui.saveAnswers = {dir / "out.shx"};
        return RunCommand(FileSave1Execute);
    }
    // A refused or failed Save As: nothing written, the window open, the work kept.
    void ExpectNothingSaved() {
        EXPECT_EQ(ReadAll(dir / "out.shx"), earlier);
        EXPECT_EQ(ReadAll(dir / "out.bin"), earlier);
        EXPECT_EQ(run->ui.closeCalls, 0);
        EXPECT_EQ(Leftovers(dir.Path()), std::vector<std::string>{});
        EXPECT_TRUE(Exists(dir / "binary1/drmpack/start.bin"));
    }
    // Save As's one box for one problem: its line, then the folder it is in.
    void ExpectRefused(const std::string& line, const std::string& folder) {
        EXPECT_EQ(run->ui.messages.back(),
                  (Message{"Nothing was saved: Save As found a problem in the work files. Put it "
                           "right, then save again.",
                           "Error"}));
        EXPECT_EQ(run->ui.messageDetails.back(), line + "\nFolder: " + test::NativePath(folder));
    }
    const Bytes earlier = {'o', 'l', 'd'};
    const std::string putBack = "; Save As needs it as Open wrote it. Put it back, or discard the "
                                "session and open the flash file again.";
};

TEST_F(SecondRun, DescrRecordCounts) {
    const std::string descr = dir / "binary1/drmpack/descr.dat";
    const Bytes records = ReadAll(descr);
    ASSERT_EQ(records.size(), 60u);
    for (std::size_t count : {0u, 11u, 13u, 16u, 12u}) {
        SCOPED_TRACE(count);
        Bytes cut(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(
                                                         std::min<std::size_t>(4 * count, 60)));
        cut.resize(4 * count, 0);
        WriteAll(descr, cut);
        const CommandResult result = Save();
        if (count != 12) {
            EXPECT_EQ(result, CommandResult::Refused);
            ExpectRefused("The DRM record file descr.dat holds " + std::to_string(count) +
                              " records; it must hold 12 or 15" + putBack,
                          dir / "binary1/drmpack");
        } else {
            // Read as a basic DRM: the picture table in start.bin is not touched,
            // and the compiled code group is whole.
            EXPECT_EQ(result, CommandResult::Completed);
            WriteAll(dir / "out.shx", earlier);
            WriteAll(dir / "out.bin", earlier);
            NextRun(run);
            continue;
        }
        ExpectNothingSaved();
        // Port checks both record files before it copies anything.
        const auto icons = Snapshot(dir / "binary1/drmpack/icons");
        RunCommand(Port1Click);
        EXPECT_EQ(Snapshot(dir / "binary1/drmpack/icons"), icons);
        run->errors.clear();
    }
}

TEST_F(SecondRun, HeaderOfAnotherSizeIsNotSaved) {
    // header.bin cut or padded by hand: refused before it is patched.
    const std::string header = dir / "binary1/header.bin";
    const Bytes good = ReadAll(header);
    for (std::size_t size : {0u, 100u, 8171u, 8173u}) {
        SCOPED_TRACE(size);
        Bytes edited = good;
        edited.resize(size, 0x5A);
        WriteAll(header, edited);
        EXPECT_EQ(Save(), CommandResult::Refused);
        ExpectRefused("header.bin is " + std::to_string(size) +
                          " bytes long; a flash header is 8172 bytes" + putBack,
                      dir / "binary1");
        EXPECT_EQ(ReadAll(header), edited);
        ExpectNothingSaved();
    }
    WriteAll(header, good);
    EXPECT_EQ(Save(), CommandResult::Completed);
}

TEST_F(SecondRun, PictureBmps) {
    const std::string picture = dir / "binary1/drmpack/icons/1.bmp";
    const Bytes good = ReadAll(picture);
    ASSERT_EQ(good.size(), 54u + 2 * 12); // 3 x 2 pixels, rows of 9 bytes and 3 of padding
    const std::string mustBe = "; it must be a plain 24-bit BMP of 3 x 2 pixels.";
    struct Case {
        const char* what;
        std::function<void(Bytes&)> edit;
        std::string message;
    } cases[] = {
        {"8-bit", [](Bytes& b) { b[28] = 8; }, "1.bmp: 8-bit colour" + mustBe},
        {"32-bit", [](Bytes& b) { b[28] = 32; }, "1.bmp: 32-bit colour" + mustBe},
        {"compressed", [](Bytes& b) { b[30] = 1; }, "1.bmp: compressed" + mustBe},
        {"top-down", [](Bytes& b) { PutLE32(b, 22, static_cast<std::uint32_t>(-2)); },
         "1.bmp: stored top-down" + mustBe},
        {"pixels at 58",
         [](Bytes& b) {
             b[10] = 58;
             b.insert(b.begin() + 54, 4, 0);
         },
         "1.bmp: extra data before its pixels" + mustBe},
        {"truncated", [](Bytes& b) { b.resize(b.size() - 1); },
         "1.bmp: cut short (77 of 78 bytes)" + mustBe},
        {"header only", [](Bytes& b) { b.resize(54); },
         "1.bmp: cut short (54 of 78 bytes)" + mustBe},
        {"not a BMP", [](Bytes& b) { b.resize(20); },
         "1.bmp: cut short inside its header" + mustBe},
        {"wider", [](Bytes& b) { b[18] = 4; }, "1.bmp: 4 x 2 pixels" + mustBe},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes edited = good;
        c.edit(edited);
        WriteAll(picture, edited);
        EXPECT_EQ(Save(), CommandResult::Refused);
        ExpectRefused(c.message, dir / "binary1/drmpack/icons");
        ExpectNothingSaved();
    }
    // Put right, the same run saves.
    WriteAll(picture, good);
    EXPECT_EQ(Save(), CommandResult::Completed);
    EXPECT_NE(ReadAll(dir / "out.shx"), earlier);
}

} // namespace
} // namespace zantrel::hostile
