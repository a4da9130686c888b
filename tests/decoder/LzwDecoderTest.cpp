// The LZW decoder's documented behaviour: bit order, codes, counting of
// consumed and produced bytes, line delivery, inversion and Discard.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LzwTestUtil.h"
#include "support/LzwEncoder.h"

using lzwtest::Bytes;
using lzwtest::Drain;

namespace {

// Ready decoder with a line of `lineBytes` bytes.
struct Ready {
    explicit Ready(std::uint32_t lineBytes = 64, std::int32_t invert = 0) {
        decoder.SetInvert(invert);
        EXPECT_EQ(decoder.SetWidth(lineBytes * 8), 1);
        decoder.Reset();
    }
    CLzwDecoder decoder;
};

struct WorkedCase {
    const char* name;
    Bytes input;
    Bytes output;
};

const std::vector<WorkedCase>& WorkedCases() {
    static const std::vector<WorkedCase> cases = {
        {"single_byte", {0x80, 0x10, 0x60, 0x20}, {0x41}},
        {"two_entries", {0x80, 0x10, 0x48, 0x50, 0x28, 0x08}, {0x41, 0x42, 0x41, 0x42}},
        {"code_before_defined", {0x80, 0x10, 0x60, 0x50, 0x10}, {0x41, 0x41, 0x41}},
    };
    return cases;
}

class LzwWorkedExample : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(LzwWorkedExample, DecodesInOneCall) {
    const WorkedCase& c = GetParam();
    Ready r;
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(c.input.data(), static_cast<std::uint32_t>(c.input.size()), consumed, 1000, produced), 1);
    EXPECT_EQ(consumed, c.input.size());
    EXPECT_EQ(produced, c.output.size());
    EXPECT_EQ(Drain(r.decoder), c.output);
}

TEST_P(LzwWorkedExample, ByteAtATimeGivesTheSameBytes) {
    const WorkedCase& c = GetParam();
    Ready r;
    std::uint32_t total = 0;
    for (std::uint8_t b : c.input) {
        std::uint32_t consumed = 0, produced = 0;
        ASSERT_EQ(r.decoder.Decode(&b, 1, consumed, 1000, produced), 1);
        EXPECT_EQ(consumed, 1u);
        total += produced;
    }
    EXPECT_EQ(total, c.output.size());
    EXPECT_EQ(Drain(r.decoder), c.output);
}

TEST_P(LzwWorkedExample, EveryTwoWaySplitGivesTheSameBytes) {
    const WorkedCase& c = GetParam();
    for (std::size_t k = 0; k <= c.input.size(); ++k) {
        Ready r;
        std::uint32_t consumed = 0, produced = 0, total = 0;
        ASSERT_EQ(r.decoder.Decode(c.input.data(), static_cast<std::uint32_t>(k), consumed, 1000, produced), 1);
        EXPECT_EQ(consumed, k) << "split " << k;
        total += produced;
        ASSERT_EQ(r.decoder.Decode(c.input.data() + k, static_cast<std::uint32_t>(c.input.size() - k), consumed, 1000,
                                   produced),
                  1);
        EXPECT_EQ(consumed, c.input.size() - k) << "split " << k;
        total += produced;
        EXPECT_EQ(total, c.output.size()) << "split " << k;
        EXPECT_EQ(Drain(r.decoder), c.output) << "split " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Lzw, LzwWorkedExample, ::testing::ValuesIn(WorkedCases()),
                         [](const ::testing::TestParamInfo<WorkedCase>& info) { return std::string(info.param.name); });

TEST(LzwStopping, StopsOnceWantedIsReachedAndKeepsTheBits) {
    const Bytes input = WorkedCases()[1].input;
    Ready r;
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), 6, consumed, 2, produced), 1);
    EXPECT_EQ(consumed, 4u);
    EXPECT_EQ(produced, 2u);
    EXPECT_EQ(Drain(r.decoder), (Bytes{0x41, 0x42}));
    // Code 258 ends in the fifth byte: the call stops there with its string.
    ASSERT_EQ(r.decoder.Decode(input.data() + 4, 2, consumed, 2, produced), 1);
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(produced, 2u);
    EXPECT_EQ(Drain(r.decoder), (Bytes{0x41, 0x42}));
    ASSERT_EQ(r.decoder.Decode(input.data() + 5, 1, consumed, 2, produced), 1);
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(produced, 0u);
}

