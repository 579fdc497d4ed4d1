// Compilation: an image's work files put back together into a code group,
// with a rebuilt icon table, the trail moved behind it and the directory
// words corrected to match.
#include "drm/compile.h"

#include <array>
#include <limits>

#include "base/folders.h"
#include "base/paths.h"
#include "base/primitives.h"
#include "base/uiops.h"
#include "base/worktree.h"

#include "imaging/bmpraw.h"

namespace zantrel {

namespace {

std::string Num(std::int64_t v) { return std::to_string(v); }

Outcome Compile(const ImageFolders& image, AtomicOutput& output) {
    const PictureSettings& pictures = image.pictures;
    const std::string& drmpack = image.drmpackDir;
    const std::string& icons = image.iconsDir;
    const std::string raws = JoinPath(drmpack, RawsFolderName);

    const DrmRecords d = ReadDescr(JoinPath(drmpack, DescrFileName));
    if (auto bad = CheckDescr(d))
        return Outcome::Refusal(*bad);
    const std::int32_t n = d.iconCount;
    const std::int32_t r = d.extended ? d.pictureCount : 0;
    const double total = static_cast<double>(n) + r;

    // Every check that can refuse runs before the output exists.
    BinaryFile start = BinaryFile::OpenRead(JoinPath(drmpack, StartFileName));
    const std::int64_t startSize = start.Size();
    const Checked<std::vector<PictureSlot>> readSlots = ReadStartRegion(start, d);
    if (!readSlots)
        return Outcome::Refusal(readSlots.Why());
    const std::vector<PictureSlot>& slots = *readSlots;
    for (std::int32_t i = 1; i <= r; ++i) {
        const PictureSlot& slot = slots[static_cast<std::size_t>(i - 1)];
        std::int64_t length = 0;
        if (pictures.bmp) {
            const std::string bmpPath = JoinPath(icons, NumberedFileName(i, ".bmp"));
            if (auto bad = CheckPictureBmp(bmpPath, slot.width, slot.height))
                return Outcome::Refusal(*bad);
            length = RawPictureSize(slot.width, slot.height);
        } else {
            length = BinaryFile::OpenRead(JoinPath(raws, NumberedFileName(i, ".raw"))).Size();
            // A raw picture is its whole slot as decompiled: a shorter one
            // would leave the rest of the slot holding the old picture's bytes.
            if (length != slot.size)
                return Outcome::Refusal("Picture " + Num(i) + ".raw is " + Num(length) +
                                        " bytes long, but its slot in the DRM holds " +
                                        Num(slot.size) +
                                        " bytes; a raw picture must keep the length it was "
                                        "decompiled with.");
        }
        // Pictures go back to their own slots; a longer one would overwrite the next.
        if (length > slot.size)
            return Outcome::Refusal("Picture " + Num(i) + " is " + Num(length) +
                                    " bytes long, but its slot in the DRM holds " + Num(slot.size) +
                                    " bytes.");
    }

    ProgressScope scope("Moving gifs");

    BinaryFile out = output.Create();
    const std::string newOffPath = JoinPath(drmpack, NewOffFileName);
    BinaryFile newOff = BinaryFile::Create(newOffPath);
    BinaryFile trail = BinaryFile::OpenRead(JoinPath(drmpack, TrailFileName));
    CopyFileRange(start, 0, 0, out, false);

    WriteBE32(newOff, 0);
    WriteBE32(newOff, 0);
    // An icon is its ".gif" when that opens, else its ".bmp". A ".gif" the
    // listing does not hold is not tried: no failing open per ".bmp" icon.
    const FolderNames iconNames(icons);
    std::int64_t sum = 0;
    for (std::int32_t k = 1; k <= n; ++k) {
        const long number = static_cast<long>(r) + k;
        const bool listedGif = iconNames.MayHold(NumberedFileName(number, ".gif"));
        BinaryFile icon = OpenIconFile(icons, number, listedGif).file;
        sum += icon.Size();
        if (startSize + sum > std::numeric_limits<std::int32_t>::max())
            return Outcome::Refusal("The icons make the DRM code group larger than 2 GiB.");
        CopyFileRange(icon, 0, 0, out, false);
        icon.Close();
        WriteBE32(newOff, static_cast<std::int32_t>(sum));
        SetProgress(ProgressPercent(k, total));
    }
    newOff.Close();
    sum += startSize;
    // The icon table starts at a multiple of 16.
    static constexpr std::array<std::uint8_t, 16> Zeros{};
    const auto padding = static_cast<std::size_t>((16 - sum % 16) % 16);
    out.Write(std::span(Zeros.data(), padding));
    const std::int64_t tableOffset = sum + static_cast<std::int64_t>(padding);
    BinaryFile table = BinaryFile::OpenRead(newOffPath);
    CopyFileRange(table, 0, 0, out, false);
    table.Close();
    CopyFileRange(trail, 0, 0, out, false);
    trail.Close();
    start.Close();

    // The trail words move by as much as the trail itself. That is the icon
    // table's shift only when the old table held whole words: stray bytes
    // after its last word are not carried over.
    const auto base = static_cast<std::uint32_t>(d.baseAddress);
    const std::uint32_t newTableStart = base + static_cast<std::uint32_t>(tableOffset);
    const std::uint32_t newTrailStart = newTableStart + 4u * static_cast<std::uint32_t>(n + 2);
    const std::uint32_t moved = newTrailStart - static_cast<std::uint32_t>(d.trailStart);
    auto shifted = [&](std::int32_t word) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(word) + moved);
    };
    const std::int64_t dir = d.directoryOffset;
    WriteBE32At(out, dir + DirectoryWords::TrailPointer1, shifted(d.trailPointer1));
    WriteBE32At(out, dir + DirectoryWords::TrailStart, shifted(d.trailStart));
    WriteBE32At(out, dir + DirectoryWords::TrailPointer2, shifted(d.trailPointer2));
    WriteBE32At(out, dir + DirectoryWords::TrailPointer3, shifted(d.trailPointer3));
    WriteBE32At(out, dir + DirectoryWords::IconTableStart,
                static_cast<std::int32_t>(newTableStart));

