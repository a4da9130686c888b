// Old-style LZW (codes least significant bit first, each width kept one
// code longer), which libtiff still reads: pages coded so by the test
// encoder read as libtiff reads them, every line clean.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TiffViewReader.hpp"
#include "support/LibtiffImage.h"
#include "support/LzwEncoder.h"
#include "support/TiffBuilder.h"

namespace {

TEST(OldStyleLzw, PagesReadAsLibtiffReadsThem) {
    tvtest::LzwEncodeOptions oldStyle;
    oldStyle.oldStyle = true;
    const struct {
        const char* what;
        std::uint32_t width, length, rowsPerStrip;
        tvtest::Rows rows;
    } pages[] = {
        {"document, one strip", 301, 97, 0, tvtest::DocumentPage(301, 97, 3)},
        {"document, strips of 13 rows", 301, 97, 13, tvtest::DocumentPage(301, 97, 4)},
        // Noise grows the table to 12-bit codes and past its end.
        {"noise", 640, 80, 0, tvtest::NoisePage(640, 80, 5)},
    };
    tvtest::TempDir dir;
    for (const auto& p : pages) {
        tvtest::BilevelLayout layout;
        layout.width = p.width;
        layout.length = p.length;
        layout.rowsPerStrip = p.rowsPerStrip;
        layout.compression = 5;
        for (const tvtest::Bytes& strip : tvtest::SplitRows(p.rows, p.rowsPerStrip == 0 ? p.length : p.rowsPerStrip)) {
            layout.strips.push_back(tvtest::LzwEncode(strip, oldStyle));
        }
        const std::string path = dir.Write("old.tif", tvtest::MakeBilevel(layout).Build());
        const tvtest::LibtiffPage truth = tvtest::ReadPageWithLibtiff(path, 0);
        ASSERT_TRUE(truth.clean) << p.what << ": libtiff does not read the page";
        tiffview::Reader reader;
        ASSERT_TRUE(reader.open(path).ok()) << p.what;
        tvtest::Rows ours;
        for (std::uint32_t y = 0; y < p.length; ++y) {
            std::vector<std::uint8_t> line(reader.info().line_bytes());
            EXPECT_EQ(reader.read_line(line.data(), line.size()).code(), TV_OK) << p.what << " line " << y;
            ours.push_back(line);
        }
        EXPECT_EQ(tvtest::FirstDifference(ours, truth.rows), -1) << p.what;
        EXPECT_EQ(tvtest::FirstDifference(ours, p.rows), -1) << p.what;
    }
}

}  // namespace
