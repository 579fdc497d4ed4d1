// The DRM's layout inside code group 15: the header, the directory, the icon
// and picture tables, the checks that keep a damaged code group from being
// taken apart, and the record file "descr.dat".
#include "drm/drmpack.h"

#include <array>
#include <cstring>
#include <limits>

#include "base/paths.h"
#include "base/primitives.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

std::string Num(std::int64_t v) { return std::to_string(v); }

std::string Hex(std::int32_t v) { return "0x" + HexWord(static_cast<std::uint32_t>(v)); }

// Distances of the directory words from its anchor word.
constexpr std::int64_t DirectoryBefore = -DirectoryWords::TrailPointer1;
constexpr std::int64_t BasicDirectoryAfter = 8;     // iconAreaStart, iconTableStart
constexpr std::int64_t ExtendedDirectoryAfter = 40; // up to pictureAreaStart
constexpr int BasicRecords = 12;
constexpr int ExtendedRecords = 15;

// Where a picture table of R + 3 descriptors lies, and the region its
// pictures must lie in: the code group's start region, up to its icon area.
struct PictureTablePlace {
    std::int64_t tableOffset = 0;
    std::int64_t areaOffset = 0;
    std::int64_t pictureCount = 0; // R
    std::int64_t regionSize = 0;
    std::int64_t directoryOffset = 0;
};

// The one reader of picture slots, for decompilation, compilation and the
// thumbnails alike: pictures 1 to R from descriptors 1 to R + 1 of a table
// the caller found inside file (each picture runs up to the next one's
// start). A slot may not run backwards, leave the region, or overlap the
// directory words (rewritten by compilation) or the picture table: then the
// message says which. Throws IoError.
Checked<std::vector<PictureSlot>> ReadPictureSlots(BinaryFile& file,
                                                   const PictureTablePlace& place) {
    using Slots = Checked<std::vector<PictureSlot>>;
    const std::int64_t r = place.pictureCount;
    std::vector<PictureDescriptor> descriptors; // 1 to R + 1
    file.Seek(place.tableOffset + PictureDescriptorSize);
    std::array<std::uint8_t, PictureDescriptorSize> record{};
    for (std::int64_t k = 1; k <= r + 1; ++k) {
        file.ReadExact(record);
        descriptors.push_back(ParsePictureDescriptor(record.data()));
    }
    const std::int64_t dirFrom = place.directoryOffset - DirectoryBefore;
    const std::int64_t dirTo = place.directoryOffset + ExtendedDirectoryAfter;
    const std::int64_t tableFrom = place.tableOffset;
    const std::int64_t tableTo = tableFrom + PictureDescriptorSize * (r + 3);
    std::vector<PictureSlot> slots;
    for (std::size_t k = 1; k < descriptors.size(); ++k) {
        const std::string name = "Picture " + Num(static_cast<std::int64_t>(k));
        const std::int64_t from =
            place.areaOffset + 2 * static_cast<std::int64_t>(descriptors[k - 1].start);
        const std::int64_t to =
            place.areaOffset + 2 * static_cast<std::int64_t>(descriptors[k].start);
        if (to < from)
            return Slots::Refusal(name + " ends before it starts (its slot runs from offset " +
                                  Num(from) + " to offset " + Num(to) + ").");
        if (to > place.regionSize)
            return Slots::Refusal(name + " lies outside the start region (it ends at offset " +
                                  Num(to) + "; the icon area starts at offset " +
                                  Num(place.regionSize) + ").");
        if (from < dirTo && to > dirFrom)
            return Slots::Refusal(name + " (offsets " + Num(from) + " to " + Num(to) +
                                  ") overlaps the DRM directory (offsets " + Num(dirFrom) + " to " +
                                  Num(dirTo) + ").");
        if (from < tableTo && to > tableFrom)
            return Slots::Refusal(name + " (offsets " + Num(from) + " to " + Num(to) +
                                  ") overlaps the picture table (offsets " + Num(tableFrom) +
                                  " to " + Num(tableTo) + ").");
        slots.push_back({descriptors[k - 1].width, descriptors[k - 1].height, from, to - from});
    }
    return slots;
}

} // namespace

