// Where logs go: a log/TiffParse tree beside the host's executable, made on
// demand, with a file name from the local time. The host is a small helper
// program copied into scratch directories, so that the tree appears there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "LogTestUtil.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

namespace fs = std::filesystem;

// Output of a shell command (stdout only), or "<failed>".
std::string Capture(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "<failed>";
    std::string out;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    if (::pclose(pipe) != 0) out += "<exit status>";
    return out;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Chomp(std::string s) {
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

// Copies the helper into `dir` as "host" and returns its path.
std::string InstallHost(const std::string& dir) {
    const std::string host = dir + "/host";
    std::error_code ec;
    fs::copy_file(TIFFVIEW_LOG_HOST_HELPER, host, fs::copy_options::overwrite_existing, ec);
    ::chmod(host.c_str(), 0755);
    return host;
}

// True for names of the form YYYYMMDD_HHMMSS_mmm.log.
bool IsLogName(const std::string& name) {
    static const char kShape[] = "dddddddd_dddddd_ddd.log";
    if (name.size() != sizeof kShape - 1) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (kShape[i] == 'd' ? !digit : name[i] != kShape[i]) return false;
    }
    return true;
}

// Seconds since the epoch of the local time a log name stands for.
std::time_t TimeOfName(const std::string& name) {
    struct tm t = {};
    t.tm_year = std::stoi(name.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(name.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(name.substr(6, 2));
    t.tm_hour = std::stoi(name.substr(9, 2));
    t.tm_min = std::stoi(name.substr(11, 2));
    t.tm_sec = std::stoi(name.substr(13, 2));
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class LogLocation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Scratch.Path.empty());
        // The comparison with the executable's path needs the real path.
        Dir = fs::canonical(Scratch.Path).string();
        Host = InstallHost(Dir);
        ASSERT_TRUE(fs::exists(Host));
    }
    // Runs "host path" and checks the shape of the answer; returns the name.
    std::string LogName() {
        const std::time_t before = std::time(nullptr);
        const std::string path = Chomp(Capture(Quote(Host) + " path"));
        const std::time_t after = std::time(nullptr);
        const std::string prefix = Dir + "/log/TiffParse/";
        EXPECT_EQ(path.substr(0, prefix.size()), prefix);
        const std::string name = path.size() > prefix.size() ? path.substr(prefix.size()) : "";
        EXPECT_TRUE(IsLogName(name)) << name;
        if (IsLogName(name)) {
            const std::time_t at = TimeOfName(name);
            EXPECT_GE(at, before - 1) << name;
            EXPECT_LE(at, after + 1) << name;
        }
        return name;
    }

    logtest::ScratchDir Scratch;
    std::string Dir;
    std::string Host;
};

TEST_F(LogLocation, ExecutablePathIsTheHostsOwn) {
    EXPECT_EQ(Capture(Quote(Host) + " exe"), "1 " + Host + "\n");
}

TEST_F(LogLocation, MissingTreeIsCreatedButNoFile) {
    LogName();
    EXPECT_TRUE(fs::is_directory(Dir + "/log"));
    EXPECT_TRUE(fs::is_directory(Dir + "/log/TiffParse"));
    EXPECT_EQ(logtest::ListDir(Dir + "/log"), std::vector<std::string>{"TiffParse"});
    EXPECT_TRUE(logtest::ListDir(Dir + "/log/TiffParse").empty());
}

TEST_F(LogLocation, ReadOnlyFileNamedLogGivesWay) {
    logtest::WriteAll(Dir + "/log", "not a directory");
    ::chmod((Dir + "/log").c_str(), 0444);
    LogName();
    EXPECT_TRUE(fs::is_directory(Dir + "/log/TiffParse"));
    EXPECT_EQ(logtest::ListDir(Dir + "/log"), std::vector<std::string>{"TiffParse"});
}

TEST_F(LogLocation, ReadOnlyFileNamedTiffParseGivesWayOthersStay) {
    fs::create_directory(Dir + "/log");
    logtest::WriteAll(Dir + "/log/TiffParse", "not a directory");
    ::chmod((Dir + "/log/TiffParse").c_str(), 0444);
    logtest::WriteAll(Dir + "/log/notes.txt", "kept");
    LogName();
    EXPECT_TRUE(fs::is_directory(Dir + "/log/TiffParse"));
    EXPECT_TRUE(logtest::ListDir(Dir + "/log/TiffParse").empty());
    EXPECT_EQ(logtest::ReadAll(Dir + "/log/notes.txt"), "kept");
}

TEST_F(LogLocation, ExistingTreeAndOlderLogsAreKept) {
    fs::create_directories(Dir + "/log/TiffParse");
    logtest::WriteAll(Dir + "/log/TiffParse/20090315_142503_007.log", "older log");
    logtest::WriteAll(Dir + "/log/other.txt", "other");
    LogName();
    EXPECT_EQ(logtest::ListDir(Dir + "/log/TiffParse"), std::vector<std::string>{"20090315_142503_007.log"});
    EXPECT_EQ(logtest::ReadAll(Dir + "/log/TiffParse/20090315_142503_007.log"), "older log");
    EXPECT_EQ(logtest::ReadAll(Dir + "/log/other.txt"), "other");
}

TEST_F(LogLocation, LinkedLogDirectoryIsUsedAsItIs) {
    fs::create_directories(Dir + "/elsewhere/TiffParse");
    logtest::WriteAll(Dir + "/elsewhere/TiffParse/keep.log", "kept");
    fs::create_directory_symlink(Dir + "/elsewhere", Dir + "/log");
    LogName();
    EXPECT_TRUE(fs::is_symlink(Dir + "/log"));
    EXPECT_EQ(logtest::ReadAll(Dir + "/log/TiffParse/keep.log"), "kept");
}

TEST_F(LogLocation, TimeFieldsAreZeroFilled) {
    // Whatever the moment, every field has its full width: eight digits of
    // date, six of time, three of milliseconds. Two calls a little apart
    // give two different names.
    const std::string first = LogName();
    ::usleep(5000);
    const std::string second = LogName();
    EXPECT_NE(first, second);
}

// Executables deep below the scratch directory: well past the 260 bytes a
// fixed path buffer would hold.
class LogLocationDeep : public LogLocation, public ::testing::WithParamInterface<int> {};

TEST_P(LogLocationDeep, TreeLiesBesideTheExecutable) {
    std::string deep = Dir;
    for (int i = 0; i < GetParam(); ++i) deep += "/" + std::string(100, static_cast<char>('a' + i));
    fs::create_directories(deep);
    const std::string host = InstallHost(deep);
    ASSERT_GT(host.size(), 260u);
    EXPECT_EQ(Capture(Quote(host) + " exe"), "1 " + host + "\n");
    const std::string path = Chomp(Capture(Quote(host) + " path"));
    const std::string prefix = deep + "/log/TiffParse/";
    ASSERT_EQ(path.substr(0, prefix.size()), prefix);
    EXPECT_TRUE(IsLogName(path.substr(prefix.size())));
    EXPECT_TRUE(fs::is_directory(deep + "/log/TiffParse"));
}

INSTANTIATE_TEST_SUITE_P(LogLocation, LogLocationDeep, ::testing::Values(3, 10, 30));

TEST_F(LogLocation, UnknowableExecutablePathGivesNoLogAndNoTree) {
    // Past the system's path limit the executable's path cannot be learned;
    // the reader then has nowhere to put its log and creates nothing, not
    // even in the current directory.
    const std::string image = Dir + "/page.tif";
    tvtest::BilevelLayout layout;
    layout.width = 8;
    layout.length = 2;
    layout.compression = 5;
    layout.strips = {tvtest::Bytes(3, 1)};
    tvtest::WriteFileBytes(image, tvtest::MakeBilevel(layout).Build());

    std::string script = "cd " + Quote(Dir) + " && mkdir deep && cd deep";
    const std::string level(200, 'x');
    for (int i = 0; i < 25; ++i) script += " && mkdir " + level + " && cd " + level;
    script += " && cp " + Quote(Host) + " host && ./host exe && ./host path && ./host close " + Quote(image) +
              " 1 && find . -name log | wc -l";
    // bash, as dash cannot change into a directory past the path limit.
    const std::string out = Capture("bash -c " + Quote(script));
    EXPECT_NE(out.find("0 \n"), std::string::npos) << out;  // "exe": not learned
    EXPECT_NE(out.find("\n\nhandle"), std::string::npos) << out;  // "path": empty
    EXPECT_NE(out.find("after handle -1 pending 0 decoder 0 fd 0\n"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 2), "0\n") << out;  // no log directory anywhere below
    EXPECT_EQ(logtest::ListDir(Dir), (std::vector<std::string>{"deep", "host", "page.tif"}));
    // The standard library's removal cannot reach this deep.
    std::system(("rm -rf " + Quote(Dir + "/deep")).c_str());
}

// CloseFile of a reader holding a fault writes the log into the tree.
class LogAtClose : public LogLocation {
protected:
    void SetUp() override {
        LogLocation::SetUp();
        Image = Dir + "/scan page.tif";
        tvtest::BilevelLayout layout;
        layout.width = 24;
        layout.length = 5;
        layout.compression = 5;
        layout.strips = {tvtest::Bytes(9, 0x42)};
        tvtest::WriteFileBytes(Image, tvtest::MakeBilevel(layout).Build());
    }
    std::string Image;
};

TEST_F(LogAtClose, OneLogWithTheOpenHandleThenEverythingClosed) {
    const std::string out = Capture(Quote(Host) + " close " + Quote(Image) + " 6");
    ASSERT_EQ(out.rfind("handle ", 0), 0u) << out;
    const std::string handle = out.substr(7, out.find('\n') - 7);
    ASSERT_FALSE(handle.empty()) << out;
    ASSERT_EQ(handle.find_first_not_of("0123456789"), std::string::npos) << out;
    EXPECT_NE(out.find("read F0000053\n"), std::string::npos) << out;
    EXPECT_NE(out.find("after handle -1 pending 0 decoder 0 fd 0\n"), std::string::npos) << out;

    const std::vector<std::string> logs = logtest::ListDir(Dir + "/log/TiffParse");
    ASSERT_EQ(logs.size(), 1u);  // the second close wrote nothing
    EXPECT_TRUE(IsLogName(logs[0])) << logs[0];
    const std::string log = logtest::ReadAll(Dir + "/log/TiffParse/" + logs[0]);
    const std::string head = "ErrorID = 4026531923\r\nFileName = " + Image + "\r\nFileHandle = " + handle + "\r\n";
    EXPECT_EQ(log.substr(0, head.size()), head);
    const std::string tail = "CurLine = 0\r\nUnuseByte = 6\r\nUnpackError = 6 / 15 = -9\r\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(LogAtClose, NoTreePossibleStillClosesEverything) {
    // The host's directory vanishes before the close: the log directories
    // cannot be made, the log cannot be opened, and the close goes on.
    fs::create_directory(Dir + "/bin");
    const std::string host = InstallHost(Dir + "/bin");
    const std::string out = Capture(Quote(host) + " orphan " + Quote(Image) + " 6");
    EXPECT_NE(out.find("read F0000053\n"), std::string::npos) << out;
    EXPECT_NE(out.find("after handle -1 pending 0 decoder 0 fd 0\n"), std::string::npos) << out;
    // Nothing re-created the vanished directory or wrote beside it.
    EXPECT_EQ(logtest::ListDir(Dir), (std::vector<std::string>{"host", "scan page.tif"}));
}

// CreateSaveDir on its own: make sure one path names a directory.
struct SaveDirCase {
    const char* name;
    const char* target;      // below the scratch directory
    bool directoryAfter;     // the target is a directory afterwards
    bool oldContentKept;     // the directory's old file (if any) survived
};

// Named, so that gtest does not print the struct's padding bytes.
void PrintTo(const SaveDirCase& c, std::ostream* os) { *os << c.name; }

class CreateSaveDirCases : public ::testing::TestWithParam<SaveDirCase> {};

TEST_P(CreateSaveDirCases, EnsuresADirectory) {
    logtest::ScratchDir scratch;
    ASSERT_FALSE(scratch.Path.empty());
    const std::string root = scratch.Path;
    fs::create_directory(root + "/dir");
    logtest::WriteAll(root + "/dir/old.log", "old");
    logtest::WriteAll(root + "/file", "file");
    logtest::WriteAll(root + "/readonly", "readonly");
    ::chmod((root + "/readonly").c_str(), 0444);
    fs::create_directory_symlink(root + "/dir", root + "/link");
    fs::create_symlink(root + "/nowhere", root + "/dangling");

    const SaveDirCase& c = GetParam();
    std::string path = root + "/" + c.target;
    const std::string given = path;
    CTiffView view;
    CTiffViewTestAccess::CreateSaveDir(view, path);
    EXPECT_EQ(path, given);
    EXPECT_EQ(fs::is_directory(path), c.directoryAfter);
    if (c.oldContentKept) {
        EXPECT_EQ(logtest::ReadAll(path + "/old.log"), "old");
    }
    if (std::string(c.target).rfind("file/", 0) == 0) {
        EXPECT_EQ(logtest::ReadAll(root + "/file"), "file");
    }
    // The original directory keeps its file in every case.
    EXPECT_EQ(logtest::ReadAll(root + "/dir/old.log"), "old");
    EXPECT_FALSE(fs::exists(root + "/nowhere"));
    EXPECT_FALSE(fs::exists(root + "/missing"));
}

INSTANTIATE_TEST_SUITE_P(
    LogLocation, CreateSaveDirCases,
    ::testing::Values(SaveDirCase{"Missing", "fresh", true, false},
                      SaveDirCase{"ExistingWithContent", "dir", true, true},
                      SaveDirCase{"PlainFile", "file", true, false},
                      SaveDirCase{"ReadOnlyFile", "readonly", true, false},
                      SaveDirCase{"LinkToDirectory", "link", true, true},
                      SaveDirCase{"DanglingLink", "dangling", true, false},
                      SaveDirCase{"ParentMissing", "missing/sub", false, false},
                      SaveDirCase{"ParentIsAFile", "file/sub", false, false}),
    [](const ::testing::TestParamInfo<SaveDirCase>& info) { return std::string(info.param.name); });

}  // namespace
