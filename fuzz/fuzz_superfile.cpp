// The input is a superfile (flash header, S-record body), opened and
// decompiled as Open does; every other input alternates the picture
// conversion so that the compile check runs too.
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zantrel::fuzz::OpenAndCheck(zantrel::OpenSuperfile, "phone.shx", {data, size}, size % 2 == 0);
    return 0;
}
