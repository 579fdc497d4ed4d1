// Conversion between the phone's raw pictures and 24-bit BMP files. A raw
// picture is W x H big-endian RGB565 pixels, top row first, then a mask of
// one bit per pixel (1 = transparent) packed most significant bit first.
#include "imaging/bmpraw.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/primitives.h"
#include "base/reused.h"

#include "imaging/decode.h"

namespace zantrel {

namespace {

// Bytes of zero padding that bring a BMP row of width pixels to a multiple of 4.
int RowPadding(int width) { return (4 - (3 * width) % 4) % 4; }

std::int64_t BmpRowSize(int width) { return 3 * width + RowPadding(width); }

// Mask bytes: whole 16-bit words, one bit per pixel.
std::int64_t MaskSize(int width, int height) {
    return 2 * ((static_cast<std::int64_t>(width) * height + 15) / 16);
}

void CheckSide(int side) {
    if (side < 0 || side > MaxPictureSide)
        throw std::invalid_argument("picture side out of range: " + std::to_string(side));
}

// Fills into from the file; whatever lies past the end reads as zero bytes.
void ReadOrZero(BinaryFile& file, std::span<std::uint8_t> into) {
    std::size_t got = file.Read(into);
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(got), into.end(), std::uint8_t{0});
}

// Scaling by rounding, not by bit replication: reduction undoes expansion.
// Tabulated, since every pixel of every picture goes through them.
template <unsigned Max> constexpr std::array<std::uint8_t, Max + 1> ExpandTable() {
    std::array<std::uint8_t, Max + 1> t{};
    for (unsigned v = 0; v <= Max; ++v)
        t[v] = static_cast<std::uint8_t>((255 * v + Max / 2) / Max);
    return t;
}
template <unsigned Max> constexpr std::array<std::uint8_t, 256> ReduceTable() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v)
        t[v] = static_cast<std::uint8_t>((Max * v + 127) / 255);
    return t;
}
constexpr auto Expand5 = ExpandTable<31>();
constexpr auto Expand6 = ExpandTable<63>();
constexpr auto Reduce5 = ReduceTable<31>();
constexpr auto Reduce6 = ReduceTable<63>();
static_assert(Expand5[1] == 8 && Expand5[31] == 255 && Expand6[1] == 4 && Expand6[63] == 255);
static_assert(Reduce5[8] == 1 && Reduce6[4] == 1 && Reduce5[255] == 31);

// Colour channels straight from the pixel's bytes (high byte RRRRRGGG, low
// byte GGGBBBBB): one lookup each.
constexpr std::array<std::uint8_t, 256> RedOfHigh = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v)
        t[v] = Expand5[v >> 3];
    return t;
}();
constexpr std::array<std::uint8_t, 256> BlueOfLow = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v)
        t[v] = Expand5[v & 0x1F];
    return t;
}();

// Each reduced channel already in its place in the raw pixel, as the 16-bit
// word that stores its big-endian bytes in the machine's order: a pixel is
// the OR of three lookups and one store.
template <unsigned Max, unsigned Shift>
constexpr std::array<std::uint16_t, 256> ReducedWordTable() {
    constexpr auto reduce = ReduceTable<Max>();
    std::array<std::uint16_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        const unsigned field = unsigned{reduce[v]} << Shift;
        t[v] = static_cast<std::uint16_t>(std::endian::native == std::endian::little
                                              ? (field >> 8) | ((field & 0xFF) << 8)
                                              : field);
    }
    return t;
}
constexpr auto RedWord = ReducedWordTable<31, 11>();
constexpr auto GreenWord = ReducedWordTable<63, 5>();
constexpr auto BlueWord = ReducedWordTable<31, 0>();

// One raw pixel (two big-endian bytes) as BMP blue, green, red.
inline void PutColour(std::uint8_t* out, const std::uint8_t* in) {
    const unsigned high = in[0];
    const unsigned low = in[1];
    out[0] = BlueOfLow[low];
    out[1] = Expand6[((high & 7) << 3) | (low >> 5)];
    out[2] = RedOfHigh[high];
}

