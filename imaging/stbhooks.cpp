// What stb_image calls back: memory for the decoder, and zlib, which
// inflates the PNG files the decoder reads; and zlib's deflate for the PNG
// files this program writes (pngencode.cpp), on the same kept streams.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "base/reused.h"

#include "imaging/deflate.h"
#include "imaging/pictureheader.h"
#include "imaging/stbimage.h"

namespace zantrel {

namespace {

// The largest block the decoder needs for the largest picture it is given:
// four bytes a pixel, and a little for its tables. A larger request is a
// header the checks before it missed, refused here as out of memory.
constexpr std::size_t MaxDecoderBlock = 4 * static_cast<std::size_t>(MaxDecodedPixels) + (1 << 20);

// Each block carries its size in front, for a reallocation's copy; through
// operator new, so that what a picture costs is counted like the rest.
constexpr std::size_t Front = alignof(std::max_align_t);

std::size_t& SizeOf(void* block) {
    return *reinterpret_cast<std::size_t*>(static_cast<unsigned char*>(block) - Front);
}

} // namespace

void* DecoderAllocate(std::size_t size) {
    if (size > MaxDecoderBlock)
        return nullptr;
    auto* raw = static_cast<unsigned char*>(::operator new(size + Front, std::nothrow));
    if (!raw)
        return nullptr;
    *reinterpret_cast<std::size_t*>(raw) = size;
    return raw + Front;
}

void* DecoderReallocate(void* block, std::size_t size) {
    if (!block)
        return DecoderAllocate(size);
    void* grown = DecoderAllocate(size);
    if (!grown)
        return nullptr; // the old block stays the caller's
    std::memcpy(grown, block, std::min(SizeOf(block), size));
    DecoderFree(block);
    return grown;
}

void DecoderFree(void* block) {
    if (block)
        ::operator delete(static_cast<unsigned char*>(block) - Front);
}

namespace {

// A zlib stream, made once and reset for every picture: its quarter megabyte
// of tables is not allocated and cleared again each time.
class ZStream {
public:
    enum Kind { Inflating, DeflatingRuns, DeflatingFully };
    explicit ZStream(Kind kind) : deflating_(kind != Inflating) {
        // Inflating: the raw data after the zlib header, which is checked by hand.
        if (kind == Inflating)
            ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
        else if (kind == DeflatingRuns)
            ready_ = deflateInit2(&stream_, Z_BEST_SPEED, Z_DEFLATED, MAX_WBITS, 8, Z_RLE) == Z_OK;
        else
            ready_ = deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK;
    }
    ~ZStream() {
        if (ready_)
            deflating_ ? deflateEnd(&stream_) : inflateEnd(&stream_);
    }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    z_stream* Reset() {
        if (!ready_)
            return nullptr;
        return (deflating_ ? deflateReset(&stream_) : inflateReset(&stream_)) == Z_OK ? &stream_
                                                                                      : nullptr;
    }

private:
    z_stream stream_{};
    bool deflating_;
    bool ready_ = false;
};

template <ZStream::Kind kind> std::unique_ptr<ZStream> MakeStream() {
    return std::make_unique<ZStream>(kind);
}

using StreamPool = Reused<ZStream, std::unique_ptr<ZStream> (*)()>;

// The streams of one kind, lent to whichever thread writes or reads a PNG.
StreamPool& Streams(ZStream::Kind kind) {
    static StreamPool inflating(MakeStream<ZStream::Inflating>);
    static StreamPool runs(MakeStream<ZStream::DeflatingRuns>);
    static StreamPool full(MakeStream<ZStream::DeflatingFully>);
    return kind == ZStream::Inflating ? inflating : kind == ZStream::DeflatingRuns ? runs : full;
}

} // namespace

// Below this many bytes a picture is an icon or a small picture: a full
// search for matches costs little there and keeps its PNG several times
// smaller than runs alone would.
constexpr int FullySearchedBelow = 64 * 1024;

std::size_t AppendDeflated(const std::uint8_t* data, std::size_t size,
                           std::vector<std::uint8_t>& out) {
    // A large picture: runs of repeated bytes only, as fast on a noisy
    // picture as on flat colour, where a full search for matches takes
    // several times longer for files a quarter smaller.
    const auto lease =
        Streams(size < FullySearchedBelow ? ZStream::DeflatingFully : ZStream::DeflatingRuns)
            .Take();
    z_stream* stream = lease->Reset();
    if (!stream || size > std::numeric_limits<uInt>::max())
        throw std::bad_alloc(); // zlib's only failures here: its memory, or a size past its reach
    const std::size_t start = out.size();
    out.resize(start + deflateBound(stream, static_cast<uLong>(size)));
    stream->next_in = const_cast<std::uint8_t*>(data);
    stream->avail_in = static_cast<uInt>(size);
    stream->next_out = out.data() + start;
    stream->avail_out = static_cast<uInt>(out.size() - start);
    if (deflate(stream, Z_FINISH) != Z_STREAM_END)
        throw std::bad_alloc();
    out.resize(start + stream->total_out);
    return stream->total_out;
}

std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}

} // namespace zantrel

// stb_image's PNG decoder hands its image data here. As stb's own inflater:
// the zlib header is checked (unless parseHeader is 0), its checksum is not,
// and the block is grown as the data needs it. Data past twice the size
// the image takes (expected) is not inflated: the decoder would drop it.
extern "C" char* stbi_zlib_decode_malloc_guesssize_headerflag(const char* buffer, int length,
                                                              int expected, int* written,
                                                              int parseHeader) {
    using namespace zantrel;
    auto input = reinterpret_cast<const unsigned char*>(buffer);
    if (parseHeader) {
        if (length < 2 || (input[0] * 256 + input[1]) % 31 != 0 || (input[1] & 0x20) != 0 ||
            (input[0] & 0x0F) != Z_DEFLATED)
            return nullptr;
        input += 2;
        length -= 2;
    }
    const auto lease = Streams(ZStream::Inflating).Take();
    z_stream* stream = lease->Reset();
    if (!stream || length < 0)
        return nullptr;
    const std::size_t limit = 2 * static_cast<std::size_t>(std::max(expected, 0)) + 65536;
    std::size_t capacity = std::clamp<std::size_t>(static_cast<std::size_t>(expected), 1, limit);
    auto* out = static_cast<unsigned char*>(DecoderAllocate(capacity));
    if (!out)
        return nullptr;
    stream->next_in = const_cast<unsigned char*>(input);
    stream->avail_in = static_cast<uInt>(length);
    std::size_t produced = 0;
    for (;;) {
        stream->next_out = out + produced;
        stream->avail_out = static_cast<uInt>(capacity - produced);
        const int result = inflate(stream, Z_NO_FLUSH);
        produced = capacity - stream->avail_out;
        if (result == Z_STREAM_END || (stream->avail_out == 0 && capacity == limit))
            break;
        // Damaged, or room left for more and the data ends before the stream.
        if ((result != Z_OK && result != Z_BUF_ERROR) || stream->avail_out != 0) {
            DecoderFree(out);
            return nullptr;
        }
        capacity = std::min(2 * capacity, limit);
        auto* grown = static_cast<unsigned char*>(DecoderReallocate(out, capacity));
        if (!grown) {
            DecoderFree(out);
            return nullptr;
        }
        out = grown;
    }
    if (written)
        *written = static_cast<int>(produced);
    return reinterpret_cast<char*>(out);
}
