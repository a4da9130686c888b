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

    // jbigkit allocates the whole image, in every plane, as its header
    // announces it, and ends the process when that fails: an image larger
    // than the strip (which libtiff refuses after decoding it) or of more
    // than one plane is refused before.
    if (inputLength < 20) return 0;
    const std::uint8_t* header = Copy.data();
    auto big32 = [](const std::uint8_t* p) {
        return (std::uint64_t{p[0]} << 24) | (std::uint64_t{p[1]} << 16) | (std::uint64_t{p[2]} << 8) | p[3];
    };
    const std::uint64_t xd = big32(header + 4);
    const std::uint64_t yd = big32(header + 8);
    if (header[2] != 1 || (xd + 7) / 8 * yd > Need()) return 0;

    jbg_dec_state state;
    jbg_dec_init(&state);
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
