// Files of several pages and the reading profiles: info describes every
// page, check decodes every page, convert writes one page or all of them
// under the documented names, and --strict holds a file to the library's
// strict profile.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "TiffView.h"
#include "support/LzwEncoder.h"
#include "tool/ImageFiles.h"
#include "tool/PageFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::PageLayout;
using tooltest::RunTool;

// Group 4 with resolution; LZW BlackIsZero without; Group 3 with its bits
// reversed in each byte. libtiff stores the small tables as SHORT.
std::vector<PageLayout> ThreePages() {
    PageLayout g4 = tooltest::Page(301, 97, 4);
    g4.rowsPerStrip = 40;
    PageLayout lzw = tooltest::Page(120, 50, 5);
    lzw.photometric = 1;
    lzw.rowsPerStrip = 16;
    lzw.resolution = false;
    PageLayout g3 = tooltest::Page(64, 20, 3);
    g3.fillOrder = 2;
    return {g4, lzw, g3};
}

// The three pages with the second replaced by an LZW page whose table
// entry is its own prefix: four rows decode, then the decoder gives up.
std::vector<PageLayout> BadSecondPage() {
    std::vector<PageLayout> pages = ThreePages();
    // A coding no build decodes: the page is refused when it is opened.
    PageLayout bad = tooltest::Page(8, 8, 50000);
    bad.rawStrip = tvtest::Bytes(8, 0x55);
    pages[1] = bad;
    return pages;
}

const char* const kTiledFiles[] = {"golang-tiff-tiled-gray1.tiff", "imgtiff-tiled-gray-i1.tif"};

std::string DataFile(const std::string& name) { return std::string(TIFFVIEW_TESTDATA_DIR) + "/" + name; }

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        three_ = dir_.File("three.tif");
        tooltest::WritePages(three_, ThreePages());
    }
    tvtest::TempDir dir_;
    std::string three_;
};

TEST_F(Pages, InfoDescribesEveryPage) {
    const tooltest::RunResult r = RunTool({"info", three_});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, three_ +
                         "\n"
                         "  byte order:   little-endian (II)\n"
                         "  pages:        3\n"
                         "  page 1:\n"
                         "    width:        301\n"
                         "    length:       97\n"
                         "    compression:  4 (CCITT T.6 (Group 4))\n"
                         "    photometric:  0 (WhiteIsZero)\n"
                         "    resolution:   204 x 196 dots per inch\n"
                         "    fill order:   1 (most significant bit first)\n"
                         "    orientation:  1 (row 0 top, column 0 left)\n"
                         "    strips:       3 strips, 40 rows each\n"
                         "  page 2:\n"
                         "    width:        120\n"
                         "    length:       50\n"
                         "    compression:  5 (LZW)\n"
                         "    photometric:  1 (BlackIsZero)\n"
                         "    resolution:   not stated\n"
                         "    fill order:   1 (most significant bit first)\n"
                         "    orientation:  1 (row 0 top, column 0 left)\n"
                         "    strips:       4 strips, 16 rows each\n"
                         "  page 3:\n"
                         "    width:        64\n"
                         "    length:       20\n"
                         "    compression:  3 (CCITT T.4 (Group 3))\n"
                         "    photometric:  0 (WhiteIsZero)\n"
                         "    resolution:   204 x 196 dots per inch\n"
                         "    fill order:   2 (least significant bit first)\n"
                         "    orientation:  1 (row 0 top, column 0 left)\n"
                         "    T4 options:   4 (1-D coding, fill bits)\n"
                         "    strips:       1 strip\n")
        << Describe(r);
}

