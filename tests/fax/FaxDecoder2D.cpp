// Two-dimensional (Compression 4) line decoding: modes against the
// reference line, bit offsets between lines, end of block, the rows-per-strip
// skip, and lines suspended for want of input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FaxDecoderBits.h"
#include "fax/FaxDecoder.h"
#include "support/FaxEncoder.h"

namespace {

using faxbits::BitWriter;
using faxbits::Bytes;
using faxbits::Call;

const char* const kEol = "000000000001";

// A Compression 4 decoder over one strip, fed the way the reader feeds it:
// each call gets the input from the current position to the end.
class G4Strip {
public:
    G4Strip(std::uint32_t width, std::uint32_t rowsPerStrip = 1000, std::uint32_t fillOrder = 1)
        : decoder_(4, fillOrder, rowsPerStrip), width_(width) {
        decoder_.SetInvert(0);
        EXPECT_EQ(decoder_.SetWidth(width), 1);
        decoder_.Reset();
    }
    // Decodes from `pos` of `input` and advances `pos` by what was consumed.
    Call Next(const Bytes& input, std::size_t& pos) {
        const Call c = faxbits::DecodeOnce(decoder_, input, pos);
        if (c.ok) pos += c.consumed;
        return c;
    }
    Bytes Line() { return faxbits::TakeLine(decoder_, width_); }
    // The reference line's runs, from its changing elements.
    std::vector<std::uint32_t> RefRuns() const {
        std::vector<std::uint32_t> runs;
        std::uint64_t at = 0;
        for (std::uint32_t i = 0; i < decoder_.GetReferenceCount(); ++i) {
            runs.push_back(static_cast<std::uint32_t>(decoder_.GetReferenceEnds()[i] - at));
            at = decoder_.GetReferenceEnds()[i];
        }
        return runs;
    }
    CFaxDecoder& D() { return decoder_; }

private:
    CFaxDecoder decoder_;
    std::uint32_t width_;
};

// Reference line of width 10 with runs 2, 3, 5: horizontal white 2, black 3,
// then V0 to the end.
const char* const kRef235 = "001 0111 10 1";

// ---------------------------------------------------------------------------
// Bit offsets between lines.

TEST(Fax2DOffsets, V0OnTheFirstLineIsOneWhiteRun) {
    G4Strip s(1728);
    const Bytes input = {0x80};
    std::size_t pos = 0;
    const Call c = s.Next(input, pos);
    ASSERT_EQ(c.ok, 1);
    EXPECT_EQ(c.consumed, 0u);
    EXPECT_EQ(c.produced, 216u);
    EXPECT_EQ(s.D().GetBitOffset(), 1u);
    EXPECT_EQ(s.Line(), Bytes(216, 0x00));
    EXPECT_EQ(s.RefRuns(), std::vector<std::uint32_t>{1728});
}

TEST(Fax2DOffsets, OffsetCarriesUntilTheByteIsUsedUp) {
    // Eight one-bit lines in byte 0: the first seven consume nothing, the
    // eighth (entered at offset 7) consumes the byte and leaves offset 0.
    G4Strip s(16);
    const Bytes input = {0xFF, 0xFF};
    std::size_t pos = 0;
    for (std::uint32_t line = 1; line <= 8; ++line) {
        const Call c = s.Next(input, pos);
        ASSERT_EQ(c.ok, 1) << line;
        EXPECT_EQ(c.consumed, line == 8 ? 1u : 0u) << line;
        EXPECT_EQ(s.D().GetBitOffset(), line % 8) << line;
        EXPECT_EQ(c.produced, 2u);
        s.Line();
    }
    EXPECT_EQ(pos, 1u);
}

TEST(Fax2DOffsets, CodeEndingExactlyAtTheInputEndCompletesTheLine) {
    // The eighth line's V0 is the last bit of the input: the line is done,
    // not held back for more input.
    G4Strip s(16);
    const Bytes input = {0xFF};
    std::size_t pos = 0;
    for (int line = 1; line <= 8; ++line) {
        const Call c = s.Next(input, pos);
        ASSERT_EQ(c.ok, 1);
        EXPECT_EQ(c.produced, 2u) << line;
        s.Line();
    }
    EXPECT_EQ(pos, 1u);
    EXPECT_TRUE(s.D().IsLineComplete());
}

TEST(Fax2DOffsets, ExtensionAndZerosModesRestartAtTheReadByte) {
    struct Case {
        const char* what;
        std::string bits;
        std::uint32_t linesBefore;
        std::uint32_t consumed;
    };
    const Case cases[] = {
        {"mode 10 at bit 0", "0000001 1", 0, 0},
        {"mode 10 after a V0 line", "1 0000001", 1, 1},
        {"mode 11 after a V0 line", "1 0000000 11111", 1, 1},
    };
    for (const Case& c : cases) {
        G4Strip s(10);
        const Bytes input = BitWriter().Put(c.bits).Align().Put("11111111").Get();
        std::size_t pos = 0;
        for (std::uint32_t i = 0; i < c.linesBefore; ++i) {
            ASSERT_EQ(s.Next(input, pos).ok, 1);
            s.Line();
        }
        const Call r = s.Next(input, pos);
        ASSERT_EQ(r.ok, 1) << c.what;
        EXPECT_EQ(r.consumed, c.consumed) << c.what;
        EXPECT_EQ(s.D().GetBitOffset(), 0u) << c.what;
        EXPECT_EQ(s.Line(), (Bytes{0x00, 0x00})) << c.what;
    }
}

TEST(Fax2DOffsets, FillOrder2ReversesEveryInputByte) {
    // V0 leaves offset 1; the bits 00000001 read as mode 11 leave offset 0.
    struct Case {
        std::uint32_t fillOrder;
        std::uint8_t byte;
        std::uint32_t offset;
    };
    const Case cases[] = {{1, 0x80, 1}, {2, 0x01, 1}, {2, 0x80, 0}, {1, 0x01, 0}, {3, 0x80, 1}, {0, 0x80, 1}};
    for (const Case& c : cases) {
        G4Strip s(10, 1000, c.fillOrder);
        const Bytes input = {c.byte, 0xFF};
        std::size_t pos = 0;
        ASSERT_EQ(s.Next(input, pos).ok, 1);
        EXPECT_EQ(s.D().GetBitOffset(), c.offset) << "fill order " << c.fillOrder << " byte " << int(c.byte);
    }
}

// ---------------------------------------------------------------------------
// Modes.

struct ModeCase {
    const char* what;
    std::string reference;  // codes of the line before (empty: the strip's first line)
    std::string line;
    Bytes pixels;
    std::vector<std::uint32_t> runs;
};

TEST(Fax2DModes, LinesAgainstTheirReference) {
    const ModeCase cases[] = {
        {"reference 2 3 5", "", kRef235, {0x38, 0x00}, {2, 3, 5}},
        {"pass then V0 over 2 3 5 is all white", kRef235, "0001 1", {0x00, 0x00}, {10}},
        {"VL1 at the start, then b1 advances past a0", kRef235, "010 1 1", {0x78, 0x00}, {1, 4, 5}},
        {"horizontal white 3 black 2", "", "001 1000 11 1", {0x18, 0x00}, {3, 2, 5}},
        {"horizontal with black first", "", "001 00110101 0000100", {0xFF, 0xC0}, {0, 10}},
        {"VR1 then VL1 on 2 3 5", kRef235, "011 010 1", {0x10, 0x00}, {3, 1, 6}},
        {"V0 three times copies the reference", kRef235, "1 1 1", {0x38, 0x00}, {2, 3, 5}},
        {"horizontal make-up plus terminating", "", "001 11011 00110101 11 1", Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xC0}, {64, 2, 4}},
    };
    for (const ModeCase& c : cases) {
        const std::uint32_t width = c.pixels.size() == 9 ? 70 : 10;
        G4Strip s(width);
        BitWriter w;
        w.Put(c.reference).Put(c.line).Align().Put("11111111");
        const Bytes input = w.Get();
        std::size_t pos = 0;
        if (!c.reference.empty()) {
            ASSERT_EQ(s.Next(input, pos).ok, 1) << c.what;
            s.Line();
        }
        const Call r = s.Next(input, pos);
        ASSERT_EQ(r.ok, 1) << c.what;
        EXPECT_EQ(s.Line(), c.pixels) << c.what;
        EXPECT_EQ(s.RefRuns(), c.runs) << c.what;
    }
}

