// LZW images read through CTiffView: files written by libtiff decode pixel
// for pixel to what was written, and strips that decode to a line too few
// or too many are reported and padded or trimmed as documented.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TiffView.h"
#include "support/LibtiffImage.h"
#include "support/LzwEncoder.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;
using tvtest::Rows;

enum class Page { Noise, Document, White, Black, Checker };

struct InteropCase {
    std::uint32_t width;
    std::uint32_t length;
    std::uint32_t rowsPerStrip;  // 0: one strip
    Page page;
    std::uint16_t photometric;
    bool bigEndian;
};

std::string Name(const InteropCase& c) {
    static const char* pages[] = {"noise", "document", "white", "black", "checker"};
    return std::string(pages[static_cast<int>(c.page)]) + "_w" + std::to_string(c.width) + "_h" +
           std::to_string(c.length) + "_rps" + std::to_string(c.rowsPerStrip) + "_pi" +
           std::to_string(c.photometric) + (c.bigEndian ? "_mm" : "_ii");
}

Rows MakePage(const InteropCase& c) {
    switch (c.page) {
        case Page::Noise: return tvtest::NoisePage(c.width, c.length, c.width * 31 + c.length, 0.3);
        case Page::Document: return tvtest::DocumentPage(c.width, c.length, c.width + 7);
        case Page::White: return tvtest::BlankPage(c.width, c.length, false);
        case Page::Black: return tvtest::BlankPage(c.width, c.length, true);
        case Page::Checker: return tvtest::CheckerPage(c.width, c.length, 3);
    }
    return Rows();
}

// Every width class (below a byte, at and around byte boundaries, fax and
// A4 widths, beyond 10000 pixels) with every page kind, one and many
// strips, both photometric values and both byte orders, without the full
// cross product.
const InteropCase kInterop[] = {
    {1, 40, 0, Page::Noise, 0, false},          {7, 33, 5, Page::Noise, 1, true},
    {8, 64, 1, Page::Checker, 0, false},        {9, 50, 7, Page::Noise, 0, true},
    {15, 20, 0, Page::Black, 1, false},         {16, 70, 16, Page::Checker, 1, true},
    {17, 45, 8, Page::Noise, 0, false},         {63, 90, 0, Page::Document, 1, true},
    {65, 90, 13, Page::Noise, 1, false},        {1728, 300, 0, Page::Document, 0, false},
    {1728, 300, 64, Page::Document, 1, true},   {1728, 120, 1, Page::Noise, 0, true},
    {2479, 200, 37, Page::Document, 0, false},  {2481, 200, 0, Page::White, 1, false},
    {2480, 150, 0, Page::Noise, 1, false},      {10007, 60, 0, Page::Document, 1, false},
    {10000, 40, 9, Page::Noise, 0, true},       {16384, 30, 0, Page::Checker, 0, true},
};

class LzwLibtiffImage : public ::testing::TestWithParam<InteropCase> {};

TEST_P(LzwLibtiffImage, DecodesToWhatWasWritten) {
    const InteropCase& c = GetParam();
    tvtest::TempDir dir;
    const std::string path = dir.File("page.tif");
    Rows rows = MakePage(c);
    tvtest::ClearPadding(rows, c.width);
    tvtest::LibtiffOptions o;
    o.width = c.width;
    o.length = c.length;
    o.rowsPerStrip = c.rowsPerStrip;
    o.compression = 5;
    o.photometric = c.photometric;
    o.bigEndian = c.bigEndian;
    tvtest::WriteWithLibtiff(path, o, rows);
    // libtiff's own reading confirms the file holds the page.
    ASSERT_EQ(tvtest::FirstDifference(tvtest::ReadWithLibtiff(path), rows), -1);

    const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
    ASSERT_EQ(ours.openResult, TV_OK);
    ASSERT_EQ(ours.rows.size(), c.length);
    for (std::size_t y = 0; y < ours.lineResults.size(); ++y) ASSERT_EQ(ours.lineResults[y], TV_OK) << "line " << y;
    EXPECT_EQ(tvtest::FirstDifference(ours.rows, rows), -1);
}

INSTANTIATE_TEST_SUITE_P(Lzw, LzwLibtiffImage, ::testing::ValuesIn(kInterop),
                         [](const ::testing::TestParamInfo<InteropCase>& info) { return Name(info.param); });

