// Fax strip decoder for pages read with TV_OPTION_ANY_BILEVEL: Compression 3
// one- and two-dimensional (EOLs at any bit position, with or without fill),
// Compression 2 (modified Huffman, rows byte-aligned, no EOLs) and
// Compression 4 (Group 4), reading damaged data the way libtiff reads it and
// going on to the strip's last row. Where the page allows it, runs of
// uncompressed mode are read too (libtiff does not read them).
//
// It decodes whole lines only: every Decode call must be given all of the
// strip's remaining input (the line engine holds each strip wholly in memory and
// does so). It never reads past the input it is given. Bits are read first
// bit most significant; a FillOrder 2 strip is reversed by the caller first.
#ifndef TIFFVIEW_FAX_FAXLINES_H
#define TIFFVIEW_FAX_FAXLINES_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/TiffDecoder.h"

class CFaxLines : public CTiffDecoder {
public:
    // compression 2, 3 or 4; twoDimensional: T4Options bit 0 (a tag bit
    // after each EOL says how the line is coded); uncompressed: T4Options
    // (Compression 3) or T6Options (Compression 4) bit 1, the page may hold
    // runs of uncompressed mode. Without it the extension codes that enter
    // that mode are damage, as libtiff takes them.
    CFaxLines(std::uint32_t compression, bool twoDimensional, bool uncompressed = false);
    ~CFaxLines() override;
    CFaxLines(const CFaxLines&) = delete;
    CFaxLines& operator=(const CFaxLines&) = delete;

    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    // Decodes one line per call (none when the strip's data is used up).
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;
    // Lines of one colour below a line the same: in Group 4 each is one V0
    // code (white) or two (black); in the other codings each is coded with
    // the same bits as the two lines before it.
    std::uint32_t TakeSolidRows(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                std::uint32_t& consumed, std::uint8_t& fill) override;

    // TV_OK when the line GetLine last delivered is wholly as coded, else
    // the warning it carries: TV_ERR_LINE_DAMAGED for a damaged line (a bad
    // code, a wrong length, an early EOL, data skipped to find its EOL),
    // TV_ERR_STRIP_SHORT for one cut off by the end of the strip's data.
    std::uint32_t LineFault() const override { return DeliveredFault; }
    // Bits of the next input byte already read, for diagnostics and tests.
    std::uint32_t GetBitOffset() const { return BitOffset; }

    // Rows whose codes each start at a byte boundary, as a PDF stream with
    // EncodedByteAlign codes them: Group 4 rows, and Group 3 rows after
    // their EOL (TIFF has no such data: its fill comes before the EOL).
    void SetRowsByteAligned(bool aligned) { RowsAligned = aligned; }
    // Whether the line the last Decode call gave is no line of the page:
    // the data had ended, or a Group 4 EOL had (which starts EOFB). Streams
    // of unknown length end there.
    bool EndedBlock() const { return BlockEndLine; }

private:
    // How a line's decoding ended: its last run reached the width (for
    // ReadCode: the code was read; for ReadRunApart: the run is whole), or
    // before that an EOL, a bad code or the end of the data; NoLine when the
    // data ended before a line started;
    // Careful when the fast bit source cannot see far enough, and the line
    // is decoded again with the careful one.
    // EolInLine: a two-dimensional line ended early by an EOL, which was read.
    enum class End { Complete, Eol, EolInLine, BadCode, Data, NoLine, Careful };
    enum class Start { Found, NoLine, Careful };
    template <class Source>
    End DecodeLine(Source& bits, bool& skipped);
    template <class Source>
    Start Sync(Source& bits, bool& skipped) const;
    void StartStrip(const std::uint8_t* input, std::uint32_t length);
    std::uint32_t LinesReadWhole(const std::uint8_t* input, std::uint32_t length, bool aligned);
    template <class Source>
    static End ReadCode(Source& bits, bool white, std::uint64_t& a0, bool& open);
    template <class Source>
    static End ReadRunApart(Source& bits, bool white, std::uint64_t& a0);
    template <class Source>
    End Line1D(Source& source);
    template <class Source>
    End Line2D(Source& source);
    template <class Source>
    End UncompressedRun(Source& source, std::uint64_t*& outAt, std::uint64_t& a0At);
    template <class Source>
    End EscapeIn2D(Source& bits, unsigned mode, std::uint64_t*& out, std::uint64_t a0);
    std::uint32_t Finish(End end);
    void MarkRuns(std::uint32_t from, std::uint32_t to);
    void SetSentinels();
    void AdvanceLines();
    std::uint32_t RepeatedReferences(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                     bool white, std::uint64_t& position) const;
    std::uint32_t RepeatedLines(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                std::uint64_t& position);
    void TakeSolidLines(bool white, std::uint32_t count);
    int RowPastData(std::uint32_t& produced);
    void Render(std::uint8_t* out);
    void ClearToggles();

