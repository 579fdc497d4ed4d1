// "info": what a flash file holds, read without touching the start folder or
// the work folder. The front end prints the report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/worktree.h"

#include "drm/drmpack.h"

namespace zantrel {

struct CodeGroupInfo {
    std::string name; // the file name the header gives, folders dropped
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::int64_t size = 0; // end - start + 1
};

struct FlashInfo {
    std::string file;
    std::string kind; // "superfile", "SBF file" or "raw code-group image"
    bool hasHeader = false;
    // Short of wholeHeaderBytes when the file ends inside its header.
    std::int64_t headerBytes = 0;
    std::int64_t wholeHeaderBytes = 0; // what a whole flash header holds
    // RAMDLD first, then the code groups in the order the header lists them.
    std::vector<CodeGroupInfo> codeGroups;
    std::optional<DrmSummary> drm; // none when the file holds no DRM
    // A damaged but readable file: the text for a "Warning" box.
    std::string warning;
    // The file was refused: refusal is the text for an "Error" box.
    bool refused = false;
    std::string refusal;
};

// Reads image.flashPath (the superfile, SBF file or raw image its extension
// says) into image's binary folder, which must be a scratch one: info tells
// what it holds. Returns the DRM's code group, open, when it holds one that
// can be read (a raw image's is the file itself). Throws IoError; info then
// holds what was read before.
std::optional<BinaryFile> ReadFlashFile(const ImageFolders& image, FlashInfo& info);

// Reads file (the superfile, SBF file or raw image its extension says) in a
// private folder under the system's temporary folder, removed afterwards (or,
// when the run is killed, by the next one).
// Uses the shared state's first image as scratch: not for a run with a
// session. Throws IoError; info then holds what was read before.
void ReadFlashInfo(const std::string& file, FlashInfo& info);

} // namespace zantrel
