#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

#include "base/fileio.h"
#include "base/primitives.h"

#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::ReadAll;
using test::TempFolder;
using test::WriteAll;
using test::WriteText;
using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return b;
}

TEST(Primitives, BigEndianWordsAndSwap) {
    TempFolder tmp;
    WriteAll(tmp / "w.bin", Bytes{0xAA, 0x10, 0xD0, 0x00, 0x1C, 0xBB, 0xCC});
    BinaryFile f = BinaryFile::OpenRead(tmp / "w.bin");
    EXPECT_EQ(ReadBE32At(f, 1), 0x10D0001C);
    EXPECT_EQ(f.Position(), 5);
    EXPECT_EQ(SwapBytes32(0x10D0001C), 0x1C00D010);
    EXPECT_EQ(SwapBytes32(static_cast<std::int32_t>(0x80000001u)), 0x01000080);
    f.Seek(0);
    EXPECT_EQ(static_cast<std::uint32_t>(ReadBE32(f)), 0xAA10D000u);
    // Two bytes left: the missing ones read as zero.
    EXPECT_EQ(static_cast<std::uint32_t>(ReadBE32At(f, 5)), 0xBBCC0000u);
}

TEST(Primitives, WriteBE32AtPutsMostSignificantFirstAndRoundTrips) {
    TempFolder tmp;
    const Bytes original = Counting(400);
    WriteAll(tmp / "u.bin", original);
    {
        BinaryFile f = BinaryFile::OpenUpdate(tmp / "u.bin");
        std::int32_t v = ReadBE32At(f, 368);
        EXPECT_EQ(static_cast<std::uint32_t>(v), 0x11181F26u); // bytes 368..371
        WriteBE32At(f, 368, v);
        f.Close();
    }
    EXPECT_EQ(ReadAll(tmp / "u.bin"), original);

    {
        BinaryFile f = BinaryFile::Create(tmp / "n.bin");
        WriteBE32(f, 0x01020304);
        WriteBE32At(f, 2, static_cast<std::int32_t>(0xA0B0C0D0u));
        f.Close();
    }
    EXPECT_EQ(ReadAll(tmp / "n.bin"), (Bytes{1, 2, 0xA0, 0xB0, 0xC0, 0xD0}));
}

TEST(CopyFileRange, LimitedCopiesStopAtLengthOrEnd) {
    TempFolder tmp;
    const Bytes source = Counting(10000);
    WriteAll(tmp / "src.bin", source);
    WriteAll(tmp / "small.bin", Counting(100));
    auto copy = [&](const std::string& from, std::int64_t offset, std::int64_t length,
                    bool limited) {
        BinaryFile src = BinaryFile::OpenRead(tmp / from);
        BinaryFile dst = BinaryFile::Create(tmp / "dst.bin");
        dst.Write(Bytes{0xEE}); // the copy lands at the target's position
        CopyFileRange(src, offset, length, dst, limited);
        dst.Write(Bytes{0xFF}); // neither file was closed
        dst.Close();
        Bytes out = ReadAll(tmp / "dst.bin");
        EXPECT_EQ(out.front(), 0xEE);
        EXPECT_EQ(out.back(), 0xFF);
        return Bytes(out.begin() + 1, out.end() - 1);
    };
    EXPECT_EQ(copy("src.bin", 0, 8192, true), Bytes(source.begin(), source.begin() + 8192));
    EXPECT_EQ(copy("src.bin", 0, 8193, true), Bytes(source.begin(), source.begin() + 8193));
    EXPECT_EQ(copy("src.bin", 100, 20000, true), Bytes(source.begin() + 100, source.end()));
    EXPECT_EQ(copy("src.bin", 9990, 5, true), Bytes(source.begin() + 9990, source.begin() + 9995));
    EXPECT_TRUE(copy("src.bin", 0, 0, true).empty());
    EXPECT_EQ(copy("small.bin", 0, 8172, true), Counting(100));
    EXPECT_EQ(copy("src.bin", 0, 0, false), source);
    EXPECT_EQ(copy("src.bin", 1808, 0, false), Bytes(source.begin() + 1808, source.end()));
    EXPECT_TRUE(copy("small.bin", 100, 0, false).empty());
    EXPECT_TRUE(copy("small.bin", 250, 0, false).empty());
    EXPECT_TRUE(copy("small.bin", 250, 10, true).empty());
}

