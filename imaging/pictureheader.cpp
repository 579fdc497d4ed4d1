#include "imaging/pictureheader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>

#include "base/primitives.h"

#include "imaging/decode.h"

namespace zantrel {

namespace {

using Header = Checked<PictureHeader>;

constexpr std::string_view NotAPictureText = "it is not a picture file this program reads";
constexpr std::string_view DamagedHeaderText = "its header is damaged";

std::string SizeText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " × " + std::to_string(height) + " pixels";
}

// The claimed size, refused when the file cannot hold it or it passes the
// caps. needed: the fewest bytes any file of this kind with these pixels
// has; exact: needed is what such a file holds, so a file a little shorter
// is one cut short rather than a header that lies.
Header Claim(std::int64_t width, std::int64_t height, std::int64_t size, std::int64_t needed,
             bool exact) {
    if (width <= 0 || height <= 0)
        return Header::Refusal(std::string(DamagedHeaderText));
    if (needed > size) {
        if (exact && size >= needed / 2)
            return Header::Refusal(std::string(CutShortText));
        return Header::Refusal("its header says " + SizeText(width, height) +
                               " but the file holds too few bytes for that");
    }
    if (width > MaxDecodedSide || height > MaxDecodedSide || width * height > MaxDecodedPixels)
        return Header::Refusal("it is " + SizeText(width, height) +
                               ", more than this program decodes (at most " +
                               std::to_string(MaxDecodedSide) + " a side and " +
                               std::to_string(MaxDecodedPixels / 1'000'000) + " million in all)");
    return PictureHeader{static_cast<int>(width), static_cast<int>(height)};
}

// Reads exactly bytes at offset; false when the file ends first.
bool ReadAt(BinaryFile& file, std::int64_t offset, std::span<std::uint8_t> bytes) {
    if (offset < 0 || offset > file.Size())
        return false;
    file.Seek(offset);
    return file.Read(bytes) == bytes.size();
}

Header PngHeader(BinaryFile& file, std::int64_t size) {
    // The signature, then the IHDR chunk's length, type and fields.
    std::array<std::uint8_t, 29> h{};
    if (!ReadAt(file, 0, h))
        return Header::Refusal(std::string(CutShortText));
    if (LoadBE32(&h[8]) != 13 ||
        std::string_view(reinterpret_cast<const char*>(&h[12]), 4) != "IHDR")
        return Header::Refusal(std::string(DamagedHeaderText));
    const std::int64_t width = LoadBE32(&h[16]), height = LoadBE32(&h[20]);
    const int depth = h[24], colour = h[25];
    int channels = 0;
    bool depthFits = false;
    switch (colour) {
    case 0: // grey
        channels = 1;
        depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        break;
    case 3: // palette
        channels = 1;
        depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8;
        break;
    case 2: // RGB, grey and alpha, RGBA
    case 4:
    case 6:
        channels = colour == 2 ? 3 : colour == 4 ? 2 : 4;
        depthFits = depth == 8 || depth == 16;
        break;
    default:
        break;
    }
    if (!depthFits || h[26] != 0 || h[27] != 0 || h[28] > 1 || width > INT32_MAX ||
        height > INT32_MAX)
        return Header::Refusal(std::string(DamagedHeaderText));
    // The filtered rows the compressed data must inflate to; deflate makes
    // at most 1032 bytes of 1 (a run of 258 in two bits).
    const std::int64_t rowBytes = 1 + (width * channels * depth + 7) / 8;
    const std::int64_t inflated =
        std::min<std::int64_t>(height, INT64_MAX / 2 / rowBytes) * rowBytes;
    return Claim(width, height, size, inflated / 1032 - 64, false);
}

// The most pixels LZW codes in bits could stand for: each code at most one
// pixel longer than the one before, each as few bits wide as any GIF makes
// it, a clear code after the decoder's 8192 entries.
std::int64_t GifPixelBound(std::int64_t bits) {
    constexpr int CodesPerClear = 8190;
    std::int64_t pixels = 0;
    for (int j = 0; pixels < MaxDecodedPixels + 1; j = (j + 1) % CodesPerClear) {
        const int width = std::max(1, static_cast<int>(std::bit_width(unsigned(j + 2))) - 2);
        if (bits < width)
            break;
        bits -= width;
        pixels += j + 2;
    }
    return pixels;
}

Header GifHeader(BinaryFile& file, std::int64_t size) {
    std::array<std::uint8_t, 13> h{};
    if (!ReadAt(file, 0, h))
        return Header::Refusal(std::string(CutShortText));
    if ((h[4] != '7' && h[4] != '9') || h[5] != 'a')
        return Header::Refusal(std::string(DamagedHeaderText));
    // The decoder paints the first frame on the whole logical screen.
    const std::int64_t width = LoadLE16(&h[6]), height = LoadLE16(&h[8]);
    // Needed bytes stand for the bound: none when it holds, more than there
    // are when it does not.
    const bool holds = width * height <= GifPixelBound(8 * size);
    return Claim(width, height, size, holds ? 0 : size + 1, false);
}

Header JpegHeader(BinaryFile& file, std::int64_t size) {
    // Real files have a few dozen segments; the bound keeps a file of fill
    // bytes from taking long.
    constexpr int MaxSteps = 4096;
    std::optional<PictureHeader> frame;
    std::int64_t at = 2; // past the start-of-image marker
    for (int step = 0;; ++step) {
        std::array<std::uint8_t, 2> marker{};
        if (!ReadAt(file, at, marker))
            return Header::Refusal(std::string(CutShortText));
        if (marker[0] != 0xFF || step > MaxSteps)
            return Header::Refusal(std::string(DamagedHeaderText));
        if (marker[1] == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const int m = marker[1];
        at += 2;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) // no segment
            continue;
        if (m == 0xD9 || m == 0xD8 || m == 0x00)
            return Header::Refusal(std::string(DamagedHeaderText));
        std::array<std::uint8_t, 8> segment{};
        if (!ReadAt(file, at, std::span(segment).first(2)))
            return Header::Refusal(std::string(CutShortText));
        const std::int64_t length = LoadBE16(segment.data());
        if (length < 2)
            return Header::Refusal(std::string(DamagedHeaderText));
        if (m == 0xDA) { // the first scan: the header ends here
            if (!frame)
                return Header::Refusal(std::string(DamagedHeaderText));
            // At least one bit a block of 8 x 8 pixels: the first scan's DC code.
            const std::int64_t blocks =
                (std::int64_t{frame->width} + 7) / 8 * ((std::int64_t{frame->height} + 7) / 8);
            return Claim(frame->width, frame->height, size, blocks / 8, false);
        }
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            // Baseline, extended and progressive Huffman frames only.
            if (m > 0xC2)
                return Header::Refusal(
                    "it is a JPEG of a kind this program does not read (lossless, hierarchical or "
                    "arithmetic-coded)");
            if (frame || !ReadAt(file, at, std::span(segment).first(8)))
                return Header::Refusal(std::string(frame ? DamagedHeaderText : CutShortText));
            const int components = segment[7];
            if (segment[2] != 8)
                return Header::Refusal(
                    "it is a JPEG of a kind this program does not read (12-bit samples)");
            const int height = static_cast<int>(LoadBE16(&segment[3]));
            const int width = static_cast<int>(LoadBE16(&segment[5]));
            if (height == 0)
                return Header::Refusal("it is a JPEG of a kind this program does not read (its "
                                       "height comes after its pixels)");
            if (width == 0 || (components != 1 && components != 3 && components != 4))
                return Header::Refusal(std::string(DamagedHeaderText));
            frame = PictureHeader{width, height};
        }
        at += length;
    }
}