    if (d.extended) {
        SetStatusText("Converting and moving raws");
        const std::string tempRaw = JoinPath(drmpack, TempRawFileName);
        for (std::int32_t i = 1; i <= r; ++i) {
            const PictureSlot& slot = slots[static_cast<std::size_t>(i - 1)];
            std::string source = JoinPath(raws, NumberedFileName(i, ".raw"));
            if (pictures.bmp) {
                source = tempRaw;
                BmpToRaw(JoinPath(icons, NumberedFileName(i, ".bmp")), source, pictures.replacer);
            }
            BinaryFile picture = BinaryFile::OpenRead(source);
            if (picture.Size() > slot.size) // changed since the check above
                return Outcome::Refusal("Picture " + Num(i) + " is " + Num(picture.Size()) +
                                        " bytes long, but its slot in the DRM holds " +
                                        Num(slot.size) + " bytes.");
            // Each picture at its own slot: filler after a mask stays in place.
            out.Seek(slot.offset);
            CopyFileRange(picture, 0, 0, out, false);
            picture.Close();
            SetProgress(ProgressPercent(n + i, total));
        }
    }
    out.Close();
    return {};
}

} // namespace

Outcome DrmCompileTo(const ImageFolders& image, AtomicOutput& output) {
    return Compile(image, output);
}

Outcome DrmCompile(const ImageFolders& image, const std::string& outputPath) {
    AtomicOutput output(outputPath);
    Outcome outcome = DrmCompileTo(image, output);
    // A refused compile's temporary goes with output; an earlier file stays as it was.
    if (outcome.Done())
        output.Commit();
    return outcome;
}

} // namespace zantrel