DrmHeader ParseDrmHeader(BinaryFile& codeGroup, bool extendedLayout) {
    DrmHeader h;
    std::int64_t pointerAt = 44;
    if (ReadBE32At(codeGroup, 0) != 0) {
        h.prefixLength = 0;
        h.nameEntryOffset = 24;
    } else if (!extendedLayout) {
        h.prefixLength = 8;
        h.nameEntryOffset = 36;
        pointerAt = 56;
    } else {
        h.prefixLength = 8;
        h.nameEntryOffset = 32;
        pointerAt = 52;
    }
    h.baseAddress = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(ReadBE32At(codeGroup, h.prefixLength)) & 0xFFFFFF00u);
    if (extendedLayout) {
        std::int64_t name =
            FileOffsetOf(ReadBE32At(codeGroup, h.nameEntryOffset + 4), h.baseAddress);
        std::array<std::uint8_t, 4> bytes{};
        codeGroup.Seek(name);
        // A name outside the file reads short and so is not "_drm".
        if (codeGroup.Read(bytes) != 4 || std::memcmp(bytes.data(), "_drm", 4) != 0)
            pointerAt = 44;
    }
    // Addresses are 32-bit words that wrap: the difference is taken unsigned.
    h.directoryOffset =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadBE32At(codeGroup, pointerAt)) -
                                  static_cast<std::uint32_t>(h.baseAddress));
    std::int64_t dir = FileOffsetOf(h.directoryOffset, 0);
    // Words before the start of the file stay 0; InspectDrm refuses such a directory.
    auto word = [&](std::int64_t at) { return at >= 0 ? ReadBE32At(codeGroup, at) : 0; };
    h.trailPointer1 = word(dir + DirectoryWords::TrailPointer1);
    h.trailStart = word(dir + DirectoryWords::TrailStart);
    h.trailPointer2 = word(dir + DirectoryWords::TrailPointer2);
    h.trailPointer3 = word(dir + DirectoryWords::TrailPointer3);
    h.iconAreaStart = word(dir + DirectoryWords::IconAreaStart);
    h.iconTableStart = word(dir + DirectoryWords::IconTableStart);
    return h;
}

