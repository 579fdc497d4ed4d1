// A picture brought to the exact size of the item it replaces.
#pragma once

#include <optional>
#include <string_view>

#include "imaging/picture.h"

namespace zantrel {

// Inside: the whole picture, scaled to lie within the size with its shape
// kept, centred on transparency. Fill: scaled to cover the size with its
// shape kept, the overhang cropped evenly. Stretch: each side scaled alone.
enum class Fit { Inside, Fill, Stretch };

// "inside", "fill", "stretch"; nullopt for any other name.
std::optional<Fit> FitFromName(std::string_view name);
std::string_view FitName(Fit fit);

// The picture at exactly width x height. At its own size it is returned
// pixel for pixel. Scaling weighs colours by alpha, so transparent pixels'
// colours do not bleed into their neighbours. An odd margin or overhang
// leaves its extra pixel right and below. Throws std::invalid_argument for an
// empty picture, pixels that do not match its size, or a size below 1 x 1.
Picture FitPicture(const Picture& picture, int width, int height, Fit fit);

} // namespace zantrel
