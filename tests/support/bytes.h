// Words in both byte orders, spelled by the tests themselves rather than
// taken from the program, so that a wrong load or store there shows here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zantrel::test {

inline std::uint32_t LE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 |
           std::uint32_t{b.at(at + 2)} << 16 | std::uint32_t{b.at(at + 3)} << 24;
}

inline std::uint32_t BE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b.at(at)} << 24 | std::uint32_t{b.at(at + 1)} << 16 |
           std::uint32_t{b.at(at + 2)} << 8 | b.at(at + 3);
}

inline void PutLE32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutBE32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// n bytes of b from offset from.
inline std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& b, std::size_t from,
                                       std::size_t n) {
    return std::vector<std::uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(from),
                                     b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

} // namespace zantrel::test
