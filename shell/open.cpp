#include "shell/open.h"

#include "base/paths.h"
#include "base/uiops.h"

#include "flash/flashformat.h"
#include "flash/readers.h"

#include "drm/decompile.h"
#include "drm/drmpack.h"

namespace zantrel {

namespace {

Outcome DecompileAfter(const Outcome& read, const ImageFolders& image) {
    if (!read.warning.empty())
        ShowMessage(read.warning, "Warning");
    return read.Done() ? DrmDecompile(image) : read;
}

// A raw code-group image holds a DRM where it carries the DRM's tag.
bool RawImageHoldsDrm(const std::string& path) {
    BinaryFile flash = BinaryFile::OpenRead(path);
    return FindDrmTag(flash).found;
}

} // namespace

FlashKind FlashKindOf(std::string_view path) {
    const std::string ext = UpperExtension(path);
    if (ext == ".SBF")
        return FlashKind::Sbf;
    if (ext == ".SHX")
        return FlashKind::Superfile;
    return FlashKind::RawImage;
}

bool HoldsDrm(const std::string& path) {
    if (FlashKindOf(path) == FlashKind::RawImage)
        return RawImageHoldsDrm(path);
    BinaryFile flash = BinaryFile::OpenRead(path);
    return ParseFlashHeader(flash, {}).listsDrm;
}

Outcome OpenSuperfile(const ImageFolders& image) {
    return DecompileAfter(ReadSuperfile(image), image);
}

Outcome OpenSbf(const ImageFolders& image) { return DecompileAfter(ReadSbf(image), image); }

Outcome OpenRawImage(const ImageFolders& image) {
    if (!RawImageHoldsDrm(image.flashPath))
        return Outcome::NoDrmFound();
    ReadRawImage(image);
    return DrmDecompile(image);
}

Outcome OpenFlashFile(const ImageFolders& image) {
    switch (FlashKindOf(image.flashPath)) {
    case FlashKind::Superfile:
        return OpenSuperfile(image);
    case FlashKind::Sbf:
        return OpenSbf(image);
    case FlashKind::RawImage:
        break;
    }
    return OpenRawImage(image);
}

} // namespace zantrel
