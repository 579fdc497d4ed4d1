// Byte-for-byte comparison of two ranges of files, a block at a time, so
// neither side is ever held whole.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/fileio.h"

namespace zantrel {

// [from, to) in bytes from a range's start.
struct ByteRange {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

struct ByteDifferences {
    std::int64_t count = 0;  // bytes that differ, those skipped not counted
    std::int64_t first = -1; // offset of the first from the range's start; -1 for none
};

// Compares length bytes of a at offsetA with length bytes of b at offsetB;
// a file that ends first reads as zero bytes past its end. The bytes of skip
// (in any order, overlapping or not) are not compared. Throws IoError.
ByteDifferences CountDifferences(BinaryFile& a, std::int64_t offsetA, BinaryFile& b,
                                 std::int64_t offsetB, std::int64_t length,
                                 std::span<const ByteRange> skip = {});

// Two regions of their own sizes: compared over the shorter, equal only when
// their sizes are too.
struct RegionComparison {
    std::int64_t sizeA = 0;
    std::int64_t sizeB = 0;
    ByteDifferences bytes;
    bool Same() const { return sizeA == sizeB && bytes.count == 0; }
};
RegionComparison CompareRegions(BinaryFile& a, std::int64_t offsetA, std::int64_t sizeA,
                                BinaryFile& b, std::int64_t offsetB, std::int64_t sizeB,
                                std::span<const ByteRange> skip = {});

} // namespace zantrel