TEST(Fax2DModes, RunsLongerThanTheLineFail) {
    struct Case {
        const char* what;
        std::string bits;
    };
    const Case cases[] = {
        {"VR3 on an all-white line of 10", "0000011"},
        {"VL1 where b1 is 0", "001 00110101 0000100 010"},  // reference starts black: VL1 gives run -1
        {"horizontal white run of 11", "001 01000 0011"},
        {"EOL inside a horizontal run", std::string("001 ") + kEol + " 00110101 11"},
        {"no run code matches", "001 000000001000"},
    };
    for (const Case& c : cases) {
        G4Strip s(10);
        const Bytes input = BitWriter().Put(c.bits).Align().Put("11111111 11111111").Get();
        std::size_t pos = 0;
        Call r = s.Next(input, pos);
        if (r.ok && std::string(c.what) == "VL1 where b1 is 0") r = s.Next(input, pos);
        EXPECT_EQ(r.ok, 0) << c.what;
    }
}

// A reference line that stops short of the width: over 2 3 5, a pass to 5
// and then an extension code, which makes the rest of the line one run
// after the last element (the passed pixels are lost): one white run of 5.
// The extension code's byte is read again, so the next line starts at bit
// 16, on the extension code's last five bits "00001".
const std::string kShortAfterRef235 = std::string(kRef235) + "0001 0000001";

