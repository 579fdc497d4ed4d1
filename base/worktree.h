// The work-folder tree and the names of the files in it. Each name is
// spelled one way throughout, so a case-sensitive disk finds what was written.
#pragma once

#include <string>
#include <string_view>

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
