// A picture file as an import takes it: the target size and fit from the
// first three bytes, the rest the file. The probe and the decoder must agree,
// the decoded size stay in bounds, and every encoding of the fitted picture
// have exactly the size its slot needs; the GIF must decode to that size.
#include "base/fileio.h"

#include "imaging/bmpraw.h"
#include "imaging/fit.h"
#include "imaging/gifwrite.h"
#include "imaging/picture.h"
#include "imaging/pictureheader.h"

#include "harness.h"

using namespace zantrel;
using namespace zantrel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& start = StartFolder();
    InputSplitter in({data, size});
    const int width = 1 + in.Byte() % 64;
    const int height = 1 + in.Byte() % 64;
    const Fit fit = static_cast<Fit>(in.Byte() % 3);
    const std::string path = JoinPath(start, "in.png");
    WriteFile(path, in.Rest());

    std::string why;
    const auto probed = ProbePictureFile(path, &why);
    const auto picture = DecodePictureFile(path, &why);
    if (picture && !probed)
        Fail("decoded what the probe refused");
    if (!picture) {
        if (why.empty())
            Fail("refused without a reason");
        return 0;
    }
    if (picture->width != probed->first || picture->height != probed->second)
        Fail("the probe and the decoder disagree on the size");
    if (picture->width > MaxDecodedSide || picture->height > MaxDecodedSide ||
        std::int64_t{picture->width} * picture->height > MaxDecodedPixels ||
        picture->pixels.size() != static_cast<std::size_t>(picture->width) * picture->height)
        Fail("decoded size out of bounds");

    const Picture fitted = Flattened(FitPicture(*picture, width, height, fit));
    if (fitted.width != width || fitted.height != height)
        Fail("fitted to another size");
    if (EncodeRawPicture(fitted.pixels, width, height, Rgb{0xFF, 0x00, 0xFF}).size() !=
        static_cast<std::size_t>(RawPictureSize(width, height)))
        Fail("raw of the wrong size");
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (EncodeBmp24(fitted, Rgb{0xFF, 0x00, 0xFF}).size() != 54 + row * height)
        Fail("BMP of the wrong size");
    const std::string gifPath = JoinPath(start, "out.gif");
    WriteGifFile(gifPath, fitted);
    const auto back = DecodePictureFile(gifPath);
    if (!back || back->width != width || back->height != height)
        Fail("the GIF written does not decode to its size");
    return 0;
}
