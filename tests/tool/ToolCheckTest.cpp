// tiffview check: per-file verdicts, line faults with their numbers,
// diagnostic logs noticed (in --log-dir only), batches that go on past bad
// files, and the progress bar on standard error only where a person watches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TiffView.h"
#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;
using tooltest::Sentence;

// Every run names the test's own log directory.
class CheckTest : public ::testing::Test {
protected:
    tooltest::RunResult Check(std::vector<std::string> args) {
        args.insert(args.begin(), {"check", "--log-dir", LogDir()});
        return RunTool(args, options_);
    }
    std::string LogDir() const { return logs_.File("logs"); }
    std::vector<std::string> Logs() const { return tooltest::ListFiles(LogDir()); }

    tvtest::TempDir logs_;
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
    // Every line was delivered: damaged, not unreadable.
    EXPECT_EQ(r.exitCode, 4) << Describe(r);
    const std::vector<std::string> logs = Logs();
    ASSERT_EQ(logs.size(), 1u) << Describe(r);
    EXPECT_EQ(r.out, path + ": DAMAGED\n"
                     "  line 7: 0xF0000053 TV_ERR_STRIP_SHORT: " + Sentence(TV_ERR_STRIP_SHORT) + "\n"
                     "  diagnostic log written: " + LogDir() + "/" + logs[0] + "\n")
        << Describe(r);
}

TEST_F(CheckTest, SurplusInAnEarlierStripShowsOnlyThroughTheLog) {
    // Strip 0 decodes one row too many: the surplus is dropped and every
    // line reports TV_OK, but the library records the fault and logs it.
    const std::string path = tooltest::WriteLzwWithOddStrip(dir_, "long.tif", 2, 4, 0, +1);
    const tooltest::RunResult r = Check({"--strict", path});
    EXPECT_EQ(r.exitCode, 4) << Describe(r);
    const std::vector<std::string> logs = Logs();
    ASSERT_EQ(logs.size(), 1u) << Describe(r);
    EXPECT_EQ(r.out, path + ": DAMAGED\n  diagnostic log written: " + LogDir() + "/" + logs[0] + "\n")
        << Describe(r);
}

TEST_F(CheckTest, UndecodableFileStopsAtTheFailingLine) {
    const std::string path = tooltest::WriteLzwUndecodable(dir_, "bad.tif");
    const tooltest::RunResult r = Check({"--strict", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    EXPECT_EQ(r.out, path + ": FAILED\n"
                     "  line 4: 0xF0000052 TV_ERR_DECODE: " + Sentence(TV_ERR_DECODE) + "\n"
                     "  reading stopped: lines 4-7 not delivered\n"
                     "  no diagnostic log written\n")
        << Describe(r);
}

TEST_F(CheckTest, UnreadableStripNamesTheStrip) {
    const std::string path = tooltest::WriteUnreadableSecondStrip(dir_, "cut.tif");
    const tooltest::RunResult r = Check({"--strict", path});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    // Strip 1 holds lines 3 to 5; the strict profile reads it when line 2 is
    // asked for.
    EXPECT_NE(r.out.find("  line 2: 0xF0000161 TV_ERR_STRIP_READ (strip 1): " + Sentence(TV_ERR_STRIP_READ) +
                         "\n  reading stopped: lines 2-5 not delivered\n"),
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
                         "  cannot open: 0xF0011A30 TV_ERR_TAG_MISSING (tag 282 XResolution): " +
                         Sentence(TV_ERR_TAG_MISSING) + "\n" + missing +
                         ": FAILED\n  cannot open: 0xF0000003 TV_ERR_FILE_OPEN: " + Sentence(TV_ERR_FILE_OPEN) +
                         " (No such file or directory)\n" + good2 + ": OK (5 lines)\n4 files: 2 OK, 2 failed\n")
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
    ASSERT_EQ(Check({"--strict", shortFile}).exitCode, 4);
    ASSERT_EQ(Logs().size(), 1u);
    const tooltest::RunResult r = Check({good});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out, good + ": OK (4 lines)\n") << Describe(r);
}

TEST(CheckLogs, NoLogAnywhereWithoutLogDir) {
    // A copy of the tool, so that a log beside the executable would show.
    tvtest::TempDir bin;
    tvtest::TempDir dir;
    tvtest::TempDir cwd;
    tooltest::RunOptions options;
    options.program = tooltest::CopyToolInto(bin.Path());
    options.workingDirectory = cwd.Path();
    const std::string path = tooltest::WriteLzwWithShortStrip(dir, "short.tif", 3, 4, 1);
    const tooltest::RunResult r = RunTool({"--strict", "check", path}, options);
    EXPECT_EQ(r.exitCode, 4) << Describe(r);
    EXPECT_EQ(r.out, path + ": DAMAGED\n  line 7: 0xF0000053 TV_ERR_STRIP_SHORT: " + Sentence(TV_ERR_STRIP_SHORT) + "\n")
        << Describe(r);
    EXPECT_EQ(tooltest::ListFiles(bin.Path()), std::vector<std::string>{"tiffview"});
    EXPECT_TRUE(tooltest::ListFiles(cwd.Path()).empty());
    EXPECT_EQ(tooltest::ListFiles(dir.Path()), std::vector<std::string>{"short.tif"});
}

TEST(CheckLogs, LogDirThatIsAFileIsRefused) {
    tvtest::TempDir dir;
    const std::string file = tooltest::WriteUncompressed(dir, "a.tif");
    const tooltest::RunResult r = RunTool({"check", "--log-dir", file, file});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_NE(r.err.find("cannot use log directory " + file + ": Not a directory"), std::string::npos) << Describe(r);
    EXPECT_TRUE(r.out.empty()) << Describe(r);
}

// The bar is drawn with a carriage return and an erase-line sequence.
constexpr const char kBarMark[] = "\r\033[K[";

TEST_F(CheckTest, PipedOutputHasNoProgressBar) {
    const std::string a = tooltest::WriteUncompressed(dir_, "a.tif");
    const tooltest::RunResult r = Check({a, a, a});
    EXPECT_EQ((r.out + r.err).find('\r'), std::string::npos) << Describe(r);
    EXPECT_EQ((r.out + r.err).find('\033'), std::string::npos) << Describe(r);
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

TEST_F(CheckTest, ForcedBarGoesToStandardErrorAndLeavesTheResultsClean) {
    const std::string a = tooltest::WriteUncompressed(dir_, "a.tif");
    const tooltest::RunResult r = Check({"--progress", a, a});
    EXPECT_NE(r.err.find(kBarMark), std::string::npos) << Describe(r);
    EXPECT_EQ(r.out, a + ": OK (4 lines)\n" + a + ": OK (4 lines)\n2 files: 2 OK, 0 failed\n") << Describe(r);
}

TEST_F(CheckTest, ProgressOptionsOverrideTheTerminalTest) {
    const std::string a = tooltest::WriteUncompressed(dir_, "a.tif");
    options_.onTerminal = true;
    const tooltest::RunResult r = Check({"--no-progress", a, a});
    if (r.noTerminal) GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_EQ(r.out.find(kBarMark), std::string::npos) << Describe(r);
}

}  // namespace
