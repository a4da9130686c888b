// Damaged and hostile LZW streams: table overflow, looping chains, codes
// that are not yet defined, lines wider than the smallest buffer, callers
// that want more than the buffer can hold; and a differential check of the
// block-copy decoder against a plain byte-at-a-time model on random data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "LzwTestUtil.h"
#include "support/LzwEncoder.h"

using lzwtest::Bytes;
using lzwtest::Drain;

namespace {

Bytes DecodeAll(const Bytes& input, std::uint32_t lineBytes = 64) {
    CLzwDecoder decoder;
    EXPECT_EQ(decoder.SetWidth(lineBytes * 8), 1);
    decoder.Reset();
    std::uint32_t consumed = 0, produced = 0;
    EXPECT_EQ(decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 0xFFFFFFFFu, produced),
              1);
    EXPECT_EQ(consumed, input.size());
    return Drain(decoder);
}

TEST(LzwTableFull, StreamWithoutClearKeepsDecodingWithTheFullTable) {
    // Long enough to make every entry up to 4095 and then go on for
    // thousands of codes; the encoder stops adding entries once full.
    std::mt19937 rng(11);
    const Bytes data = lzwtest::RandomBytes(400000, rng, 3);
    tvtest::LzwEncodeOptions noClear;
    noClear.clearWhenFull = false;
    const Bytes input = tvtest::LzwEncode(data, noClear);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(200 * 8), 1);
    decoder.Reset();
    Bytes out;
    ASSERT_TRUE(lzwtest::DecodeLines(decoder, input, 200, data.size() / 200, out));
    EXPECT_EQ(out, data);
}

TEST(LzwTableFull, StringsMadeLongBeforeStillDecodeAfterTheOutputHasMovedOn) {
    // A distinctive stretch first, whose strings enter the table; then so
    // much two-symbol filler that their first copies are long gone from
    // any buffer; then the stretch again, coded with those early strings.
    std::mt19937 rng(13);
    Bytes stretch(6000);
    for (std::size_t i = 0; i < stretch.size(); ++i) {
        stretch[i] = static_cast<std::uint8_t>("tiffview"[i % 8] + i / 600);
    }
    Bytes data = stretch;
    const Bytes filler = lzwtest::RandomBytes(700000, rng, 2);
    data.insert(data.end(), filler.begin(), filler.end());
    for (int i = 0; i < 3; ++i) data.insert(data.end(), stretch.begin(), stretch.end());
    tvtest::LzwEncodeOptions noClear;
    noClear.clearWhenFull = false;
    const Bytes input = tvtest::LzwEncode(data, noClear);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(100 * 8), 1);
    decoder.Reset();
    Bytes out;
    ASSERT_TRUE(lzwtest::DecodeLines(decoder, input, 100, (data.size() + 99) / 100, out));
    EXPECT_TRUE(out == data);
}

TEST(LzwTableFull, FullTableIsSharedByTheFollowingStreamOnlyAfterClear) {
    // A full table followed by a Clear: the decoder starts over with 9-bit
    // codes, which a table stuck at 12 bits would misread.
    std::mt19937 rng(12);
    const Bytes data = lzwtest::RandomBytes(30000, rng, 2);
    const Bytes input = tvtest::LzwEncode(data);  // clears when full
    EXPECT_EQ(DecodeAll(input, 4096), data);
}

struct LoopCase {
    const char* name;
    std::vector<std::uint32_t> codes;
};

class LzwLoopingChain : public ::testing::TestWithParam<LoopCase> {};

TEST_P(LzwLoopingChain, FailsTheDecode) {
    const Bytes input = tvtest::PackCodes9(GetParam().codes);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(64), 1);
    decoder.Reset();
    std::uint32_t consumed = 0, produced = 0;
    EXPECT_EQ(decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 100000, produced), 0);
    // Whatever the chain wrote stays inside the buffer; the decoder can be
    // reset and used again.
    decoder.Reset();
    const Bytes good = tvtest::PackCodes9({256, 65, 66, 257});
    decoder.Discard(0xFFFFFFFFu);
    ASSERT_EQ(decoder.Decode(good.data(), static_cast<std::uint32_t>(good.size()), consumed, 100, produced), 1);
    EXPECT_EQ(Drain(decoder), (Bytes{0x41, 0x42}));
}

