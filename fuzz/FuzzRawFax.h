// Raw fax streams through tiffview::Reader, across their parameters.
//
// Header bytes: flags (bits 0-1 the coding: modified Huffman, Group 3,
// Group 3 two-dimensional, Group 4; bit 2 byte-aligned rows; bit 3
// BlackIs1; bit 4 least significant bit first; bit 5 rows given), width
// (two bytes, 1 to 4096), rows (one byte, when given); the rest is the
// stream.
//
// Invariants: the stream opens, or is refused only as holding no row when
// its rows are counted; a counted stream has rows, no more than its bits;
// every line is delivered, clean or with a warning, and never written
// beyond; and, rows not byte-aligned, the lines are the very lines of the
// same bytes read as a one-strip TIFF page of that many rows.
#ifndef TIFFVIEW_FUZZ_FUZZRAWFAX_H
#define TIFFVIEW_FUZZ_FUZZRAWFAX_H

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "OneStripTiff.h"
#include "TiffViewCodes.h"
#include "TiffViewReader.hpp"

namespace tvfuzz {

inline void RunRawFax(const std::uint8_t* data, std::size_t size) {
    Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    static const tiffview::FaxCoding kCodings[] = {tiffview::FaxCoding::mh, tiffview::FaxCoding::g3,
                                                   tiffview::FaxCoding::g3_2d, tiffview::FaxCoding::g4};
    const unsigned coding = flags & 3;
    const bool aligned = (flags & 4) != 0, blackIs1 = (flags & 8) != 0, lsbFirst = (flags & 16) != 0;
    const std::uint32_t width = 1 + in.U16() % 4096;
    const std::uint32_t rows = (flags & 32) != 0 ? in.Byte() : 0;
    const std::uint8_t* stream = in.Rest();
    const auto streamSize = static_cast<std::uint32_t>(in.RestSize());

    const tiffview::FaxStream fax = tiffview::FaxStream()
                                        .coding(kCodings[coding])
                                        .width(width)
                                        .rows(rows)
                                        .byte_aligned(aligned)
                                        .black_is_1(blackIs1)
                                        .lsb_first(lsbFirst);
    tiffview::Reader raw;
    const tiffview::Result opened = raw.open(stream, streamSize, tiffview::Options().raw_fax(fax));
    FUZZ_CHECK(opened.ok() || (rows == 0 && opened.kind() == TV_ERR_FILE_SHORT), "open gives 0x%X (%s)",
               opened.code(), opened.message().c_str());
    if (!opened) return;
    const std::uint32_t length = raw.info().length();
    FUZZ_CHECK(rows != 0 ? length == rows : length > 0 && length <= std::uint64_t{streamSize} * 8,
               "%u rows from %u bytes (%u given)", length, streamSize, rows);
    FUZZ_CHECK(raw.page_count() == 1, "a stream of %u pages", raw.page_count());

    // The same bytes as a TIFF page, where TIFF can say what the stream is.
    tiffview::Reader tiff;
    std::vector<std::uint8_t> file;
    bool compare = !aligned && streamSize > 0;
    if (compare) {
        static const std::uint32_t kCompressions[] = {2, 3, 3, 4};
        file = OneStripTiff(stream, streamSize, kCompressions[coding], coding == 2 ? 3u : 2u, lsbFirst ? 2 : 1, width,
                            length, 2u, blackIs1 ? 1 : 0);
        const tiffview::Result t = tiff.open(file.data(), file.size());
        FUZZ_CHECK(t.ok(), "the stream as a TIFF page gives 0x%X (%s)", t.code(), t.message().c_str());
    }
    GuardedLine line(raw.info().line_bytes());
    std::vector<std::uint8_t> theirs(raw.info().line_bytes());
    for (std::uint32_t y = 0; y < length; ++y) {
        line.Poison();
        const tiffview::Result r = raw.read_line(line.Data(), raw.info().line_bytes());
        FUZZ_CHECK(line.GuardIntact(), "read_line wrote beyond line %u", y);
        FUZZ_CHECK(r.ok() || r.is_warning(), "line %u of %u gives 0x%X", y, length, r.code());
        if (!compare) continue;
        const tiffview::Result t = tiff.read_line(theirs.data(), theirs.size());
        FUZZ_CHECK(t.code() == r.code(), "line %u: 0x%X raw, 0x%X as TIFF", y, r.code(), t.code());
        for (std::size_t i = 0; i < theirs.size(); ++i) {
            FUZZ_CHECK(line.Data()[i] == theirs[i], "line %u byte %zu differs from the TIFF page's", y, i);
        }
    }
}

}  // namespace tvfuzz

#endif
