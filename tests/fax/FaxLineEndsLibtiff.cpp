// Group 4 lines whose last code ends exactly at the end of the line: a pass
// code whose b2 is the line's end (legal, though an encoder would code a
// vertical mode there), vertical codes reaching it and horizontal runs
// ending on it, in either colour and at several widths. Written by hand,
// wrapped in a TIFF, and read by libtiff (TIFFReadScanline, which must
// report no error) and by CTiffView: every line must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FaxDecoderBits.h"
#include "TiffView.h"
#include "fax/FaxCodes.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

// The code text of one run value of one colour (make-up or terminating).
std::string CodeOf(bool white, std::uint32_t value) {
    for (std::size_t row = 1; row < kRunCodeRows; ++row) {
        const bool shared = row >= kFaxSharedRowsFrom;
        const bool colour = shared || (row % 2 == 1) == white;
        if (colour && row != kFaxEolRow && row != kFaxBlackEolRow && RunCodeTable[row].Value == value) {
            return RunCodeTable[row].Code;
        }
    }
    ADD_FAILURE() << "no code for " << value;
    return "";
}

// A whole run: make-up codes, then the terminating code.
std::string Run(bool white, std::uint32_t n) {
    std::string out;
    while (n >= 64) {
        const std::uint32_t makeUp = std::min<std::uint32_t>(n / 64 * 64, 2560);
        out += CodeOf(white, makeUp);
        n -= makeUp;
    }
    return out + CodeOf(white, n);
}
std::string W(std::uint32_t n) { return Run(true, n); }
std::string B(std::uint32_t n) { return Run(false, n); }
std::string H(std::uint32_t white, std::uint32_t black) { return "001" + W(white) + B(black); }

const char* const kPass = "0001";
const char* const kV0 = "1";
const char* const kVR1 = "011";

struct EndCase {
    const char* what;
    // The image's lines as mode codes, for a width of w pixels, a = w / 2.
    std::vector<std::string> (*lines)(std::uint32_t w, std::uint32_t a);
};

const EndCase kCases[] = {
    {"pass over an all-white reference, white to the end",
     [](std::uint32_t, std::uint32_t) { return std::vector<std::string>{kPass, kV0}; }},
    {"pass over an all-black reference from the line start, white to the end",
     [](std::uint32_t w, std::uint32_t) { return std::vector<std::string>{H(0, w), kPass}; }},
    {"pass to the end in black, after V0",
     [](std::uint32_t w, std::uint32_t a) { return std::vector<std::string>{H(a, w - a), std::string(kV0) + kPass}; }},
    {"pass to the end in white, after a horizontal pair",
     [](std::uint32_t, std::uint32_t a) {
         return std::vector<std::string>{H(a, 1) + kV0, H(a, 1) + kPass};
     }},
    {"pass in black, then the next line against it",
     [](std::uint32_t w, std::uint32_t a) {
         return std::vector<std::string>{H(a, w - a), std::string(kV0) + kPass, std::string(kV0) + kV0};
     }},
    {"V0 to the end in white", [](std::uint32_t, std::uint32_t) { return std::vector<std::string>{kV0}; }},
    {"V0 to the end in black",
     [](std::uint32_t w, std::uint32_t a) { return std::vector<std::string>{H(a, w - a), std::string(kV0) + kV0}; }},
    {"VR1 to the end in black",
     [](std::uint32_t w, std::uint32_t a) {
         return std::vector<std::string>{H(a, w - 1 - a) + kV0, std::string(kV0) + kVR1};
     }},
    {"horizontal, its black run ending at the end",
     [](std::uint32_t w, std::uint32_t a) { return std::vector<std::string>{H(a, w - a)}; }},
    {"horizontal in black, its white run ending at the end with 0",
     [](std::uint32_t w, std::uint32_t a) {
         return std::vector<std::string>{H(a, w - a), std::string(kV0) + "001" + B(w - a) + W(0)};
     }},
    {"horizontal, its white run reaching the end, black 0",
     [](std::uint32_t w, std::uint32_t) { return std::vector<std::string>{H(w, 0)}; }},
};

TEST(FaxLineEnds, EveryLineReadsAsLibtiffReadsIt) {
    tvtest::TempDir dir;
    for (const EndCase& c : kCases) {
        for (std::uint32_t width : {4u, 13u, 64u, 1728u, 2500u}) {
            const std::string what = std::string(c.what) + ", width " + std::to_string(width);
            const std::vector<std::string> lines = c.lines(width, width / 2);
            faxbits::BitWriter bits;
            for (const std::string& line : lines) bits.Put(line);
            tvtest::BilevelLayout layout;
            layout.width = width;
            layout.length = static_cast<std::uint32_t>(lines.size());
            layout.compression = 4;
            layout.strips = {bits.Align().Get()};
            const std::string path = dir.Write("ends.tif", tvtest::MakeBilevel(layout).Build());

            const tvtest::LibtiffPage theirs = tvtest::ReadPageWithLibtiff(path, 0);
            ASSERT_TRUE(theirs.clean) << what << ": libtiff reported an error";
            const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
            ASSERT_EQ(ours.openResult, static_cast<std::uint32_t>(TV_OK)) << what;
            ASSERT_EQ(ours.lineResults, std::vector<std::uint32_t>(lines.size(), TV_OK)) << what;
            tvtest::Rows expected = theirs.rows;
            tvtest::Rows actual = ours.rows;
            tvtest::ClearPadding(expected, width);
            tvtest::ClearPadding(actual, width);
            EXPECT_EQ(tvtest::FirstDifference(expected, actual), -1) << what;
        }
    }
}

}  // namespace
