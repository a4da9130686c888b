// The state log written after a strip decoded to the wrong number of bytes:
// whole files compared byte for byte against text built here from the
// known image and the known course of the faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "LogTestUtil.h"
#include "support/ReaderAccess.h"
#include "support/LzwEncoder.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;
using Step = CScriptedDecoder::Step;
constexpr std::uint32_t kRest = UINT32_MAX;  // consume the whole input

// Every value a log prints, as the test expects it.
struct LogValues {
    std::uint32_t errorId = 0;
    std::string fileName;
    std::int32_t fileHandle = -1;
    unsigned ifdNum = 0, ifdSize = 0, intel = 1;
    std::uint32_t width = 0, length = 0;
    std::int32_t compression = 5;
    unsigned photometric = 0;
    std::string xResolution = "204", yResolution = "196";
    unsigned resolutionUnit = 2, fillOrder = 1, planar = 1, predictor = 1;
    std::uint32_t t4Options = 0, t6Options = 0, rowsPerStrip = 0, stripsPerImage = 0, lineByte = 0;
    std::int32_t complete = 0;
    std::uint32_t stripOffset = 0, packedByte = 0, unpackedByte = 0;
    std::uint32_t blockSize = 0, blockEnd = 0, blockPos = 0, maxStripByte = 0;
    bool hasCurStrip = false;  // lines 23 and 24
    std::uint32_t curStrip = 0, firstRow = 0, lastRow = 0, curStripOffset = 0, curStripBytes = 0;
    std::uint32_t curLine = 0, unuseByte = 0, stripUnpackByte = 0, stripByte = 0;
    std::int32_t unpackDiff = 0;
};

std::string ExpectedLog(const LogValues& v) {
    auto u = [](std::uint32_t x) { return std::to_string(x); };
    auto s = [](std::int32_t x) { return std::to_string(x); };
    std::vector<std::string> lines = {
        "ErrorID = " + u(v.errorId),
        "FileName = " + v.fileName,
        "FileHandle = " + s(v.fileHandle),
        "IFDNum = " + u(v.ifdNum) + " / " + u(v.ifdSize),
        "Intel = " + u(v.intel),
        "Width * Length = " + u(v.width) + " * " + u(v.length),
        "Compression = " + s(v.compression),
        "PhotometricInterpretation = " + u(v.photometric),
        "Resolution = " + v.xResolution + " * " + v.yResolution + " @ " + u(v.resolutionUnit),
        "FillOrder = " + u(v.fillOrder),
        "PlanarConfiguration = " + u(v.planar),
        "Predictor = " + u(v.predictor),
        "T4Options = " + u(v.t4Options),
        "T6Options = " + u(v.t6Options),
        "RowsPerStrip = " + u(v.rowsPerStrip),
        "StripsPerImage = " + u(v.stripsPerImage),
        "LineByte = " + u(v.lineByte),
        "Complete = " + s(v.complete),
        "StripOffset = " + u(v.stripOffset),
        "PackedByte = " + u(v.packedByte) + " / " + u(v.unpackedByte),
        "BolckInfo = " + u(v.blockSize) + " [ " + u(v.blockEnd) + " / " + u(v.blockPos) + " ]",
        "MaxStripByte = " + u(v.maxStripByte),
    };
    if (v.hasCurStrip) {
        lines.push_back("CurStrip = " + u(v.curStrip) + " [ " + u(v.firstRow) + " - " + u(v.lastRow) + " ]");
        lines.push_back("CurStripInfo = [ " + u(v.curStripOffset) + " / " + u(v.curStripBytes) + " ]");
    }
    lines.push_back("CurLine = " + u(v.curLine));
    lines.push_back("UnuseByte = " + u(v.unuseByte));
    lines.push_back("UnpackError = " + u(v.stripUnpackByte) + " / " + u(v.stripByte) + " = " + s(v.unpackDiff));
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::size_t CountLines(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
    return n;
}

// An LZW image whose strips the scripted decoder "decodes"; the stored
// bytes are placeholders.
class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Scratch.Path.empty()); }

    // Writes the image, opens it and swaps in a decoder following `script`.
    void Open(tvtest::TiffBuilder builder, const std::vector<Step>& script, const std::string& name = "page.tif") {
        ImagePath = Scratch.Path + "/" + name;
        tvtest::WriteFileBytes(ImagePath, builder.Build());
        ASSERT_EQ(View.OpenFile(ImagePath.c_str()), TV_OK);
        Decoder = new CScriptedDecoder;
        Decoder->Script.assign(script.begin(), script.end());
        CTiffViewTestAccess::SwapDecoder(View, Decoder);
    }
    std::vector<std::uint32_t> ReadLines(std::uint32_t count) {
        std::vector<std::uint32_t> results;
        std::vector<unsigned char> line(CTiffViewTestAccess::Snapshot(View).LineByte);
        for (std::uint32_t i = 0; i < count; ++i) results.push_back(View.ReadALine(line.data()));
        return results;
    }
    std::string WriteLog(const std::string& name = "fault.log") {
        std::string path = Scratch.Path + "/" + name;
        View.LogFile(path.c_str());
        return logtest::ReadAll(path);
    }
    std::int32_t Handle() const { return CTiffViewTestAccess::Snapshot(View).FileHandle; }
    std::int32_t Pending() const { return CTiffViewTestAccess::Snapshot(View).LogPending; }

    logtest::ScratchDir Scratch;
    CTiffView View;
    CScriptedDecoder* Decoder = nullptr;
    std::string ImagePath;
};

