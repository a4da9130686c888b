// TIFF PackBits strip decoder.
//
// A header byte h, read as a signed byte, is followed by h+1 literal bytes
// (0..127), by one byte to repeat 1-h times (-127..-1), or by nothing
// (-128, a no-op some encoders emit).
#include "decoder/PackBitsDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "decoder/CopyBlocks.h"
#include "decoder/FillBytes.h"
#include "decoder/RepeatedBytes.h"

namespace {

inline std::uint32_t Smaller(std::uint32_t a, std::uint32_t b) { return a < b ? a : b; }

// Most runs of a bi-level row are short: where 16 bytes can be read and
// written, a run of up to 16 bytes is moved as one fixed block (the bytes
// past it are rewritten by the runs that follow, or lie past the row's
// filled part), without a call. Longer ones go sixteen bytes a move too.
constexpr std::uint32_t kBlock = 16;

inline void CopyRun(std::uint8_t* dest, std::uint32_t destRoom, const std::uint8_t* src, std::uint32_t srcRoom,
                    std::uint32_t n) {
    if (n <= kBlock && destRoom >= kBlock && srcRoom >= kBlock) {
        std::memcpy(dest, src, kBlock);
    } else {
        CopyBlocks(dest, src, n);
    }
}

inline void FillRun(std::uint8_t* dest, std::uint32_t destRoom, std::uint8_t value, std::uint32_t n) {
    if (n <= kBlock && destRoom >= kBlock) {
        std::memset(dest, value, kBlock);
    } else {
        FillBytes(dest, value, n);
    }
}

}  // namespace

CPackBitsDecoder::~CPackBitsDecoder() { delete[] Own; }

void CPackBitsDecoder::Reset() {
    Filled = 0;
    LiteralLeft = 0;
    RepeatLeft = 0;
    RepeatPending = 0;
    SpanSolid = false;
    SolidRowsOffered = false;
    CallStartsRow = false;
}

void CPackBitsDecoder::SetInvert(std::int32_t invert) { Invert = invert; }

int CPackBitsDecoder::SetWidth(std::uint32_t width) {
    delete[] Own;
    RowSize = 0;
    Reset();
    const auto rowSize = static_cast<std::uint32_t>((static_cast<std::uint64_t>(width) + 7) / 8);
    Width = width;
    // Left uninitialised: only decoded bytes are ever delivered.
    Own = Row = new (std::nothrow) std::uint8_t[rowSize];
    if (Row == nullptr) return 0;
    RowSize = rowSize;
    return 1;
}

void CPackBitsDecoder::DecodeRowInto(std::uint8_t* row) {
    // Only a row not yet begun moves; a run carried over from the row
    // before is kept apart from both.
    if (Filled == 0 && row != nullptr && Own != nullptr) Row = row;
}

int CPackBitsDecoder::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                             std::uint32_t /*wanted*/, std::uint32_t& produced) {
    const std::uint8_t* p = input;
    const std::uint8_t* const end = input + inputLength;
    std::uint32_t filled = Filled;
    const std::uint32_t start = filled;
    // Where this call's bytes start, and whether a run was carried into
    // them: GetLine tells from these whether the row had bytes of its own.
    CallInput = input;
    CallStartsRow = filled == 0 && (RepeatLeft | RepeatPending | LiteralLeft) == 0;

    // Go on with the run the previous row or the previous call's input
    // ended in.
    if (RepeatLeft != 0) {
        const std::uint32_t n = Smaller(RepeatLeft, RowSize - filled);
        std::memset(Row + filled, RepeatByte, n);
        filled += n;
        RepeatLeft -= n;
    } else if (p != end) {
        if (RepeatPending != 0) {
            RepeatByte = *p++;
            const std::uint32_t n = Smaller(RepeatPending, RowSize - filled);
            std::memset(Row + filled, RepeatByte, n);
            filled += n;
            RepeatLeft = RepeatPending - n;
            RepeatPending = 0;
        } else if (LiteralLeft != 0) {
            const std::uint32_t n = Smaller(Smaller(LiteralLeft, static_cast<std::uint32_t>(end - p)), RowSize - filled);
            std::memcpy(Row + filled, p, n);
            p += n;
            filled += n;
            LiteralLeft -= n;
        }
    }

    // While a whole run and its header are at hand, no run can be cut by the
    // end of the input; a run crossing the row's end is rare and is kept
    // for the next row.
    constexpr std::ptrdiff_t kLongestRun = 1 + 128;
    while (end - p > kLongestRun && filled < RowSize) {
        const std::uint32_t header = *p++;
        const std::uint32_t room = RowSize - filled;
        if (header < 128) {
            const std::uint32_t run = header + 1;
            if (run <= room) {
                CopyRun(Row + filled, room, p, kLongestRun, run);
                p += run;
                filled += run;
            } else {
                std::memcpy(Row + filled, p, room);
                p += room;
                filled = RowSize;
                LiteralLeft = run - room;
            }
        } else if (header > 128) {
            const std::uint32_t run = 257 - header;
            const std::uint8_t value = *p++;
            if (run <= room) {
                FillRun(Row + filled, room, value, run);
                filled += run;
            } else {
                std::memset(Row + filled, value, room);
                filled = RowSize;
                RepeatLeft = run - room;
                RepeatByte = value;
            }
        }
    }
    // The last runs, which the end of the input may cut.
    while (p != end && filled < RowSize) {
        const std::uint32_t header = *p++;
        const std::uint32_t room = RowSize - filled;
        if (header < 128) {
            const std::uint32_t run = header + 1;
            const std::uint32_t n = Smaller(Smaller(run, room), static_cast<std::uint32_t>(end - p));
            CopyRun(Row + filled, room, p, static_cast<std::uint32_t>(end - p), n);
            p += n;
            filled += n;
            LiteralLeft = run - n;
        } else if (header > 128) {
            const std::uint32_t run = 257 - header;
            if (p == end) {
                RepeatPending = run;
                break;
            }
            RepeatByte = *p++;
            const std::uint32_t n = Smaller(run, room);
            FillRun(Row + filled, room, RepeatByte, n);
            filled += n;
            RepeatLeft = run - n;
        }
    }

    Filled = filled;
    consumed = static_cast<std::uint32_t>(p - input);
    produced = filled - start;
    CallConsumed = consumed;
    return 1;
}

