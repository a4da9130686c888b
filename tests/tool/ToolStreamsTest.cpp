// Standard input and output: "-" as the input (through a pipe or a
// redirected file, read whole into memory) and as the output (PBM, several
// pages as one image after another), what standard output holds when a
// file fails, and inputs the library cannot name itself.
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

tvtest::Bytes AsBytes(const std::string& text) { return tvtest::Bytes(text.begin(), text.end()); }

std::string AsText(const tvtest::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Three pages: Group 4, then LZW, then Group 3.
std::vector<tooltest::PageLayout> ThreePages() {
    tooltest::PageLayout lzw = tooltest::Page(120, 50, 5);
    lzw.rowsPerStrip = 16;
    return {tooltest::Page(301, 97, 4), lzw, tooltest::Page(64, 20, 3)};
}

class Streams : public ::testing::Test {
protected:
    void SetUp() override {
        tvtest::LibtiffOptions o;
        o.compression = 4;
        o.rowsPerStrip = 40;
        page_ = tooltest::WriteLibtiffPage(in_, "page.tif", o);
        // A working directory of its own, to see that no file named "-" appears.
        options_.workingDirectory = cwd_.Path();
    }
    // Feeds `input`'s bytes through a pipe, or opens it as a redirection.
    void Feed(const std::string& input, bool pipe) {
        if (pipe) {
            options_.pipeInput = true;
            options_.input = AsText(tvtest::ReadFileBytes(input));
        } else {
            options_.inputFile = input;
        }
    }

    tvtest::TempDir in_;
    tvtest::TempDir cwd_;
    std::string page_;
    tooltest::RunOptions options_;
};

struct StreamCase {
    const char* label;
    bool pipe;
    std::vector<std::string> args;
    bool png;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.label; }

class StdinToStdout : public Streams, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StdinToStdout, PixelsMatchLibtiffAndNoFileAppears) {
    const StreamCase& c = GetParam();
    if (c.png && !tooltest::ToolHasPng()) GTEST_SKIP() << "tool built without libpng";
    Feed(page_, c.pipe);
    const tooltest::RunResult r = RunTool(c.args, options_);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_TRUE(r.err.empty()) << Describe(r);
    tooltest::Picture picture;
    if (c.png) {
        tvtest::WriteFileBytes(in_.File("out.png"), AsBytes(r.out));
        picture = tooltest::ReadPng(in_.File("out.png"));
    } else {
        const std::vector<tooltest::Picture> images = tooltest::ParsePbmImages(AsBytes(r.out));
        ASSERT_EQ(images.size(), 1u);
        picture = images[0];
    }
    ASSERT_TRUE(picture.ok) << picture.problem;
    std::uint32_t width = 0;
    const tvtest::Rows expected = tvtest::ReadWithLibtiff(page_, &width);
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(tvtest::FirstDifference(picture.rows, expected), -1);
    EXPECT_TRUE(tooltest::ListFiles(cwd_.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tool, StdinToStdout,
    ::testing::Values(StreamCase{"PipeToPbm", true, {"convert", "-", "-o", "-"}, false},
                      StreamCase{"RedirectedFileToPbm", false, {"convert", "-", "--output=-"}, false},
                      StreamCase{"PipeOlderForm", true, {"convert", "-", "-"}, false},
                      StreamCase{"PipeToPng", true, {"convert", "-", "-o", "-", "--format", "png"}, true}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.label); });

TEST_F(Streams, FileToStandardOutputCreatesNoFileNamedDash) {
    const tooltest::RunResult r = RunTool({"convert", page_, "-o", "-"}, options_);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out.rfind("P4\n301 97\n", 0), 0u) << Describe(r);
    EXPECT_TRUE(tooltest::ListFiles(cwd_.Path()).empty());
}

TEST_F(Streams, CheckAndInfoReadStandardInput) {
    Feed(page_, true);
    const tooltest::RunResult checked = RunTool({"check", "-"}, options_);
    EXPECT_EQ(checked.exitCode, 0) << Describe(checked);
    EXPECT_EQ(checked.out, "(standard input): OK (97 lines)\n") << Describe(checked);
    const tooltest::RunResult info = RunTool({"info", "-"}, options_);
    EXPECT_EQ(info.exitCode, 0) << Describe(info);
    EXPECT_EQ(info.out.rfind("(standard input)\n  byte order:   little-endian (II)\n  pages:        1\n", 0), 0u)
        << Describe(info);
}

