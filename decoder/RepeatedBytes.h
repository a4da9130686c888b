// Finding input that repeats itself: a row coded with the same bytes as the
// row before it, read from the same state, is the same row.
#ifndef TIFFVIEW_DECODER_REPEATEDBYTES_H
#define TIFFVIEW_DECODER_REPEATEDBYTES_H

#include <cstdint>
#include <cstring>

// How many of the bytes from `p` on, up to `limit` of them, equal the bytes
// `distance` before them (which must lie in the same buffer).
inline std::uint64_t RepeatedBytes(const std::uint8_t* p, std::uint64_t distance, std::uint64_t limit) {
    const std::uint8_t* const earlier = p - distance;
    std::uint64_t n = 0;
    while (n + 8 <= limit) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, p + n, 8);
        std::memcpy(&b, earlier + n, 8);
        if (a != b) break;
        n += 8;
    }
    while (n < limit && p[n] == earlier[n]) ++n;
    return n;
}

#endif
