#include "tools/containers.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "base/fileio.h"

namespace zantrel::samples {

namespace {

using Sink = std::function<void(std::span<const std::uint8_t>)>;

constexpr std::size_t HeaderSize = 8172;
constexpr std::size_t CountOffset = 944;
constexpr std::size_t RamdldOffset = 948;
constexpr std::size_t SlotOffset = 1004;
constexpr std::size_t EntrySize = 28;
constexpr std::size_t ListedEnd = 1648; // one past slot 22
// The S0 and S7 lines that open and close each piece of a superfile.
constexpr const char* SectionStart = "S00600004844521B";
constexpr const char* SectionEnd = "S70500000000FA";

// The format's numbers and encodings are spelled here, not taken from the
// program, so that a wrong one in the program shows in the tests.
void PutLE32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutBE32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void PutHex(std::string& out, std::uint8_t b) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    out.push_back(Digits[b >> 4]);
    out.push_back(Digits[b & 15]);
}

// Hands the piece's bytes to each(block) in blocks of a multiple of unit.
void ForEachBlock(const Piece& piece, std::size_t unit,
                  const std::function<void(std::span<const std::uint8_t>)>& each) {
    const std::size_t blockSize = std::max<std::size_t>(1, (64 * 1024) / unit) * unit;
    std::vector<std::uint8_t> block(blockSize);
    for (std::uint64_t at = 0; at < piece.size;) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, piece.size - at));
        piece.read(at, std::span(block.data(), n));
        each(std::span<const std::uint8_t>(block.data(), n));
        at += n;
    }
}

void WriteEntry(std::uint8_t* entry, const Piece& piece) {
    PutLE32(entry, piece.startAddress);
    PutLE32(entry + 4, piece.startAddress + static_cast<std::uint32_t>(piece.size) - 1u);
    std::uint8_t first[16] = {};
    piece.read(0,
               std::span(first, static_cast<std::size_t>(std::min<std::uint64_t>(16, piece.size))));
    std::memcpy(entry + 8, first, 16);
    std::uint32_t sum = 0;
    ForEachBlock(piece, 1, [&](std::span<const std::uint8_t> b) {
        for (std::uint8_t v : b)
            sum += v;
    });
    PutLE32(entry + 24, sum & 0xFFFFu);
}

