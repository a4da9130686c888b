// FillOrder 2 stores each byte's pixels least significant bit first: the
// one table that turns such bytes into reading order, for every codec and
// reader that needs it.
#ifndef TIFFVIEW_DECODER_BITORDER_H
#define TIFFVIEW_DECODER_BITORDER_H

#include <cstddef>
#include <cstdint>

namespace tvbits {

struct ReverseTable {
    std::uint8_t Bytes[256];
    constexpr ReverseTable() : Bytes() {
        for (unsigned b = 0; b < 256; ++b) {
            unsigned r = 0;
            for (unsigned bit = 0; bit < 8; ++bit) r |= ((b >> bit) & 1u) << (7 - bit);
            Bytes[b] = static_cast<std::uint8_t>(r);
        }
    }
};
inline constexpr ReverseTable kReverse;

inline void ReverseBits(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = kReverse.Bytes[bytes[i]];
}

}  // namespace tvbits

#endif
