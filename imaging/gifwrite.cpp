#include "imaging/gifwrite.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "base/fileio.h"

namespace zantrel {

namespace {

// LZW codes are at most 12 bits wide, so a table holds 4096 of them.
constexpr int MaxLzwBits = 12;
constexpr int LzwTableSize = 1 << MaxLzwBits;
// Image data is split into sub-blocks, each led by its length byte.
constexpr std::size_t MaxSubBlock = 255;

struct ColourCount {
    std::uint32_t colour; // 0xRRGGBB
    std::uint64_t count;
};

// channel 0 is red, 1 green, 2 blue.
int ChannelOf(std::uint32_t colour, int channel) {
    return static_cast<int>((colour >> (16 - 8 * channel)) & 0xFF);
}

// Reduces the colours to at most maxColours by median cut: all integer, and
// every sort ordered fully, so that each build picks the same palette.
// histogram: distinct colours with their pixel counts. Returns the palette
// ascending.
std::vector<std::uint32_t> MedianCut(std::vector<ColourCount> histogram, std::size_t maxColours) {
    struct Box {
        std::size_t begin, end; // the box's colours in histogram
        std::uint64_t count;    // its pixels
        int channel;            // its widest channel
        int range;              // that channel's spread
    };
    const auto boxOf = [&histogram](std::size_t begin, std::size_t end) {
        int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
        std::uint64_t count = 0;
        for (std::size_t i = begin; i < end; ++i) {
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], ChannelOf(histogram[i].colour, c));
                high[c] = std::max(high[c], ChannelOf(histogram[i].colour, c));
            }
            count += histogram[i].count;
        }
        int channel = 0;
        for (int c = 1; c < 3; ++c)
            if (high[c] - low[c] > high[channel] - low[channel])
                channel = c;
        return Box{begin, end, count, channel, high[channel] - low[channel]};
    };
    std::vector<Box> boxes{boxOf(0, histogram.size())};
    while (boxes.size() < maxColours) {
        // The widest box is split first, so that no colour is left far from
        // its entry; of equally wide ones, the one with more pixels, then the
        // earlier one.
        std::size_t pick = boxes.size();
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2)
                continue;
            if (pick == boxes.size() || boxes[i].range > boxes[pick].range ||
                (boxes[i].range == boxes[pick].range && boxes[i].count > boxes[pick].count))
                pick = i;
        }
        if (pick == boxes.size())
            break;
        const Box box = boxes[pick];
        // Distinct colours never compare equal, so this order is total.
        std::sort(histogram.begin() + static_cast<std::ptrdiff_t>(box.begin),
                  histogram.begin() + static_cast<std::ptrdiff_t>(box.end),
                  [channel = box.channel](const ColourCount& a, const ColourCount& b) {
                      const int ka = ChannelOf(a.colour, channel);
                      const int kb = ChannelOf(b.colour, channel);
                      return ka != kb ? ka < kb : a.colour < b.colour;
                  });
        // The cut leaves about half the pixels on each side and a colour on both.
        std::size_t cut = box.begin + 1;
        std::uint64_t below = 0;
        for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
            below += histogram[i].count;
            cut = i + 1;
            if (2 * below >= box.count)
                break;
        }
        boxes[pick] = boxOf(box.begin, cut);
        boxes.push_back(boxOf(cut, box.end));
    }
    std::vector<std::uint32_t> palette;
    for (const Box& box : boxes) {
        std::uint64_t sum[3] = {0, 0, 0};
        for (std::size_t i = box.begin; i < box.end; ++i)
            for (int c = 0; c < 3; ++c)
                sum[c] += static_cast<std::uint64_t>(ChannelOf(histogram[i].colour, c)) *
                          histogram[i].count;
        std::uint32_t mean = 0;
        for (int c = 0; c < 3; ++c)
            mean = mean << 8 | static_cast<std::uint32_t>((sum[c] + box.count / 2) / box.count);
        palette.push_back(mean);
    }
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    return palette;
}