Checked<DrmSummary> InspectDrm(BinaryFile& codeGroup) {
    auto refuse = [](std::string message) {
        return Checked<DrmSummary>::Refusal(std::move(message));
    };
    const std::int64_t size = codeGroup.Size();
    const std::string ofFile = " the code group (" + Num(size) + " bytes)";
    if (size > std::numeric_limits<std::int32_t>::max())
        return refuse("The code group is " + Num(size) +
                      " bytes long; a DRM code group must be smaller than 2 GiB.");
    if (size < 64)
        return refuse("The code group is only " + Num(size) +
                      " bytes long, too short to hold a DRM header.");

    DrmSummary s;
    s.extended = FindDrmTag(codeGroup).extended;
    s.header = ParseDrmHeader(codeGroup, s.extended);
    const DrmHeader& h = s.header;
    const std::int32_t base = h.baseAddress;

    const std::int64_t dir = FileOffsetOf(h.directoryOffset, 0);
    const std::int64_t dirAfter = s.extended ? ExtendedDirectoryAfter : BasicDirectoryAfter;
    if (dir < DirectoryBefore || dir + dirAfter > size)
        return refuse("The DRM directory (offset " + Num(dir) + ") lies outside" + ofFile + ".");

    const std::int64_t iconArea = FileOffsetOf(h.iconAreaStart, base);
    const std::int64_t iconTable = FileOffsetOf(h.iconTableStart, base);
    const std::int64_t trail = FileOffsetOf(h.trailStart, base);
    if (iconArea > size)
        return refuse("The DRM's icon area (offset " + Num(iconArea) + ") lies outside" + ofFile +
                      ".");
    if (iconTable > size)
        return refuse("The DRM's icon table (offset " + Num(iconTable) + ") lies outside" + ofFile +
                      ".");
    if (trail > size)
        return refuse("The DRM's trail (offset " + Num(trail) + ") lies outside" + ofFile + ".");
    if (iconTable < iconArea)
        return refuse("The DRM's icon table (offset " + Num(iconTable) +
                      ") starts before its icon area (offset " + Num(iconArea) + ").");
    if (trail < iconTable)
        return refuse("The DRM's trail (offset " + Num(trail) +
                      ") starts before its icon table (offset " + Num(iconTable) + ").");
    if (dir + dirAfter > iconArea)
        return refuse("The DRM directory (offsets " + Num(dir - DirectoryBefore) + " to " +
                      Num(dir + dirAfter) + ") does not lie before the icon area (offset " +
                      Num(iconArea) + ").");
    const std::int32_t pointers[3] = {h.trailPointer1, h.trailPointer2, h.trailPointer3};
    for (int i = 0; i < 3; ++i) {
        std::int64_t at = FileOffsetOf(pointers[i], base);
        // Compilation moves these words with the trail, so they must lie past the icon table.
        if (at < iconTable || at > std::numeric_limits<std::int32_t>::max())
            return refuse("The DRM's trail pointer " + Num(i + 1) + " (address " +
                          Hex(pointers[i]) + ") points before its icon table (address " +
                          Hex(h.iconTableStart) + ").");
    }

    const std::int64_t tableLength = trail - iconTable;
    if (tableLength < 8)
        return refuse("The DRM's icon table is " + Num(tableLength) +
                      " bytes long; it needs at least 8.");
    const std::int64_t n = tableLength / 4 - 2;
    if (n > MaxDrmItems)
        return refuse("The DRM's icon table lists " + Num(n) + " icons; at most " +
                      Num(MaxDrmItems) + " are supported.");
    codeGroup.Seek(iconTable + 4);
    std::int64_t start = static_cast<std::uint32_t>(ReadBE32(codeGroup));
    for (std::int64_t k = 1; k <= n; ++k) {
        std::int64_t end = static_cast<std::uint32_t>(ReadBE32(codeGroup));
        if (end < start)
            return refuse("Icon " + Num(k) + " ends before it starts (offsets " + Num(start) +
                          " and " + Num(end) + " in the icon table).");
        if (iconArea + end > iconTable)
            return refuse("Icon " + Num(k) + " runs past the icon area (it ends at offset " +
                          Num(iconArea + end) + "; the icon table starts at offset " +
                          Num(iconTable) + ").");
        s.icons.push_back({iconArea + start, end - start, false});
        start = end;
    }
    for (DrmIcon& icon : s.icons) {
        if (icon.size < 2)
            continue;
        std::array<std::uint8_t, 2> magic{};
        codeGroup.Seek(icon.offset);
        codeGroup.ReadExact(magic);
        icon.bmp = magic[0] == 'B' && magic[1] == 'M';
    }

    if (s.extended) {
        const std::int64_t table = FileOffsetOf(ReadBE32At(codeGroup, dir + 32), base);
        const std::int64_t area = FileOffsetOf(ReadBE32At(codeGroup, dir + 36), base);
        if (table > size)
            return refuse("The DRM's picture table (offset " + Num(table) + ") lies outside" +
                          ofFile + ".");
        std::int64_t t = 0; // descriptors
        codeGroup.Seek(table);
        std::array<std::uint8_t, PictureDescriptorSize> record{};
        // The table ends before the first record that says so, or at the end of the file.
        while (codeGroup.Read(record) == record.size() && !EndsPictureTable(record.data())) {
            // R + 3 descriptors for R pictures, at most MaxDrmItems of them.
            if (t >= MaxDrmItems + 3)
                return refuse("The DRM's picture table lists more than " + Num(MaxDrmItems) +
                              " pictures.");
            ++t;
        }
        if (table + PictureDescriptorSize * t > iconArea)
            return refuse("The DRM's picture table (offsets " + Num(table) + " to " +
                          Num(table + PictureDescriptorSize * t) +
                          ") runs past the start region (the icon area starts at offset " +
                          Num(iconArea) + ").");
        if (t < 3)
            return refuse("The DRM's picture table has " + Num(t) +
                          " descriptors; it needs at least 3.");
        if (area > iconArea)
            return refuse("The DRM's picture area (offset " + Num(area) +
                          ") lies outside the start region (the icon area starts at offset " +
                          Num(iconArea) + ").");
        auto slots = ReadPictureSlots(codeGroup, {table, area, t - 3, iconArea, dir});
        if (!slots)
            return refuse(slots.Why());
        s.pictures = std::move(*slots);
        s.pictureAreaOffset = static_cast<std::int32_t>(area);
        s.pictureTableOffset = static_cast<std::int32_t>(table);
        s.pictureDescriptorCount = static_cast<std::int32_t>(t);
    }
    return s;
}

