// The work-folder tree and the names of the files in it. Each name is
// spelled one way throughout, so a case-sensitive disk finds what was written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/rgb.h"

namespace zantrel {

inline constexpr std::string_view Binary1FolderName = "binary1";
inline constexpr std::string_view Binary2FolderName = "binary2";
inline constexpr std::string_view DrmpackFolderName = "drmpack";
inline constexpr std::string_view IconsFolderName = "icons";
inline constexpr std::string_view RawsFolderName = "raws";

inline constexpr std::string_view HeaderFileName = "header.bin";
inline constexpr std::string_view RamdldFileName = "RAMDLD.bin";
inline constexpr std::string_view ScratchFileName = "temp.bin";
inline constexpr std::string_view StartFileName = "start.bin";
inline constexpr std::string_view OffFileName = "off.bin";
inline constexpr std::string_view TrailFileName = "trail.bin";
inline constexpr std::string_view DescrFileName = "descr.dat";
inline constexpr std::string_view NewOffFileName = "newoff.bin";
inline constexpr std::string_view RawOffFileName = "rawoff.bin";
inline constexpr std::string_view TempRawFileName = "temp.raw";
inline constexpr std::string_view ThumbsFileName = "Thumbs.db";
// The flash files a session was opened from, a UTF-8 path a line, in
// binary1: the clean-up that ends the session takes it too.
inline constexpr std::string_view FlashPathsFileName = "flashfiles.txt";

// Beside binary1: the start folder whose session the work folder holds.
inline constexpr std::string_view OwnerFileName = "zantrel.owner";

// The journal of a step that replaces several files as one (Save As's
// outputs, Port's icons and pictures), in the start folder while it runs.
inline constexpr std::string_view JournalFileName = "zantrel.commit";

// The code group that holds the DRM: CG15.bin.
inline constexpr int DrmCodeGroup = 15;

// "CG15.bin" and the like.
std::string CodeGroupFileName(int number);
// "n.gif", "n.bmp", "n.raw".
std::string NumberedFileName(long number, std::string_view extension);

// How the pictures are kept in the work folder: as BMP copies (converted
// from the raw pictures at Open and back at Save As) with the replacer
// colour standing for transparent pixels, or as the raw pictures alone.
struct PictureSettings {
    bool bmp = false;
    Rgb replacer;
};

// One image of the session as the readers and the DRM code take it: the
// flash file it is opened from, its folders in the work tree, how its
// pictures are kept, and the journal of a step that replaces several of its
// files as one (empty: beside the icons).
struct ImageFolders {
    std::string binaryDir;  // header.bin, RAMDLD.bin, the code groups
    std::string drmpackDir; // the DRM's pieces and descr.dat
    std::string iconsDir;   // the icons and picture BMPs
    std::string flashPath;
    // RAMDLD.bin's length as Open wrote it; -1 when not known.
    std::int64_t ramdldLength = -1;
    PictureSettings pictures;
    std::string journal;
};

} // namespace zantrel
