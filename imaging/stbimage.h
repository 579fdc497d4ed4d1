// Debian's stb_image, stb_image_resize and stb_image_write, as this program
// builds them: the formats it reads, no file access of their own (the file
// layer streams the bytes), and no SIMD paths, so that the Linux and the
// Windows builds decode and scale every picture to the same bytes. The
// decoder allocates through DecoderAllocate, which refuses any block larger
// than the largest picture it may decode needs. PNG data is inflated by
// Debian's zlib, the same version on both systems, a few times faster than
// stb's own: the decoder's zlib client is stbhooks.cpp's. The program's own
// PNG files are written by pngencode.cpp; stb_image_write makes only test
// pictures.
#pragma once

#include <cstddef>

namespace zantrel {
void* DecoderAllocate(std::size_t size);
void* DecoderReallocate(void* block, std::size_t size);
void DecoderFree(void* block);
} // namespace zantrel

#define STBI_NO_STDIO
#define STBI_NO_SIMD
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_ZLIB
#define STBI_MALLOC(size) zantrel::DecoderAllocate(size)
#define STBI_REALLOC(block, size) zantrel::DecoderReallocate(block, size)
#define STBI_FREE(block) zantrel::DecoderFree(block)
#include <stb_image.h>

#define STBI_WRITE_NO_STDIO
#include <stb_image_resize.h>
#include <stb_image_write.h>
