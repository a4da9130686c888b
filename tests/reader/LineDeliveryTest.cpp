// Line delivery: uncompressed strips copied by the reader, and the strip
// accounting of compressed images driven through a scripted decoder.
#include <gtest/gtest.h>

#include <memory>

#include "TiffView.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::BilevelLayout;
using tvtest::Bytes;
using tvtest::TempDir;
using Step = CScriptedDecoder::Step;

struct Opened {
    TempDir dir;
    CTiffView view;
};

std::unique_ptr<Opened> Open(const BilevelLayout& layout, std::uint32_t expected = TV_OK) {
    auto o = std::make_unique<Opened>();
    EXPECT_EQ(o->view.OpenFile(o->dir.Write("t.tif", tvtest::MakeBilevel(layout).Build()).c_str()), expected);
    return o;
}

Bytes Line(CTiffView& view, std::size_t size, std::uint32_t expected) {
    Bytes line(size, 0xEE);
    EXPECT_EQ(view.ReadALine(line.data()), expected);
    return line;
}

TEST(Uncompressed, OneStripDeliversConsecutiveLines) {
    BilevelLayout layout;
    layout.width = 10;
    layout.length = 3;
    layout.strips = {{1, 2, 3, 4, 5, 6}};
    auto o = Open(layout);
    auto s = CTiffViewTestAccess::Snapshot(o->view);
    EXPECT_EQ(s.Complete, 1);
    EXPECT_EQ(s.StripOffset, 6u);
    EXPECT_EQ(s.StripsRead, 0u);
    EXPECT_EQ(Line(o->view, 2, TV_OK), (Bytes{1, 2}));
    EXPECT_EQ(Line(o->view, 2, TV_OK), (Bytes{3, 4}));
    EXPECT_EQ(Line(o->view, 2, TV_OK), (Bytes{5, 6}));
    EXPECT_EQ(Line(o->view, 2, TV_ERR_END_OF_IMAGE), (Bytes{0xEE, 0xEE}));
}

TEST(Uncompressed, BlackIsZeroIsInverted) {
    for (std::uint16_t photometric : {0, 1}) {
        BilevelLayout layout;
        layout.length = 1;
        layout.photometric = photometric;
        layout.strips = {{0x0F}};
        auto o = Open(layout);
        EXPECT_EQ(Line(o->view, 1, TV_OK)[0], photometric ? 0xF0 : 0x0F);
    }
}

TEST(Uncompressed, LinesStraddleStripBoundaries) {
    BilevelLayout layout;
    layout.width = 16;
    layout.length = 3;
    layout.rowsPerStrip = 2;
    layout.strips = {{1, 2, 3}, {4, 5, 6}};
    auto o = Open(layout);
    EXPECT_EQ(Line(o->view, 2, TV_OK), (Bytes{1, 2}));
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(o->view).StripsRead, 1u);
    EXPECT_EQ(Line(o->view, 2, TV_OK), (Bytes{3, 4}));
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(o->view).StripsRead, 2u);
    EXPECT_EQ(Line(o->view, 2, TV_OK), (Bytes{5, 6}));
}

TEST(Uncompressed, EmptyStripsArePassedOver) {
    BilevelLayout layout;
    layout.width = 8;
    layout.length = 3;
    layout.rowsPerStrip = 1;
    layout.strips = {{}, {7, 8}, {}, {9}};
    layout.length = 4;
    auto o = Open(layout);
    EXPECT_EQ(Line(o->view, 1, TV_OK)[0], 7);
    EXPECT_EQ(Line(o->view, 1, TV_OK)[0], 8);
    EXPECT_EQ(Line(o->view, 1, TV_OK)[0], 9);
    EXPECT_EQ(Line(o->view, 1, TV_ERR_LINE_SHORT)[0], 0);  // the strips ran out
}

