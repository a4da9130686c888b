#include "decoder/LzwOldStyle.h"

namespace tvlzw {

namespace {

constexpr std::uint32_t kClear = 256;
constexpr std::uint32_t kEnd = 257;
constexpr std::uint32_t kFirstFree = 258;
constexpr std::uint32_t kMinWidth = 9;
constexpr std::uint32_t kMaxWidth = 12;

// The width of the next code once `next` entries are in use: old-style
// streams widen when the next free entry no longer fits, TIFF 6.0 streams
// one entry earlier.
std::uint32_t OldWidth(std::uint32_t next) {
    std::uint32_t width = kMinWidth;
    while (width < kMaxWidth && next >= (1u << width)) ++width;
    return width;
}

std::uint32_t NewWidth(std::uint32_t next) {
    std::uint32_t width = kMinWidth;
    while (width < kMaxWidth && next >= (1u << width) - 1) ++width;
    return width;
}

// Codes packed most significant bit first.
class CodeWriter {
public:
    explicit CodeWriter(std::uint8_t* out) : out_(out) {}
    void Put(std::uint32_t code, std::uint32_t width) {
        acc_ = acc_ << width | code;
        bits_ += width;
        while (bits_ >= 8) {
            bits_ -= 8;
            out_[written_++] = static_cast<std::uint8_t>(acc_ >> bits_);
        }
        acc_ &= (1u << bits_) - 1;
    }
    std::uint32_t Finish() {
        if (bits_ > 0) out_[written_++] = static_cast<std::uint8_t>(acc_ << (8 - bits_));
        bits_ = 0;
        return written_;
    }

private:
    std::uint8_t* out_;
    std::uint32_t acc_ = 0;
    std::uint32_t bits_ = 0;
    std::uint32_t written_ = 0;
};

}  // namespace

bool IsOldStyle(const std::uint8_t* data, std::uint32_t size) { return size >= 2 && data[0] == 0 && (data[1] & 1) != 0; }

std::uint64_t RewrittenSize(std::uint32_t size) {
    // At most size * 8 / 9 codes of at most 12 bits, one EOI, one partial byte.
    return (std::uint64_t{size} * 8 / kMinWidth + 1) * kMaxWidth / 8 + 2;
}

std::uint32_t RewriteOldStyle(const std::uint8_t* data, std::uint32_t size, std::uint8_t* out) {
    CodeWriter writer(out);
    std::uint64_t acc = 0;  // unread input bits, least significant first
    std::uint32_t bits = 0;
    std::uint32_t at = 0;
    // Entries in use, and whether the next code is the first after a
    // Clear (which adds none).
    std::uint32_t next = kFirstFree;
    bool first = true;
    for (;;) {
        const std::uint32_t width = OldWidth(next);
        while (bits < width && at < size) {
            acc |= std::uint64_t{data[at++]} << bits;
            bits += 8;
        }
        if (bits < width) break;  // the data ends without an EOI
        const auto code = static_cast<std::uint32_t>(acc & ((1u << width) - 1));
        acc >>= width;
        bits -= width;
        writer.Put(code, NewWidth(next));
        if (code == kEnd) return writer.Finish();
        if (code == kClear) {
            next = kFirstFree;
            first = true;
            continue;
        }
        if (!first && next < (1u << kMaxWidth)) ++next;
        first = false;
    }
    writer.Put(kEnd, NewWidth(next));
    return writer.Finish();
}

}  // namespace tvlzw
