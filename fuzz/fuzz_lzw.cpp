// libFuzzer entry point; the target itself is in FuzzLzw.h, shared with the
// regression replay test.
#include "FuzzLzw.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunLzw(data, size);
    return 0;
}