TEST(Uncompressed, UnreadableNextStripIsReportedByTheLineThatUsedUpTheLastOne) {
    BilevelLayout layout;
    layout.width = 16;
    layout.length = 3;
    layout.rowsPerStrip = 2;
    layout.strips = {{1, 2, 3}, {4, 5, 6}};
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    const std::uint32_t offsets = b.AppendLongs({8, 0x7FFFFF00u});
    b.PutU32(b.Find(273)->value, offsets);
    CTiffView view;
    TempDir dir;
    ASSERT_EQ(view.OpenFile(dir.Write("t.tif", b.Build()).c_str()), TV_OK);
    EXPECT_EQ(Line(view, 2, TV_OK), (Bytes{1, 2}));
    Bytes line(2, 0xEE);
    EXPECT_EQ(view.ReadALine(line.data()), 0xF0000161u);
    EXPECT_EQ(line[0], 3);  // the byte taken before the failure stays
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).LineCount, 1u);
    EXPECT_EQ(view.ReadALine(line.data()), 0xF0000161u);  // and stays failed
}

TEST(Uncompressed, SingleStripSeekFailureHasNoStripNumber) {
    BilevelLayout layout;
    layout.length = 1;
    layout.strips = {{1}};
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.PutU32(b.Find(273)->value, 0x90000000u);
    CTiffView view;
    TempDir dir;
    EXPECT_EQ(view.OpenFile(dir.Write("t.tif", b.Build()).c_str()), TV_ERR_STRIP_SEEK);
}

// Compressed images: the scripted decoder stands in for LZW so that every
// count can be chosen. LineByte is 2 in all of these.
class DecodedLines : public testing::Test {
protected:
    CScriptedDecoder* decoder = nullptr;
    std::unique_ptr<Opened> opened;

    void OpenScripted(std::uint32_t length, std::uint32_t rowsPerStrip, std::vector<std::uint32_t> stripSizes,
                      std::vector<Step> script, std::uint16_t photometric = 0) {
        BilevelLayout layout;
        layout.width = 16;
        layout.length = length;
        layout.rowsPerStrip = rowsPerStrip;
        layout.compression = 5;
        layout.photometric = photometric;
        for (std::uint32_t size : stripSizes) layout.strips.push_back(Bytes(size, 0));
        opened = Open(layout);
        decoder = new CScriptedDecoder;
        decoder->Script.assign(script.begin(), script.end());
        CTiffViewTestAccess::SwapDecoder(opened->view, decoder);
    }
    CTiffView& view() { return opened->view; }
    CTiffViewTestAccess::State state() { return CTiffViewTestAccess::Snapshot(opened->view); }
};

TEST_F(DecodedLines, ExactStripsGiveEveryLineOk) {
    // Length 5, 2 rows per strip: strips must yield 4, 4 and 2 bytes.
    OpenScripted(5, 2, {3, 3, 1},
                 {{1, 2}, {2, 2}, {1, 2}, {2, 2}, {1, 2}});
    for (std::uint8_t first = 1; first <= 9; first += 2) EXPECT_EQ(Line(view(), 2, TV_OK)[0], first);
    EXPECT_EQ(state().StripsRead, 3u);
    EXPECT_EQ(state().UnpackedByte, 10u);
    EXPECT_EQ(state().LogPending, 0);
    EXPECT_EQ(decoder->Wanted.front(), 2u);
}

TEST_F(DecodedLines, DecoderFailureDeliversNothing) {
    OpenScripted(8, 8, {10}, {{1, 2}, {1, 2}, {1, 0, true}});
    Line(view(), 2, TV_OK);
    Line(view(), 2, TV_OK);
    EXPECT_EQ(Line(view(), 2, TV_ERR_DECODE), (Bytes{0xEE, 0xEE}));
    EXPECT_EQ(state().LineCount, 2u);
    const int calls = decoder->DecodeCalls;
    EXPECT_EQ(Line(view(), 2, TV_ERR_DECODE), (Bytes{0xEE, 0xEE}));
    EXPECT_EQ(decoder->DecodeCalls, calls);  // a failed decoder is not asked again
}