// By squared RGB distance; a tie goes to the lower index.
std::uint8_t NearestIndex(const std::vector<std::uint32_t>& palette, std::uint32_t colour) {
    std::size_t best = 0;
    int bestDistance = INT_MAX;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        int distance = 0;
        for (int c = 0; c < 3; ++c) {
            const int d = ChannelOf(palette[i], c) - ChannelOf(colour, c);
            distance += d * d;
        }
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<std::uint8_t>(best);
}

bool IsOpaque(std::uint32_t pixel) { return pixel >> 24 >= GifOpaqueAlpha; }

// The opaque colours and the palette index of each pixel (transparent ones
// take the index after the colours).
struct Indexed {
    std::vector<std::uint32_t> colours; // 0xRRGGBB, ascending
    bool transparent = false;
    std::vector<std::uint8_t> indices;
};

Indexed IndexPicture(const Picture& picture) {
    Indexed indexed;
    std::vector<std::uint32_t> opaque;
    opaque.reserve(picture.pixels.size());
    for (std::uint32_t pixel : picture.pixels) {
        if (IsOpaque(pixel))
            opaque.push_back(pixel & 0xFFFFFF);
        else
            indexed.transparent = true;
    }
    std::sort(opaque.begin(), opaque.end());
    std::vector<ColourCount> histogram;
    for (std::uint32_t colour : opaque) {
        if (histogram.empty() || histogram.back().colour != colour)
            histogram.push_back({colour, 0});
        ++histogram.back().count;
    }
    opaque = {};

    // distinct[i] (ascending) takes palette index indexOf[i].
    std::vector<std::uint32_t> distinct;
    distinct.reserve(histogram.size());
    for (const ColourCount& entry : histogram)
        distinct.push_back(entry.colour);
    std::vector<std::uint8_t> indexOf(distinct.size());
    const std::size_t room = indexed.transparent ? 255 : 256;
    if (distinct.size() <= room) {
        indexed.colours = distinct;
        for (std::size_t i = 0; i < distinct.size(); ++i)
            indexOf[i] = static_cast<std::uint8_t>(i);
    } else {
        indexed.colours = MedianCut(std::move(histogram), room);
        for (std::size_t i = 0; i < distinct.size(); ++i)
            indexOf[i] = NearestIndex(indexed.colours, distinct[i]);
    }

    const auto transparentIndex = static_cast<std::uint8_t>(indexed.colours.size());
    indexed.indices.reserve(picture.pixels.size());
    for (std::uint32_t pixel : picture.pixels) {
        if (!IsOpaque(pixel)) {
            indexed.indices.push_back(transparentIndex);
            continue;
        }
        const auto at = std::lower_bound(distinct.begin(), distinct.end(), pixel & 0xFFFFFF);
        indexed.indices.push_back(indexOf[static_cast<std::size_t>(at - distinct.begin())]);
    }
    return indexed;
}

