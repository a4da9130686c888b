// Group 3 strip decoder for pages read with TV_OPTION_ANY_BILEVEL:
// Compression 3 one- and two-dimensional (EOLs at any bit position, with or
// without fill) and Compression 2 (modified Huffman, rows byte-aligned, no
// EOLs), reading damaged data the way libtiff reads it.
//
// It decodes whole lines only: every Decode call must be given all of the
// strip's remaining input (the line engine holds each strip wholly in memory and
// does so). It never reads past the input it is given. Bits are read first
// bit most significant; a FillOrder 2 strip is reversed by the caller first.
#ifndef TIFFVIEW_FAX_GROUP3LINES_H
#define TIFFVIEW_FAX_GROUP3LINES_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/TiffDecoder.h"

class CGroup3Lines : public CTiffDecoder {
public:
    // compression 2 or 3; twoDimensional: T4Options bit 0 (a tag bit after
    // each EOL says how the line is coded).
    CGroup3Lines(std::uint32_t compression, bool twoDimensional);
    ~CGroup3Lines() override;
    CGroup3Lines(const CGroup3Lines&) = delete;
    CGroup3Lines& operator=(const CGroup3Lines&) = delete;

    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    // Decodes one line per call (none when the strip's data is used up).
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;

    // TV_OK when the line GetLine last delivered is wholly as coded, else
    // the warning it carries: TV_ERR_LINE_DAMAGED for a damaged line (a bad
    // code, a wrong length, an early EOL, data skipped to find its EOL),
    // TV_ERR_STRIP_SHORT for one cut off by the end of the strip's data.
    std::uint32_t LineFault() const override { return DeliveredFault; }

private:
    // How a line's decoding ended: its last run reached the width (for
    // ReadRun: the run is whole), or before that an EOL, a bad code or the
    // end of the data; NoLine when the data ended before a line started;
    // Careful when the fast bit source cannot see far enough, and the line
    // is decoded again with the careful one.
    enum class End { Complete, Eol, BadCode, Data, NoLine, Careful };
    enum class Start { Found, NoLine, Careful };
    template <class Source>
    End DecodeLine(Source& bits, bool& skipped);
    template <class Source>
    Start Sync(Source& bits, bool& skipped) const;
    template <class Source>
    static End ReadRun(Source& bits, bool white, std::uint64_t& a0);
    template <class Source>
    static End ReadRunApart(Source& bits, bool white, std::uint64_t& a0);
    template <class Source>
    End Line1D(Source& source);
    template <class Source>
    End Line2D(Source& source);
    void Finish(End end);
    void Render(std::uint8_t* out);
    void ClearToggles();

    std::uint32_t Compression;
    bool TwoDimensional;
    std::uint32_t Width = 0;
    std::uint32_t RowBytes = 0;
    std::uint8_t InvertMask = 0;
    bool Usable = false;

    // Lines as changing elements: ends[i] is where run i ends (runs
    // alternate white, black, ... from pixel 0). Cur is the line being
    // decoded, Ref the previous line (two-dimensional reference), followed
    // by copies of the width so that b1 and b2 never step past it.
    std::unique_ptr<std::uint64_t[]> Store;
    std::uint64_t* Ref = nullptr;
    std::uint64_t* Cur = nullptr;
    std::uint32_t Capacity = 0;
    std::uint32_t RefCount = 0;
    std::uint32_t CurCount = 0;
    // The elements of the line decoded last toggled into 64-pixel words
    // (see ToggleFaxElement), until it is rendered or dropped; all 0 up to
    // the width before a line is decoded.
    std::unique_ptr<std::uint64_t[]> Toggles;
    std::size_t ToggleWords = 0;

    bool Pending = false;          // Ref holds a line not yet delivered
    std::uint32_t PendingFault = 0;
    std::uint32_t DeliveredFault = 0;
    std::uint32_t BitOffset = 0;   // bits of the first input byte already read
    bool EolPending = false;       // the last line ended on an EOL's zeros
    bool DataEnded = false;
};

#endif
