// Base of the decoders whose libraries take a strip or tile whole (Deflate
// through libdeflate, JBIG through jbigkit): the first Decode call after
// Reset decodes the chunk into one buffer, sized when the width is set,
// and GetLine hands its rows out in order.
#ifndef TIFFVIEW_DECODER_CHUNKDECODER_H
#define TIFFVIEW_DECODER_CHUNKDECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/TiffDecoder.h"

class CChunkDecoder : public CTiffDecoder {
public:
    // The most decoded bytes one chunk may take; a page whose chunks need
    // more is refused when it opens (SetWidth fails).
    static constexpr std::uint64_t MaxChunkBytes = std::uint64_t{256} << 20;

    // rowsPerChunk: rows of every strip but the last, or of every tile.
    explicit CChunkDecoder(std::uint32_t rowsPerChunk);
    ~CChunkDecoder() override;
    CChunkDecoder(const CChunkDecoder&) = delete;
    CChunkDecoder& operator=(const CChunkDecoder&) = delete;

    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    // Must be given the whole chunk: the first call after Reset consumes
    // it all and produces every byte it decodes to, one past the chunk's
    // rows at most (so that the caller sees surplus data); later calls
    // consume and produce nothing.
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;
    std::uint32_t LineFault() const override { return DeliveredFault; }

protected:
    // Decodes `input` into `out` (room for `room` bytes; `Need()` of them
    // are the chunk's rows) and returns how many bytes hold pixels, at most
    // `room`. `damagedFrom` may be set to a byte within the output whose row
    // is delivered as damaged (TV_ERR_LINE_DAMAGED).
    virtual std::size_t DecodeChunk(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                                    std::size_t room, std::size_t& damagedFrom) = 0;
    // Called by SetWidth after the buffer is allocated; false on failure.
    virtual bool Prepare() { return true; }
    // Bytes of the chunk's rows (rowsPerChunk full rows).
    std::size_t Need() const { return NeedBytes; }
    std::uint32_t Width() const { return WidthPixels; }
    std::uint32_t Rows() const { return RowsPerChunk; }

    // Extra room past the rows, for libraries that stop short of a full
    // buffer when the data goes on: libdeflate writes a match (258 bytes at
    // most) or a stored block (65535) whole or not at all.
    static constexpr std::size_t Slack = 65536 + 512;

private:
    std::unique_ptr<std::uint8_t[]> Out;
    std::size_t NeedBytes = 0;
    std::size_t Capacity = 0;
    std::size_t Size = 0;       // bytes decoded (at most NeedBytes + 1)
    std::size_t Pos = 0;        // bytes delivered
    std::size_t DamagedFrom = 0;
    std::uint32_t RowBytes = 0;
    std::uint32_t WidthPixels = 0;
    std::uint32_t RowsPerChunk;
    std::uint32_t DeliveredFault = 0;
    std::uint8_t InvertMask = 0;
    bool Started = false;
};

#endif
