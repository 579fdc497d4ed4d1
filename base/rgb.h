// A colour as red, green and blue: the transparency replacer colour as it
// travels between the settings, the dialogs and the conversions. Only the
// settings file (blue, green, red lines) and the colour dialogs hold it in
// another form.
#pragma once

#include <cstdint>

namespace zantrel {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
    // As a picture's pixels hold it: 0x00RRGGBB.
    constexpr std::uint32_t Pixel() const {
        return std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
    }
};

} // namespace zantrel
