// TIFF LZW (Compression 5) strip decoder.
#ifndef TIFFVIEW_DECODER_LZWDECODER_H
#define TIFFVIEW_DECODER_LZWDECODER_H

#include <cstdint>

#include "decoder/TiffDecoder.h"

// Codes are read most significant bit first, 9 to 12 bits wide, with the
// TIFF "early change" (the width grows when the next free code reaches 511,
// 1023 and 2047). Decoded bytes go into one flat buffer from which GetLine
// takes one packed line at a time; bytes decoded beyond the current line
// stay there, also across Reset, and are delivered with the next line.
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

private:
    static constexpr std::uint32_t TableSize = 4096;
    static constexpr std::uint32_t NoCode = 4096;
    static constexpr std::uint32_t ClearCode = 256;
    static constexpr std::uint32_t EndCode = 257;
    static constexpr std::uint32_t FirstFree = 258;

    // Length of a code's string as the table has it: 1 for a code not
    // defined (yet), as for a single byte.
    std::uint32_t Length(std::uint32_t code) const { return code < NextCode ? Len[code] : 1u; }
    std::uint32_t FastCodes(std::uint64_t& acc, std::uint32_t& bits, const std::uint8_t*& p, const std::uint8_t* safe,
                            const std::uint8_t* stop);
    int Step(std::uint32_t code);
    int WalkString(std::int64_t end, std::uint32_t code);
    void ClearTable();
    void AddEntry();
    void Compact();
    bool MakeRoom();

    // The string table; an entry counts only below NextCode. Its string is
    // Len bytes long and was last written out whole at Where in the buffer
    // (null: no longer in the buffer; always null for Clear and End).
    // Prefix and Suffix give the same string as a chain, for when the
    // output cannot be trusted.
    // One slot more than there are codes: once the table is full, entries
    // keep being written to the spare slot, which no code can name, so the
    // decoding loop needs no test for a full table.
    std::uint16_t Len[TableSize + 1];
    const std::uint8_t* Where[TableSize + 1];
    std::uint16_t Prefix[TableSize + 1];
    std::uint8_t Suffix[TableSize + 1];

    std::uint32_t BitBuffer;    // unused input bits, oldest in the top bit, zeros below
    std::uint32_t BitCount;     // valid bits in BitBuffer
    std::uint32_t OldCode;      // previous code; NoCode right after Reset or Clear
    std::uint32_t NextCode;     // next free table code (TableSize once full)
    std::uint32_t WidthLimit;   // NextCode value at which the width grows (TableSize at 12 bits)
    std::uint32_t CodeWidth;
    std::uint8_t FirstChar;     // first byte of the string written last
    // Set once the table may disagree with the bytes written (a code beyond
    // NextCode, a multi-byte first code, dropped output, a new buffer):
    // until the next Clear or Reset every string is produced by walking its
    // chain, which may also write bytes before the string, as the chain
    // says.
    bool Tangled;
    std::int32_t Invert;
    std::uint32_t LineSize;

    // The output buffer: offsets below Origin hold the 256 single-byte
    // strings, so that every code's string is copied the same way; decoded
    // bytes follow. Undelivered bytes are [Tail, Head); bytes before Tail
    // are history that later strings are copied from.
    std::uint8_t* Buf;
    std::int64_t Cap;           // buffer size in bytes
    std::int64_t RoomLimit;     // highest Head at which a code may still be decoded
    std::int64_t History;       // most history kept when the buffer has to slide
    std::int64_t Head;
    std::int64_t Tail;
    std::int64_t PrevPos;       // offset of OldCode's string
    // Stream position of buffer offset 0: grows as the buffer slides, so a
    // call's output is counted across slides.
    std::uint64_t Base;
};

#endif
