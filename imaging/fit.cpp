#include "imaging/fit.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "imaging/stbimage.h"

namespace zantrel {

namespace {

// a * b / c to the nearest whole number; the callers' c keeps it within int.
int ScaledSide(int a, int b, int c) {
    const std::uint64_t product = static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b);
    return static_cast<int>((2 * product + static_cast<std::uint64_t>(c)) /
                            (2 * static_cast<std::uint64_t>(c)));
}

// stb's resizer with channel 3 as straight alpha: it weighs each colour by
// its alpha, so a transparent pixel's colour never reaches its neighbours.
// Edges are clamped, so an opaque picture stays opaque to its border.
Picture Resize(const Picture& picture, int width, int height) {
    if (picture.width == width && picture.height == height)
        return picture;
    const std::vector<unsigned char> in = RgbaBytes(picture);
    std::vector<unsigned char> out(static_cast<std::size_t>(width) * height * 4);
    if (!stbir_resize_uint8_generic(in.data(), picture.width, picture.height, picture.width * 4,
                                    out.data(), width, height, width * 4, 4, 3, 0, STBIR_EDGE_CLAMP,
                                    STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr))
        throw std::bad_alloc(); // its only failure with valid sizes
    return FromRgbaBytes(out.data(), width, height);
}

// The part of the picture of width x height at left, top.
Picture Crop(const Picture& picture, int left, int top, int width, int height) {
    Picture part = FilledPicture(width, height, 0);
    for (int y = 0; y < height; ++y)
        std::copy_n(picture.pixels.begin() +
                        static_cast<std::ptrdiff_t>(
                            static_cast<std::size_t>(top + y) * picture.width + left),
                    width, part.pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
    return part;
}

} // namespace

std::optional<Fit> FitFromName(std::string_view name) {
    for (Fit fit : {Fit::Inside, Fit::Fill, Fit::Stretch})
        if (name == FitName(fit))
            return fit;
    return std::nullopt;
}

std::string_view FitName(Fit fit) {
    switch (fit) {
    case Fit::Inside:
        return "inside";
    case Fit::Fill:
        return "fill";
    case Fit::Stretch:
        return "stretch";
    }
    return {};
}

Picture FitPicture(const Picture& picture, int width, int height, Fit fit) {
    if (picture.Empty() ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        throw std::invalid_argument("there is no picture to fit");
    // The resizer takes a row's bytes as an int.
    if (width < 1 || height < 1 || width > INT_MAX / 4)
        throw std::invalid_argument("the size to fit to is out of range");
    if (width == picture.width && height == picture.height)
        return picture;
    // Which side limits the scale: the target is relatively wider than the
    // picture when width / height > picture.width / picture.height.
    const bool wider = static_cast<std::int64_t>(width) * picture.height >
                       static_cast<std::int64_t>(height) * picture.width;
    switch (fit) {
    case Fit::Stretch:
        return Resize(picture, width, height);
    case Fit::Inside: {
        const int w =
            wider ? std::clamp(ScaledSide(picture.width, height, picture.height), 1, width) : width;
        const int h = wider
                          ? height
                          : std::clamp(ScaledSide(picture.height, width, picture.width), 1, height);
        const Picture scaled = Resize(picture, w, h);
        Picture fitted = FilledPicture(width, height, 0);
        const int left = (width - w) / 2, top = (height - h) / 2;
        for (int y = 0; y < h; ++y)
            std::copy_n(
                scaled.pixels.begin() + static_cast<std::ptrdiff_t>(y) * w, w,
                fitted.pixels.begin() +
                    static_cast<std::ptrdiff_t>(static_cast<std::size_t>(top + y) * width + left));
        return fitted;
    }
    case Fit::Fill: {
        // The centred part of the picture with the target's shape, then
        // scaled: never a scaled copy larger than the target.
        const int w = wider
                          ? picture.width
                          : std::clamp(ScaledSide(picture.height, width, height), 1, picture.width);
        const int h = wider
                          ? std::clamp(ScaledSide(picture.width, height, width), 1, picture.height)
                          : picture.height;
        return Resize(Crop(picture, (picture.width - w) / 2, (picture.height - h) / 2, w, h), width,
                      height);
    }
    }
    throw std::invalid_argument("unknown fit");
}

} // namespace zantrel
