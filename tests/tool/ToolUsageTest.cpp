// Wrong usage and help: every command explains itself, and every mistake is
// a clear message on standard error with exit status 2 and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TiffView.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

struct UsageCase {
    const char* label;
    std::vector<std::string> args;
    const char* expectedError;  // a phrase standard error must hold
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.label; }

class WrongUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(WrongUsage, ExitsTwoWithMessageAndNoOutput) {
    const UsageCase& c = GetParam();
    const tooltest::RunResult r = RunTool(c.args);
    EXPECT_EQ(r.exitCode, 2) << Describe(r);
    EXPECT_NE(r.err.find(c.expectedError), std::string::npos) << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
}

INSTANTIATE_TEST_SUITE_P(
    Tool, WrongUsage,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "Usage: tiffview"},
        UsageCase{"UnknownCommand", {"show", "a.tif"}, "unknown command 'show'"},
        UsageCase{"UnknownTopOption", {"--frobnicate"}, "unknown option '--frobnicate'"},
        UsageCase{"InfoWithoutFile", {"info"}, "tiffview info: no file given"},
        UsageCase{"InfoUnknownOption", {"info", "--tiles", "a.tif"}, "unknown option '--tiles'"},
        UsageCase{"CheckWithoutFile", {"check", "--no-progress"}, "tiffview check: no file given"},
        UsageCase{"CheckUnknownOption", {"check", "-x", "a.tif"}, "unknown option '-x'"},
        UsageCase{"ConvertWithoutInput", {"convert"}, "no input file given"},
        UsageCase{"ConvertWithoutOutput", {"convert", "a.tif"}, "no output file given"},
        UsageCase{"ConvertOutputOptionWithoutValue", {"convert", "a.tif", "-o"}, "option '-o' needs a value"},
        UsageCase{"ConvertTwoInputs", {"convert", "a.tif", "b.tif", "-o", "c.pbm"}, "several input files need --output-dir"},
        UsageCase{"ConvertThreeOperands", {"convert", "a.tif", "b.pbm", "c.pbm"}, "several input files need --output-dir"},
        UsageCase{"ConvertOutputAndOutputDir", {"convert", "a.tif", "-o", "a.pbm", "--output-dir", "d"},
                  "-o and --output-dir cannot be combined"},
        UsageCase{"ConvertStandardInputToADirectory", {"convert", "-", "--output-dir", "d"}, "use -o OUT"},
        UsageCase{"StandardInputTwice", {"check", "-", "-"}, "can be named only once"},
        UsageCase{"MaxMemoryWithoutValue", {"check", "a.tif", "--max-memory"}, "'--max-memory' needs a value"},
        UsageCase{"MaxMemoryNotANumber", {"--max-memory=lots", "check", "a.tif"}, "'lots' is not a byte count"},
        UsageCase{"MaxMemoryUnknownSuffix", {"check", "--max-memory", "5T", "a.tif"}, "'5T' is not a byte count"},
        UsageCase{"MaxMemoryTooLarge", {"check", "--max-memory", "20000000000G", "a.tif"}, "not a byte count"},
        UsageCase{"LogDirWithoutValue", {"convert", "a.tif", "-o", "a.pbm", "--log-dir"}, "'--log-dir' needs a directory"},
        UsageCase{"ConvertUnknownExtension", {"convert", "a.tif", "-o", "a.jpg"}, "cannot tell the format"},
        UsageCase{"ConvertUnknownFormat", {"convert", "a.tif", "-o", "a.pbm", "--format", "gif"},
                  "unknown format 'gif'"},
        UsageCase{"ConvertPageWithoutValue", {"convert", "a.tif", "-o", "a.pbm", "--page"},
                  "option '--page' needs a value"},
        UsageCase{"ConvertPageZero", {"convert", "a.tif", "-o", "a.pbm", "--page", "0"}, "'0' is not a page number"},
        UsageCase{"ConvertPageNotANumber", {"convert", "a.tif", "-o", "a.pbm", "--page=2x"},
                  "'2x' is not a page number"},
        UsageCase{"StrictWithoutCommand", {"--strict"}, "Usage: tiffview"},
        UsageCase{"HelpForUnknownCommand", {"help", "frob"}, "unknown command 'frob'"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.label); });

struct HelpCase {
    const char* label;
    std::vector<std::string> args;
    const char* usageLine;
};

void PrintTo(const HelpCase& c, std::ostream* os) { *os << c.label; }

class Help : public ::testing::TestWithParam<HelpCase> {};

TEST_P(Help, PrintsUsageAndExitStatusesOnStandardOutput) {
    const HelpCase& c = GetParam();
    const tooltest::RunResult r = RunTool(c.args);
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out.rfind(c.usageLine, 0), 0u) << Describe(r);
    EXPECT_NE(r.out.find("Exit status"), std::string::npos) << Describe(r);
    EXPECT_TRUE(r.err.empty()) << Describe(r);
}

// Help wins over everything else on the line, including missing files.
INSTANTIATE_TEST_SUITE_P(
    Tool, Help,
    ::testing::Values(HelpCase{"Main", {"--help"}, "Usage: tiffview [READING OPTIONS] <command>"},
                      HelpCase{"MainShort", {"-h"}, "Usage: tiffview [READING OPTIONS] <command>"},
                      HelpCase{"HelpCommand", {"help"}, "Usage: tiffview [READING OPTIONS] <command>"},
                      HelpCase{"Info", {"info", "--help"}, "Usage: tiffview info"},
                      HelpCase{"InfoAfterFiles", {"info", "missing.tif", "-h"}, "Usage: tiffview info"},
                      HelpCase{"HelpInfo", {"help", "info"}, "Usage: tiffview info"},
                      HelpCase{"Convert", {"convert", "--help"}, "Usage: tiffview convert"},
                      HelpCase{"HelpConvert", {"help", "convert"}, "Usage: tiffview convert"},
                      HelpCase{"Check", {"check", "--help"}, "Usage: tiffview check"},
                      HelpCase{"HelpCheck", {"help", "check"}, "Usage: tiffview check"}),
    [](const ::testing::TestParamInfo<HelpCase>& info) { return std::string(info.param.label); });

TEST(ToolVersion, ReportsTheToolsAndTheLibrarysVersion) {
    Version_t library;
    TiffView_GetVersion(&library);
    char expected[64];
    std::snprintf(expected, sizeof expected, " (library %u.%u.%u.%u)\n", library.Byte[0], library.Byte[1],
                  library.Byte[2], library.Byte[3]);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"},
                                                 std::vector<std::string>{"--strict", "--version"}}) {
        const tooltest::RunResult r = RunTool(args);
        EXPECT_EQ(r.exitCode, 0) << Describe(r);
        EXPECT_TRUE(r.err.empty()) << Describe(r);
        // "tiffview 1.1.1.3 (library 1.1.1.3)": the tool's version, then the library's.
        ASSERT_GT(r.out.size(), std::strlen(expected)) << Describe(r);
        EXPECT_EQ(r.out.rfind("tiffview ", 0), 0u) << Describe(r);
        EXPECT_EQ(r.out.substr(r.out.size() - std::strlen(expected)), expected) << Describe(r);
        EXPECT_NE(r.out[9], ' ') << Describe(r);
    }
}

TEST(ToolUsage, DoubleDashLetsAFileNameStartWithADash) {
    // "-odd.tif" after "--" is a file name, so the failure is the file's,
    // not a usage error.
    const tooltest::RunResult r = RunTool({"info", "--", "-odd.tif"});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_NE(r.out.find("-odd.tif\n  error:"), std::string::npos) << Describe(r);
}

}  // namespace
