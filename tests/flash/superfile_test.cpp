#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

#include "base/fileio.h"
#include "base/worktree.h"

#include "flash/flashcompare.h"
#include "flash/readers.h"
#include "flash/superfile.h"

#include "shell/open.h"
#include "shell/sdimain.h"
#include "shell/state.h"

#include "support/bytes.h"
#include "support/recordingui.h"
#include "support/tempfolder.h"
#include "tools/containers.h"
#include "tools/drmbuilder.h"

namespace zantrel {
namespace {

using namespace zantrel::test;
using samples::BytesPiece;
using Bytes = std::vector<std::uint8_t>;

Bytes Seq(std::size_t n, int start) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(start + 13 * i);
    return b;
}

std::string Text(const Bytes& b, std::size_t from, std::size_t n) {
    return std::string(b.begin() + static_cast<long>(from),
                       b.begin() + static_cast<long>(from + n));
}

TEST(BuildS3Line, FormsOneRecordAndAdvancesTheAddress) {
    const std::uint8_t zero = 0;
    std::uint32_t address = 0;
    EXPECT_EQ(BuildS3Line(&zero, 1, address), "S3060000000000F9\r\n");
    EXPECT_EQ(address, 1u);

    const Bytes full = Seq(64, 0x80);
    address = 0x10D0001C;
    const std::string line = BuildS3Line(full.data(), 64, address);
    EXPECT_EQ(line.size(), 144u);
    EXPECT_EQ(line.substr(0, 12), "S34510D0001C");
    EXPECT_EQ(address, 0x10D0005Cu);

    // Against the sample builder's own encoder, across sizes and a wrapping address.
    for (int n : {1, 2, 31, 63, 64}) {
        for (std::uint32_t start : {0u, 0x03FC8000u, 0xFFFFFFF0u}) {
            const Bytes data = Seq(static_cast<std::size_t>(n), n + static_cast<int>(start));
            std::uint32_t a = start;
            EXPECT_EQ(BuildS3Line(data.data(), n, a), samples::S3Line(start, data));
            EXPECT_EQ(a, start + static_cast<std::uint32_t>(n));
        }
    }
}

TEST(FormatBuildDate, WritesDayMonthTimeAndYear) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_wday = 4;
    t.tm_hour = 9;
    t.tm_min = 4;
    t.tm_sec = 7;
    EXPECT_EQ(FormatBuildDate(t), "Thu March 05 09:04:07 2026");
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_wday = 1;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 38;
    EXPECT_EQ(FormatBuildDate(t), "Mon December 07 23:59:38 2026");
    t.tm_wday = 0;
    t.tm_mon = 0;
    t.tm_year = 99;
    EXPECT_EQ(FormatBuildDate(t), "Sun January 07 23:59:38 1999");
}

TEST(PrepareRamdld, FillsFrom256KeepingTheWordsAt368) {
    TempFolder tmp;
    State().binary1Dir = tmp.Path();
    const Bytes before = Seq(500, 1);
    WriteAll(tmp / "RAMDLD.bin", before);
    PrepareRamdld(FoldersOf(1));
    Bytes after = ReadAll(tmp / "RAMDLD.bin");
    ASSERT_EQ(after.size(), 500u);
    for (std::size_t i = 0; i < 500; ++i) {
        const bool filled = i >= 256 && i <= 414 && !(i >= 368 && i <= 375);
        EXPECT_EQ(after[i], filled ? 0xFF : before[i]) << "offset " << i;
    }
    PrepareRamdld(FoldersOf(1)); // the same bytes again
    EXPECT_EQ(ReadAll(tmp / "RAMDLD.bin"), after);

    // A short file grows to 415 bytes; absent words come back as zeros.
    WriteAll(tmp / "RAMDLD.bin", Seq(100, 2));
    PrepareRamdld(FoldersOf(1));
    after = ReadAll(tmp / "RAMDLD.bin");
    ASSERT_EQ(after.size(), 415u);
    EXPECT_EQ(Bytes(after.begin(), after.begin() + 100), Seq(100, 2));
    EXPECT_EQ(Bytes(after.begin() + 100, after.begin() + 256), Bytes(156, 0x00));
    EXPECT_EQ(Bytes(after.begin() + 256, after.begin() + 368), Bytes(112, 0xFF));
    EXPECT_EQ(Bytes(after.begin() + 368, after.begin() + 376), Bytes(8, 0x00));
    EXPECT_EQ(Bytes(after.begin() + 376, after.end()), Bytes(39, 0xFF));
}

