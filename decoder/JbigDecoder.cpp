#include "decoder/JbigDecoder.h"

// jbigkit's header declares C functions without saying so.
extern "C" {
#include <jbig.h>
}

#include <cstring>
#include <new>

#include "decoder/BitOrder.h"

CJbigDecoder::CJbigDecoder(std::uint32_t rowsPerChunk, std::uint32_t fillOrder)
    : CChunkDecoder(rowsPerChunk), Reverse(fillOrder != 2) {}

std::size_t CJbigDecoder::DecodeChunk(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                                      std::size_t room, std::size_t& /*damagedFrom*/) {
    if (inputLength == 0) return 0;
    try {
        if (Copy.size() < inputLength) Copy.resize(inputLength);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(Copy.data(), input, inputLength);
    if (Reverse) tvbits::ReverseBits(Copy.data(), inputLength);
    // The height announced may be a placeholder that a NEWLEN marker
    // corrects; libtiff has jbigkit fix it in the header first.
    jbg_newlen(Copy.data(), inputLength);

    jbg_dec_state state;
    jbg_dec_init(&state);
    // jbigkit allocates the whole image from its header: nothing larger
    // than the strip could be of use.
    jbg_dec_maxsize(&state, Width(), Rows());
    std::size_t size = 0;
    const int status = jbg_dec_in(&state, Copy.data(), inputLength, nullptr);
    if (status == JBG_EOK) {
        const unsigned char* image = jbg_dec_getimage(&state, 0);
        const unsigned long bytes = jbg_dec_getsize(&state);
        if (image != nullptr) {
            size = bytes < room ? static_cast<std::size_t>(bytes) : room;
            std::memcpy(out, image, size);
        }
    }
    jbg_dec_free(&state);
    return size;
}