TEST(Fax2DModes, AdvanceStopsAtTheEndOfAShortReferenceLine) {
    // VL2 against b1 = 5 gives white 3; b1 then steps over the short line's
    // end to the width, where V0 ends the line.
    G4Strip s(10);
    const Bytes input = BitWriter().Put(kShortAfterRef235).Put("0 1").Align().Put("11111111").Get();
    std::size_t pos = 0;
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    s.Line();
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    EXPECT_EQ(s.Line(), (Bytes{0x00, 0x00}));
    EXPECT_EQ(s.RefRuns(), (std::vector<std::uint32_t>{5}));
    EXPECT_EQ(pos, 2u);
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    EXPECT_EQ(s.Line(), (Bytes{0x1F, 0xC0}));
    EXPECT_EQ(s.RefRuns(), (std::vector<std::uint32_t>{3, 7}));
}

TEST(Fax2DModes, VerticalCodesBeyondAShortReferenceLineEnd) {
    // Same short reference; VR2 gives white 7, then V0 steps b1 over its
    // end to the width.
    G4Strip s(10);
    const Bytes input = BitWriter().Put(kShortAfterRef235).Put("1 1").Align().Put("11111111").Get();
    std::size_t pos = 0;
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    s.Line();
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    s.Line();
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    EXPECT_EQ(s.Line(), (Bytes{0x01, 0xC0}));
    EXPECT_EQ(s.RefRuns(), (std::vector<std::uint32_t>{7, 3}));
}

TEST(Fax2DModes, MoreRunsThanALineHoldsFail) {
    // Empty runs (horizontal white 0, black 0: two runs that do not move
    // a0) on a narrow line, and pixel pairs (white 1, black 1) on a line
    // wide enough for more runs than allowed; then the rest of the line.
    struct Case {
        const char* what;
        std::uint32_t width;
        std::string pair;
        std::uint32_t pairs;
        std::string rest;
        bool fits;
    };
    const std::string emptyPair = "001 00110101 0000110111";
    const std::string pixelPair = "001 000111 010";
    const Case cases[] = {
        {"empty runs, one pair too many", 10, emptyPair, kFaxMaxRuns / 2 + 1, "1", false},
        {"empty runs, just under the limit", 10, emptyPair, kFaxMaxRuns / 2 - 1, "0000001", true},
        {"pixel pairs, one pair too many", 250000, pixelPair, kFaxMaxRuns / 2 + 1, "1", false},
        {"pixel pairs, just under the limit", 250000, pixelPair, kFaxMaxRuns / 2 - 1, "1", true},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.Repeat(c.pair, c.pairs).Put(c.rest).Align().Put("11111111");
        G4Strip s(c.width);
        std::size_t pos = 0;
        const Call r = s.Next(w.Get(), pos);
        ASSERT_EQ(r.ok, c.fits ? 1 : 0) << c.what;
        if (!c.fits) continue;
        EXPECT_EQ(s.D().GetReferenceCount(), kFaxMaxRuns - 1) << c.what;
        const Bytes line = s.Line();
        const std::size_t black = static_cast<std::size_t>(std::count(line.begin(), line.end(), 0x55));
        EXPECT_EQ(black, c.width == 10 ? 0u : (kFaxMaxRuns - 2) / 8) << c.what;
    }
}

// ---------------------------------------------------------------------------
// End of block and the strip's row count.

