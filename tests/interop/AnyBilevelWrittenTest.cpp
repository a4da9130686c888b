// Files written by libtiff for every path TV_OPTION_ANY_BILEVEL adds (pages
// of different encodings and sizes, no resolution, SHORT tables, PackBits,
// Deflate and JBIG, tiles that do not divide the image or are as wide as
// it, FillOrder 2) must read as libtiff reads them, line for line, every
// line TV_OK. PackBits strips and tiles whose runs cross row ends read as
// one stream each, as libtiff's strip and tile reading reads them.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <ostream>
#include <string>
#include <vector>

#include "TiffView.h"
#include "core/Compressions.h"
#include "support/LibtiffImage.h"

namespace {

using tvtest::Rows;

struct PageLayout {
    std::uint32_t width, length;
    std::uint16_t compression;
    std::uint16_t fillOrder = 1;
    std::uint16_t photometric = 0;
    std::uint32_t rowsPerStrip = 0;  // 0: libtiff's default
    std::uint32_t tileWidth = 0;     // non-zero: tiled
    std::uint32_t tileLength = 0;
    // PackBits coded by this test, each strip or tile as one stream whose
    // runs cross row ends (libtiff's encoder ends a run at every row).
    bool oneStream = false;
};

// PackBits over a whole chunk: repeats of 2 or more bytes, literals between.
tvtest::Bytes PackBitsStream(const tvtest::Bytes& in, bool reverseBits) {
    tvtest::Bytes out;
    for (std::size_t i = 0; i < in.size();) {
        std::size_t run = 1;
        while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(257 - run));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        std::size_t literal = 1;
        while (i + literal < in.size() && literal < 128 &&
               (i + literal + 1 >= in.size() || in[i + literal] != in[i + literal + 1])) {
            ++literal;
        }
        out.push_back(static_cast<std::uint8_t>(literal - 1));
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i), in.begin() + static_cast<std::ptrdiff_t>(i + literal));
        i += literal;
    }
    if (reverseBits) {
        for (auto& b : out) {
            std::uint8_t r = 0;
            for (int bit = 0; bit < 8; ++bit) r = static_cast<std::uint8_t>(r | (((b >> bit) & 1) << (7 - bit)));
            b = r;
        }
    }
    return out;
}

void WriteTiles(TIFF* tif, const PageLayout& p, const Rows& rows) {
    const std::uint32_t tileRow = (p.tileWidth + 7) / 8;
    std::vector<std::uint8_t> tile(tileRow * p.tileLength);
    for (std::uint32_t y0 = 0; y0 < p.length; y0 += p.tileLength) {
        for (std::uint32_t x0 = 0; x0 < p.width; x0 += p.tileWidth) {
            std::fill(tile.begin(), tile.end(), 0);
            for (std::uint32_t y = y0; y < std::min(p.length, y0 + p.tileLength); ++y) {
                for (std::uint32_t x = x0; x < std::min(p.width, x0 + p.tileWidth); ++x) {
                    if (rows[y][x / 8] & (0x80u >> (x % 8))) {
                        tile[(y - y0) * tileRow + (x - x0) / 8] |= static_cast<std::uint8_t>(0x80u >> ((x - x0) % 8));
                    }
                }
            }
            if (p.oneStream) {
                const tvtest::Bytes raw = PackBitsStream(tile, p.fillOrder == 2);
                ASSERT_GE(TIFFWriteRawTile(tif, TIFFComputeTile(tif, x0, y0, 0, 0), const_cast<std::uint8_t*>(raw.data()),
                                           static_cast<tmsize_t>(raw.size())), 0);
                continue;
            }
            ASSERT_GE(TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0), 0);
        }
    }
}

// Writes the pages (rows 1 = black, stored as the photometric value asks),
// with no resolution tags, as libtiff lays them out by default.
void WritePages(const std::string& path, const std::vector<PageLayout>& pages, const std::vector<Rows>& content) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const PageLayout& p = pages[i];
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.length);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
        TIFFSetField(tif, TIFFTAG_FILLORDER, p.fillOrder);
        if (p.compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS);
        Rows rows = content[i];
        if (p.photometric == PHOTOMETRIC_MINISBLACK) {
            for (auto& row : rows)
                for (auto& b : row) b = static_cast<std::uint8_t>(~b);
        }
        if (p.tileWidth != 0) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tileWidth);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tileLength);
            WriteTiles(tif, p, rows);
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip ? p.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
            if (p.oneStream) {
                std::uint32_t perStrip = 0;
                TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &perStrip);
                const std::vector<tvtest::Bytes> strips = tvtest::SplitRows(rows, perStrip);
                for (std::size_t i = 0; i < strips.size(); ++i) {
                    const tvtest::Bytes raw = PackBitsStream(strips[i], p.fillOrder == 2);
                    ASSERT_GE(TIFFWriteRawStrip(tif, static_cast<tstrip_t>(i), const_cast<std::uint8_t*>(raw.data()),
                                                static_cast<tmsize_t>(raw.size())), 0);
                }
            } else if (p.compression == COMPRESSION_JBIG) {
                // libtiff encodes JBIG a whole strip at a time.
                tvtest::Bytes strip = tvtest::JoinRows(rows);
                ASSERT_GE(TIFFWriteEncodedStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size())), 0);
            }
            for (std::uint32_t y = 0; y < p.length && p.compression != COMPRESSION_JBIG && !p.oneStream; ++y) {
                ASSERT_GE(TIFFWriteScanline(tif, rows[y].data(), y, 0), 0);
            }
        }
        ASSERT_TRUE(TIFFWriteDirectory(tif));
    }
    TIFFClose(tif);
}

struct Case {
    std::string name;
    std::vector<PageLayout> pages;
};

