// A test-only TIFF LZW encoder and a code packer for hand-made streams.
#ifndef TIFFVIEW_TESTS_LZWENCODER_H
#define TIFFVIEW_TESTS_LZWENCODER_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tvtest {

struct LzwEncodeOptions {
    bool clearFirst = true;        // start with a Clear code
    bool clearWhenFull = true;     // Clear once the table's last entry (4095) is made
    bool endOfInformation = true;  // end with EndOfInformation
    // Old-style LZW, as writers before 1991 wrote it: codes least
    // significant bit first, each width kept one code longer.
    bool oldStyle = false;
};

// TIFF 6.0 LZW: codes most significant bit first, 9 to 12 bits, the width
// growing one code early (after entries 511, 1023 and 2047 are made on the
// encoder's side), zero bits padding the last byte. Without clearWhenFull
// a full table simply stops growing and coding goes on with 12-bit codes.
std::vector<std::uint8_t> LzwEncode(const std::uint8_t* data, std::size_t n,
                                    const LzwEncodeOptions& options = LzwEncodeOptions());
inline std::vector<std::uint8_t> LzwEncode(const std::vector<std::uint8_t>& data,
                                           const LzwEncodeOptions& options = LzwEncodeOptions()) {
    return LzwEncode(data.data(), data.size(), options);
}

// Packs (code, width) pairs most significant bit first, zero padded.
std::vector<std::uint8_t> PackCodes(const std::vector<std::pair<std::uint32_t, unsigned>>& codes);

// Codes of 9 bits each, for short hand-made streams.
std::vector<std::uint8_t> PackCodes9(const std::vector<std::uint32_t>& codes);

}  // namespace tvtest

#endif
