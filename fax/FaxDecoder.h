// CCITT Group 3 one-dimensional (Compression 3) and Group 4 (Compression 4)
// strip decoder.
#ifndef TIFFVIEW_FAX_FAXDECODER_H
#define TIFFVIEW_FAX_FAXDECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/TiffDecoder.h"

// Most runs one line may hold; a line asking for more is refused.
constexpr std::uint32_t kFaxMaxRuns = 102400;
// Input bytes a suspended line can carry into the next call.
constexpr std::uint32_t kFaxCarryBytes = 20;

// Renders runs (white first, alternating; zero-length runs keep the
// alternation) as packed pixels (white 0, black 1, first pixel in bit 7) at
// `dest`, which has room for `capacity` bytes. Writes the whole bytes and then
// the trailing partial byte, even when it holds no pixels, if there is room
// for it. Sets `bytes` to the whole bytes written and `bits` to the pixels in
// the partial byte. Returns false, writing nothing and setting both counts to
// 0, when the pixels do not fit into `capacity` bytes.
bool RenderFaxRuns(const std::uint32_t* runs, std::uint32_t count, std::uint8_t* dest, std::size_t capacity,
                   std::uint32_t& bytes, std::uint32_t& bits);

class CFaxDecoder : public CTiffDecoder {
public:
    // Never throws for its own storage: when the run arrays cannot be
    // obtained the object is unusable, and SetWidth reports it by returning 0.
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

    // Read-only views of the decoding state, for diagnostics and tests.
    std::uint32_t GetBitOffset() const { return BitOffset; }
    std::uint32_t GetLinesDone() const { return LinesDone; }
    bool IsStripActive() const { return StripActive != 0; }
    bool IsLineComplete() const { return LineComplete != 0; }
    std::uint32_t GetOutBytes() const { return OutBytes; }
    std::uint32_t GetOutBits() const { return OutBits; }
    std::uint32_t GetCarriedBytes() const { return CarriedIn; }
    const std::uint8_t* GetLineBuffer() const { return LineBuf.get(); }
    // The reference line's runs (the last line decoded two-dimensionally).
    const std::uint32_t* GetReferenceRuns() const { return RefRuns; }
    std::uint32_t GetReferenceCount() const { return RefCount; }
    // The per-bit lookup tables (entry at code index - 1 is the code's row).
    const std::uint8_t* GetWhiteTable() const { return WhiteTable; }
    const std::uint8_t* GetBlackTable() const { return BlackTable; }
    const std::uint8_t* GetModeTable() const { return ModeTable; }

private:
    int Decode1D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                 std::uint32_t& produced);
    int Decode2D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                 std::uint32_t& produced);
    bool RenderLine(const std::uint32_t* runs, std::uint32_t count);
    // Makes the runs just decoded the reference line for the next one.
    void AdoptReferenceLine(std::uint32_t count, std::uint64_t total);
    std::size_t RoomFromOutBytes() const;

    // Shared per-bit tables (the fast tables beside them are what decoding reads).
    const std::uint8_t* WhiteTable = nullptr;
    const std::uint8_t* BlackTable = nullptr;
    const std::uint8_t* ModeTable = nullptr;

    std::unique_ptr<std::uint32_t[]> RunStore;  // RefRuns and CurRuns (2D) or Runs1D (1D)
    std::uint32_t* RefRuns = nullptr;
    std::uint32_t* CurRuns = nullptr;
    std::uint32_t* Runs1D = nullptr;
    std::uint32_t RefCount = 0;
    std::uint32_t CurCount = 0;

    std::unique_ptr<std::uint8_t[]> LineBuf;
    std::size_t LineBufSize = 0;
    std::uint32_t LinesDone = 0;
    std::uint32_t OutBytes = 0;
    std::uint32_t OutBits = 0;
    std::uint64_t LastPixels = 0;  // pixels of the last rendered line
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
    std::uint64_t SavedA0 = 0;
    std::uint64_t SavedB1 = 0;
    std::uint64_t SavedPending = 0;
    std::uint32_t SavedRefPos = 0;
    std::uint32_t SavedCurPos = 0;
    std::uint32_t CarriedIn = 0;
    std::uint8_t CarryBuf[kFaxCarryBytes] = {};
};

#endif