TEST(Fax2DStrip, EolAtTheStartOfALineEndsTheBlock) {
    G4Strip s(10, 4);
    const Bytes input = BitWriter().Put("001 1000 11 1").Put(kEol).Put(kEol).Align().Get();
    std::size_t pos = 0;
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    EXPECT_EQ(s.Line(), (Bytes{0x18, 0x00}));
    // Line 2 meets the EOL at bit 10: all white, the EOL itself not consumed.
    const Call eob = s.Next(input, pos);
    ASSERT_EQ(eob.ok, 1);
    EXPECT_EQ(eob.consumed, 0u);
    EXPECT_EQ(eob.produced, 2u);
    EXPECT_EQ(s.D().GetBitOffset(), 2u);
    EXPECT_FALSE(s.D().IsStripActive());
    EXPECT_EQ(s.Line(), (Bytes{0x00, 0x00}));
    EXPECT_EQ(s.D().GetLinesDone(), 2u);
    // The strip's remaining rows are white and take no input...
    for (int row = 3; row <= 4; ++row) {
        const Call white = s.Next(input, pos);
        ASSERT_EQ(white.ok, 1);
        EXPECT_EQ(white.consumed, 0u);
        EXPECT_EQ(white.produced, 2u);
        EXPECT_EQ(s.Line(), (Bytes{0x00, 0x00}));
    }
    // ...and after them the rest of the strip is skipped.
    for (int i = 0; i < 2; ++i) {
        const Call rest = s.Next(input, pos);
        ASSERT_EQ(rest.ok, 1);
        EXPECT_EQ(rest.produced, 0u);
    }
    EXPECT_EQ(pos, input.size());
}

TEST(Fax2DStrip, EolInsideALineWhitensItsRest) {
    struct Case {
        const char* what;
        std::string reference;
        std::string line;
        Bytes pixels;
    };
    const Case cases[] = {
        {"after horizontal white 3 black 2", "", "001 1000 11", {0x18, 0x00}},
        {"after a white run: the white run grows", kRef235, "1", {0x00, 0x00}},
    };
    for (const Case& c : cases) {
        G4Strip s(10);
        const Bytes input = BitWriter().Put(c.reference).Put(c.line).Put(kEol).Put(kEol).Get();
        std::size_t pos = 0;
        if (!c.reference.empty()) {
            ASSERT_EQ(s.Next(input, pos).ok, 1);
            s.Line();
        }
        ASSERT_EQ(s.Next(input, pos).ok, 1) << c.what;
        EXPECT_EQ(s.Line(), c.pixels) << c.what;
        EXPECT_FALSE(s.D().IsStripActive()) << c.what;
    }
}

TEST(Fax2DStrip, RowsPerStripReachedSkipsTheRest) {
    G4Strip s(10, 2);
    const Bytes input = {0xC0, 0x12, 0x34, 0x00};
    std::size_t pos = 0;
    for (int line = 0; line < 2; ++line) {
        const Call c = s.Next(input, pos);
        ASSERT_EQ(c.ok, 1);
        EXPECT_EQ(c.produced, 2u);
        s.Line();
    }
    EXPECT_TRUE(s.D().IsStripActive());
    const Call skip = s.Next(input, pos);
    ASSERT_EQ(skip.ok, 1);
    EXPECT_EQ(skip.consumed, 4u);
    EXPECT_EQ(skip.produced, 0u);
    EXPECT_FALSE(s.D().IsStripActive());
    std::size_t again = 1;
    const Call later = s.Next(input, again);
    EXPECT_EQ(later.consumed, 3u);
    EXPECT_EQ(later.produced, 0u);
}

TEST(Fax2DStrip, EmptyInputChangesNothing) {
    G4Strip s(10);
    const Bytes input = {0x80};
    std::size_t pos = 0;
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    const Call c = s.Next(Bytes{}, pos = 0);
    EXPECT_EQ(c.ok, 1);
    EXPECT_EQ(c.consumed, 0u);
    EXPECT_EQ(c.produced, 0u);
    EXPECT_EQ(s.D().GetBitOffset(), 1u);
}

TEST(Fax2DStrip, ResetStartsAgainstWhiteAndDropsASuspendedLine) {
    // Line 2 is cut inside a horizontal code's white run; then a new strip.
    G4Strip s(10);
    const Bytes input = BitWriter().Put(kRef235).Put("001 01").Get();
    std::size_t pos = 0;
    ASSERT_EQ(s.Next(input, pos).ok, 1);
    s.Line();
    const Call held = s.Next(input, pos);
    ASSERT_EQ(held.ok, 1);
    EXPECT_EQ(held.produced, 0u);
    EXPECT_FALSE(s.D().IsLineComplete());
    s.D().Reset();
    EXPECT_TRUE(s.D().IsLineComplete());
    EXPECT_EQ(s.D().GetCarriedBytes(), 0u);
    pos = 0;
    ASSERT_EQ(s.Next(Bytes{0x80}, pos).ok, 1);  // V0 against white
    EXPECT_EQ(s.Line(), (Bytes{0x00, 0x00}));
}

