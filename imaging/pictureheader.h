// What a picture file's header claims, checked before a decoder allocates
// anything for it: the kind the decoder will read it as, a size within the
// caps, and a size the file's bytes could hold at all, so that a file of a
// few bytes claiming millions of pixels is refused at once.
#pragma once

#include <cstdint>

#include "base/fileio.h"
#include "base/outcome.h"

namespace zantrel {

// Larger pictures are refused from their header, before their pixels are
// decoded: a phone's largest picture is a few hundred pixels wide, and a
// photo a person fits into one is a few thousand.
inline constexpr int MaxDecodedSide = 8192;
inline constexpr std::int64_t MaxDecodedPixels = 24'000'000;

struct PictureHeader {
    int width = 0;
    int height = 0; // as decoded: a top-down BMP's too is positive
};

// Reads the header of the PNG, JPEG, GIF, BMP or TGA file open in file (from
// its start; the position is left anywhere) and checks it against the file's
// size. Refused in a person's words: "the file is cut short", "it is not a
// picture file this program reads", "its header says 8000 × 8000 pixels but
// the file holds too few bytes for that", ... Throws IoError when the file
// cannot be read.
Checked<PictureHeader> ReadPictureHeader(BinaryFile& file);

// Why a file whose pixels ran out before the decoder was done is refused.
inline constexpr std::string_view CutShortText = "the file is cut short";

} // namespace zantrel
