// libFuzzer entry point; the target itself is in FuzzPagesLibtiff.h.
#include "FuzzPagesLibtiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tvfuzz::RunPagesLibtiff(data, size);
    return 0;
}