TEST_F(DecodedLines, ShortStripIsCreditedZeroFilledAndLoggedOnce) {
    // Strip 0 (2 rows) yields only one line; strip 1 is exact.
    OpenScripted(4, 2, {2, 2}, {{UINT32_MAX, 2}, {0, 0}, {1, 2}, {1, 2}});
    EXPECT_EQ(Line(view(), 2, TV_ERR_STRIP_SHORT), (Bytes{1, 2}));
    auto s = state();
    EXPECT_EQ(s.LogPending, 1);
    EXPECT_EQ(s.ErrorID, TV_ERR_STRIP_SHORT);
    EXPECT_EQ(s.UnpackDiff, -2);
    EXPECT_EQ(s.CurStrip, 0u);
    EXPECT_EQ(s.CurLine, 0u);
    EXPECT_EQ(s.UnuseByte, 2u);
    // The credited line is delivered without decoding, zero-filled.
    const int calls = decoder->DecodeCalls;
    EXPECT_EQ(Line(view(), 2, TV_ERR_LINE_SHORT), (Bytes{0, 0}));
    EXPECT_EQ(decoder->DecodeCalls, calls);
    // Then the next strip, without recording the shortfall again.
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{3, 4}));
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{5, 6}));
    EXPECT_EQ(state().ErrorID, TV_ERR_STRIP_SHORT);
    EXPECT_EQ(state().CurLine, 0u);
}

TEST_F(DecodedLines, SurplusInAnInnerStripIsDroppedSilently) {
    // Strip 0 yields three lines' worth instead of two; the surplus is the
    // newest output and is dropped.
    OpenScripted(4, 2, {1, 2}, {{1, 6}, {1, 2}, {1, 2}});
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{1, 2}));
    EXPECT_EQ(decoder->Discards, (std::vector<std::uint32_t>{2}));
    auto s = state();
    EXPECT_EQ(s.LogPending, 1);
    EXPECT_EQ(s.ErrorID, TV_ERR_STRIP_LONG);
    EXPECT_EQ(s.UnpackDiff, 2);
    EXPECT_EQ(s.StripsRead, 2u);  // the next strip was loaded at once
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{3, 4}));
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{7, 8}));
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{9, 10}));
}

TEST_F(DecodedLines, SurplusInTheLastStripIsReported) {
    OpenScripted(2, 2, {1}, {{1, 6}});
    EXPECT_EQ(Line(view(), 2, TV_ERR_STRIP_LONG), (Bytes{1, 2}));
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{3, 4}));
    EXPECT_EQ(Line(view(), 2, TV_ERR_END_OF_IMAGE), (Bytes{0xEE, 0xEE}));
}

TEST_F(DecodedLines, OvershootLargerThanWhatIsHeldNeverWrapsTheCount) {
    // The strip keeps yielding lines beyond its two rows before its input
    // ends; the surplus (3 lines) exceeds the two lines still held.
    OpenScripted(4, 2, {4, 2}, {{1, 2}, {1, 2}, {1, 2}, {1, 4}, {1, 2}, {1, 2}});
    Line(view(), 2, TV_OK);
    Line(view(), 2, TV_OK);
    Line(view(), 2, TV_OK);
    EXPECT_EQ(Line(view(), 2, TV_OK), (Bytes{11, 12}));  // decoding goes on in strip 1
    EXPECT_EQ(state().UnpackDiff, 6);
    EXPECT_EQ(state().BufferedByte, 0u);
}

TEST_F(DecodedLines, ShortDecoderOutputIsZeroFilled) {
    OpenScripted(2, 2, {4}, {{1, 1}, {3, 3}});
    // The decoder stops with input left after one byte: the line is short.
    EXPECT_EQ(Line(view(), 2, TV_ERR_LINE_SHORT), (Bytes{1, 0}));
}

TEST_F(DecodedLines, LogErrorRecordsTheStripIndex) {
    OpenScripted(6, 2, {1, 1, 1}, {{1, 4}, {1, 4}, {1, 3}});
    Line(view(), 2, TV_OK);
    Line(view(), 2, TV_OK);
    Line(view(), 2, TV_OK);
    Line(view(), 2, TV_OK);
    EXPECT_EQ(Line(view(), 2, TV_ERR_STRIP_SHORT), (Bytes{9, 10}));
    EXPECT_EQ(state().CurStrip, 2u);
    EXPECT_EQ(state().CurLine, 4u);
}

TEST_F(DecodedLines, TooManyCallsEndTheImage) {
    OpenScripted(1, 1, {1}, {{1, 2}});
    Line(view(), 2, TV_OK);
    EXPECT_EQ(Line(view(), 2, TV_ERR_END_OF_IMAGE), (Bytes{0xEE, 0xEE}));
}

}  // namespace