Checked<std::vector<PictureSlot>> ReadStartRegion(BinaryFile& start, const DrmRecords& d) {
    using Slots = Checked<std::vector<PictureSlot>>;
    const std::int64_t size = start.Size();
    const std::int64_t directoryAfter = d.extended ? ExtendedDirectoryAfter : BasicDirectoryAfter;
    if (d.directoryOffset < DirectoryBefore || d.directoryOffset + directoryAfter > size)
        return Slots::Refusal("descr.dat puts the DRM directory at offset " +
                              Num(d.directoryOffset) + ", outside start.bin (" + Num(size) +
                              " bytes).");
    if (!d.extended)
        return std::vector<PictureSlot>();
    const std::int64_t r = d.pictureCount;
    const std::int64_t tableSize = PictureDescriptorSize * (r + 3);
    if (d.pictureTableOffset < 0 || d.pictureTableOffset + tableSize > size)
        return Slots::Refusal("descr.dat puts the picture table of " + Num(r + 3) +
                              " descriptors at offset " + Num(d.pictureTableOffset) +
                              ", outside start.bin (" + Num(size) + " bytes).");
    if (d.pictureAreaOffset < 0 || d.pictureAreaOffset > size)
        return Slots::Refusal("descr.dat puts the picture area at offset " +
                              Num(d.pictureAreaOffset) + ", outside start.bin (" + Num(size) +
                              " bytes).");
    return ReadPictureSlots(
        start, {d.pictureTableOffset, d.pictureAreaOffset, r, size, d.directoryOffset});
}

IconFile OpenIconFile(const std::string& iconsDir, long number, bool tryGif) {
    const std::string gif = JoinPath(iconsDir, NumberedFileName(number, ".gif"));
    const std::string bmp = JoinPath(iconsDir, NumberedFileName(number, ".bmp"));
    try {
        // Only a ".gif" file that is not there sends the search on to the
        // ".bmp": one that cannot be read (held open, denied) is the failure
        // to name.
        if (tryGif)
            return {BinaryFile::OpenRead(gif), ".gif"};
    } catch (const IoError&) {
        if (FileExists(gif))
            throw;
    }
    try {
        return {BinaryFile::OpenRead(bmp), ".bmp"};
    } catch (IoError& e) {
        if (e.Code() == IoFileNotFound)
            e.WithNote("Icon " + std::to_string(number) + " has no file: neither " +
                       NumberedFileName(number, ".gif") + " nor " +
                       NumberedFileName(number, ".bmp") + " is in its folder.");
        throw;
    }
}

