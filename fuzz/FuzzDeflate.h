// CDeflateDecoder alone, against zlib driven the way libtiff's scanline
// reading drives it (one row per inflate loop).
//
// Header bytes: flags, width (U16), rows, a damage position (U16) and
// value; then the data.
// - Raw mode (flags bit 0 clear): the data is the chunk as stored.
// - Round-trip mode: the data is plain rows, compressed with libdeflate at
//   a level from the flags; then, by flags, one byte of the stream
//   overwritten at the damage position, or the stream cut there.
//
// Invariants: Decode consumes the whole chunk and produces at most one byte
// past its rows; GetLine hands out min(row, undelivered) bytes and never
// writes beyond the row (guard region); every row zlib reads whole without
// an error is ours, byte for byte, whole and without a fault; an intact
// round trip gives the plain rows.
#ifndef TIFFVIEW_FUZZ_FUZZDEFLATE_H
#define TIFFVIEW_FUZZ_FUZZDEFLATE_H
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "decoder/DeflateDecoder.h"

namespace tvfuzz {
namespace deflate_detail {

using Bytes = std::vector<std::uint8_t>;

// The rows zlib reads without an error, row by row as libtiff does.
inline std::vector<bool> ZlibRows(const Bytes& chunk, std::uint32_t rowBytes, std::uint32_t rows, Bytes& out) {
    std::vector<bool> ok(rows, false);
    out.assign(std::size_t{rowBytes} * rows, 0);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return ok;
    z.next_in = const_cast<Bytef*>(chunk.data());
    z.avail_in = static_cast<uInt>(chunk.size());
    for (std::uint32_t y = 0; y < rows; ++y) {
        z.next_out = out.data() + std::size_t{y} * rowBytes;
        z.avail_out = rowBytes;
        bool failed = false;
        do {
            const int state = inflate(&z, Z_PARTIAL_FLUSH);
            if (state == Z_STREAM_END) break;
            if (state != Z_OK) {
                failed = true;
                break;
            }
        } while (z.avail_out > 0);
        ok[y] = !failed && z.avail_out == 0;
    }
    inflateEnd(&z);
    return ok;
}

}  // namespace deflate_detail

inline void RunDeflate(const std::uint8_t* data, std::size_t size) {
    using namespace deflate_detail;
    tvfuzz::Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    const std::uint32_t width = 1 + in.U16() % 2048u;
    const std::uint32_t rows = 1 + in.Byte() % 64u;
    const std::uint16_t damageAt = in.U16();
    const std::uint8_t damageValue = in.Byte();
    const std::uint32_t rowBytes = (width + 7) / 8;
    const bool invert = (flags & 0x02) != 0;

    Bytes chunk(in.Rest(), in.Rest() + in.RestSize());
    Bytes plain;
    const bool roundTrip = (flags & 0x01) != 0;
    bool intact = true;
    if (roundTrip) {
        plain.assign(std::size_t{rowBytes} * rows, 0);
        for (std::size_t i = 0; i < plain.size() && i < chunk.size(); ++i) plain[i] = chunk[i];
        libdeflate_compressor* c = libdeflate_alloc_compressor(1 + (flags >> 4) % 12);
        FUZZ_CHECK(c != nullptr, "no compressor");
        chunk.assign(libdeflate_zlib_compress_bound(c, plain.size()), 0);
        chunk.resize(libdeflate_zlib_compress(c, plain.data(), plain.size(), chunk.data(), chunk.size()));
        libdeflate_free_compressor(c);
        if ((flags & 0x04) != 0 && !chunk.empty()) {
            chunk[damageAt % chunk.size()] = damageValue;
            intact = false;
        } else if ((flags & 0x08) != 0) {
            chunk.resize(damageAt % (chunk.size() + 1));
            intact = false;
        }
    }

    CDeflateDecoder decoder(rows);
    decoder.SetInvert(invert ? 1 : 0);
    FUZZ_CHECK(decoder.SetWidth(width) == 1, "SetWidth(%u) failed", width);
    decoder.Reset();
    std::uint32_t consumed = 0, produced = 0;
    FUZZ_CHECK(decoder.Decode(chunk.data(), static_cast<std::uint32_t>(chunk.size()), consumed, rowBytes, produced) == 1,
               "Decode failed");
    FUZZ_CHECK(consumed == chunk.size(), "consumed %u of %zu", consumed, chunk.size());
    FUZZ_CHECK(produced <= std::uint64_t{rowBytes} * rows + 1, "produced %u for %u rows of %u", produced, rows, rowBytes);

    Bytes zlibOut;
    const std::vector<bool> zlibOk = ZlibRows(chunk, rowBytes, rows, zlibOut);
    tvfuzz::GuardedLine line(rowBytes);
    std::uint64_t undelivered = produced;
    for (std::uint32_t y = 0; y < rows; ++y) {
        line.Poison();
        const std::uint32_t n = decoder.GetLine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "GetLine wrote beyond %u bytes", rowBytes);
        FUZZ_CHECK(n == (undelivered < rowBytes ? undelivered : rowBytes), "GetLine gave %u of %llu", n,
                   static_cast<unsigned long long>(undelivered));
        undelivered -= n;
        Bytes row(line.Data(), line.Data() + n);
        if (invert) {
            for (auto& b : row) b = static_cast<std::uint8_t>(~b);
        }
        const Bytes zlibRow(zlibOut.begin() + std::size_t{y} * rowBytes, zlibOut.begin() + std::size_t{y + 1} * rowBytes);
        if (zlibOk[y]) {
            FUZZ_CHECK(n == rowBytes && decoder.LineFault() == 0, "row %u: zlib reads it, we give %u bytes, fault %x",
                       y, n, decoder.LineFault());
            FUZZ_CHECK(row == zlibRow, "row %u differs from zlib's", y);
        }
        if (roundTrip && intact) {
            const Bytes plainRow(plain.begin() + std::size_t{y} * rowBytes, plain.begin() + std::size_t{y + 1} * rowBytes);
            FUZZ_CHECK(row == plainRow && decoder.LineFault() == 0, "row %u of an intact round trip differs", y);
        }
    }
}

}  // namespace tvfuzz

#endif