// Working buffers kept from picture to picture (each at most 195 KB, for
// 255 x 255): fresh ones would be faulted in and handed back every time.
struct WorkBuffers {
    std::vector<std::uint8_t> first, second;
};

auto TakeWorkBuffers() {
    static Reused<WorkBuffers, std::unique_ptr<WorkBuffers> (*)()> pool(
        [] { return std::make_unique<WorkBuffers>(); });
    return pool.Take();
}

} // namespace

std::uint32_t ExpandRawPixel(std::uint16_t pixel) {
    return std::uint32_t{Expand5[pixel >> 11]} << 16 |
           std::uint32_t{Expand6[(pixel >> 5) & 0x3F]} << 8 | Expand5[pixel & 0x1F];
}

std::vector<std::uint8_t> EncodeRawPicture(const std::vector<std::uint32_t>& pixels, int width,
                                           int height, Rgb replacerColour) {
    const std::uint32_t replacer = replacerColour.Pixel();
    CheckSide(width);
    CheckSide(height);
    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(RawPictureSize(width, height)), 0);
    std::uint8_t* mask = raw.data() + 2 * count;
    for (std::size_t p = 0; p < count && p < pixels.size(); ++p) {
        const bool transparent = (pixels[p] >> 24) < 128;
        const std::uint32_t c =
            transparent ? replacer : AvoidReplacer(pixels[p] & 0xFFFFFF, replacer);
        const unsigned word = unsigned{Reduce5[(c >> 16) & 0xFF]} << 11 |
                              unsigned{Reduce6[(c >> 8) & 0xFF]} << 5 | Reduce5[c & 0xFF];
        raw[2 * p] = static_cast<std::uint8_t>(word >> 8);
        raw[2 * p + 1] = static_cast<std::uint8_t>(word);
        if (transparent)
            mask[p >> 3] |= static_cast<std::uint8_t>(1u << (7 - (p & 7)));
    }
    return raw;
}

std::uint32_t AvoidReplacer(std::uint32_t colour, std::uint32_t replacer) {
    colour &= 0xFFFFFF;
    if (colour != (replacer & 0xFFFFFF))
        return colour;
    // Each 5-bit level covers at least eight 8-bit values: one neighbour of
    // blue shares it.
    const std::uint32_t blue = colour & 0xFF;
    const std::uint32_t other =
        blue > 0 && Reduce5[blue - 1] == Reduce5[blue] ? blue - 1 : blue + 1;
    return (colour & 0xFFFF00) | other;
}

std::int64_t RawPictureSize(int width, int height) {
    return 2 * static_cast<std::int64_t>(width) * height + MaskSize(width, height);
}