Header BmpHeader(BinaryFile& file, std::int64_t size) {
    std::array<std::uint8_t, 34> h{};
    if (!ReadAt(file, 0, std::span(h).first(18)))
        return Header::Refusal(std::string(CutShortText));
    const std::int64_t offset = LoadLE32(&h[10]);
    const std::int64_t infoSize = LoadLE32(&h[14]);
    if (infoSize != 12 && infoSize != 40 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return Header::Refusal("it is a BMP of a kind this program does not read");
    if (!ReadAt(file, 0, std::span(h).first(infoSize == 12 ? 26 : 34)))
        return Header::Refusal(std::string(CutShortText));
    std::int64_t width = 0, height = 0;
    int planes = 0, bits = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        width = LoadLE16(&h[18]);
        height = LoadLE16(&h[20]);
        planes = static_cast<int>(LoadLE16(&h[22]));
        bits = static_cast<int>(LoadLE16(&h[24]));
    } else {
        width = static_cast<std::int32_t>(LoadLE32(&h[18]));
        height = static_cast<std::int32_t>(LoadLE32(&h[22]));
        planes = static_cast<int>(LoadLE16(&h[26]));
        bits = static_cast<int>(LoadLE16(&h[28]));
        compression = LoadLE32(&h[30]);
    }
    // A negative height is a picture stored top row first.
    height = height < 0 ? -height : height;
    if (planes != 1)
        return Header::Refusal(std::string(DamagedHeaderText));
    if (compression == 1 || compression == 2)
        return Header::Refusal("it is a compressed (RLE) BMP, which this program does not read");
    if (compression > 3 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return Header::Refusal("it is a BMP of a kind this program does not read");
    const bool bitFields = compression == 3;
    if (bitFields && bits != 16 && bits != 32)
        return Header::Refusal(std::string(DamagedHeaderText));
    const std::int64_t headerEnd =
        14 + infoSize + (bitFields && (infoSize == 40 || infoSize == 56) ? 12 : 0);
    if (size < headerEnd)
        return Header::Refusal(std::string(CutShortText));
    if (bits < 16) {
        // The palette fills the gap between the header and the pixels.
        const std::int64_t colours =
            infoSize == 12 ? (offset - 14 - 24) / 3 : (offset - 14 - infoSize) / 4;
        if (colours < 1 || colours > 256)
            return Header::Refusal(std::string(DamagedHeaderText));
    } else if (offset != headerEnd) {
        // The decoder takes the pixels right after the header.
        return Header::Refusal("it is a BMP laid out in a way this program does not read");
    }
    // Rows padded to four bytes; the last row's padding may be missing.
    const std::int64_t rowBytes = (std::max<std::int64_t>(width, 0) * bits + 7) / 8;
    const std::int64_t stride = (rowBytes + 3) / 4 * 4;
    const std::int64_t needed =
        height == 0 ? offset
                    : offset + stride * (std::min<std::int64_t>(height, 1 << 24) - 1) + rowBytes;
    return Claim(width, height, size, needed, true);
}

// TGA has no signature: a header the decoder takes for one is one.
Header TgaHeader(BinaryFile& file, std::int64_t size) {
    std::array<std::uint8_t, 18> h{};
    if (!ReadAt(file, 0, h))
        return Header::Refusal(std::string(NotAPictureText));
    const int idLength = h[0], mapType = h[1], type = h[2];
    const int mapLength = static_cast<int>(LoadLE16(&h[5])), mapBits = h[7];
    const int width = static_cast<int>(LoadLE16(&h[12])),
              height = static_cast<int>(LoadLE16(&h[14]));
    const int bits = h[16];
    const bool mapped = mapType == 1;
    const bool typeFits =
        mapped ? (type == 1 || type == 9)
               : mapType == 0 && (type == 2 || type == 3 || type == 10 || type == 11);
    const auto depth = [](int b) { return b == 8 || b == 15 || b == 16 || b == 24 || b == 32; };
    if (!typeFits || (mapped && !depth(mapBits)) || width < 1 || height < 1 || !depth(bits) ||
        (mapped && bits != 8 && bits != 16))
        return Header::Refusal(std::string(NotAPictureText));
    const std::int64_t pixelBytes = (bits + 7) / 8;
    const std::int64_t start = 18 + idLength + (mapped ? mapLength * ((mapBits + 7) / 8) : 0);
    const std::int64_t pixels = std::int64_t{width} * height;
    if (type < 9)
        return Claim(width, height, size, start + pixels * pixelBytes, true);
    // A run-length packet is a count byte and one pixel for up to 128 pixels.
    const std::int64_t packets = (pixels + 127) / 128;
    return Claim(width, height, size, start + packets * (1 + pixelBytes), false);
}

} // namespace

Header ReadPictureHeader(BinaryFile& file) {
    const std::int64_t size = file.Size();
    std::array<std::uint8_t, PictureHeadSize> head{};
    file.Seek(0);
    const std::size_t got = file.Read(head);
    switch (const ContentKind kind = KindOfContent({head.data(), got})) {
    case ContentKind::Png:
        return PngHeader(file, size);
    case ContentKind::Jpeg:
        return JpegHeader(file, size);
    case ContentKind::Gif:
        return GifHeader(file, size);
    case ContentKind::Bmp:
        return BmpHeader(file, size);
    case ContentKind::Empty:
        return Header::Refusal("the file is empty");
    case ContentKind::Unknown:
        return TgaHeader(file, size);
    default:
        return Header::Refusal("it is " + ContentKindName(kind) +
                               ", a kind of picture this program does not read");
    }
}

} // namespace zantrel