TEST(LzwStopping, ConsumedCountsTheByteHoldingTheCodesLastBit) {
    // Codes of 9 bits: code i ends in bit 9(i+1)-1, so stopping after code i
    // (wanted 1 per call, one byte per single-byte code) takes
    // ceil(9(i+1)/8) bytes in all.
    std::vector<std::uint32_t> codes = {256};
    for (std::uint32_t i = 0; i < 12; ++i) codes.push_back(0x30 + i * 7);
    codes.push_back(257);
    const Bytes input = tvtest::PackCodes9(codes);
    Ready r;
    std::uint32_t pos = 0;
    for (std::uint32_t i = 1; i <= 12; ++i) {
        std::uint32_t consumed = 0, produced = 0;
        ASSERT_EQ(r.decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size()) - pos, consumed, 1,
                                   produced),
                  1);
        pos += consumed;
        EXPECT_EQ(pos, (9 * (i + 1) + 7) / 8) << "code " << i;
        EXPECT_EQ(produced, 1u);
    }
    Bytes expected;
    for (std::uint32_t i = 0; i < 12; ++i) expected.push_back(static_cast<std::uint8_t>(0x30 + i * 7));
    EXPECT_EQ(Drain(r.decoder), expected);
}

TEST(LzwStopping, AClearCodeAloneSatisfiesNothingAndDecodingGoesOn) {
    // 256, 256, 65, 257: the second Clear produces nothing, so the call
    // with wanted 1 goes on to 65 and stops with its byte.
    const Bytes input = tvtest::PackCodes9({256, 256, 65, 66, 257});
    Ready r;
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1, produced), 1);
    EXPECT_EQ(produced, 1u);
    EXPECT_EQ(consumed, 4u);  // 27 bits
    EXPECT_EQ(Drain(r.decoder), Bytes{0x41});
}

TEST(LzwEndOfInformation, SkipsTheRestOfTheCallsInput) {
    // The first worked example followed by the second: only 41 comes out.
    Bytes input = WorkedCases()[0].input;
    const Bytes second = WorkedCases()[1].input;
    input.insert(input.end(), second.begin(), second.end());
    Ready r;
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1000, produced), 1);
    EXPECT_EQ(consumed, input.size());
    EXPECT_EQ(produced, 1u);
    EXPECT_EQ(Drain(r.decoder), Bytes{0x41});
}

TEST(LzwEndOfInformation, EndsALongStreamWithPlentyOfInputAfterIt) {
    // EndOfInformation met with kilobytes of input still to come, in the
    // middle of a line: the call takes all of its input and stops there;
    // the next call starts a new stream.
    std::mt19937 rng(3);
    const Bytes first = lzwtest::RandomBytes(50000, rng, 3);
    const Bytes second = lzwtest::RandomBytes(20000, rng, 5);
    Bytes input = tvtest::LzwEncode(first);
    const std::size_t firstSize = input.size();
    const Bytes tail = tvtest::LzwEncode(second);
    input.insert(input.end(), tail.begin(), tail.end());
    Ready r(64);
    Bytes out;
    std::size_t pos = 0;
    std::uint32_t consumed = 0, produced = 0;
    while (pos < firstSize) {
        ASSERT_EQ(r.decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size() - pos), consumed, 64,
                                   produced),
                  1);
        pos += consumed;
        const Bytes got = Drain(r.decoder);
        out.insert(out.end(), got.begin(), got.end());
    }
    EXPECT_EQ(pos, input.size());  // the End code's call took the rest
    EXPECT_TRUE(out == first);
    ASSERT_EQ(r.decoder.Decode(tail.data(), static_cast<std::uint32_t>(tail.size()), consumed, 100000, produced), 1);
    EXPECT_TRUE(Drain(r.decoder) == second);
}

TEST(LzwEndOfInformation, ResetsSoTheNextStreamStartsClean) {
    // After a stream that reached 10-bit codes ends, a stream of 9-bit codes
    // without a leading Clear must decode from a fresh table.
    tvtest::LzwEncodeOptions noClear;
    noClear.clearFirst = false;
    lzwtest::Bytes first;
    std::mt19937 rng(7);
    first = lzwtest::RandomBytes(3000, rng);
    const Bytes a = tvtest::LzwEncode(first);
    const Bytes b = tvtest::LzwEncode(Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3}, noClear);
    Ready r(4096);
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(a.data(), static_cast<std::uint32_t>(a.size()), consumed, 100000, produced), 1);
    EXPECT_EQ(Drain(r.decoder), first);
    ASSERT_EQ(r.decoder.Decode(b.data(), static_cast<std::uint32_t>(b.size()), consumed, 100000, produced), 1);
    EXPECT_EQ(Drain(r.decoder), (Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3}));
}

TEST(LzwInput, ZeroLengthCallChangesNothing) {
    const Bytes input = WorkedCases()[1].input;
    Ready r;
    std::uint32_t consumed = 77, produced = 77;
    ASSERT_EQ(r.decoder.Decode(input.data(), 3, consumed, 1000, produced), 1);
    ASSERT_EQ(consumed, 3u);  // 24 bits: a code's worth of bits is pending
    const std::uint8_t* nothing = input.data() + 3;
    ASSERT_EQ(r.decoder.Decode(nothing, 0, consumed, 1000, produced), 1);
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(produced, 0u);
    ASSERT_EQ(r.decoder.Decode(input.data() + 3, 3, consumed, 1000, produced), 1);
    EXPECT_EQ(consumed, 3u);
    EXPECT_EQ(Drain(r.decoder), (Bytes{0x41, 0x42, 0x41, 0x42}));
}

