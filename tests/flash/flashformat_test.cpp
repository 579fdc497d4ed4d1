#include <cstring>
#include <gtest/gtest.h>
#include <map>

#include "base/fileio.h"
#include "base/paths.h"

#include "flash/flashformat.h"

#include "shell/state.h"

#include "support/bytes.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::PutLE32;
using test::TempFolder;
using test::WriteAll;
using Bytes = std::vector<std::uint8_t>;

struct Piece {
    std::uint32_t start;
    std::uint32_t end;
};

// An 8172-byte flash header: piece count at 944, RAMDLD entry at 948, slot s
// at 1004 + 28 s, all little-endian.
Bytes Header(std::uint32_t count, const std::map<int, Piece>& slots) {
    Bytes h(8172, 0);
    PutLE32(h, 944, count);
    PutLE32(h, 948, 0x03FC0000);
    PutLE32(h, 952, 0x03FC7FFF);
    for (auto [s, p] : slots) {
        PutLE32(h, 1004 + 28 * static_cast<std::size_t>(s), p.start);
        PutLE32(h, 1008 + 28 * static_cast<std::size_t>(s), p.end);
    }
    return h;
}

struct Parse {
    bool found;
    int count;
};

// The table of the last ParseBytes, for ExpectEntry.
CodeGroupTable lastTable;

Parse ParseBytes(const TempFolder& tmp, const Bytes& header, int image = 1) {
    WriteAll(tmp / "header.bin", header);
    BinaryFile f = BinaryFile::OpenRead(tmp / "header.bin");
    lastTable = ParseFlashHeader(f, FoldersOf(image).binaryDir);
    return {lastTable.listsDrm, lastTable.count};
}

void ExpectEntry(int k, const std::string& name, std::uint32_t start, std::uint32_t end,
                 std::uint32_t size) {
    SCOPED_TRACE("entry " + std::to_string(k));
    // The table joins the folder and the name with the platform's separator.
    std::string joined = name;
    joined[joined.rfind('/')] = PathSeparator;
    EXPECT_EQ(lastTable.entries[static_cast<std::size_t>(k)].fileName, joined);
    EXPECT_EQ(
        static_cast<std::uint32_t>(lastTable.entries[static_cast<std::size_t>(k)].startAddress),
        start);
    EXPECT_EQ(static_cast<std::uint32_t>(lastTable.entries[static_cast<std::size_t>(k)].endAddress),
              end);
    EXPECT_EQ(static_cast<std::uint32_t>(lastTable.entries[static_cast<std::size_t>(k)].size),
              size);
}

class ParseFlashHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        State().binary1Dir = "/w/binary1";
        State().binary2Dir = "/w/binary2";
    }
    TempFolder tmp;
};

TEST_F(ParseFlashHeaderTest, MergesCg0WithTheNextCodeGroup) {
    auto r = ParseBytes(tmp, Header(4, {{0, {0x10000000, 0x1000FFFF}},
                                        {1, {0x10010000, 0x1003FFFF}},
                                        {15, {0x10D00000, 0x10DFFFFF}}}));
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.count, 3);
    ExpectEntry(0, "/w/binary1/RAMDLD.bin", 0x03FC0000, 0x03FC7FFF, 0x8000);
    ExpectEntry(1, "/w/binary1/CG1.bin", 0x10000000, 0x1003FFFF, 0x40000);
    ExpectEntry(2, "/w/binary1/CG15.bin", 0x10D00000, 0x10DFFFFF, 0x100000);
    ExpectEntry(3, "/w/binary1/CG15.bin", 0x10D00000, 0x10DFFFFF, 0x100000); // left as it was
}

TEST_F(ParseFlashHeaderTest, TakesCountMinusOneNonEmptySlots) {
    auto r = ParseBytes(tmp, Header(3, {{1, {0x100, 0x1FF}}, {15, {16, 31}}}), 2);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.count, 3);
    ExpectEntry(0, "/w/binary2/RAMDLD.bin", 0x03FC0000, 0x03FC7FFF, 0x8000);
    ExpectEntry(1, "/w/binary2/CG1.bin", 0x100, 0x1FF, 0x100);
    ExpectEntry(2, "/w/binary2/CG15.bin", 16, 31, 16);

    // Only slot 15; slot 3 has an end address but start 0, so it is empty.
    r = ParseBytes(tmp, Header(2, {{3, {0, 0x5000}}, {15, {0x2000, 0x2FFF}}}));
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.count, 2);
    ExpectEntry(1, "/w/binary1/CG15.bin", 0x2000, 0x2FFF, 0x1000);

    // The count stops the scan before slot 15.
    r = ParseBytes(tmp, Header(3, {{2, {0x100, 0x1FF}}, {5, {0x300, 0x3FF}}, {15, {16, 31}}}));
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.count, 3);
    ExpectEntry(1, "/w/binary1/CG2.bin", 0x100, 0x1FF, 0x100);
    ExpectEntry(2, "/w/binary1/CG5.bin", 0x300, 0x3FF, 0x100);

    for (std::uint32_t count : {0u, 1u}) {
        r = ParseBytes(tmp, Header(count, {{15, {16, 31}}}));
        EXPECT_FALSE(r.found);
        EXPECT_EQ(r.count, 1);
    }

    // CG0 alone has nothing to merge with and keeps its own name.
    r = ParseBytes(tmp, Header(2, {{0, {0x100, 0x1FF}}}));
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.count, 2);
    ExpectEntry(1, "/w/binary1/CG0.bin", 0x100, 0x1FF, 0x100);

    // The largest count the table holds: twenty code groups, CG0 merged into CG1.
    std::map<int, Piece> twenty;
    for (int s = 0; s < 20; ++s)
        twenty[s] = {0x1000u * (s + 1), 0x1000u * (s + 1) + 0xFFF};
    r = ParseBytes(tmp, Header(21, twenty));
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.count, 20);
    ExpectEntry(1, "/w/binary1/CG1.bin", 0x1000, 0x2FFF, 0x2000);
    ExpectEntry(19, "/w/binary1/CG19.bin", 0x14000, 0x14FFF, 0x1000);
}

TEST_F(ParseFlashHeaderTest, RefusesCountsAndHeadersOutOfBounds) {
    std::map<int, Piece> many;
    for (int s = 0; s < 40; ++s)
        many[s] = {0x1000u * (s + 1), 0x1000u * (s + 1) + 0xFFF};
    EXPECT_FALSE(ParseBytes(tmp, Header(22, many)).found);
    EXPECT_FALSE(ParseBytes(tmp, Header(0xFFFFFFFF, many)).found);
    EXPECT_FALSE(ParseBytes(tmp, Header(0x80000000, many)).found);
    // Fewer non-empty slots than the count asks for: the scan stops at the header's end.
    EXPECT_FALSE(ParseBytes(tmp, Header(5, {{1, {0x100, 0x1FF}}, {15, {16, 31}}})).found);
    // A header cut short is no header, even when what is there lists the DRM.
    Bytes cut = Header(2, {{15, {16, 31}}});
    cut.resize(8171);
    EXPECT_FALSE(ParseBytes(tmp, cut).found);
    EXPECT_FALSE(ParseBytes(tmp, Bytes{}).found);
}

} // namespace
} // namespace zantrel
