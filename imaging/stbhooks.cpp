// What the stb libraries call back: memory for the decoder, zlib for the PNG
// writer.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

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

unsigned char* DeflateForPng(unsigned char* data, int size, int* written, int /*quality*/) {
    // stb frees the result with free(). Level 6, zlib's default: the files come out a third smaller than stb's
    // own deflate makes them, in a fraction of its time.
    constexpr int Level = 6;
    uLongf bound = compressBound(static_cast<uLong>(size));
    auto* out = static_cast<unsigned char*>(std::malloc(bound));
    if (!out)
        return nullptr;
    if (compress2(out, &bound, data, static_cast<uLong>(size), Level) != Z_OK) {
        std::free(out);
        return nullptr;
    }
    *written = static_cast<int>(bound);
    return out;
}

} // namespace zantrel