TEST(Checksum16, SumsBytesFromPositionModulo65536) {
    TempFolder tmp;
    WriteText(tmp / "abc.bin", "abc");
    WriteAll(tmp / "empty.bin", {});
    WriteAll(tmp / "ones.bin", Bytes(65537, 1));
    WriteAll(tmp / "ff.bin", Bytes(20000, 0xFF)); // 5,100,000 mod 65536
    BinaryFile abc = BinaryFile::OpenRead(tmp / "abc.bin");
    EXPECT_EQ(Checksum16(abc), 294);
    abc.Seek(1);
    EXPECT_EQ(Checksum16(abc), 197);
    BinaryFile empty = BinaryFile::OpenRead(tmp / "empty.bin");
    EXPECT_EQ(Checksum16(empty), 0);
    BinaryFile ones = BinaryFile::OpenRead(tmp / "ones.bin");
    EXPECT_EQ(Checksum16(ones), 1);
    BinaryFile ff = BinaryFile::OpenRead(tmp / "ff.bin");
    EXPECT_EQ(Checksum16(ff), 53728);
}

TEST(HexDigits, PairsDigitsAndLowerCaseQuirk) {
    EXPECT_EQ(HexPairToByte('4', '5'), 69);
    EXPECT_EQ(HexPairToByte('F', 'F'), 255);
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('A'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('a'), 42);
    EXPECT_EQ(HexDigitValue('f'), 47);
    auto fa = ByteToHexPair(250);
    EXPECT_EQ(std::string(fa.begin(), fa.end()), "FA");
    auto zero = ByteToHexPair(0);
    EXPECT_EQ(std::string(zero.begin(), zero.end()), "00");
    for (int b = 0; b < 256; ++b) {
        auto pair = ByteToHexPair(static_cast<std::uint8_t>(b));
        EXPECT_EQ(HexPairToByte(pair[0], pair[1]), b);
        EXPECT_EQ(HexDigitTable[static_cast<unsigned char>(pair[0])], b >> 4);
        EXPECT_EQ(HexDigitTable[static_cast<unsigned char>(pair[1])], b & 15);
        EXPECT_TRUE(std::isupper(pair[0]) || std::isdigit(pair[0]));
    }
    EXPECT_EQ(HexDigitTable['a'], -1);
    EXPECT_EQ(HexDigitTable['G'], -1);
}

TEST(Primitives, HexPairWordsAndPairValues) {
    char text[2];
    std::memcpy(text, &HexPairWords[0xA7], 2);
    EXPECT_EQ(std::string(text, 2), "A7");
    std::memcpy(text, &HexPairWords[0x0F], 2);
    EXPECT_EQ(std::string(text, 2), "0F");
    EXPECT_EQ(HexPairValue("A7"), 0xA7);
    EXPECT_EQ(HexPairValue("FF"), 255);
    EXPECT_EQ(HexPairValue("00"), 0);
    EXPECT_EQ(HexPairValue("0F"), 15);
    EXPECT_EQ(HexPairValue("F0"), 240);
    for (const char* bad : {"a7", "7a", "G0", "0G", "\r\n", "0\r", " 1", "1 ", "/0", ":0", "@0"})
        EXPECT_EQ(HexPairValue(bad), -1) << bad;
    int valid = 0;
    for (int first = 0; first < 256; ++first)
        for (int second = 0; second < 256; ++second) {
            const char pair[2] = {static_cast<char>(first), static_cast<char>(second)};
            valid += HexPairValue(pair) >= 0;
        }
    EXPECT_EQ(valid, 256); // upper-case digits only
}