// A clean file of several pages is one line; a failed one lists each page.
TEST_F(Pages, CheckReportsEachPageOfAFailedFile) {
    const std::string bad = dir_.File("bad.tif");
    tooltest::WritePages(bad, BadSecondPage());
    const tooltest::RunResult r = RunTool({"check", bad, three_});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, bad + ": FAILED\n"
                           "  page 1: OK (97 lines)\n"
                           "  page 2: FAILED\n"
                           "    cannot open: 0xF0000042 TV_ERR_COMPRESSION: " + tooltest::Sentence(TV_ERR_COMPRESSION) +
                           " Compression 50000 (Zstandard): this library has no decoder for it.\n"
                           "  page 3: OK (20 lines)\n" +
                         three_ + ": OK (3 pages, 167 lines)\n2 files: 1 OK, 1 failed\n")
        << Describe(r);
}

// A page that is not bi-level is described by info, skipped by check and
// convert with a line naming it, and the other pages are read; the exit
// status is 5.
TEST_F(Pages, GreyPageIsSkippedAndTheOthersRead) {
    std::vector<PageLayout> pages = ThreePages();
    pages[0].grey = true;
    pages[0].compression = 1;
    const std::string mixed = dir_.File("mixed.tif");
    tooltest::WritePages(mixed, pages);

    const tooltest::RunResult info = RunTool({"info", mixed});
    EXPECT_EQ(info.exitCode, 0) << Describe(info);
    EXPECT_NE(info.out.find("  pages:        3\n  page 1:\n    not bi-level: skipped by check and convert\n"
                            "    width:        301\n    length:       97\n    sample bits:  8\n"
                            "    samples:      1 per pixel\n    compression:  1 (none)\n"),
              std::string::npos)
        << Describe(info);
    EXPECT_NE(info.out.find("  page 3:\n    width:        64\n"), std::string::npos) << Describe(info);

    const tooltest::RunResult check = RunTool({"check", mixed});
    EXPECT_EQ(check.exitCode, 5) << Describe(check);
    EXPECT_EQ(check.out, mixed + ": SKIPPED\n  page 1: SKIPPED\n    not bi-level: 8 bits per sample, 1 sample per "
                                 "pixel, compression 1 (none)\n  page 2: OK (50 lines)\n  page 3: OK (20 lines)\n")
        << Describe(check);

    tvtest::TempDir out;
    const tooltest::RunResult convert = RunTool({"convert", mixed, "-o", out.File("p%d.pbm")});
    EXPECT_EQ(convert.exitCode, 5) << Describe(convert);
    EXPECT_NE(convert.err.find("mixed.tif page 1: skipped, not bi-level: 8 bits per sample"), std::string::npos)
        << Describe(convert);
    ASSERT_EQ(tooltest::ListFiles(out.Path()), (std::vector<std::string>{"p2.pbm", "p3.pbm"})) << Describe(convert);
    for (std::uint32_t page : {1u, 2u}) {
        const tooltest::Picture picture = tooltest::ReadPbm(out.File("p" + std::to_string(page + 1) + ".pbm"));
        ASSERT_TRUE(picture.ok) << picture.problem;
        EXPECT_EQ(tvtest::FirstDifference(picture.rows, tvtest::ReadPageWithLibtiff(mixed, page).rows), -1);
    }
}

// The page list is walked once, so pages behind any number of refused
// ones are found, and under --strict a refused first page does not hide
// that the file has others.
struct RefusedCase {
    const char* label;
    std::uint32_t greyPages;  // refused pages before the three
    std::vector<std::string> args;  // the file follows
    const char* phrase;             // in standard output
    int exitCode;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.label; }

class RefusedPages : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPages, PagesBehindThemAreFound) {
    const RefusedCase& c = GetParam();
    PageLayout grey = tooltest::Page(1, 1, 1);
    grey.grey = true;
    std::vector<PageLayout> pages(c.greyPages, grey);
    for (const PageLayout& page : ThreePages()) pages.push_back(page);
    tvtest::TempDir dir;
    const std::string path = dir.File("refused.tif");
    tooltest::WritePages(path, pages);
    std::vector<std::string> args = c.args;
    args.push_back(path);
    const tooltest::RunResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
    EXPECT_NE(r.out.find(c.phrase), std::string::npos) << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, RefusedPages,
    // Grey pages are described by info and skipped by check (status 5).
    ::testing::Values(RefusedCase{"InfoPastAThousand", 1001, {"info"}, "  pages:        1004\n", 0},
                      RefusedCase{"CheckPastAThousand", 1001, {"check"}, "  page 1004: OK (20 lines)\n", 5},
                      RefusedCase{"StrictInfoCountsThePages", 1, {"--strict", "info"},
                                  "  pages:        4\n  page 1:\n    error:        0xF0000041 TV_ERR_BITS_PER_SAMPLE", 1}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.label); });

