// libFuzzer entry point; the target itself is in FuzzReader.h, shared with the
// regression replay test.
#include "FuzzReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunReader(data, size);
    return 0;
}
