// CJbigDecoder alone.
//
// Header bytes: flags, width (U16), rows, encoder options; then the data.
// - Raw mode (flags bit 0 clear): the data is the strip as stored.
// - Round-trip mode: the data is plain rows, encoded with jbigkit's encoder
//   (options, stripe height and typical prediction from the header), bit
//   reversed as a FillOrder 1 strip stores it; by flags, one byte then
//   overwritten.
//
// Invariants: Decode consumes the whole strip and produces at most one byte
// past its rows; GetLine hands out min(row, undelivered) bytes and never
// writes beyond the row (guard region); an intact round trip gives the
// plain rows.
#ifndef TIFFVIEW_FUZZ_FUZZJBIG_H
#define TIFFVIEW_FUZZ_FUZZJBIG_H
extern "C" {
#include <jbig.h>
}

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "decoder/BitOrder.h"
#include "decoder/JbigDecoder.h"

namespace tvfuzz {
namespace jbig_detail {

using Bytes = std::vector<std::uint8_t>;

inline void Collect(unsigned char* start, std::size_t length, void* file) {
    auto* out = static_cast<Bytes*>(file);
    out->insert(out->end(), start, start + length);
}

}  // namespace jbig_detail

inline void RunJbig(const std::uint8_t* data, std::size_t size) {
    using namespace jbig_detail;
    tvfuzz::Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    const std::uint32_t width = 1 + in.U16() % 1024u;
    const std::uint32_t rows = 1 + in.Byte() % 128u;
    const std::uint8_t options = in.Byte();
    const std::uint16_t damageAt = in.U16();
    const std::uint8_t damageValue = in.Byte();
    const std::uint32_t rowBytes = (width + 7) / 8;
    const bool invert = (flags & 0x02) != 0;
    const std::uint32_t fillOrder = (flags & 0x10) != 0 ? 2 : 1;

    Bytes strip(in.Rest(), in.Rest() + in.RestSize());
    Bytes plain;
    const bool roundTrip = (flags & 0x01) != 0;
    bool intact = true;
    if (roundTrip) {
        plain.assign(std::size_t{rowBytes} * rows, 0);
        for (std::size_t i = 0; i < plain.size() && i < strip.size(); ++i) plain[i] = strip[i];
        // The bits past the width are no pixels; the decoder gives them as 0.
        if (width % 8 != 0) {
            for (std::uint32_t y = 0; y < rows; ++y) plain[std::size_t{y + 1} * rowBytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (width % 8));
        }
        strip.clear();
        unsigned char* planes[1] = {plain.data()};
        jbg_enc_state encoder;
        jbg_enc_init(&encoder, width, rows, 1, planes, Collect, &strip);
        const int order = JBG_ILEAVE | JBG_SMID;
        const int encOptions = ((options & 1) ? JBG_TPBON : 0) | ((options & 2) ? JBG_LRLTWO : 0);
        // Stripes of at least 2 lines: jbigkit 2.1 does not decode its own
        // 1-line stripes back to the image.
        jbg_enc_options(&encoder, order, encOptions, 2 + (options >> 2) % 63, 0, 0);
        jbg_enc_out(&encoder);
        jbg_enc_free(&encoder);
        // Stored as libtiff stores a FillOrder 1 strip, or as is for 2.
        if (fillOrder == 1) tvbits::ReverseBits(strip.data(), strip.size());
        if ((flags & 0x04) != 0 && !strip.empty()) {
            strip[damageAt % strip.size()] = damageValue;
            intact = false;
        }
    }

    CJbigDecoder decoder(rows, fillOrder);
    decoder.SetInvert(invert ? 1 : 0);
    FUZZ_CHECK(decoder.SetWidth(width) == 1, "SetWidth(%u) failed", width);
    decoder.Reset();
    std::uint32_t consumed = 0, produced = 0;
    FUZZ_CHECK(decoder.Decode(strip.data(), static_cast<std::uint32_t>(strip.size()), consumed, rowBytes, produced) == 1,
               "Decode failed");
    FUZZ_CHECK(consumed == strip.size(), "consumed %u of %zu", consumed, strip.size());
    FUZZ_CHECK(produced <= std::uint64_t{rowBytes} * rows + 1, "produced %u for %u rows of %u", produced, rows, rowBytes);
    tvfuzz::GuardedLine line(rowBytes);
    std::uint64_t undelivered = produced;
    for (std::uint32_t y = 0; y < rows; ++y) {
        line.Poison();
        const std::uint32_t n = decoder.GetLine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "GetLine wrote beyond %u bytes", rowBytes);
        FUZZ_CHECK(n == (undelivered < rowBytes ? undelivered : rowBytes), "GetLine gave %u of %llu", n,
                   static_cast<unsigned long long>(undelivered));
        undelivered -= n;
        if (roundTrip && intact) {
            Bytes row(line.Data(), line.Data() + n);
            if (invert) {
                for (auto& b : row) b = static_cast<std::uint8_t>(~b);
            }
            const Bytes plainRow(plain.begin() + std::size_t{y} * rowBytes, plain.begin() + std::size_t{y + 1} * rowBytes);
            FUZZ_CHECK(row == plainRow, "row %u of an intact round trip differs", y);
        }
    }
}

}  // namespace tvfuzz

#endif