// 259 before it exists makes 258 and leaves 259 as the previous code, so
// the next entry, 259, names itself as its prefix. With 261 in place of 259
// and two more codes, 259 and 261 name each other. A Clear keeps the
// prefixes, so a first code can pick up a looping entry for the next
// not-yet-defined code to walk.
INSTANTIATE_TEST_SUITE_P(
    Lzw, LzwLoopingChain,
    ::testing::Values(LoopCase{"self_prefix", {256, 65, 259, 65, 259, 257}},
                      LoopCase{"self_prefix_after_clear", {256, 65, 259, 65, 256, 259, 258, 257}},
                      LoopCase{"two_step", {256, 65, 261, 66, 259, 65, 261, 257}},
                      LoopCase{"two_step_after_clear", {256, 65, 261, 66, 259, 65, 256, 261, 258, 257}}),
    [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

struct UndefinedCase {
    const char* name;
    std::vector<std::uint32_t> codes;
    Bytes output;
};

class LzwUndefinedCode : public ::testing::TestWithParam<UndefinedCase> {};

TEST_P(LzwUndefinedCode, DecodesAsDocumented) { EXPECT_EQ(DecodeAll(tvtest::PackCodes9(GetParam().codes)), GetParam().output); }

INSTANTIATE_TEST_SUITE_P(
    Lzw, LzwUndefinedCode,
    ::testing::Values(
        // A code beyond NextCode is taken as NextCode.
        UndefinedCase{"beyond_next", {256, 65, 300, 257}, {0x41, 0x41, 0x41}},
        UndefinedCase{"at_next", {256, 65, 258, 257}, {0x41, 0x41, 0x41}},
        // After that, 258 holds 41 41 and is still usable.
        UndefinedCase{"beyond_then_defined", {256, 65, 400, 258, 257}, {0x41, 0x41, 0x41, 0x41, 0x41}},
        // A first code that is not a single byte is written as its low byte.
        UndefinedCase{"multi_byte_first", {256, 300, 257}, {0x2C}},
        UndefinedCase{"first_after_reset_without_clear", {66, 67, 258, 257}, {0x42, 0x43, 0x42, 0x43}}),
    [](const ::testing::TestParamInfo<UndefinedCase>& info) { return std::string(info.param.name); });

TEST(LzwWideLines, LinesUpToWiderThanTheWholeBufferDecodeIntact) {
    // Around the widths where the output buffer stops being a fixed size
    // (about 120 KiB lines) and beyond its smallest size altogether.
    std::mt19937 rng(21);
    for (std::uint32_t lineBytes : {61441u, 122500u, 122700u, 300001u}) {
        const std::size_t lines = 3;
        Bytes data = lzwtest::RandomBytes(lineBytes * lines, rng, 4);
        for (std::size_t i = 0; i < data.size(); i += 1 + rng() % 5000) data[i] = 0;  // some long strings
        const Bytes input = tvtest::LzwEncode(data);
        CLzwDecoder decoder;
        ASSERT_EQ(decoder.SetWidth(lineBytes * 8 - 5), 1);
        decoder.Reset();
        Bytes out;
        ASSERT_TRUE(lzwtest::DecodeLines(decoder, input, lineBytes, lines, out)) << lineBytes;
        EXPECT_TRUE(out == data) << "line bytes " << lineBytes;
    }
}

TEST(LzwWideLines, ExtremeWidthIsEitherServedOrRefused) {
    // The widest line the interface can describe: the buffer is sized for
    // it or SetWidth reports that it cannot be obtained; never a crash.
    CLzwDecoder decoder;
    const int ok = decoder.SetWidth(0xFFFFFFFFu);
    decoder.Reset();
    if (!ok) return;
    const Bytes input = tvtest::PackCodes9({256, 65, 66, 258, 257});
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 100, produced), 1);
    EXPECT_EQ(produced, 4u);
    std::uint8_t line[8] = {};
    ASSERT_EQ(decoder.GetLine(line), 4u);  // all there is, not a whole line
    EXPECT_EQ(Bytes(line, line + 4), (Bytes{0x41, 0x42, 0x41, 0x42}));
}

