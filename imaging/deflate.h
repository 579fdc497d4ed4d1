// zlib's compression, as the PNG files this program writes use it: the same
// bytes on every system (Debian's zlib, one version on both builds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zantrel {

// data as one zlib stream appended to out; returns its length. Small data
// is searched for matches, large data only for runs (as fast on noise as on
// flat colour). Throws std::bad_alloc, zlib's only failure.
std::size_t AppendDeflated(const std::uint8_t* data, std::size_t size,
                           std::vector<std::uint8_t>& out);

// The CRC-32 of a PNG chunk, continued from crc (0 to begin).
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

} // namespace zantrel