// Strip accounting with real LZW strips. Rows use only the bytes 00, FF and
// 0F, and an extra row starts with A5: no LZW string crosses into it, so
// the extra row comes out exactly when its strip's input runs out.
class LzwStripAccounting : public ::testing::Test {
protected:
    static constexpr std::uint32_t kWidth = 200;  // 25 bytes per line
    static constexpr std::uint32_t kLength = 12;
    static constexpr std::uint32_t kRowsPerStrip = 4;

    void SetUp() override {
        std::mt19937 rng(3);
        const std::uint8_t values[] = {0x00, 0xFF, 0x0F};
        for (std::uint32_t y = 0; y < kLength; ++y) {
            Bytes row(kWidth / 8);
            for (auto& b : row) b = values[rng() % 3];
            rows_.push_back(row);
        }
        extra_ = Bytes(kWidth / 8, 0x5A);
        extra_[0] = 0xA5;
    }

    // Strip `s` covers rows [4s, 4s+4); `shape` -1 drops its last row, +1
    // appends the extra row.
    std::string Write(int stripIndex, int shape, bool endOfInformation) {
        tvtest::BilevelLayout layout;
        layout.width = kWidth;
        layout.length = kLength;
        layout.rowsPerStrip = kRowsPerStrip;
        layout.compression = 5;
        tvtest::LzwEncodeOptions options;
        options.endOfInformation = endOfInformation;
        for (std::uint32_t s = 0; s < kLength / kRowsPerStrip; ++s) {
            Bytes data;
            std::uint32_t count = kRowsPerStrip;
            if (static_cast<int>(s) == stripIndex && shape < 0) --count;
            for (std::uint32_t y = 0; y < count; ++y) {
                const Bytes& row = rows_[s * kRowsPerStrip + y];
                data.insert(data.end(), row.begin(), row.end());
            }
            if (static_cast<int>(s) == stripIndex && shape > 0) data.insert(data.end(), extra_.begin(), extra_.end());
            layout.strips.push_back(tvtest::LzwEncode(data, options));
        }
        return dir_.Write("strips.tif", tvtest::MakeBilevel(layout).Build());
    }

    struct Reading {
        std::vector<std::uint32_t> results;
        Rows lines;
        CTiffViewTestAccess::State state;
    };
    Reading Read(const std::string& path) {
        Reading r;
        CTiffView view;
        EXPECT_EQ(view.OpenFile(path.c_str()), TV_OK);
        Bytes line(kWidth / 8);
        for (std::uint32_t y = 0; y < kLength; ++y) {
            r.results.push_back(view.ReadALine(line.data()));
            r.lines.push_back(line);
        }
        r.state = CTiffViewTestAccess::Snapshot(view);
        view.CloseFile();
        return r;
    }

    Rows rows_;
    Bytes extra_;
    tvtest::TempDir dir_;
};

TEST_F(LzwStripAccounting, ExactStripsDeliverEveryLine) {
    const Reading r = Read(Write(-1, 0, true));
    for (std::uint32_t y = 0; y < kLength; ++y) {
        EXPECT_EQ(r.results[y], TV_OK) << y;
        EXPECT_EQ(r.lines[y], rows_[y]) << y;
    }
    EXPECT_EQ(r.state.LogPending, 0);
}

TEST_F(LzwStripAccounting, ShortStripIsReportedWhereItsInputRunsOut) {
    // Strip 1 lacks row 7: line 7 (whose call reads the strip's
    // EndOfInformation) reports the shortfall and is zero-filled; strip 2
    // follows unharmed.
    const Reading r = Read(Write(1, -1, true));
    for (std::uint32_t y = 0; y < kLength; ++y) {
        if (y == 7) {
            EXPECT_EQ(r.results[y], TV_ERR_STRIP_SHORT);
            EXPECT_EQ(r.lines[y], Bytes(kWidth / 8, 0));
        } else {
            EXPECT_EQ(r.results[y], TV_OK) << y;
            EXPECT_EQ(r.lines[y], rows_[y]) << y;
        }
    }
    EXPECT_EQ(r.state.ErrorID, TV_ERR_STRIP_SHORT);
    EXPECT_EQ(r.state.UnpackDiff, -static_cast<std::int32_t>(kWidth / 8));
    EXPECT_EQ(r.state.CurStrip, 1u);
}

