// Lines of the fax decoders as toggled 64-pixel words, and their rendering
// into packed pixels.
#ifndef TIFFVIEW_FAX_FAXTOGGLES_H
#define TIFFVIEW_FAX_FAXTOGGLES_H

#include <cstddef>
#include <cstdint>

// A line is kept as its changing elements: the pixels where its runs end
// (runs alternate white, black, white... from pixel 0; an empty run repeats
// its neighbour's position), so the line holds as many pixels as its last
// element says, or none when it has no elements.
//
// While a line is decoded its elements are also toggled into an array of
// 64-pixel words (first pixel in bit 63): element e flips the pixels from e
// to the end of word e / 64. A word XORed with the colour the line has
// where the word starts (the colour its previous word ends with) is then
// that word's pixels (white 0, black 1).
struct FaxToggleMasks_t {
    std::uint64_t Mask[64];  // the pixels from bit i to the end of a word
    constexpr FaxToggleMasks_t() : Mask() {
        for (unsigned i = 0; i < 64; ++i) Mask[i] = ~std::uint64_t{0} >> i;
    }
};
inline constexpr FaxToggleMasks_t kFaxToggleMasks;

inline void ToggleFaxElement(std::uint64_t* toggles, std::uint64_t element) {
    // From a table: a variable shift takes more instructions on x86-64.
    toggles[element >> 6] ^= kFaxToggleMasks.Mask[element & 63];
}

// Renders the toggled line of `total` pixels as packed pixels at `dest`,
// which has room for `capacity` bytes: the whole bytes and then the
// trailing partial byte, even when it holds no pixels, if there is room
// for it; every byte written once, none beyond. Sets `bytes` to the whole
// bytes written and `bits` to the pixels in the partial byte. Returns false,
// writing nothing and setting both counts to 0, when the pixels do not fit
// into `capacity` bytes. Either way it clears the toggle words up to pixel
// `total`, so that an array of a line's toggles is all 0 again.
bool RenderFaxToggles(std::uint64_t* toggles, std::uint64_t total, std::uint8_t* dest, std::size_t capacity,
                      std::uint32_t& bytes, std::uint32_t& bits);
// The same for a line whose toggles all lie in the words of pixels `from`
// to `to` and in the word of pixel `total`: the words before and after
// that span are neither read nor cleared (a line's elements, in order,
// give it: its first, and its last before `total`). With `complement`
// every pixel is rendered complemented, the bits past `total` still 0.
bool RenderFaxToggles(std::uint64_t* toggles, std::uint64_t total, std::uint8_t* dest, std::size_t capacity,
                      std::uint32_t& bytes, std::uint32_t& bits, std::uint64_t from, std::uint64_t to,
                      bool complement);

#endif
