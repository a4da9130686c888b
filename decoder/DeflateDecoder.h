// TIFF Deflate (Compression 8 and 32946) strip and tile decoder, through
// libdeflate.
#ifndef TIFFVIEW_DECODER_DEFLATEDECODER_H
#define TIFFVIEW_DECODER_DEFLATEDECODER_H

#include <cstdint>

#include "decoder/ChunkDecoder.h"

struct libdeflate_decompressor;

// Each chunk is one zlib stream, inflated whole. Damaged data is read as
// libtiff's scanline reading reads it, which inflates a row at a time: the
// rows before the damage as coded, the rest not (white, as data that ran
// out); a wrong checksum is seen only when the stream ends exactly at the
// chunk's last row, and that row is then delivered as damaged. The header's
// two bytes are checked as zlib checks them; a preset dictionary, which
// TIFF never uses, makes the chunk undecodable.
class CDeflateDecoder : public CChunkDecoder {
public:
    explicit CDeflateDecoder(std::uint32_t rowsPerChunk);
    ~CDeflateDecoder() override;

protected:
    std::size_t DecodeChunk(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                            std::size_t room, std::size_t& damagedFrom) override;
    bool Prepare() override;

private:
    // How many leading bytes of a damaged stream stand: libdeflate says
    // only that a stream is bad, so the largest output room in which it
    // still runs out of room before it meets the damage is searched for.
    std::size_t GoodPrefix(const std::uint8_t* deflate, std::size_t length, std::uint8_t* out, std::size_t room);

    libdeflate_decompressor* Inflater = nullptr;
};

#endif
