// What a run tells a script: the exit status of each outcome, pages turned
// upright as ImageMagick turns them, the tags info lists (text and JSON),
// and batches on several jobs giving exactly what one job gives.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TiffView.h"
#include "tool/ImageFiles.h"
#include "tool/PageFiles.h"
#include "tool/ToolFiles.h"
#include "tool/ToolRunner.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

std::string DataFile(const std::string& name) { return std::string(TIFFVIEW_TESTDATA_DIR) + "/" + name; }

// Inputs of every outcome: clean, damaged (a strip short: lines delivered
// with warnings), unreadable, and with a grey page among bi-level ones.
class Outcomes : public ::testing::Test {
protected:
    void SetUp() override {
        clean_ = tooltest::WriteUncompressed(in_, "clean.tif");
        // The strip ends well before the page does, and so does the file.
        tvtest::BilevelLayout layout;
        layout.width = 256;
        layout.length = 40;
        tvtest::Bytes strip = tvtest::JoinRows(tvtest::NoisePage(256, 40, 3));
        strip.resize(400);
        layout.strips.push_back(strip);
        damaged_ = in_.Write("damaged.tif", tvtest::MakeBilevel(layout).Build());
        unreadable_ = tooltest::WriteRefusedCoding(in_, "unreadable.tif");
        mixed_ = in_.File("mixed.tif");
        tooltest::PageLayout grey = tooltest::Page(30, 10, 1);
        grey.grey = true;
        tooltest::WritePages(mixed_, {tooltest::Page(64, 20, 4), grey});
    }
    std::string Input(const std::string& name) const {
        return name == "clean" ? clean_ : name == "damaged" ? damaged_ : name == "unreadable" ? unreadable_ : mixed_;
    }
    tvtest::TempDir in_;
    std::string clean_, damaged_, unreadable_, mixed_;
};

struct StatusCase {
    const char* label;
    std::vector<std::string> args;  // "clean", "damaged", "unreadable", "mixed" name inputs; "OUT" an output
    int exitCode;
    bool written;  // OUT exists afterwards
};

void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.label; }

class ExitStatus : public Outcomes, public ::testing::WithParamInterface<StatusCase> {};