// Three strips of 4, 4 and 2 rows, 16 pixels (2 bytes) wide; the stored
// strips hold 5, 7 and 3 bytes and follow the 8-byte header in that order,
// at offsets 8, 13 and 20.
tvtest::BilevelLayout ThreeStrips() {
    tvtest::BilevelLayout layout;
    layout.width = 16;
    layout.length = 10;
    layout.rowsPerStrip = 4;
    layout.compression = 5;
    layout.strips = {Bytes(5, 0xA5), Bytes(7, 0x5A), Bytes(3, 0x33)};
    return layout;
}

LogValues ThreeStripValues(const std::string& fileName, std::int32_t handle) {
    LogValues v;
    v.fileName = fileName;
    v.fileHandle = handle;
    v.ifdNum = v.ifdSize = 12;
    v.width = 16;
    v.length = 10;
    v.rowsPerStrip = 4;
    v.stripsPerImage = 3;
    v.lineByte = 2;
    v.packedByte = 15;
    v.blockSize = v.maxStripByte = 7;
    v.hasCurStrip = true;
    return v;
}

// Four lines of strip 0, each from one call that yields exactly a line.
const std::vector<Step> kStrip0Exact = {{1, 2}, {1, 2}, {1, 2}, {kRest, 2}};

// Strip 1 (rows 4 to 7, 7 bytes at offset 13) ran out after 4 of its 8
// decoded bytes while line 5 was being built, with 2 bytes held.
LogValues StripOneShortfall(const std::string& image, std::int32_t handle) {
    LogValues v = ThreeStripValues(image, handle);
    v.errorId = 4026531923u;
    v.blockEnd = v.blockPos = 7;
    v.curStrip = 1;
    v.firstRow = 4;
    v.lastRow = 7;
    v.curStripOffset = 13;
    v.curStripBytes = 7;
    v.curLine = 5;
    v.unuseByte = 2;
    v.stripUnpackByte = 4;
    v.stripByte = 8;
    v.unpackDiff = -4;
    return v;
}

TEST_F(LogFileTest, SingleStripShortfallHas25Lines) {
    tvtest::BilevelLayout layout;
    layout.width = 16;
    layout.length = 4;
    layout.compression = 5;
    layout.strips = {Bytes(10, 0x11)};
    layout.xNumerator = 391;
    layout.xDenominator = 2;
    // The strip's whole input yields one line of the four.
    Open(tvtest::MakeBilevel(layout), {{kRest, 2}});
    EXPECT_EQ(ReadLines(1), std::vector<std::uint32_t>{TV_ERR_STRIP_SHORT});

    LogValues v;
    v.errorId = 4026531923u;
    v.fileName = ImagePath;
    v.fileHandle = Handle();
    v.ifdNum = v.ifdSize = 12;
    v.width = 16;
    v.length = 4;
    v.xResolution = "195.5";
    v.rowsPerStrip = 4;
    v.stripsPerImage = 1;
    v.lineByte = 2;
    v.complete = 1;
    v.stripOffset = 10;  // the whole strip is in
    v.packedByte = 10;
    v.unpackedByte = 2;
    v.blockSize = v.blockEnd = v.blockPos = v.maxStripByte = 10;
    v.curLine = 0;
    v.unuseByte = 2;
    v.stripUnpackByte = 2;
    v.stripByte = 8;
    v.unpackDiff = -6;
    const std::string log = WriteLog();
    EXPECT_EQ(log, ExpectedLog(v));
    EXPECT_EQ(CountLines(log), 25u);
    EXPECT_EQ(log.find("CurStrip"), std::string::npos);
    EXPECT_EQ(Pending(), 0);
}