TEST(PrepareHeader, ListsTheRamdldAndTheCompiledCodeGroupOnly) {
    TempFolder tmp;
    State().binary1Dir = tmp.Path();
    const Bytes before = samples::BuildFlashHeader(
        {BytesPiece(-1, 0x03FC8000, Seq(300, 1)), BytesPiece(0, 0x10020000, Seq(20, 2)),
         BytesPiece(1, 0x10040000, Seq(20, 3)), BytesPiece(15, 0x10D0001C, Seq(50, 4)),
         BytesPiece(20, 0x11000000, Seq(20, 5))});
    WriteAll(tmp / "header.bin", before);
    WriteAll(tmp / "RAMDLD.bin", Bytes(3, 0xFF)); // sum 765
    Bytes compiled = Seq(100, 7);
    WriteAll(tmp / "new.bin", compiled);
    PrepareHeader(FoldersOf(1), tmp / "new.bin");

    const Bytes after = ReadAll(tmp / "header.bin");
    ASSERT_EQ(after.size(), 8172u);
    EXPECT_EQ(after[944], 2);
    EXPECT_EQ(Bytes(after.begin() + 945, after.begin() + 948),
              Bytes(before.begin() + 945, before.begin() + 948));
    EXPECT_EQ(LE32(after, 972), 765u);
    EXPECT_EQ(LE32(after, 1424), 0x10D0001Cu);
    EXPECT_EQ(LE32(after, 1428), 0x10D0001Cu + 99u);
    EXPECT_EQ(Bytes(after.begin() + 1432, after.begin() + 1448),
              Bytes(compiled.begin(), compiled.begin() + 16));
    unsigned sum = 0;
    for (auto v : compiled)
        sum += v;
    EXPECT_EQ(LE32(after, 1448), sum & 0xFFFF);
    for (std::size_t i = 992; i < 1648; ++i) {
        if (i < 1424 || i >= 1452) {
            ASSERT_EQ(after[i], 0) << "offset " << i;
        }
    }

    const std::string banner = "Zantrel Utility Generated Superfile";
    EXPECT_EQ(Text(after, 448, banner.size()), banner);
    EXPECT_EQ(Bytes(after.begin() + 448 + static_cast<long>(banner.size()), after.begin() + 576),
              Bytes(128 - banner.size(), 0));
    const std::string date(reinterpret_cast<const char*>(after.data() + 320));
    EXPECT_TRUE(
        std::regex_match(date, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]+ "
                                          "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
        << date;
    for (std::size_t i = 320 + date.size(); i < 448; ++i)
        ASSERT_EQ(after[i], 0);
    // Everything else is copied through.
    for (std::size_t i = 0; i < 8172; ++i) {
        const bool set =
            (i >= 320 && i < 576) || i == 944 || (i >= 972 && i < 976) || (i >= 992 && i < 1648);
        if (!set) {
            ASSERT_EQ(after[i], before[i]) << "offset " << i;
        }
    }
}

// Image 1 read from a superfile with a basic DRM, ready for Save As.
struct SaveBench {
    TempFolder tmp;
    RecordingUi ui;
    Bytes ramdld = Seq(130, 3);
    std::string out;
    SaveBench() {
        State().workFolder = tmp / "work";
        BuildWorkTree();
        samples::DrmPlan plan;
        plan.tag = samples::TagVariant::At468;
        plan.loadAddress = 0x10D00000;
        plan.icons = {samples::GifIcon(4, 4, 1), samples::BmpIcon(3, 5, 2),
                      samples::GifIcon(7, 2, 3)};
        State().firstFlashPath = tmp / "phone.shx";
        WriteAll(State().firstFlashPath,
                 samples::BuildSuperfile(
                     {BytesPiece(-1, 0x03FC8000, ramdld), BytesPiece(4, 0x10100000, Seq(99, 4)),
                      BytesPiece(15, 0x10D00000, samples::BuildDrmCodeGroup(plan))}));
        EXPECT_EQ(Report(OpenSuperfile(FoldersOf(1))).kind, Outcome::Kind::Done);
        std::filesystem::create_directory(tmp / "out");
        out = tmp / "out";
        SetSave("new.shx");
        ui.statusTexts.clear();
        ui.messages.clear();
    }
    void SetSave(const std::string& name) {
        State().savePath = out + "/" + name;
        DeriveCompiledImagePath();
    }
    std::string W(const std::string& name) const { return State().binary1Dir + "/" + name; }
};

// An original's RAMDLD and header against the same files as Save As
// prepares them: only the fill and the fields it writes differ.
TEST(CompareRamdldsAndHeaders, TellWhatSaveAsWritesFromOtherChanges) {
    TempFolder tmp;
    State().binary1Dir = tmp.Path();
    const Bytes ramdld = Seq(300, 3); // shorter than the fill's end: it grows
    const Bytes header = samples::BuildFlashHeader({BytesPiece(-1, 0x03FC8000, ramdld),
                                                    BytesPiece(2, 0x10060000, Seq(20, 2)),
                                                    BytesPiece(15, 0x10D0001C, Seq(50, 4))});
    WriteAll(tmp / "original-RAMDLD.bin", ramdld);
    WriteAll(tmp / "original-header.bin", header);
    WriteAll(tmp / "RAMDLD.bin", ramdld);
    WriteAll(tmp / "header.bin", header);
    WriteAll(tmp / "new.bin", Seq(60, 4));
    PrepareRamdld(FoldersOf(1));
    PrepareHeader(FoldersOf(1), tmp / "new.bin");

    auto ramdlds = [&] {
        BinaryFile a = BinaryFile::OpenRead(tmp / "original-RAMDLD.bin");
        BinaryFile b = BinaryFile::OpenRead(tmp / "RAMDLD.bin");
        return CompareRamdlds(a, b);
    };
    auto headers = [&] {
        BinaryFile a = BinaryFile::OpenRead(tmp / "original-header.bin");
        BinaryFile b = BinaryFile::OpenRead(tmp / "header.bin");
        return CompareHeaders(a, b);
    };
    EXPECT_EQ(ramdlds().match, RamdldMatch::SameButFill);
    HeaderComparison h = headers();
    EXPECT_TRUE(h.rest.Same());
    std::vector<std::string> differing;
    for (const HeaderField& field : h.written)
        if (!field.same)
            differing.push_back(field.name + ": " + field.b.substr(0, 9));
    EXPECT_EQ(differing,
              (std::vector<std::string>{"date: " + Text(ReadAll(tmp / "header.bin"), 320, 9),
                                        "banner: Zantrel U", "piece count: 2", "RAMDLD checksum: ",
                                        "code-group slots but the DRM's: ", "DRM slot: "}));
    EXPECT_EQ(h.written[2].a, "3");

    // A byte outside what Save As writes, in either file.
    Bytes changed = ReadAll(tmp / "RAMDLD.bin");
    changed[100] ^= 1;
    WriteAll(tmp / "RAMDLD.bin", changed);
    EXPECT_EQ(ramdlds().match, RamdldMatch::Differs);
    changed = ReadAll(tmp / "header.bin");
    changed[10] ^= 1;
    WriteAll(tmp / "header.bin", changed);
    h = headers();
    EXPECT_EQ(h.rest.bytes.count, 1);
    EXPECT_EQ(h.rest.bytes.first, 10);
}

TEST(WriteSuperfile, WritesTheHeaderTheRamdldAndTheCodeGroupAsRecords) {
    SaveBench b;
    ASSERT_TRUE(Report(SaveSuperfile()));
    EXPECT_TRUE(b.ui.messages.empty());
    // The compilation's own texts come first.
    ASSERT_GE(b.ui.statusTexts.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(b.ui.statusTexts.end() - 2, b.ui.statusTexts.end()),
              (std::vector<std::string>{"Compiling shx", ""}));
    EXPECT_EQ(ListFiles(b.out), (std::vector<std::string>{"new.bin", "new.shx"}));

    const Bytes file = ReadAll(b.out + "/new.shx");
    const Bytes header = ReadAll(b.W("header.bin"));
    const Bytes ramdld = ReadAll(b.W("RAMDLD.bin"));
    const Bytes compiled = ReadAll(b.out + "/new.bin");
    ASSERT_EQ(ramdld.size(), 415u); // 130 bytes grown by the patch
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8172), header);
    EXPECT_EQ(header[944], 2);

    // Lines of 64 data bytes at A, A + 64, ..., the last one shorter.
    std::string expected = "S00600004844521B\r\n";
    for (std::size_t at = 0; at < 415; at += 64) {
        const std::size_t n = std::min<std::size_t>(64, 415 - at);
        expected += samples::S3Line(0x03FC8000 + static_cast<std::uint32_t>(at),
                                    std::span(ramdld.data() + at, n));
    }
    expected += "S70500000000FA\r\nS00600004844521B\r\n";
    for (std::size_t at = 0; at < compiled.size(); at += 64) {
        const std::size_t n = std::min<std::size_t>(64, compiled.size() - at);
        expected += samples::S3Line(0x10D00000 + static_cast<std::uint32_t>(at),
                                    std::span(compiled.data() + at, n));
    }
    expected += "S70500000000FA";
    EXPECT_EQ(Text(file, 8172, file.size() - 8172), expected);
    EXPECT_EQ(Text(file, 8172 + 18 + 6 * 144, 12), "S32403FC8180");
    EXPECT_EQ(Text(file, file.size() - 16, 16), "\r\nS70500000000FA");

    // Read back as image 2: the same pieces.
    State().secondFlashPath = b.out + "/new.shx";
    EXPECT_EQ(Report(ReadSuperfile(FoldersOf(2))).kind, Outcome::Kind::Done);
    EXPECT_EQ(ReadAll(State().binary2Dir + "/RAMDLD.bin"), ramdld);
    EXPECT_EQ(ReadAll(State().binary2Dir + "/CG15.bin"), compiled);
    EXPECT_TRUE(b.ui.messages.empty());
}

