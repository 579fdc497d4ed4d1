// Single items of the other phone taken into image 1, slot by slot, where
// Port takes them all: a picture into a slot of its size, an icon fitted as
// Replace fits it. One question first, one undoable step.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/sdimain.h"
#include "shell/workview.h"

namespace zantrel {

// Why image 1's item into cannot take image 2's item from; nullopt when it
// can: the same kind of slot and, for a picture, the same size.
std::optional<std::string> WhyNotTaken(const WorkItem& from, const WorkItem* into);

// Image 2's items numbers (empty: every one image 1 takes) into image 1's
// items of the same numbers, or the one number only into to. Asks first,
// showing each item now and after; refused, changing nothing, when a slot
// named cannot take its item.
CommandResult TakeItems(const std::vector<long>& numbers, std::optional<long> to = std::nullopt);

// Whether the two images' items show other pixels (after conversion: a BMP
// copy and a raw picture of the same pixels are the same); files of the
// same bytes are the same without decoding.
bool ItemsDiffer(const WorkItem& one, const WorkItem* two);

// "3", "3,7,9" or "all" (empty); nullopt for anything else.
std::optional<std::vector<long>> ParseItemList(const std::string& text);

} // namespace zantrel
