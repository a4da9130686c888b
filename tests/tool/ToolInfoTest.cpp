// tiffview info: the fields of each block against what libtiff wrote, the
// strip table against libtiff's own, and failures reported per file and
// per page. (Files of several pages and tiles: ToolPagesTest.)
#include <gtest/gtest.h>
#include <tiffio.h>

#include "TiffView.h"

#include <string>
#include <vector>

#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

struct InfoCase {
    const char* label;
    std::uint16_t compression;
    std::uint16_t photometric;
    bool bigEndian;
    std::uint32_t rowsPerStrip;
    const char* expectedBlock;  // after the file's byte order, page count and "page 1:" lines
};

// Named, so that gtest does not print the struct's padding bytes.
void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.label; }

class InfoFields : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoFields, BlockDescribesTheImage) {
    const InfoCase& c = GetParam();
    tvtest::TempDir dir;
    tvtest::LibtiffOptions o;
    o.compression = c.compression;
    o.photometric = c.photometric;
    o.bigEndian = c.bigEndian;
    o.rowsPerStrip = c.rowsPerStrip;
    const std::string path = tooltest::WriteLibtiffPage(dir, "page.tif", o);
    const tooltest::RunResult r = RunTool({"info", path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    const std::string head = path + "\n  byte order:   " +
                             (c.bigEndian ? "big-endian (MM)" : "little-endian (II)") +
                             "\n  pages:        1\n  page 1:\n";
    // libtiff writes PlanarConfiguration, which no field shows.
    EXPECT_EQ(r.out, head + c.expectedBlock + "    tags:\n      284 PlanarConfiguration: 1\n") << Describe(r);
    EXPECT_TRUE(r.err.empty()) << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, InfoFields,
    ::testing::Values(
        InfoCase{"Uncompressed", 1, 0, false, 0,
                 "    width:        301\n"
                 "    length:       97\n"
                 "    compression:  1 (none)\n"
                 "    photometric:  0 (WhiteIsZero)\n"
                 "    resolution:   204 x 196 dots per inch\n"
                 "    fill order:   1 (most significant bit first)\n"
                 "    orientation:  1 (row 0 top, column 0 left)\n"
                 "    strips:       1 strip\n"},
        InfoCase{"Group4BlackIsZeroBigEndianStrips", 4, 1, true, 40,
                 "    width:        301\n"
                 "    length:       97\n"
                 "    compression:  4 (CCITT T.6 (Group 4))\n"
                 "    photometric:  1 (BlackIsZero)\n"
                 "    resolution:   204 x 196 dots per inch\n"
                 "    fill order:   1 (most significant bit first)\n"
                 "    orientation:  1 (row 0 top, column 0 left)\n"
                 "    strips:       3 strips, 40 rows each\n"},
        InfoCase{"Group3", 3, 0, false, 0,
                 "    width:        301\n"
                 "    length:       97\n"
                 "    compression:  3 (CCITT T.4 (Group 3))\n"
                 "    photometric:  0 (WhiteIsZero)\n"
                 "    resolution:   204 x 196 dots per inch\n"
                 "    fill order:   1 (most significant bit first)\n"
                 "    orientation:  1 (row 0 top, column 0 left)\n"
                 "    T4 options:   4 (1-D coding, fill bits)\n"
                 "    strips:       1 strip\n"},
        InfoCase{"Lzw", 5, 0, false, 50,
                 "    width:        301\n"
                 "    length:       97\n"
                 "    compression:  5 (LZW)\n"
                 "    photometric:  0 (WhiteIsZero)\n"
                 "    resolution:   204 x 196 dots per inch\n"
                 "    fill order:   1 (most significant bit first)\n"
                 "    orientation:  1 (row 0 top, column 0 left)\n"
                 "    strips:       2 strips, 50 rows each\n"}),
    [](const ::testing::TestParamInfo<InfoCase>& info) { return std::string(info.param.label); });

// The strip table, as the library reads it, against libtiff's reading of
// the same file.
struct StripCase {
    const char* label;
    std::uint16_t compression;
    bool bigEndian;
    std::uint32_t rowsPerStrip;
};

void PrintTo(const StripCase& c, std::ostream* os) { *os << c.label; }

class InfoStrips : public ::testing::TestWithParam<StripCase> {};

TEST_P(InfoStrips, TableMatchesLibtiff) {
    const StripCase& c = GetParam();
    tvtest::TempDir dir;
    tvtest::LibtiffOptions o;
    o.compression = c.compression;
    o.bigEndian = c.bigEndian;
    o.rowsPerStrip = c.rowsPerStrip;
    const std::string path = tooltest::WriteLibtiffPage(dir, "page.tif", o);

    std::string expected = "    strip table:\n         strip        offset         bytes      rows\n";
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint32_t length = 0;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
    const tstrip_t strips = TIFFNumberOfStrips(tif);
    for (tstrip_t s = 0; s < strips; ++s) {
        const std::uint32_t rows = std::min<std::uint32_t>(c.rowsPerStrip, length - s * c.rowsPerStrip);
        char line[128];
        std::snprintf(line, sizeof line, "      %8u  %12llu  %12llu  %8u\n", static_cast<unsigned>(s),
                      static_cast<unsigned long long>(TIFFGetStrileOffset(tif, s)),
                      static_cast<unsigned long long>(TIFFGetStrileByteCount(tif, s)), static_cast<unsigned>(rows));
        expected += line;
    }
    TIFFClose(tif);
    ASSERT_GT(strips, 1u);

    const tooltest::RunResult r = RunTool({"info", "--strips", path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    const std::string::size_type table = r.out.find("    strip table:\n");
    ASSERT_NE(table, std::string::npos) << Describe(r);
    EXPECT_EQ(r.out.substr(table, r.out.find("    tags:\n") - table), expected);
}

INSTANTIATE_TEST_SUITE_P(Tool, InfoStrips,
                         ::testing::Values(StripCase{"UncompressedLittleEndian", 1, false, 10},
                                           StripCase{"Group4BigEndian", 4, true, 16},
                                           StripCase{"LzwLastStripShort", 5, false, 30}),
                         [](const ::testing::TestParamInfo<StripCase>& info) { return std::string(info.param.label); });

// Each refused file gets its code in hex, the code's name, the context and
// the library's English sentence. Some files only the strict profile refuses.
struct RefusedCase {
    const char* label;
    bool strict;
    tvtest::Bytes (*make)();
    const char* expectedHead;  // the code in hex, its name and context
    std::uint32_t code;        // whose sentence follows
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.label; }

tvtest::Bytes SevenBytes() { return {'I', 'I', 42, 0, 8, 0, 0}; }
tvtest::Bytes WrongByteOrder() { return {'I', 'M', 42, 0, 8, 0, 0, 0}; }
tvtest::Bytes FirstOffsetZero() { return {'I', 'I', 42, 0, 0, 0, 0, 0}; }
tvtest::Bytes NoXResolution() {
    tvtest::BilevelLayout layout;
    layout.strips.push_back(tvtest::Bytes(1, 0));
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.Remove(282);
    return b.Build();
}
tvtest::Bytes ThreeSamples() {
    tvtest::BilevelLayout layout;
    layout.strips.push_back(tvtest::Bytes(1, 0));
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.Remove(277);
    b.AddShort(277, 3);
    return b.Build();
}
tvtest::Bytes PhotometricRgb() {
    tvtest::BilevelLayout layout;
    layout.photometric = 2;
    layout.strips.push_back(tvtest::Bytes(1, 0));
    return tvtest::MakeBilevel(layout).Build();
}
tvtest::Bytes CompressionTwo() {
    tvtest::BilevelLayout layout;
    layout.compression = 2;
    layout.strips.push_back(tvtest::Bytes(1, 0));
    return tvtest::MakeBilevel(layout).Build();
}
tvtest::Bytes ShortStripOffsets() {
    tvtest::BilevelLayout layout;
    layout.strips.push_back(tvtest::Bytes(1, 0));
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.Find(273)->type = tvtest::kShort;
    return b.Build();
}

class InfoRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(InfoRefused, ReportsCodeNameAndMessage) {
    tvtest::TempDir dir;
    const std::string path = dir.Write("bad.tif", GetParam().make());
    const tooltest::RunResult r =
        GetParam().strict ? RunTool({"info", "--strict", path}) : RunTool({"info", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, path + "\n  error:        " + GetParam().expectedHead + ": " +
                         tooltest::Sentence(GetParam().code) + "\n")
        << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, InfoRefused,
    ::testing::Values(
        RefusedCase{"SevenBytes", false, SevenBytes, "0xF0000010 TV_ERR_HEADER_SHORT", TV_ERR_HEADER_SHORT},
        RefusedCase{"WrongByteOrder", false, WrongByteOrder, "0xF0000011 TV_ERR_BYTE_ORDER", TV_ERR_BYTE_ORDER},
        RefusedCase{"FirstOffsetZero", false, FirstOffsetZero, "0xF0000013 TV_ERR_IFD_OFFSET_ZERO", TV_ERR_IFD_OFFSET_ZERO},
        RefusedCase{"NoXResolution", true, NoXResolution,
                    "0xF0011A30 TV_ERR_TAG_MISSING (tag 282 XResolution)", TV_ERR_TAG_MISSING},
        // By default such a page is described, not refused (ToolOutcomesTest).
        RefusedCase{"ThreeSamples", true, ThreeSamples, "0xF0000040 TV_ERR_SAMPLES_PER_PIXEL", TV_ERR_SAMPLES_PER_PIXEL},
        RefusedCase{"PhotometricRgb", false, PhotometricRgb,
                    "0xF0000043 TV_ERR_PHOTOMETRIC", TV_ERR_PHOTOMETRIC},
        RefusedCase{"CompressionTwo", true, CompressionTwo, "0xF0000042 TV_ERR_COMPRESSION", TV_ERR_COMPRESSION},
        RefusedCase{"ShortStripOffsets", true, ShortStripOffsets,
                    "0xF0011132 TV_ERR_TAG_TYPE (tag 273 StripOffsets)", TV_ERR_TAG_TYPE}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.label); });

TEST(InfoShortTables, ReadByDefaultRefusedByTheStrictProfile) {
    // libtiff stores the strip tables of small strips as SHORT.
    tvtest::TempDir dir;
    tvtest::LibtiffOptions o;
    o.width = 64;
    o.length = 20;
    o.rowsPerStrip = 8;
    const std::string path = dir.File("raw.tif");
    tvtest::WriteWithLibtiffRaw(path, o, tvtest::NoisePage(64, 20, 5));
    const tooltest::RunResult r = RunTool({"info", "--strips", path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    // 8 bytes a row: strips of 64, 64 and 32 bytes.
    EXPECT_NE(r.out.find("             0             8            64         8\n"), std::string::npos) << Describe(r);
    EXPECT_NE(r.out.find("             2           136            32         4\n"), std::string::npos) << Describe(r);

    const tooltest::RunResult strict = RunTool({"--strict", "info", "--strips", path});
    EXPECT_EQ(strict.exitCode, 1) << Describe(strict);
    EXPECT_EQ(strict.out,
              path + "\n  error:        0xF0011732 TV_ERR_TAG_TYPE (tag 279 StripByteCounts): " +
                  tooltest::Sentence(TV_ERR_TAG_TYPE) + "\n")
        << Describe(strict);
}

TEST(InfoBatch, RefusedFileDoesNotStopTheOthers) {
    tvtest::TempDir dir;
    const std::string good1 = tooltest::WriteUncompressed(dir, "a.tif");
    const std::string missing = dir.File("missing.tif");
    const std::string good2 = tooltest::WriteUncompressed(dir, "c.tif", 9, 2);
    const tooltest::RunResult r = RunTool({"info", good1, missing, good2});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    const std::string::size_type a = r.out.find(good1 + "\n  byte order:   ");
    const std::string::size_type b = r.out.find("\n\n" + missing + "\n  error:        0xF0000003 TV_ERR_FILE_OPEN: " +
                                                tooltest::Sentence(TV_ERR_FILE_OPEN) + " (No such file or directory)\n");
    const std::string::size_type c = r.out.find("\n\n" + good2 + "\n  byte order:   ");
    EXPECT_EQ(a, 0u) << Describe(r);
    EXPECT_NE(b, std::string::npos) << Describe(r);
    EXPECT_NE(c, std::string::npos) << Describe(r);
    EXPECT_LT(b, c) << Describe(r);
}

TEST(InfoBatch, AllGoodFilesExitZero) {
    tvtest::TempDir dir;
    const tooltest::RunResult r =
        RunTool({"info", tooltest::WriteUncompressed(dir, "a.tif"), tooltest::WriteUncompressed(dir, "b.tif")});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
}

TEST(InfoPages, RefusedPageDoesNotStopTheOthers) {
    // A second directory holding nothing but a width.
    tvtest::TempDir dir;
    tvtest::BilevelLayout layout;
    layout.strips.push_back(tvtest::Bytes(1, 0x80));
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.NewDirectory();
    b.AddLong(256, 99);
    const std::string path = dir.Write("two.tif", b.Build());
    const tooltest::RunResult r = RunTool({"info", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.out.find("  pages:        2\n  page 1:\n    width:        8\n"), std::string::npos) << Describe(r);
    EXPECT_NE(r.out.find("  page 2:\n    error:        0xF0"), std::string::npos) << Describe(r);
}

}  // namespace
