// When the state log is (not) written: nothing pending, paths that cannot
// be written, a file that fills up, an old file in the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "LogTestUtil.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;
constexpr std::uint32_t kRest = UINT32_MAX;

class LogFileFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Scratch.Path.empty());
        tvtest::BilevelLayout layout;
        layout.width = 8;
        layout.length = 3;
        layout.compression = 5;
        layout.strips = {Bytes(4, 0x77)};
        Image = Scratch.Path + "/image.tif";
        tvtest::WriteFileBytes(Image, tvtest::MakeBilevel(layout).Build());
    }
    // Opens the image and lets its only strip decode one line short.
    void OpenWithFault() {
        ASSERT_EQ(View.OpenFile(Image.c_str()), TV_OK);
        auto* decoder = new CScriptedDecoder;
        decoder->Script = {{kRest, 1}};  // one line of three
        CTiffViewTestAccess::SwapDecoder(View, decoder);
        unsigned char line[1];
        ASSERT_EQ(View.ReadALine(line), TV_ERR_STRIP_SHORT);
        ASSERT_EQ(Pending(), 1);
    }
    std::int32_t Pending() const { return CTiffViewTestAccess::Snapshot(View).LogPending; }
    std::string At(const std::string& name) const { return Scratch.Path + "/" + name; }

    logtest::ScratchDir Scratch;
    std::string Image;
    CTiffView View;
};

TEST_F(LogFileFailure, NothingPendingOnAFreshReaderTouchesNothing) {
    logtest::WriteAll(At("old.log"), "older content");
    View.LogFile(At("old.log").c_str());
    View.LogFile(At("new.log").c_str());
    EXPECT_EQ(logtest::ReadAll(At("old.log")), "older content");
    EXPECT_FALSE(std::filesystem::exists(At("new.log")));
}

TEST_F(LogFileFailure, NothingPendingAfterACleanRead) {
    ASSERT_EQ(View.OpenFile(Image.c_str()), TV_OK);
    auto* decoder = new CScriptedDecoder;
    decoder->Script = {{1, 1}, {1, 1}, {kRest, 1}};
    CTiffViewTestAccess::SwapDecoder(View, decoder);
    unsigned char line[1];
    for (int i = 0; i < 3; ++i) ASSERT_EQ(View.ReadALine(line), TV_OK);
    logtest::WriteAll(At("old.log"), "older content");
    View.LogFile(At("old.log").c_str());
    View.LogFile(At("new.log").c_str());
    EXPECT_EQ(logtest::ReadAll(At("old.log")), "older content");
    EXPECT_FALSE(std::filesystem::exists(At("new.log")));
}

TEST_F(LogFileFailure, AnOlderFileIsTruncatedNotAppendedTo) {
    OpenWithFault();
    logtest::WriteAll(At("reused.log"), std::string(4000, '#'));
    View.LogFile(At("reused.log").c_str());
    const std::string log = logtest::ReadAll(At("reused.log"));
    EXPECT_EQ(log.rfind("ErrorID = 4026531923\r\n", 0), 0u);
    EXPECT_EQ(log.find('#'), std::string::npos);
    const std::string tail = "UnpackError = 1 / 3 = -2\r\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(LogFileFailure, LinesEndInCrLfOnly) {
    OpenWithFault();
    View.LogFile(At("fault.log").c_str());
    const std::string log = logtest::ReadAll(At("fault.log"));
    std::size_t lf = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\n') {
            ++lf;
            ASSERT_GT(i, 0u);
            EXPECT_EQ(log[i - 1], '\r') << "at byte " << i;
        }
        if (log[i] == '\r') {
            ASSERT_LT(i + 1, log.size());
            EXPECT_EQ(log[i + 1], '\n') << "at byte " << i;
        }
    }
    EXPECT_EQ(lf, 25u);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

// Paths that cannot be opened for writing: nothing is created, the fault is
// no longer pending, and a later write attempt to a good path writes
// nothing either.
struct BadPathCase {
    const char* name;
    const char* relative;  // below the scratch directory; null: a null path
};

class LogFileBadPath : public LogFileFailure, public ::testing::WithParamInterface<BadPathCase> {};

TEST_P(LogFileBadPath, NoFileAndTheFaultIsDropped) {
    logtest::WriteAll(At("plain"), "plain file");
    std::filesystem::create_directory(At("dir"));
    OpenWithFault();
    const BadPathCase& c = GetParam();
    const std::string path = c.relative ? At(c.relative) : std::string();
    View.LogFile(c.relative ? path.c_str() : nullptr);
    EXPECT_EQ(Pending(), 0);
    EXPECT_EQ(logtest::ListDir(Scratch.Path), (std::vector<std::string>{"dir", "image.tif", "plain"}));
    EXPECT_TRUE(logtest::ListDir(At("dir")).empty());
    EXPECT_EQ(logtest::ReadAll(At("plain")), "plain file");

    View.LogFile(At("later.log").c_str());
    EXPECT_FALSE(std::filesystem::exists(At("later.log")));
}

INSTANTIATE_TEST_SUITE_P(LogFile, LogFileBadPath,
                         ::testing::Values(BadPathCase{"MissingDirectory", "missing/fault.log"},
                                           BadPathCase{"MissingTwoLevels", "missing/TiffParse/fault.log"},
                                           BadPathCase{"ParentIsAFile", "plain/fault.log"},
                                           BadPathCase{"PathIsADirectory", "dir"},
                                           BadPathCase{"EmptyPath", ""},
                                           BadPathCase{"NullPath", nullptr}),
                         [](const ::testing::TestParamInfo<BadPathCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(LogFileFailure, AFullDeviceEndsTheWriteQuietly) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    OpenWithFault();
    View.LogFile("/dev/full");
    EXPECT_EQ(Pending(), 0);
}

TEST_F(LogFileFailure, SnapshotSurvivesTheWriteAndANewOpeningLogsAgain) {
    OpenWithFault();
    View.LogFile(At("one.log").c_str());
    CTiffViewTestAccess::State after = CTiffViewTestAccess::Snapshot(View);
    EXPECT_EQ(after.ErrorID, TV_ERR_STRIP_SHORT);
    EXPECT_EQ(after.UnpackDiff, -2);
    EXPECT_EQ(after.UnuseByte, 1u);
    View.CloseFile();

    OpenWithFault();
    View.LogFile(At("two.log").c_str());
    // The same fault in a new opening gives the same log, but for the
    // handle number the system chose for the file.
    auto withoutHandle = [](std::string text) {
        const std::size_t at = text.find("FileHandle = ");
        if (at != std::string::npos) text.erase(at, text.find("\r\n", at) - at);
        return text;
    };
    const std::string one = logtest::ReadAll(At("one.log"));
    EXPECT_FALSE(one.empty());
    EXPECT_EQ(withoutHandle(one), withoutHandle(logtest::ReadAll(At("two.log"))));
}

}  // namespace