TEST_F(LogFileTest, ShortfallInAnInnerStripClosedAtOnce) {
    std::vector<Step> script = kStrip0Exact;
    script.push_back({3, 2});     // line 4
    script.push_back({kRest, 2}); // line 5: strip 1 ends after 4 of its 8 bytes
    Open(tvtest::MakeBilevel(ThreeStrips()), script);
    EXPECT_EQ(ReadLines(6), (std::vector<std::uint32_t>{TV_OK, TV_OK, TV_OK, TV_OK, TV_OK, TV_ERR_STRIP_SHORT}));

    LogValues v = StripOneShortfall(ImagePath, Handle());
    v.unpackedByte = 12;
    const std::string log = WriteLog();
    EXPECT_EQ(log, ExpectedLog(v));
    EXPECT_EQ(CountLines(log), 27u);
}

TEST_F(LogFileTest, SurplusInTheLastStripClosedAtOnce) {
    std::vector<Step> script = kStrip0Exact;
    for (int i = 0; i < 3; ++i) script.push_back({1, 2});
    script.push_back({kRest, 2});  // strip 1 exact
    script.push_back({1, 2});      // line 8
    script.push_back({kRest, 4});  // line 9: strip 2 yields 6 of its 4 bytes
    tvtest::BilevelLayout layout = ThreeStrips();
    layout.photometric = 1;
    layout.bigEndian = true;
    Open(tvtest::MakeBilevel(layout), script);
    std::vector<std::uint32_t> expected(9, TV_OK);
    expected.push_back(TV_ERR_STRIP_LONG);
    EXPECT_EQ(ReadLines(10), expected);
    EXPECT_EQ(Decoder->Discards, std::vector<std::uint32_t>{2});

    LogValues v = ThreeStripValues(ImagePath, Handle());
    v.errorId = 4026531924u;
    v.intel = 0;
    v.photometric = 1;
    v.complete = 1;
    v.unpackedByte = 22;
    v.blockEnd = v.blockPos = 3;
    v.curStrip = 2;
    v.firstRow = 8;
    v.lastRow = 11;  // whole strips of rows, past the image's last row
    v.curStripOffset = 20;
    v.curStripBytes = 3;
    v.curLine = 9;
    v.unuseByte = 4;
    v.stripUnpackByte = 6;
    v.stripByte = 4;
    v.unpackDiff = 2;
    EXPECT_EQ(WriteLog(), ExpectedLog(v));
}

TEST_F(LogFileTest, SurplusInAnInnerStripMixesSnapshotAndLiveState) {
    std::vector<Step> script = {{1, 2}, {1, 2}, {1, 2}, {kRest, 4}};  // strip 0 yields 10 of 8
    script.push_back({1, 2});                                        // line 4, from strip 1
    tvtest::BilevelLayout layout = ThreeStrips();
    // Optional tags the log reports as they are stored.
    tvtest::TiffBuilder builder = tvtest::MakeBilevel(layout);
    builder.AddShort(266, 2);
    builder.AddShort(284, 2);
    builder.AddLong(292, 5);
    builder.AddLong(293, 1u << 31);
    builder.AddShort(317, 2);
    builder.Find(296)->value[0] = 3;
    Open(builder, script);
    // The surplus is dropped and the next strip loaded within the same
    // call, so no line reports it.
    EXPECT_EQ(ReadLines(5), std::vector<std::uint32_t>(5, TV_OK));

    LogValues v = ThreeStripValues(ImagePath, Handle());
    v.ifdNum = v.ifdSize = 17;
    v.fillOrder = 2;
    v.planar = 2;
    v.t4Options = 5;
    v.t6Options = 2147483648u;
    v.predictor = 2;
    v.resolutionUnit = 3;
    v.errorId = 4026531924u;
    v.unpackedByte = 12;
    v.blockEnd = 7;
    v.blockPos = 1;
    v.curStrip = 0;
    v.firstRow = 0;
    v.lastRow = 7;  // up to the last row of strip 1, loaded since
    v.curStripOffset = 8;
    v.curStripBytes = 5;
    v.curLine = 3;
    v.unuseByte = 4;
    v.stripUnpackByte = 2;  // strip 1 so far
    v.stripByte = 8;
    v.unpackDiff = 2;  // strip 0 at the fault
    EXPECT_EQ(WriteLog(), ExpectedLog(v));
}