TEST(LzwInput, ResetDropsPendingBits) {
    // One byte of a stream leaves 8 bits pending; after Reset a whole
    // stream must decode as if they had never been there.
    const Bytes input = WorkedCases()[0].input;
    Ready r;
    std::uint32_t consumed = 0, produced = 0;
    const std::uint8_t stray = 0xFF;
    ASSERT_EQ(r.decoder.Decode(&stray, 1, consumed, 1000, produced), 1);
    r.decoder.Reset();
    ASSERT_EQ(r.decoder.Decode(input.data(), 4, consumed, 1000, produced), 1);
    EXPECT_EQ(Drain(r.decoder), Bytes{0x41});
}

TEST(LzwInput, MostSignificantBitFirstAcrossWidths) {
    // Hand-packed: 9-bit codes until entry 510 is made, then 10 bits. With
    // 254 single-byte codes after the Clear the table reaches 511 and the
    // 255th code must be read 10 bits wide.
    std::vector<std::pair<std::uint32_t, unsigned>> codes = {{256, 9}};
    Bytes expected;
    for (std::uint32_t i = 0; i < 254; ++i) {
        codes.push_back({i, 9});
        expected.push_back(static_cast<std::uint8_t>(i));
    }
    codes.push_back({0xAA, 10});
    expected.push_back(0xAA);
    codes.push_back({257, 10});
    const Bytes input = tvtest::PackCodes(codes);
    Ready r(1024);
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 100000, produced), 1);
    EXPECT_EQ(consumed, input.size());
    EXPECT_EQ(Drain(r.decoder), expected);
}

TEST(LzwGetLine, DeliversAtMostOneLine) {
    // LineSize 8: 5 undelivered gives 5; 20 gives 8, 8 and then 4.
    struct Case {
        std::size_t undelivered;
        std::vector<std::uint32_t> returns;
    };
    for (const Case& c : {Case{5, {5, 0}}, Case{20, {8, 8, 4, 0}}, Case{0, {0}}}) {
        Ready r(8);
        Bytes data(c.undelivered);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
        const Bytes input = tvtest::LzwEncode(data);
        std::uint32_t consumed = 0, produced = 0;
        ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1000, produced),
                  1);
        ASSERT_EQ(produced, c.undelivered);
        Bytes got;
        for (std::uint32_t expected : c.returns) {
            std::uint8_t line[8] = {};
            const std::uint32_t n = r.decoder.GetLine(line);
            EXPECT_EQ(n, expected) << c.undelivered << " undelivered";
            got.insert(got.end(), line, line + n);
        }
        EXPECT_EQ(got, data);
    }
}

TEST(LzwGetLine, ResetKeepsUndeliveredBytesForTheNextLine) {
    // A strip whose last line leaves two bytes behind; after Reset the next
    // strip's first line starts with them.
    Ready r(3);
    const Bytes a = WorkedCases()[1].input;  // 41 42 41 42
    const Bytes b = WorkedCases()[2].input;  // 41 41 41
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(a.data(), static_cast<std::uint32_t>(a.size()), consumed, 3, produced), 1);
    std::uint8_t line[3] = {};
    ASSERT_EQ(r.decoder.GetLine(line), 3u);
    EXPECT_EQ(Bytes(line, line + 3), (Bytes{0x41, 0x42, 0x41}));
    r.decoder.Reset();
    ASSERT_EQ(r.decoder.Decode(b.data(), static_cast<std::uint32_t>(b.size()), consumed, 2, produced), 1);
    ASSERT_EQ(r.decoder.GetLine(line), 3u);
    EXPECT_EQ(Bytes(line, line + 3), (Bytes{0x42, 0x41, 0x41}));
    ASSERT_EQ(r.decoder.GetLine(line), 1u);
    EXPECT_EQ(line[0], 0x41);
}

struct InvertCase {
    std::int32_t flag;
    bool complemented;
};

// Named, so that gtest does not print the struct's padding bytes.
void PrintTo(const InvertCase& c, std::ostream* os) { *os << "flag " << c.flag; }

class LzwInversion : public ::testing::TestWithParam<InvertCase> {};

