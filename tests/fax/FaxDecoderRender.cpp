// Rendering toggled lines into packed bytes, and the decoder's output side: GetLine,
// inversion, Discard, and the object's life cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "FaxDecoderBits.h"
#include "fax/FaxDecoder.h"

namespace {

using faxbits::BitWriter;
using faxbits::Bytes;

// Renders runs (white first) through the toggles of their changing
// elements, which it must leave all 0.
bool RenderRuns(const std::vector<std::uint32_t>& runs, std::uint8_t* dest, std::size_t capacity,
                std::uint32_t& bytes, std::uint32_t& bits) {
    std::uint64_t total = 0;
    for (std::uint32_t r : runs) total += r;
    std::vector<std::uint64_t> toggles(static_cast<std::size_t>(total / 64 + 1), 0);
    std::uint64_t at = 0;
    for (std::uint32_t r : runs) ToggleFaxElement(toggles.data(), at += r);
    const bool fits = RenderFaxToggles(toggles.data(), total, dest, capacity, bytes, bits);
    EXPECT_EQ(std::count(toggles.begin(), toggles.end(), 0u), static_cast<long>(toggles.size()))
        << "toggles left behind";
    return fits;
}

struct RenderCase {
    const char* what;
    std::vector<std::uint32_t> runs;
    Bytes bytes;  // whole bytes, then the trailing partial byte as written
    std::uint32_t outBytes;
    std::uint32_t outBits;
};

TEST(FaxRender, RunsToPackedBytes) {
    const RenderCase cases[] = {
        {"3 2 3", {3, 2, 3}, {0x18, 0x00}, 1, 0},
        {"black first", {0, 8}, {0xFF, 0x00}, 1, 0},
        {"0 12 4", {0, 12, 4}, {0xFF, 0xF0, 0x00}, 2, 0},
        {"single pixels", {1, 1, 1, 1, 1, 1, 1, 1}, {0x55, 0x00}, 1, 0},
        {"10 white", {10}, {0x00, 0x00}, 1, 2},
        {"4 6", {4, 6}, {0x0F, 0xC0}, 1, 2},
        {"zero runs keep the colours", {2, 0, 0, 3, 3}, {0x38, 0x00}, 1, 0},
        {"long black run", {3, 30, 3}, {0x1F, 0xFF, 0xFF, 0xFF, 0x80}, 4, 4},
        {"long white run", {1, 1, 70, 1}, {0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}, 9, 1},
        {"nothing", {}, {0x00}, 0, 0},
    };
    for (const RenderCase& c : cases) {
        Bytes buf(32, 0xA5);
        std::uint32_t bytes = 99, bits = 99;
        EXPECT_TRUE(RenderRuns(c.runs, buf.data(), buf.size(),
                                  bytes, bits))
            << c.what;
        EXPECT_EQ(bytes, c.outBytes) << c.what;
        EXPECT_EQ(bits, c.outBits) << c.what;
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>(c.bytes.size())), c.bytes) << c.what;
        EXPECT_EQ(buf[c.bytes.size()], 0xA5) << c.what << ": wrote past the trailing byte";
    }
}

TEST(FaxRender, NeverWritesBeyondItsRoom) {
    struct Cut {
        const char* what;
        std::vector<std::uint32_t> runs;
        std::size_t room;
        bool fits;
        std::uint32_t outBytes;
    };
    const Cut cuts[] = {
        {"exactly full: no trailing byte", {8, 8}, 2, true, 2},
        {"one pixel over", {8, 9}, 2, false, 0},
        {"long white run", {1u << 22}, 3, false, 0},
        {"long black run", {1, 1u << 22}, 3, false, 0},
        {"many runs", std::vector<std::uint32_t>(100, 7), 4, false, 0},
        {"runs that only together overflow", std::vector<std::uint32_t>(3, 11), 4, false, 0},
        {"no room, no pixels", {0, 0}, 0, true, 0},
    };
    for (const Cut& c : cuts) {
        Bytes buf(c.room + 8, 0x5A);
        for (std::size_t i = c.room; i < buf.size(); ++i) buf[i] = 0xA5;
        std::uint32_t bytes = 0, bits = 0;
        EXPECT_EQ(RenderRuns(c.runs, buf.data(), c.room, bytes,
                                bits),
                  c.fits)
            << c.what;
        EXPECT_LE(bytes, c.room) << c.what;
        EXPECT_EQ(bytes, c.outBytes) << c.what;
        for (std::size_t i = c.room; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xA5) << c.what << " byte " << i;
        if (!c.fits) {
            Bytes untouched(c.room, 0x5A);
            untouched.resize(c.room + 8, 0xA5);
            EXPECT_EQ(buf, untouched) << c.what << ": wrote though it did not fit";
        }
    }
}

