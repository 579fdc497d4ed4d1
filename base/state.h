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
};

SharedState& State();
// Back to the zeroed record of a new process (tests, and each CLI run).
void ResetState();

// The folders of image 1 or 2 (any value other than 1 is image 2).
struct ImageFolders {
    std::string binaryDir;
    std::string drmpackDir;
    std::string iconsDir;
    std::string flashPath;
};
ImageFolders FoldersOf(int image);

} // namespace zantrel
