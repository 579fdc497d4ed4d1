#include "shell/open.h"

#include "base/paths.h"
#include "base/state.h"
#include "drm/drmpack.h"
#include "flash/readers.h"

namespace zantrel {

FlashKind FlashKindOf(std::string_view path) {
    const std::string ext = UpperExtension(path);
    if (ext == ".SBF")
        return FlashKind::Sbf;
    if (ext == ".SHX")
        return FlashKind::Superfile;
    return FlashKind::RawImage;
}

Outcome ReadFlashFile(FlashKind kind, int image) {
    switch (kind) {
    case FlashKind::Superfile:
        return ReadSuperfile(image);
    case FlashKind::Sbf:
        return ReadSbf(image);
    case FlashKind::RawImage:
        break;
    }
    {
        BinaryFile flash = BinaryFile::OpenRead(FoldersOf(image).flashPath);
        if (!FindDrmTag(flash).found)
            return Outcome::NoDrmFound();
    }
    ReadRawImage(image);
    return {};
}

Outcome OpenFlashFile(FlashKind kind, int image) {
    const Outcome read = ReadFlashFile(kind, image);
    if (!read.Done())
        return read;
    Outcome decompiled = DrmDecompile(image);
    decompiled.warning = read.warning;
    return decompiled;
}

Outcome OpenSuperfile(int image) { return OpenFlashFile(FlashKind::Superfile, image); }

Outcome OpenSbf(int image) { return OpenFlashFile(FlashKind::Sbf, image); }

Outcome OpenRawImage(int image) { return OpenFlashFile(FlashKind::RawImage, image); }

} // namespace zantrel
