#include "flash/flashformat.h"

#include <cstring>

#include "base/paths.h"
#include "base/primitives.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

// Slots that fit inside the header: the scan never reads past it.
constexpr int HeaderSlots = static_cast<int>((FlashHeaderSize - FirstSlotOffset) / SlotSize);

void FillEntry(strrec& entry, std::string fileName, std::int32_t start, std::int32_t end) {
    entry.fileName = std::move(fileName);
    entry.startAddress = start;
    entry.endAddress = end;
    entry.size = static_cast<std::int32_t>(static_cast<std::uint32_t>(end) -
                                           static_cast<std::uint32_t>(start) + 1u);
}

} // namespace

CodeGroupTable ParseFlashHeader(BinaryFile& header, const std::string& folder) {
    CodeGroupTable table;
    auto& entries = table.entries;
    // A header cut short is no flash header: no DRM, and nothing read past it.
    if (header.Size() < FlashHeaderSize)
        return table;
    FillEntry(entries[0], JoinPath(folder, RamdldFileName), ReadLE32At(header, RamdldEntryOffset),
              ReadLE32At(header, RamdldEntryOffset + 4));
    table.count = 1;

    const std::int32_t count = ReadLE32At(header, PieceCountOffset);
    // More pieces than the table holds: refuse rather than run past it.
    if (count > CodeGroupSlots)
        return table;

    bool found = false;
    int slot = 0;
    for (int k = 1; k < count; ++k) {
        std::int32_t start = 0;
        while (slot < HeaderSlots &&
               (start = ReadLE32At(header, FirstSlotOffset + SlotSize * slot)) == 0)
            ++slot;
        if (slot >= HeaderSlots)
            return table; // fewer non-empty slots than the count asks for
        std::int32_t end = ReadLE32At(header, FirstSlotOffset + SlotSize * slot + 4);
        FillEntry(entries[k], JoinPath(folder, CodeGroupFileName(slot)), start, end);
        if (slot == DrmCodeGroup)
            found = true;
        ++slot;
        table.count = k + 1;
    }

    // A file beginning with CG0 carries CG0 and the next code group as one piece.
    if (table.count >= 3 && entries[1].fileName == JoinPath(folder, CodeGroupFileName(0))) {
        strrec& first = entries[1];
        first.fileName = JoinPath(folder, CodeGroupFileName(1));
        first.endAddress = entries[2].endAddress;
        first.size = static_cast<std::int32_t>(static_cast<std::uint32_t>(first.size) +
                                               static_cast<std::uint32_t>(entries[2].size));
        for (int j = 3; j < table.count; ++j)
            entries[j - 1] = entries[j];
        --table.count;
    }
    table.listsDrm = found;
    return table;
}

} // namespace zantrel
