// One-dimensional (Compression 3) line decoding: consumed counts, the
// leading EOL, make-up codes, and lines that run out of input or room.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FaxDecoderBits.h"
#include "fax/FaxDecoder.h"

namespace {

using faxbits::BitWriter;
using faxbits::Bytes;
using faxbits::Call;

const char* const kEol = "000000000001";

struct Decoded {
    Call call;
    Bytes line;
};

Decoded DecodeLine(std::uint32_t width, const Bytes& input, std::uint32_t fillOrder = 1) {
    CFaxDecoder decoder(3, fillOrder, 1000);
    decoder.SetInvert(0);
    EXPECT_EQ(decoder.SetWidth(width), 1);
    decoder.Reset();
    Decoded d;
    d.call = faxbits::DecodeOnce(decoder, input);
    d.line = faxbits::TakeLine(decoder, width);
    return d;
}

struct LineCase {
    const char* what;
    std::uint32_t width;
    std::string bits;
    bool padTail;  // add bytes after the line so that no clamp applies
    std::uint32_t consumed;
    Bytes line;
};

TEST(Fax1DLine, ConsumedCoversTheLineAndTheAlignedEolAfterIt) {
    const std::string eolFill = std::string("0000") + kEol;
    const LineCase cases[] = {
        {"20 bits: leading EOL and a 4-bit code", 2, eolFill + "0111", true, 4, {0x00}},
        {"21 bits: leading EOL and a 5-bit code", 8, eolFill + "10011", true, 5, {0x00}},
        {"16 bits, no EOL", 3, "00110101 11 000111", true, 4, {0xC0}},
        {"20 bits given as exactly 3 bytes", 2, eolFill + "0111", false, 3, {0x00}},
        {"16 bits given as exactly 2 bytes", 3, "00110101 11 000111", false, 2, {0xC0}},
    };
    for (const LineCase& c : cases) {
        BitWriter w;
        w.Put(c.bits).Align();
        if (c.padTail) w.Put("11111111 11111111 11111111 11111111");
        const Decoded d = DecodeLine(c.width, w.Get());
        EXPECT_EQ(d.call.ok, 1) << c.what;
        EXPECT_EQ(d.call.consumed, c.consumed) << c.what;
        EXPECT_EQ(d.line, c.line) << c.what;
    }
}

TEST(Fax1DLine, LeadingEolAfterUpToFourFillBits) {
    // White 0 then black 8: the line is 0xFF only if the EOL and the fill
    // before it were skipped exactly.
    for (unsigned d = 0; d <= 4; ++d) {
        BitWriter w;
        w.Put(std::string(d, '0')).Put(kEol).Put("00110101 000101").Align().Put("11111111 11111111");
        const Decoded r = DecodeLine(8, w.Get());
        EXPECT_EQ(r.call.ok, 1) << "offset " << d;
        EXPECT_EQ(r.line, Bytes{0xFF}) << "offset " << d;
        const unsigned bits = d + 12 + 14;
        EXPECT_EQ(r.call.consumed, bits / 8 + (bits % 8 <= 4 ? 2 : 3)) << "offset " << d;
    }
}

TEST(Fax1DLine, AnyNumberOfFillBitsMayPrecedeTheLeadingEol) {
    // Five fill bits, or two whole bytes of them: the EOL is still found.
    for (const char* fill : {"00000", "00000000 00000000 0000"}) {
        BitWriter w;
        w.Put(fill).Put(kEol).Put("00110101 000101").Align();
        const auto line = DecodeLine(8, w.Get());
        ASSERT_EQ(line.call.ok, 1) << fill;
        EXPECT_EQ(line.line, Bytes{0xFF}) << fill;
    }
}

TEST(Fax1DLine, MakeUpCodeThatFillsTheLineMayEndAtTheEol) {
    // White 0, then black make-up 1728 without its terminating black 0,
    // then the aligned EOL: a black line, as some fax writers send it.
    BitWriter w;
    w.Put("00110101 0000001100101").Put("0000000").Put(kEol);
    const auto line = DecodeLine(1728, w.Get());
    ASSERT_EQ(line.call.ok, 1);
    EXPECT_EQ(line.call.consumed, 5u);
    EXPECT_EQ(line.line, Bytes(216, 0xFF));
    // Not followed by an EOL, the make-up code still needs its terminating
    // code: here black 0, then the line is complete.
    BitWriter v;
    v.Put("00110101 0000001100101 0000110111").Align();
    const auto whole = DecodeLine(1728, v.Get());
    ASSERT_EQ(whole.call.ok, 1);
    EXPECT_EQ(whole.line, Bytes(216, 0xFF));
}

TEST(Fax1DLine, EolBeforeTheLineIsCompleteEndsItWhite) {
    // Width 16: white 3, black 2, then the EOL (after fill): the other 11
    // pixels are white, and the EOL is taken with the line.
    BitWriter w;
    w.Put("1000 11").Put("000000").Put(kEol).Put("1000 11 0000000").Put(kEol);
    const Bytes input = w.Get();
    const auto line = DecodeLine(16, input);
    ASSERT_EQ(line.call.ok, 1);
    EXPECT_EQ(line.call.consumed, 3u);
    EXPECT_EQ(line.line, (Bytes{0x18, 0x00}));
    // Inside a black make-up run the run ends at the EOL.
    BitWriter m;
    m.Put("1000 0000001111").Put("00000").Put(kEol);  // white 3, black make-up 64 of width 100
    const auto black = DecodeLine(100, m.Get());
    ASSERT_EQ(black.call.ok, 1);
    Bytes expected(13, 0);
    for (int x = 3; x < 67; ++x) expected[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    EXPECT_EQ(black.line, expected);
}

TEST(Fax1DLine, ExtraWholeBytesOfFillBeforeTheNextEolAreTakenWithTheLine) {
    // The EOL after the line is preceded by a byte more fill than needed
    // (as some fax writers do); the line takes it all, so the next line
    // starts right after that EOL.
    // Line 1: white 0, black 8 (14 bits), 6 + 8 fill bits, EOL: 5 bytes.
    // Line 2: white 4, black 4 (7 bits), 5 + 8 fill bits, EOL: 4 bytes.
    BitWriter w;
    w.Put("00110101 000101").Put("000000 00000000").Put(kEol);
    w.Put("1011 011").Put("00000 00000000").Put(kEol);
    const Bytes input = w.Get();
    ASSERT_EQ(input.size(), 9u);
    CFaxDecoder decoder(3, 1, 1000);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    const Call first = faxbits::DecodeOnce(decoder, input);
    ASSERT_EQ(first.ok, 1);
    EXPECT_EQ(first.consumed, 5u);
    EXPECT_EQ(faxbits::TakeLine(decoder, 8), Bytes{0xFF});
    const Call second = faxbits::DecodeOnce(decoder, input, first.consumed);
    ASSERT_EQ(second.ok, 1);
    EXPECT_EQ(second.consumed, 4u);
    EXPECT_EQ(faxbits::TakeLine(decoder, 8), Bytes{0x0F});
}

TEST(Fax1DLine, OnlyZeroBitsBeforeTheEolAreFill) {
    // Width 5: an all-white line is the single code "1100" and its aligned
    // EOL follows at once. Those four bits are the line, not fill before an
    // EOL; the next line (black) starts after the EOL.
    const Bytes input = BitWriter().Put("1100").Put(kEol).Put("00110101 0011").Align().Put(kEol).Get();
    CFaxDecoder decoder(3, 1, 1000);
    ASSERT_EQ(decoder.SetWidth(5), 1);
    decoder.Reset();
    const Call first = faxbits::DecodeOnce(decoder, input);
    ASSERT_EQ(first.ok, 1);
    EXPECT_EQ(first.consumed, 2u);
    EXPECT_EQ(faxbits::TakeLine(decoder, 5), Bytes{0x00});
    const Call second = faxbits::DecodeOnce(decoder, input, first.consumed);
    ASSERT_EQ(second.ok, 1);
    EXPECT_EQ(faxbits::TakeLine(decoder, 5), Bytes{0xF8});
}

TEST(Fax1DLine, RunsAndColours) {
    const LineCase cases[] = {
        {"white 0 first: the line starts black", 8, "00110101 10 1100", true, 4, {0xE0}},
        {"white make-up 64 plus terminating 0 is one run", 72, "11011 00110101 000101", true, 4,
         {0, 0, 0, 0, 0, 0, 0, 0, 0xFF}},
        {"black make-up 64 plus terminating 2", 70, "00110101 0000001111 11 1011", true, 5,
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0}},
        {"extended make-up 1792 plus 1728 make-up plus 0", 3520, "00000001000 010011011 00110101", true, 5,
         Bytes(440, 0x00)},
    };
    for (const LineCase& c : cases) {
        BitWriter w;
        w.Put(c.bits).Align();
        if (c.padTail) w.Put("11111111 11111111");
        const Decoded d = DecodeLine(c.width, w.Get());
        EXPECT_EQ(d.call.ok, 1) << c.what;
        EXPECT_EQ(d.call.consumed, c.consumed) << c.what;
        EXPECT_EQ(d.line, c.line) << c.what;
    }
}

TEST(Fax1DLine, FillOrder2ReversesEveryInputByte) {
    // The line "00110101 11 000111" (width 3: black 2, white 1) bit-reversed
    // byte by byte; only FillOrder 2 undoes it.
    const Bytes msbFirst = BitWriter().Put("00110101 11 000111").Align().Put("11111111").Get();
    Bytes lsbFirst;
    for (std::uint8_t b : msbFirst) {
        std::uint8_t r = 0;
        for (int i = 0; i < 8; ++i) r |= static_cast<std::uint8_t>(((b >> i) & 1) << (7 - i));
        lsbFirst.push_back(r);
    }
    EXPECT_EQ(DecodeLine(3, lsbFirst, 2).line, Bytes{0xC0});
    EXPECT_EQ(DecodeLine(3, msbFirst, 1).line, Bytes{0xC0});
    EXPECT_EQ(DecodeLine(3, msbFirst, 3).line, Bytes{0xC0}) << "only the value 2 reverses";
    EXPECT_NE(DecodeLine(3, lsbFirst, 1).line, Bytes{0xC0});
}

// ---------------------------------------------------------------------------
// Strip handling.

TEST(Fax1DStrip, EmptyInputDecodesNothing) {
    CFaxDecoder decoder(3, 1, 10);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    const Call c = faxbits::DecodeOnce(decoder, Bytes{});
    EXPECT_EQ(c.ok, 1);
    EXPECT_EQ(c.consumed, 0u);
    EXPECT_EQ(c.produced, 0u);
}

TEST(Fax1DStrip, RowsPerStripEndsTheStripAndSkipsWhatFollows) {
    // Once a strip's rows are decoded, what follows them (here a further
    // line, in real files a return-to-control mark or fill) is skipped.
    const Bytes input = BitWriter().Put("00110101 000101").AlignedEol().Put("10011").AlignedEol().Get();
    CFaxDecoder decoder(3, 1, 1);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    const Call first = faxbits::DecodeOnce(decoder, input);
    ASSERT_EQ(first.ok, 1);
    EXPECT_EQ(faxbits::TakeLine(decoder, 8), Bytes{0xFF});
    EXPECT_EQ(decoder.GetLinesDone(), 1u);
    const Call second = faxbits::DecodeOnce(decoder, input, first.consumed);
    ASSERT_EQ(second.ok, 1);
    EXPECT_EQ(second.produced, 0u);
    EXPECT_EQ(second.consumed, input.size() - first.consumed);
}

TEST(Fax1DStrip, ReturnToControlAfterTheLastRowIsSkipped) {
    // Six EOLs after the strip's only row would fail as a line of their own.
    BitWriter bits;
    bits.Put("00110101 000101").AlignedEol();
    for (int i = 0; i < 6; ++i) bits.Put("000000000001");
    const Bytes input = bits.Get();
    CFaxDecoder decoder(3, 1, 1);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    const Call first = faxbits::DecodeOnce(decoder, input);
    ASSERT_EQ(first.ok, 1);
    const Call second = faxbits::DecodeOnce(decoder, input, first.consumed);
    EXPECT_EQ(second.ok, 1);
    EXPECT_EQ(first.consumed + second.consumed, input.size());
}

// ---------------------------------------------------------------------------
// Lines that cannot be decoded.

TEST(Fax1DFailure, LineThatRunsPastItsInputFails) {
    // White 0 then the first 8 bits of black 0 ("0000110111"): with the
    // missing bits read as 0 they would look like black 20 ("00001101000").
    const Bytes input = BitWriter().Put("00110101 00001101").Get();
    EXPECT_EQ(DecodeLine(10, input).call.ok, 0);
    // A make-up code with nothing after it.
    EXPECT_EQ(DecodeLine(100, BitWriter().Put("11011").Get()).call.ok, 0);
}

TEST(Fax1DFailure, ZerosMatchNoWhiteCode) {
    EXPECT_EQ(DecodeLine(8, Bytes(64, 0x00)).call.ok, 0);
}

TEST(Fax1DLine, EolInsideAMakeUpRunEndsTheLineWhite) {
    // White make-up 64, then an EOL: the line ends there, all white, instead
    // of the EOL counting as a make-up of 65534 pixels.
    const Bytes input = BitWriter().Put("11011").Put(kEol).Put("00110101").Align().Put("11111111").Get();
    const Decoded line = DecodeLine(100, input);
    ASSERT_EQ(line.call.ok, 1);
    EXPECT_EQ(line.call.produced, 13u);
    EXPECT_EQ(line.line, Bytes(13, 0x00));
}

TEST(Fax1DFailure, MoreRunsThanALineHolds) {
    // Pairs of runs, then what completes the line: white 0, black 0 pairs
    // (runs without pixels) on a narrow line, white 1, black 1 pairs on a
    // line wide enough for more runs than allowed (completed by white
    // make-up codes: 57 x 2560, 1664, then 18).
    struct Case {
        const char* what;
        std::uint32_t width;
        std::string pair;
        std::uint32_t pairs;
        std::string rest;
        bool fits;
        std::size_t blackBytes;  // bytes 0xFF (narrow) or 0x55 (wide)
    };
    std::string whiteRest;
    for (int i = 0; i < 57; ++i) whiteRest += "000000011111";
    whiteRest += "011000 0100111";
    const std::string emptyPair = "00110101 0000110111";
    const std::string pixelPair = "000111 010";
    const Case cases[] = {
        {"102402 empty runs", 16, emptyPair, kFaxMaxRuns / 2 + 1, "1000 00000100", false, 0},
        {"102398 empty runs, then white 3, black 13", 16, emptyPair, kFaxMaxRuns / 2 - 1, "1000 00000100", true, 1},
        {"102402 one-pixel runs", 250000, pixelPair, kFaxMaxRuns / 2 + 1, whiteRest, false, 0},
        {"102398 one-pixel runs, then white", 250000, pixelPair, kFaxMaxRuns / 2 - 1, whiteRest, true,
         (kFaxMaxRuns - 2) / 8},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.Repeat(c.pair, c.pairs).Put(c.rest).Align().Put("11111111");
        const Decoded d = DecodeLine(c.width, w.Get());
        ASSERT_EQ(d.call.ok, c.fits ? 1 : 0) << c.what;
        if (!c.fits) continue;
        const std::uint8_t black = c.width == 16 ? 0xFF : 0x55;
        EXPECT_EQ(static_cast<std::size_t>(std::count(d.line.begin(), d.line.end(), black)), c.blackBytes) << c.what;
        if (c.width == 16) {
            EXPECT_EQ(d.line, (Bytes{0x1F, 0xFF})) << c.what;
        }
    }
}

}  // namespace
