// Open's steps for one flash file: its reader, then the DRM's decompilation.
#pragma once

#include <string>
#include <string_view>

#include "base/outcome.h"

#include "shell/state.h"

namespace zantrel {

enum class FlashKind { Superfile, Sbf, RawImage };
// By the upper-cased extension, compared exactly: anything but ".SHX" and
// ".SBF" is taken as a raw code-group image.
FlashKind FlashKindOf(std::string_view path);

// Whether the flash file at path holds a DRM Open can take apart, judged as
// Open judges it but from its first bytes alone: a superfile's or SBF
// file's header lists the DRM's code group, a raw image carries the DRM's
// tag. Throws IoError when the file cannot be opened or read.
bool HoldsDrm(const std::string& path);

// The image's flash file read into its binary folder and its DRM decompiled.
// A damaged but readable superfile's warning is shown as soon as the reading
// ends; what is returned is the decompilation's outcome, or NoDrm or a
// refusal from the reading.
Outcome OpenSuperfile(const ImageFolders& image);
Outcome OpenSbf(const ImageFolders& image);
Outcome OpenRawImage(const ImageFolders& image);
// The one of the three that the flash file's kind calls for.
Outcome OpenFlashFile(const ImageFolders& image);

} // namespace zantrel
