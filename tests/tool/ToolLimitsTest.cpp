// --max-memory: a page is held against the limit before anything is
// allocated for it, so that a header claiming an enormous page fails at
// once with little memory used, and the limit itself is what decides.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

// A Group 4 page claiming 4,000,000,000 x 4,000,000,000 pixels in a file of
// a few hundred bytes: half a gigabyte a line.
std::string WriteHugeClaim(const tvtest::TempDir& dir) {
    tvtest::BilevelLayout layout;
    layout.width = 4000000000u;
    layout.length = 4000000000u;
    layout.compression = 4;
    layout.strips.push_back(tvtest::Bytes(16, 0));
    return dir.Write("huge.tif", tvtest::MakeBilevel(layout).Build());
}

struct HugeCase {
    const char* label;
    std::vector<std::string> args;  // "IN" and "OUT" are filled in
    bool reportOnStandardOutput;    // check reports there, convert on standard error
};

void PrintTo(const HugeCase& c, std::ostream* os) { *os << c.label; }

class HugeClaim : public ::testing::TestWithParam<HugeCase> {};

TEST_P(HugeClaim, FailsAtOnceWithLittleMemory) {
    tvtest::TempDir dir;
    const std::string input = WriteHugeClaim(dir);
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args)
        args.push_back(arg == "IN" ? input : arg == "OUT" ? dir.File("out.pbm") : arg);
    const tooltest::RunResult r = tooltest::MeasureTool(args);
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    const std::string& report = GetParam().reportOnStandardOutput ? r.out : r.err;
    EXPECT_NE(report.find("(4000000000 x 4000000000 pixels) needs about "), std::string::npos) << Describe(r);
    EXPECT_NE(report.find("more than the limit of 256 MiB; raise the limit with --max-memory "), std::string::npos)
        << Describe(r);
    EXPECT_GT(r.peakRssKb, 0) << Describe(r);
    EXPECT_LT(r.peakRssKb, 64 * 1024) << Describe(r);
    EXPECT_LT(r.seconds, 10.0) << Describe(r);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.pbm")));
}

INSTANTIATE_TEST_SUITE_P(
    Tool, HugeClaim,
    ::testing::Values(HugeCase{"Check", {"check", "IN"}, true},
                      HugeCase{"CheckStrict", {"--strict", "check", "IN"}, true},
                      HugeCase{"ConvertToAFile", {"convert", "IN", "-o", "OUT"}, false},
                      HugeCase{"ConvertToStandardOutput", {"convert", "IN", "-o", "-"}, false},
                      HugeCase{"InfoDoesNotOpenIt", {"info", "IN"}, true}),
    [](const ::testing::TestParamInfo<HugeCase>& info) { return std::string(info.param.label); });

// A 301 x 97 Group 4 page: lines of 38 bytes, so that checking it needs
// the decoder's fixed storage (2 MiB) and some kilobytes besides.
struct LimitCase {
    const char* label;
    const char* limit;
    int exitCode;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.label; }

class Limit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Limit, DecidesWhetherThePageIsDecoded) {
    tvtest::TempDir dir;
    tvtest::LibtiffOptions o;
    o.compression = 4;
    const std::string input = tooltest::WriteLibtiffPage(dir, "page.tif", o);
    const tooltest::RunResult r = RunTool({"check", "--max-memory", GetParam().limit, input});
    EXPECT_EQ(r.exitCode, GetParam().exitCode) << Describe(r);
    EXPECT_EQ(r.out.find("not decoded: "), GetParam().exitCode == 0 ? std::string::npos : input.size() + 11)
        << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(Tool, Limit,
                         ::testing::Values(LimitCase{"TwoMebibytes", "2M", 1}, LimitCase{"InBytes", "2097152", 1},
                                           LimitCase{"ThreeMebibytes", "3M", 0}, LimitCase{"InKibibytes", "3072k", 0},
                                           LimitCase{"OneGibibyte", "1G", 0}, LimitCase{"NoLimit", "0", 0}),
                         [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.label); });

TEST(LimitMessage, NamesTheNeedTheLimitAndTheValueThatWouldDo) {
    tvtest::TempDir dir;
    const std::string input = tooltest::WriteUncompressed(dir, "page.tif", 16000, 4);
    // Lines of 2000 bytes: the tool's line, the PBM writer's row and the
    // 8000-byte strip make 12000 bytes.
    const tooltest::RunResult r = RunTool({"convert", input, "-o", dir.File("out.pbm"), "--max-memory=10K"});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.err.find(input + ": the page (16000 x 4 pixels) needs about 11.7 KiB of memory to decode, more "
                                 "than the limit of 10 KiB; raise the limit with --max-memory 1M (0 for none)"),
              std::string::npos)
        << Describe(r);
    EXPECT_EQ(RunTool({"convert", input, "-o", dir.File("out.pbm"), "--max-memory=12K"}).exitCode, 0);
}

}  // namespace