// Which files a conversion writes, and which pages (0-based) each holds.
struct ConvertCase {
    const char* label;
    bool png;
    std::vector<std::string> options;  // after "convert IN"; "%name" is a file in the output directory
    std::vector<std::pair<std::string, std::vector<std::uint32_t>>> files;
};

void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.label; }

class PagesConvert : public Pages, public ::testing::WithParamInterface<ConvertCase> {};

TEST_P(PagesConvert, WritesTheDocumentedFilesWithLibtiffsPixels) {
    const ConvertCase& c = GetParam();
    if (c.png && !tooltest::ToolHasPng()) GTEST_SKIP() << "tool built without libpng";
    tvtest::TempDir out;
    std::vector<std::string> args{"convert", three_};
    for (const std::string& option : c.options) args.push_back(option[0] == '%' ? out.File(option.substr(1)) : option);
    const tooltest::RunResult r = RunTool(args);
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    std::vector<std::string> names;
    for (const auto& file : c.files) names.push_back(file.first);
    ASSERT_EQ(tooltest::ListFiles(out.Path()), names) << Describe(r);
    for (const auto& [name, pages] : c.files) {
        std::vector<tooltest::Picture> pictures;
        if (c.png)
            pictures.push_back(tooltest::ReadPng(out.File(name)));
        else
            pictures = tooltest::ReadPbmImages(out.File(name));
        ASSERT_EQ(pictures.size(), pages.size()) << name;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            ASSERT_TRUE(pictures[i].ok) << name << ": " << pictures[i].problem;
            const tvtest::LibtiffPage expected = tvtest::ReadPageWithLibtiff(three_, pages[i]);
            EXPECT_EQ(pictures[i].width, expected.width) << name;
            EXPECT_EQ(tvtest::FirstDifference(pictures[i].rows, expected.rows), -1) << name << " page " << pages[i] + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tool, PagesConvert,
    ::testing::Values(
        ConvertCase{"PngOneFileEach", true, {"-o", "%out.png"},
                    {{"out-1.png", {0}}, {"out-2.png", {1}}, {"out-3.png", {2}}}},
        ConvertCase{"PbmAllPagesInOne", false, {"-o", "%out.pbm"}, {{"out.pbm", {0, 1, 2}}}},
        ConvertCase{"PbmPattern", false, {"-o", "%p%d.pbm"}, {{"p1.pbm", {0}}, {"p2.pbm", {1}}, {"p3.pbm", {2}}}},
        ConvertCase{"PatternTwiceInTheName", false, {"-o", "%%d-of-%d.pbm"}, {{"1-of-1.pbm", {0}}, {"2-of-2.pbm", {1}},
                                                                        {"3-of-3.pbm", {2}}}},
        ConvertCase{"NumberBeforeTheLastDot", true, {"-o", "%v1.2.png"}, {{"v1.2-1.png", {0}}, {"v1.2-2.png", {1}},
                                                                    {"v1.2-3.png", {2}}}},
        ConvertCase{"NoExtension", true, {"-o", "%scan", "--format", "png"}, {{"scan-1", {0}}, {"scan-2", {1}},
                                                                       {"scan-3", {2}}}},
        ConvertCase{"PageTwoToOutExactly", false, {"--page", "2", "-o", "%one.pbm"}, {{"one.pbm", {1}}}},
        ConvertCase{"PageThreeThroughAPattern", true, {"--page=3", "-o", "%p%d.png"}, {{"p3.png", {2}}}},
        // The strict profile reads the first page alone, to OUT itself.
        ConvertCase{"StrictFirstPageOnly", false, {"--strict", "-o", "%first.pbm"}, {{"first.pbm", {0}}}}),
    [](const ::testing::TestParamInfo<ConvertCase>& info) { return std::string(info.param.label); });

// A failed conversion of several pages writes none of them, and leaves an
// older file of the output's name as it was.
struct FailureCase {
    const char* label;
    bool badSecondPage;
    std::vector<std::string> options;
    std::vector<const char*> phrases;  // standard error holds each
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.label; }

class PagesConvertFailure : public Pages, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PagesConvertFailure, WritesNothing) {
    const FailureCase& c = GetParam();
    const std::string input = c.badSecondPage ? dir_.File("bad.tif") : three_;
    if (c.badSecondPage) tooltest::WritePages(input, BadSecondPage());
    tvtest::TempDir out;
    tvtest::WriteFileBytes(out.File("keep.pbm"), {'o', 'l', 'd'});
    std::vector<std::string> args{"convert", input};
    for (const std::string& option : c.options) args.push_back(option[0] == '%' ? out.File(option.substr(1)) : option);
    const tooltest::RunResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    for (const char* phrase : c.phrases) EXPECT_NE(r.err.find(phrase), std::string::npos) << phrase << Describe(r);
    EXPECT_EQ(tooltest::ListFiles(out.Path()), std::vector<std::string>{"keep.pbm"});
    EXPECT_EQ(tvtest::ReadFileBytes(out.File("keep.pbm")), (tvtest::Bytes{'o', 'l', 'd'}));
}

