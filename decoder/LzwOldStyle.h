// Old-style TIFF LZW: the codes of writers before 1991 (libtiff before
// release 5.0), packed least significant bit first, whose width grows one
// code later than TIFF 6.0's "early change". libtiff still reads them,
// telling them apart by their first bytes: a Clear code packed that way
// starts 0x00 and an odd byte, which no MSB-first stream does.
//
// The string table is the same in both, so such a stream is read by
// rewriting its codes as a TIFF 6.0 stream, code for code, and handing
// that to the LZW decoder.
#ifndef TIFFVIEW_DECODER_LZWOLDSTYLE_H
#define TIFFVIEW_DECODER_LZWOLDSTYLE_H

#include <cstdint>

namespace tvlzw {

// Whether `size` bytes at `data` open an old-style stream.
bool IsOldStyle(const std::uint8_t* data, std::uint32_t size);

// The most bytes RewriteOldStyle writes for `size` bytes of input: codes
// of 9 bits or more become codes of at most 12, and an EOI may be added.
std::uint64_t RewrittenSize(std::uint32_t size);

// Rewrites the old-style codes at `data` into `out` (room for
// RewrittenSize(size) bytes) as MSB-first codes with early change, up to
// and with the first EOI, or to the data's end, where an EOI is added; a
// code beyond the table is kept as it is, for the decoder to judge.
// Returns the bytes written.
std::uint32_t RewriteOldStyle(const std::uint8_t* data, std::uint32_t size, std::uint8_t* out);

}  // namespace tvlzw

#endif
