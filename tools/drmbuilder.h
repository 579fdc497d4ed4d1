// Builds DRM code groups (code group 15) from a readable description, for the
// tests, the sample generator, the fuzzers and the benchmarks. The layout is
// the one the DRM code reads: header words, tag, directory, picture table and
// picture area in the start region, then the icons, their zero padding to a
// multiple of 16, the icon table and the trail.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace zantrel::samples {

// Where FindDrmTag finds the DRM: "_drm" at 468 or 456 means the basic
// layout, at 464 the extended one; SignatureWord puts no tag anywhere and
// relies on the word 0x10D0001C at offset 8 (needs prefix and that load
// address), which also means the extended layout.
enum class TagVariant { At468, At456, At464, SignatureWord };

struct PicturePlan {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> pixels; // width * height, row by row from the top
    std::vector<bool> transparent;     // empty, or one flag per pixel
    int fillerBytes = 0;               // even; bytes after the mask up to the next picture
};

struct DrmPlan {
    bool extended = false; // picture table and picture area
    bool prefix = false;   // 8-byte prefix: word at 0 is 0, load address at 8
    TagVariant tag = TagVariant::At468;
    std::uint32_t loadAddress = 0x10D0001C; // the base address clears the low byte
    // Extended with prefix: the name pointer leads to a name other than
    // "_drm", so the directory pointer is at 44 (a wrong pointer sits at 52).
    bool nameCheckFails = false;
    std::vector<std::vector<std::uint8_t>> icons; // raw bytes of each icon
    std::vector<PicturePlan> pictures;            // extended only
    std::vector<std::uint8_t> trail;              // empty: 32 bytes of pattern; else >= 16 bytes
    bool extraIconPadding = false;                // 16 zero bytes more than the minimal padding
    std::vector<std::uint8_t> strayTableBytes;    // bytes after the icon table's last word
};

// File offsets of the pieces of a built code group.
struct DrmLayout {
    std::uint32_t baseAddress = 0;
    std::int64_t directoryOffset = 0; // anchor word; the directory spans -16 .. +40
    std::int64_t directoryPointerOffset = 0;
    std::int64_t pictureTableOffset = 0; // extended only
    std::int64_t pictureAreaOffset = 0;  // extended only
    std::vector<std::int64_t> pictureOffsets;
    std::vector<std::int64_t> pictureSizes; // raw bytes, filler included
    std::int64_t iconAreaOffset = 0;        // = size of "start.bin"
    std::vector<std::int64_t> iconOffsets;
    std::int64_t iconTableOffset = 0;
    std::int64_t iconTableSize = 0; // words and stray bytes
    std::int64_t trailOffset = 0;
    std::int64_t totalSize = 0;
};

// Throws std::invalid_argument for a description that cannot be laid out.
DrmLayout LayOutDrm(const DrmPlan& plan);
std::vector<std::uint8_t> BuildDrmCodeGroup(const DrmPlan& plan);
// The same bytes handed to sink piece by piece, in file order, so a large
// code group never has to sit in memory whole.
void WriteDrmCodeGroup(const DrmPlan& plan,
                       const std::function<void(std::span<const std::uint8_t>)>& sink);

// A real, valid GIF89a of w x h pixels with a 4-colour palette.
std::vector<std::uint8_t> GifIcon(int w, int h, std::uint8_t seed);
// A real 24-bit bottom-up BMP of w x h pixels.
std::vector<std::uint8_t> BmpIcon(int w, int h, std::uint8_t seed);
// A picture with distinct pixels. With a mask, some pixels are transparent and
// hold 0xF81F (magenta, the default replacer), so that a conversion to BMP and
// back gives the same raw bytes; opaque pixels never take that value.
PicturePlan SamplePicture(int w, int h, std::uint8_t seed, bool withMask, int fillerBytes);
// Pixels (big-endian), mask words (big-endian, first pixel in the top bit),
// then the filler bytes.
std::vector<std::uint8_t> RawPictureBytes(const PicturePlan& picture);

// The small extended DRM the window tests show: icons of 12 x 10 (GIF),
// 9 x 8 (BMP) and 16 x 16 (GIF), pictures of 3 x 2 (masked) and 40 x 30.
DrmPlan SmallExtendedPlan(std::uint8_t seed);
// A superfile at path: a patterned 600-byte RAMDLD and plan's code group.
void WriteSampleSuperfile(const std::string& path, const DrmPlan& plan, std::uint32_t seed);

} // namespace zantrel::samples
