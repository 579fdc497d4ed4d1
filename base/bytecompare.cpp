#include "base/bytecompare.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zantrel {

namespace {

// Reads n bytes at offset, zeros past the file's end.
void ReadPadded(BinaryFile& file, std::int64_t offset, std::span<std::uint8_t> into) {
    std::size_t got = 0;
    if (offset < file.Size()) {
        file.Seek(offset);
        got = file.Read(into);
    }
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(got), into.end(), std::uint8_t{0});
}

} // namespace

ByteDifferences CountDifferences(BinaryFile& a, std::int64_t offsetA, BinaryFile& b,
                                 std::int64_t offsetB, std::int64_t length,
                                 std::span<const ByteRange> skip) {
    std::vector<ByteRange> skipped(skip.begin(), skip.end());
    std::sort(skipped.begin(), skipped.end(),
              [](const ByteRange& x, const ByteRange& y) { return x.from < y.from; });
    auto next = skipped.begin(); // the first range that may still cover a later byte

    ByteDifferences found;
    std::array<std::uint8_t, CopyBufferSize> bufferA{};
    std::array<std::uint8_t, CopyBufferSize> bufferB{};
    for (std::int64_t done = 0; done < length;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(length - done, static_cast<std::int64_t>(bufferA.size())));
        ReadPadded(a, offsetA + done, std::span(bufferA.data(), n));
        ReadPadded(b, offsetB + done, std::span(bufferB.data(), n));
        if (std::memcmp(bufferA.data(), bufferB.data(), n) == 0) {
            done += static_cast<std::int64_t>(n);
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t at = done + static_cast<std::int64_t>(i);
            while (next != skipped.end() && next->to <= at)
                ++next;
            bool inSkipped = false;
            for (auto range = next; range != skipped.end() && range->from <= at; ++range)
                if (at < range->to) {
                    inSkipped = true;
                    break;
                }
            if (inSkipped || bufferA[i] == bufferB[i])
                continue;
            if (found.count++ == 0)
                found.first = at;
        }
        done += static_cast<std::int64_t>(n);
    }
    return found;
}

RegionComparison CompareRegions(BinaryFile& a, std::int64_t offsetA, std::int64_t sizeA,
                                BinaryFile& b, std::int64_t offsetB, std::int64_t sizeB,
                                std::span<const ByteRange> skip) {
    RegionComparison region;
    region.sizeA = sizeA;
    region.sizeB = sizeB;
    region.bytes = CountDifferences(a, offsetA, b, offsetB, std::min(sizeA, sizeB), skip);
    return region;
}

} // namespace zantrel
