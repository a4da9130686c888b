// Strip decoder interface: the reader drives every decompressor through it.
#ifndef TIFFVIEW_DECODER_TIFFDECODER_H
#define TIFFVIEW_DECODER_TIFFDECODER_H

#include <cstdint>

// A decoder turns the compressed bytes of one strip into packed line bytes.
// The reader hands it input and the number of decoded bytes still missing
// from the current line; the decoder reports what it consumed and produced
// and keeps leftover bits and surplus output to itself.
class CTiffDecoder {
public:
    virtual ~CTiffDecoder();
    // Prepares for a new compressed stream (a new strip).
    virtual void Reset() = 0;
    // 1: GetLine delivers the complement of every decoded byte.
    virtual void SetInvert(std::int32_t invert) = 0;
    // Sets the line width in pixels and allocates the working storage;
    // returns 0 when the storage cannot be obtained.
    virtual int SetWidth(std::uint32_t width) = 0;
    // Decodes from the start of `input`. `consumed` never exceeds
    // `inputLength`; `produced` counts decoded bytes added by this call.
    // Returns 0 only when the data cannot be decoded.
    virtual int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                       std::uint32_t wanted, std::uint32_t& produced) = 0;
    // Writes at most one line of the oldest undelivered output and returns
    // the number of bytes written.
    virtual std::uint32_t GetLine(std::uint8_t* line) = 0;
    // Drops `count` bytes of undelivered output.
    virtual void Discard(std::uint32_t count) = 0;
    // TV_OK when the line GetLine last delivered came wholly from the data
    // as coded; otherwise the warning it carries. Decoders that cannot
    // damage a line in their own way keep the default.
    virtual std::uint32_t LineFault() const { return 0; }
    // Where the row about to be decoded is wanted: a decoder that can write
    // its rows straight into the caller's buffer does so, and GetLine with
    // that same buffer then needs no copy. The others ignore it.
    virtual void DecodeRowInto(std::uint8_t* row) { (void)row; }
    // Rows ahead that are of one colour throughout (as a fax strip's
    // white lines below a white one), taken from the start of `input` at
    // once: up to `most` of them are read as if decoded and delivered, each
    // as coded; `consumed` says how much input they took, and `fill` what
    // each of their bytes is (0 or FF; bits past the width are 0 whatever
    // it is). The caller writes them itself. Decoders that cannot tell
    // keep the default.
    virtual std::uint32_t TakeSolidRows(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                        std::uint32_t& consumed, std::uint8_t& fill) {
        (void)input;
        (void)inputLength;
        (void)most;
        consumed = 0;
        fill = 0;
        return 0;
    }
    // Whether TakeSolidRows may take any now: the caller need not ask
    // (a call per row) while it is false.
    bool OffersSolidRows() const { return SolidRowsOffered; }
    // How many rows one Decode call is best asked for: a decoder whose call
    // costs more to set up than a row takes to decode asks for several, and
    // keeps those not yet delivered. A call asked for several may fail in
    // a later row than the first, after the rows before it.
    std::uint32_t RowsPerCall() const { return RowsAhead; }

protected:
    bool SolidRowsOffered = false;
    std::uint32_t RowsAhead = 1;
};

#endif
