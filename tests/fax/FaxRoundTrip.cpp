// Lines coded by the independent test encoders go through CFaxDecoder,
// driven the way the reader drives it, and must come back unchanged: with
// the whole strip as input, with the strip cut in two at every byte, and
// (two-dimensional) one byte per call.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fax/FaxDecoder.h"
#include "support/FaxEncoder.h"

namespace {

using faxenc::Content;
using faxenc::Line;
using faxenc::Lines;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kG3 = 3;
constexpr std::uint32_t kG4 = 4;

struct Decoded {
    Lines lines;
    std::string failure;              // empty when every call succeeded
    std::vector<std::uint32_t> consumedPerLine;  // input bytes taken for each line
};

// Decodes `rows` lines from input supplied as consecutive pieces, each in
// its own allocation so that a read past a piece is caught by the
// sanitizers. Per line, like the reader: call Decode with what is left of
// the current piece until a call produces output; when a piece is used up
// move to the next. A call that leaves input unused, or uses up the last
// piece, ends the line: the reader then fetches the line whatever was
// produced (so a decoder that holds back a complete last line waiting for
// more input loses it, as it would in the reader).
Decoded DecodePieces(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t width, std::uint32_t rows,
                     const std::vector<Bytes>& pieces, std::uint32_t rowsPerStrip = 0) {
    Decoded out;
    auto decoder = std::make_unique<CFaxDecoder>(compression, fillOrder, rowsPerStrip == 0 ? rows : rowsPerStrip);
    decoder->SetInvert(0);
    if (decoder->SetWidth(width) == 0) {
        out.failure = "SetWidth failed";
        return out;
    }
    decoder->Reset();
    const auto lineBytes = static_cast<std::uint32_t>(faxenc::LineBytes(width));
    static const std::uint8_t kNothing = 0;
    std::size_t piece = 0, pos = 0;
    for (std::uint32_t y = 0; y < rows; ++y) {
        std::uint32_t takenForLine = 0;
        for (int calls = 0;; ++calls) {
            while (piece + 1 < pieces.size() && pos == pieces[piece].size()) {
                ++piece;
                pos = 0;
            }
            const Bytes* p = piece < pieces.size() ? &pieces[piece] : nullptr;
            const auto length = static_cast<std::uint32_t>(p ? p->size() - pos : 0);
            const std::uint8_t* input = p && !p->empty() ? p->data() + pos : &kNothing;
            std::uint32_t consumed = 0xDEADBEEF, produced = 0xDEADBEEF;
            if (decoder->Decode(input, length, consumed, lineBytes, produced) == 0) {
                out.failure = "Decode failed on line " + std::to_string(y);
                return out;
            }
            if (consumed > length) {
                out.failure = "line " + std::to_string(y) + ": consumed " + std::to_string(consumed) +
                              " of an input of " + std::to_string(length);
                return out;
            }
            if (produced != 0 && produced != lineBytes) {
                out.failure = "line " + std::to_string(y) + ": produced " + std::to_string(produced) +
                              ", a line is " + std::to_string(lineBytes);
                return out;
            }
            pos += consumed;
            takenForLine += consumed;
            if (produced > 0) break;
            // Input left, or none left at all: the reader fetches the line
            // as it is and does not ask again.
            if (p == nullptr || pos < p->size() || piece + 1 >= pieces.size()) break;
            if (calls > 100000) {
                out.failure = "no progress on line " + std::to_string(y);
                return out;
            }
        }
        Line line(lineBytes + 1, 0xA5);  // one guard byte past the line
        const std::uint32_t n = decoder->GetLine(line.data());
        if (n != lineBytes || line[lineBytes] != 0xA5) {
            out.failure = "GetLine wrote " + std::to_string(n) + " bytes on line " + std::to_string(y);
            return out;
        }
        line.resize(lineBytes);
        out.lines.push_back(line);
        out.consumedPerLine.push_back(takenForLine);
    }
    return out;
}

Decoded DecodeWhole(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t width, std::uint32_t rows,
                    const Bytes& strip) {
    return DecodePieces(compression, fillOrder, width, rows, {strip});
}

Bytes Encode(std::uint32_t compression, const Lines& rows, std::uint32_t width, bool endMark, bool reverse) {
    return compression == kG4 ? faxenc::EncodeG4(rows, width, endMark, reverse)
                              : faxenc::EncodeG3(rows, width, endMark, reverse);
}

::testing::AssertionResult SameLines(const Lines& expected, const Decoded& got, std::uint32_t width,
                                     const std::string& what) {
    if (!got.failure.empty()) return ::testing::AssertionFailure() << what << ": " << got.failure;
    std::string detail;
    if (faxenc::FirstDifference(expected, got.lines, width, &detail) >= 0)
        return ::testing::AssertionFailure() << what << ": " << detail;
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Whole strip as input, across codings, fill orders, end marks, widths and
// contents.

struct WholeCase {
    std::uint32_t compression;
    std::uint32_t fillOrder;
    bool endMark;
};

std::string CaseName(const WholeCase& c) {
    return std::string(c.compression == kG4 ? "G4" : "G3") + "_Fill" + std::to_string(c.fillOrder) +
           (c.endMark ? (c.compression == kG4 ? "_Eofb" : "_Rtc") : "_NoMark");
}

void PrintTo(const WholeCase& c, std::ostream* os) { *os << CaseName(c); }

class FaxRoundTripWhole : public ::testing::TestWithParam<WholeCase> {
protected:
    void Check(const Lines& rows, std::uint32_t width, const std::string& what) {
        const WholeCase c = GetParam();
        const Bytes strip = Encode(c.compression, rows, width, c.endMark, c.fillOrder == 2);
        EXPECT_TRUE(SameLines(rows, DecodeWhole(c.compression, c.fillOrder, width,
                                                static_cast<std::uint32_t>(rows.size()), strip),
                              width, what));
    }
};

TEST_P(FaxRoundTripWhole, NarrowWidthsEveryContent) {
    const Content contents[] = {Content::White, Content::Black, Content::Alternating, Content::Checker,
                                Content::Noise, Content::Runs};
    for (std::uint32_t width = 1; width <= 17; ++width) {
        for (Content c : contents) {
            const std::uint64_t seed = 1000u * width + static_cast<std::uint64_t>(c);
            Check(faxenc::MakeImage(c, width, 12, seed), width,
                  "width " + std::to_string(width) + " " + faxenc::ContentName(c) + " seed " + std::to_string(seed));
        }
    }
}

TEST_P(FaxRoundTripWhole, WidthsAroundByteAndRunBoundaries) {
    const std::uint32_t widths[] = {23, 24, 25, 63, 64, 65, 127, 128, 129, 1727, 1728, 1729, 2560, 2561, 2623, 2624};
    for (std::uint32_t width : widths) {
        for (Content c : {Content::Noise, Content::Mixed, Content::Checker}) {
            const std::uint64_t seed = 7u * width + static_cast<std::uint64_t>(c);
            Check(faxenc::MakeImage(c, width, 16, seed), width,
                  "width " + std::to_string(width) + " " + faxenc::ContentName(c) + " seed " + std::to_string(seed));
        }
    }
}

TEST_P(FaxRoundTripWhole, WideLinesWithLongRuns) {
    // Runs past 2560 need several extended make-up codes in a row; lines of
    // 10000 and more pixels also hold thousands of runs.
    for (std::uint32_t width : {10000u, 10007u, 20000u}) {
        for (Content c : {Content::LongRuns, Content::Text, Content::Mixed, Content::Alternating}) {
            const std::uint64_t seed = 31u * width + static_cast<std::uint64_t>(c);
            Check(faxenc::MakeImage(c, width, 10, seed), width,
                  "width " + std::to_string(width) + " " + faxenc::ContentName(c) + " seed " + std::to_string(seed));
        }
        Lines rows = {faxenc::WhiteLine(width), faxenc::BlackLine(width), faxenc::RunsLine(width, {0, width - 1, 1}),
                      faxenc::RunsLine(width, {width - 2561, 2561}), faxenc::RunsLine(width, {2560, 5120, 1}),
                      faxenc::RunsLine(width, {1, 2623, 2624, 2625}), faxenc::BlackLine(width)};
        Check(rows, width, "width " + std::to_string(width) + " long runs");
    }
}

TEST_P(FaxRoundTripWhole, RunLengthsEverywhere) {
    // Lines made of a single black run of every length 0..2700 at a moving
    // position: each terminating and make-up code of both colours, and
    // vertical and horizontal modes against a changing reference.
    const std::uint32_t width = 3000;
    Lines rows;
    for (std::uint32_t len = 0; len <= 2700; len += (len < 130 ? 1 : 37)) {
        const std::uint32_t at = (len * 7) % (width - len + 1);
        rows.push_back(faxenc::RunsLine(width, {at, len, width}));
    }
    Check(rows, width, "single black runs");
}

TEST_P(FaxRoundTripWhole, DocumentPage) {
    const std::uint32_t width = 1728;
    Check(faxenc::MakeImage(Content::Text, width, 300, 4242), width, "text page seed 4242");
    Check(faxenc::MakeImage(Content::Halftone, width, 60, 4343), width, "halftone seed 4343");
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxRoundTripWhole,
                         ::testing::Values(WholeCase{kG4, 1, true}, WholeCase{kG4, 1, false}, WholeCase{kG4, 2, true},
                                           WholeCase{kG4, 2, false}, WholeCase{kG3, 1, false},
                                           WholeCase{kG3, 1, true}, WholeCase{kG3, 2, false},
                                           WholeCase{kG3, 2, true}),
                         [](const ::testing::TestParamInfo<WholeCase>& info) { return CaseName(info.param); });

// ---------------------------------------------------------------------------
// Strip bookkeeping the reader relies on.

TEST(FaxRoundTripG4Strip, RestAfterLastRowIsSkippedWithoutOutput) {
    // After the strip's rows the rest (EOFB, fill) is consumed in one call
    // that produces nothing; later calls produce nothing either.
    const std::uint32_t width = 200;
    const Lines rows = faxenc::MakeImage(Content::Runs, width, 9, 99);
    const Bytes strip = faxenc::EncodeG4(rows, width, true);
    CFaxDecoder decoder(kG4, 1, 9);
    decoder.SetInvert(0);
    ASSERT_NE(decoder.SetWidth(width), 0);
    decoder.Reset();
    std::size_t pos = 0;
    Line line(faxenc::LineBytes(width));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        std::uint32_t consumed = 0, produced = 0;
        ASSERT_NE(decoder.Decode(strip.data() + pos, static_cast<std::uint32_t>(strip.size() - pos), consumed, 1,
                                 produced),
                  0);
        ASSERT_EQ(produced, line.size()) << "line " << y;
        pos += consumed;
        decoder.GetLine(line.data());
        ASSERT_EQ(line, rows[y]) << "line " << y;
    }
    ASSERT_LT(pos, strip.size()) << "the EOFB is still unread";
    std::uint32_t consumed = 0, produced = 1;
    ASSERT_NE(decoder.Decode(strip.data() + pos, static_cast<std::uint32_t>(strip.size() - pos), consumed, 1, produced), 0);
    EXPECT_EQ(consumed, strip.size() - pos);
    EXPECT_EQ(produced, 0u);
}

TEST(FaxRoundTripG4Strip, ResetStartsTheNextStripAgainstAWhiteReference) {
    // Two strips through one decoder with Reset between them, as the
    // reader does: the second strip's first line is coded against white,
    // not against the first strip's last line.
    const std::uint32_t width = 77;
    const Lines a = faxenc::MakeImage(Content::Noise, width, 5, 1);
    const Lines b = faxenc::MakeImage(Content::Noise, width, 5, 2);
    const Bytes sa = faxenc::EncodeG4(a, width, true), sb = faxenc::EncodeG4(b, width, false);
    CFaxDecoder decoder(kG4, 1, 5);
    decoder.SetInvert(0);
    ASSERT_NE(decoder.SetWidth(width), 0);
    Line line(faxenc::LineBytes(width));
    for (const auto* strip : {&sa, &sb}) {
        decoder.Reset();
        const Lines& expect = strip == &sa ? a : b;
        std::size_t pos = 0;
        for (std::size_t y = 0; y < expect.size(); ++y) {
            std::uint32_t consumed = 0, produced = 0;
            ASSERT_NE(decoder.Decode(strip->data() + pos, static_cast<std::uint32_t>(strip->size() - pos), consumed,
                                     1, produced),
                      0);
            pos += consumed;
            ASSERT_EQ(produced, line.size());
            decoder.GetLine(line.data());
            ASSERT_EQ(line, expect[y]) << (strip == &sa ? "strip 0" : "strip 1") << " line " << y;
        }
    }
}

TEST(FaxRoundTripG3Strip, EachLineConsumesItselfAndTheAlignedEolAfterIt) {
    // A line's count covers its codes and the byte-aligned EOL that
    // follows, so the next call starts exactly at the next line's codes; the
    // last line (nothing after it) takes what is left.
    for (std::uint32_t width : {5u, 8u, 13u, 1728u}) {
        const Lines rows = faxenc::MakeImage(Content::Mixed, width, 40, width);
        const faxenc::Stream s = faxenc::EncodeG3Stream(rows, width, false);
        const Decoded d = DecodeWhole(kG3, 1, width, static_cast<std::uint32_t>(rows.size()), s.Bytes);
        ASSERT_TRUE(SameLines(rows, d, width, "width " + std::to_string(width)));
        std::size_t start = 0;
        for (std::size_t y = 0; y < rows.size(); ++y) {
            const std::size_t next = y + 1 < rows.size() ? s.LineStartBits[y + 1] / 8 : s.Bytes.size();
            EXPECT_EQ(d.consumedPerLine[y], next - start) << "width " << width << " line " << y;
            start = next;
        }
    }
}

// ---------------------------------------------------------------------------
// Input supplied in pieces.

struct SplitCase {
    std::uint32_t width;
    Content content;
    std::uint32_t height;
    std::uint32_t fillOrder;
    bool eofb;
};

TEST(FaxRoundTripG4Split, TwoPiecesCutAtEveryByte) {
    // A line cut by the end of the first piece is suspended and finished
    // from the second exactly as if the strip had been whole.
    const SplitCase cases[] = {
        {40, Content::Noise, 24, 1, true},   {97, Content::Runs, 20, 2, true},    {300, Content::Text, 40, 1, false},
        {1728, Content::Mixed, 6, 1, true},  {5000, Content::LongRuns, 6, 2, true}, {9, Content::Checker, 30, 1, true},
        {64, Content::Halftone, 30, 1, false},
    };
    for (const SplitCase& c : cases) {
        const std::uint64_t seed = 500u + c.width;
        const Lines rows = faxenc::MakeImage(c.content, c.width, c.height, seed);
        const Bytes strip = faxenc::EncodeG4(rows, c.width, c.eofb, c.fillOrder == 2);
        for (std::size_t k = 0; k <= strip.size(); ++k) {
            const std::vector<Bytes> pieces = {Bytes(strip.begin(), strip.begin() + static_cast<long>(k)),
                                               Bytes(strip.begin() + static_cast<long>(k), strip.end())};
            const Decoded d = DecodePieces(kG4, c.fillOrder, c.width, c.height, pieces);
            ASSERT_TRUE(SameLines(rows, d, c.width,
                                  std::string(faxenc::ContentName(c.content)) + " width " + std::to_string(c.width) +
                                      " seed " + std::to_string(seed) + " cut at byte " + std::to_string(k) + " of " +
                                      std::to_string(strip.size())));
        }
    }
}

TEST(FaxRoundTripG4Split, OneBytePerCall) {
    // The harshest feeding: every call gets a single new byte, so codes are
    // carried over several calls.
    for (std::uint32_t width : {1u, 8u, 33u, 700u, 2600u}) {
        for (Content c : {Content::Noise, Content::Mixed, Content::Text}) {
            const std::uint64_t seed = 900u + width + static_cast<std::uint64_t>(c);
            const Lines rows = faxenc::MakeImage(c, width, 12, seed);
            const Bytes strip = faxenc::EncodeG4(rows, width, true);
            std::vector<Bytes> pieces;
            for (std::uint8_t b : strip) pieces.push_back(Bytes{b});
            EXPECT_TRUE(SameLines(rows, DecodePieces(kG4, 1, width, 12, pieces), width,
                                  std::string(faxenc::ContentName(c)) + " width " + std::to_string(width) + " seed " +
                                      std::to_string(seed)));
        }
    }
}

TEST(FaxRoundTripG3Split, EachLineFromItsOwnExactInput) {
    // One-dimensional lines are byte-aligned: handing each call exactly one
    // line's bytes (codes plus the aligned EOL after them) decodes every
    // line and takes all of its input.
    for (std::uint32_t fill : {1u, 2u}) {
        for (std::uint32_t width : {3u, 16u, 150u, 2561u}) {
            const std::uint64_t seed = 300u + width;
            const Lines rows = faxenc::MakeImage(Content::Mixed, width, 25, seed);
            const faxenc::Stream s = faxenc::EncodeG3Stream(rows, width, false, fill == 2);
            std::vector<Bytes> pieces;
            std::size_t start = 0;
            for (std::size_t y = 0; y < rows.size(); ++y) {
                const std::size_t next = y + 1 < rows.size() ? s.LineStartBits[y + 1] / 8 : s.Bytes.size();
                pieces.emplace_back(s.Bytes.begin() + static_cast<long>(start), s.Bytes.begin() + static_cast<long>(next));
                start = next;
            }
            const Decoded d = DecodePieces(kG3, fill, width, static_cast<std::uint32_t>(rows.size()), pieces);
            ASSERT_TRUE(SameLines(rows, d, width, "width " + std::to_string(width) + " seed " + std::to_string(seed)));
            for (std::size_t y = 0; y < rows.size(); ++y)
                EXPECT_EQ(d.consumedPerLine[y], pieces[y].size()) << "width " << width << " line " << y;
        }
    }
}

TEST(FaxRoundTripG3Split, TruncatedStripKeepsEveryWholeLine) {
    // A strip cut at any byte: the lines whose codes lie wholly before the
    // cut decode intact, no call reports more input than it was given, and
    // the line that runs into the cut ends the call (it may fail or yield
    // anything) without reading past the input.
    for (std::uint32_t width : {7u, 64u, 333u}) {
        const std::uint64_t seed = 700u + width;
        const Lines rows = faxenc::MakeImage(Content::Mixed, width, 20, seed);
        const faxenc::Stream s = faxenc::EncodeG3Stream(rows, width, false);
        for (std::size_t k = 0; k <= s.Bytes.size(); ++k) {
            std::uint32_t whole = 0;
            while (whole < rows.size() && s.LineEndBits[whole] <= 8 * k) ++whole;
            const Bytes cut(s.Bytes.begin(), s.Bytes.begin() + static_cast<long>(k));
            const Decoded d = DecodePieces(kG3, 1, width, static_cast<std::uint32_t>(rows.size()), {cut});
            ASSERT_GE(d.lines.size(), whole) << "width " << width << " cut " << k << ": " << d.failure;
            EXPECT_EQ(d.failure.find("consumed"), std::string::npos) << d.failure;
            const Lines expect(rows.begin(), rows.begin() + whole);
            const Lines got(d.lines.begin(), d.lines.begin() + whole);
            std::string detail;
            EXPECT_EQ(faxenc::FirstDifference(expect, got, width, &detail), -1)
                << "width " << width << " seed " << seed << " cut " << k << ": " << detail;
        }
    }
}

}  // namespace
