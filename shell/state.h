// The one process-wide record of shared state: start folder, settings,
// session mode, flash file paths and the work-folder tree. It is the shell's
// own: the layers below take what they need as parameters (ImageFolders).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "base/rgb.h"
#include "base/worktree.h"

namespace zantrel {

// Session mode: low two bits say how many images were decompiled; bit 2 says
// flash file 1 was a raw code-group image.
inline constexpr std::uint8_t ModeSingle = 1;
inline constexpr std::uint8_t ModePair = 2;
inline constexpr std::uint8_t ModeRawImage = 4;
// How many images a session mode says were decompiled: its low two bits.
inline constexpr int ImageCountOf(std::uint8_t mode) { return mode & 3; }

struct SharedState {
    std::string startFolder;
    std::string workFolder;
    bool cleanupEnabled = false;
    bool askSecondFile = false;
    bool rawConversionEnabled = false;
    // The transparency replacer colour.
    Rgb replacer;
    bool freshSession = false;
    std::uint8_t sessionMode = 0;
    std::string firstFlashPath;
    std::string secondFlashPath;
    std::uint8_t currentImage = 0;
    std::string savePath;
    std::string compiledImagePath;
    std::string binary1Dir;
    std::string binary2Dir;
    std::string drmpack1Dir;
    std::string drmpack2Dir;
    std::string icons1Dir;
    std::string icons2Dir;
    // RAMDLD.bin's length as Open wrote it for image 1; -1 when not known (a
    // raw image, or a session opened by an earlier version).
    std::int64_t openedRamdldLength = -1;
};

SharedState& State();
// Back to the zeroed record of a new process (tests, and each CLI run).
void ResetState();

// Image 1's or 2's, as the shared state holds them now (any value other than
// 1 is image 2), with the picture settings and the journal. The commands
// take it once and hand it down.
ImageFolders FoldersOf(int image);

// Sets the six tree paths from workFolder and creates the folders, ignoring
// every failure.
void BuildWorkTree();
// Sets the six tree paths only, creating nothing.
void SetWorkTreePaths();
// compiledImagePath = savePath with its file name's extension (or none)
// replaced by ".bin": "new.shx" and "new" give "new.bin", "qout/x.s" gives
// "qout/x.bin".
void DeriveCompiledImagePath();
// The journal's path: in the start folder, or beside fallback when no start
// folder was taken (the logic run without a start-up).
std::string JournalPath(std::string_view fallback = {});
// Whether path lies in the work tree's binary1 or binary2 folder, whose
// files the clean-up deletes.
bool IsInsideWorkTree(const std::string& path);

} // namespace zantrel