TEST_F(LogFileTest, TwoFaultsLogTheSecondOnce) {
    std::vector<Step> script = {{1, 2}, {1, 2}, {1, 2}, {kRest, 4}};  // surplus in strip 0
    script.push_back({1, 2});
    script.push_back({kRest, 2});  // shortfall in strip 1
    Open(tvtest::MakeBilevel(ThreeStrips()), script);
    EXPECT_EQ(ReadLines(6), (std::vector<std::uint32_t>{TV_OK, TV_OK, TV_OK, TV_OK, TV_OK, TV_ERR_STRIP_SHORT}));

    LogValues v = StripOneShortfall(ImagePath, Handle());
    v.unpackedByte = 14;
    EXPECT_EQ(WriteLog("first.log"), ExpectedLog(v));
    EXPECT_EQ(Pending(), 0);

    // Logged once: a further write attempt creates nothing.
    View.LogFile((Scratch.Path + "/second.log").c_str());
    EXPECT_EQ(logtest::ListDir(Scratch.Path), (std::vector<std::string>{"first.log", "page.tif"}));
}

// The shape of a typical fax-width page: a strip one line short, or one
// line long, with the resolutions in the file's RATIONAL form.
struct ExampleCase {
    const char* name;
    std::uint32_t width;
    std::uint32_t xNum, xDen, yNum, yDen;
    const char* xText;
    const char* yText;
    bool surplus;
};

// Named, so that gtest does not print the struct's padding bytes.
void PrintTo(const ExampleCase& c, std::ostream* os) { *os << c.name; }

class LogExample : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(LogExample, WholeFile) {
    const ExampleCase& c = GetParam();
    logtest::ScratchDir scratch;
    ASSERT_FALSE(scratch.Path.empty());
    const std::uint32_t lineByte = (c.width + 7) / 8;
    tvtest::BilevelLayout layout;
    layout.width = c.width;
    layout.length = 4;
    layout.rowsPerStrip = 2;
    layout.compression = 5;
    layout.strips = {Bytes(31, 1), Bytes(29, 2)};
    layout.xNumerator = c.xNum;
    layout.xDenominator = c.xDen;
    layout.yNumerator = c.yNum;
    layout.yDenominator = c.yDen;
    const std::string image = scratch.Path + "/page1.tif";
    tvtest::WriteFileBytes(image, tvtest::MakeBilevel(layout).Build());

    CTiffView view;
    ASSERT_EQ(view.OpenFile(image.c_str()), TV_OK);
    auto* decoder = new CScriptedDecoder;
    if (c.surplus) {
        // Strip 0 exact, strip 1 (the last) one line long.
        decoder->Script = {{10, lineByte}, {kRest, lineByte}, {10, lineByte}, {kRest, 2 * lineByte}};
    } else {
        // Strip 0 runs out of input after its first line.
        decoder->Script = {{10, lineByte}, {kRest, 0}};
    }
    CTiffViewTestAccess::SwapDecoder(view, decoder);
    std::vector<unsigned char> line(lineByte);
    const std::uint32_t lines = c.surplus ? 4 : 2;
    std::uint32_t last = TV_OK;
    for (std::uint32_t i = 0; i < lines; ++i) last = view.ReadALine(line.data());
    EXPECT_EQ(last, c.surplus ? TV_ERR_STRIP_LONG : TV_ERR_STRIP_SHORT);

    LogValues v;
    v.errorId = c.surplus ? 4026531924u : 4026531923u;
    v.fileName = image;
    v.fileHandle = CTiffViewTestAccess::Snapshot(view).FileHandle;
    v.ifdNum = v.ifdSize = 12;
    v.width = c.width;
    v.length = 4;
    v.xResolution = c.xText;
    v.yResolution = c.yText;
    v.rowsPerStrip = 2;
    v.stripsPerImage = 2;
    v.lineByte = lineByte;
    v.packedByte = 60;
    v.blockSize = v.maxStripByte = 31;
    v.hasCurStrip = true;
    v.stripByte = 2 * lineByte;
    if (c.surplus) {
        v.complete = 1;
        v.unpackedByte = 5 * lineByte;
        v.blockEnd = v.blockPos = 29;
        v.curStrip = 1;
        v.firstRow = 2;
        v.lastRow = 3;
        v.curStripOffset = 39;
        v.curStripBytes = 29;
        v.curLine = 3;
        v.unuseByte = 2 * lineByte;
        v.stripUnpackByte = 3 * lineByte;
        v.unpackDiff = static_cast<std::int32_t>(lineByte);
    } else {
        v.unpackedByte = lineByte;
        v.blockEnd = v.blockPos = 31;
        v.curStrip = 0;
        v.firstRow = 0;
        v.lastRow = 1;
        v.curStripOffset = 8;
        v.curStripBytes = 31;
        v.curLine = 1;
        v.unuseByte = 0;
        v.stripUnpackByte = lineByte;
        v.unpackDiff = -static_cast<std::int32_t>(lineByte);
    }
    const std::string path = scratch.Path + "/example.log";
    view.LogFile(path.c_str());
    EXPECT_EQ(logtest::ReadAll(path), ExpectedLog(v));
}

