// Builds flash files around pieces for the tests, the sample generator and
// the benchmarks: the 8172-byte flash header, and superfile (S-record) or SBF
// bodies. Independent of the program's own writer, so the two check each other.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zantrel::samples {

inline constexpr int RamdldSlot = -1;

// One piece of a flash file: the RAMDLD (slot -1) or code group CG<slot>.
// Its bytes come from read(offset, into), which fills into completely, so a
// large piece can come from a generator or a file without sitting in memory.
struct Piece {
    int slot = RamdldSlot;
    std::uint32_t startAddress = 0;
    std::uint64_t size = 0;
    std::function<void(std::uint64_t offset, std::span<std::uint8_t> into)> read;
};

Piece BytesPiece(int slot, std::uint32_t startAddress, std::vector<std::uint8_t> bytes);
// Streams the file at path, opened when the piece is first read.
Piece FilePiece(int slot, std::uint32_t startAddress, const std::string& path);
// size bytes of a deterministic pattern drawn from seed.
Piece PatternPiece(int slot, std::uint32_t startAddress, std::uint64_t size, std::uint32_t seed);
std::vector<std::uint8_t> PieceBytes(const Piece& piece);

struct HeaderOptions {
    // The piece count at 944; -1 counts the pieces given.
    int pieceCount = -1;
    // Fill the bytes the program does not interpret with a pattern, so that a
    // copy that is not byte for byte shows.
    bool patternFill = true;
};

struct BodyOptions {
    int lineBytes = 64;        // data bytes per S3 line (1..250)
    bool finalLineEnd = false; // CR LF after the last S7 line
    // A file whose first code group is CG0 carries CG0 and the next code
    // group as one piece, as the phone's tools write it. False writes them
    // apart (a body with more pieces than its header lists).
    bool mergeCg0 = true;
    // Write this many data lines with a deliberately wrong checksum (the
    // first ones of the file).
    int badChecksumLines = 0;
};

// The header listing the pieces: count at 944, the RAMDLD entry at 948, slot
// s at 1004 + 28 * s (start, end, first 16 bytes, 16-bit sum), little-endian.
// Pieces are given RAMDLD first, then code groups by rising slot.
std::vector<std::uint8_t> BuildFlashHeader(const std::vector<Piece>& pieces,
                                           const HeaderOptions& options = {});

// "S3", count, address, data, checksum and CR LF, upper-case hex.
std::string S3Line(std::uint32_t address, std::span<const std::uint8_t> data);

// Whole files, in memory, for small tests.
std::vector<std::uint8_t> BuildSuperfile(const std::vector<Piece>& pieces,
                                         const BodyOptions& body = {},
                                         const HeaderOptions& header = {});
std::vector<std::uint8_t> BuildSbf(const std::vector<Piece>& pieces, const BodyOptions& body = {},
                                   const HeaderOptions& header = {});

// The same streamed to a file, in constant memory. Throw IoError.
void WriteSuperfileFile(const std::string& path, const std::vector<Piece>& pieces,
                        const BodyOptions& body = {}, const HeaderOptions& header = {});
void WriteSbfFile(const std::string& path, const std::vector<Piece>& pieces,
                  const BodyOptions& body = {}, const HeaderOptions& header = {});

// The pieces as the body carries them (CG0 merged with the next code group
// when body.mergeCg0): what a reader should leave in the work folder, by
// slot (-1 for RAMDLD.bin; the merged piece takes the second slot).
std::vector<Piece> BodyPieces(const std::vector<Piece>& pieces, const BodyOptions& body = {});

} // namespace zantrel::samples
