// libFuzzer entry point; the target itself is in FuzzFax.h, shared with the
// regression replay test.
#include "FuzzFax.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunFax(data, size);
    return 0;
}
