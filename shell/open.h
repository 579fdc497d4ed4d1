// Open's steps for one flash file: its reader, then the DRM's decompilation.
#pragma once

#include <string_view>

#include "base/outcome.h"

namespace zantrel {

enum class FlashKind { Superfile, Sbf, RawImage };
// By the upper-cased extension, compared exactly: anything but ".SHX" and
// ".SBF" is taken as a raw code-group image.
FlashKind FlashKindOf(std::string_view path);

// The reader's step: image 1's or 2's flash file into its work folder. Done
// when the DRM's code group is there (warning set for a damaged but readable
// superfile), NoDrm, or Refused with its message.
Outcome ReadFlashFile(FlashKind kind, int image);

// Both steps; a reader's warning is carried whatever the decompilation came to.
Outcome OpenFlashFile(FlashKind kind, int image);
Outcome OpenSuperfile(int image);
Outcome OpenSbf(int image);
Outcome OpenRawImage(int image);

} // namespace zantrel