// The position is kept without asking the system; it must stay right across
// reads, seeks to where the file already is, writes and half records.
TEST(BinaryFile, PositionStaysRightAcrossSeeksReadsAndWrites) {
    TempFolder tmp;
    WriteAll(tmp / "p.bin", Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9});
    BinaryFile f = BinaryFile::OpenRead(tmp / "p.bin");
    f.Seek(0); // where it is already
    Bytes three(3, 0);
    EXPECT_EQ(f.Read(three), 3u);
    f.Seek(3);
    EXPECT_EQ(f.Read(three), 3u);
    EXPECT_EQ(three, (Bytes{4, 5, 6}));
    EXPECT_EQ(f.Position(), 6);
    f.Seek(1);
    EXPECT_EQ(f.Read(three), 3u);
    EXPECT_EQ(three, (Bytes{2, 3, 4}));
    f.Seek(9);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Read(three), 0u);
    f.Seek(7);
    EXPECT_FALSE(f.Eof());
    EXPECT_EQ(f.Read(three), 2u);
    EXPECT_EQ(f.Position(), 9);

    BinaryFile u = BinaryFile::Create(tmp / "u.bin");
    u.Write(Bytes{1, 2, 3, 4, 5});
    EXPECT_EQ(u.Position(), 5);
    EXPECT_EQ(u.Size(), 5);
    u.Seek(5); // a written file seeks even in place: reading follows
    EXPECT_EQ(u.Read(three), 0u);
    u.Seek(1);
    u.Write(Bytes{9});
    EXPECT_EQ(u.Position(), 2);
    u.Seek(2);
    EXPECT_EQ(u.Read(three), 3u);
    EXPECT_EQ(three, (Bytes{3, 4, 5}));
    u.Seek(0);
    EXPECT_EQ(u.Read(three), 3u);
    EXPECT_EQ(three, (Bytes{1, 9, 3}));
    u.Close();
    EXPECT_EQ(ReadAll(tmp / "u.bin"), (Bytes{1, 9, 3, 4, 5}));

    // Words: a half record read is given back, and the position stays whole.
    BinaryFile w = BinaryFile::OpenRead(tmp / "p.bin", 4);
    Bytes eight(8, 0);
    EXPECT_EQ(w.Read(eight), 8u);
    EXPECT_EQ(w.Position(), 2);
    w.Seek(2);
    Bytes word(4, 0);
    EXPECT_EQ(w.Read(word), 0u);
    EXPECT_EQ(w.Position(), 2);
    EXPECT_TRUE(w.Eof());
}