void RawBytesToBmp(std::span<const std::uint8_t> raw, int width, int height, Rgb replacerColour,
                   std::vector<std::uint8_t>& bmp) {
    CheckSide(width);
    CheckSide(height);
    const std::int64_t rowSize = BmpRowSize(width);
    const std::int64_t imageSize = height * rowSize;
    bmp.resize(static_cast<std::size_t>(BmpHeaderSize + imageSize));

    std::uint8_t* header = bmp.data();
    std::fill(header, header + BmpHeaderSize, std::uint8_t{0});
    header[0] = 'B';
    header[1] = 'M';
    StoreLE32(&header[2], static_cast<std::uint32_t>(BmpHeaderSize + imageSize));
    StoreLE32(&header[10], BmpHeaderSize);
    StoreLE32(&header[14], 40);
    StoreLE32(&header[18], static_cast<std::uint32_t>(width));
    StoreLE32(&header[22], static_cast<std::uint32_t>(height));
    StoreLE16(&header[26], 1);
    StoreLE16(&header[28], 24);
    StoreLE32(&header[34], static_cast<std::uint32_t>(imageSize));
    if (width == 0 || height == 0)
        return;

    // A raw picture cut short reads as zero bytes past its end.
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    const auto needed = static_cast<std::size_t>(RawPictureSize(width, height));
    std::vector<std::uint8_t> padded;
    if (raw.size() < needed) {
        padded.assign(raw.begin(), raw.end());
        padded.resize(needed, 0);
        raw = padded;
    }
    // Big-endian words read most significant bit first are a plain
    // most-significant-first bit stream: pixel p is bit 7 - p % 8 of byte p / 8.
    const std::uint8_t* mask = raw.data() + 2 * pixels;
    // Laid out as the BMP stores it: bottom row first, padding included
    // (zero); raw rows run top-down. Every other byte is written below.
    std::uint8_t* picture = bmp.data() + BmpHeaderSize;
    const std::uint8_t replacer[3] = {replacerColour.blue, replacerColour.green,
                                      replacerColour.red};
    const std::uint8_t* in = raw.data();
    std::size_t p = 0; // pixel number, which is its bit in the mask
    for (int r = 0; r < height; ++r) {
        std::uint8_t* out = picture + static_cast<std::size_t>((height - 1 - r) * rowSize);
        std::fill(out + 3 * width, out + rowSize, std::uint8_t{0});
        int c = 0;
        while (c < width) {
            if ((p & 7) == 0 && c + 8 <= width) {
                // Eight pixels of one mask byte, most often all opaque.
                const unsigned m = mask[p >> 3];
                if (m == 0) {
                    for (int i = 0; i < 8; ++i)
                        PutColour(out + 3 * i, in + 2 * i);
                } else {
                    for (int i = 0; i < 8; ++i) {
                        if ((m >> (7 - i)) & 1u)
                            std::memcpy(out + 3 * i, replacer, 3);
                        else
                            PutColour(out + 3 * i, in + 2 * i);
                    }
                }
                c += 8;
                p += 8;
                in += 16;
                out += 24;
                continue;
            }
            if ((mask[p >> 3] >> (7 - (p & 7))) & 1u)
                std::memcpy(out, replacer, 3);
            else
                PutColour(out, in);
            ++c;
            ++p;
            in += 2;
            out += 3;
        }
    }
}

void RawToBmp(const std::string& rawPath, int width, int height, const std::string& bmpPath,
              Rgb replacer) {
    CheckSide(width);
    CheckSide(height);
    BinaryFile raw = BinaryFile::OpenRead(rawPath);
    AtomicOutput output(bmpPath);
    BinaryFile bmp = output.Create();
    // The raw picture and the BMP are bounded by 255 x 255, so both are held
    // whole: one read, one pass, one write.
    const auto buffers = TakeWorkBuffers();
    std::vector<std::uint8_t>& source = buffers->first;
    source.resize(static_cast<std::size_t>(RawPictureSize(width, height)));
    ReadOrZero(raw, source);
    std::vector<std::uint8_t>& picture = buffers->second;
    RawBytesToBmp(source, width, height, replacer, picture);
    bmp.Write(picture);
    raw.Close();
    bmp.Close();
    output.Commit();
}

