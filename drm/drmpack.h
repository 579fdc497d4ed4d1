// The DRM inside code group 15: its layout, the records "descr.dat" carries
// and the work files' pieces that decompilation (drm/decompile.h),
// compilation (drm/compile.h) and the port (drm/port.h) share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/outcome.h"
#include "base/primitives.h"
#include "base/worktree.h"

namespace zantrel {

// Whether a code-group image holds a DRM: "_drm" at 468 or 456 (the basic
// layout), at 464 or the signature word at 8 (the extended one).
inline constexpr std::int32_t DrmSignatureWord = 0x10D0001C;
struct DrmTag {
    bool found = false;
    bool extended = false;
};
DrmTag FindDrmTag(BinaryFile& image);

// One 16-byte record of the DRM's picture table ("rawoff.bin" holds them
// verbatim): byte 0 is 0 while the table goes on, the width is byte 1, the
// height byte 3, and the picture's start, in 16-bit units from the picture
// area, the big-endian word at 12.
inline constexpr std::int64_t PictureDescriptorSize = 16;
struct PictureDescriptor {
    int width = 0;
    int height = 0;
    std::uint32_t start = 0;
};
inline bool EndsPictureTable(const std::uint8_t* record) { return record[0] != 0; }
inline PictureDescriptor ParsePictureDescriptor(const std::uint8_t* record) {
    return {record[1], record[3], LoadBE32(record + 12)};
}

// Icons and pictures a DRM may list; more is taken as a damaged file.
inline constexpr std::int32_t MaxDrmItems = 2999;

// Where each word of the DRM directory lies from its anchor word
// (DrmHeader::directoryOffset): the trail's four words before it, the icon
// area's and the icon table's starts from it. Decompilation reads them;
// compilation writes the moved ones back.
struct DirectoryWords {
    static constexpr std::int64_t TrailPointer1 = -16;
    static constexpr std::int64_t TrailStart = -12;
    static constexpr std::int64_t TrailPointer2 = -8;
    static constexpr std::int64_t TrailPointer3 = -4;
    static constexpr std::int64_t IconAreaStart = 0;
    static constexpr std::int64_t IconTableStart = 4;
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

// The numbers "descr.dat" carries: the header's, with the counts. In the
// file they stand in the order of ParseDrmHeader's fields, with iconCount
// and reserved before prefixLength, then the picture records.
struct DrmRecords : DrmHeader {
    std::int32_t iconCount = 0;
    std::int32_t reserved = 0;
    bool extended = false; // records 13 to 15 present
    std::int32_t pictureCount = 0;
    std::int32_t pictureAreaOffset = 0;
    std::int32_t pictureTableOffset = 0;
    std::int64_t recordCount = 0; // as found in the file (12, 15, or more)
};

DrmHeader ParseDrmHeader(BinaryFile& codeGroup, bool extendedLayout);

// A picture's place in a code group (or in "start.bin", its start region)
// as the picture table gives it: its size in pixels, and its bytes up to the
// next picture.
struct PictureSlot {
    int width = 0;
    int height = 0;
    std::int64_t offset = 0; // in the code group
    std::int64_t size = 0;   // bytes up to the next picture
};

// Everything a reader of the DRM needs to know of one code group, checked
// against the file: the header, the icon table and the picture table.
struct DrmIcon {
    std::int64_t offset = 0; // file offset in the code group
    std::int64_t size = 0;
    bool bmp = false;
};
struct DrmSummary {
    bool extended = false;
    DrmHeader header;
    std::int32_t pictureAreaOffset = 0;
    std::int32_t pictureTableOffset = 0;
    std::int32_t pictureDescriptorCount = 0; // R + 3, the ending record not counted
    std::vector<PictureSlot> pictures;
    std::vector<DrmIcon> icons;
};
// Reads and checks the DRM of an open code group; a bad one is refused with
// the message that says what is wrong.
Checked<DrmSummary> InspectDrm(BinaryFile& codeGroup);

// A flash address seen from the code group's base. Addresses are 32-bit
// words and wrap, so one below the base comes out huge and fails every
// bounds check.
inline std::int64_t FileOffsetOf(std::int32_t address, std::int32_t baseAddress) {
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(address) -
                                     static_cast<std::uint32_t>(baseAddress));
}

// Icon n of a work folder: its ".gif" when that opens, else its ".bmp" (a
// checked open). tryGif false goes straight to the ".bmp", for a caller that
// knows there is no ".gif".
struct IconFile {
    BinaryFile file;
    std::string extension;
};
IconFile OpenIconFile(const std::string& iconsDir, long number, bool tryGif = true);

// Reads "descr.dat"; throws IoError on a missing one or one of fewer than 12,
// or 13 or 14, records (100, read beyond end). A longer file reads as 15
// records with recordCount telling how many there were: CheckDescr refuses it.
DrmRecords ReadDescr(const std::string& path);
// The message saying what is wrong with the records' counts; nullopt when
// they can be used.
std::optional<std::string> CheckDescr(const DrmRecords& records);
void WriteDescr(const std::string& path, const DrmRecords& records);

// Checks records CheckDescr accepted against "start.bin" as compilation
// uses them (the directory and, in the extended layout, the picture table
// inside it) and reads the picture slots; refused when they cannot be used.
// Throws IoError.
Checked<std::vector<PictureSlot>> ReadStartRegion(BinaryFile& start, const DrmRecords& records);

} // namespace zantrel
