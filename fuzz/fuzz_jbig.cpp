// libFuzzer entry point; the target itself is in FuzzJbig.h, shared with the
// regression replay test.
#include "FuzzJbig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunJbig(data, size);
    return 0;
}