DrmRecords ReadDescr(const std::string& path) {
    BinaryFile file = BinaryFile::OpenRead(path, 4);
    const std::int64_t count = file.Size();
    if (count < BasicRecords || (count > BasicRecords && count < ExtendedRecords))
        throw IoError(IoReadPastEnd, path);
    std::array<std::uint8_t, 4 * ExtendedRecords> bytes{};
    const int wanted = count == BasicRecords ? BasicRecords : ExtendedRecords;
    file.ReadExact(std::span(bytes.data(), static_cast<std::size_t>(4 * wanted)));
    file.Close();
    std::array<std::int32_t, ExtendedRecords> v{};
    for (int i = 0; i < wanted; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(LoadLE32(bytes.data() + 4 * i));
    DrmRecords r;
    r.directoryOffset = v[0];
    r.baseAddress = v[1];
    r.trailPointer1 = v[2];
    r.trailStart = v[3];
    r.trailPointer2 = v[4];
    r.trailPointer3 = v[5];
    r.iconAreaStart = v[6];
    r.iconTableStart = v[7];
    r.iconCount = v[8];
    r.reserved = v[9];
    r.prefixLength = v[10];
    r.nameEntryOffset = v[11];
    r.extended = count > BasicRecords;
    r.pictureCount = v[12];
    r.pictureAreaOffset = v[13];
    r.pictureTableOffset = v[14];
    r.recordCount = count;
    return r;
}

std::optional<std::string> CheckDescr(const DrmRecords& records) {
    if (records.recordCount != BasicRecords && records.recordCount != ExtendedRecords)
        return "The DRM record file descr.dat holds " + Num(records.recordCount) +
               " records; it must hold 12 or 15.";
    if (records.iconCount < 0 || records.iconCount > MaxDrmItems)
        return "The DRM record file descr.dat gives " + Num(records.iconCount) +
               " icons; the count must lie between 0 and " + Num(MaxDrmItems) + ".";
    if (records.extended && (records.pictureCount < 0 || records.pictureCount > MaxDrmItems))
        return "The DRM record file descr.dat gives " + Num(records.pictureCount) +
               " pictures; the count must lie between 0 and " + Num(MaxDrmItems) + ".";
    return std::nullopt;
}

void WriteDescr(const std::string& path, const DrmRecords& r) {
    const std::int32_t v[ExtendedRecords] = {
        r.directoryOffset, r.baseAddress,       r.trailPointer1,     r.trailStart,
        r.trailPointer2,   r.trailPointer3,     r.iconAreaStart,     r.iconTableStart,
        r.iconCount,       r.reserved,          r.prefixLength,      r.nameEntryOffset,
        r.pictureCount,    r.pictureAreaOffset, r.pictureTableOffset};
    const int count = r.extended ? ExtendedRecords : BasicRecords;
    std::array<std::uint8_t, 4 * ExtendedRecords> bytes{};
    for (int i = 0; i < count; ++i)
        StoreLE32(bytes.data() + 4 * i, static_cast<std::uint32_t>(v[i]));
    BinaryFile file = BinaryFile::Create(path, 4);
    file.Write(std::span(bytes.data(), static_cast<std::size_t>(4 * count)));
    file.Close();
}

DrmTag FindDrmTag(BinaryFile& image) {
    static constexpr std::uint8_t Tag[4] = {'_', 'd', 'r', 'm'};
    auto tagAt = [&](std::int64_t offset) {
        std::uint8_t b[4] = {0, 0, 0, 0};
        image.Seek(offset);
        return image.Read(b) == 4 && std::memcmp(b, Tag, 4) == 0;
    };
    if (tagAt(468) || tagAt(456))
        return {true, false};
    if (tagAt(464))
        return {true, true};
    if (image.Size() >= 12 && ReadBE32At(image, 8) == DrmSignatureWord)
        return {true, true};
    return {false, false};
}

} // namespace zantrel
