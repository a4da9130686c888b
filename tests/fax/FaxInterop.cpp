// Group 4 and Group 3 (one-dimensional, EOL-aligned) TIFFs written by
// libtiff must read through CTiffView pixel for pixel as the lines that were
// written. The sweep is a seeded, representative subset of fill orders, byte
// orders, photometric values, strip layouts, widths and contents; a failure
// names its case seed and the first differing line.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "TiffView.h"
#include "support/FaxEncoder.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

using faxenc::Content;
using faxenc::Lines;

enum class Page { Text, Document, Halftone, Noise, Black, White, Mixed, LongRuns, Checker };

const char* PageName(Page p) {
    switch (p) {
        case Page::Text: return "text";
        case Page::Document: return "document";
        case Page::Halftone: return "halftone";
        case Page::Noise: return "noise";
        case Page::Black: return "black";
        case Page::White: return "white";
        case Page::Mixed: return "mixed";
        case Page::LongRuns: return "longruns";
        case Page::Checker: return "checker";
    }
    return "?";
}

struct Case {
    std::uint16_t compression;  // 3 or 4
    std::uint16_t fillOrder;
    bool bigEndian;
    std::uint16_t photometric;
    std::uint32_t rowsPerStrip;  // 0: one strip
    std::uint32_t width;
    std::uint32_t height;
    Page page;
    std::uint64_t seed;
};

std::string Describe(const Case& c) {
    return std::string(c.compression == 4 ? "G4" : "G3") + " fill " + std::to_string(c.fillOrder) +
           (c.bigEndian ? " MM" : " II") + " photometric " + std::to_string(c.photometric) + " rps " +
           std::to_string(c.rowsPerStrip) + " " + std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
           PageName(c.page) + " seed " + std::to_string(c.seed);
}

void PrintTo(const Case& c, std::ostream* os) { *os << Describe(c); }

Lines MakePage(const Case& c) {
    switch (c.page) {
        case Page::Text: return faxenc::MakeImage(Content::Text, c.width, c.height, c.seed);
        case Page::Halftone: return faxenc::MakeImage(Content::Halftone, c.width, c.height, c.seed);
        case Page::Noise: return faxenc::MakeImage(Content::Noise, c.width, c.height, c.seed);
        case Page::Black: return faxenc::MakeImage(Content::Black, c.width, c.height, c.seed);
        case Page::White: return faxenc::MakeImage(Content::White, c.width, c.height, c.seed);
        case Page::Mixed: return faxenc::MakeImage(Content::Mixed, c.width, c.height, c.seed);
        case Page::LongRuns: return faxenc::MakeImage(Content::LongRuns, c.width, c.height, c.seed);
        case Page::Checker: return faxenc::MakeImage(Content::Checker, c.width, c.height, c.seed);
        case Page::Document: {
            tvtest::Rows rows = tvtest::DocumentPage(c.width, c.height, static_cast<std::uint32_t>(c.seed));
            tvtest::ClearPadding(rows, c.width);
            return rows;
        }
    }
    return {};
}

// Writes the case with libtiff and reads it back through CTiffView.
void CheckCase(const Case& c) {
    SCOPED_TRACE(Describe(c));
    const Lines rows = MakePage(c);
    tvtest::TempDir dir;
    const std::string path = dir.File("page.tif");
    tvtest::LibtiffOptions o;
    o.width = c.width;
    o.length = c.height;
    o.rowsPerStrip = c.rowsPerStrip;
    o.compression = c.compression;
    o.photometric = c.photometric;
    o.fillOrder = c.fillOrder;
    o.bigEndian = c.bigEndian;
    o.group3Options = GROUP3OPT_FILLBITS;
    tvtest::WriteWithLibtiff(path, o, rows);

    std::string detail;
    ASSERT_EQ(faxenc::FirstDifference(rows, tvtest::ReadWithLibtiff(path), c.width, &detail), -1)
        << "libtiff does not read back what it wrote: " << detail;

    const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
    ASSERT_EQ(ours.openResult, TV_OK);
    ASSERT_EQ(ours.width, c.width);
    ASSERT_EQ(ours.length, c.height);
    for (std::size_t y = 0; y < ours.lineResults.size(); ++y)
        ASSERT_EQ(ours.lineResults[y], TV_OK) << "ReadALine result on line " << y;
    EXPECT_EQ(faxenc::FirstDifference(rows, ours.rows, c.width, &detail), -1) << detail;
}

