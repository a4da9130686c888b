// TIFF PackBits (Compression 32773) strip decoder.
#ifndef TIFFVIEW_DECODER_PACKBITSDECODER_H
#define TIFFVIEW_DECODER_PACKBITSDECODER_H

#include <cstdint>

#include "decoder/TiffDecoder.h"

// Decodes one row at a time, the way libtiff reads PackBits scanlines: every
// row starts at a run header, and a run that would pass the row's end is cut
// there. A cut repeat run still takes its byte; a cut literal run takes only
// the bytes that fit, and the next row reads the rest of it as headers.
// Decode fills the current row and stops once it is full; GetLine hands it
// out and starts the next. Any byte sequence is valid PackBits, so Decode
// never fails.
class CPackBitsDecoder : public CTiffDecoder {
public:
    CPackBitsDecoder() = default;
    ~CPackBitsDecoder() override;
    CPackBitsDecoder(const CPackBitsDecoder&) = delete;
    CPackBitsDecoder& operator=(const CPackBitsDecoder&) = delete;

    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    // Adds at most the rest of the current row; `wanted` is not needed, as
    // a call never goes past the row.
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    // Delivers the row as far as it is decoded, then starts a new row at a
    // run header (a run left unfinished by a short strip is dropped).
    std::uint32_t GetLine(std::uint8_t* line) override;
    // Drops the newest `count` bytes of the current row.
    void Discard(std::uint32_t count) override;
    // The row about to start is decoded into `row` (RowSize bytes).
    void DecodeRowInto(std::uint8_t* row) override;

private:
    std::uint8_t* Own = nullptr;      // the decoder's own row
    std::uint8_t* Row = nullptr;      // where the current row is decoded: Own, or the caller's
    std::uint32_t RowSize = 0;
    std::uint32_t Filled = 0;         // bytes of the current row decoded so far
    // A run cut short by the end of a Decode call's input. Both counts are
    // already limited to the room left in the row, so resuming never has to
    // check the row's end again.
    std::uint32_t LiteralLeft = 0;    // literal bytes still to copy
    std::uint32_t RepeatPending = 0;  // copies waiting for their repeat byte
    std::int32_t Invert = 0;
};

#endif