TEST_F(Streams, EveryPageGoesOutAsOneImageAfterAnother) {
    const std::string three = in_.File("three.tif");
    tooltest::WritePages(three, ThreePages());
    Feed(three, true);
    const tooltest::RunResult r = RunTool({"convert", "-", "-o", "-"}, options_);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const std::vector<tooltest::Picture> images = tooltest::ParsePbmImages(AsBytes(r.out));
    ASSERT_EQ(images.size(), 3u);
    for (std::uint32_t p = 0; p < 3; ++p) {
        ASSERT_TRUE(images[p].ok) << "page " << p + 1 << ": " << images[p].problem;
        EXPECT_EQ(tvtest::FirstDifference(images[p].rows, tvtest::ReadPageWithLibtiff(three, p).rows), -1)
            << "page " << p + 1;
    }
}

// A file that fails before its image begins leaves standard output empty.
struct NothingCase {
    const char* label;
    tvtest::Bytes (*make)(const tvtest::TempDir&);  // null: a missing file
    std::vector<std::string> options;
    const char* phrase;  // on standard error
};

void PrintTo(const NothingCase& c, std::ostream* os) { *os << c.label; }

tvtest::Bytes NotTiff(const tvtest::TempDir&) { return AsBytes("P4\n1 1\n\x80"); }

tvtest::Bytes Pages(const tvtest::TempDir& dir) {
    tooltest::WritePages(dir.File("pages.tif"), ThreePages());
    return tvtest::ReadFileBytes(dir.File("pages.tif"));
}

// Page 2 of three in a coding no build decodes: refused before the first
// page is written.
tvtest::Bytes RefusedSecondPage(const tvtest::TempDir& dir) {
    std::vector<tooltest::PageLayout> pages = ThreePages();
    pages[1] = tooltest::Page(8, 8, 50000);
    pages[1].rawStrip = tvtest::Bytes(8, 0x55);
    tooltest::WritePages(dir.File("pages.tif"), pages);
    return tvtest::ReadFileBytes(dir.File("pages.tif"));
}

tvtest::Bytes SmallPage(const tvtest::TempDir& dir) {
    return tvtest::ReadFileBytes(tooltest::WriteUncompressed(dir, "small.tif", 2000, 4));
}

class NothingWritten : public Streams, public ::testing::WithParamInterface<NothingCase> {};

TEST_P(NothingWritten, StandardOutputStaysEmpty) {
    const NothingCase& c = GetParam();
    std::vector<std::string> args{"convert", c.make ? in_.Write("in.tif", c.make(in_)) : in_.File("none.tif"), "-o",
                                  "-"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const tooltest::RunResult r = RunTool(args, options_);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
    EXPECT_NE(r.err.find(c.phrase), std::string::npos) << Describe(r);
    EXPECT_TRUE(tooltest::ListFiles(cwd_.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tool, NothingWritten,
    ::testing::Values(NothingCase{"MissingFile", nullptr, {}, "(No such file or directory)"},
                      NothingCase{"NotATiff", NotTiff, {}, "TV_ERR_BYTE_ORDER"},
                      NothingCase{"SeveralPagesAsPng", Pages, {"--format", "png"},
                                  "standard output takes a single PNG image"},
                      NothingCase{"LaterPageRefused", RefusedSecondPage, {},
                                  "page 2: 0xF0000042 TV_ERR_COMPRESSION"},
                      NothingCase{"PageOverTheMemoryLimit", SmallPage, {"--max-memory", "300"},
                                  "raise the limit with --max-memory"}),
    [](const ::testing::TestParamInfo<NothingCase>& info) { return std::string(info.param.label); });

TEST_F(Streams, BinaryImageIsNotWrittenToATerminal) {
    options_.onTerminal = true;
    const tooltest::RunResult r = RunTool({"convert", page_, "-o", "-"}, options_);
    if (r.noTerminal) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.exitCode, 2) << Describe(r);
    EXPECT_NE(r.out.find("standard output is a terminal"), std::string::npos) << Describe(r);
    EXPECT_EQ(r.out.find("P4"), std::string::npos) << Describe(r);
}

TEST_F(Streams, PathLongerThanTheLibraryTakesIsRead) {
    // The library's own names stop at 260 bytes.
    std::string dir = in_.Path();
    while (dir.size() < 300) dir += "/" + std::string(40, 'd');
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/page.tif";
    std::filesystem::copy_file(page_, path);
    const tooltest::RunResult r = RunTool({"check", path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, path + ": OK (97 lines)\n") << Describe(r);
}

}  // namespace
