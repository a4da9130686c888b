// Uncompressed images written by libtiff decode to exactly what was written,
// and to what libtiff itself reads back.
#include <gtest/gtest.h>

#include <tiffio.h>

#include "TiffView.h"
#include "support/LibtiffImage.h"

namespace {

using tvtest::LibtiffOptions;
using tvtest::Rows;

struct Variant {
    std::uint32_t width;
    std::uint32_t length;
    std::uint32_t rowsPerStrip;
    std::uint16_t photometric;
    bool bigEndian;
};

TEST(UncompressedInterop, LibtiffWrittenImagesMatchPixelForPixel) {
    const Variant variants[] = {
        {1, 1, 0, 0, false},     {7, 13, 0, 1, true},     {8, 9, 1, 0, false},    {9, 30, 7, 1, false},
        {17, 64, 64, 0, true},   {31, 100, 33, 1, true},  {1728, 40, 0, 0, false}, {1728, 97, 16, 1, true},
        {10000, 12, 5, 0, false}, {2481, 50, 7, 1, false},
    };
    tvtest::TempDir dir;
    std::uint32_t seed = 7;
    for (const Variant& v : variants) {
        SCOPED_TRACE(testing::Message() << "width " << v.width << " length " << v.length << " rps " << v.rowsPerStrip
                                        << " photometric " << v.photometric << (v.bigEndian ? " MM" : " II")
                                        << " seed " << seed);
        const Rows rows = tvtest::NoisePage(v.width, v.length, seed++, 0.3);
        LibtiffOptions o;
        o.width = v.width;
        o.length = v.length;
        o.rowsPerStrip = v.rowsPerStrip;
        o.photometric = v.photometric;
        o.bigEndian = v.bigEndian;
        const std::string path = dir.File("u.tif");
        tvtest::WriteWithLibtiff(path, o, rows);
        const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
        ASSERT_EQ(ours.openResult, TV_OK);
        EXPECT_EQ(tvtest::FirstDifference(ours.rows, rows), -1);
        EXPECT_EQ(tvtest::FirstDifference(ours.rows, tvtest::ReadWithLibtiff(path)), -1);
        for (std::uint32_t r : ours.lineResults) EXPECT_EQ(r, TV_OK);
    }
}

TEST(UncompressedInterop, ShortStripTablesAsLibtiffWritesThemAreRefused) {
    tvtest::TempDir dir;
    const std::string path = dir.File("short.tif");
    LibtiffOptions o;
    o.width = 16;
    o.length = 8;
    o.rowsPerStrip = 2;
    tvtest::WriteWithLibtiffRaw(path, o, tvtest::BlankPage(16, 8, false));
    CTiffView view;
    const std::uint32_t result = view.ParseFile(path.c_str(), 0);
    EXPECT_EQ(result & TV_CODE_MASK, TV_ERR_TAG_TYPE);
    const std::uint32_t tag = (result >> 8) & 0xFFFF;
    EXPECT_TRUE(tag == Tag_StripOffsets || tag == Tag_StripByteCounts) << tag;
    EXPECT_GT(tvtest::WidenStripTables(path), 0);
    EXPECT_EQ(view.ParseFile(path.c_str(), 0), TV_OK);
}

}  // namespace
