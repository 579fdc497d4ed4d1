// What differs between the flash headers and the RAMDLDs of two superfiles
// or SBF files, told apart by what Save As rewrites: an unedited file and its
// Save As differ only there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytecompare.h"
#include "base/fileio.h"

namespace zantrel {

// One of the header fields Save As writes, with each side's value where a
// person reads it and the field differs: the date and banner texts up to
// their first zero byte, the piece count in decimal.
struct HeaderField {
    enum class Value { None, Text, Number };
    std::string name; // "date", "banner", "piece count", "RAMDLD checksum", ...
    Value value = Value::None;
    bool same = true;
    std::string a;
    std::string b;
};
struct HeaderComparison {
    std::vector<HeaderField> written; // in the header's order
    // Every other byte, which Save As copies through.
    RegionComparison rest;
    bool Same() const;
};
// Compares two open header.bin files (a shorter one reads as zero bytes past
// its end, and its other bytes then differ). Throws IoError.
HeaderComparison CompareHeaders(BinaryFile& a, BinaryFile& b);

enum class RamdldMatch {
    Same,
    // Alike once Save As has filled both (bytes 256 to 414, but for the two
    // words at 368 to 375): an original and its Save As.
    SameButFill,
    Differs,
};
struct RamdldComparison {
    RamdldMatch match = RamdldMatch::Same;
    RegionComparison bytes; // the two files as they are
};
// Compares two open RAMDLD.bin files. Throws IoError.
RamdldComparison CompareRamdlds(BinaryFile& a, BinaryFile& b);

} // namespace zantrel
