// Editing inside Zantrel, beside the outside editors: an item of image 1
// replaced from a picture file, restored to what Open wrote, and the whole
// set exported as PNG files or one contact sheet and imported back. Every
// change is written as one all-or-nothing step.
#pragma once

#include <optional>
#include <string>

#include "imaging/fit.h"
#include "imaging/picture.h"
#include "shell/sdimain.h"
#include "shell/workview.h"

namespace zantrel {

// The picture files an item can be replaced from, for the open dialog.
inline constexpr std::string_view PictureFilter =
    "Pictures|*.png;*.jpg;*.jpeg;*.gif;*.bmp;*.tga|All files|*.*";
inline constexpr std::string_view PngFilter = "PNG pictures|*.png";

struct ReplaceOptions {
    // How a picture of another size is brought to the slot's.
    Fit fit = Fit::Inside;
    // An icon takes the new picture's own size instead of the old icon's.
    bool iconTakesNewSize = false;
    // Ask first, showing the item as it is and as it would be side by side
    // (the windows' Replace and a picture dropped on a thumbnail); for an
    // icon of another size, the question offers the picture's own size.
    bool askFirst = false;
};

// The item's pixels as the phone shows them (transparent where the replacer
// colour or the mask says so); nullopt when its file is missing or cannot
// be decoded.
std::optional<Picture> ItemPicture(const WorkItem& item);

// Replaces image 1's item number from the picture file source: a picture at
// exactly its slot's size, as the BMP conversion takes or as the raw file;
// an icon as a GIF or BMP, as it was. Refused, naming the file, when source
// cannot be decoded. source nullopt: the open dialog asks.
CommandResult ReplaceItem(long number, std::optional<std::string> source,
                          const ReplaceOptions& options = {});
// The item as it is (left) and as it would be (right), each fitted in a
// square of side with a caption under it.
Picture SideBySide(const std::optional<Picture>& now, const Picture& then, int side);

// Puts image 1's item number back as Open wrote it.
CommandResult RestoreItem(long number);
// Every edited item of image 1 back as Open wrote it, after a question.
CommandResult RestoreAllItems();
// Every picture and icon of image 1 as N.png in folder (nullopt: the folder
// picker asks).
CommandResult ExportPictures(std::optional<std::string> folder);
// One PNG of every item with its number, size and edited mark (nullopt: the
// save dialog asks).
CommandResult ExportContactSheet(std::optional<std::string> file);
// Replaces the items of image 1 from the picture files in folder named by
// number (1.png, 2.jpg, ...): first a question that says what would change,
// then all of it as one step. A file whose pixels equal the item's leaves
// it untouched, so exporting and importing again changes nothing.
CommandResult ImportPictures(std::optional<std::string> folder, const ReplaceOptions& options = {});

} // namespace zantrel