TEST(BinaryFile, RecordSizesCountWholeRecords) {
    TempFolder tmp;
    WriteAll(tmp / "r.bin", Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    BinaryFile two = BinaryFile::OpenRead(tmp / "r.bin", 2);
    EXPECT_EQ(two.Size(), 5); // the odd last byte is dropped
    Bytes buf(5, 0);
    EXPECT_EQ(two.Read(buf), 4u); // whole records only
    EXPECT_EQ(buf, (Bytes{1, 2, 3, 4, 0}));
    EXPECT_EQ(two.Position(), 2);
    two.Seek(4);
    Bytes rest(4, 0);
    EXPECT_EQ(two.Read(rest), 2u); // bytes 9, 10; byte 11 is half a record
    EXPECT_EQ(rest, (Bytes{9, 10, 0, 0}));
    EXPECT_EQ(two.Position(), 5);
    EXPECT_TRUE(two.Eof());

    BinaryFile four = BinaryFile::OpenRead(tmp / "r.bin", 4);
    EXPECT_EQ(four.Size(), 2);
    four.Seek(1);
    Bytes word(4, 0);
    EXPECT_EQ(four.Read(word), 4u);
    EXPECT_EQ(word, (Bytes{5, 6, 7, 8}));
    EXPECT_EQ(four.Read(word), 0u); // three bytes left: no whole record
    EXPECT_THROW(four.ReadExact(word), IoError);
}

TEST(BinaryFile, OpenReadTakesReadOnlyFilesAndErrorsCarryCodes) {
    TempFolder tmp;
    WriteAll(tmp / "ro.bin", Bytes{7});
    ASSERT_EQ(chmod((tmp / "ro.bin").c_str(), 0444), 0);
    BinaryFile ro = BinaryFile::OpenRead(tmp / "ro.bin");
    Bytes b(1, 0);
    EXPECT_EQ(ro.Read(b), 1u);
    EXPECT_EQ(b[0], 7);
    try {
        ro.Write(Bytes{1});
        FAIL() << "wrote through a read-only handle";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 5);
    }

    try {
        BinaryFile::OpenRead(tmp / "missing.bin");
        FAIL() << "opened a missing file";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 2);
        EXPECT_EQ(e.Path(), tmp / "missing.bin");
    }
    EXPECT_FALSE(BinaryFile::TryOpenRead(tmp / "missing.bin").has_value());
    EXPECT_FALSE(BinaryFile::TryOpenRead(tmp.Path()).has_value()); // a folder is no file

    EXPECT_EQ(IoCodeFromErrno(ENOENT), 2);
    EXPECT_EQ(IoCodeFromErrno(EACCES), 5);
    EXPECT_EQ(IoCodeFromErrno(ENOSPC), 101);
    EXPECT_EQ(IoCodeFromErrno(32), 32);
    EXPECT_EQ(IoErrorMessage(2), "File not found.");
    EXPECT_EQ(IoErrorMessage(3), "Invalid filename.");
    EXPECT_EQ(IoErrorMessage(4), "Too many open files.");
    EXPECT_EQ(IoErrorMessage(5), "File access denied.");
    EXPECT_EQ(IoErrorMessage(100), "Read beyond end of file.");
    EXPECT_EQ(IoErrorMessage(101), "Disk full.");
    EXPECT_EQ(IoErrorMessage(106), "Invalid numeric input.");
    EXPECT_EQ(IoErrorMessage(32), "I/O error 32.");
    EXPECT_EQ(IoErrorText(32), "I/O error 32");
}

TEST(TextReader, IntegerAndLineRules) {
    TempFolder tmp;
    WriteText(tmp / "t.txt",
              " \t\x01 12 rest of line\r\n"
              "-7\n"
              "$1F\r\n"
              "x10\r\n"
              "0X1f\r\n"
              "+5\r\n"
              "12ab\r\n"
              "42\r\n"
              "00000000000000000000000000000099\r\n"  // 32 characters
              "000000000000000000000000000000099\r\n" // 33 characters
              "-$10\r\n"
              "8");
    TextReader in(BinaryFile::OpenRead(tmp / "t.txt"));
    EXPECT_EQ(in.ReadInteger(), 12);
    EXPECT_EQ(in.ReadInteger(), -7);
    EXPECT_EQ(in.ReadInteger(), 31);
    EXPECT_EQ(in.ReadInteger(), 16);
    EXPECT_EQ(in.ReadInteger(), 31);
    EXPECT_EQ(in.ReadInteger(), 5);
    try {
        in.ReadInteger();
        FAIL() << "12ab taken as a number";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 106);
    }
    EXPECT_EQ(in.ReadInteger(), 42); // the bad token's line was skipped
    EXPECT_EQ(in.ReadInteger(), 99);
    EXPECT_THROW(in.ReadInteger(), IoError);
    EXPECT_EQ(in.ReadInteger(), -16);
    EXPECT_EQ(in.ReadInteger(), 8);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(in.ReadInteger(), 0); // end of file before a token
    EXPECT_EQ(in.ReadLine(), "");

    WriteText(tmp / "l.txt", "a b \r\n\r\nc\nd\re\r\n");
    TextReader lines(BinaryFile::OpenRead(tmp / "l.txt"));
    EXPECT_EQ(lines.ReadLine(), "a b ");
    EXPECT_EQ(lines.ReadLine(), "");
    EXPECT_EQ(lines.ReadLine(), "c");
    EXPECT_EQ(lines.ReadLine(), "d");
    EXPECT_EQ(lines.ReadLine(), "e");
    EXPECT_TRUE(lines.AtEnd());
}

} // namespace
} // namespace zantrel
