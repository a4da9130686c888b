// Fax TIFFs made by other writers (Ghostscript, Pillow, ImageMagick-era
// samples, Go's encoder) read through CTiffView exactly as libtiff reads
// them. Only files our reader accepts are here: they carry XResolution and
// YResolution and LONG strip tables, and their Group 3 data is
// one-dimensional with byte-aligned EOLs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>

#include "TiffView.h"
#include "support/FaxEncoder.h"
#include "support/LibtiffImage.h"

namespace {

std::string DataFile(const char* name) { return std::string(TIFFVIEW_TESTDATA_DIR) + "/" + name; }

struct Golden {
    const char* file;
    std::uint32_t width, length, compression;
};

void PrintTo(const Golden& g, std::ostream* os) { *os << g.file; }

class FaxCorpus : public ::testing::TestWithParam<Golden> {};

TEST_P(FaxCorpus, ReadsAsLibtiffDoes) {
    const Golden g = GetParam();
    const std::string path = DataFile(g.file);
    std::uint32_t width = 0;
    const tvtest::Rows expected = tvtest::ReadWithLibtiff(path, &width);
    ASSERT_EQ(width, g.width);
    ASSERT_EQ(expected.size(), g.length);

    CTiffView probe;
    ASSERT_EQ(probe.ParseFile(path.c_str(), 0), TV_OK);
    TiffInfo_t info{};
    probe.GetImageInfo(&info);
    EXPECT_EQ(info.Compression, g.compression);

    const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
    ASSERT_EQ(ours.openResult, TV_OK);
    ASSERT_EQ(ours.lineResults.size(), g.length);
    for (std::size_t y = 0; y < ours.lineResults.size(); ++y)
        ASSERT_EQ(ours.lineResults[y], TV_OK) << g.file << " line " << y;
    std::string detail;
    EXPECT_EQ(faxenc::FirstDifference(expected, ours.rows, g.width, &detail), -1) << g.file << ": " << detail;
}

INSTANTIATE_TEST_SUITE_P(
    Files, FaxCorpus,
    ::testing::Values(Golden{"golang-bw-gopher_ccittGroup4.tiff", 153, 55, 4},
                      Golden{"pillow-g4-fillorder-test.tif", 218, 84, 4},  // FillOrder 2
                      Golden{"pillow-hopper_g4.tif", 128, 128, 4},
                      Golden{"pillow-g4-multi.tiff", 3307, 4677, 4},       // two strips, first page
                      Golden{"libtiff-testfax4.tiff", 2453, 3369, 4},
                      Golden{"imgtiff-libtiffpic-fax2d.tif", 1728, 1082, 3},  // MM, FillOrder 2, RowsPerStrip 2^32-1
                      Golden{"pillow-total-pages-zero.tif", 1728, 2156, 3}),   // RowsPerStrip above the length
    [](const ::testing::TestParamInfo<Golden>& info) {
        std::string name = info.param.file;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// The Group 4 gopher against the same picture stored uncompressed.
TEST(FaxCorpusReference, GopherG4MatchesUncompressedCopy) {
    const tvtest::Rows reference = tvtest::ReadWithLibtiff(DataFile("golang-bw-uncompressed.tiff"));
    const tvtest::OurReading ours = tvtest::ReadWithTiffView(DataFile("golang-bw-gopher_ccittGroup4.tiff"));
    ASSERT_EQ(ours.openResult, TV_OK);
    std::string detail;
    EXPECT_EQ(faxenc::FirstDifference(reference, ours.rows, 153, &detail), -1) << detail;
}

}  // namespace