void BmpToRaw(const std::string& bmpPath, const std::string& rawPath, Rgb replacer) {
    BinaryFile bmp = BinaryFile::OpenRead(bmpPath);
    AtomicOutput output(rawPath);
    BinaryFile raw = output.Create();

    std::array<std::uint8_t, BmpHeaderSize> header{};
    ReadOrZero(bmp, header);
    // Only the low bytes of the width and height fields count: sides are bytes.
    const int width = header[18];
    const int height = header[22];

    if (width > 0 && height > 0) {
        const std::int64_t rowSize = BmpRowSize(width);
        const std::size_t pixelBytes = 2 * static_cast<std::size_t>(width) * height;
        const auto buffers = TakeWorkBuffers();
        std::vector<std::uint8_t>& bmpRow = buffers->first;
        // The whole raw picture (at most 255 x 255, so bounded), pixels then
        // mask, written in one piece: seeking per row would cost a system
        // call each.
        std::vector<std::uint8_t>& picture = buffers->second;
        picture.resize(static_cast<std::size_t>(RawPictureSize(width, height)));
        // Every pixel byte is written below; mask bytes are ORed into.
        std::uint8_t* mask = picture.data() + pixelBytes;
        std::fill(mask, picture.data() + picture.size(), std::uint8_t{0});
        // The colour to find, as the low three bytes of a 4-byte load.
        const std::uint8_t keyBytes[4] = {replacer.blue, replacer.green, replacer.red, 0};
        const std::uint8_t keyMaskBytes[4] = {0xFF, 0xFF, 0xFF, 0};
        std::uint32_t key = 0;
        std::uint32_t keyMask = 0;
        std::memcpy(&key, keyBytes, 4);
        std::memcpy(&keyMask, keyMaskBytes, 4);
        // One byte more than a row, so the last pixel's 4-byte load stays inside.
        bmpRow.resize(static_cast<std::size_t>(rowSize) + 1);
        const std::span<std::uint8_t> rowBytes(bmpRow.data(), static_cast<std::size_t>(rowSize));
        // The BMP is read front to back (bottom row first, padding included)
        // and each raw row is placed at its own offset, so the input is never
        // read backwards.
        bmp.Seek(BmpHeaderSize);
        for (int i = 0; i < height; ++i) {
            const int r = height - 1 - i; // raw row, counted from the top
            ReadOrZero(bmp, rowBytes);
            std::uint8_t* rawRow = picture.data() + static_cast<std::size_t>(r) * 2 * width;
            // One pixel: its raw word is stored, its transparency returned;
            // both pointers move on.
            const std::uint8_t* in = bmpRow.data();
            std::uint8_t* out = rawRow;
            auto convert = [&] {
                std::uint32_t colour;
                std::memcpy(&colour, in, 4);
                const auto pixel =
                    static_cast<std::uint16_t>(RedWord[in[2]] | GreenWord[in[1]] | BlueWord[in[0]]);
                std::memcpy(out, &pixel, 2);
                in += 3;
                out += 2;
                // Transparency is decided on the 8-bit colour, before reduction.
                return static_cast<unsigned>((colour & keyMask) == key);
            };
            // Mask bit of pixel p: bit 7 - p % 8 of byte p / 8. A byte shared
            // with the next row is completed by it (mask bytes are only ever
            // ORed into); whole bytes inside the row are built eight pixels
            // at a time.
            std::size_t p = static_cast<std::size_t>(r) * width;
            int c = 0;
            for (; c < width && (p & 7) != 0; ++c, ++p)
                mask[p >> 3] |= static_cast<std::uint8_t>(convert() << (7 - (p & 7)));
            for (; c + 8 <= width; c += 8, p += 8) {
                unsigned bits = 0;
                for (int j = 0; j < 8; ++j)
                    bits = (bits << 1) | convert();
                mask[p >> 3] = static_cast<std::uint8_t>(bits);
            }
            for (; c < width; ++c, ++p)
                mask[p >> 3] |= static_cast<std::uint8_t>(convert() << (7 - (p & 7)));
        }
        raw.Write(picture);
    }
    bmp.Close();
    raw.Close();
    output.Commit();
}

