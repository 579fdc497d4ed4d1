// Editing inside Zantrel, beside the outside editors: an item of image 1
// replaced from a picture file, restored to what Open wrote, and the whole
// set exported as PNG files or one contact sheet and imported back. Every
// change is written as one all-or-nothing step; a refusal is shown once, in
// a box captioned with the command.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/commit.h"
#include "base/outcome.h"

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

// What an export does with files of the names it writes that exist already:
// the window asks, the console refuses unless told to replace them.
enum class Overwrite { Ask, Refuse, Replace };

// The item's pixels as the phone shows them (transparent where the replacer
// colour or the mask says so); nullopt when its file is missing or cannot
// be decoded.
std::optional<Picture> ItemPicture(const WorkItem& item);

// Replaces image 1's item number from the picture file source: a picture at
// exactly its slot's size, as the BMP conversion takes or as the raw file;
// an icon as a GIF or BMP, as it was, at its file's size or, when that file
// cannot be read, at the size of the phone's own icon in the slot. Refused,
// naming the file, when source cannot be decoded. source nullopt: the open
// dialog asks.
CommandResult ReplaceItem(long number, std::optional<std::string> source,
                          const ReplaceOptions& options = {});
// The item as it is (left) and as it would be (right), each fitted in a
// square of side with a caption under it.
Picture SideBySide(const std::optional<Picture>& now, const Picture& then, int side);

// picture as image 1's item takes it, as Replace fits it: a picture at its
// slot's size, an icon at its own.
Picture FittedForItem(const WorkItem& item, const Picture& picture,
                      const ReplaceOptions& options = {});
// Stages image 1's item showing fitted, written as Replace writes it (the
// icon's file of the other kind goes); false when it shows that already.
bool StageItemPicture(StagedReplacements& staging, const WorkItem& item, const Picture& fitted);

// Puts image 1's item number back as Open wrote it.
CommandResult RestoreItem(long number);
// Every edited item of image 1 back as Open wrote it, after a question.
CommandResult RestoreAllItems();
// Every picture and icon of image 1 as N.png in folder (nullopt: the folder
// picker asks; a folder given that does not exist is made).
CommandResult ExportPictures(std::optional<std::string> folder,
                             Overwrite overwrite = Overwrite::Ask);
// One PNG of every item with its number, size and edited mark (nullopt: the
// save dialog asks, offering "<flash name>-sheet.png").
CommandResult ExportContactSheet(std::optional<std::string> file,
                                 Overwrite overwrite = Overwrite::Ask);

// What importing a folder's pictures would do, found by doing it: every file
// named by the number of an item decoded, fitted, compared with the item and,
// where it changes it, written beside the item's file. The question shows
// this plan; applying it puts exactly the files written in place.
struct ImportPlan {
    struct Change {
        long number = 0;
        std::string source; // the picture file
        std::string target; // the work file it replaces
        int width = 0;      // the size it is written at
        int height = 0;
        bool fitted = false; // the picture's own size differs
    };
    std::string folder;
    Fit fit = Fit::Inside;
    std::vector<Change> changes;
    std::vector<long> unchanged;       // the file shows what the item shows already
    std::vector<std::string> unusable; // "2.png: the file is cut short"
    std::vector<long> doubled;         // more than one file for the item
    std::vector<long> outside;         // no item of that number
    // The new files, staged beside their targets; they go unless applied.
    std::unique_ptr<StagedReplacements> staged = std::make_unique<StagedReplacements>();
};
// The plan for folder, or why there is nothing to import (no items, or no
// picture in folder named by an item's number). Throws IoError.
Checked<ImportPlan> PlanImport(const std::string& folder, const ReplaceOptions& options = {});
// The question the plan asks: what changes, what is fitted and to what
// size, what is left out and why.
std::string ImportPlanText(const ImportPlan& plan);
// Puts the plan's new files in place, all or none. Throws IoError.
void ApplyImport(ImportPlan& plan);
// Replaces the items of image 1 from the picture files in folder named by
// number (1.png, 2.jpg, ...): the plan, its question, then all of it as one
// step. A file whose pixels equal the item's leaves it untouched, so
// exporting and importing again changes nothing.
CommandResult ImportPictures(std::optional<std::string> folder, const ReplaceOptions& options = {});

} // namespace zantrel
