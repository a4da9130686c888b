// The benchmark's TIFF files: each page written by libtiff in every coding
// the benchmark compares, with strip tables our strict profile accepts.
#ifndef TIFFVIEW_BENCH_PAGEFILES_H
#define TIFFVIEW_BENCH_PAGEFILES_H

#include <cstdint>
#include <string>

#include "PageGenerator.h"

namespace tvbench {

struct Encoding {
    const char* label;
    std::uint16_t compression;
    std::uint32_t t4Options;  // Group 3 only
    bool defaultStrips;       // libtiff's TIFFDefaultStripSize, else one strip
    bool strict;              // read by our default profile; else only with TV_OPTION_ANY_BILEVEL, if at all
    bool bigTiff;             // written as BigTIFF (8-byte offsets, LONG8 tables)
};

// G4, G3-1D, LZW, none (the strict profile reads them), then G3-2D, MH,
// PackBits and Deflate (libtiff's default level and strips), and G4 and LZW
// once more in BigTIFF files (BT-).
extern const Encoding kEncodings[];
extern const std::size_t kEncodingCount;

// Writes `page` with libtiff (WhiteIsZero, resolution tags in inches), then
// rewrites SHORT StripOffsets/StripByteCounts as LONG, which the strict
// profile insists on. Throws std::runtime_error on failure.
void WritePage(const std::string& path, const Page& page, const Encoding& encoding);

}  // namespace tvbench

#endif
