// A conversion stopped by SIGINT, SIGTERM or SIGHUP part-way: the tool
// keeps the output files already complete, removes the one being written,
// says which is which, and dies of the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool/ImageFiles.h"
#include "tool/PageFiles.h"
#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

// A Group 4 page of A4 at 600 dpi: long enough to convert that the test can
// catch the tool while its temporary file is there.
class Signals : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        input_ = new tvtest::TempDir();
        tvtest::LibtiffOptions o;
        o.compression = 4;
        o.width = 4960;
        o.length = 7016;
        tooltest::WriteLibtiffPage(*input_, "a4.tif", o);
    }
    static void TearDownTestSuite() {
        delete input_;
        input_ = nullptr;
    }
    static std::string Input() { return input_->File("a4.tif"); }

    static tvtest::TempDir* input_;
};

tvtest::TempDir* Signals::input_ = nullptr;

bool HasTemporary(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (name.rfind(".out.pbm.tiffview-", 0) == 0) return true;
    return false;
}

TEST_P(Signals, TemporaryIsRemovedAndTheSignalEndsTheTool) {
    const int signal = GetParam();
    tvtest::TempDir out;
    tooltest::BackgroundTool tool({"convert", Input(), "-o", out.File("out.pbm")});
    // Watch for the temporary, then freeze the tool so that it is caught
    // part-way for certain.
    bool seen = false;
    for (int i = 0; i < 200000 && !seen; ++i) {
        seen = HasTemporary(tooltest::ListFiles(out.Path()));
        if (!seen) {
            const timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
        }
    }
    ASSERT_TRUE(seen) << "no temporary file appeared";
    ASSERT_TRUE(tool.Stop()) << "the conversion ended before it could be stopped";
    ASSERT_TRUE(HasTemporary(tooltest::ListFiles(out.Path())));

    tool.Signal(signal);
    tool.Signal(SIGCONT);
    const int status = tool.Wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_TRUE(tooltest::ListFiles(out.Path()).empty());
}

// Three A4 pages at 600 dpi, one file each: stopped while the second is
// written, the first stays, complete, and standard error names both.
TEST(SignalsPages, CompletePagesStayAndAreNamed) {
    tvtest::TempDir in;
    const std::string input = in.File("three.tif");
    tooltest::WritePages(input, {tooltest::Page(4960, 7016, 4), tooltest::Page(4960, 7016, 4),
                                 tooltest::Page(4960, 7016, 4)});
    tvtest::TempDir out;
    tooltest::BackgroundTool tool({"convert", input, "-o", out.File("p%d.pbm")}, true);
    // The second page's temporary appears once the first page's is complete.
    bool seen = false;
    for (int i = 0; i < 400000 && !seen; ++i) {
        for (const std::string& name : tooltest::ListFiles(out.Path()))
            seen = seen || name.rfind(".p2.pbm.tiffview-", 0) == 0;
        if (!seen) {
            const timespec pause{0, 50000};
            nanosleep(&pause, nullptr);
        }
    }
    ASSERT_TRUE(seen) << "the second page's temporary never appeared";
    ASSERT_TRUE(tool.Stop()) << "the conversion ended before it could be stopped";
    tool.Signal(SIGINT);
    tool.Signal(SIGCONT);
    const int status = tool.Wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    const std::string err = tool.Error();
    EXPECT_NE(err.find("tiffview convert: stopped by SIGINT\n"), std::string::npos) << err;
    EXPECT_NE(err.find("written: " + out.File("p1.pbm") + " (" + input + " page 1)\n"), std::string::npos) << err;
    // Files kept are complete and named; others are gone, temporaries too.
    for (const std::string& name : tooltest::ListFiles(out.Path())) {
        ASSERT_NE(name[0], '.') << name;
        EXPECT_NE(err.find("written: " + out.File(name)), std::string::npos) << name << err;
        const std::uint32_t page = static_cast<std::uint32_t>(name[1] - '1');
        const tooltest::Picture picture = tooltest::ReadPbm(out.File(name));
        ASSERT_TRUE(picture.ok) << picture.problem;
        EXPECT_EQ(tvtest::FirstDifference(picture.rows, tvtest::ReadPageWithLibtiff(input, page).rows), -1) << name;
    }
    if (!std::filesystem::exists(out.File("p2.pbm"))) {
        EXPECT_NE(err.find("not written: " + out.File("p2.pbm") + " (" + input + " page 2), incomplete"),
                  std::string::npos)
            << err;
    }
}

INSTANTIATE_TEST_SUITE_P(Tool, Signals, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT    ? "Interrupt"
                                                : info.param == SIGTERM ? "Terminate"
                                                                        : "HangUp");
                         });

}  // namespace
