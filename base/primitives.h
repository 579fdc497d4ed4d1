// Byte, integer and hex primitives shared by the flash containers and the DRM.
// Flash code groups keep their integers big-endian; the flash header keeps
// them little-endian and is read through SwapBytes32.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/fileio.h"

namespace zantrel {

// Reads 4 bytes at offset as a big-endian word; fewer than 4 bytes left in
// the file read as zero bytes.
std::int32_t ReadBE32At(BinaryFile& file, std::int64_t offset);
std::int32_t ReadBE32(BinaryFile& file);
void WriteBE32At(BinaryFile& file, std::int64_t offset, std::int32_t value);
void WriteBE32(BinaryFile& file, std::int32_t value);
std::int32_t SwapBytes32(std::int32_t value);
// Little-endian word at offset of the flash header.
inline std::int32_t ReadLE32At(BinaryFile& file, std::int64_t offset) {
    return SwapBytes32(ReadBE32At(file, offset));
}

// Big-endian words in memory, as code groups and SBF records keep them.
inline std::uint32_t LoadBE16(const std::uint8_t* at) {
    return (std::uint32_t{at[0]} << 8) | std::uint32_t{at[1]};
}
inline std::uint32_t LoadBE32(const std::uint8_t* at) {
    return (LoadBE16(at) << 16) | LoadBE16(at + 2);
}
inline void StoreBE32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// Little-endian words in memory, as the flash header and BMP headers keep them.
inline std::uint32_t LoadLE16(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8);
}
inline std::uint32_t LoadLE32(const std::uint8_t* at) {
    return LoadLE16(at) | (LoadLE16(at + 2) << 16);
}
inline void StoreLE16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void StoreLE32(std::uint8_t* at, std::uint32_t value) {
    StoreLE16(at, value);
    StoreLE16(at + 2, value >> 16);
}

// Copies from source at offset to the target's current position: at most
// length bytes when limited, else to the source's end. Stops at the end of
// the source; never closes either file.
void CopyFileRange(BinaryFile& source, std::int64_t offset, std::int64_t length, BinaryFile& target,
                   bool limited);
// Sum of the bytes from the current position to the end, modulo 65536.
int Checksum16(BinaryFile& file);

// A 32-bit word as eight upper-case hex digits, for messages ("0001C000").
std::string HexWord(std::uint32_t value);

int HexDigitValue(char c);
int HexPairToByte(char hi, char lo);
std::array<char, 2> ByteToHexPair(std::uint8_t b);

// Table-driven forms for bulk text: value of an upper-case hex digit, or -1.
extern const std::array<std::int8_t, 256> HexDigitTable;
// The two upper-case digits of every byte, "000102...FF".
extern const std::array<char, 512> HexPairTable;
// The same two digits as one 16-bit word in the machine's byte order, so that
// one store writes both: memcpy(out, &HexPairWords[b], 2).
extern const std::array<std::uint16_t, 256> HexPairWords;
// Two characters loaded as one 16-bit word in the machine's byte order: the
// byte they spell as upper-case hex digits, or -1. Decodes a pair per load.
extern const std::array<std::int16_t, 65536> HexPairValueTable;
inline int HexPairValue(const char* pair) {
    std::uint16_t word;
    std::memcpy(&word, pair, 2);
    return HexPairValueTable[word];
}

} // namespace zantrel