TEST_P(LzwInversion, ComplementsOnlyForFlagOne) {
    const InvertCase c = GetParam();
    // 19-byte lines exercise both the word-wide and the byte-wise part.
    Bytes data(19 * 3);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = i % 5 == 0 ? 0x0F : static_cast<std::uint8_t>(i * 37);
    const Bytes input = tvtest::LzwEncode(data);
    CLzwDecoder decoder;
    decoder.SetInvert(c.flag);  // before SetWidth, as the reader does
    ASSERT_EQ(decoder.SetWidth(19 * 8 - 3), 1);
    decoder.Reset();
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1000, produced), 1);
    decoder.Reset();  // the flag survives Reset too
    for (std::size_t y = 0; y < 3; ++y) {
        std::uint8_t line[19] = {};
        ASSERT_EQ(decoder.GetLine(line), 19u);
        for (std::size_t i = 0; i < 19; ++i) {
            const std::uint8_t want = data[y * 19 + i];
            EXPECT_EQ(line[i], c.complemented ? static_cast<std::uint8_t>(~want) : want) << "line " << y << " byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lzw, LzwInversion,
                         ::testing::Values(InvertCase{0, false}, InvertCase{1, true}, InvertCase{2, false},
                                           InvertCase{-1, false}));

TEST(LzwDiscard, DropsTheNewestUndeliveredBytes) {
    Ready r(8);
    const Bytes data = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const Bytes input = tvtest::LzwEncode(data);
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1000, produced), 1);
    r.decoder.Discard(3);
    EXPECT_EQ(Drain(r.decoder), (Bytes{10, 11, 12, 13, 14, 15, 16}));
}

TEST(LzwDiscard, DecodingGoesOnCorrectlyAfterADiscard) {
    // Strings repeated after the drop must not be copied from the dropped
    // (and since overwritten) bytes.
    Ready r(4);
    Bytes data;
    for (int i = 0; i < 40; ++i) data.push_back(static_cast<std::uint8_t>("abcabcabd"[i % 9]));
    const Bytes input = tvtest::LzwEncode(data, tvtest::LzwEncodeOptions{});
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), 12, consumed, 1000, produced), 1);
    const std::uint32_t kept = produced - 5;
    r.decoder.Discard(5);
    Bytes out = Drain(r.decoder);
    ASSERT_EQ(out.size(), kept);
    ASSERT_EQ(r.decoder.Decode(input.data() + consumed, static_cast<std::uint32_t>(input.size()) - consumed, consumed,
                               1000, produced),
              1);
    const Bytes rest = Drain(r.decoder);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + kept), out);
    EXPECT_EQ(Bytes(data.end() - static_cast<std::ptrdiff_t>(rest.size()), data.end()), rest);
}

TEST(LzwDiscard, NeverDropsMoreThanIsHeld) {
    // Dropping 100 of 4 held bytes empties the decoder; later output is
    // delivered as decoded, not from stale ring contents.
    Ready r(8);
    const Bytes first = tvtest::LzwEncode(Bytes{1, 2, 3, 4});
    const Bytes second = tvtest::LzwEncode(Bytes{5, 6});
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(first.data(), static_cast<std::uint32_t>(first.size()), consumed, 1000, produced), 1);
    r.decoder.Discard(100);
    std::uint8_t line[8];
    EXPECT_EQ(r.decoder.GetLine(line), 0u);
    ASSERT_EQ(r.decoder.Decode(second.data(), static_cast<std::uint32_t>(second.size()), consumed, 1000, produced), 1);
    EXPECT_EQ(Drain(r.decoder), (Bytes{5, 6}));
}

TEST(LzwLifecycle, UnpreparedAndFailedDecodersAreSafe) {
    { CLzwDecoder never; }
    {
        CLzwDecoder noRing;
        std::uint8_t line[8];
        EXPECT_EQ(noRing.GetLine(line), 0u);
        // Without a ring there is nowhere to decode to.
        const Bytes input = WorkedCases()[0].input;
        std::uint32_t consumed = 0, produced = 0;
        EXPECT_EQ(noRing.Decode(input.data(), 4, consumed, 10, produced), 0);
    }
    {
        Ready r;
        const Bytes loop = tvtest::PackCodes9({256, 65, 259, 65, 259, 257});
        std::uint32_t consumed = 0, produced = 0;
        EXPECT_EQ(r.decoder.Decode(loop.data(), static_cast<std::uint32_t>(loop.size()), consumed, 1000, produced), 0);
    }
}

TEST(LzwLifecycle, SecondSetWidthStartsAnEmptyRing) {
    Ready r(8);
    const Bytes input = WorkedCases()[1].input;
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1000, produced), 1);
    ASSERT_EQ(r.decoder.SetWidth(16), 1);
    std::uint8_t line[8];
    EXPECT_EQ(r.decoder.GetLine(line), 0u);
    r.decoder.Reset();
    ASSERT_EQ(r.decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1000, produced), 1);
    ASSERT_EQ(r.decoder.GetLine(line), 2u);
    EXPECT_EQ(Bytes(line, line + 2), (Bytes{0x41, 0x42}));
}

}  // namespace