TEST(FaxRender, MatchesPixelByPixelRenderingOnRandomRuns) {
    // Runs of every size class (within a byte, across bytes and 64-pixel
    // words, zero-length) at random offsets and with tight rooms, against a
    // plain per-pixel reference that writes exactly the line's bytes.
    std::uint64_t seed = 12345;
    auto next = [&seed](std::uint32_t bound) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>((seed >> 33) % bound);
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint32_t> runs(next(12));
        for (auto& r : runs) {
            const std::uint32_t kind = next(4);
            r = kind == 0 ? 0 : kind == 1 ? next(8) : kind == 2 ? next(70) : next(300);
        }
        std::uint64_t total = 0;
        for (std::uint32_t r : runs) total += r;
        const std::size_t room = total / 8 + next(3) + (next(4) == 0 ? 0 : 10);
        Bytes expected(room + 16, 0x5A);
        const bool fits = total <= room * 8;
        if (fits) {
            const std::size_t written = std::min<std::size_t>(total / 8 + 1, room);
            std::fill(expected.begin(), expected.begin() + static_cast<long>(written), 0);
            std::uint64_t x = 0;
            for (std::size_t i = 0; i < runs.size(); ++i) {
                for (std::uint32_t p = 0; p < runs[i]; ++p, ++x) {
                    if (i % 2 == 1) expected[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
                }
            }
        }
        Bytes buf(room + 16, 0x5A);
        std::uint32_t bytes = 0, bits = 0;
        ASSERT_EQ(RenderRuns(runs, buf.data(), room, bytes, bits),
                  fits)
            << "round " << round;
        ASSERT_EQ(buf, expected) << "round " << round;
        if (fits) {
            ASSERT_EQ(bytes, total / 8) << "round " << round;
            ASSERT_EQ(bits, total % 8) << "round " << round;
        }
    }
}

// ---------------------------------------------------------------------------
// GetLine, inversion, Discard.

// One two-dimensional line of width 8 coded as horizontal white 3, black 2,
// then V0 for the last white 3: pixels 0x18.
Bytes Line0x18() { return BitWriter().Put("001 1000 11").Put("1").Get(); }

TEST(FaxGetLine, DeliversTheLineThenClearsIt) {
    for (int invert : {0, 1}) {
        CFaxDecoder decoder(4, 1, 10);
        decoder.SetInvert(invert);
        ASSERT_EQ(decoder.SetWidth(8), 1);
        decoder.Reset();
        const faxbits::Call c = faxbits::DecodeOnce(decoder, Line0x18());
        ASSERT_EQ(c.ok, 1);
        EXPECT_EQ(c.produced, 1u);
        Bytes out(3, 0xA5);
        EXPECT_EQ(decoder.GetLine(out.data()), 1u);
        EXPECT_EQ(out[0], invert ? 0xE7 : 0x18);
        EXPECT_EQ(out[1], 0xA5) << "GetLine wrote more than one line";
        EXPECT_EQ(decoder.GetOutBytes(), 0u);
        // Nothing rendered since: an all-white line.
        EXPECT_EQ(decoder.GetLine(out.data()), 1u);
        EXPECT_EQ(out[0], invert ? 0xFF : 0x00);
    }
}

