// The one place that chooses a page's decoder.
#ifndef TIFFVIEW_CORE_DECODERS_H
#define TIFFVIEW_CORE_DECODERS_H

#include <cstdint>
#include <memory>

class CTiffDecoder;

namespace tvcore {

// How a page's chunks are coded.
struct Coding {
    std::uint32_t compression = 1;
    std::uint32_t fillOrder = 1;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t t4Options = 0;  // Group 3: bit 0, two-dimensional lines; bit 1, uncompressed mode
    std::uint32_t t6Options = 0;  // Group 4: bit 1, uncompressed mode
    bool invert = false;          // deliver the complement of every decoded byte
    bool faxRowsAligned = false;  // fax rows' codes from byte boundaries (raw streams)
};

// How faithfully damaged or irregular data is followed.
enum class DecoderPolicy {
    // The fax/scanner profile: Compression 3, 4 and 5 only, each strip
    // handed over as one stream, with its own rules for ends of lines.
    strict,
    // As libtiff reads: every fax coding, PackBits, Deflate and JBIG (when
    // built with their libraries), and each chunk's data read to its last
    // bit.
    lenient,
};

// Whether the lenient decoder of `compression` takes the stored bytes as
// they are whatever the FillOrder (it reads bits its own way); the others
// are handed FillOrder 2 bytes in reading order.
bool ReadsFillOrderItself(std::uint32_t compression);

// The decoder for `coding`, told whether to complement its output, or null
// for uncompressed data. Throws std::bad_alloc when memory runs out.
std::unique_ptr<CTiffDecoder> MakeDecoder(const Coding& coding, DecoderPolicy policy);

}  // namespace tvcore

#endif
