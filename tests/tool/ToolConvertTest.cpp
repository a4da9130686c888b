// tiffview convert: pixels against libtiff's own reading, output formats,
// and what is (not) left behind when reading or writing fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TiffView.h"
#include "tool/ImageFiles.h"
#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;
using tooltest::Sentence;

struct PixelCase {
    const char* label;
    tvtest::LibtiffOptions options;
    bool blackPage = false;  // an all-black page instead of a document page
};

// Named, so that gtest does not print the struct's padding bytes.
void PrintTo(const PixelCase& c, std::ostream* os) { *os << c.label; }

tvtest::LibtiffOptions Options(std::uint16_t compression, std::uint16_t photometric, std::uint32_t rowsPerStrip = 0,
                               bool bigEndian = false, std::uint16_t fillOrder = 1) {
    tvtest::LibtiffOptions o;
    o.compression = compression;
    o.photometric = photometric;
    o.rowsPerStrip = rowsPerStrip;
    o.bigEndian = bigEndian;
    o.fillOrder = fillOrder;
    return o;
}

class ConvertPixels : public ::testing::TestWithParam<PixelCase> {
protected:
    std::string WriteInput() {
        const PixelCase& c = GetParam();
        tvtest::LibtiffOptions o = c.options;
        if (!c.blackPage) return tooltest::WriteLibtiffPage(dir_, "in.tif", o);
        o.width = 77;
        o.length = 9;
        const std::string path = dir_.File("in.tif");
        tvtest::WriteWithLibtiff(path, o, tvtest::BlankPage(o.width, o.length, true));
        return path;
    }
    tvtest::TempDir dir_;
};

TEST_P(ConvertPixels, PbmMatchesLibtiff) {
    const std::string input = WriteInput();
    const std::string output = dir_.File("out.pbm");
    const tooltest::RunResult r = RunTool({"convert", input, "-o", output});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const tooltest::Picture picture = tooltest::ReadPbm(output);
    ASSERT_TRUE(picture.ok) << picture.problem;
    std::uint32_t width = 0;
    const tvtest::Rows expected = tvtest::ReadWithLibtiff(input, &width);
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, expected.size());
    EXPECT_EQ(tvtest::FirstDifference(picture.rows, expected), -1);
}

TEST_P(ConvertPixels, PngMatchesLibtiff) {
    if (!tooltest::ToolHasPng()) GTEST_SKIP() << "tool built without libpng";
    const std::string input = WriteInput();
    const std::string output = dir_.File("out.png");
    const tooltest::RunResult r = RunTool({"convert", input, "-o", output});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const tooltest::Picture picture = tooltest::ReadPng(output);
    ASSERT_TRUE(picture.ok) << picture.problem;
    std::uint32_t width = 0;
    const tvtest::Rows expected = tvtest::ReadWithLibtiff(input, &width);
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(tvtest::FirstDifference(picture.rows, expected), -1);
    // libtiff wrote 204 x 196 dots per inch.
    EXPECT_EQ(picture.xDotsPerMetre, 8031u);
    EXPECT_EQ(picture.yDotsPerMetre, 7717u);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, ConvertPixels,
    ::testing::Values(PixelCase{"UncompressedWhiteIsZero", Options(1, 0)},
                      PixelCase{"UncompressedBlackIsZeroStrips", Options(1, 1, 10)},
                      PixelCase{"UncompressedBigEndian", Options(1, 0, 0, true)},
                      PixelCase{"LzwWhiteIsZero", Options(5, 0, 16)},
                      PixelCase{"LzwBlackIsZeroBigEndian", Options(5, 1, 0, true)},
                      PixelCase{"Group3", Options(3, 0, 32)},
                      PixelCase{"Group4", Options(4, 0)},
                      PixelCase{"Group4BlackIsZeroStrips", Options(4, 1, 20)},
                      PixelCase{"Group4ReversedBits", Options(4, 0, 0, false, 2)},
                      PixelCase{"BlackPageWhiteIsZero", Options(1, 0), true},
                      PixelCase{"BlackPageBlackIsZero", Options(1, 1), true},
                      PixelCase{"BlackPageGroup4BlackIsZero", Options(4, 1), true}),
    [](const ::testing::TestParamInfo<PixelCase>& info) { return std::string(info.param.label); });

class ConvertForms : public ::testing::Test {
protected:
    tvtest::TempDir dir_;
};

