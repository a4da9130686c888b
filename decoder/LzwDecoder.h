// TIFF LZW (Compression 5) strip decoder.
#ifndef TIFFVIEW_DECODER_LZWDECODER_H
#define TIFFVIEW_DECODER_LZWDECODER_H

#include <cstdint>

#include "decoder/TiffDecoder.h"

// Codes are read most significant bit first, 9 to 12 bits wide, with the
// TIFF "early change" (the width grows when the next free code reaches 511,
// 1023 and 2047). Decoded bytes go into a ring from which GetLine takes one
// packed line at a time; bytes decoded beyond the current line stay there,
// also across Reset, and are delivered with the next line.
class CLzwDecoder : public CTiffDecoder {
public:
    CLzwDecoder();
    ~CLzwDecoder() override;
    CLzwDecoder(const CLzwDecoder&) = delete;
    CLzwDecoder& operator=(const CLzwDecoder&) = delete;

    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;

    // The smallest ring: positions are kept modulo the ring size, which is a
    // power of two of at least this many bytes.
    static constexpr std::uint32_t MinRingSize = 65536;
    // Free ring space that must remain before a code is decoded: the
    // longest string one code can add (a 4096-step chain plus one byte)
    // and the slack of the block-wise string copy.
    static constexpr std::uint32_t CodeRoom = 4096 + 1 + 64;

    // Ring capacity chosen by the last SetWidth (0 before).
    std::uint32_t RingSize() const { return RingBytes; }

private:
    static constexpr std::uint32_t TableSize = 4096;
    static constexpr std::uint32_t NoCode = 4096;
    static constexpr std::uint32_t ClearCode = 256;
    static constexpr std::uint32_t EndCode = 257;
    static constexpr std::uint32_t FirstFree = 258;

    int ProcessCode(std::uint32_t code);
    int WriteString(std::uint64_t end, std::uint32_t code);
    void ClearTable();
    void CopyString(std::uint64_t from, std::uint64_t to, std::uint32_t length);

    std::uint8_t FirstChar;     // first byte of the string written last
    std::uint32_t BitBuffer;    // unused input bits, oldest in the top bit, zeros below
    std::uint32_t BitCount;     // valid bits in BitBuffer
    std::uint32_t OldCode;      // previous code; NoCode right after Reset or Clear
    std::uint32_t NextCode;     // next free table code
    std::uint32_t MaxCode;      // NextCode value at which the width grows
    std::uint32_t CodeMask;     // top CodeWidth bits of a 32-bit word
    std::uint16_t Prefix[TableSize];  // code of the string without its last byte
    std::uint8_t Suffix[TableSize];   // last byte of the string
    std::uint16_t StrLen[TableSize];  // string length minus one
    std::uint32_t CodeWidth;
    std::int32_t Invert;
    std::uint8_t* OutBuf;       // the output ring
    // Positions in the output stream since SetWidth, never wrapped; the ring
    // index is the position modulo the ring size, and OutHead - OutTail is
    // exactly the number of undelivered bytes.
    std::uint64_t OutHead;
    std::uint64_t OutTail;
    std::uint32_t LineSize;

    std::uint32_t RingBytes;
    std::uint64_t RingMask;
    // Where each table string was last written out in full: a consistent
    // table lets a string be copied from its earlier occurrence instead of
    // walking its prefix chain byte by byte.
    std::uint64_t Where[TableSize];
    std::uint64_t PrevPos;      // stream position of OldCode's string
    // Set once the table may disagree with the bytes written (a code beyond
    // NextCode, a multi-byte first code, a new ring): until the next Clear
    // or Reset every string is produced by walking its chain.
    bool Tangled;
};

#endif
