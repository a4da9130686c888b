// TIFF PackBits (Compression 32773) strip decoder.
#ifndef TIFFVIEW_DECODER_PACKBITSDECODER_H
#define TIFFVIEW_DECODER_PACKBITSDECODER_H

#include <cstdint>

#include "decoder/TiffDecoder.h"

// Decodes a strip or tile as one stream, the way libtiff's strip and tile
// reading does: a run may cross the end of a row and go on in the next.
// Decode fills the current row and stops once it is full, keeping the rest
// of a run that crosses its end; GetLine hands the row out and starts the
// next. Any byte sequence is valid PackBits, so Decode never fails.
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
    // a call never goes past the row (a run crossing its end is kept).
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    // Delivers the row as far as it is decoded, then starts a new row,
    // where a run that crossed the end of this one goes on.
    std::uint32_t GetLine(std::uint8_t* line) override;
    // Drops the newest `count` bytes of the current row.
    void Discard(std::uint32_t count) override;
    // The row about to start is decoded into `row` (RowSize bytes).
    void DecodeRowInto(std::uint8_t* row) override;
    // Rows coded with the same bytes as the last row, when that was a
    // solid row coded on its own (no run from or into a row beside it).
    std::uint32_t TakeSolidRows(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                std::uint32_t& consumed, std::uint8_t& fill) override;

private:
    std::uint8_t* Own = nullptr;      // the decoder's own row
    std::uint8_t* Row = nullptr;      // where the current row is decoded: Own, or the caller's
    std::uint32_t RowSize = 0;
    std::uint32_t Filled = 0;         // bytes of the current row decoded so far
    // A run cut short by the end of the row or of a Decode call's input;
    // Reset (a new stream) drops it.
    std::uint32_t LiteralLeft = 0;    // literal bytes still to copy
    std::uint32_t RepeatLeft = 0;     // copies of RepeatByte still to write
    std::uint32_t RepeatPending = 0;  // copies waiting for their repeat byte
    std::uint8_t RepeatByte = 0;
    std::int32_t Invert = 0;
    std::uint32_t Width = 0;
    // The bytes the last row was coded in, when they were its own: from
    // SpanAt, SpanBytes of them; SpanSolid when the row was of one colour,
    // every delivered byte SpanFill (bits past the width 0).
    const std::uint8_t* SpanAt = nullptr;
    std::uint32_t SpanBytes = 0;
    bool SpanSolid = false;
    std::uint8_t SpanFill = 0;
    // The last Decode call: its input, what it consumed, and whether the
    // row began with it (no run carried in).
    const std::uint8_t* CallInput = nullptr;
    std::uint32_t CallConsumed = 0;
    bool CallStartsRow = false;
};

#endif
