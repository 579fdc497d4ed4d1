// The port: one image's icon and picture files copied over another's, slot
// by slot, for a later compilation of the other.
#include "drm/port.h"

#include <algorithm>

#include "base/commit.h"
#include "base/paths.h"
#include "base/uiops.h"
#include "base/worktree.h"

namespace zantrel {

namespace {

// source's bytes staged whole for destination.
void StageCopy(StagedReplacements& staging, BinaryFile source, const std::string& destination) {
    staging.Stage(destination, source);
    source.Close();
}

// The pair's layouts and counts; the copy's own reading of them.
struct PortPlan {
    PortResult result;
    std::int32_t r1 = 0; // pictures before into's icons
    std::int32_t r2 = 0; // before from's
};

PortPlan Plan(const ImageFolders& into, const ImageFolders& from) {
    const DrmRecords one = ReadDescr(JoinPath(into.drmpackDir, DescrFileName));
    const DrmRecords two = ReadDescr(JoinPath(from.drmpackDir, DescrFileName));
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

PortResult PlanPort(const ImageFolders& into, const ImageFolders& from) {
    return Plan(into, from).result;
}

PortResult PortDrm(const ImageFolders& into, const ImageFolders& from, const StagedCommit& commit) {
    ProgressScope scope("Copying icons");

    const PortPlan plan = Plan(into, from);
    if (plan.result.outcome != PortOutcome::Ported)
        return plan.result;
    const std::int32_t r1 = plan.r1;
    const std::int32_t r2 = plan.r2;

    // Every file is staged first and the lot swapped in as one step: a
    // failure or a kill leaves into wholly as it was or wholly ported.
    StagedReplacements staging;
    const std::int32_t icons = plan.result.icons;
    const std::int32_t pictures = plan.result.pictures;
    for (std::int32_t k = 1; k <= icons; ++k) {
        const long fromNumber = static_cast<long>(r2) + k;
        const long toNumber = static_cast<long>(r1) + k;
        IconFile source = OpenIconFile(from.iconsDir, fromNumber);
        StageCopy(staging, std::move(source.file),
                  JoinPath(into.iconsDir, NumberedFileName(toNumber, source.extension)));
        // Compilation takes a ".gif" before a ".bmp"; into's file of the
        // other kind would hide the ported icon, so it goes.
        const std::string other = source.extension == ".gif" ? ".bmp" : ".gif";
        staging.Remove(JoinPath(into.iconsDir, NumberedFileName(toNumber, other)));
        SetProgress(ProgressPercent(k, icons));
    }
    for (std::int32_t j = 1; j <= pictures; ++j) {
        std::string source, target;
        if (into.pictures.bmp) {
            source = JoinPath(from.iconsDir, NumberedFileName(j, ".bmp"));
            target = JoinPath(into.iconsDir, NumberedFileName(j, ".bmp"));
        } else {
            source =
                JoinPath(JoinPath(from.drmpackDir, RawsFolderName), NumberedFileName(j, ".raw"));
            target =
                JoinPath(JoinPath(into.drmpackDir, RawsFolderName), NumberedFileName(j, ".raw"));
        }
        StageCopy(staging, BinaryFile::OpenRead(source), target);
    }
    if (!staging.Empty()) {
        const std::string journal =
            into.journal.empty() ? JoinPath(into.iconsDir, JournalFileName) : into.journal;
        if (commit)
            commit(staging, journal);
        else
            staging.Commit(journal);
    }
    return plan.result;
}

} // namespace zantrel
