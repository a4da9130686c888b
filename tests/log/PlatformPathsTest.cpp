// The platform layer under the log: entry lookup, removal of an entry in
// the way, directory creation and the local clock.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "LogTestUtil.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using tvplatform::EntryKind;

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class PlatformEntries : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Dir.Path.empty());
        fs::create_directory(At("dir"));
        logtest::WriteAll(At("dir/old.log"), "kept");
        logtest::WriteAll(At("file"), "plain");
        logtest::WriteAll(At("readonly"), "locked");
        ::chmod(At("readonly").c_str(), 0444);
        fs::create_symlink(At("dir"), At("link-to-dir"));
        fs::create_symlink(At("readonly"), At("link-to-file"));
        fs::create_symlink(At("nowhere"), At("dangling"));
    }
    std::string At(const std::string& name) const { return Dir.Path + "/" + name; }

    logtest::ScratchDir Dir;
};

TEST_F(PlatformEntries, LookUpTellsMissingDirectoryAndOther) {
    struct Case {
        const char* name;
        EntryKind kind;
    };
    const Case cases[] = {
        {"missing", EntryKind::Missing},       {"dir", EntryKind::Directory},
        {"file", EntryKind::Other},            {"readonly", EntryKind::Other},
        {"link-to-dir", EntryKind::Directory}, {"link-to-file", EntryKind::Other},
        {"dangling", EntryKind::Other},        {"file/below", EntryKind::Missing},
        {"dir/old.log", EntryKind::Other},     {"dir/", EntryKind::Directory},
    };
    for (const Case& c : cases) EXPECT_EQ(tvplatform::LookUpEntry(At(c.name).c_str()), c.kind) << c.name;
}

TEST_F(PlatformEntries, MakeRemovableOpensAReadOnlyFileToItsOwner) {
    tvplatform::MakeRemovable(At("readonly").c_str());
    EXPECT_TRUE(ModeOf(At("readonly")) & S_IWUSR);
}

TEST_F(PlatformEntries, MakeRemovableLeavesTheTargetOfALinkAlone) {
    tvplatform::MakeRemovable(At("link-to-file").c_str());
    EXPECT_EQ(ModeOf(At("readonly")) & 0777, 0444u);
}

TEST_F(PlatformEntries, RemoveEntryDeletesFilesAndLinksButNotLinkTargets) {
    tvplatform::RemoveEntry(At("file").c_str());
    tvplatform::RemoveEntry(At("link-to-dir").c_str());
    tvplatform::RemoveEntry(At("link-to-file").c_str());
    EXPECT_FALSE(fs::exists(fs::symlink_status(At("file"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(At("link-to-dir"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(At("link-to-file"))));
    EXPECT_EQ(logtest::ReadAll(At("readonly")), "locked");
    EXPECT_EQ(logtest::ReadAll(At("dir/old.log")), "kept");
}

TEST_F(PlatformEntries, RemoveEntryNeverRemovesADirectory) {
    tvplatform::RemoveEntry(At("dir").c_str());
    EXPECT_EQ(logtest::ReadAll(At("dir/old.log")), "kept");
}

TEST_F(PlatformEntries, MakeDirectoryCreatesOneLevelOnly) {
    tvplatform::MakeDirectory(At("fresh").c_str());
    EXPECT_TRUE(fs::is_directory(At("fresh")));
    tvplatform::MakeDirectory(At("a/b").c_str());
    EXPECT_FALSE(fs::exists(At("a")));
    tvplatform::MakeDirectory(At("file/sub").c_str());
    EXPECT_EQ(logtest::ReadAll(At("file")), "plain");
    tvplatform::MakeDirectory(At("dir").c_str());
    EXPECT_EQ(logtest::ListDir(At("dir")), std::vector<std::string>{"old.log"});
}

// Seconds since the epoch of a local calendar time.
std::time_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(PlatformClock, LocalNowIsTheLocalWallClock) {
    // Not UTC: a zone far from it makes the difference visible in the hour.
    const char* saved = std::getenv("TZ");
    std::string savedTz = saved ? saved : "";
    for (const char* zone : {"UTC0", "XST-9", "YST+5:30"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        std::time_t before = std::time(nullptr);
        tvplatform::LocalTime now = tvplatform::LocalNow();
        std::time_t after = std::time(nullptr);
        std::time_t seen = LocalSeconds(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second);
        EXPECT_GE(seen, before) << zone;
        EXPECT_LE(seen, after) << zone;
        EXPECT_GE(now.Millisecond, 0);
        EXPECT_LE(now.Millisecond, 999);
    }
    if (saved)
        ::setenv("TZ", savedTz.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