INSTANTIATE_TEST_SUITE_P(
    Tool, PagesConvertFailure,
    ::testing::Values(
        FailureCase{"PageBeyondTheLast", false, {"--page", "4", "-o", "%keep.pbm"},
                    {"three.tif page 4: 0xF0000014 TV_ERR_PAGE_MISSING", "three.tif has 3 pages"}},
        FailureCase{"BadPageStopsAPattern", true, {"-o", "%p%d.pbm"},
                    {"bad.tif page 2: 0xF0000042 TV_ERR_COMPRESSION"}},
        FailureCase{"BadPageStopsTheSinglePbm", true, {"-o", "%keep.pbm"},
                    {"bad.tif page 2: 0xF0000042 TV_ERR_COMPRESSION"}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.label); });

// A real file without XResolution: read by default, refused by --strict
// whether it comes before the command or after it.
struct ProfileCase {
    const char* label;
    std::vector<std::string> args;  // "IN" and "OUT" are filled in
    int exitCode;
    const char* phrase;  // in standard output or error
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.label; }

class Profiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(Profiles, StrictRefusesWhatTheDefaultReads) {
    const ProfileCase& c = GetParam();
    tvtest::TempDir out;
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(arg == "IN" ? DataFile("imgtiff-fax4.tiff") : arg == "OUT" ? out.File("out.pbm") : arg);
    const tooltest::RunResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
    EXPECT_NE((r.out + r.err).find(c.phrase), std::string::npos) << Describe(r);
    const bool converting = std::find(args.begin(), args.end(), "convert") != args.end();
    EXPECT_EQ(std::filesystem::exists(out.File("out.pbm")), converting && c.exitCode == 0) << Describe(r);
}

constexpr char kNoXResolution[] = "0xF0011A30 TV_ERR_TAG_MISSING (tag 282 XResolution)";

