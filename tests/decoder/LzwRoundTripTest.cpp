// Round trips through the test encoder: whatever the content and however
// the input is cut into calls and the output asked for, decoding gives back
// exactly the bytes that were encoded.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "LzwTestUtil.h"
#include "support/LzwEncoder.h"

using lzwtest::Bytes;

namespace {

struct Content {
    const char* name;
    Bytes (*make)(std::mt19937&);
};

Bytes Noise(std::mt19937& rng) { return lzwtest::RandomBytes(120000, rng); }
Bytes TwoSymbols(std::mt19937& rng) { return lzwtest::RandomBytes(150000, rng, 2); }
// Rows of white with short black marks, the usual bi-level page.
Bytes Sparse(std::mt19937& rng) {
    Bytes b(216 * 900, 0);
    for (std::size_t i = 0; i < b.size(); i += 1 + rng() % 400) b[i] = static_cast<std::uint8_t>(1u << (rng() % 8));
    return b;
}
// One value throughout: strings grow by one byte per code, so they get
// long and the not-yet-defined code turns up constantly.
Bytes Flat(std::mt19937&) { return Bytes(300000, 0xFF); }
Bytes Pattern(std::mt19937&) {
    Bytes b(200000);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>((i * i) >> 5);
    return b;
}
Bytes Tiny(std::mt19937& rng) { return lzwtest::RandomBytes(1 + rng() % 3, rng); }
Bytes Empty(std::mt19937&) { return Bytes(); }

const Content kContents[] = {{"noise", Noise},     {"two_symbols", TwoSymbols}, {"sparse", Sparse}, {"flat", Flat},
                             {"pattern", Pattern}, {"tiny", Tiny},              {"empty", Empty}};

struct Slicing {
    const char* name;
    std::uint32_t maxChunk;   // 0: the whole rest of the input each call
    std::uint32_t maxWanted;
};

const Slicing kSlicings[] = {{"whole_large_wants", 0, 100000},
                             {"whole_small_wants", 0, 7},
                             {"chunks_of_1_to_3", 3, 50},
                             {"random_chunks", 997, 300}};

class LzwRoundTrip : public ::testing::TestWithParam<std::tuple<Content, Slicing>> {};

TEST_P(LzwRoundTrip, GivesBackTheEncodedBytes) {
    const Content content = std::get<0>(GetParam());
    const Slicing slicing = std::get<1>(GetParam());
    std::mt19937 rng(static_cast<std::uint32_t>(std::hash<std::string>()(std::string(content.name) + slicing.name)));
    const Bytes data = content.make(rng);
    const Bytes input = tvtest::LzwEncode(data);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(1 + rng() % 4000), 1);
    decoder.Reset();
    Bytes out;
    ASSERT_TRUE(lzwtest::DecodeInPieces(decoder, input, rng, slicing.maxChunk, slicing.maxWanted, out));
    ASSERT_EQ(out.size(), data.size());
    EXPECT_TRUE(out == data);
}

INSTANTIATE_TEST_SUITE_P(Lzw, LzwRoundTrip, ::testing::Combine(::testing::ValuesIn(kContents), ::testing::ValuesIn(kSlicings)),
                         [](const ::testing::TestParamInfo<std::tuple<Content, Slicing>>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

TEST(LzwRoundTripLines, ManyStripsThroughOneDecoderLikeTheReader) {
    // Strips of different contents and sizes, each ending with
    // EndOfInformation, decoded line by line with Reset between strips;
    // lines straddle strip ends, where the output moves back to the front.
    std::mt19937 rng(77);
    for (std::uint32_t lineSize : {1u, 13u, 216u, 310u, 4097u}) {
        CLzwDecoder decoder;
        decoder.SetInvert(0);
        ASSERT_EQ(decoder.SetWidth(lineSize * 8), 1);
        decoder.Reset();
        Bytes all, out;
        std::uint32_t buffered = 0;
        Bytes line(lineSize);
        for (int strip = 0; strip < 12; ++strip) {
            const std::size_t n = rng() % 40000;
            Bytes data = lzwtest::RandomBytes(n, rng, 1 + rng() % 3);
            all.insert(all.end(), data.begin(), data.end());
            const Bytes input = tvtest::LzwEncode(data);
            decoder.Reset();
            std::size_t pos = 0;
            while (pos < input.size()) {
                std::uint32_t consumed = 0, produced = 0;
                ASSERT_EQ(decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size() - pos), consumed,
                                         lineSize - buffered, produced),
                          1);
                pos += consumed;
                buffered += produced;
                if (buffered >= lineSize) {
                    ASSERT_EQ(decoder.GetLine(line.data()), lineSize);
                    out.insert(out.end(), line.begin(), line.end());
                    buffered -= lineSize;
                }
            }
        }
        const Bytes rest = lzwtest::Drain(decoder);
        out.insert(out.end(), rest.begin(), rest.end());
        EXPECT_GT(all.size(), 65536u * 2);
        EXPECT_TRUE(out == all) << "line size " << lineSize;
    }
}

TEST(LzwRoundTripLines, RunsThroughAllFourWidthsAndSeveralClears) {
    // Hand-check of the encoder's output: count Clear codes by replaying the
    // width rule while reading the codes back.
    std::mt19937 rng(5);
    const Bytes data = lzwtest::RandomBytes(100000, rng, 16);
    const Bytes input = tvtest::LzwEncode(data);
    std::uint32_t width = 9, next = 258, clears = 0, maxWidth = 9;
    bool first = true;
    std::size_t bit = 0;
    for (;;) {
        std::uint32_t code = 0;
        for (std::uint32_t i = 0; i < width; ++i, ++bit)
            code = (code << 1) | ((input[bit / 8] >> (7 - bit % 8)) & 1u);
        if (code == 257) break;
        if (code == 256) {
            ++clears;
            width = 9;
            next = 258;
            first = true;
            continue;
        }
        if (!first && next < 4096 && ++next == (1u << width) - 1 && width < 12) ++width;
        first = false;
        if (width > maxWidth) maxWidth = width;
    }
    EXPECT_GE(clears, 4u);
    EXPECT_EQ(maxWidth, 12u);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(100 * 8), 1);
    decoder.Reset();
    Bytes out;
    ASSERT_TRUE(lzwtest::DecodeLines(decoder, input, 100, data.size() / 100, out));
    EXPECT_TRUE(out == data);
}

}  // namespace