// ---------------------------------------------------------------------------
// Input that ends inside a line.

TEST(Fax2DSuspend, InsideAModeCode) {
    // Six V0 lines, then line 7's first code crosses the end of byte 0.
    struct Case {
        const char* what;
        std::string bits;
        Bytes pixels;
        std::uint32_t offsetAfter;
    };
    const Case cases[] = {
        {"VL2 (its 0 bits are all the first call sees)", "111111 000010 1", {0x00, 0xC0}, 5},
        {"VL1 cut after its first two bits", "111111 010 1", {0x00, 0x40}, 2},
    };
    for (const Case& c : cases) {
        const Bytes whole = BitWriter().Put(c.bits).Align().Put("11111111").Get();
        G4Strip s(10);
        const Bytes first(whole.begin(), whole.begin() + 1);
        const Bytes rest(whole.begin() + 1, whole.end());
        std::size_t pos = 0;
        for (int line = 0; line < 6; ++line) {
            ASSERT_EQ(s.Next(first, pos).ok, 1);
            s.Line();
        }
        const Call held = s.Next(first, pos);
        ASSERT_EQ(held.ok, 1) << c.what;
        EXPECT_EQ(held.consumed, 1u) << c.what;
        EXPECT_EQ(held.produced, 0u) << c.what;
        EXPECT_EQ(s.D().GetCarriedBytes(), 1u) << c.what;
        EXPECT_EQ(s.D().GetBitOffset(), 6u) << c.what;
        EXPECT_FALSE(s.D().IsLineComplete()) << c.what;
        std::size_t restPos = 0;
        const Call done = s.Next(rest, restPos);
        ASSERT_EQ(done.ok, 1) << c.what;
        EXPECT_EQ(done.produced, 2u) << c.what;
        EXPECT_EQ(done.consumed, 0u) << c.what;
        EXPECT_EQ(s.D().GetBitOffset(), c.offsetAfter) << c.what;
        EXPECT_EQ(s.Line(), c.pixels) << c.what;
        EXPECT_EQ(s.D().GetCarriedBytes(), 0u) << c.what;
    }
}

TEST(Fax2DSuspend, InsideAHorizontalRunRereadsTheWholeCode) {
    struct Case {
        const char* what;
        std::uint32_t width;
        std::string before;  // whole lines before
        std::string line;
        std::size_t cutByte;
        std::uint32_t carried;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {"black code cut", 10, "11", "001 0111 10 1", 1, 1, 2},
        {"cut after make-ups", 3000, "", "001 000000011111 11011 0111 10 1", 3, 3, 0},
        {"second byte of a horizontal code", 3000, "1111111", "001 000000011111 0111 10 1", 2, 2, 7},
    };
    for (const Case& c : cases) {
        const Bytes whole = BitWriter().Put(c.before).Put(c.line).Align().Put("11111111").Get();
        // Whole input first, for the expected line.
        G4Strip ref(c.width);
        std::size_t pos = 0;
        for (char ch : c.before) {
            if (ch == '1') {
                ASSERT_EQ(ref.Next(whole, pos).ok, 1);
                ref.Line();
            }
        }
        ASSERT_EQ(ref.Next(whole, pos).ok, 1) << c.what;
        const Bytes expected = ref.Line();

        G4Strip s(c.width);
        const Bytes first(whole.begin(), whole.begin() + static_cast<long>(c.cutByte));
        const Bytes rest(whole.begin() + static_cast<long>(c.cutByte), whole.end());
        pos = 0;
        for (char ch : c.before) {
            if (ch == '1') {
                ASSERT_EQ(s.Next(first, pos).ok, 1);
                s.Line();
            }
        }
        const Call held = s.Next(first, pos);
        ASSERT_EQ(held.ok, 1) << c.what;
        EXPECT_EQ(held.produced, 0u) << c.what;
        EXPECT_EQ(pos, first.size()) << c.what;
        EXPECT_EQ(s.D().GetCarriedBytes(), c.carried) << c.what;
        EXPECT_EQ(s.D().GetBitOffset(), c.offset) << c.what;
        std::size_t restPos = 0;
        const Call done = s.Next(rest, restPos);
        ASSERT_EQ(done.ok, 1) << c.what;
        EXPECT_EQ(s.Line(), expected) << c.what;
    }
}

