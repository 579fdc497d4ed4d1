// What Open wrote for each work item of an image, told from the image's code
// group CG15.bin in its binary folder, which no command changes: an icon's bytes in the
// code group (n.gif, or n.bmp when they start with "BM"), a picture's slot
// bytes (k.raw) and, with conversion on, the BMP RawToBmp makes of them with
// the current replacer colour (k.bmp). A work file whose content differs
// from its original is edited.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/worktree.h"

#include "imaging/decode.h"

#include "drm/drmpack.h"

namespace zantrel {

class DrmOriginals {
public:
    // Reads the image's CG15.bin and its DRM's tables once; the file stays open
    // for the comparisons. nullopt when it is missing or its DRM is refused:
    // then no original is known. Throws IoError when it cannot be read.
    static std::optional<DrmOriginals> Load(const ImageFolders& image);

    long PictureCount() const { return static_cast<long>(drm_.pictures.size()); }
    long IconCount() const { return static_cast<long>(drm_.icons.size()); }

    // Whether item number's work file, the one compilation takes (k.bmp with
    // conversion on, else k.raw; n.gif, else n.bmp), differs from its
    // original. A missing file is edited, and so is an icon with a file at
    // the extension Open did not give it: moved there, or put beside the
    // original (which compilation or Port's removal of the other kind would
    // pass over). A number outside the DRM is edited. Throws IoError when a
    // file that is there cannot be read.
    bool Edited(long number);
    // The same from what a caller that reads the work files already has:
    // exists(path) as FileExists would answer it (a folder's listing saves a
    // failed look-up per missing name), and open, when given, a work file it
    // holds open, compared in place of a second open when it is the one to
    // compare.
    bool Edited(long number, const std::function<bool(const std::string&)>& exists,
                BinaryFile* open);
    // The file compilation takes for item number, at the name Open gave it
    // (k.bmp with conversion on, else k.raw; n.gif, or n.bmp for an icon
    // whose bytes start with "BM"); the other, for an icon: the file of the
    // other kind, which compilation or a restore passes over.
    std::string OriginalPath(long number) const;
    std::string OtherIconPath(long number) const;
    // Writes item number (1 to R + N) as Open wrote it to OriginalPath.
    // Throws IoError.
    void WriteOriginal(long number, BinaryFile& out);
    // The width and height icon number's original gives in its header (a
    // GIF's screen, a BMP's size, positive); nullopt for a picture, or an
    // original that is neither. Throws IoError.
    std::optional<std::pair<int, int>> IconSize(long number);
    // Whether the file at path holds exactly icon number's original bytes,
    // whatever its name. Throws IoError.
    bool HoldsIcon(long number, const std::string& path);
    bool HoldsIcon(long number, BinaryFile& file);
    // The kinds of content the DRM's own icons hold (GIF and BMP, and any
    // other some DRMs use), each once. Throws IoError.
    std::vector<ContentKind> IconKinds();

private:
    DrmOriginals(ImageFolders folders, BinaryFile codeGroup, DrmSummary drm)
        : folders_(std::move(folders)), codeGroup_(std::move(codeGroup)), drm_(std::move(drm)) {}
    // Whether file holds item number's original, picture or icon.
    bool Holds(long number, BinaryFile& file);
    // Valid until the next call.
    const std::vector<std::uint8_t>& OriginalPictureBmp(const PictureSlot& slot);

    ImageFolders folders_;
    BinaryFile codeGroup_;
    DrmSummary drm_;
    // Kept from picture to picture: a window's check compares thousands, and
    // under Wine a picture-sized allocation costs more than its comparison.
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> bmp_;
};

// The numbers of the image's edited items (1 to R + N of its code group's DRM),
// in order; nullopt when no original is known (CG15.bin missing or refused).
// Throws IoError.
std::optional<std::vector<long>> EditedItems(const ImageFolders& image);

} // namespace zantrel
