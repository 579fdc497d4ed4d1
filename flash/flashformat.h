// The flash header of superfiles and SBF files and the code-group table it
// yields.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/fileio.h"
#include "base/worktree.h"

namespace zantrel {

inline constexpr std::int32_t FlashHeaderSize = 8172;  // bytes copied to header.bin
inline constexpr int CodeGroupSlots = 21;              // entries of codeGroupTable
inline constexpr std::int64_t PieceCountOffset = 944;  // little-endian piece count
inline constexpr std::int64_t RamdldEntryOffset = 948; // RAMDLD piece entry
inline constexpr std::int64_t FirstSlotOffset = 1004;  // code-group slot 0
inline constexpr std::int64_t SlotSize = 28;           // bytes per piece entry

struct strrec {
    std::string fileName;
    std::int32_t startAddress = 0;
    std::int32_t endAddress = 0;
    std::int32_t size = 0;
};

// What a flash header lists: entry 0 is the RAMDLD, then the code groups in
// the order the file carries them, each with its work file in the image's
// binary folder.
struct CodeGroupTable {
    std::array<strrec, CodeGroupSlots> entries;
    int count = 0;         // entries filled, RAMDLD included
    bool listsDrm = false; // the DRM code group is among them
};

// Parses an open header.bin; the work files are named in binaryDir. A
// header whose piece count exceeds the table, or whose non-empty slots run
// out before the count, lists no DRM.
CodeGroupTable ParseFlashHeader(BinaryFile& header, const std::string& binaryDir);

} // namespace zantrel
