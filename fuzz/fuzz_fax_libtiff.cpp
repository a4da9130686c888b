// libFuzzer entry point; the target itself is in FuzzFaxLibtiff.h.
#include "FuzzFaxLibtiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunFaxLibtiff(data, size);
    return 0;
}
