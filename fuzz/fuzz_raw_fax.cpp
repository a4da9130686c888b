// libFuzzer entry point; the target itself is in FuzzRawFax.h, shared with
// the regression replay test.
#include "FuzzRawFax.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunRawFax(data, size);
    return 0;
}
