// S-record lines as superfiles carry them: "S", a type digit, then hex pairs:
// the count (the bytes that follow it), a 4-byte address, the data and a
// checksum that makes all the bytes after the type sum to FF.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/primitives.h"

namespace zantrel {

// Decodes the pairs of a line after "S" and its type: n pairs (the count
// byte, the address, the data), then the checksum pair. The first
// min(n, 5) bytes go to head, the rest to data (head and data may be one
// buffer, data = head + 5). Returns the sum of all n + 1 bytes, or -1 when
// a pair is not two upper-case hex digits. The reader and the verifier of a
// written superfile both decode with it.
inline int DecodeSRecordPairs(const char* pairs, std::size_t n, std::uint8_t* head,
                              std::uint8_t* data) {
    const std::size_t headLength = n < 5 ? n : 5;
    int bad = 0;
    unsigned sum = 0;
    for (std::size_t k = 0; k < headLength; ++k) {
        const int value = HexPairValue(pairs + 2 * k);
        bad |= value;
        head[k] = static_cast<std::uint8_t>(value);
        sum += static_cast<unsigned>(value);
    }
    for (std::size_t k = headLength; k < n; ++k) {
        const int value = HexPairValue(pairs + 2 * k);
        bad |= value;
        data[k - headLength] = static_cast<std::uint8_t>(value);
        sum += static_cast<unsigned>(value);
    }
    const int checksum = HexPairValue(pairs + 2 * n);
    bad |= checksum;
    sum += static_cast<unsigned>(checksum);
    return bad < 0 ? -1 : static_cast<int>(sum);
}

} // namespace zantrel
