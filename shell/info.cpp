#include "shell/info.h"

#include <utility>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/scratch.h"
#include "base/worktree.h"

#include "flash/flashformat.h"
#include "flash/readers.h"

#include "shell/open.h"
#include "shell/state.h"

namespace zantrel {

namespace {

void Refuse(FlashInfo& info, std::string why) {
    info.refused = true;
    info.refusal = std::move(why);
}

} // namespace

std::optional<BinaryFile> ReadFlashFile(const ImageFolders& image, FlashInfo& info) {
    info = FlashInfo{};
    info.file = image.flashPath;
    const FlashKind kind = FlashKindOf(info.file);
    std::optional<BinaryFile> codeGroup;
    if (kind != FlashKind::RawImage) {
        const bool superfile = kind == FlashKind::Superfile;
        info.kind = superfile ? "superfile" : "SBF file";
        const Outcome outcome = superfile ? ReadSuperfile(image) : ReadSbf(image);
        info.warning = outcome.warning;
        if (outcome.Refused()) {
            Refuse(info, outcome.message);
            return std::nullopt;
        }
        BinaryFile header = BinaryFile::OpenRead(JoinPath(image.binaryDir, HeaderFileName));
        info.headerBytes = header.Size();
        info.wholeHeaderBytes = FlashHeaderSize;
        const CodeGroupTable table = ParseFlashHeader(header, image.binaryDir);
        info.hasHeader = true;
        for (int i = 0; i < table.count; ++i) {
            const strrec& entry = table.entries[static_cast<std::size_t>(i)];
            info.codeGroups.push_back(
                {FileNamePart(entry.fileName), static_cast<std::uint32_t>(entry.startAddress),
                 static_cast<std::uint32_t>(entry.endAddress),
                 static_cast<std::int64_t>(entry.endAddress) - entry.startAddress + 1});
        }
        if (outcome.Done()) {
            std::string cg15 = JoinPath(image.binaryDir, CodeGroupFileName(DrmCodeGroup));
            if (!FileExists(cg15)) {
                Refuse(info, "The header lists the DRM code group, but the body does not hold it");
                return std::nullopt;
            }
            codeGroup = BinaryFile::OpenRead(cg15);
        }
    } else {
        info.kind = "raw code-group image";
        BinaryFile raw = BinaryFile::OpenRead(info.file);
        if (FindDrmTag(raw).found) {
            raw.Seek(0);
            codeGroup = std::move(raw);
        }
    }
    if (!codeGroup)
        return std::nullopt;
    Checked<DrmSummary> drm = InspectDrm(*codeGroup);
    if (!drm) {
        Refuse(info, drm.Why());
        return std::nullopt;
    }
    info.drm = std::move(*drm);
    return codeGroup;
}

void ReadFlashInfo(const std::string& file, FlashInfo& info) {
    info = FlashInfo{};
    info.file = file;
    // Locked while it lives; a killed run's folder is removed by the next run.
    ScratchFolder scratch("zantrel-info");
    SharedState& s = State();
    s.startFolder = scratch.Path();
    s.workFolder = scratch.Path();
    s.firstFlashPath = file;
    s.currentImage = 1;
    BuildWorkTree();
    ReadFlashFile(FoldersOf(1), info);
}

} // namespace zantrel
