// convert FILE... --output-dir DIR: every file on its own into DIR under
// its own name, past bad files, ending with a count.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TiffView.h"
#include "tool/ImageFiles.h"
#include "tool/PageFiles.h"
#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        tvtest::LibtiffOptions o;
        o.compression = 4;
        good_ = tooltest::WriteLibtiffPage(in_, "good.tif", o);
        bad_ = tooltest::WriteRefusedCoding(in_, "bad.tif");
        three_ = in_.File("three.tiff");
        tooltest::WritePages(three_, {tooltest::Page(301, 97, 4), tooltest::Page(120, 50, 5),
                                      tooltest::Page(64, 20, 3)});
    }
    tvtest::TempDir in_;
    tvtest::TempDir out_;
    std::string good_;
    std::string bad_;
    std::string three_;
};

struct BatchCase {
    const char* label;
    std::vector<std::string> options;
    std::vector<std::string> files;  // what DIR holds afterwards
    bool png;
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.label; }

class BatchFormats : public Batch, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(BatchFormats, GoesOnPastTheBadFileAndCounts) {
    const BatchCase& c = GetParam();
    if (c.png && !tooltest::ToolHasPng()) GTEST_SKIP() << "tool built without libpng";
    const std::string dir = out_.File("made");  // missing: the tool makes it
    std::vector<std::string> args{"convert", good_, bad_, three_, "--output-dir", dir};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const tooltest::RunResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, "3 files: 2 converted, 1 failed\n") << Describe(r);
    EXPECT_NE(r.err.find(bad_ + ": 0xF0000042 TV_ERR_COMPRESSION"), std::string::npos) << Describe(r);
    EXPECT_EQ(tooltest::ListFiles(dir), c.files);

    const std::string first = dir + "/" + c.files[0];
    const tooltest::Picture picture = c.png ? tooltest::ReadPng(first) : tooltest::ReadPbm(first);
    ASSERT_TRUE(picture.ok) << picture.problem;
    EXPECT_EQ(tvtest::FirstDifference(picture.rows, tvtest::ReadWithLibtiff(good_)), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, BatchFormats,
    ::testing::Values(BatchCase{"Pbm", {}, {"good.pbm", "three.pbm"}, false},
                      BatchCase{"Png", {"--format", "png"}, {"good.png", "three-1.png", "three-2.png", "three-3.png"},
                                true}),
    [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.label); });

TEST_F(Batch, EveryPageOfAFileInOnePbm) {
    const tooltest::RunResult r = RunTool({"convert", "--output-dir=" + out_.Path(), three_});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
    const std::vector<tooltest::Picture> images = tooltest::ReadPbmImages(out_.File("three.pbm"));
    ASSERT_EQ(images.size(), 3u);
    for (std::uint32_t p = 0; p < 3; ++p)
        EXPECT_EQ(tvtest::FirstDifference(images[p].rows, tvtest::ReadPageWithLibtiff(three_, p).rows), -1);
}

TEST_F(Batch, ProgressBarGoesToStandardErrorOnly) {
    const tooltest::RunResult r = RunTool({"convert", "--progress", good_, three_, "--output-dir", out_.Path()});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, "2 files: 2 converted, 0 failed\n") << Describe(r);
    EXPECT_NE(r.err.find("\r\033[K["), std::string::npos) << Describe(r);
}

TEST_F(Batch, SameNameFromTwoDirectoriesIsNotOverwritten) {
    tvtest::TempDir other;
    const std::string twin = tooltest::WriteUncompressed(other, "good.tif");
    const tooltest::RunResult r = RunTool({"convert", good_, twin, "--output-dir", out_.Path()});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_EQ(r.out, "2 files: 1 converted, 1 failed\n") << Describe(r);
    EXPECT_NE(r.err.find(twin + ": not converted: " + out_.File("good.pbm") + " was already written from " + good_),
              std::string::npos)
        << Describe(r);
    EXPECT_EQ(tvtest::FirstDifference(tooltest::ReadPbm(out_.File("good.pbm")).rows, tvtest::ReadWithLibtiff(good_)),
              -1);
}

TEST_F(Batch, OutputDirectoryThatIsAFileFailsBeforeAnyWork) {
    const std::string file = tooltest::WriteUncompressed(out_, "file.tif");
    const tooltest::RunResult r = RunTool({"convert", good_, "--output-dir", file});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("cannot use output directory " + file + ": Not a directory"), std::string::npos)
        << Describe(r);
}

}  // namespace