TEST(LzwRoomGuard, NoCallOverrunsUndeliveredBytesWhateverIsWanted) {
    // A call that wants everything stops before the buffer would overflow;
    // draining and calling again yields the whole stream.
    std::mt19937 rng(31);
    Bytes data(1 << 20, 0);
    for (std::size_t i = 0; i < data.size(); i += 1 + rng() % 3000) data[i] = static_cast<std::uint8_t>(rng());
    const Bytes input = tvtest::LzwEncode(data);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(216 * 8), 1);
    decoder.Reset();
    Bytes out;
    std::size_t pos = 0;
    int calls = 0;
    while (pos < input.size() && calls < 10000) {
        std::uint32_t consumed = 0, produced = 0;
        ASSERT_EQ(decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size() - pos), consumed,
                                 0xFFFFFFFFu, produced),
                  1);
        pos += consumed;
        ++calls;
        // Deliver only part of it: undelivered bytes carry into the next call.
        std::uint8_t line[216];
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t n = decoder.GetLine(line);
            out.insert(out.end(), line, line + n);
        }
    }
    const Bytes rest = Drain(decoder);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_GT(calls, 10);  // the guard really stopped calls
    EXPECT_TRUE(out == data);
}

TEST(LzwRoomGuard, LinesLeftUndeliveredSurviveClearCodesAndAFullBuffer) {
    // Each call asks for several lines and only some are fetched, so much
    // output is still undelivered whenever a Clear code or a full buffer
    // makes the decoder move its bytes; every byte must come out in order.
    std::mt19937 rng(41);
    const Bytes data = lzwtest::RandomBytes(600000, rng, 12);
    const Bytes input = tvtest::LzwEncode(data);  // a Clear every 4094 entries
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(100 * 8), 1);
    decoder.Reset();
    Bytes out;
    std::uint8_t line[100];
    std::size_t pos = 0;
    int held = 0;
    while (pos < input.size()) {
        std::uint32_t consumed = 0, produced = 0;
        ASSERT_EQ(decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size() - pos), consumed, 700,
                                 produced),
                  1);
        pos += consumed;
        if (produced < 700 && pos < input.size()) ++held;  // stopped for room, not for want of input
        for (int i = 0; i < (consumed == 0 ? 200 : 3); ++i) {
            const std::uint32_t n = decoder.GetLine(line);
            out.insert(out.end(), line, line + n);
        }
    }
    const Bytes rest = Drain(decoder);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_GT(held, 100);  // the buffer really filled up
    EXPECT_TRUE(out == data);
}

TEST(LzwRoomGuard, FullBufferTakesNothing) {
    // With the buffer full of undelivered output a call takes no input and
    // makes nothing; after GetLine it carries on where it stopped.
    const Bytes data(1 << 21, 0x55);
    const Bytes input = tvtest::LzwEncode(data);
    CLzwDecoder decoder;
    ASSERT_EQ(decoder.SetWidth(8 * 8), 1);
    decoder.Reset();
    std::uint32_t consumed = 0, produced = 0;
    ASSERT_EQ(decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 0xFFFFFFFFu, produced), 1);
    const std::size_t pos = consumed;
    ASSERT_LT(pos, input.size());
    std::uint32_t again = 99, more = 99;
    ASSERT_EQ(decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size() - pos), again, 0xFFFFFFFFu,
                             more),
              1);
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(more, 0u);
    Bytes out = Drain(decoder);
    std::size_t at = pos;
    for (int i = 0; at < input.size() && i < 1000; ++i) {
        ASSERT_EQ(decoder.Decode(input.data() + at, static_cast<std::uint32_t>(input.size() - at), again, 0xFFFFFFFFu,
                                 more),
                  1);
        at += again;
        const Bytes rest = Drain(decoder);
        out.insert(out.end(), rest.begin(), rest.end());
    }
    EXPECT_TRUE(out == data);
}

