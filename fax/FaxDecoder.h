// CCITT Group 3 one-dimensional (Compression 3) and Group 4 (Compression 4)
// strip decoder.
#ifndef TIFFVIEW_FAX_FAXDECODER_H
#define TIFFVIEW_FAX_FAXDECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/TiffDecoder.h"
#include "fax/FaxToggles.h"

// Most runs one line may hold; a line asking for more is refused.
constexpr std::uint32_t kFaxMaxRuns = 102400;
// Input bytes a suspended line can carry into the next call.
constexpr std::uint32_t kFaxCarryBytes = 20;

class CFaxDecoder : public CTiffDecoder {
public:
    // Never throws for its own storage: when the working storage cannot be
    // obtained SetWidth returns 0, and the object decodes nothing.
    CFaxDecoder(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t rowsPerStrip);
    ~CFaxDecoder() override;
    CFaxDecoder(const CFaxDecoder&) = delete;
    CFaxDecoder& operator=(const CFaxDecoder&) = delete;

    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;
    // TV_ERR_LINE_DAMAGED for a one-dimensional line that an EOL cut short,
    // whose runs go past the width, or that was found without the EOL that
    // should open it (any line of a strip but its first), so that it may be
    // out of step; else TV_OK.
    std::uint32_t LineFault() const override { return DeliveredFault; }

    // Read-only views of the decoding state, for diagnostics and tests.
    std::uint32_t GetBitOffset() const { return BitOffset; }
    std::uint32_t GetLinesDone() const { return LinesDone; }
    bool IsStripActive() const { return StripActive != 0; }
    bool IsLineComplete() const { return LineComplete != 0; }
    std::uint32_t GetOutBytes() const { return OutBytes; }
    std::uint32_t GetOutBits() const { return OutBits; }
    std::uint32_t GetCarriedBytes() const { return CarriedIn; }
    const std::uint8_t* GetLineBuffer() const { return LineBuf.get(); }
    // The reference line (the last line decoded two-dimensionally) as its
    // changing elements (see ToggleFaxElement).
    const std::uint64_t* GetReferenceEnds() const { return Ref != nullptr ? Ref + 1 : nullptr; }
    std::uint32_t GetReferenceCount() const { return RefCount; }
    // The per-bit lookup tables (entry at code index - 1 is the code's row).
    const std::uint8_t* GetWhiteTable() const { return WhiteTable; }
    const std::uint8_t* GetBlackTable() const { return BlackTable; }
    const std::uint8_t* GetModeTable() const { return ModeTable; }

private:
    // Where a line being decoded stands.
    struct LineState {
        std::uint64_t A0;  // coding position
        std::uint64_t K;   // b1 is Ref[K]
        std::uint64_t N;   // changing elements decoded, Cur[1..N]
    };
    enum class Stop { Line, Block, Suspend, Fail, Careful };
    // How a one-dimensional line was framed.
    struct Framing1D {
        std::uint64_t count = 0;    // elements, Cur[1..count]
        std::uint64_t lineEnd = 0;  // bits into the input
        std::uint64_t eolEnd = 0;   // where an EOL right after the line ends, 0 if none
        bool openedByEol = false;   // an EOL came before the line's codes
        bool cutByEol = false;      // an EOL ended the line before its width
        bool overshoot = false;     // its runs end past the width
    };

    template <class Source>
    Stop Loop2D(Source& source, LineState& line, std::uint64_t& codeStart, bool& extension);
    int Finish2D(Stop stop, std::uint64_t position, LineState line, std::uint64_t codeStart, bool extension,
                  const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                  std::uint32_t& produced);
    template <class Source>
    Stop Line1D(Source& source, Framing1D& framing);
    int Decode1D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                 std::uint32_t& produced);
    int Decode2D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                 std::uint32_t& produced);
    // Renders the line of `count` elements Cur[1..count], toggled into
    // Toggles, after the output already held.
    bool RenderLine(std::uint32_t count);
    void ClearToggles();
    // Makes sure the element arrays can take `count` elements and what the
    // line may still add after them in this call; false when they cannot grow.
    bool Reserve(std::uint64_t count);
    void StartReference();
    std::size_t RoomFromOutBytes() const;

    // Shared per-bit tables (the fast tables beside them are what decoding reads).
    const std::uint8_t* WhiteTable = nullptr;
    const std::uint8_t* BlackTable = nullptr;
    const std::uint8_t* ModeTable = nullptr;

    // Changing elements of the reference line (2D) and of the line being
    // decoded. Element 0 of each is a 0 before the line's first element;
    // after the reference line's last element come copies of where it ends
    // (at least the width), enough for b1 and b2 to step over its end.
    std::unique_ptr<std::uint64_t[]> PosStore;
    std::uint64_t* Ref = nullptr;
    std::uint64_t* Cur = nullptr;
    std::size_t PosCap = 0;  // entries in each array
    std::uint64_t LineRoom = 0;  // elements other than empty runs this call may add to a line
    std::uint32_t RefCount = 0;

    // The toggles of the line being decoded (see ToggleFaxElement), all 0
    // between lines; room for every element a line may hold.
    struct FreeWords {
        void operator()(std::uint64_t* words) const;
    };
    std::unique_ptr<std::uint64_t[], FreeWords> Toggles;
    std::size_t ToggleWords = 0;

    std::unique_ptr<std::uint8_t[]> LineBuf;
    std::size_t LineBufSize = 0;
    // The first Fresh bytes of the delivered half of LineBuf hold what was
    // rendered since the last GetLine; the rest reads as white.
    std::size_t Fresh = 0;
    std::uint32_t LinesDone = 0;
    // The previous one-dimensional line of the strip was taken together
    // with the EOL after it, so the next line starts right after its EOL
    // (true at a strip's start, whose first line needs none).
    bool EolTaken = true;
    std::uint32_t RenderedFault = 0;   // LineFault of the line rendered last
    std::uint32_t DeliveredFault = 0;  // LineFault of the line GetLine delivered last
    std::uint32_t OutBytes = 0;
    std::uint32_t OutBits = 0;
    std::uint32_t BitOffset = 0;
    std::uint32_t Width = 0;
    std::uint32_t Compression;
    std::uint32_t FillOrder;
    std::uint32_t RowsPerStrip;
    std::int32_t Invert = 0;
    int StripActive = 1;
    int LineComplete = 1;
    bool Usable = false;

    // A line suspended for want of input: where it stood, and its unread bytes.
    LineState Saved = {0, 1, 0};
    std::uint32_t CarriedIn = 0;
    std::uint8_t CarryBuf[kFaxCarryBytes] = {};
};

#endif
