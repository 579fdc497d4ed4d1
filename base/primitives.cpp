#include "base/primitives.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <span>
#include <vector>

namespace zantrel {

namespace {

std::int32_t FromBytes(const std::uint8_t* b) { return static_cast<std::int32_t>(LoadBE32(b)); }

constexpr std::array<std::int8_t, 256> MakeDigitTable() {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 10; ++i)
        t['0' + i] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i)
        t['A' + i] = static_cast<std::int8_t>(10 + i);
    return t;
}

constexpr std::array<char, 512> MakePairTable() {
    std::array<char, 512> t{};
    constexpr char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 256; ++i) {
        t[2 * i] = digits[i >> 4];
        t[2 * i + 1] = digits[i & 15];
    }
    return t;
}

// Index i holds the characters of a 16-bit load: the first one is its low
// byte on a little-endian machine, its high byte on a big-endian one.
constexpr std::array<std::int16_t, 65536> MakePairValueTable() {
    constexpr auto digits = MakeDigitTable();
    constexpr bool little = std::endian::native == std::endian::little;
    std::array<std::int16_t, 65536> t{};
    for (int i = 0; i < 65536; ++i) {
        const int first = little ? i & 0xFF : i >> 8;
        const int second = little ? i >> 8 : i & 0xFF;
        const int hi = digits[first];
        const int lo = digits[second];
        t[i] = static_cast<std::int16_t>(hi < 0 || lo < 0 ? -1 : hi * 16 + lo);
    }
    return t;
}

constexpr std::array<std::uint16_t, 256> MakePairWords() {
    constexpr auto pairs = MakePairTable();
    constexpr bool little = std::endian::native == std::endian::little;
    std::array<std::uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        const auto first = static_cast<unsigned char>(pairs[2 * i]);
        const auto second = static_cast<unsigned char>(pairs[2 * i + 1]);
        t[i] = static_cast<std::uint16_t>(little ? first | second << 8 : first << 8 | second);
    }
    return t;
}

// Copies and sums move blocks of several stdio buffers: a request that large
// goes mostly straight between the system and this buffer, not through
// stdio's.
constexpr std::size_t BulkBufferSize = 4 * 64 * 1024;

// A block for one copy or sum, left uninitialised: every byte used is read
// into it first.
struct BulkBuffer {
    std::unique_ptr<std::uint8_t[]> bytes{new std::uint8_t[BulkBufferSize]};
    std::span<std::uint8_t> Span() { return {bytes.get(), BulkBufferSize}; }
};

} // namespace

const std::array<std::int8_t, 256> HexDigitTable = MakeDigitTable();
const std::array<char, 512> HexPairTable = MakePairTable();
const std::array<std::uint16_t, 256> HexPairWords = MakePairWords();
const std::array<std::int16_t, 65536> HexPairValueTable = MakePairValueTable();

std::int32_t ReadBE32(BinaryFile& file) {
    std::uint8_t b[4] = {0, 0, 0, 0};
    file.Read(b);
    return FromBytes(b);
}

std::int32_t ReadBE32At(BinaryFile& file, std::int64_t offset) {
    file.Seek(offset);
    return ReadBE32(file);
}

void WriteBE32(BinaryFile& file, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                         static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    file.Write(b);
}

void WriteBE32At(BinaryFile& file, std::int64_t offset, std::int32_t value) {
    file.Seek(offset);
    WriteBE32(file, value);
}

std::int32_t SwapBytes32(std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>((v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) |
                                     (v << 24));
}

void CopyFileRange(BinaryFile& source, std::int64_t offset, std::int64_t length, BinaryFile& target,
                   bool limited) {
    BulkBuffer block;
    const std::span<std::uint8_t> buffer = block.Span();
    source.Seek(offset);
    // fread comes back short only at the end of the file (a failure throws):
    // no further read is asked for after a short one.
    if (!limited) {
        for (;;) {
            std::size_t got = source.Read(buffer);
            target.Write(buffer.first(got));
            if (got < buffer.size())
                return;
        }
    }
    if (length <= 0)
        return;
    std::int64_t left = length;
    while (left > 0) {
        auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size())));
        std::size_t got = source.Read(buffer.first(want));
        if (got == 0)
            return;
        target.Write(buffer.first(got));
        left -= static_cast<std::int64_t>(got);
        if (got < want)
            return;
    }
}

int Checksum16(BinaryFile& file) {
    BulkBuffer block;
    const std::span<std::uint8_t> buffer = block.Span();
    std::uint32_t total = 0;
    for (;;) {
        std::size_t got = file.Read(buffer);
        // At most 255 * 256 Ki per block: no 32-bit overflow.
        std::uint32_t block = 0;
        for (std::size_t i = 0; i < got; ++i)
            block += buffer[i];
        total = (total + block) & 0xFFFFu;
        if (got < buffer.size()) // the end of the file, as in CopyFileRange
            break;
    }
    return static_cast<int>(total);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return static_cast<unsigned char>(c) - 55;
}

int HexPairToByte(char hi, char lo) { return 16 * HexDigitValue(hi) + HexDigitValue(lo); }

std::string HexWord(std::uint32_t value) {
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = HexPairTable[2 * (value & 15) + 1];
    return text;
}

std::array<char, 2> ByteToHexPair(std::uint8_t b) {
    return {HexPairTable[2 * b], HexPairTable[2 * b + 1]};
}

} // namespace zantrel