INSTANTIATE_TEST_SUITE_P(
    LogFile, LogExample,
    ::testing::Values(ExampleCase{"OneLineShort1728", 1728, 204, 1, 196, 1, "204", "196", false},
                      ExampleCase{"OneLineLong512", 512, 391, 2, 1000000, 1, "195.5", "1e+06", true},
                      ExampleCase{"Fractions", 1728, 1, 3, 1, 100000, "0.333333", "1e-05", false}),
    [](const ::testing::TestParamInfo<ExampleCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A real LZW strip that holds one row fewer than its strip's rows.
TEST(LogFileLzw, StripEncodedOneRowShort) {
    logtest::ScratchDir scratch;
    ASSERT_FALSE(scratch.Path.empty());
    const Bytes rows0 = {0x0F, 0xF0, 0x3C, 0xC3};                    // rows 0-1 of 3
    const Bytes rows1 = {0x81, 0x18, 0x7E, 0xE7, 0x55, 0xAA};        // rows 3-5
    const Bytes strip0 = tvtest::LzwEncode(rows0);
    const Bytes strip1 = tvtest::LzwEncode(rows1);
    tvtest::BilevelLayout layout;
    layout.width = 16;
    layout.length = 6;
    layout.rowsPerStrip = 3;
    layout.compression = 5;
    layout.strips = {strip0, strip1};
    const std::string image = scratch.Path + "/lzw.tif";
    tvtest::WriteFileBytes(image, tvtest::MakeBilevel(layout).Build());

    CTiffView view;
    ASSERT_EQ(view.OpenFile(image.c_str()), TV_OK);
    // The shortfall shows on the line during which strip 0's input runs
    // out: after the second row at the earliest, at the third at the latest.
    unsigned char line[2];
    std::uint32_t faultLine = 0;
    std::uint32_t result = TV_OK;
    for (; faultLine < 3; ++faultLine) {
        result = view.ReadALine(line);
        if (result != TV_OK) break;
        EXPECT_EQ(line[0], rows0[2 * faultLine]);
        EXPECT_EQ(line[1], rows0[2 * faultLine + 1]);
    }
    ASSERT_EQ(result, TV_ERR_STRIP_SHORT);
    ASSERT_GE(faultLine, 1u);

    const auto s0 = static_cast<std::uint32_t>(strip0.size());
    const auto s1 = static_cast<std::uint32_t>(strip1.size());
    LogValues v;
    v.errorId = 4026531923u;
    v.fileName = image;
    v.fileHandle = CTiffViewTestAccess::Snapshot(view).FileHandle;
    v.ifdNum = v.ifdSize = 12;
    v.width = 16;
    v.length = 6;
    v.rowsPerStrip = 3;
    v.stripsPerImage = 2;
    v.lineByte = 2;
    v.packedByte = s0 + s1;
    v.unpackedByte = 4;
    v.blockSize = v.maxStripByte = std::max(s0, s1);
    v.blockEnd = v.blockPos = s0;
    v.hasCurStrip = true;
    v.curStrip = 0;
    v.firstRow = 0;
    v.lastRow = 2;
    v.curStripOffset = 8;
    v.curStripBytes = s0;
    v.curLine = faultLine;
    v.unuseByte = 4 - 2 * faultLine;  // decoded, not yet delivered
    v.stripUnpackByte = 4;
    v.stripByte = 6;
    v.unpackDiff = -2;
    const std::string path = scratch.Path + "/lzw.log";
    view.LogFile(path.c_str());
    EXPECT_EQ(logtest::ReadAll(path), ExpectedLog(v));
}

}  // namespace
