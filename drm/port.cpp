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

// The pair's layouts and counts; the copy's own reading of them.
struct PortPlan {
    PortResult result;
    std::int32_t r1 = 0; // pictures before image 1's icons
    std::int32_t r2 = 0;
};

PortPlan Plan() {
    const SharedState& s = State();
    const DrmRecords one = ReadDescr(JoinPath(s.drmpack1Dir, DescrFileName));
    const DrmRecords two = ReadDescr(JoinPath(s.drmpack2Dir, DescrFileName));
    PortPlan plan;
    for (const DrmRecords* d : {&one, &two})
        if (auto bad = CheckDescr(*d)) {
            plan.result = {PortOutcome::Refused, *bad};
            return plan;
        }
    if (one.extended != two.extended) {
        plan.result = {PortOutcome::Incompatible, "Incompatible DRMs"};
        return plan;
    }
    plan.r1 = one.extended ? one.pictureCount : 0;
    plan.r2 = two.extended ? two.pictureCount : 0;
    plan.result.icons = std::max(std::min(one.iconCount, two.iconCount), 0);
    plan.result.pictures = std::max(std::min(plan.r1, plan.r2), 0);
    return plan;
}

} // namespace

PortResult PlanPort() { return Plan().result; }

PortResult PortDrm() {
    const SharedState& s = State();
    ProgressScope scope("Copying icons");
    SetProgress(0);

    const PortPlan plan = Plan();
    if (plan.result.outcome != PortOutcome::Ported)
        return plan.result;
    const std::int32_t r1 = plan.r1;
    const std::int32_t r2 = plan.r2;

    const std::int32_t icons = plan.result.icons;
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

    const std::int32_t pictures = plan.result.pictures;
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
    return plan.result;
}

} // namespace zantrel
