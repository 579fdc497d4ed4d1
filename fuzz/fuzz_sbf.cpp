// The input is an SBF file (flash header, binary piece records), opened and
// decompiled as Open does; the input's length picks the picture conversion.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zantrel::fuzz::OpenAndCheck(zantrel::OpenSbf, "phone.sbf", {data, size}, size % 2 == 0);
    return 0;
}
