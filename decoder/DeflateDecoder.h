// TIFF Deflate (Compression 8 and 32946) strip and tile decoder, through
// libdeflate, and zlib for damaged data.
#ifndef TIFFVIEW_DECODER_DEFLATEDECODER_H
#define TIFFVIEW_DECODER_DEFLATEDECODER_H

#include <cstdint>
#include <memory>

#include "decoder/ChunkDecoder.h"

struct libdeflate_decompressor;

// Each chunk is one zlib stream, inflated whole by libdeflate. A chunk
// libdeflate finds damaged (a bad code, data cut short, a wrong checksum)
// is inflated again with zlib a row at a time, as libtiff's scanline
// reading inflates it, because libdeflate tells nothing of how far a bad
// stream decodes: the rows before the damage come as coded, the row that
// meets it as far as zlib filled it, and no row after it. A row zlib
// filled before it failed (a wrong checksum at the stream's end, a bad
// code right after the row) is delivered whole, as damaged.
class CDeflateDecoder : public CChunkDecoder {
public:
    explicit CDeflateDecoder(std::uint32_t rowsPerChunk);
    ~CDeflateDecoder() override;

protected:
    std::size_t DecodeChunk(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                            std::size_t room, std::size_t& damagedFrom) override;
    bool Prepare() override;

private:
    std::size_t InflateRows(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                            std::size_t& damagedFrom);

    libdeflate_decompressor* Inflater = nullptr;
    struct Zlib;
    std::unique_ptr<Zlib> Stream;  // zlib's state, set up on the first damaged chunk
};

#endif