// The exit-status table of the manual, row by row.
TEST_P(ExitStatus, FollowsTheTable) {
    const StatusCase& c = GetParam();
    tvtest::TempDir out;
    std::vector<std::string> args;
    for (const std::string& a : c.args) {
        if (a == "clean" || a == "damaged" || a == "unreadable" || a == "mixed") args.push_back(Input(a));
        else if (a == "OUT") args.push_back(out.File("out.pbm"));
        else if (a == "DIR") args.push_back(out.Path());
        else args.push_back(a);
    }
    const tooltest::RunResult r = RunTool(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
    if (std::find(c.args.begin(), c.args.end(), "OUT") != c.args.end()) {
        EXPECT_EQ(std::filesystem::exists(out.File("out.pbm")), c.written) << Describe(r);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tool, ExitStatus,
    ::testing::Values(
        StatusCase{"ConvertClean", {"convert", "clean", "-o", "OUT"}, 0, true},
        StatusCase{"ConvertWarningsWritten", {"convert", "damaged", "-o", "OUT"}, 0, true},
        StatusCase{"ConvertWarningsFatal", {"convert", "--fatal-warnings", "damaged", "-o", "OUT"}, 4, false},
        StatusCase{"ConvertUnreadable", {"convert", "unreadable", "-o", "OUT"}, 1, false},
        StatusCase{"ConvertGreyPageSkipped", {"convert", "mixed", "-o", "OUT"}, 5, true},
        StatusCase{"ConvertOnlyTheGreyPage", {"convert", "mixed", "--page", "2", "-o", "OUT"}, 5, false},
        StatusCase{"ConvertBadUsage", {"convert", "clean", "-o", "OUT", "--orientation", "sideways"}, 2, false},
        StatusCase{"CheckClean", {"check", "clean"}, 0, false},
        StatusCase{"CheckDamaged", {"check", "damaged"}, 4, false},
        StatusCase{"CheckUnreadable", {"check", "unreadable"}, 1, false},
        StatusCase{"CheckGreyPageSkipped", {"check", "mixed"}, 5, false},
        // Several files: the gravest, in the order 3, 1, 5, 4.
        StatusCase{"CheckSkippedOverDamaged", {"check", "clean", "damaged", "mixed"}, 5, false},
        StatusCase{"CheckUnreadableOverAll", {"check", "damaged", "unreadable", "mixed", "clean"}, 1, false},
        StatusCase{"BatchUnreadableOverSkipped", {"convert", "mixed", "unreadable", "--output-dir", "DIR"}, 1, false},
        StatusCase{"InfoDescribesTheGreyPage", {"info", "mixed"}, 0, false}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------- orientation

bool HaveImageMagick() { return std::system("convert -version > /dev/null 2>&1") == 0; }

// Each Orientation value on a page 37 wide and 23 long, against ImageMagick's
// -auto-orient of the same file. (netpbm's tifftopnm 10.x mangles pages of
// Orientation 5 to 8 at one bit per pixel, so it cannot serve here.)
TEST(Orientation, EveryValueAsImageMagickTurnsIt) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert not installed";
    tvtest::TempDir dir;
    const tvtest::Rows rows = tvtest::NoisePage(37, 23, 5);
    for (std::uint16_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        tvtest::BilevelLayout layout;
        layout.width = 37;
        layout.length = 23;
        layout.strips.push_back(tvtest::JoinRows(rows));
        tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
        b.AddShort(274, orientation);
        const std::string in = dir.Write("o" + std::to_string(orientation) + ".tif", b.Build());
        const std::string ours = dir.File("ours.pbm");
        const std::string theirs = dir.File("theirs.pbm");
        const tooltest::RunResult r = RunTool({"convert", in, "-o", ours});
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        ASSERT_EQ(std::system(("convert '" + in + "' -auto-orient '" + theirs + "' 2>/dev/null").c_str()), 0);
        const tooltest::Picture a = tooltest::ReadPbm(ours);
        const tooltest::Picture b2 = tooltest::ReadPbm(theirs);
        ASSERT_TRUE(a.ok && b2.ok) << a.problem << b2.problem;
        EXPECT_EQ(a.width, orientation >= 5 ? 23u : 37u);
        EXPECT_EQ(a.width, b2.width);
        EXPECT_EQ(a.height, b2.height);
        EXPECT_EQ(tvtest::FirstDifference(a.rows, b2.rows), -1);
        // --orientation stored keeps the rows as the file holds them.
        const tooltest::RunResult stored = RunTool({"convert", "--orientation", "stored", in, "-o", ours});
        ASSERT_EQ(stored.exitCode, 0) << Describe(stored);
        EXPECT_EQ(tvtest::FirstDifference(tooltest::ReadPbm(ours).rows, rows), -1);
    }
}

// The corpus page of Orientation 6 comes out 590 wide and 88 tall, in PNG
// as in PBM, with the same pixels.
TEST(Orientation, CorpusPageComesOutUpright) {
    tvtest::TempDir dir;
    const std::string in = DataFile("pillow-g4_orientation_6.tif");
    const tooltest::RunResult r = RunTool({"convert", in, "-o", dir.File("a.pbm")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const tooltest::Picture pbm = tooltest::ReadPbm(dir.File("a.pbm"));
    ASSERT_TRUE(pbm.ok) << pbm.problem;
    EXPECT_EQ(pbm.width, 590u);
    EXPECT_EQ(pbm.height, 88u);
    if (!tooltest::ToolHasPng()) return;
    ASSERT_EQ(RunTool({"convert", in, "-o", dir.File("a.png")}).exitCode, 0);
    const tooltest::Picture png = tooltest::ReadPng(dir.File("a.png"));
    ASSERT_TRUE(png.ok) << png.problem;
    EXPECT_EQ(png.width, 590u);
    EXPECT_EQ(tvtest::FirstDifference(png.rows, pbm.rows), -1);
}

// Turning a page holds it whole, which --max-memory counts; the refusal
// names both ways out.
TEST(Orientation, HeldPageCountsAgainstTheLimit) {
    tvtest::TempDir dir;
    tvtest::BilevelLayout layout;
    layout.width = 8000;
    layout.length = 1000;
    layout.strips = tvtest::SplitRows(tvtest::NoisePage(8000, 1000, 2), 10);
    layout.rowsPerStrip = 10;
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.AddShort(274, 6);
    const std::string in = dir.Write("big.tif", b.Build());
    const tooltest::RunResult upright = RunTool({"convert", "--max-memory", "512K", in, "-o", dir.File("a.pbm")});
    EXPECT_EQ(upright.exitCode, 1) << Describe(upright);
    EXPECT_NE(upright.err.find("or keep the rows as stored with --orientation stored"), std::string::npos)
        << Describe(upright);
    const tooltest::RunResult stored =
        RunTool({"convert", "--max-memory", "512K", "--orientation", "stored", in, "-o", dir.File("a.pbm")});
    EXPECT_EQ(stored.exitCode, 0) << Describe(stored);
}

// ----------------------------------------------------------------------- info

// A page with the tags people look for, one unknown tag, and no
// PhotometricInterpretation.
std::string WriteTaggedPage(const tvtest::TempDir& dir, bool bigEndian = false) {
    tvtest::BilevelLayout layout;
    layout.bigEndian = bigEndian;
    layout.width = 16;
    layout.length = 2;
    layout.compression = 4;
    layout.strips.push_back(tvtest::Bytes{0x00, 0x10, 0x01});  // EOFB
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.Remove(262);
    auto ascii = [&](std::uint16_t tag, const std::string& text) {
        tvtest::Bytes bytes(text.begin(), text.end());
        bytes.push_back(0);
        b.AddEntry(tag, tvtest::kAscii, static_cast<std::uint32_t>(bytes.size()), b.Append(bytes));
    };
    b.AddShort(255, 3);
    ascii(269, "scan \"7\"");
    ascii(270, "a fax");
    ascii(271, "Acme");
    b.AddEntry(272, tvtest::kAscii, 3, bigEndian ? 0x46310000u : 0x3146u);  // "F1", in the entry itself
    b.AddEntry(297, tvtest::kShort, 2, b.BigEndian() ? 0x00010003u : 0x00030001u);
    ascii(305, "faxd 2.1");
    ascii(306, "2026:12:08 01:02:03");
    b.AddLong(326, 12);
    b.AddShort(327, 2);
    b.AddShort(328, 5);
    b.AddEntry(65000, tvtest::kLong, 3, b.AppendLongs({7, 8, 9}));
    b.AddEntry(65001, tvtest::kRational, 1, b.AppendRational(3, 4));
    return dir.Write(bigEndian ? "tagged-mm.tif" : "tagged.tif", b.Build());
}

class InfoTags : public ::testing::TestWithParam<bool> {};

TEST_P(InfoTags, ListsAndExplainsEveryTag) {
    tvtest::TempDir dir;
    const std::string path = WriteTaggedPage(dir, GetParam());
    const tooltest::RunResult r = RunTool({"info", path});
    EXPECT_EQ(r.exitCode, 0) << Describe(r);
    EXPECT_NE(r.out.find("    photometric:  0 (WhiteIsZero), assumed: the page has no PhotometricInterpretation "
                         "tag\n"),
              std::string::npos)
        << Describe(r);
    EXPECT_NE(r.out.find("    tags:\n"
                         "      255 SubfileType: 3 (a page of a multi-page document)\n"
                         "      269 DocumentName: \"scan \\\"7\\\"\"\n"
                         "      270 ImageDescription: \"a fax\"\n"
                         "      271 Make: \"Acme\"\n"
                         "      272 Model: \"F1\"\n"
                         "      297 PageNumber: 1 3 (page 2 of 3)\n"
                         "      305 Software: \"faxd 2.1\"\n"
                         "      306 DateTime: \"2026:12:08 01:02:03\"\n"
                         "      326 BadFaxLines: 12 (scan lines the fax machine received with the wrong number of "
                         "pixels)\n"
                         "      327 CleanFaxData: 2 (lines received with errors are in the data, not regenerated)\n"
                         "      328 ConsecutiveBadFaxLines: 5 (the longest run of consecutive bad scan lines)\n"
                         "      65000: 7 8 9\n"
                         "      65001: 0.75\n"),
              std::string::npos)
        << Describe(r);
}

// The JSON schema of the manual, on the same page: one object per file on
// a line of its own, the pages inside.
INSTANTIATE_TEST_SUITE_P(Tool, InfoTags, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "BigEndian" : "LittleEndian");
                         });

TEST(InfoJson, OneStableObjectPerFile) {
    tvtest::TempDir dir;
    const std::string path = WriteTaggedPage(dir);
    const tooltest::RunResult r = RunTool({"info", "--json", path, dir.File("missing.tif")});
    EXPECT_EQ(r.exitCode, 1) << Describe(r);
    const std::string first = r.out.substr(0, r.out.find('\n') + 1);
    EXPECT_EQ(first.substr(0, first.find("\"tags\":")),
              "{\"file\":\"" + path +
                  "\",\"error\":null,\"byte_order\":\"II\",\"page_count\":1,\"pages\":[{\"page\":1,\"status\":\"ok\","
                  "\"error\":null,\"width\":16,\"length\":2,\"bits_per_sample\":1,\"samples_per_pixel\":1,"
                  "\"compression\":4,\"compression_name\":\"CCITT T.6 (Group 4)\",\"photometric\":0,"
                  "\"photometric_name\":\"WhiteIsZero\",\"photometric_assumed\":true,\"x_resolution\":204,"
                  "\"y_resolution\":196,\"resolution_unit\":2,\"fill_order\":1,\"orientation\":1,\"t4_options\":0,"
                  "\"t6_options\":0,\"layout\":\"strips\",\"rows_per_strip\":2,\"tile_width\":null,"
                  "\"tile_length\":null,\"chunk_count\":1,")
        << Describe(r);
    EXPECT_NE(first.find("{\"tag\":269,\"name\":\"DocumentName\",\"type\":\"ASCII\",\"count\":9,\"value\":\"scan "
                         "\\\"7\\\"\",\"complete\":true,\"meaning\":null}"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("{\"tag\":297,\"name\":\"PageNumber\",\"type\":\"SHORT\",\"count\":2,\"value\":[1,3],"
                         "\"complete\":true,\"meaning\":\"page 2 of 3\"}"),
              std::string::npos)
        << first;
    EXPECT_NE(first.find("{\"tag\":65001,\"name\":null,\"type\":\"RATIONAL\",\"count\":1,\"value\":[0.75],"
                         "\"complete\":true,\"meaning\":null}]}],\"format\":\"tiff\"}\n"),
              std::string::npos)
        << first;
    EXPECT_EQ(r.out.substr(first.size()),
              "{\"file\":\"" + dir.File("missing.tif") +
                  "\",\"error\":{\"code\":\"0xF0000003\",\"name\":\"TV_ERR_FILE_OPEN\",\"message\":\"0xF0000003 "
                  "TV_ERR_FILE_OPEN: " + tooltest::Sentence(TV_ERR_FILE_OPEN) +
                  " (No such file or directory)\"},\"byte_order\":null,\"page_count\":0,\"pages\":[],"
                  "\"format\":\"tiff\"}\n")
        << Describe(r);
}

// ------------------------------------------------------------------- batches

// A batch of every outcome, run with one job and with three: the same
// standard output, standard error, status and files, byte for byte.
TEST_F(Outcomes, JobsChangeNothingButTheTime) {
    std::vector<std::string> files;
    for (int round = 0; round < 3; ++round)
        for (const char* name : {"clean", "damaged", "unreadable", "mixed"}) files.push_back(Input(name));
    files.push_back(DataFile("pillow-g4-multi.tiff"));
    files.push_back(DataFile("pillow-g4_orientation_6.tif"));
    for (const char* command : {"check", "convert"}) {
        SCOPED_TRACE(command);
        std::vector<tooltest::RunResult> runs;
        std::vector<std::vector<tvtest::Bytes>> outputs;
        for (const char* jobs : {"-j1", "-j3"}) {
            tvtest::TempDir out;
            std::vector<std::string> args{command, jobs};
            args.insert(args.end(), files.begin(), files.end());
            if (std::string(command) == "convert") {
                args.push_back("--output-dir");
                args.push_back(out.Path());
            }
            runs.push_back(RunTool(args));
            // The output directories differ; nothing else may.
            std::string& err = runs.back().err;
            for (std::size_t at; (at = err.find(out.Path())) != std::string::npos;)
                err.replace(at, out.Path().size(), "OUT");
            std::vector<tvtest::Bytes> written;
            for (const std::string& name : tooltest::ListFiles(out.Path()))
                written.push_back(tvtest::ReadFileBytes(out.File(name)));
            outputs.push_back(written);
        }
        // Each input comes three times: in a batch the later copies fail
        // (3), since they would overwrite the first one's output.
        EXPECT_EQ(runs[0].exitCode, std::string(command) == "convert" ? 3 : 1) << Describe(runs[0]);
        EXPECT_EQ(runs[1].exitCode, runs[0].exitCode);
        EXPECT_EQ(runs[1].out, runs[0].out);
        EXPECT_EQ(runs[1].err, runs[0].err);
        EXPECT_EQ(outputs[1], outputs[0]);
    }
}

// One progress bar covers the jobs: it is drawn, ends wiped, and the
// verdicts between its redraws stay whole lines in input order.
TEST_F(Outcomes, OneBarForAllJobs) {
    const tooltest::RunResult one = RunTool({"check", "-j", "1", clean_, damaged_, mixed_, clean_});
    const tooltest::RunResult bar = RunTool({"check", "--jobs=2", "--progress", clean_, damaged_, mixed_, clean_});
    EXPECT_EQ(bar.out, one.out);
    EXPECT_NE(bar.err.find("] 1/4 "), std::string::npos) << Describe(bar);
    EXPECT_EQ(bar.err.substr(bar.err.size() - 4), "\r\033[K") << Describe(bar);
}

TEST(Jobs, BadCountsAreUsageErrors) {
    for (const char* bad : {"-j0", "--jobs=x", "-j", "--jobs=99999"}) {
        const tooltest::RunResult r = RunTool({"check", bad, "a.tif"});
        EXPECT_EQ(r.exitCode, 2) << bad << Describe(r);
    }
}

}  // namespace
