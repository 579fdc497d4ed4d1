// Debian's stb_image, stb_image_resize and stb_image_write, as this program
// builds them: the formats it reads, no file access of their own (the file
// layer streams the bytes), and no SIMD paths, so that the Linux and the
// Windows builds decode and scale every picture to the same bytes.
#pragma once

#define STBI_NO_STDIO
#define STBI_NO_SIMD
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#include <stb_image.h>

#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <stb_image_resize.h>
