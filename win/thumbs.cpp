#include "win/thumbs.h"

#include <wincodec.h>

#include <algorithm>

#include "base/unicode.h"

namespace zantrel {

namespace {

constexpr std::uint32_t Background = 0xFFF4F4F4;
constexpr std::uint32_t Border = 0xFFC8C8C8;

template <class T> struct ComRef {
    T* p = nullptr;
    ~ComRef() {
        if (p)
            p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

Picture DecodeWithWic(const std::string& path) {
    Picture picture;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ComRef<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))))
        return picture;
    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(SystemPathFromUtf8(path).c_str(), nullptr,
                                                  GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  &decoder)))
        return picture;
    ComRef<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, &frame)))
        return picture;
    ComRef<IWICBitmapSource> converted;
    if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.p, &converted)))
        return picture;
    UINT width = 0, height = 0;
    if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0 || width > 4096 ||
        height > 4096)
        return picture;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    // BGRA bytes in memory are 0xAARRGGBB words on a little-endian machine.
    if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(pixels.data()))))
        return picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.pixels = std::move(pixels);
    return picture;
}

// The average of the source pixels a target pixel covers, weighted by alpha.
std::uint32_t AreaAverage(const Picture& picture, int x0, int x1, int y0, int y1) {
    std::uint64_t a = 0, r = 0, g = 0, b = 0, n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t p = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            const std::uint32_t alpha = p >> 24;
            a += alpha;
            r += ((p >> 16) & 0xFF) * alpha;
            g += ((p >> 8) & 0xFF) * alpha;
            b += (p & 0xFF) * alpha;
            ++n;
        }
    if (n == 0 || a == 0)
        return 0;
    return static_cast<std::uint32_t>(a / n) << 24 | static_cast<std::uint32_t>(r / a) << 16 |
           static_cast<std::uint32_t>(g / a) << 8 | static_cast<std::uint32_t>(b / a);
}

std::uint32_t Over(std::uint32_t top, std::uint32_t bottom) {
    const std::uint32_t alpha = top >> 24;
    const auto mix = [alpha](std::uint32_t t, std::uint32_t u) {
        return (t * alpha + u * (255 - alpha) + 127) / 255;
    };
    return 0xFF000000u | mix((top >> 16) & 0xFF, (bottom >> 16) & 0xFF) << 16 |
           mix((top >> 8) & 0xFF, (bottom >> 8) & 0xFF) << 8 | mix(top & 0xFF, bottom & 0xFF);
}

} // namespace

Picture LoadThumbnailPicture(const Thumbnail& thumbnail) {
    if (thumbnail.path.empty())
        return {};
    if (!thumbnail.raw)
        return DecodeWithWic(thumbnail.path);
    Picture picture;
    if (auto pixels = RawThumbnailPixels(thumbnail)) {
        picture.width = thumbnail.width;
        picture.height = thumbnail.height;
        picture.pixels = std::move(*pixels);
    }
    return picture;
}

HBITMAP RenderThumbnail(const Picture& picture, int side) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    auto* canvas = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            canvas[y * side + x] =
                (x == 0 || y == 0 || x == side - 1 || y == side - 1) ? Border : Background;
    if (picture.width <= 0 || picture.height <= 0)
        return bitmap;

    const ThumbnailFit fit = FitThumbnail(picture.width, picture.height, side);
    const int width = fit.width, height = fit.height;
    const int left = (side - width) / 2, top = (side - height) / 2;
    for (int y = 0; y < height; ++y) {
        const int y0 = y * picture.height / height;
        const int y1 = std::max(y0 + 1, (y + 1) * picture.height / height);
        for (int x = 0; x < width; ++x) {
            const int x0 = x * picture.width / width;
            const int x1 = std::max(x0 + 1, (x + 1) * picture.width / width);
            std::uint32_t& target = canvas[(top + y) * side + left + x];
            target = Over(AreaAverage(picture, x0, x1, y0, y1), target);
        }
    }
    return bitmap;
}

} // namespace zantrel
