// libFuzzer entry point; the target itself is in FuzzDeflate.h, shared with the
// regression replay test.
#include "FuzzDeflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunDeflate(data, size);
    return 0;
}
