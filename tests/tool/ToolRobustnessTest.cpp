// Hostile and odd input: the tool must never crash, hang or trip a
// sanitizer, whatever it is fed, and must report each file on its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/FaxEncoder.h"
#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

// The real-world files kept in the test data, small ones only: the big pages add time and
// nothing the small ones lack.
std::vector<std::string> CorpusFiles() {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(TIFFVIEW_CORPUS_DIR, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file() || it->path().extension() == ".md") continue;
        if (it->file_size() > 300 * 1024) continue;
        files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void ExpectOrderlyExit(const tooltest::RunResult& r) {
    EXPECT_FALSE(r.timedOut) << Describe(r);
    EXPECT_EQ(r.signal, 0) << Describe(r);
    // 0 read, 1 unreadable, 4 damaged, 5 pages skipped.
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1 || r.exitCode == 4 || r.exitCode == 5) << Describe(r);
    EXPECT_FALSE(tooltest::HasRuntimeComplaint(r.err)) << Describe(r);
}

// Every file gets exactly one verdict line in `check`.
void ExpectOneVerdictEach(const tooltest::RunResult& r, const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        int verdicts = r.out.find(f + ": OK (") != std::string::npos ? 1 : 0;
        for (const char* word : {": FAILED\n", ": DAMAGED\n", ": SKIPPED\n"})
            verdicts += r.out.find(f + word) != std::string::npos ? 1 : 0;
        EXPECT_EQ(verdicts, 1) << f << "\n" << Describe(r);
    }
}

class Corpus : public ::testing::Test {
protected:
    void SetUp() override {
        files_ = CorpusFiles();
        if (files_.empty()) GTEST_SKIP() << "no corpus at " << TIFFVIEW_CORPUS_DIR;
    }
    std::vector<std::string> files_;
};

TEST_F(Corpus, InfoWithStripsOnEveryFile) {
    std::vector<std::string> args{"info", "--strips"};
    args.insert(args.end(), files_.begin(), files_.end());
    const tooltest::RunResult r = RunTool(args);
    ExpectOrderlyExit(r);
    for (const std::string& f : files_) EXPECT_NE(r.out.find(f + "\n  "), std::string::npos) << f;
}

TEST_F(Corpus, CheckEveryFile) {
    std::vector<std::string> args{"check"};
    args.insert(args.end(), files_.begin(), files_.end());
    const tooltest::RunResult r = RunTool(args);
    ExpectOrderlyExit(r);
    ExpectOneVerdictEach(r, files_);
}

TEST_F(Corpus, ConvertEveryFileLeavesOnlyCompleteImages) {
    tvtest::TempDir out;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const std::string target = out.File(std::to_string(i) + ".pbm");
        const tooltest::RunResult r = RunTool({"convert", files_[i], "-o", target});
        SCOPED_TRACE(files_[i]);
        ExpectOrderlyExit(r);
        const bool written = std::filesystem::exists(target);
        // Exit 0 always writes; a refusal or failure writes nothing.
        if (r.exitCode == 0) {
            EXPECT_TRUE(written) << Describe(r);
        }
        if (r.err.find("not written") != std::string::npos) {
            EXPECT_FALSE(written) << Describe(r);
        }
    }
    // No temporaries anywhere.
    for (const std::string& name : tooltest::ListFiles(out.Path())) EXPECT_NE(name[0], '.') << name;
}

// Seeded damage to a valid multi-strip Group 4 file: truncations and byte
// changes in the header, directory, tables and data.
TEST(Mutations, DamagedFilesAreReportedNotFatal) {
    tvtest::TempDir dir;
    tvtest::LibtiffOptions o;
    o.compression = 4;
    o.rowsPerStrip = 16;
    o.width = 120;
    o.length = 50;
    const std::string original = tooltest::WriteLibtiffPage(dir, "orig.tif", o);
    const tvtest::Bytes bytes = tvtest::ReadFileBytes(original);
    faxenc::Rng rng(20261207);
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        tvtest::Bytes damaged = bytes;
        if (i % 4 == 0) {
            damaged.resize(rng.Below(static_cast<std::uint32_t>(bytes.size())));
        } else {
            const int changes = 1 + static_cast<int>(rng.Below(4));
            for (int k = 0; k < changes; ++k)
                damaged[rng.Below(static_cast<std::uint32_t>(damaged.size()))] =
                    static_cast<std::uint8_t>(rng.Below(256));
        }
        files.push_back(dir.Write("m" + std::to_string(i) + ".tif", damaged));
    }
    std::vector<std::string> check{"check"};
    check.insert(check.end(), files.begin(), files.end());
    const tooltest::RunResult checked = RunTool(check);
    ExpectOrderlyExit(checked);
    ExpectOneVerdictEach(checked, files);

    std::vector<std::string> info{"info", "--strips"};
    info.insert(info.end(), files.begin(), files.end());
    ExpectOrderlyExit(RunTool(info));
}

// A bi-level file whose directory chain points back at itself, and one
// whose strip table lies far past the end of the file.
TEST(HostileStructure, LoopingChainAndFarTables) {
    tvtest::TempDir dir;
    tvtest::BilevelLayout layout;
    layout.width = 8;
    layout.length = 2;
    layout.strips.push_back(tvtest::Bytes{0x81, 0x18});
    tvtest::TiffBuilder looping = tvtest::MakeBilevel(layout);
    looping.SetLastNext(looping.DirectoryOffset(0));
    const std::string loop = dir.Write("loop.tif", looping.Build());

    layout.length = 4;
    layout.rowsPerStrip = 2;
    layout.strips = {tvtest::Bytes{1, 2}, tvtest::Bytes{3, 4}};
    tvtest::TiffBuilder far = tvtest::MakeBilevel(layout);
    far.Find(273)->value[3] = 0x7F;  // offsets array at 0x7F......
    const std::string farFile = dir.Write("far.tif", far.Build());

    for (const char* command : {"info", "check"}) {
        ExpectOrderlyExit(RunTool({command, loop}));
        const tooltest::RunResult r = RunTool({command, farFile});
        ExpectOrderlyExit(r);
        EXPECT_EQ(r.exitCode, 1) << Describe(r);
    }
    const tooltest::RunResult strips = RunTool({"info", "--strips", loop});
    ExpectOrderlyExit(strips);
}

}  // namespace