TEST(FaxGetLine, InvertSetBeforeSetWidthSurvivesItAndReset) {
    CFaxDecoder decoder(4, 1, 10);
    decoder.SetInvert(1);
    ASSERT_EQ(decoder.SetWidth(16), 1);
    decoder.Reset();
    Bytes out(2);
    decoder.GetLine(out.data());
    EXPECT_EQ(out, (Bytes{0xFF, 0xFF}));
    decoder.SetInvert(0);
    decoder.Reset();
    decoder.GetLine(out.data());
    EXPECT_EQ(out, (Bytes{0x00, 0x00}));
}

TEST(FaxGetLine, WholeLineEvenForOddWidths) {
    for (std::uint32_t width : {1u, 7u, 9u, 1728u, 1729u}) {
        CFaxDecoder decoder(3, 1, 1);
        ASSERT_EQ(decoder.SetWidth(width), 1);
        Bytes out((width + 7) / 8 + 1, 0xA5);
        EXPECT_EQ(decoder.GetLine(out.data()), (width + 7) / 8) << width;
        EXPECT_EQ(out.back(), 0xA5) << width;
    }
}

TEST(FaxGetLine, ResetKeepsTheRenderedLine) {
    CFaxDecoder decoder(4, 1, 10);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    ASSERT_EQ(faxbits::DecodeOnce(decoder, Line0x18()).ok, 1);
    decoder.Reset();
    Bytes out(1);
    decoder.GetLine(out.data());
    EXPECT_EQ(out[0], 0x18);
}

TEST(FaxDiscard, ChangesNothing) {
    CFaxDecoder decoder(4, 1, 10);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    ASSERT_EQ(faxbits::DecodeOnce(decoder, Line0x18()).ok, 1);
    decoder.Discard(1);
    decoder.Discard(0xFFFFFFFFu);
    EXPECT_EQ(decoder.GetOutBytes(), 1u);
    Bytes out(1);
    decoder.GetLine(out.data());
    EXPECT_EQ(out[0], 0x18);
}

// ---------------------------------------------------------------------------
// Life cycle.

TEST(FaxLifecycle, WithoutSetWidthNothingIsDecodedOrDelivered) {
    CFaxDecoder decoder(4, 1, 10);
    const Bytes input = Line0x18();
    std::uint32_t consumed = 7, produced = 7;
    EXPECT_EQ(decoder.Decode(input.data(), static_cast<std::uint32_t>(input.size()), consumed, 1, produced), 0);
    Bytes out(4, 0xA5);
    EXPECT_EQ(decoder.GetLine(out.data()), 0u);
    EXPECT_EQ(out, Bytes(4, 0xA5));
}

TEST(FaxLifecycle, SecondSetWidthReplacesTheBuffer) {
    CFaxDecoder decoder(4, 1, 10);
    ASSERT_EQ(decoder.SetWidth(8), 1);
    decoder.Reset();
    ASSERT_EQ(faxbits::DecodeOnce(decoder, Line0x18()).ok, 1);
    ASSERT_EQ(decoder.SetWidth(24), 1);
    Bytes out(3, 0xA5);
    EXPECT_EQ(decoder.GetLine(out.data()), 3u);
    EXPECT_EQ(out, Bytes(3, 0x00));
}

TEST(FaxLifecycle, DestroyAfterFailedDecodeOrWithoutWidth) {
    {
        CFaxDecoder unused(3, 1, 1);
    }
    CFaxDecoder* decoder = new CFaxDecoder(4, 1, 10);
    ASSERT_EQ(decoder->SetWidth(10), 1);
    decoder->Reset();
    const Bytes vr3 = BitWriter().Put("0000011").Get();  // VR3 on a white line of 10: run 13
    EXPECT_EQ(faxbits::DecodeOnce(*decoder, vr3).ok, 0);
    delete static_cast<CTiffDecoder*>(decoder);
}

}  // namespace