std::vector<std::string> PictureBmpFaults(std::span<const std::uint8_t> head, std::int64_t fileSize,
                                          int width, int height) {
    const ContentKind kind = KindOfContent(head);
    if (kind != ContentKind::Bmp || head.size() < static_cast<std::size_t>(BmpHeaderSize)) {
        const std::string name = ContentKindName(kind);
        if (kind == ContentKind::Empty)
            return {name};
        if (kind == ContentKind::Bmp)
            return {"cut short inside its header"};
        return {name.empty() ? "not a BMP picture" : name + ", not a BMP"};
    }
    std::vector<std::string> faults;
    // Only the plain 40-byte header puts the pixels where BmpToRaw reads them.
    const std::uint32_t infoSize = LoadLE32(&head[14]);
    if (infoSize < 40)
        faults.push_back("an older kind of BMP header");
    else if (infoSize > 40)
        faults.push_back("a newer kind of BMP header");
    const std::uint32_t bits = LoadLE16(&head[28]);
    if (bits != 24)
        faults.push_back(std::to_string(bits) + "-bit colour");
    if (LoadLE32(&head[30]) != 0)
        faults.push_back("compressed");
    const auto bmpWidth = static_cast<std::int32_t>(LoadLE32(&head[18]));
    const auto bmpHeight = static_cast<std::int32_t>(LoadLE32(&head[22]));
    if (bmpHeight < 0)
        faults.push_back("stored top-down");
    if (infoSize == 40 && LoadLE32(&head[10]) != BmpHeaderSize)
        faults.push_back("extra data before its pixels");
    const std::int64_t absHeight =
        bmpHeight < 0 ? -static_cast<std::int64_t>(bmpHeight) : bmpHeight;
    if (bmpWidth != width || absHeight != height)
        faults.push_back(std::to_string(bmpWidth) + " x " + std::to_string(absHeight) + " pixels");
    if (faults.empty()) {
        const std::int64_t needed = BmpHeaderSize + height * BmpRowSize(width);
        if (fileSize < needed)
            faults.push_back("cut short (" + std::to_string(fileSize) + " of " +
                             std::to_string(needed) + " bytes)");
    }
    return faults;
}

std::string PictureBmpProblem(const std::string& name, const std::vector<std::string>& faults,
                              int width, int height) {
    std::string text = name + ":";
    for (std::size_t i = 0; i < faults.size(); ++i)
        text += (i ? ", " : " ") + faults[i];
    return text + "; it must be a plain 24-bit BMP of " + std::to_string(width) + " x " +
           std::to_string(height) + " pixels.";
}

std::optional<Picture> DecodePlainBmp(const std::string& bmpPath, Rgb replacer) {
    BinaryFile bmp = BinaryFile::OpenRead(bmpPath);
    std::array<std::uint8_t, BmpHeaderSize> header{};
    const std::size_t got = bmp.Read(header);
    if (got < header.size())
        return std::nullopt;
    const std::uint32_t width = LoadLE32(header.data() + 18);
    const std::uint32_t height = LoadLE32(header.data() + 22);
    if (width == 0 || width > MaxPictureSide || height == 0 || height > MaxPictureSide)
        return std::nullopt;
    Picture picture = FilledPicture(static_cast<int>(width), static_cast<int>(height), 0);
    if (!PictureBmpFaults(header, bmp.Size(), picture.width, picture.height).empty())
        return std::nullopt;
    const std::size_t rowSize = static_cast<std::size_t>(BmpRowSize(picture.width));
    const auto buffers = TakeWorkBuffers();
    std::vector<std::uint8_t>& rows = buffers->first;
    rows.resize(rowSize * height);
    bmp.ReadExact(rows);
    const std::uint32_t key = replacer.Pixel() & 0xFFFFFF;
    for (std::uint32_t y = 0; y < height; ++y) {
        // Bottom row first in the file.
        const std::uint8_t* in = rows.data() + (height - 1 - y) * rowSize;
        std::uint32_t* out = picture.pixels.data() + y * width;
        for (std::uint32_t x = 0; x < width; ++x, in += 3) {
            const std::uint32_t colour =
                std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
            // Without a branch: on a noisy picture it would be guessed wrong often.
            out[x] = (colour | 0xFF000000u) & (0u - static_cast<std::uint32_t>(colour != key));
        }
    }
    return picture;
}

std::optional<std::string> CheckPictureBmp(const std::string& bmpPath, int width, int height) {
    BinaryFile bmp = BinaryFile::OpenRead(bmpPath);
    const std::int64_t fileSize = bmp.Size();
    std::array<std::uint8_t, BmpHeaderSize> header{};
    const std::size_t got = bmp.Read(header);
    bmp.Close();
    const std::vector<std::string> faults =
        PictureBmpFaults(std::span(header.data(), got), fileSize, width, height);
    if (faults.empty())
        return std::nullopt;
    return PictureBmpProblem(FileNamePart(bmpPath), faults, width, height);
}

} // namespace zantrel
