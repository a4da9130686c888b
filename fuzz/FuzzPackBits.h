// CPackBitsDecoder alone, driven the way the reader drives it.
//
// Header bytes: flags (row width range, strip sizes, inversion), width and a
// seed for the piece sizes; then the data, cut into strips with a
// Reset before each. Every strip is decoded twice, once with all of its
// bytes in each call and once in random small windows, and also by a
// byte-at-a-time model of libtiff's strip reading (one stream per strip,
// runs crossing row ends).
//
// Invariants: consumed never exceeds the input given, and a call stops short
// of its input only with the row full (and then consumed nothing if the row
// was full already); produced never takes the row past its size; GetLine
// hands out exactly the bytes produced since the last one and never writes
// beyond them (guard region); both ways of cutting the input give the
// model's rows.
#ifndef TIFFVIEW_FUZZ_FUZZPACKBITS_H
#define TIFFVIEW_FUZZ_FUZZPACKBITS_H
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "decoder/PackBitsDecoder.h"

namespace tvfuzz {
namespace packbits_detail {

using Bytes = std::vector<std::uint8_t>;

// The strip's bytes decoded as one stream, cut into full rows, then the
// row left (maybe empty). A literal cut by the end of the data keeps the
// bytes there are; a repeat without its byte gives nothing.
inline std::vector<Bytes> Model(const std::uint8_t* s, std::uint32_t n, std::uint32_t rowBytes) {
    Bytes flat;
    std::uint32_t i = 0;
    while (i < n) {
        const std::uint8_t h = s[i++];
        if (h < 128) {
            for (std::uint32_t k = 0; k <= h && i < n; ++k) flat.push_back(s[i++]);
        } else if (h > 128 && i < n) {
            const std::uint8_t b = s[i++];
            flat.insert(flat.end(), 257u - h, b);
        }
    }
    std::vector<Bytes> rows;
    std::size_t at = 0;
    for (; flat.size() - at >= rowBytes; at += rowBytes) rows.emplace_back(flat.begin() + at, flat.begin() + at + rowBytes);
    rows.emplace_back(flat.begin() + at, flat.end());
    return rows;
}

struct Driver {
    CPackBitsDecoder decoder;
    std::uint32_t rowBytes;
    std::int32_t invert;
    std::uint32_t held = 0;
    tvfuzz::GuardedLine line;

    Driver(std::uint32_t width, std::int32_t inv) : rowBytes((width + 7) / 8), invert(inv), line((width + 7) / 8) {
        decoder.SetInvert(inv);
        FUZZ_CHECK(decoder.SetWidth(width) != 0, "SetWidth(%u) failed", width);
    }

    void Fetch(std::vector<Bytes>& rows) {
        line.Poison();
        const std::uint32_t n = decoder.GetLine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "GetLine wrote beyond %u bytes", rowBytes);
        FUZZ_CHECK(n == held, "GetLine returned %u with %u held", n, held);
        Bytes row(line.Data(), line.Data() + n);
        if (invert == 1) {
            for (auto& b : row) b = static_cast<std::uint8_t>(~b);
        }
        rows.push_back(row);
        held = 0;
    }

    // One strip; `pieces` cuts its input into windows, or null: none.
    std::vector<Bytes> Strip(const std::uint8_t* data, std::uint32_t size, tvfuzz::Pieces* pieces) {
        std::vector<Bytes> rows;
        decoder.Reset();
        std::uint32_t pos = 0;
        for (;;) {
            const bool full = held == rowBytes;
            // Now and then a call on a full row, which must change nothing.
            if (full && (pos == size || pieces == nullptr || (pieces->Next() & 3) != 0)) {
                Fetch(rows);
                continue;
            }
            if (pos == size) {
                // A repeat run crossing a row's end goes on without input.
                std::uint32_t consumed = 0, produced = 0;
                FUZZ_CHECK(decoder.Decode(nullptr, 0, consumed, rowBytes - held, produced) == 1, "Decode failed");
                FUZZ_CHECK(consumed == 0 && produced <= rowBytes - held, "no input: consumed %u, produced %u",
                           consumed, produced);
                if (produced == 0) break;
                held += produced;
                continue;
            }
            const std::uint32_t length = pieces == nullptr ? size - pos : pieces->Length(size - pos);
            // The window in its own allocation, so a read past it is caught.
            const Bytes window(data + pos, data + pos + length);
            std::uint32_t consumed = 0xDEADBEEF, produced = 0xDEADBEEF;
            FUZZ_CHECK(decoder.Decode(window.data(), length, consumed, rowBytes - held, produced) == 1,
                       "Decode failed at byte %u", pos);
            FUZZ_CHECK(consumed <= length, "consumed %u of %u", consumed, length);
            FUZZ_CHECK(produced <= rowBytes - held, "produced %u with room for %u", produced, rowBytes - held);
            held += produced;
            FUZZ_CHECK(consumed == length || held == rowBytes, "stopped after %u of %u bytes with room left",
                       consumed, length);
            FUZZ_CHECK(!full || (consumed == 0 && produced == 0), "a full row took %u bytes", consumed);
            pos += consumed;
        }
        Fetch(rows);
        return rows;
    }
};

}  // namespace packbits_detail

// One input through the target; a broken invariant goes to tvfuzz::Fail.
inline void RunPackBits(const std::uint8_t* data, std::size_t size) {
    using namespace packbits_detail;
    tvfuzz::Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    // Mostly narrow rows, so that runs are cut at row ends all the time.
    const std::uint16_t w = in.U16();
    const std::uint32_t width = 1 + ((flags & 0x02) ? w : w % 256u);
    const std::int32_t invert = (flags & 0x10) ? 1 : (flags & 0x20) ? 2 : 0;
    tvfuzz::Pieces pieces(in.U32());
    Driver whole(width, invert);
    Driver windowed(width, invert);
    const std::uint8_t* stream = in.Rest();
    auto left = static_cast<std::uint32_t>(in.RestSize());
    while (left > 0) {
        std::uint32_t strip = pieces.Length(left) + ((flags & 0x04) ? left / 2 : 0);
        strip = strip < left ? strip : left;
        const std::vector<Bytes> expected = Model(stream, strip, whole.rowBytes);
        FUZZ_CHECK(whole.Strip(stream, strip, nullptr) == expected, "one-window rows differ from the model's");
        FUZZ_CHECK(windowed.Strip(stream, strip, &pieces) == expected, "windowed rows differ from the model's");
        stream += strip;
        left -= strip;
    }
}

}  // namespace tvfuzz

#endif