TEST_F(ConvertForms, OlderFormWithOutputAsSecondOperand) {
    const std::string input = tooltest::WriteUncompressed(dir_, "in.tif");
    const tooltest::RunResult r = RunTool({"convert", input, dir_.File("old.pbm")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const tooltest::Picture picture = tooltest::ReadPbm(dir_.File("old.pbm"));
    ASSERT_TRUE(picture.ok) << picture.problem;
    EXPECT_EQ(tvtest::FirstDifference(picture.rows, tvtest::ReadWithLibtiff(input)), -1);
}

TEST_F(ConvertForms, FormatOptionWinsOverTheExtension) {
    const std::string input = tooltest::WriteUncompressed(dir_, "in.tif");
    const tooltest::RunResult r = RunTool({"convert", input, "--output=" + dir_.File("page.img"), "--format=pbm"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(tooltest::ReadPbm(dir_.File("page.img")).ok);
}

TEST_F(ConvertForms, UpperCaseExtensionChoosesTheFormat) {
    if (!tooltest::ToolHasPng()) GTEST_SKIP() << "tool built without libpng";
    const std::string input = tooltest::WriteUncompressed(dir_, "in.tif");
    const tooltest::RunResult r = RunTool({"convert", input, "-o", dir_.File("PAGE.PNG")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(tooltest::ReadPng(dir_.File("PAGE.PNG")).ok);
}

TEST_F(ConvertForms, ReplacedFileKeepsItsPermissions) {
    const std::string input = tooltest::WriteUncompressed(dir_, "in.tif");
    const std::string output = dir_.File("out.pbm");
    tvtest::WriteFileBytes(output, {'o', 'l', 'd'});
    std::filesystem::permissions(output, std::filesystem::perms(0640));
    const tooltest::RunResult r = RunTool({"convert", input, "-o", output});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(tooltest::ReadPbm(output).ok);
    EXPECT_EQ(std::filesystem::status(output).permissions(), std::filesystem::perms(0640));
}

// Every failure leaves the output directory as it was: no new file, no
// temporary, and an older file of the output's name untouched.
class ConvertFailure : public ::testing::Test {
protected:
    void ExpectOutputDirectoryUnchanged() {
        EXPECT_EQ(tooltest::ListFiles(out_.Path()), std::vector<std::string>{"keep.pbm"});
        EXPECT_EQ(tvtest::ReadFileBytes(out_.File("keep.pbm")), (tvtest::Bytes{'o', 'l', 'd'}));
    }
    void SetUp() override { tvtest::WriteFileBytes(out_.File("keep.pbm"), {'o', 'l', 'd'}); }

    tvtest::TempDir in_;
    tvtest::TempDir out_;
};

TEST_F(ConvertFailure, MissingInput) {
    const tooltest::RunResult r = RunTool({"convert", in_.File("none.tif"), "-o", out_.File("keep.pbm")});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.err.find("0xF0000003 TV_ERR_FILE_OPEN: " + Sentence(TV_ERR_FILE_OPEN) + " (No such file or directory)"),
              std::string::npos)
        << Describe(r);
    ExpectOutputDirectoryUnchanged();
}

TEST_F(ConvertFailure, RefusedInputNamesTheTag) {
    const std::string input = tooltest::WriteWithoutXResolution(in_, "nores.tif");
    const tooltest::RunResult r = RunTool({"convert", "--strict", input, "-o", out_.File("keep.pbm")});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.err.find("0xF0011A30 TV_ERR_TAG_MISSING (tag 282 XResolution): " + Sentence(TV_ERR_TAG_MISSING)),
              std::string::npos)
        << Describe(r);
    ExpectOutputDirectoryUnchanged();
}

TEST_F(ConvertFailure, StripThatCannotBeReadStopsTheConversion) {
    const std::string input = tooltest::WriteUnreadableSecondStrip(in_, "cut.tif");
    const tooltest::RunResult r = RunTool({"convert", "--strict", input, "-o", out_.File("keep.pbm")});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    // Strip 1 holds lines 3 to 5; the strict profile reads it when line 2 is
    // asked for.
    EXPECT_NE(r.err.find("line 2: 0xF0000161 TV_ERR_STRIP_READ (strip 1): " + Sentence(TV_ERR_STRIP_READ)),
              std::string::npos)
        << Describe(r);
    ExpectOutputDirectoryUnchanged();
}

TEST_F(ConvertFailure, UndecodableLineStopsTheConversion) {
    const std::string input = tooltest::WriteLzwUndecodable(in_, "bad.tif");
    const tooltest::RunResult r = RunTool({"convert", "--strict", input, "-o", out_.File("keep.pbm")});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.err.find("0xF0000052 TV_ERR_DECODE: " + Sentence(TV_ERR_DECODE)), std::string::npos) << Describe(r);
    ExpectOutputDirectoryUnchanged();
}

TEST_F(ConvertFailure, WriteErrorPartWayLeavesNoPartialFile) {
    // A 200 kB page against a 64 kB file size limit: the write fails in
    // the middle of the raster.
    tvtest::LibtiffOptions o;
    o.width = 2000;
    o.length = 800;
    const std::string input = tooltest::WriteLibtiffPage(in_, "big.tif", o);
    tooltest::RunOptions limited;
    limited.fileSizeLimit = 64 * 1024;
    const tooltest::RunResult r = RunTool({"convert", input, "-o", out_.File("keep.pbm")}, limited);
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("cannot write " + out_.File("keep.pbm")), std::string::npos) << Describe(r);
    ExpectOutputDirectoryUnchanged();
}

struct UnwritableCase {
    const char* label;
    const char* target;  // relative to the output directory
    const char* reason;
};

class ConvertUnwritable : public ConvertFailure, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(ConvertUnwritable, ExitsThreeAndWritesNothing) {
    const std::string input = tooltest::WriteUncompressed(in_, "in.tif");
    std::filesystem::create_directory(out_.File("sub"));
    std::filesystem::create_directory(out_.File("dir.pbm"));
    const std::string target = out_.File(GetParam().target);
    const tooltest::RunResult r = RunTool({"convert", input, "-o", target});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("tiffview convert: cannot write " + target + ": " + GetParam().reason), std::string::npos)
        << Describe(r);
    EXPECT_EQ(tooltest::ListFiles(out_.Path()), (std::vector<std::string>{"dir.pbm", "keep.pbm", "sub"}));
    EXPECT_TRUE(tooltest::ListFiles(out_.File("sub")).empty());
    EXPECT_TRUE(tooltest::ListFiles(out_.File("dir.pbm")).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tool, ConvertUnwritable,
    ::testing::Values(UnwritableCase{"MissingDirectory", "nodir/out.pbm", "No such file or directory"},
                      UnwritableCase{"ParentIsAFile", "keep.pbm/out.pbm", "Not a directory"},
                      UnwritableCase{"TargetIsADirectory", "dir.pbm", "is a directory"}),
    [](const ::testing::TestParamInfo<UnwritableCase>& info) { return std::string(info.param.label); });

// Lines delivered with warnings are written and reported, and the run
// succeeds, as tiffcp's does; --fatal-warnings writes nothing and exits 4.
TEST(ConvertWarnings, ShortStripIsWrittenReportedAndLogged) {
    for (const bool fatal : {false, true}) {
        tvtest::TempDir logs;
        tvtest::TempDir dir;
        // Two strips of 4 rows; strip 0 holds only 3.
        const std::string input = tooltest::WriteLzwWithShortStrip(dir, "short.tif", 2, 4, 0);
        // The strict profile's reader writes the diagnostic log.
        std::vector<std::string> args{"--strict", "convert", "--log-dir", logs.Path(), input, "-o", dir.File("out.pbm")};
        if (fatal) args.push_back("--fatal-warnings");
        const tooltest::RunResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, fatal ? 4 : 0) << Describe(r);
        EXPECT_NE(r.err.find("warning: line 3: 0xF0000053 TV_ERR_STRIP_SHORT: " + Sentence(TV_ERR_STRIP_SHORT)),
                  std::string::npos)
            << Describe(r);
        const std::vector<std::string> written = tooltest::ListFiles(logs.Path());
        ASSERT_EQ(written.size(), 1u) << Describe(r);
        EXPECT_NE(r.err.find("diagnostic log written: " + logs.File(written[0])), std::string::npos) << Describe(r);
        if (fatal) {
            EXPECT_NE(r.err.find("out.pbm not written: warnings are fatal"), std::string::npos) << Describe(r);
            EXPECT_EQ(tooltest::ListFiles(dir.Path()), std::vector<std::string>{"short.tif"}) << Describe(r);
            continue;
        }
        // Every line is there; the missing row of strip 0 comes out white.
        const tooltest::Picture picture = tooltest::ReadPbm(dir.File("out.pbm"));
        ASSERT_TRUE(picture.ok) << picture.problem;
        ASSERT_EQ(picture.height, 8u);
        const tvtest::Rows page = tvtest::NoisePage(24, 8, 11);
        for (std::uint32_t y : {0u, 1u, 2u, 4u, 5u, 6u, 7u}) EXPECT_EQ(picture.rows[y], page[y]) << "line " << y;
        EXPECT_EQ(picture.rows[3], tvtest::Bytes(3, 0));
    }
}

// A page is read in one call when --max-memory leaves room, otherwise in
// bands of as many rows as it does; either way the image and the warnings,
// one range across the bands, are the same.
TEST(ConvertBands, TightLimitWritesWhatNoLimitWrites) {
    tvtest::TempDir dir;
    // 16000 x 4 uncompressed, its strip holding 4500 of its 8000 bytes:
    // lines 2 and 3 short. Decoding it needs about 8500 bytes, so a limit
    // of 9000 leaves room for a band of one row.
    tvtest::BilevelLayout layout;
    layout.width = 16000;
    layout.length = 4;
    tvtest::Bytes strip = tvtest::JoinRows(tvtest::NoisePage(16000, 4, 3));
    strip.resize(4500);
    layout.strips.push_back(strip);
    const std::string input = dir.Write("short.tif", tvtest::MakeBilevel(layout).Build());
    const std::string warning =
        "short.tif: warning: lines 2-3: 0xF0000055 TV_ERR_LINE_SHORT: " + Sentence(TV_ERR_LINE_SHORT);
    std::vector<tvtest::Bytes> images;
    for (const char* limit : {"0", "9000"}) {
        const std::string out = dir.File(std::string("out-") + limit + ".pbm");
        const tooltest::RunResult r = RunTool({"convert", "--max-memory", limit, input, "-o", out});
        EXPECT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_NE(r.err.find(warning), std::string::npos) << limit << Describe(r);
        images.push_back(tvtest::ReadFileBytes(out));
    }
    EXPECT_EQ(images[0], images[1]);
    EXPECT_EQ(images[0].size(), std::string("P4\n16000 4\n").size() + 8000);
}

}  // namespace