// The decoding rules, one input byte at a time, strings walked through
// their prefix chains into a 64 KiB ring with 16-bit positions, and a full
// table that stops growing. Independent of the block-copy machinery.
class PlainLzw {
public:
    explicit PlainLzw(std::uint32_t lineSize) : lineSize_(lineSize) { Reset(); }
    void Reset() {
        oldCode_ = 4096;
        ClearTable();
        bitBuffer_ = 0;
        bitCount_ = 0;
        for (std::uint32_t c = 0; c < 258; ++c) prefix_[c] = 4096;
    }
    bool Decode(const std::uint8_t* in, std::uint32_t n, std::uint32_t& consumed, std::uint32_t wanted,
                std::uint32_t& produced) {
        produced = 0;
        if (n == 0) {
            consumed = 0;
            return true;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            bitBuffer_ += static_cast<std::uint32_t>(in[i]) << (24 - bitCount_);
            bitCount_ += 8;
            if (bitCount_ < width_) continue;
            const std::uint32_t code = bitBuffer_ >> (32 - width_);
            bitCount_ -= width_;
            bitBuffer_ <<= width_;
            if (code == 257) {
                Reset();
                consumed = n;
                return true;
            }
            const std::uint16_t before = head_;
            if (!Process(code)) return false;
            produced += static_cast<std::uint16_t>(head_ - before);
            if (produced >= wanted) {
                consumed = i + 1;
                return true;
            }
        }
        consumed = n;
        return true;
    }
    std::uint32_t GetLine(std::uint8_t* line) {
        const std::uint32_t pending = static_cast<std::uint16_t>(head_ - tail_);
        const std::uint32_t k = pending < lineSize_ ? pending : lineSize_;
        for (std::uint32_t i = 0; i < k; ++i) line[i] = ring_[tail_++];
        return k;
    }

private:
    void ClearTable() {
        width_ = 9;
        nextCode_ = 258;
        oldCode_ = 4096;
        for (auto& s : strLen_) s = 0;
    }
    bool Write(std::uint16_t end, std::uint32_t k) {
        std::uint32_t i = 0;
        while (k > 257 && k < 4096) {
            ring_[static_cast<std::uint16_t>(end - i)] = static_cast<std::uint8_t>(suffix_[k]);
            if (++i == 4096) return false;
            k = prefix_[k];
        }
        ring_[static_cast<std::uint16_t>(end - i)] = static_cast<std::uint8_t>(k);
        first_ = static_cast<std::uint8_t>(k);
        return true;
    }
    bool Process(std::uint32_t code) {
        if (code == 256) {
            ClearTable();
            return true;
        }
        if (oldCode_ == 4096) {
            ring_[head_++] = static_cast<std::uint8_t>(code);
            first_ = static_cast<std::uint8_t>(code);
            oldCode_ = code;
            return true;
        }
        if (code >= nextCode_) {
            const std::uint32_t l = strLen_[oldCode_] + 1u;
            ring_[static_cast<std::uint16_t>(head_ + l)] = first_;
            if (!Write(static_cast<std::uint16_t>(head_ + l - 1), oldCode_)) return false;
            head_ = static_cast<std::uint16_t>(head_ + l + 1);
        } else {
            if (!Write(static_cast<std::uint16_t>(head_ + strLen_[code]), code)) return false;
            head_ = static_cast<std::uint16_t>(head_ + strLen_[code] + 1);
        }
        if (nextCode_ < 4096) {
            prefix_[nextCode_] = oldCode_;
            suffix_[nextCode_] = first_;
            strLen_[nextCode_] = static_cast<std::uint16_t>(strLen_[oldCode_] + 1);
            ++nextCode_;
            if (nextCode_ == (1u << width_) - 1 && width_ < 12) ++width_;
        }
        oldCode_ = code;
        return true;
    }

    std::uint32_t lineSize_;
    std::uint8_t ring_[65536] = {};
    std::uint16_t head_ = 0, tail_ = 0;
    std::uint32_t bitBuffer_ = 0, bitCount_ = 0, oldCode_ = 4096, nextCode_ = 258, width_ = 9;
    std::uint8_t first_ = 0;
    std::uint32_t prefix_[4096] = {}, suffix_[4096] = {};
    std::uint16_t strLen_[4096] = {};
};

