// tiffview check: per-file verdicts, line faults with their numbers,
// diagnostic logs noticed, batches that go on past bad files, and the
// progress bar only where a person watches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

// Runs a private copy of the tool so that its log directory is the test's.
class CheckTest : public ::testing::Test {
protected:
    void SetUp() override { options_.program = tooltest::CopyToolInto(bin_.Path()); }
    tooltest::RunResult Check(std::vector<std::string> args) {
        args.insert(args.begin(), "check");
        return RunTool(args, options_);
    }
    std::vector<std::string> Logs() const { return tooltest::ListFiles(bin_.File("log/TiffParse")); }

    tvtest::TempDir bin_;
    tvtest::TempDir dir_;
    tooltest::RunOptions options_;
};

TEST_F(CheckTest, CleanFileIsOk) {
    tvtest::LibtiffOptions o;
    o.compression = 4;
    o.rowsPerStrip = 30;
    const std::string path = tooltest::WriteLibtiffPage(dir_, "g4.tif", o);
    const tooltest::RunResult r = Check({path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, path + ": OK (97 lines)\n") << Describe(r);
    EXPECT_TRUE(Logs().empty());
}

// Diagnostic logs come from the strict profile's reader, which decodes a
// page's strips as one stream; the default reader decodes each strip on its
// own and writes none.
TEST_F(CheckTest, ShortStripListsEachFaultyLineAndTheLog) {
    // Three strips of 4 rows; strip 1 holds 3. Lines 4 to 6 decode; the
    // strip's input runs out while line 7 is built, which is zero-filled
    // and reports the shortfall. Strip 2 then decodes as usual.
    const std::string path = tooltest::WriteLzwWithShortStrip(dir_, "short.tif", 3, 4, 1);
    const tooltest::RunResult r = Check({"--strict", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    const std::vector<std::string> logs = Logs();
    ASSERT_EQ(logs.size(), 1u) << Describe(r);
    EXPECT_EQ(r.out, path + ": FAILED\n"
                     "  line 7: 0xF0000053 TV_ERR_STRIP_SHORT: 条带数据偏少,填充0\n"
                     "  diagnostic log written: " + bin_.File("log/TiffParse/" + logs[0]) + "\n")
        << Describe(r);
}

TEST_F(CheckTest, SurplusInAnEarlierStripShowsOnlyThroughTheLog) {
    // Strip 0 decodes one row too many: the surplus is dropped and every
    // line reports TV_OK, but the library records the fault and logs it.
    const std::string path = tooltest::WriteLzwWithOddStrip(dir_, "long.tif", 2, 4, 0, +1);
    const tooltest::RunResult r = Check({"--strict", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    const std::vector<std::string> logs = Logs();
    ASSERT_EQ(logs.size(), 1u) << Describe(r);
    EXPECT_EQ(r.out, path + ": FAILED\n  diagnostic log written: " + bin_.File("log/TiffParse/" + logs[0]) + "\n")
        << Describe(r);
}

TEST_F(CheckTest, UndecodableFileStopsAtTheFailingLine) {
    const std::string path = tooltest::WriteLzwUndecodable(dir_, "bad.tif");
    const tooltest::RunResult r = Check({"--strict", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, path + ": FAILED\n"
                     "  line 4: 0xF0000052 TV_ERR_DECODE: 文件解压缩错误\n"
                     "  reading stopped: lines 4-7 not delivered\n"
                     "  no diagnostic log written\n")
        << Describe(r);
}

TEST_F(CheckTest, UnreadableStripNamesTheStrip) {
    const std::string path = tooltest::WriteUnreadableSecondStrip(dir_, "cut.tif");
    const tooltest::RunResult r = Check({path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    // Strip 1 holds lines 3 to 5.
    EXPECT_NE(r.out.find("  line 3: 0xF0000161 TV_ERR_STRIP_READ (strip 1): 数据块无法读取\n"
                         "  reading stopped: lines 3-5 not delivered\n"),
              std::string::npos)
        << Describe(r);
}

TEST_F(CheckTest, BatchGoesOnPastBadFilesAndSumsUp) {
    const std::string good = tooltest::WriteUncompressed(dir_, "good.tif");
    const std::string refused = tooltest::WriteWithoutXResolution(dir_, "nores.tif");
    const std::string missing = dir_.File("missing.tif");
    const std::string good2 = tooltest::WriteUncompressed(dir_, "good2.tif", 33, 5);
    const tooltest::RunResult r = Check({"--strict", good, refused, missing, good2});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, good + ": OK (4 lines)\n" + refused +
                         ": FAILED\n"
                         "  cannot open: 0xF0011A30 TV_ERR_TAG_MISSING (tag 282 XResolution): 必须的IFD没有找到\n" +
                         missing + ": FAILED\n  cannot open: 0xF0000003 TV_ERR_FILE_OPEN: 图象文件打开错误\n" + good2 +
                         ": OK (5 lines)\n4 files: 2 OK, 2 failed\n")
        << Describe(r);
}

TEST_F(CheckTest, AllCleanBatchExitsZero) {
    const tooltest::RunResult r =
        Check({tooltest::WriteUncompressed(dir_, "a.tif"), tooltest::WriteUncompressed(dir_, "b.tif")});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find("2 files: 2 OK, 0 failed\n"), std::string::npos) << Describe(r);
}

TEST_F(CheckTest, LogFromAnEarlierRunIsNotCountedAgain) {
    const std::string shortFile = tooltest::WriteLzwWithShortStrip(dir_, "short.tif", 2, 4, 0);
    const std::string good = tooltest::WriteUncompressed(dir_, "good.tif");
    ASSERT_EQ(Check({"--strict", shortFile}).exitCode, 1);
    ASSERT_EQ(Logs().size(), 1u);
    const tooltest::RunResult r = Check({good});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, good + ": OK (4 lines)\n") << Describe(r);
}

// The bar is drawn with a carriage return and an erase-line sequence.
constexpr const char kBarMark[] = "\r\033[K[";

TEST_F(CheckTest, PipedOutputHasNoProgressBar) {
    const std::string a = tooltest::WriteUncompressed(dir_, "a.tif");
    const tooltest::RunResult r = Check({a, a, a});
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << Describe(r);
    EXPECT_EQ(r.out.find('\033'), std::string::npos) << Describe(r);
}

TEST_F(CheckTest, TerminalGetsAProgressBarForSeveralFiles) {
    const std::string a = tooltest::WriteUncompressed(dir_, "a.tif");
    options_.onTerminal = true;
    const tooltest::RunResult r = Check({a, a, a});
    if (r.noTerminal) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find(kBarMark), std::string::npos) << Describe(r);
    // The verdicts are still there, each on its own line (the terminal
    // turns every newline into CR LF).
    EXPECT_NE(r.out.find(a + ": OK (4 lines)\r\n"), std::string::npos) << Describe(r);
    // The bar is wiped before the summary, which stays last.
    EXPECT_NE(r.out.find("\r\033[K3 files: 3 OK, 0 failed\r\n"), std::string::npos) << Describe(r);
}

TEST_F(CheckTest, TerminalWithOneFileHasNoBar) {
    options_.onTerminal = true;
    const tooltest::RunResult r = Check({tooltest::WriteUncompressed(dir_, "a.tif")});
    if (r.noTerminal) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.out.find(kBarMark), std::string::npos) << Describe(r);
}

TEST_F(CheckTest, ProgressOptionsOverrideTheTerminalTest) {
    const std::string a = tooltest::WriteUncompressed(dir_, "a.tif");
    EXPECT_NE(Check({"--progress", a}).out.find(kBarMark), std::string::npos);
    options_.onTerminal = true;
    const tooltest::RunResult r = Check({"--no-progress", a, a});
    if (r.noTerminal) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out.find(kBarMark), std::string::npos) << Describe(r);
}

}  // namespace