// Cases every run must cover, then a seeded sample of the rest.
std::vector<Case> SweepCases() {
    std::vector<Case> cases = {
        // A4 fax page widths with dense text, one strip and many.
        {4, 1, false, 0, 0, 1728, 400, Page::Text, 1},
        {3, 1, false, 0, 0, 1728, 400, Page::Text, 2},
        {4, 2, true, 1, 64, 1728, 300, Page::Document, 3},
        {3, 2, true, 1, 50, 1728, 300, Page::Document, 4},
        // Very wide lines: runs beyond 2560 and thousands of runs per line.
        {4, 1, true, 0, 16, 10000, 40, Page::LongRuns, 5},
        {3, 1, false, 1, 0, 10001, 40, Page::Halftone, 6},
        {4, 2, false, 1, 0, 12345, 24, Page::Noise, 7},
        // Solid pages, one row per strip and rows not dividing the height.
        {4, 1, false, 0, 1, 100, 30, Page::Black, 8},
        {3, 1, true, 0, 7, 333, 50, Page::White, 9},
        {4, 1, false, 1, 7, 333, 50, Page::White, 10},
        {3, 2, false, 0, 1, 64, 30, Page::Black, 11},
        // Narrow images.
        {4, 1, false, 0, 0, 1, 40, Page::Noise, 12},
        {3, 1, false, 0, 3, 1, 40, Page::Noise, 13},
        {4, 2, true, 1, 0, 9, 40, Page::Checker, 14},
        {3, 2, true, 1, 0, 9, 40, Page::Checker, 15},
    };
    const std::uint32_t widths[] = {1, 2, 7, 8, 9, 15, 16, 17, 31, 33, 63, 65, 127, 200, 1023, 1728, 2048, 2481, 4097};
    const Page pages[] = {Page::Text, Page::Document, Page::Halftone, Page::Noise, Page::Black,
                          Page::White, Page::Mixed, Page::LongRuns, Page::Checker};
    faxenc::Rng rng(20240611);
    for (int i = 0; i < 40; ++i) {
        Case c{};
        c.compression = rng.Below(2) == 0 ? 3 : 4;
        c.fillOrder = static_cast<std::uint16_t>(1 + rng.Below(2));
        c.bigEndian = rng.Below(2) == 1;
        c.photometric = static_cast<std::uint16_t>(rng.Below(2));
        c.width = widths[rng.Below(sizeof widths / sizeof widths[0])];
        c.height = 10 + rng.Below(c.width > 2000 ? 60 : 150);
        const std::uint32_t layout = rng.Below(4);
        c.rowsPerStrip = layout == 0 ? 0 : layout == 1 ? 1 : 1 + rng.Below(c.height);
        c.page = pages[rng.Below(sizeof pages / sizeof pages[0])];
        // libtiff's one-dimensional decoder, our oracle here, overflows on a
        // line of width + 1 runs when the width is a multiple of 32.
        if (c.compression == 3 && c.width % 32 == 0 && (c.page == Page::Checker || c.page == Page::Mixed))
            c.page = Page::Text;
        c.seed = 1000 + static_cast<std::uint64_t>(i);
        cases.push_back(c);
    }
    return cases;
}

class FaxInteropLibtiff : public ::testing::TestWithParam<Case> {};

TEST_P(FaxInteropLibtiff, ReadsAsWritten) { CheckCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Sweep, FaxInteropLibtiff, ::testing::ValuesIn(SweepCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const Case& c = info.param;
                             return std::string(c.compression == 4 ? "G4" : "G3") + "_" + PageName(c.page) + "_w" +
                                    std::to_string(c.width) + "_seed" + std::to_string(c.seed);
                         });

// Opening the same file twice in a row with one reader gives the same lines:
// nothing of the first reading (reference line, carried bytes) leaks into
// the second.
TEST(FaxInteropReopen, SecondOpeningReadsTheSame) {
    for (std::uint16_t compression : {3, 4}) {
        const Case c{compression, 1, false, 0, 13, 500, 60, Page::Mixed, 77};
        const Lines rows = MakePage(c);
        tvtest::TempDir dir;
        const std::string path = dir.File("p.tif");
        tvtest::LibtiffOptions o;
        o.width = c.width;
        o.length = c.height;
        o.rowsPerStrip = c.rowsPerStrip;
        o.compression = c.compression;
        tvtest::WriteWithLibtiff(path, o, rows);
        CTiffView view;
        std::vector<std::uint8_t> line(faxenc::LineBytes(c.width));
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(view.OpenFile(path.c_str()), TV_OK);
            // Stop half way the first time: the second opening starts over.
            const std::uint32_t upto = pass == 0 ? c.height / 2 + 3 : c.height;
            for (std::uint32_t y = 0; y < upto; ++y) {
                ASSERT_EQ(view.ReadALine(line.data()), TV_OK) << "pass " << pass << " line " << y;
                faxenc::ClearPad(line, c.width);
                ASSERT_EQ(line, rows[y]) << Describe(c) << " pass " << pass << " line " << y;
            }
            view.CloseFile();
        }
    }
}

}  // namespace
