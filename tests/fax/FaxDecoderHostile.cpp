// Hostile input: random bytes and damaged streams, driven the way the reader
// drives a decoder. Every call must end, keep its counts within the input
// and the line buffer, and never touch memory it does not own (the
// sanitizer build checks the last part).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FaxDecoderBits.h"
#include "fax/FaxDecoder.h"
#include "support/FaxEncoder.h"

namespace {

using faxbits::Bytes;

struct Outcome {
    std::size_t lines = 0;
    bool failed = false;
};

// Feeds `input` in pieces that end at the given cut positions (each piece
// is handed over only once the previous one is used up, as a strip's data
// would be), at most `maxCalls` calls. Checks the contract on every call.
Outcome Drive(CFaxDecoder& decoder, std::uint32_t width, const Bytes& input, std::vector<std::size_t> cuts,
              std::size_t maxCalls, const std::string& what) {
    cuts.push_back(input.size());
    const std::size_t lineBytes = (static_cast<std::size_t>(width) + 7) / 8;
    Bytes line(lineBytes + 8, 0xA5);
    Outcome out;
    std::size_t piece = 0, start = 0, pos = 0;
    for (std::size_t call = 0; call < maxCalls; ++call) {
        const std::size_t end = cuts[piece];
        Bytes chunk(input.begin() + static_cast<long>(start), input.begin() + static_cast<long>(end));
        const std::size_t offset = pos - start;
        std::uint32_t consumed = 0xDEAD, produced = 0xDEAD;
        const std::uint8_t* p = chunk.empty() ? nullptr : chunk.data() + offset;
        if (decoder.Decode(p, static_cast<std::uint32_t>(chunk.size() - offset), consumed, 1, produced) == 0) {
            out.failed = true;
            return out;
        }
        EXPECT_LE(consumed, chunk.size() - offset) << what;
        EXPECT_LE(produced, 2 * lineBytes + 1) << what;
        pos += consumed;
        if (produced > 0) {
            EXPECT_EQ(decoder.GetLine(line.data()), lineBytes) << what;
            EXPECT_EQ(line[lineBytes], 0xA5) << what;
            ++out.lines;
        }
        if (pos == end) {
            if (piece + 1 == cuts.size()) {
                if (produced == 0) break;  // nothing left and nothing made
            } else {
                ++piece;
                start = end;
            }
        }
    }
    return out;
}

struct Config {
    std::uint32_t compression;
    std::uint32_t fillOrder;
    std::uint32_t width;
};

std::vector<Config> Configs() {
    std::vector<Config> all;
    for (std::uint32_t compression : {3u, 4u}) {
        for (std::uint32_t width : {1u, 5u, 8u, 13u, 100u, 1728u, 5000u}) {
            all.push_back({compression, width % 2 == 0 ? 2u : 1u, width});
        }
    }
    return all;
}

TEST(FaxHostile, RandomBytes) {
    faxenc::Rng rng(20240611);
    for (const Config& c : Configs()) {
        for (int round = 0; round < 150; ++round) {
            Bytes input(rng.Below(300));
            // Mostly small values so that long zero runs and EOLs occur often.
            for (auto& b : input) b = static_cast<std::uint8_t>(rng.Below(4) == 0 ? rng.Below(256) : rng.Below(4));
            CFaxDecoder decoder(c.compression, c.fillOrder, 1 + rng.Below(50));
            decoder.SetInvert(static_cast<std::int32_t>(rng.Below(2)));
            ASSERT_EQ(decoder.SetWidth(c.width), 1);
            decoder.Reset();
            std::vector<std::size_t> cuts;
            if (!input.empty() && rng.Below(2) == 0) cuts.push_back(rng.Below(static_cast<std::uint32_t>(input.size())));
            const std::string what = "compression " + std::to_string(c.compression) + " width " +
                                     std::to_string(c.width) + " round " + std::to_string(round);
            Drive(decoder, c.width, input, cuts, 400, what);
        }
    }
}

TEST(FaxHostile, DamagedStreams) {
    // Real streams with flipped bits, cut short, or cut into pieces; the
    // lines before the damage must still come out right.
    faxenc::Rng rng(77);
    for (const Config& c : Configs()) {
        if (c.width > 2000) continue;
        const faxenc::Lines rows = faxenc::MakeImage(faxenc::Content::Text, c.width, 24, c.width);
        const Bytes clean = c.compression == 4 ? faxenc::EncodeG4(rows, c.width, true, c.fillOrder == 2)
                                               : faxenc::EncodeG3(rows, c.width, true, c.fillOrder == 2);
        for (int round = 0; round < 100; ++round) {
            Bytes input = clean;
            const std::uint32_t flips = 1 + rng.Below(4);
            for (std::uint32_t i = 0; i < flips && !input.empty(); ++i) {
                input[rng.Below(static_cast<std::uint32_t>(input.size()))] ^=
                    static_cast<std::uint8_t>(1u << rng.Below(8));
            }
            if (rng.Below(3) == 0) input.resize(rng.Below(static_cast<std::uint32_t>(input.size()) + 1));
            std::vector<std::size_t> cuts;
            for (std::uint32_t k = rng.Below(3); k > 0 && !input.empty(); --k) {
                cuts.push_back(rng.Below(static_cast<std::uint32_t>(input.size())));
            }
            std::sort(cuts.begin(), cuts.end());
            CFaxDecoder decoder(c.compression, c.fillOrder, static_cast<std::uint32_t>(rows.size()));
            ASSERT_EQ(decoder.SetWidth(c.width), 1);
            decoder.Reset();
            Drive(decoder, c.width, input, cuts, 200,
                  "compression " + std::to_string(c.compression) + " width " + std::to_string(c.width));
        }
    }
}

TEST(FaxHostile, CallsAfterAFailureStayInBounds) {
    // After a failed call the state is undefined until Reset, but further
    // calls must still be safe.
    const Bytes bad = faxbits::BitWriter().Put("0000011 0000011 0000011").Align().Put("01010101 00000000").Get();
    for (std::uint32_t compression : {3u, 4u}) {
        CFaxDecoder decoder(compression, 1, 10);
        ASSERT_EQ(decoder.SetWidth(10), 1);
        decoder.Reset();
        Drive(decoder, 10, bad, {}, 50, "after failure");
        for (std::size_t from = 0; from < bad.size(); ++from) {
            std::uint32_t consumed = 0, produced = 0;
            if (decoder.Decode(bad.data() + from, static_cast<std::uint32_t>(bad.size() - from), consumed, 1,
                               produced) != 0) {
                EXPECT_LE(consumed, bad.size() - from);
            }
        }
        decoder.Reset();
        const Bytes v0 = {0x80};
        std::uint32_t consumed = 0, produced = 0;
        if (compression == 4) {
            EXPECT_EQ(decoder.Decode(v0.data(), 1, consumed, 1, produced), 1);
            EXPECT_EQ(produced, 2u);
        }
    }
}

TEST(FaxHostile, ManyCallsWithoutGetLineStayInTheBuffer) {
    // The reader always fetches a line, but a caller that does not must not
    // make rendering run off the line buffer.
    for (std::uint32_t compression : {3u, 4u}) {
        CFaxDecoder decoder(compression, 1, 100000);
        ASSERT_EQ(decoder.SetWidth(16), 1);
        decoder.Reset();
        const Bytes line = compression == 4 ? faxbits::BitWriter().Repeat("1", 64).Get()
                                            : faxbits::BitWriter().Put("00110101 0000010111").AlignedEol().Get();
        std::size_t pos = 0;
        for (int call = 0; call < 64; ++call) {
            std::uint32_t consumed = 0, produced = 0;
            const Bytes& in = line;
            const std::size_t from = compression == 4 ? pos : 0;
            const int ok = decoder.Decode(in.data() + from, static_cast<std::uint32_t>(in.size() - from), consumed, 1,
                                          produced);
            if (ok == 0) break;
            pos += consumed;
            EXPECT_LE(decoder.GetOutBytes(), 4u);
        }
        Bytes out(2);
        EXPECT_EQ(decoder.GetLine(out.data()), 2u);
    }
}

}  // namespace
