// A conversion stopped by SIGINT, SIGTERM or SIGHUP part-way: the tool
// removes its temporary file and dies of the signal, leaving no target.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <string>
#include <vector>

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

INSTANTIATE_TEST_SUITE_P(Tool, Signals, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT    ? "Interrupt"
                                                : info.param == SIGTERM ? "Terminate"
                                                                        : "HangUp");
                         });

}  // namespace