// Codes packed least significant bit first, as GIF stores them.
class BitPacker {
public:
    explicit BitPacker(std::vector<std::uint8_t>& out) : out_(out) {}
    void Put(int code, int width) {
        bits_ |= static_cast<std::uint32_t>(code) << count_;
        count_ += width;
        for (; count_ >= 8; count_ -= 8) {
            out_.push_back(static_cast<std::uint8_t>(bits_));
            bits_ >>= 8;
        }
    }
    void Flush() {
        if (count_ > 0)
            out_.push_back(static_cast<std::uint8_t>(bits_));
        bits_ = 0;
        count_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint32_t bits_ = 0;
    int count_ = 0;
};

// The LZW code stream of the indices, from the first clear code to the end
// code. A decoder adds each table entry one code later than this side does,
// so the width grows once the code just added no longer fits: the decoder may
// read that very code next.
std::vector<std::uint8_t> CompressLzw(const std::vector<std::uint8_t>& indices, int minCodeSize) {
    const int alphabet = 1 << minCodeSize;
    const int clear = alphabet;
    const int end = clear + 1;
    // The code of a string followed by one index, at string * alphabet +
    // index; 0 where there is none (no added code is below clear + 2).
    std::vector<std::uint16_t> extension(static_cast<std::size_t>(LzwTableSize) * alphabet, 0);
    std::vector<std::size_t> filled;
    std::vector<std::uint8_t> out;
    BitPacker packer(out);
    int width = minCodeSize + 1;
    int next = clear + 2;
    packer.Put(clear, width);
    int string = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const std::size_t slot = static_cast<std::size_t>(string) * alphabet + indices[i];
        if (extension[slot] != 0) {
            string = extension[slot];
            continue;
        }
        packer.Put(string, width);
        extension[slot] = static_cast<std::uint16_t>(next);
        filled.push_back(slot);
        if (next == (1 << width) && width < MaxLzwBits)
            ++width;
        if (++next == LzwTableSize) {
            packer.Put(clear, width);
            for (std::size_t used : filled)
                extension[used] = 0;
            filled.clear();
            width = minCodeSize + 1;
            next = clear + 2;
        }
        string = indices[i];
    }
    packer.Put(string, width);
    // The decoder adds an entry for the last code too, and may widen before
    // it reads the end code (not after a clear's first code: clear + 2 is no
    // power of two).
    if (next == (1 << width) && width < MaxLzwBits)
        ++width;
    packer.Put(end, width);
    packer.Flush();
    return out;
}

void PutLE16(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

} // namespace

std::vector<std::uint8_t> EncodeGif(const Picture& picture) {
    if (picture.width < 1 || picture.width > MaxGifSide || picture.height < 1 ||
        picture.height > MaxGifSide)
        throw std::invalid_argument("a GIF is 1 to 65535 pixels on each side");
    if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        throw std::invalid_argument("the picture's pixels do not match its size");
    const Indexed indexed = IndexPicture(picture);
    const std::size_t used = indexed.colours.size() + (indexed.transparent ? 1 : 0);
    int tableBits = 1;
    while (std::size_t{1} << tableBits < used)
        ++tableBits;

    std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    PutLE16(out, picture.width);
    PutLE16(out, picture.height);
    // Global table present, 8 bits per primary in the source, unsorted.
    out.push_back(static_cast<std::uint8_t>(0x80 | 0x70 | (tableBits - 1)));
    out.push_back(0); // background colour index
    out.push_back(0); // no aspect ratio given
    for (std::uint32_t colour : indexed.colours)
        for (int c = 0; c < 3; ++c)
            out.push_back(static_cast<std::uint8_t>(ChannelOf(colour, c)));
    // The transparent entry and the unused ones are black.
    out.resize(out.size() + 3 * ((std::size_t{1} << tableBits) - indexed.colours.size()), 0);
    if (indexed.transparent) {
        // Graphic Control Extension: no disposal, no delay, transparent index.
        for (std::uint8_t b : {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00})
            out.push_back(b);
        out.push_back(static_cast<std::uint8_t>(indexed.colours.size()));
        out.push_back(0);
    }
    // Image descriptor: at 0,0, the whole screen, no local table, not interlaced.
    out.push_back(0x2C);
    PutLE16(out, 0);
    PutLE16(out, 0);
    PutLE16(out, picture.width);
    PutLE16(out, picture.height);
    out.push_back(0);
    const int minCodeSize = std::max(2, tableBits);
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    const std::vector<std::uint8_t> data = CompressLzw(indexed.indices, minCodeSize);
    for (std::size_t at = 0; at < data.size(); at += MaxSubBlock) {
        const std::size_t size = std::min(MaxSubBlock, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(size));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    out.push_back(0); // block terminator
    out.push_back(0x3B);
    return out;
}

void WriteGifFile(const std::string& path, const Picture& picture) {
    WriteFileAtomically(path, EncodeGif(picture));
}

} // namespace zantrel
