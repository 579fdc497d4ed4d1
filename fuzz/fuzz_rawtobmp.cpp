// RawToBmp on a raw picture of any size (width, height and replacer colour
// from the first five bytes, the rest is the raw file, possibly cut short).
// The BMP must be the exact size, pass the compilation's own BMP check, and
// convert back to the same pixels and a mask that only gained the opaque
// pixels whose colour is the replacer's.
#include <filesystem>

#include "base/fileio.h"

#include "imaging/bmpraw.h"

#include "shell/state.h"

#include "harness.h"

namespace {

using namespace zantrel;
using namespace zantrel::fuzz;

std::uint8_t At(std::span<const std::uint8_t> bytes, std::size_t i) {
    return i < bytes.size() ? bytes[i] : 0; // a short raw reads as zero bytes
}

bool MaskBit(std::span<const std::uint8_t> bytes, std::size_t maskAt, std::size_t p) {
    return (At(bytes, maskAt + p / 8) & (0x80u >> (p % 8))) != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& start = StartFolder();
    InputSplitter in({data, size});
    const int width = in.Byte();
    const int height = in.Byte();
    const std::uint8_t blue = in.Byte(), green = in.Byte(), red = in.Byte();
    const auto raw = in.Rest();
    const std::string rawPath = JoinPath(start, "in.raw");
    const std::string bmpPath = JoinPath(start, "out.bmp");
    const std::string backPath = JoinPath(start, "back.raw");
    WriteFile(rawPath, raw);
    std::filesystem::remove(bmpPath);
    std::filesystem::remove(backPath);
    try {
        RawToBmp(rawPath, width, height, bmpPath, Rgb{red, green, blue});
        if (auto bad = CheckPictureBmp(bmpPath, width, height))
            Fail("RawToBmp wrote a BMP its own check refuses: " + *bad);
        BmpToRaw(bmpPath, backPath, Rgb{red, green, blue});
    } catch (const IoError& e) {
        Fail("conversion failed: " + IoErrorText(e.Code()) + " at " + e.Path());
    }

    const std::string bmp = ReadFile(bmpPath);
    const std::size_t rowSize = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
    if (bmp.size() != 54 + rowSize * height)
        Fail("BMP of " + std::to_string(bmp.size()) + " bytes");
    const std::string back = ReadFile(backPath);
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    const std::size_t maskSize = pixels == 0 ? 0 : 2 * ((pixels + 15) / 16);
    if (back.size() != 2 * pixels + maskSize)
        Fail("raw of " + std::to_string(back.size()) + " bytes back");
    const std::span<const std::uint8_t> out(reinterpret_cast<const std::uint8_t*>(back.data()),
                                            back.size());
    for (std::size_t p = 0; p < pixels; ++p) {
        const std::size_t row = p / width, col = p % width;
        const std::size_t at = 54 + (height - 1 - row) * rowSize + 3 * col;
        const bool replacer = static_cast<std::uint8_t>(bmp[at]) == blue &&
                              static_cast<std::uint8_t>(bmp[at + 1]) == green &&
                              static_cast<std::uint8_t>(bmp[at + 2]) == red;
        const bool wasTransparent = MaskBit(raw, 2 * pixels, p);
        const bool isTransparent = MaskBit(out, 2 * pixels, p);
        if (wasTransparent && !replacer)
            Fail("transparent pixel " + std::to_string(p) + " lost the replacer colour");
        if (isTransparent != replacer)
            Fail("pixel " + std::to_string(p) + " has the wrong mask bit back");
        if (!replacer && (At(raw, 2 * p) != out[2 * p] || At(raw, 2 * p + 1) != out[2 * p + 1]))
            Fail("opaque pixel " + std::to_string(p) + " changed in the round trip");
    }
    return 0;
}