TEST(WriteSuperfile, UnderABinNameKeepsOnlyTheSuperfile) {
    SaveBench b;
    b.SetSave("new.bin");
    ASSERT_EQ(State().compiledImagePath, State().savePath);
    ASSERT_TRUE(Report(SaveSuperfile()));
    EXPECT_EQ(ListFiles(b.out), std::vector<std::string>{"new.bin"});
    const Bytes file = ReadAll(b.out + "/new.bin");
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8172), ReadAll(b.W("header.bin")));
    EXPECT_EQ(Text(file, file.size() - 14, 14), "S70500000000FA");
}

struct FailWrites : FaultInjector {
    std::string path;
    FailWrites() { InstallFaultInjector(this); }
    ~FailWrites() override { InstallFaultInjector(nullptr); }
    // Writes to path's temporaries (a temporary names its target).
    int Check(Op op, const std::string& p) override {
        return op == Op::Write && p != path && ShownPath(p) == path ? ENOSPC : 0;
    }
};

TEST(WriteSuperfile, AFailedWriteLeavesEarlierFilesUntouched) {
    SaveBench b;
    WriteText(b.out + "/new.shx", "earlier superfile");
    WriteText(b.out + "/new.bin", "earlier image");
    {
        FailWrites fail;
        fail.path = b.out + "/new.shx";
        try {
            Report(SaveSuperfile());
            ADD_FAILURE() << "no error";
        } catch (const IoError& e) {
            EXPECT_EQ(e.Code(), 101);
        }
    }
    EXPECT_EQ(ReadText(b.out + "/new.shx"), "earlier superfile");
    EXPECT_EQ(ReadText(b.out + "/new.bin"), "earlier image");
    EXPECT_EQ(ListFiles(b.out), (std::vector<std::string>{"new.bin", "new.shx"}));
}

