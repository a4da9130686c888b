// TIFF JBIG (Compression 34661) strip decoder, through jbigkit.
#ifndef TIFFVIEW_DECODER_JBIGDECODER_H
#define TIFFVIEW_DECODER_JBIGDECODER_H

#include <cstdint>
#include <vector>

#include "decoder/ChunkDecoder.h"

// Each strip is one bi-level image entity (BIE), decoded whole, and its
// plane 0 is the strip's pixels byte for byte, as libtiff copies them (an
// image narrower or wider than the page is not re-laid out). libtiff takes
// FillOrder the other way round for this coding: it reverses the bits of
// strips whose FillOrder is 1 (the default, and what it writes) and reads
// FillOrder 2 strips as stored; so does this decoder. A strip that jbigkit
// cannot decode to its end gives no rows, as in libtiff. Images larger
// than the strip, or of more than one plane, give no rows either: they are
// refused before jbigkit allocates them.
class CJbigDecoder : public CChunkDecoder {
public:
    CJbigDecoder(std::uint32_t rowsPerChunk, std::uint32_t fillOrder);

protected:
    std::size_t DecodeChunk(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                            std::size_t room, std::size_t& damagedFrom) override;

private:
    bool Reverse;
    // jbigkit may rewrite the image's height in place (a NEWLEN marker), so
    // it is given a copy; it grows to the largest strip and stays.
    std::vector<std::uint8_t> Copy;
};

#endif
