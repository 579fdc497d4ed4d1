// The port: image 2's icon and picture files copied over image 1's, slot by
// slot, for a later compilation of image 1.
#include <algorithm>
#include <filesystem>

#include "drm/drmpack.h"
#include "base/primitives.h"
#include "base/state.h"
#include "base/uiops.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

// The source is opened before the destination is created, and the copy is
// renamed into place only when whole: a missing source or a failed write
// leaves image 1's file as it was, never a part of the other.
void CopyWhole(BinaryFile source, const std::string& destination) {
    AtomicOutput output(destination);
    BinaryFile target = BinaryFile::Create(output.TempPath());
    CopyFileRange(source, 0, 0, target, false);
    target.Close();
    source.Close();
    output.Commit();
}

} // namespace

PortResult PortDrm() {
    const SharedState& s = State();
    ProgressScope scope("Copying icons");
    SetProgress(0);

    const DrmRecords one = ReadDescr(JoinPath(s.drmpack1Dir, DescrFileName));
    const DrmRecords two = ReadDescr(JoinPath(s.drmpack2Dir, DescrFileName));
    for (const DrmRecords* d : {&one, &two})
        if (auto bad = CheckDescr(*d))
            return {PortOutcome::Refused, *bad};
    if (one.extended != two.extended)
        return {PortOutcome::Incompatible, "Incompatible DRMs"};
    const std::int32_t r1 = one.extended ? one.pictureCount : 0;
    const std::int32_t r2 = two.extended ? two.pictureCount : 0;

    const std::int32_t icons = std::min(one.iconCount, two.iconCount);
    for (std::int32_t k = 1; k <= icons; ++k) {
        const long from = static_cast<long>(r2) + k;
        const long to = static_cast<long>(r1) + k;
        IconFile source = OpenIconFile(s.icons2Dir, from);
        CopyWhole(std::move(source.file),
                  JoinPath(s.icons1Dir, NumberedFileName(to, source.extension)));
        // Compilation takes a ".gif" before a ".bmp"; image 1's file of the
        // other kind would hide the ported icon, so it goes.
        const std::string other = source.extension == ".gif" ? ".bmp" : ".gif";
        DeleteFileChecked(JoinPath(s.icons1Dir, NumberedFileName(to, other)));
        SetProgress(ProgressPercent(k, icons));
    }

    const std::int32_t pictures = std::min(r1, r2);
    for (std::int32_t j = 1; j <= pictures; ++j) {
        std::string from, to;
        if (s.rawConversionEnabled) {
            from = JoinPath(s.icons2Dir, NumberedFileName(j, ".bmp"));
            to = JoinPath(s.icons1Dir, NumberedFileName(j, ".bmp"));
        } else {
            from = JoinPath(JoinPath(s.drmpack2Dir, RawsFolderName), NumberedFileName(j, ".raw"));
            to = JoinPath(JoinPath(s.drmpack1Dir, RawsFolderName), NumberedFileName(j, ".raw"));
        }
        CopyWhole(BinaryFile::OpenRead(from), to);
    }
    return {PortOutcome::Ported, {}, std::max(icons, 0), std::max(pictures, 0)};
}

} // namespace zantrel
