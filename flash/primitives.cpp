#include "flash/primitives.h"

#include <vector>

namespace zantrel {

namespace {

std::int32_t FromBytes(const std::uint8_t* b) {
    return static_cast<std::int32_t>((std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                                     (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]});
}

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

constexpr std::array<std::int16_t, 65536> MakePairValueTable() {
    constexpr auto digits = MakeDigitTable();
    std::array<std::int16_t, 65536> t{};
    for (int i = 0; i < 65536; ++i) {
        const int hi = digits[i >> 8];
        const int lo = digits[i & 0xFF];
        t[i] = static_cast<std::int16_t>(hi < 0 || lo < 0 ? -1 : hi * 16 + lo);
    }
    return t;
}

} // namespace

const std::array<std::int8_t, 256> HexDigitTable = MakeDigitTable();
const std::array<char, 512> HexPairTable = MakePairTable();
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

void CopyFileRange(BinaryFile& source, std::int64_t offset, std::int64_t length,
                   BinaryFile& target, bool limited) {
    std::vector<std::uint8_t> buffer(CopyBufferSize);
    source.Seek(offset);
    if (!limited) {
        for (;;) {
            std::size_t got = source.Read(buffer);
            if (got == 0)
                return;
            target.Write(std::span(buffer.data(), got));
        }
    }
    if (length <= 0)
        return;
    std::int64_t left = length;
    while (left > 0) {
        auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, CopyBufferSize));
        std::size_t got = source.Read(std::span(buffer.data(), want));
        if (got == 0)
            return;
        target.Write(std::span(buffer.data(), got));
        left -= static_cast<std::int64_t>(got);
        if (got < want)
            return;
    }
}

int Checksum16(BinaryFile& file) {
    std::vector<std::uint8_t> buffer(CopyBufferSize);
    std::uint32_t total = 0;
    for (;;) {
        std::size_t got = file.Read(buffer);
        if (got == 0)
            break;
        std::uint32_t block = 0;
        for (std::size_t i = 0; i < got; ++i)
            block += buffer[i];
        total = (total + block) & 0xFFFFu;
    }
    return static_cast<int>(total);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return static_cast<unsigned char>(c) - 55;
}

int HexPairToByte(char hi, char lo) { return 16 * HexDigitValue(hi) + HexDigitValue(lo); }

std::array<char, 2> ByteToHexPair(std::uint8_t b) {
    return {HexPairTable[2 * b], HexPairTable[2 * b + 1]};
}

} // namespace zantrel
