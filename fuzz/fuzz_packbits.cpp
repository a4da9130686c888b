// libFuzzer entry point; the target itself is in FuzzPackBits.h.
#include "FuzzPackBits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunPackBits(data, size);
    return 0;
}