void EmitSuperfile(const Sink& sink, const std::vector<Piece>& pieces, const BodyOptions& body,
                   const HeaderOptions& header) {
    if (body.lineBytes < 1 || body.lineBytes > 250)
        throw std::invalid_argument("lineBytes must be 1..250");
    sink(BuildFlashHeader(pieces, header));
    const auto bodyPieces = BodyPieces(pieces, body);
    int badLeft = body.badChecksumLines;
    std::string text;
    auto flush = [&] {
        sink(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        text.clear();
    };
    for (std::size_t p = 0; p < bodyPieces.size(); ++p) {
        const Piece& piece = bodyPieces[p];
        text += SectionStart;
        text += "\r\n";
        std::uint32_t address = piece.startAddress;
        const auto unit = static_cast<std::size_t>(body.lineBytes);
        ForEachBlock(piece, unit, [&](std::span<const std::uint8_t> block) {
            for (std::size_t at = 0; at < block.size(); at += unit) {
                auto chunk = block.subspan(at, std::min(unit, block.size() - at));
                std::string line = S3Line(address, chunk);
                if (badLeft > 0) {
                    --badLeft;
                    // One more than the right checksum.
                    const std::size_t c = line.size() - 4;
                    int value = std::stoi(line.substr(c, 2), nullptr, 16);
                    line.resize(c);
                    PutHex(line, static_cast<std::uint8_t>(value + 1));
                    line += "\r\n";
                }
                text += line;
                address += static_cast<std::uint32_t>(chunk.size());
            }
            flush();
        });
        text += SectionEnd;
        if (p + 1 < bodyPieces.size() || body.finalLineEnd)
            text += "\r\n";
    }
    flush();
}

void EmitSbf(const Sink& sink, const std::vector<Piece>& pieces, const BodyOptions& body,
             const HeaderOptions& header) {
    sink(BuildFlashHeader(pieces, header));
    for (const Piece& piece : BodyPieces(pieces, body)) {
        std::uint8_t head[17];
        for (int i = 0; i < 9; ++i)
            head[i] = static_cast<std::uint8_t>(0xA0 + i);
        PutBE32(head + 9, static_cast<std::uint32_t>(piece.size));
        for (int i = 13; i < 17; ++i)
            head[i] = static_cast<std::uint8_t>(0xB0 + i);
        sink(head);
        ForEachBlock(piece, 1, sink);
        std::uint8_t tail[12];
        for (int i = 0; i < 12; ++i)
            tail[i] = static_cast<std::uint8_t>(0xC0 + i);
        sink(tail);
    }
}

std::vector<std::uint8_t> ToMemory(const std::function<void(const Sink&)>& emit) {
    std::vector<std::uint8_t> out;
    emit([&](std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
    return out;
}

void ToFile(const std::string& path, const std::function<void(const Sink&)>& emit) {
    BinaryFile file = BinaryFile::Create(path);
    emit([&](std::span<const std::uint8_t> b) { file.Write(b); });
    file.Close();
}

} // namespace

Piece BytesPiece(int slot, std::uint32_t startAddress, std::vector<std::uint8_t> bytes) {
    auto data = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
    Piece piece{slot, startAddress, data->size(), nullptr};
    piece.read = [data](std::uint64_t offset, std::span<std::uint8_t> into) {
        if (!into.empty())
            std::memcpy(into.data(), data->data() + offset, into.size());
    };
    return piece;
}

Piece FilePiece(int slot, std::uint32_t startAddress, const std::string& path) {
    const std::int64_t size = FileSizeOf(path);
    if (size < 0)
        throw IoError(IoFileNotFound, path);
    auto file = std::make_shared<std::optional<BinaryFile>>();
    Piece piece{slot, startAddress, static_cast<std::uint64_t>(size), nullptr};
    piece.read = [file, path](std::uint64_t offset, std::span<std::uint8_t> into) {
        if (!*file)
            *file = BinaryFile::OpenRead(path);
        (*file)->Seek(static_cast<std::int64_t>(offset));
        (*file)->ReadExact(into);
    };
    return piece;
}

Piece PatternPiece(int slot, std::uint32_t startAddress, std::uint64_t size, std::uint32_t seed) {
    Piece piece{slot, startAddress, size, nullptr};
    piece.read = [seed](std::uint64_t offset, std::span<std::uint8_t> into) {
        for (std::size_t i = 0; i < into.size(); ++i) {
            // A cheap hash of the position, so any range can be produced alone.
            std::uint64_t x = (offset + i) * 0x9E3779B97F4A7C15ull + seed;
            x ^= x >> 29;
            into[i] = static_cast<std::uint8_t>(x >> 7);
        }
    };
    return piece;
}

std::vector<std::uint8_t> PieceBytes(const Piece& piece) {
    std::vector<std::uint8_t> bytes(piece.size);
    if (!bytes.empty())
        piece.read(0, bytes);
    return bytes;
}

std::vector<Piece> BodyPieces(const std::vector<Piece>& pieces, const BodyOptions& body) {
    std::vector<Piece> out = pieces;
    if (body.mergeCg0 && out.size() >= 3 && out[0].slot == RamdldSlot && out[1].slot == 0) {
        const Piece first = out[1];
        const Piece second = out[2];
        Piece merged{second.slot, first.startAddress, first.size + second.size, nullptr};
        merged.read = [first, second](std::uint64_t offset, std::span<std::uint8_t> into) {
            std::size_t done = 0;
            if (offset < first.size) {
                done = static_cast<std::size_t>(
                    std::min<std::uint64_t>(into.size(), first.size - offset));
                first.read(offset, into.first(done));
            }
            if (done < into.size())
                second.read(offset + done - first.size, into.subspan(done));
        };
        out.erase(out.begin() + 1, out.begin() + 3);
        out.insert(out.begin() + 1, merged);
    }
    return out;
}

std::vector<std::uint8_t> BuildFlashHeader(const std::vector<Piece>& pieces,
                                           const HeaderOptions& options) {
    std::vector<std::uint8_t> header(HeaderSize, 0);
    if (options.patternFill)
        for (std::size_t i = 0; i < HeaderSize; ++i)
            header[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::fill(header.begin() + CountOffset, header.begin() + ListedEnd, 0);
    const int count =
        options.pieceCount >= 0 ? options.pieceCount : static_cast<int>(pieces.size());
    PutLE32(header.data() + CountOffset, static_cast<std::uint32_t>(count));
    for (const Piece& piece : pieces) {
        if (piece.slot == RamdldSlot)
            WriteEntry(header.data() + RamdldOffset, piece);
        else if (piece.slot >= 0 &&
                 SlotOffset + EntrySize * (static_cast<std::size_t>(piece.slot) + 1) <= HeaderSize)
            WriteEntry(header.data() + SlotOffset +
                           EntrySize * static_cast<std::size_t>(piece.slot),
                       piece);
        else
            throw std::invalid_argument("slot out of the header");
    }
    return header;
}

std::string S3Line(std::uint32_t address, std::span<const std::uint8_t> data) {
    std::string line = "S3";
    const auto count = static_cast<std::uint8_t>(data.size() + 5);
    unsigned sum = count;
    PutHex(line, count);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto b = static_cast<std::uint8_t>(address >> shift);
        PutHex(line, b);
        sum += b;
    }
    for (std::uint8_t b : data) {
        PutHex(line, b);
        sum += b;
    }
    PutHex(line, static_cast<std::uint8_t>(~sum));
    line += "\r\n";
    return line;
}

std::vector<std::uint8_t> BuildSuperfile(const std::vector<Piece>& pieces, const BodyOptions& body,
                                         const HeaderOptions& header) {
    return ToMemory([&](const Sink& sink) { EmitSuperfile(sink, pieces, body, header); });
}

std::vector<std::uint8_t> BuildSbf(const std::vector<Piece>& pieces, const BodyOptions& body,
                                   const HeaderOptions& header) {
    return ToMemory([&](const Sink& sink) { EmitSbf(sink, pieces, body, header); });
}

void WriteSuperfileFile(const std::string& path, const std::vector<Piece>& pieces,
                        const BodyOptions& body, const HeaderOptions& header) {
    ToFile(path, [&](const Sink& sink) { EmitSuperfile(sink, pieces, body, header); });
}

void WriteSbfFile(const std::string& path, const std::vector<Piece>& pieces,
                  const BodyOptions& body, const HeaderOptions& header) {
    ToFile(path, [&](const Sink& sink) { EmitSbf(sink, pieces, body, header); });
}

} // namespace zantrel::samples