TEST(Fax2DSuspend, HorizontalCodeTooLongToCarryFails) {
    // 39 white 2560 make-ups (59 bytes) and then the input ends: the code
    // cannot be carried into the next call.
    BitWriter longCode;
    longCode.Put("001").Repeat("000000011111", 39);
    G4Strip s(100000);
    std::size_t pos = 0;
    EXPECT_EQ(s.Next(longCode.Get(), pos).ok, 0);
    // Ten make-ups (16 bytes) can be carried; the line completes with more input.
    BitWriter shortCode;
    shortCode.Put("001").Repeat("000000011111", 10);
    const std::size_t cut = shortCode.Size() / 8;
    shortCode.Put("00110101 0000110111 1").Align().Put("11111111");
    const Bytes whole = shortCode.Get();
    G4Strip t(100000);
    pos = 0;
    const Call held = t.Next(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)), pos);
    ASSERT_EQ(held.ok, 1);
    EXPECT_EQ(t.D().GetCarriedBytes(), cut);
    std::size_t restPos = 0;
    const Call done = t.Next(Bytes(whole.begin() + static_cast<long>(cut), whole.end()), restPos);
    ASSERT_EQ(done.ok, 1);
    EXPECT_EQ(t.Line(), Bytes(12500, 0x00));
    EXPECT_EQ(t.RefRuns(), (std::vector<std::uint32_t>{25600, 0, 74400}));
}

TEST(Fax2DSuspend, MissingBitsDoNotFailTheEndOfBlockCheck) {
    // Line 2 starts at bit 1 with an EOL; the first call sees only its first
    // seven 0 bits and must wait for the rest rather than fail.
    G4Strip s(10);
    std::size_t pos = 0;
    const Bytes first = {0x80};
    ASSERT_EQ(s.Next(first, pos).ok, 1);
    s.Line();
    const Call held = s.Next(first, pos);
    ASSERT_EQ(held.ok, 1);
    EXPECT_EQ(held.consumed, 1u);
    EXPECT_EQ(held.produced, 0u);
    const Bytes rest = {0x08, 0x00, 0x10};
    std::size_t restPos = 0;
    const Call eob = s.Next(rest, restPos);
    ASSERT_EQ(eob.ok, 1);
    EXPECT_EQ(eob.produced, 2u);
    EXPECT_EQ(eob.consumed, 0u);
    EXPECT_FALSE(s.D().IsStripActive());
    // Twelve real 0 bits there do fail.
    G4Strip t(10);
    pos = 0;
    const Bytes zeros = {0x80, 0x00, 0x00};
    ASSERT_EQ(t.Next(zeros, pos).ok, 1);
    t.Line();
    EXPECT_EQ(t.Next(zeros, pos).ok, 0);
}

TEST(Fax2DSuspend, EveryCutOfAPageMatchesTheWholeInput) {
    // A page with long runs (make-up codes in horizontal mode), fine detail
    // and an end-of-block mark, cut into two pieces at every byte.
    const std::uint32_t width = 2600;
    faxenc::Lines rows = faxenc::MakeImage(faxenc::Content::LongRuns, width, 6, 11);
    const faxenc::Lines text = faxenc::MakeImage(faxenc::Content::Text, width, 6, 12);
    rows.insert(rows.end(), text.begin(), text.end());
    const Bytes stream = faxenc::EncodeG4(rows, width, true);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        const Bytes first(stream.begin(), stream.begin() + static_cast<long>(cut));
        const Bytes rest(stream.begin() + static_cast<long>(cut), stream.end());
        G4Strip s(width, static_cast<std::uint32_t>(rows.size()));
        std::size_t pos = 0;
        bool inRest = false;
        for (std::size_t y = 0; y < rows.size(); ++y) {
            Call c;
            do {
                if (!inRest && pos == first.size()) {
                    inRest = true;
                    pos = 0;
                }
                ASSERT_FALSE(inRest && pos == rest.size()) << "cut " << cut << ": input used up at line " << y;
                c = s.Next(inRest ? rest : first, pos);
                ASSERT_EQ(c.ok, 1) << "cut " << cut << " line " << y;
            } while (c.produced == 0);
            ASSERT_EQ(s.Line(), rows[y]) << "cut " << cut << " line " << y;
        }
    }
}

}  // namespace