    std::uint32_t Compression;
    bool TwoDimensional;
    bool Group4;
    bool Uncompressed;
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
    // libtiff keeps a line as run lengths in one of two buffers that it
    // swaps, and past the reference line's end it reads what older lines
    // left there: a pass code over the line's end moves a0 past the width
    // when that run is not empty. So that the pixels stay libtiff's, each
    // buffer's runs are followed here, as whether each is empty. A line's
    // own marks are not written out: while it is the last line of its
    // buffer they follow from its elements, and only the marks a shorter
    // line leaves showing past its end are written out when that line
    // comes (see KeepMarksFrom). The line therefore stays untouched until
    // then, and lines are decoded into a third array (Spare) in turn.
    struct RunMarks {
        std::uint8_t* Marks = nullptr;          // 1: the run there is not empty
        const std::uint64_t* Line = nullptr;    // the last line, when Marks lacks its marks
        std::uint32_t Written = 0;              // indices the last line wrote: its elements, and its end
    };
    void KeepMarksFrom(RunMarks& runs, std::uint32_t from) const;
    std::unique_ptr<std::uint8_t[]> MarkStore;
    RunMarks RefRuns;
    RunMarks CurRuns;
    std::uint64_t* Spare = nullptr;
    std::uint32_t Capacity = 0;
    std::uint32_t RefCount = 0;
    std::uint32_t CurCount = 0;
    // The elements of the line decoded last toggled into 64-pixel words
    // (see ToggleFaxElement), until it is rendered or dropped; all 0 up to
    // the width before a line is decoded.
    std::unique_ptr<std::uint64_t[]> Toggles;
    std::size_t ToggleWords = 0;

    bool Pending = false;          // Ref holds a line not yet delivered
    std::uint64_t PendingFrom = 0;  // its toggles lie from this pixel's word
    std::uint64_t PendingTo = 0;    // to this one's (and in the width's)
    std::uint32_t PendingFault = 0;
    std::uint32_t DeliveredFault = 0;
    std::uint32_t BitOffset = 0;   // bits of the first input byte already read
    bool EolPending = false;       // the last line ended on an EOL's zeros
    // Group 4: an EOL came inside the strip. libtiff then takes it for the
    // end of the block: it steps over 13 bits after every later line and
    // keeps the line before the EOL's as every later line's reference.
    bool BlockEnded = false;
    bool DataEnded = false;
    bool RowsAligned = false;
    bool BlockEndLine = false;
    std::int64_t ReachPastEnd = 0;  // libtiff's made-up 0 bits past the input (see CarefulBits::Need)
    // A one-dimensional Group 3 strip without a single EOL (some writers
    // leave them out): its lines follow each other directly, or from byte
    // boundaries when that reads more of them whole. Decided at its start.
    bool StripStarted = false;
    bool NoEols = false;
    bool AlignedRows = false;
    std::uint64_t TrailingZeros = 0;  // 0 bits after the strip's last 1, which start no line
    // A line as the bits it was read from (with the EOL, fill or tag bit
    // before its codes), so that the same line coded again is known: the
    // byte it starts in and the bits of that byte before it, how many bits
    // it takes, and its colour (1 white, 2 black). The solid lines read
    // wholly as coded last, in a row, the latest at Spans[SpanCount - 1],
    // each starting where the one before ends.
    struct LineSpan {
        const std::uint8_t* At = nullptr;
        unsigned Offset = 0;
        std::uint64_t Bits = 0;
        int Solid = 0;
    };
    static constexpr std::uint32_t kSpans = 8;
    LineSpan Spans[kSpans];
    std::uint32_t SpanCount = 0;
    void KeepSpan(const LineSpan& span);
    std::uint64_t InputBits = 0;      // bits of the input Decode was given
};

#endif
