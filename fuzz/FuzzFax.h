// CFaxDecoder alone, driven the way the reader drives it.
//
// Header bytes: flags (mode, compression, fill order, inversion), width and
// rows per strip; then the data.
// - Raw mode: the data is coded input, cut into strips of random sizes with
//   a Reset before each; within a strip each Decode gets what is left of
//   the strip, or now and then only a random piece of it (as a strip that
//   ends inside a line does), and every successful call is followed by
//   GetLine.
// - Round-trip mode: the data becomes a small picture, coded with the test
//   encoders (Group 4, or Group 3 one-dimensional with byte-aligned EOLs,
//   either bit order); the decoder must give back every line exactly, also
//   when Group 4 input arrives in random pieces.
//
// Invariants: consumed never exceeds the input given; produced is at most
// the two lines the line buffer holds; GetLine always hands out exactly one
// line and never writes beyond it (guard region).
#ifndef TIFFVIEW_FUZZ_FUZZFAX_H
#define TIFFVIEW_FUZZ_FUZZFAX_H
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "fax/FaxDecoder.h"
#include "support/FaxEncoder.h"

namespace tvfuzz {
namespace fax_detail {

inline std::uint32_t FillOrderFrom(std::uint8_t flags) {
    switch ((flags >> 2) & 3) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 0;  // not a valid TIFF value: read as FillOrder 1
    default: return 7;
    }
}

struct Driver {
    CFaxDecoder decoder;
    std::uint32_t lineBytes;
    tvfuzz::GuardedLine line;

    Driver(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t rows, std::uint32_t width,
           std::int32_t invert)
        : decoder(compression, fillOrder, rows), lineBytes((width + 7) / 8), line((width + 7) / 8) {
        decoder.SetInvert(invert);
        FUZZ_CHECK(decoder.SetWidth(width) != 0, "SetWidth(%u) failed", width);
        decoder.Reset();
    }

    // Returns false when Decode reports corrupt data.
    bool Decode(const std::uint8_t* in, std::uint32_t length, std::uint32_t& consumed, std::uint32_t& produced) {
        consumed = produced = 0xDEADBEEF;
        if (decoder.Decode(in, length, consumed, lineBytes, produced) == 0) return false;
        FUZZ_CHECK(consumed <= length, "consumed %u of %u", consumed, length);
        FUZZ_CHECK(produced <= 2 * lineBytes, "produced %u for a line of %u", produced, lineBytes);
        return true;
    }

    const std::uint8_t* Fetch() {
        line.Poison();
        const std::uint32_t n = decoder.GetLine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "GetLine wrote beyond %u bytes", lineBytes);
        FUZZ_CHECK(n == lineBytes, "GetLine returned %u for a line of %u", n, lineBytes);
        return line.Data();
    }
};

inline void Raw(tvfuzz::Cursor& in, std::uint8_t flags) {
    const std::uint32_t compression = (flags & 0x02) ? 4 : 3;
    const std::uint32_t width = 1 + (in.U16() | ((flags & 0x20) ? static_cast<std::uint32_t>(in.Byte() & 3) << 16 : 0u));
    std::uint32_t rows = in.U16();
    rows = rows == 0 ? 0xFFFFFFFFu : rows;
    tvfuzz::Pieces pieces(in.U32());
    Driver d(compression, FillOrderFrom(flags), rows, width, (flags & 0x10) ? 1 : 0);

    const std::uint8_t* data = in.Rest();
    std::uint32_t left = static_cast<std::uint32_t>(in.RestSize());
    // The reader calls at most once per line with no input left; a strip of
    // white lines after an end of block would otherwise go on for ever.
    std::uint32_t budget = 4 * left + 64;
    bool first = true;
    while (left > 0 && budget > 0) {
        const std::uint32_t strip = pieces.Length(left);
        if (!first) d.decoder.Reset();
        first = false;
        std::uint32_t pos = 0;
        std::uint32_t idle = 0;
        while (budget-- > 0) {
            std::uint32_t length = strip - pos;
            const std::uint32_t r = pieces.Next();
            if ((flags & 0x40) && (r & 3) == 0 && length > 1) length = 1 + (r >> 8) % length;
            std::uint32_t consumed = 0, produced = 0;
            if (!d.Decode(data + pos, length, consumed, produced)) break;
            pos += consumed;
            d.Fetch();
            if (pos == strip) {
                // The reader makes one more empty call at the end of a strip.
                if (!d.Decode(data + pos, 0, consumed, produced)) break;
                FUZZ_CHECK(consumed == 0, "consumed %u of no input", consumed);
                d.Fetch();
                break;
            }
            idle = consumed == 0 ? idle + 1 : 0;
            if (idle > 2) break;
        }
        data += strip;
        left -= strip;
    }
}