// Streams of every sort of damage: random code sequences that refer to
// undefined and stale entries, valid streams with flipped bits, noise.
Bytes DamagedStream(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: {
            std::vector<std::uint32_t> codes = {256};
            const std::size_t n = 50 + rng() % 3000;
            std::uint32_t next = 258;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t r = rng() % 100;
                std::uint32_t c;
                if (r < 50) c = rng() % 4;
                else if (r < 85) c = 258 + rng() % (next - 257);
                else if (r < 98) c = 258 + rng() % 254;
                else c = 256;
                if (c == 256) next = 258;
                else if (next < 511) ++next;
                codes.push_back(c);
            }
            return tvtest::PackCodes9(codes);
        }
        case 1: {
            Bytes data = lzwtest::RandomBytes(500 + rng() % 20000, rng, 1 + rng() % 4);
            Bytes s = tvtest::LzwEncode(data);
            const std::size_t flips = 1 + rng() % 4;
            for (std::size_t i = 0; i < flips; ++i) s[rng() % s.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            return s;
        }
        case 2: {
            // A stream that goes stale after a Clear: long strings first,
            // then codes from the old table.
            Bytes data(5000 + rng() % 5000, 0);
            Bytes s = tvtest::LzwEncode(data);
            s.pop_back();
            const Bytes tail = lzwtest::RandomBytes(200 + rng() % 2000, rng);
            s.insert(s.end(), tail.begin(), tail.end());
            return s;
        }
        default:
            return lzwtest::RandomBytes(1 + rng() % 6000, rng);
    }
}

TEST(LzwDifferential, MatchesThePlainModelOnDamagedStreams) {
    std::mt19937 rng(2024);
    int failures = 0, tangled = 0;
    for (int round = 0; round < 600; ++round) {
        const Bytes input = DamagedStream(rng);
        const std::uint32_t lineSize = 1 + rng() % 300;
        CLzwDecoder decoder;
        ASSERT_EQ(decoder.SetWidth(lineSize * 8), 1);
        decoder.Reset();
        PlainLzw plain(lineSize);
        std::size_t pos = 0, chunkEnd = 0;
        std::uint32_t buffered = 0;
        std::vector<std::uint8_t> a(lineSize), b(lineSize);
        for (int call = 0; pos < input.size() && call < 100000; ++call) {
            if (pos == chunkEnd) chunkEnd = std::min(input.size(), pos + 1 + rng() % 700);
            const auto n = static_cast<std::uint32_t>(chunkEnd - pos);
            const std::uint32_t wanted = lineSize - buffered;
            std::uint32_t c1 = 0, p1 = 0, c2 = 0, p2 = 0;
            const int ok1 = decoder.Decode(input.data() + pos, n, c1, wanted, p1);
            const bool ok2 = plain.Decode(input.data() + pos, n, c2, wanted, p2);
            ASSERT_EQ(ok1 != 0, ok2) << "round " << round << " call " << call;
            if (!ok2) {
                ++failures;
                break;
            }
            ASSERT_EQ(c1, c2) << "round " << round << " call " << call;
            ASSERT_EQ(p1, p2) << "round " << round << " call " << call;
            pos += c1;
            buffered += p1;
            if (buffered >= lineSize || pos == chunkEnd) {
                const std::uint32_t k1 = decoder.GetLine(a.data());
                const std::uint32_t k2 = plain.GetLine(b.data());
                ASSERT_EQ(k1, k2);
                ASSERT_TRUE(std::equal(a.begin(), a.begin() + k1, b.begin())) << "round " << round << " call " << call;
                buffered = buffered > k1 ? buffered - k1 : 0;
            }
        }
        if (input.size() > 0 && input[0] != 0x80) ++tangled;
    }
    // The damage must really reach the failure path, not only clean data.
    EXPECT_GT(failures, 5);
    EXPECT_GT(tangled, 50);
}

}  // namespace
