// The one process-wide record of shared state: start folder, settings,
// session mode, flash file paths and the work-folder tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/paths.h"

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
    // The transparency replacer colour, kept in the order blue, green, red.
    std::uint8_t replacerBlue = 0;
    std::uint8_t replacerGreen = 0;
    std::uint8_t replacerRed = 0;
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

// One image of the session as the readers and the DRM code take it: the
// flash file it is opened from and its folders in the work tree.
struct ImageFolders {
    std::string binaryDir;  // header.bin, RAMDLD.bin, the code groups
    std::string drmpackDir; // the DRM's pieces and descr.dat
    std::string iconsDir;   // the icons and picture BMPs
    std::string flashPath;
    // RAMDLD.bin's length as Open wrote it; -1 when not known.
    std::int64_t ramdldLength = -1;
};
// Image 1's or 2's, as the shared state holds them now (any value other than
// 1 is image 2). The commands take it once and hand it down.
ImageFolders FoldersOf(int image);

} // namespace zantrel
