// CLzwDecoder alone, driven the way the reader drives it.
//
// First byte: bit 0 selects the mode, the rest are flags.
// - Raw mode: the input after a short header is a compressed stream, cut
//   into strips of random sizes (Reset between them, as the reader does for
//   multi-strip images); each Decode asks for the bytes still missing from
//   the current line; lines are fetched, and now and then bytes discarded.
// - Round-trip mode: the rest of the input is plain data; it is compressed
//   with the test encoder and fed to the decoder in random pieces without a
//   Reset; the decoded bytes must be exactly the plain data.
//
// Invariants: consumed never exceeds the input given and is at least one
// byte when input was given; produced never exceeds what was wanted by more
// than one string; GetLine hands out exactly min(line, undelivered) bytes and
// never writes beyond the line (guard region).
#ifndef TIFFVIEW_FUZZ_FUZZLZW_H
#define TIFFVIEW_FUZZ_FUZZLZW_H
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "decoder/LzwDecoder.h"
#include "support/LzwEncoder.h"

namespace tvfuzz {
namespace lzw_detail {

// One code adds at most a 4096-byte string, written as a whole.
constexpr std::uint32_t kLongestString = 4096;

struct Driver {
    CLzwDecoder decoder;
    std::uint32_t lineBytes = 0;
    std::uint64_t undelivered = 0;
    std::int32_t invert = 0;
    tvfuzz::GuardedLine line;
    std::vector<std::uint8_t> out;  // delivered bytes, un-inverted

    Driver(std::uint32_t width, std::int32_t inv) : lineBytes((width + 7) / 8), invert(inv), line((width + 7) / 8) {
        decoder.SetInvert(inv);
        FUZZ_CHECK(decoder.SetWidth(width) != 0, "SetWidth(%u) failed", width);
        decoder.Reset();
    }

    // Returns false when Decode reports corrupt data.
    bool Decode(const std::uint8_t* in, std::uint32_t length, std::uint32_t& consumed) {
        const std::uint32_t wanted = static_cast<std::uint32_t>(lineBytes - undelivered);
        std::uint32_t produced = 0xDEADBEEF;
        consumed = 0xDEADBEEF;
        if (decoder.Decode(in, length, consumed, wanted, produced) == 0) return false;
        FUZZ_CHECK(consumed <= length, "consumed %u of %u", consumed, length);
        FUZZ_CHECK(length == 0 || consumed > 0, "consumed nothing of %u bytes", length);
        FUZZ_CHECK(length != 0 || produced == 0, "produced %u from no input", produced);
        FUZZ_CHECK(produced < wanted + kLongestString + 1, "produced %u for %u wanted", produced, wanted);
        undelivered += produced;
        return true;
    }

    void Fetch() {
        line.Poison();
        const std::uint32_t n = decoder.GetLine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "GetLine wrote beyond %u bytes", lineBytes);
        const std::uint64_t expect = undelivered < lineBytes ? undelivered : lineBytes;
        FUZZ_CHECK(n == expect, "GetLine returned %u with %llu undelivered, line %u", n,
                   static_cast<unsigned long long>(undelivered), lineBytes);
        for (std::uint32_t i = 0; i < n; ++i) {
            out.push_back(invert == 1 ? static_cast<std::uint8_t>(~line.Data()[i]) : line.Data()[i]);
        }
        undelivered -= n;
    }

    // After a failed Decode the count of undelivered bytes is not known:
    // drain the ring until a short line shows it empty.
    void Resync() {
        for (int guard = 0; guard < (1 << 20); ++guard) {
            const std::uint32_t n = decoder.GetLine(line.Data());
            FUZZ_CHECK(line.GuardIntact(), "GetLine wrote beyond %u bytes", lineBytes);
            FUZZ_CHECK(n <= lineBytes, "GetLine returned %u for a line of %u", n, lineBytes);
            if (n < lineBytes) {
                undelivered = 0;
                return;
            }
        }
        FUZZ_CHECK(false, "the ring never runs dry");
    }
};

inline void Raw(tvfuzz::Cursor& in, std::uint8_t flags) {
    const std::uint32_t width = 1 + (in.U16() | (flags & 0x0Eu) << 15);
    const std::int32_t invert = (flags & 0x10) ? 1 : (flags & 0x20) ? 2 : 0;
    tvfuzz::Pieces pieces(in.U32());
    Driver d(width, invert);
    const std::uint8_t* data = in.Rest();
    std::uint32_t left = static_cast<std::uint32_t>(in.RestSize());
    bool first = true;
    while (left > 0) {
        const std::uint32_t strip = pieces.Length(left);
        if (!first) d.decoder.Reset();
        first = false;
        std::uint32_t pos = 0;
        // The reader's loop: decode while short of a line, then fetch it.
        while (pos < strip) {
            if (d.undelivered < d.lineBytes) {
                std::uint32_t consumed = 0;
                if (!d.Decode(data + pos, strip - pos, consumed)) {
                    d.Resync();
                    break;
                }
                pos += consumed;
                continue;
            }
            d.Fetch();
            const std::uint32_t r = pieces.Next();
            if ((r & 15) == 0 && d.undelivered > 0) {
                const std::uint32_t drop = static_cast<std::uint32_t>(r >> 8) % (d.undelivered + 1);
                d.decoder.Discard(drop);
                d.undelivered -= drop;
            }
        }
        // The strip's input is used up (or corrupt): an empty call is legal.
        std::uint32_t consumed = 0;
        if (d.undelivered < d.lineBytes) (void)d.Decode(data + strip, 0, consumed);
        while (d.undelivered > 0) d.Fetch();
        data += strip;
        left -= strip;
    }
    d.Fetch();  // nothing left: an empty line
}

inline void RoundTrip(tvfuzz::Cursor& in, std::uint8_t flags) {
    const std::uint32_t width = 1 + in.U16() % 4096;
    const std::int32_t invert = (flags & 0x10) ? 1 : 0;
    tvfuzz::Pieces pieces(in.U32());
    tvtest::LzwEncodeOptions options;
    options.clearFirst = (flags & 0x02) == 0;
    options.clearWhenFull = (flags & 0x04) == 0;
    const std::vector<std::uint8_t> plain(in.Rest(), in.Rest() + in.RestSize());
    const std::vector<std::uint8_t> packed = tvtest::LzwEncode(plain, options);

    Driver d(width, invert);
    std::uint32_t pos = 0;
    const std::uint32_t total = static_cast<std::uint32_t>(packed.size());
    while (pos < total) {
        if (d.undelivered >= d.lineBytes) {
            d.Fetch();
            continue;
        }
        const std::uint32_t piece = pieces.Length(total - pos);
        std::uint32_t consumed = 0;
        FUZZ_CHECK(d.Decode(packed.data() + pos, piece, consumed), "a sound stream failed at byte %u", pos);
        pos += consumed;
    }
    while (d.undelivered > 0) d.Fetch();
    FUZZ_CHECK(d.out == plain, "round trip of %zu bytes gave %zu bytes back, or different ones", plain.size(),
               d.out.size());
}

}  // namespace lzw_detail

// One input through the target; a broken invariant goes to tvfuzz::Fail.
inline void RunLzw(const std::uint8_t* data, std::size_t size) {
    using namespace lzw_detail;
    tvfuzz::Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    if (flags & 1) {
        RoundTrip(in, flags);
    } else {
        Raw(in, flags);
    }
}

}  // namespace tvfuzz

#endif