// Rewrites the file at path through edit, for the verifier to judge.
void Edit(const std::string& path, const std::function<void(Bytes&)>& edit) {
    Bytes bytes = ReadAll(path);
    edit(bytes);
    WriteAll(path, bytes);
}

void Replace(Bytes& file, std::size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), file.begin() + static_cast<long>(at));
}

TEST(VerifySuperfile, RefusesAnyDifferenceFromTheSources) {
    SaveBench b;
    ASSERT_TRUE(Report(SaveSuperfile()));
    const std::string good = b.out + "/good.shx";
    std::filesystem::rename(b.out + "/new.shx", good);
    const std::string compiled = b.out + "/new.bin";
    const Bytes ramdld = ReadAll(b.W("RAMDLD.bin"));
    const std::string header = b.W("header.bin");
    const Bytes headerBytes = ReadAll(header);
    ASSERT_EQ(VerifySuperfile(good, header, b.W("RAMDLD.bin"), compiled), std::nullopt);

    const std::size_t line2 = 8172 + 18; // the first S3 line
    struct Case {
        std::string what;
        std::function<void(Bytes&)> edit;
        bool inHeaderBinToo;
        std::string expected;
    };
    Bytes changed(ramdld.begin(), ramdld.begin() + 64);
    changed[5] ^= 1;
    const std::vector<Case> cases = {
        {"uninterpreted header byte", [](Bytes& f) { f[100] ^= 1; }, false,
         "differs from header.bin"},
        {"date", [](Bytes& f) { f[322] ^= 1; }, false, "differs from header.bin"},
        {"count", [](Bytes& f) { f[944] = 3; }, true, "piece count is not 2"},
        {"RAMDLD checksum", [](Bytes& f) { f[973] ^= 1; }, true, "RAMDLD checksum"},
        {"DRM start", [](Bytes& f) { f[1424] ^= 0x10; }, true, "end address"},
        {"DRM end", [](Bytes& f) { f[1428] ^= 1; }, true, "end address"},
        {"DRM first bytes", [](Bytes& f) { f[1440] ^= 1; }, true, "first 16 bytes"},
        {"DRM checksum", [](Bytes& f) { f[1449] ^= 1; }, true, "DRM checksum"},
        {"slot 0", [](Bytes& f) { f[1004] = 1; }, true, "not empty"},
        {"slot 22", [](Bytes& f) { f[1647] = 1; }, true, "not empty"},
        {"field at 992", [](Bytes& f) { f[992] = 1; }, true, "not empty"},
        {"banner", [](Bytes& f) { f[450] ^= 1; }, true, "banner"},
        {"a data digit", [&](Bytes& f) { f[line2 + 20] = f[line2 + 20] == '0' ? '1' : '0'; }, false,
         "line 2: wrong checksum"},
        {"a data byte with its checksum",
         [&](Bytes& f) { Replace(f, line2, samples::S3Line(0x03FC8000, changed)); }, false,
         "line 2: its data differ from the RAMDLD"},
        {"an address",
         [&](Bytes& f) {
             Replace(f, line2, samples::S3Line(0x03FC8001, std::span(ramdld.data(), 64)));
         },
         false, "line 2: address 03FC8001, expected 03FC8000"},
        {"the start line", [&](Bytes& f) { f[8173] = '1'; }, false,
         "line 1: the section of the RAMDLD"},
        {"a line end", [&](Bytes& f) { f[line2 + 144 - 1] = ' '; }, false,
         "line 2: not an S3 line"},
        {"a line dropped",
         [&](Bytes& f) {
             f.erase(f.begin() + static_cast<long>(line2),
                     f.begin() + static_cast<long>(line2 + 144));
         },
         false, "line 2: address 03FC8040, expected 03FC8000"},
        {"the last end line", [](Bytes& f) { f.resize(f.size() - 14); }, false,
         "ends inside the section of the DRM"},
        {"a line end after the last line",
         [](Bytes& f) {
             f.push_back('\r');
             f.push_back('\n');
         },
         false, "does not close with its end line"},
        {"text after the end",
         [](Bytes& f) {
             f.push_back('\r');
             f.push_back('\n');
             f.push_back('S');
         },
         false, "does not close with its end line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bad = b.out + "/bad.shx";
        CopyFileOver(good, bad);
        Edit(bad, c.edit);
        if (c.inHeaderBinToo)
            Edit(header, c.edit);
        const auto wrong = VerifySuperfile(bad, header, b.W("RAMDLD.bin"), compiled);
        ASSERT_TRUE(wrong.has_value());
        EXPECT_NE(wrong->find(c.expected), std::string::npos) << *wrong;
        WriteAll(header, headerBytes);
    }
}

// The written body through srec_cat, which checks every checksum itself.
TEST(WriteSuperfile, ReadsBackThroughSrecCat) {
#ifdef _WIN32
    // No POSIX shell to ask: srec_cat.exe is looked for on PATH.
    bool found = false;
    const char* path = std::getenv("PATH");
    for (std::string_view rest = path ? path : ""; !found && !rest.empty();) {
        const std::size_t end = std::min(rest.find(';'), rest.size());
        const std::string dir(rest.substr(0, end));
        found = !dir.empty() && Exists(dir + "\\srec_cat.exe");
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    if (!found)
        GTEST_SKIP() << "srec_cat.exe is not on PATH";
    const std::string quiet = " 2>NUL";
#else
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "srec_cat is not installed";
    const std::string quiet = " 2>/dev/null";
#endif
    SaveBench b;
    ASSERT_TRUE(Report(SaveSuperfile()));
    const Bytes file = ReadAll(b.out + "/new.shx");
    const std::string body = Text(file, 8172, file.size() - 8172);
    const std::string firstEnd = "S70500000000FA\r\n";
    const std::size_t split = body.find(firstEnd) + firstEnd.size();
    ASSERT_NE(split, std::string::npos);
    WriteText(b.out + "/ramdld.srec", body.substr(0, split));
    WriteText(b.out + "/drm.srec", body.substr(split));
    const std::string ramdldRun = "srec_cat " + b.out +
                                  "/ramdld.srec -Motorola -offset -0x03FC8000 -o " + b.out +
                                  "/ramdld.out -Binary";
    const std::string drmRun = "srec_cat " + b.out + "/drm.srec -Motorola -offset -0x10D00000 -o " +
                               b.out + "/drm.out -Binary";
    ASSERT_EQ(std::system(ramdldRun.c_str()), 0);
    ASSERT_EQ(std::system(drmRun.c_str()), 0);
    EXPECT_EQ(ReadAll(b.out + "/ramdld.out"), ReadAll(b.W("RAMDLD.bin")));
    EXPECT_EQ(ReadAll(b.out + "/drm.out"), ReadAll(b.out + "/new.bin"));

    // srec_cat itself refuses a damaged checksum.
    std::string damaged = body.substr(0, split);
    damaged[18 + 20] = damaged[18 + 20] == '0' ? '1' : '0';
    WriteText(b.out + "/ramdld.srec", damaged);
    EXPECT_NE(std::system((ramdldRun + quiet).c_str()), 0);
}

} // namespace
} // namespace zantrel
