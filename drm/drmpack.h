// The DRM inside code group 15: its layout, its decompilation into work
// files, its compilation back, and the port of one image's DRM into another.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "flash/fileio.h"

namespace zantrel {

// The numbers "descr.dat" carries, in record order.
struct DrmRecords {
    std::int32_t directoryOffset = 0;
    std::int32_t baseAddress = 0;
    std::int32_t trailPointer1 = 0;
    std::int32_t trailStart = 0;
    std::int32_t trailPointer2 = 0;
    std::int32_t trailPointer3 = 0;
    std::int32_t iconAreaStart = 0;
    std::int32_t iconTableStart = 0;
    std::int32_t iconCount = 0;
    std::int32_t reserved = 0;
    std::int32_t prefixLength = 0;
    std::int32_t nameEntryOffset = 0;
    bool extended = false; // records 13 to 15 present
    std::int32_t pictureCount = 0;
    std::int32_t pictureAreaOffset = 0;
    std::int32_t pictureTableOffset = 0;
};

struct DrmHeader {
    std::int32_t directoryOffset = 0;
    std::int32_t baseAddress = 0;
    std::int32_t trailPointer1 = 0;
    std::int32_t trailStart = 0;
    std::int32_t trailPointer2 = 0;
    std::int32_t trailPointer3 = 0;
    std::int32_t iconAreaStart = 0;
    std::int32_t iconTableStart = 0;
    std::int32_t prefixLength = 0;
    std::int32_t nameEntryOffset = 0;
};

DrmHeader ParseDrmHeader(BinaryFile& codeGroup, bool extendedLayout);

// Everything a reader of the DRM needs to know of one code group, checked
// against the file: the header, the icon table and the picture table.
struct DrmIcon {
    std::int64_t offset = 0; // file offset in the code group
    std::int64_t size = 0;
    bool bmp = false;
};
struct DrmPicture {
    int width = 0;
    int height = 0;
    std::int64_t offset = 0; // file offset in the code group
    std::int64_t size = 0;   // bytes up to the next picture
};
struct DrmSummary {
    bool extended = false;
    DrmHeader header;
    std::int32_t pictureAreaOffset = 0;
    std::int32_t pictureTableOffset = 0;
    std::vector<DrmPicture> pictures;
    std::vector<DrmIcon> icons;
};
// Reads and checks the DRM of an open code group. On a bad one returns the
// message that says what is wrong (for the "Error" box) in error.
std::optional<DrmSummary> InspectDrm(BinaryFile& codeGroup, std::string& error);

// Decompiles binaryNDir/CG15.bin into image n's drmpack folder. Returns
// false, after showing the message, when the code group is refused; then no
// work file has been written. Throws IoError.
bool DrmDecompile(int image);

// Reads "descr.dat" (12 or 15 records); throws IoError on a missing or bad one.
DrmRecords ReadDescr(const std::string& path);
void WriteDescr(const std::string& path, const DrmRecords& records);

// Compiles image 1's work folder into compiledImagePath, complete or not at
// all. Returns false, after showing the message, when an edited file is
// refused (nothing is then written). Throws IoError.
bool DrmCompile();
// The same into another path (the superfile writer compiles to a temporary).
bool DrmCompileTo(const std::string& outputPath);

// Copies image 2's icons and pictures over image 1's, slot by slot.
void PortDrm();

} // namespace zantrel
