// BmpToRaw and the compilation's BMP check on any file (slot width and
// height and the replacer colour from the first five bytes, the rest is the
// BMP). The raw written must have exactly the size its header's sides give.
#include <filesystem>

#include "base/fileio.h"

#include "imaging/bmpraw.h"

#include "shell/state.h"

#include "harness.h"

using namespace zantrel;
using namespace zantrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& start = StartFolder();
    InputSplitter in({data, size});
    const int slotWidth = in.Byte();
    const int slotHeight = in.Byte();
    const std::uint8_t blue = in.Byte(), green = in.Byte(), red = in.Byte();
    const auto bmp = in.Rest();
    const std::string bmpPath = JoinPath(start, "in.bmp");
    const std::string rawPath = JoinPath(start, "out.raw");
    WriteFile(bmpPath, bmp);
    std::filesystem::remove(rawPath);
    bool fits = false;
    try {
        fits = !CheckPictureBmp(bmpPath, slotWidth, slotHeight).has_value();
        BmpToRaw(bmpPath, rawPath, Rgb{red, green, blue});
    } catch (const IoError& e) {
        Fail("conversion failed: " + IoErrorText(e.Code()) + " at " + e.Path());
    }
    // Only the low bytes of the header's width and height count.
    const std::size_t width = bmp.size() > 18 ? bmp[18] : 0;
    const std::size_t height = bmp.size() > 22 ? bmp[22] : 0;
    const std::size_t pixels = width * height;
    const std::size_t expected = pixels == 0 ? 0 : 2 * pixels + 2 * ((pixels + 15) / 16);
    const std::string raw = ReadFile(rawPath);
    if (raw.size() != expected)
        Fail("raw of " + std::to_string(raw.size()) + " bytes, expected " +
             std::to_string(expected));
    if (fits && (width != static_cast<std::size_t>(slotWidth) ||
                 height != static_cast<std::size_t>(slotHeight)))
        Fail("the BMP check took a picture of another size");
    if (fits && !std::filesystem::exists(rawPath))
        Fail("no raw written");
    return 0;
}
