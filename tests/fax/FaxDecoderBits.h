// Small helpers for the fax decoder's unit tests: a bit writer to spell
// code streams out bit by bit, and one-call decoding with its results.
#ifndef TIFFVIEW_TESTS_FAX_FAXDECODERBITS_H
#define TIFFVIEW_TESTS_FAX_FAXDECODERBITS_H

#include <cstdint>
#include <string>
#include <vector>

#include "fax/FaxDecoder.h"

namespace faxbits {

using Bytes = std::vector<std::uint8_t>;

// Appends code texts ("0011 0101"; spaces ignored) first bit first; Bytes()
// pads the last byte with 0 bits.
class BitWriter {
public:
    BitWriter& Put(const std::string& code) {
        for (char c : code) {
            if (c == '0' || c == '1') {
                bits_.push_back(c == '1');
            }
        }
        return *this;
    }
    BitWriter& Repeat(const std::string& code, std::size_t times) {
        for (std::size_t i = 0; i < times; ++i) Put(code);
        return *this;
    }
    // 0 bits up to the next byte boundary.
    BitWriter& Align() {
        while (bits_.size() % 8 != 0) bits_.push_back(false);
        return *this;
    }
    // An EOL preceded by the fewest 0 bits that make it end on a byte boundary.
    BitWriter& AlignedEol() {
        while ((bits_.size() + 12) % 8 != 0) bits_.push_back(false);
        return Put("000000000001");
    }
    std::size_t Size() const { return bits_.size(); }
    Bytes Get() const {
        Bytes out((bits_.size() + 7) / 8, 0);
        for (std::size_t i = 0; i < bits_.size(); ++i) {
            if (bits_[i]) out[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
        }
        return out;
    }

private:
    std::vector<bool> bits_;
};

struct Call {
    int ok = 0;
    std::uint32_t consumed = 0;
    std::uint32_t produced = 0;
};

inline Call DecodeOnce(CFaxDecoder& decoder, const Bytes& input, std::size_t from = 0) {
    Call c;
    const std::uint8_t* p = input.empty() ? nullptr : input.data() + from;
    c.ok = decoder.Decode(p, static_cast<std::uint32_t>(input.size() - from), c.consumed, 1, c.produced);
    return c;
}

inline Bytes TakeLine(CFaxDecoder& decoder, std::uint32_t width) {
    Bytes line((width + 7) / 8 + 4, 0xA5);  // guard bytes after the line
    const std::uint32_t n = decoder.GetLine(line.data());
    line.resize(n);
    return line;
}

}  // namespace faxbits

#endif