namespace {

// Whether the delivered row is of one colour, every byte `fill` and the
// bits past the width 0.
bool SolidRow(const std::uint8_t* row, std::uint32_t bytes, std::uint32_t width, std::uint8_t& fill) {
    fill = row[0] == 0 ? 0 : 0xFF;
    const std::uint32_t lastBits = width % 8;
    const std::uint32_t whole = lastBits == 0 ? bytes : bytes - 1;
    std::uint64_t word;
    std::memset(&word, fill, 8);
    std::uint32_t i = 0;
    for (; i + 8 <= whole; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, row + i, 8);
        if (w != word) return false;
    }
    for (; i < whole; ++i) {
        if (row[i] != fill) return false;
    }
    return lastBits == 0 || row[bytes - 1] == static_cast<std::uint8_t>(fill & (0xFF << (8 - lastBits)));
}

}  // namespace

std::uint32_t CPackBitsDecoder::TakeSolidRows(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                              std::uint32_t& consumed, std::uint8_t& fill) {
    consumed = 0;
    fill = SpanFill;
    if (!SpanSolid || Filled != 0 || RepeatLeft != 0 || RepeatPending != 0 || LiteralLeft != 0 || SpanBytes == 0 ||
        SpanAt + SpanBytes != input) {
        return 0;
    }
    const std::uint64_t limit = std::min<std::uint64_t>(inputLength, std::uint64_t{most} * SpanBytes);
    const std::uint32_t taken = static_cast<std::uint32_t>(RepeatedBytes(input, SpanBytes, limit) / SpanBytes);
    consumed = taken * SpanBytes;
    if (taken > 0) SpanAt = input + consumed - SpanBytes;
    // The next row, coded otherwise, is decoded (and judged) first.
    SolidRowsOffered = false;
    return taken;
}

std::uint32_t CPackBitsDecoder::GetLine(std::uint8_t* line) {
    const std::uint32_t n = Filled;
    if (Invert == 1) {
        for (std::uint32_t i = 0; i < n; ++i) line[i] = static_cast<std::uint8_t>(~Row[i]);
    } else if (n != 0 && line != Row) {
        std::memcpy(line, Row, n);
    }
    // A row coded in bytes of its own (it started with the last Decode call,
    // and no run goes on into the next row) is remembered, to know it coded
    // again; only rows coded as short as a solid row is (a repeat run for
    // every 128 bytes) are looked at.
    const std::uint32_t solidBytes = 2 * ((RowSize + 127) / 128);
    SpanSolid = CallStartsRow && CallConsumed <= solidBytes && n == RowSize && n != 0 &&
                (RepeatLeft | RepeatPending | LiteralLeft) == 0 && SolidRow(line, n, Width, SpanFill);
    SolidRowsOffered = SpanSolid;
    SpanAt = CallInput;
    SpanBytes = CallConsumed;
    CallStartsRow = false;
    Filled = 0;
    Row = Own;
    return n;
}

void CPackBitsDecoder::Discard(std::uint32_t count) { Filled -= Smaller(count, Filled); }
