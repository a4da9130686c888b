// Runs of rows of one colour are taken without decoding each (a fax strip's
// white lines below a white one, rows coded again with the bytes of the
// solid row before them): pages of white and black bands between busy rows,
// written by libtiff in every coding that takes that path, at widths that
// do and do not fill their last byte, in strips of one row to the whole
// page, must read as libtiff reads them, every line TV_OK.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TiffViewReader.hpp"
#include "support/LibtiffImage.h"

namespace {

using tvtest::Rows;

// Bands of solid rows of both colours, long and short, between rows that
// are not solid, so that runs start after busy rows and cross strip ends.
Rows BandedPage(std::uint32_t width) {
    const Rows noise = tvtest::NoisePage(width, 4, width, 0.3);
    const Rows white = tvtest::BlankPage(width, 1, false);
    const Rows black = tvtest::BlankPage(width, 1, true);
    Rows rows;
    auto add = [&rows](const Rows& band, std::size_t times) {
        for (std::size_t i = 0; i < times; ++i) rows.insert(rows.end(), band.begin(), band.end());
    };
    add(white, 40);
    add(noise, 1);
    add(white, 3);
    add(black, 37);
    add(noise, 1);
    add(black, 2);
    add(white, 61);
    add(Rows(noise.begin(), noise.begin() + 1), 1);
    add(white, 9);
    return rows;
}

struct Coding {
    const char* name;
    std::uint16_t compression;
    std::uint32_t group3Options;
};

const Coding kCodings[] = {
    {"G4", 4, 0},           {"G3-1D aligned", 3, 4}, {"G3-1D", 3, 0},     {"G3-2D aligned", 3, 5},
    {"G3-2D", 3, 1},        {"MH", 2, 0},            {"PackBits", 32773, 0},
};

TEST(SolidRows, ReadAsLibtiffReadsThem) {
    const std::string path = ::testing::TempDir() + "solid-rows.tif";
    for (const Coding& coding : kCodings) {
        for (std::uint32_t width : {1u, 13u, 64u, 333u, 1728u, 2481u}) {
            const Rows page = BandedPage(width);
            for (std::uint16_t photometric : {0, 1}) {
                for (std::uint32_t rowsPerStrip : {1u, 5u, 26u, 0u}) {
                    tvtest::LibtiffOptions options;
                    options.width = width;
                    options.length = static_cast<std::uint32_t>(page.size());
                    options.rowsPerStrip = rowsPerStrip;
                    options.compression = coding.compression;
                    options.photometric = photometric;
                    options.group3Options = coding.group3Options;
                    options.fillOrder = width == 333 ? 2 : 1;
                    tvtest::WriteWithLibtiff(path, options, page);
                    const Rows theirs = tvtest::ReadWithLibtiff(path);
                    const std::string what = std::string(coding.name) + " width " + std::to_string(width) +
                                             " photometric " + std::to_string(photometric) + " rows per strip " +
                                             std::to_string(rowsPerStrip);
                    tiffview::Reader reader;
                    ASSERT_TRUE(reader.open(path).ok()) << what;
                    const std::size_t bytes = reader.info().line_bytes();
                    std::vector<std::uint8_t> line(bytes);
                    for (std::size_t y = 0; y < theirs.size(); ++y) {
                        ASSERT_EQ(reader.read_line(line.data(), line.size()).code(), 0u) << what << " line " << y;
                        ASSERT_EQ(tvtest::Bytes(line.begin(), line.end()), theirs[y]) << what << " line " << y;
                    }
                }
            }
        }
    }
}

}  // namespace