inline void RoundTrip(tvfuzz::Cursor& in, std::uint8_t flags) {
    const bool g4 = (flags & 0x02) != 0;
    const std::uint32_t fillOrder = FillOrderFrom(flags);
    const std::int32_t invert = (flags & 0x10) ? 1 : 0;
    const bool endMark = (flags & 0x20) != 0;
    const bool cut = g4 && (flags & 0x40) != 0;
    const std::uint32_t width = 1 + in.U16() % 2600;
    const std::uint32_t height = 1 + in.Byte() % 48;
    tvfuzz::Pieces pieces(in.U32());

    // The picture: each data byte is a run length (white, black, ...), so
    // that short data still makes lines of realistic runs.
    faxenc::Lines rows;
    const std::uint8_t* runs = in.Rest();
    const std::size_t runCount = in.RestSize();
    std::size_t k = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        faxenc::Line row(faxenc::LineBytes(width), 0);
        std::uint32_t x = 0;
        bool black = false;
        // Zero runs are allowed, but a line of nothing else must still end.
        for (std::uint32_t step = 0; x < width && runCount > 0 && step < 2 * width + 8; ++step) {
            // Every seventh run is stretched so that make-up codes occur.
            const std::uint32_t run = runs[k % runCount] * ((k % 7) == 6 ? 16u : 1u);
            ++k;
            for (std::uint32_t i = 0; i < run && x < width; ++i, ++x) faxenc::SetPixel(row, x, black);
            black = !black;
        }
        rows.push_back(row);
    }
    const std::vector<std::uint8_t> coded = g4 ? faxenc::EncodeG4(rows, width, endMark, fillOrder == 2)
                                               : faxenc::EncodeG3(rows, width, endMark, fillOrder == 2);

    Driver d(g4 ? 4 : 3, fillOrder, height, width, invert);
    const std::uint32_t total = static_cast<std::uint32_t>(coded.size());
    std::uint32_t pos = 0;
    std::uint32_t y = 0;
    for (std::uint32_t calls = 0; y < height; ++calls) {
        FUZZ_CHECK(calls < 4 * total + 4 * height + 16, "no progress after %u calls, line %u", calls, y);
        std::uint32_t length = total - pos;
        if (cut && length > 1) length = pieces.Length(length);
        std::uint32_t consumed = 0, produced = 0;
        FUZZ_CHECK(d.Decode(coded.data() + pos, length, consumed, produced), "line %u of a sound %s stream failed", y,
                   g4 ? "Group 4" : "Group 3");
        pos += consumed;
        if (produced == 0) {
            FUZZ_CHECK(cut && consumed == length, "no line from %u bytes at line %u", length, y);
            continue;  // suspended inside a line; the next piece finishes it
        }
        FUZZ_CHECK(produced == d.lineBytes, "line %u produced %u bytes", y, produced);
        const std::uint8_t* delivered = d.Fetch();
        faxenc::Line got(delivered, delivered + d.lineBytes);
        if (invert) {
            for (auto& b : got) b = static_cast<std::uint8_t>(~b);
        }
        faxenc::ClearPad(got, width);
        faxenc::Line want = rows[y];
        faxenc::ClearPad(want, width);
        FUZZ_CHECK(got == want, "line %u of %u (width %u) differs", y, height, width);
        ++y;
    }
}

}  // namespace fax_detail

// One input through the target; a broken invariant goes to tvfuzz::Fail.
inline void RunFax(const std::uint8_t* data, std::size_t size) {
    using namespace fax_detail;
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
