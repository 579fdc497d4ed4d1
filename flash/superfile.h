// Writing the superfile: patched header, RAMDLD and the compiled DRM code
// group as S3 records, verified before it is put in place.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "base/fileio.h"
#include "base/outcome.h"
#include "base/worktree.h"

#include "flash/flashformat.h"

namespace zantrel {

inline constexpr std::string_view SectionStartLine = "S00600004844521B";
inline constexpr std::string_view SectionEndLine = "S70500000000FA";
inline constexpr std::string_view BannerText = "Zantrel Utility Generated Superfile";
inline constexpr int S3DataBytes = 64;

// What Save As writes into the flash header; every other byte is copied through.
inline constexpr std::int64_t DateFieldOffset = 320;
inline constexpr std::int64_t BannerFieldOffset = 448;
inline constexpr std::size_t TextFieldSize = 128;
inline constexpr std::int64_t RamdldChecksumOffset = 972;
inline constexpr std::int64_t ClearedFrom = 992; // tail of the entry at 976, then slots 0..22
inline constexpr std::int64_t ClearedTo = 1648;  // one past slot 22
inline constexpr std::int64_t DrmSlotOffset = FirstSlotOffset + SlotSize * DrmCodeGroup; // 1424
// What Save As fills in the RAMDLD: 0xFF from 256 up to 415, but for two
// words inside the fill, which stay as they are.
inline constexpr std::size_t RamdldFillOffset = 256;
inline constexpr std::size_t RamdldFillLength = 159;
inline constexpr std::size_t RamdldKeptOffset = 368;
inline constexpr std::size_t RamdldKeptEnd = 376;

// Why the image's header.bin cannot be patched (not a flash header's size);
// nullopt when it can, or when it is missing (that fails where it is opened).
std::optional<std::string> CheckHeaderFile(const ImageFolders& image);
// The RAMDLD's length as the image's header.bin lists it (end - start + 1);
// nullopt when the header cannot be read that far.
std::optional<std::int64_t> ListedRamdldLength(const ImageFolders& image);
// Why the image's RAMDLD.bin cannot go into a superfile: its length is
// neither what Open wrote (image.ramdldLength; for a session of an earlier
// version, what the header lists) nor what the RAMDLD's fill makes of that
// (a shorter file grows to the fill's end, and a save stopped after the fill
// leaves it so). nullopt when it can, or when it is missing.
std::optional<std::string> CheckRamdldFile(const ImageFolders& image);
// Writes the superfile into output's temporary from the image's header and
// RAMDLD and the code group compiled at compiledPath, and reads it back.
// Nothing is put in place: the caller commits output with the code group.
Outcome WriteSuperfile(const ImageFolders& image, const std::string& compiledPath,
                       AtomicOutput& output);
void PrepareRamdld(const ImageFolders& image);
// Patches the image's header.bin for the code group compiled at compiledPath.
void PrepareHeader(const ImageFolders& image, const std::string& compiledPath);
std::string FormatBuildDate(const std::tm& local);
// One S3 line of n = data.size() (1..64) bytes with CR LF; advances address.
std::string BuildS3Line(const std::uint8_t* data, int n, std::uint32_t& address);

// Reads a written superfile back and compares it with its sources; returns
// what differs, nullopt when it is sound.
std::optional<std::string> VerifySuperfile(const std::string& superfilePath,
                                           const std::string& headerPath,
                                           const std::string& ramdldPath,
                                           const std::string& compiledPath);

} // namespace zantrel