constexpr std::uint16_t kNone = COMPRESSION_NONE, kG3 = COMPRESSION_CCITTFAX3, kG4 = COMPRESSION_CCITTFAX4,
                        kLzw = COMPRESSION_LZW, kPackBits = COMPRESSION_PACKBITS,
                        kDeflate = COMPRESSION_ADOBE_DEFLATE, kOldDeflate = COMPRESSION_DEFLATE,
                        kJbig = COMPRESSION_JBIG;

std::string CodingName(std::uint16_t compression) {
    switch (compression) {
    case kNone: return "None";
    case kLzw: return "Lzw";
    case kPackBits: return "PackBits";
    case kG3: return "Group3";
    case kG4: return "Group4";
    case kDeflate: return "Deflate";
    case kOldDeflate: return "OldDeflate";
    default: return "Jbig";
    }
}

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {"PagesOfDifferentEncodingsAndSizes",
         {{1728, 120, kG4}, {301, 77, kLzw, 1, 1, 10}, {64, 9, kNone}, {999, 40, kPackBits, 1, 0, 7}, {200, 33, kG3}}},
        {"StripsOfManyRowsWithShortTables", {{517, 300, kNone, 1, 0, 13}, {517, 300, kPackBits, 1, 1, 64}}},
    };
    // Tiles of every compression, with sizes that do not divide the image,
    // each also with FillOrder 2, and as wide as the image with the last
    // row of tiles reaching past it (no warning: a tile holds all its
    // rows); and strips with FillOrder 2.
    for (std::uint16_t compression : {kNone, kLzw, kPackBits, kG3, kG4, kDeflate, kOldDeflate}) {
        if (!tvcore::CompressionReadable(compression)) continue;
        const std::string name = CodingName(compression);
        cases.push_back({"Tiles" + name,
                         {{100, 50, compression, 1, 0, 0, 32, 16}, {181, 70, compression, 2, 1, 0, 48, 32},
                          {64, 50, compression, 1, 0, 0, 64, 16}}});
        cases.push_back({"FillOrder2Strips" + name, {{203, 41, compression, 2, 0, 5}}});
    }
    // Regression: runs crossing row ends, in strips and tiles (the first
    // page: 16x4 in one 16x16 tile, whose rows 1 to 3 once came out wrong).
    cases.push_back({"PackBitsRunsCrossRowEnds",
                     {{16, 4, kPackBits, 1, 0, 0, 16, 16, true}, {45, 30, kPackBits, 1, 1, 7, 0, 0, true},
                      {70, 40, kPackBits, 2, 0, 0, 32, 16, true}, {203, 41, kPackBits, 2, 0, 41, 0, 0, true}}});
    // libtiff writes JBIG as one strip only.
    if (tvcore::CompressionReadable(kJbig)) {
        cases.push_back({"Jbig", {{1728, 90, kJbig, 1, 0, 90}, {203, 41, kJbig, 2, 1, 41}, {5, 3, kJbig, 1, 0, 3}}});
    }
    return cases;
}

// Printed by name: gtest would otherwise dump the object's bytes, padding included.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class AnyBilevelWritten : public ::testing::TestWithParam<Case> {};

TEST_P(AnyBilevelWritten, EveryPageReadsAsLibtiffReadsIt) {
    const Case& c = GetParam();
    tvtest::TempDir dir;
    const std::string path = dir.File("pages.tif");
    std::vector<Rows> content;
    for (std::size_t i = 0; i < c.pages.size(); ++i) {
        content.push_back(tvtest::DocumentPage(c.pages[i].width, c.pages[i].length, static_cast<std::uint32_t>(i + 1)));
        tvtest::ClearPadding(content.back(), c.pages[i].width);
    }
    WritePages(path, c.pages, content);

    for (std::uint32_t page = 0; page < c.pages.size(); ++page) {
        // libtiff reads JBIG only in whole strips; a strip whose runs cross
        // row ends reads as one stream only in whole strips.
        const bool wholeStrips = c.pages[page].compression == kJbig || c.pages[page].oneStream;
        const tvtest::LibtiffPage truth = tvtest::ReadPageWithLibtiff(path, page, wholeStrips);
        ASSERT_TRUE(truth.clean) << "page " << page;
        CTiffView view;
        view.SetOptions(TV_OPTION_ANY_BILEVEL);
        view.SelectPage(page);
        ASSERT_EQ(view.OpenFile(path.c_str()), TV_OK) << "page " << page;
        EXPECT_EQ(view.GetPageCount(), c.pages.size());
        TiffInfo_t info;
        view.GetImageInfo(&info);
        EXPECT_EQ(info.XResolution, 0.0);
        TiffPageInfo_t pageInfo;
        view.GetPageInfo(&pageInfo);
        EXPECT_EQ(pageInfo.PageIndex, page);
        EXPECT_EQ(pageInfo.TileWidth, c.pages[page].tileWidth);
        EXPECT_EQ(pageInfo.FillOrder, c.pages[page].fillOrder);
        Rows rows;
        std::vector<std::uint8_t> line((info.Width + 7) / 8);
        for (std::uint32_t y = 0; y < info.Length; ++y) {
            ASSERT_EQ(view.ReadALine(line.data()), TV_OK) << "page " << page << " line " << y;
            rows.push_back(line);
        }
        EXPECT_EQ(view.ReadALine(line.data()), TV_ERR_END_OF_IMAGE);
        tvtest::ClearPadding(rows, info.Width);
        EXPECT_EQ(tvtest::FirstDifference(rows, truth.rows), -1) << "page " << page;
        EXPECT_EQ(tvtest::FirstDifference(rows, content[page]), -1) << "page " << page;
    }
}

INSTANTIATE_TEST_SUITE_P(Libtiff, AnyBilevelWritten, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
