// The input is a raw code-group image: the DRM tag search, then the
// decompilation; the input's length picks the picture conversion.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zantrel::fuzz::OpenAndCheck(zantrel::OpenRawImage, "phone.bin", {data, size}, size % 2 == 0);
    return 0;
}