TEST_F(LzwStripAccounting, ShortLastStripZeroFillsTheLastLine) {
    const Reading r = Read(Write(2, -1, true));
    for (std::uint32_t y = 0; y + 1 < kLength; ++y) {
        EXPECT_EQ(r.results[y], TV_OK) << y;
        EXPECT_EQ(r.lines[y], rows_[y]) << y;
    }
    EXPECT_EQ(r.results[kLength - 1], TV_ERR_STRIP_SHORT);
    EXPECT_EQ(r.lines[kLength - 1], Bytes(kWidth / 8, 0));
}

TEST_F(LzwStripAccounting, LongStripInTheMiddleIsTrimmedSilently) {
    // Without EndOfInformation the extra row is decoded by the call that
    // uses the strip up, and is discarded there.
    const Reading r = Read(Write(1, +1, false));
    for (std::uint32_t y = 0; y < kLength; ++y) {
        EXPECT_EQ(r.results[y], TV_OK) << y;
        EXPECT_EQ(r.lines[y], rows_[y]) << y;
    }
    EXPECT_EQ(r.state.ErrorID, TV_ERR_STRIP_LONG);
    EXPECT_EQ(r.state.UnpackDiff, static_cast<std::int32_t>(kWidth / 8));
    EXPECT_EQ(r.state.LogPending, 1);
}

TEST(LzwStripAccountingLastStrip, LongLastStripIsReported) {
    // The surplus of the last strip is seen only if the call for the last
    // line uses the strip up. One-byte lines, and a last strip of
    // 11 22 33 11 plus the extra 22: its final code is the string 11 22,
    // which finishes the last line and makes the surplus at once.
    const Bytes image = {1, 2, 3, 4, 5, 6, 7, 8, 0x11, 0x22, 0x33, 0x11};
    tvtest::BilevelLayout layout;
    layout.width = 8;
    layout.length = 12;
    layout.rowsPerStrip = 4;
    layout.compression = 5;
    tvtest::LzwEncodeOptions noEnd;
    noEnd.endOfInformation = false;
    layout.strips.push_back(tvtest::LzwEncode(Bytes(image.begin(), image.begin() + 4)));
    layout.strips.push_back(tvtest::LzwEncode(Bytes(image.begin() + 4, image.begin() + 8)));
    layout.strips.push_back(tvtest::LzwEncode(Bytes{0x11, 0x22, 0x33, 0x11, 0x22}, noEnd));
    tvtest::TempDir dir;
    const std::string path = dir.Write("long.tif", tvtest::MakeBilevel(layout).Build());
    CTiffView view;
    ASSERT_EQ(view.OpenFile(path.c_str()), TV_OK);
    for (std::uint32_t y = 0; y < 12; ++y) {
        std::uint8_t line = 0xEE;
        const std::uint32_t result = view.ReadALine(&line);
        // The surplus comes out in the last line's own call and is dropped,
        // leaving the line itself intact.
        EXPECT_EQ(line, image[y]) << y;
        EXPECT_EQ(result, y == 11 ? TV_ERR_STRIP_LONG : TV_OK) << y;
    }
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).UnpackDiff, 1);
    view.CloseFile();
}

TEST_F(LzwStripAccounting, CorruptStripFailsTheLine) {
    // A looping chain in strip 1: the first line that decodes it fails and
    // does not count as delivered.
    tvtest::BilevelLayout layout;
    layout.width = kWidth;
    layout.length = kLength;
    layout.rowsPerStrip = kRowsPerStrip;
    layout.compression = 5;
    Bytes data;
    for (std::uint32_t y = 0; y < 4; ++y) data.insert(data.end(), rows_[y].begin(), rows_[y].end());
    layout.strips.push_back(tvtest::LzwEncode(data));
    for (int s = 0; s < 2; ++s) layout.strips.push_back(tvtest::PackCodes9({256, 65, 259, 65, 259, 257}));
    const std::string path = dir_.Write("corrupt.tif", tvtest::MakeBilevel(layout).Build());
    CTiffView view;
    ASSERT_EQ(view.OpenFile(path.c_str()), TV_OK);
    Bytes line(kWidth / 8);
    for (std::uint32_t y = 0; y < 4; ++y) ASSERT_EQ(view.ReadALine(line.data()), TV_OK);
    EXPECT_EQ(view.ReadALine(line.data()), TV_ERR_DECODE);
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).LineCount, 4u);
    view.CloseFile();
}

}  // namespace
