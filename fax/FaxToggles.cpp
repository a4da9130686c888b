// Rendering a line's toggled words into packed pixels.
#include "fax/FaxToggles.h"

#include <algorithm>
#include <cstring>

#include "decoder/FillBytes.h"

namespace {

inline void StoreBigEndian64(std::uint8_t* p, std::uint64_t w) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    w = __builtin_bswap64(w);
    std::memcpy(p, &w, 8);
#else
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(w);
        w >>= 8;
    }
#endif
}

}  // namespace

bool RenderFaxToggles(std::uint64_t* toggles, std::uint64_t total, std::uint8_t* dest, std::size_t capacity,
                      std::uint32_t& bytes, std::uint32_t& bits) {
    // The span of toggled words, found by looking: words without toggles
    // at either end, two at a time.
    const std::uint64_t lastWord = total >> 6;
    std::uint64_t first = 0;
    while (first + 2 <= lastWord && (toggles[first] | toggles[first + 1]) == 0) first += 2;
    std::uint64_t end = lastWord;  // past the last word before lastWord that may hold toggles
    while (end >= first + 2 && (toggles[end - 1] | toggles[end - 2]) == 0) end -= 2;
    return RenderFaxToggles(toggles, total, dest, capacity, bytes, bits, 64 * first, end > 0 ? 64 * end - 1 : 0, false);
}

bool RenderFaxToggles(std::uint64_t* toggles, std::uint64_t total, std::uint8_t* dest, std::size_t capacity,
                      std::uint32_t& bytes, std::uint32_t& bits, std::uint64_t from, std::uint64_t to,
                      bool complement) {
    const std::uint64_t lastWord = total >> 6;
    if (total > static_cast<std::uint64_t>(capacity) * 8) {
        std::memset(toggles, 0, static_cast<std::size_t>(lastWord + 1) * sizeof *toggles);
        bytes = 0;
        bits = 0;
        return false;
    }
    // The line's bytes end at `limit`, within the last word: every word
    // before it is whole. Each word's pixels come from its toggles and the
    // colour the word before ended with, its last pixel.
    const std::uint64_t whole = total / 8;
    const std::uint64_t limit = whole < capacity ? whole + 1 : whole;
    // Words without toggles take the colour the line has where they start:
    // white before the span, and after it the colour the span ends with.
    // Only the words of the span are rendered (and cleared). A complemented
    // line starts with all 1s.
    const std::uint64_t white = complement ? ~std::uint64_t{0} : 0;
    std::uint64_t w = std::min(from >> 6, lastWord);
    const std::uint64_t toggled = std::max(w, std::min((to >> 6) + 1, lastWord));
    if (w > 0) FillBytes(dest, static_cast<std::uint8_t>(white), static_cast<std::size_t>(8 * w));
    std::uint64_t colour = white;  // all 1s while black (white, complemented)
    // Two words a turn: half the loop's own steps on lines of few runs.
    for (; w + 2 <= toggled; w += 2) {
        const std::uint64_t first = toggles[w] ^ colour;
        const std::uint64_t second = toggles[w + 1] ^ (0 - (first & 1u));
        toggles[w] = 0;
        toggles[w + 1] = 0;
        colour = 0 - (second & 1u);
        StoreBigEndian64(dest + 8 * w, first);
        StoreBigEndian64(dest + 8 * w + 8, second);
    }
    if (w < toggled) {
        const std::uint64_t pixels = toggles[w] ^ colour;
        toggles[w] = 0;
        colour = 0 - (pixels & 1u);
        StoreBigEndian64(dest + 8 * w, pixels);
        ++w;
    }
    if (w < lastWord) FillBytes(dest + 8 * w, static_cast<std::uint8_t>(colour), static_cast<std::size_t>(8 * (lastWord - w)));
    // The last word is cut at pixel `total` (nothing of it when total is a
    // multiple of 64), and at the limit.
    std::uint64_t pixels = (toggles[lastWord] ^ colour) & ~(~std::uint64_t{0} >> (total & 63));
    toggles[lastWord] = 0;
    const std::uint64_t at = 8 * lastWord;
    if (at + 8 <= limit) {
        StoreBigEndian64(dest + at, pixels);
    } else if (at < limit) {
        // Fewer than eight bytes: four, two and one at a time, from the
        // word's bytes in order.
        std::uint8_t word[8];
        StoreBigEndian64(word, pixels);
        const std::size_t count = static_cast<std::size_t>(limit - at);
        std::uint8_t* out = dest + at;
        std::size_t done = 0;
        if ((count & 4u) != 0) {
            std::memcpy(out, word, 4);
            done = 4;
        }
        if ((count & 2u) != 0) {
            std::memcpy(out + done, word + done, 2);
            done += 2;
        }
        if ((count & 1u) != 0) {
            out[done] = word[done];
        }
    }
    bytes = static_cast<std::uint32_t>(whole);
    bits = static_cast<std::uint32_t>(total % 8);
    return true;
}
