// Test-only TIFF LZW encoder.
#include "support/LzwEncoder.h"

#include <unordered_map>

namespace tvtest {

namespace {

class BitWriter {
public:
    explicit BitWriter(bool lsbFirst = false) : lsbFirst_(lsbFirst) {}
    void Put(std::uint32_t code, unsigned width) {
        if (lsbFirst_) {
            acc_ |= std::uint64_t{code} << bits_;
            bits_ += width;
            for (; bits_ >= 8; bits_ -= 8, acc_ >>= 8) out_.push_back(static_cast<std::uint8_t>(acc_));
            return;
        }
        acc_ = (acc_ << width) | code;
        bits_ += width;
        while (bits_ >= 8) {
            bits_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> bits_));
        }
        acc_ &= (1u << bits_) - 1;
    }
    std::vector<std::uint8_t> Finish() {
        if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(lsbFirst_ ? acc_ : acc_ << (8 - bits_)));
        bits_ = 0;
        acc_ = 0;
        return std::move(out_);
    }

private:
    bool lsbFirst_;
    std::uint64_t acc_ = 0;
    unsigned bits_ = 0;
    std::vector<std::uint8_t> out_;
};

constexpr std::uint32_t kClear = 256;
constexpr std::uint32_t kEnd = 257;
constexpr std::uint32_t kFirst = 258;
constexpr std::uint32_t kTable = 4096;

}  // namespace

std::vector<std::uint8_t> LzwEncode(const std::uint8_t* data, std::size_t n, const LzwEncodeOptions& options) {
    BitWriter out(options.oldStyle);
    unsigned width = 9;
    std::uint32_t next = kFirst;
    std::unordered_map<std::uint32_t, std::uint32_t> table;
    table.reserve(kTable);
    // The decoder makes each entry one code later than the encoder, and
    // widens when its next code reaches 2^width - 1 (old style: 2^width):
    // on this side that is when `next` reaches 2^width (2^width + 1).
    const std::uint32_t late = options.oldStyle ? 1 : 0;
    auto grow = [&]() {
        if (next < kTable) {
            ++next;
            if (next == (1u << width) + late && width < 12) ++width;
        }
    };
    if (options.clearFirst) out.Put(kClear, width);
    if (n > 0) {
        std::uint32_t w = data[0];
        for (std::size_t i = 1; i < n; ++i) {
            const std::uint32_t key = (w << 8) | data[i];
            auto it = table.find(key);
            if (it != table.end()) {
                w = it->second;
                continue;
            }
            out.Put(w, width);
            if (next < kTable) table.emplace(key, next);
            grow();
            if (next == kTable && options.clearWhenFull) {
                out.Put(kClear, width);
                table.clear();
                next = kFirst;
                width = 9;
            }
            w = data[i];
        }
        out.Put(w, width);
        grow();
    }
    if (options.endOfInformation) out.Put(kEnd, width);
    return out.Finish();
}

std::vector<std::uint8_t> PackCodes(const std::vector<std::pair<std::uint32_t, unsigned>>& codes) {
    BitWriter out;
    for (const auto& c : codes) out.Put(c.first, c.second);
    return out.Finish();
}

std::vector<std::uint8_t> PackCodes9(const std::vector<std::uint32_t>& codes) {
    BitWriter out;
    for (std::uint32_t c : codes) out.Put(c, 9);
    return out.Finish();
}

}  // namespace tvtest