INSTANTIATE_TEST_SUITE_P(
    Tool, Profiles,
    ::testing::Values(ProfileCase{"InfoDefault", {"info", "IN"}, 0, "    resolution:   not stated\n"},
                      ProfileCase{"InfoStrictBefore", {"--strict", "info", "IN"}, 1, kNoXResolution},
                      ProfileCase{"InfoStrictAfter", {"info", "--strict", "IN"}, 1, kNoXResolution},
                      ProfileCase{"CheckDefault", {"check", "IN"}, 0, ": OK ("},
                      ProfileCase{"CheckStrict", {"check", "IN", "--strict"}, 1, kNoXResolution},
                      ProfileCase{"ConvertDefault", {"convert", "IN", "-o", "OUT"}, 0, ""},
                      ProfileCase{"ConvertStrict", {"--strict", "convert", "IN", "-o", "OUT"}, 1, kNoXResolution},
                      ProfileCase{"CheckMapped", {"check", "--map", "IN"}, 0, ": OK ("},
                      ProfileCase{"ConvertMapped", {"--map", "convert", "IN", "-o", "OUT"}, 0, ""}),
    [](const ::testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.label); });

// The strict profile reads the first page only, as its help says: the
// others are noted, not failed.
TEST_F(Pages, StrictCheckReadsTheFirstPageAndNotesTheOthers) {
    const tooltest::RunResult r = RunTool({"--strict", "check", three_});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, three_ + ": OK (page 1, 97 lines; pages 2-3: not read by the strict profile, which reads the "
                              "first page only)\n")
        << Describe(r);
    const tooltest::RunResult info = RunTool({"--strict", "info", three_});
    EXPECT_EQ(info.exitCode, 0) << Describe(info);
    EXPECT_NE(info.out.find("  page 2:\n    not read:     the strict profile reads the first page only\n  page 3:\n"
                            "    not read:     the strict profile reads the first page only\n"),
              std::string::npos)
        << Describe(info);
}

class Tiled : public ::testing::TestWithParam<const char*> {};

TEST_P(Tiled, InfoListsTheTilesAsLibtiffReadsThem) {
    const std::string path = DataFile(GetParam());
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    ASSERT_TRUE(TIFFIsTiled(tif));
    std::uint32_t width = 0, tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    const std::uint32_t tiles = TIFFNumberOfTiles(tif);
    const std::uint32_t across = (width + tileWidth - 1) / tileWidth;
    const std::string size = std::to_string(tileWidth) + " x " + std::to_string(tileLength);
    std::string expected = "    tiles:        " + std::to_string(tiles) + (tiles == 1 ? " tile of " : " tiles of ") +
                           size + " (";
    expected += std::to_string(across) + " across, " + std::to_string(tiles / across) +
                " down)\n    tile table:   tiles of " + size +
                ", placed at x, y\n          tile        offset         bytes         x         y\n";
    for (std::uint32_t i = 0; i < tiles; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "      %8u  %12llu  %12llu  %8u  %8u\n", i,
                      static_cast<unsigned long long>(TIFFGetStrileOffset(tif, i)),
                      static_cast<unsigned long long>(TIFFGetStrileByteCount(tif, i)), i % across * tileWidth,
                      i / across * tileLength);
        expected += line;
    }
    TIFFClose(tif);
    const tooltest::RunResult r = RunTool({"info", "--strips", path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << Describe(r);
    // The strict profile refuses them (no strips, no resolution).
    EXPECT_EQ(RunTool({"--strict", "info", path}).exitCode, 1);
}

TEST_P(Tiled, ConvertMatchesLibtiff) {
    const std::string path = DataFile(GetParam());
    tvtest::TempDir out;
    const tooltest::RunResult r = RunTool({"convert", path, "-o", out.File("t.pbm")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const tooltest::Picture picture = tooltest::ReadPbm(out.File("t.pbm"));
    ASSERT_TRUE(picture.ok) << picture.problem;
    EXPECT_EQ(tvtest::FirstDifference(picture.rows, tvtest::ReadPageWithLibtiff(path, 0).rows), -1);
}

INSTANTIATE_TEST_SUITE_P(Tool, Tiled, ::testing::ValuesIn(kTiledFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "GolangGray1" : "ImageTiffGrayI1");
                         });

}  // namespace
