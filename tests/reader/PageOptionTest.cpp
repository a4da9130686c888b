// Pages and TV_OPTION_ANY_BILEVEL on hand-made files: selecting pages, the
// checks that still refuse a page, hostile sizes and tables, and what the
// strict default keeps doing.
#include <gtest/gtest.h>

#include <functional>

#include "TiffView.h"
#include "support/LzwEncoder.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;
using tvtest::TiffBuilder;

// A 16x2 uncompressed page of its own strip, without resolution tags.
void AddPage(TiffBuilder& b, std::uint32_t stripOffset) {
    b.NewDirectory();
    b.AddShort(256, 16);
    b.AddShort(257, 2);
    b.AddShort(259, 1);
    b.AddShort(273, static_cast<std::uint16_t>(stripOffset));
    b.AddShort(279, 4);
}

// Three pages, each two lines of 16 pixels: page n's bytes are all n + 1.
TiffBuilder ThreePages() {
    TiffBuilder b;
    std::uint32_t offsets[3];
    for (std::uint8_t n = 0; n < 3; ++n) offsets[n] = b.Append(Bytes(4, static_cast<std::uint8_t>(n + 1)));
    for (std::uint32_t offset : offsets) AddPage(b, offset);
    return b;
}

// Edits apply to the last directory built, page 2.
struct OpenCase {
    const char* name;
    std::uint32_t options;
    std::uint32_t page;
    std::function<void(TiffBuilder&)> edit;
    std::uint32_t expected;
    std::uint32_t pages;  // GetPageCount afterwards
};

constexpr std::uint32_t kAny = TV_OPTION_ANY_BILEVEL;
constexpr std::uint32_t Tagged(std::uint32_t code, std::uint16_t tag) { return code | std::uint32_t{tag} << 8; }
void Nothing(TiffBuilder&) {}

const OpenCase kOpenCases[] = {
    {"strict default refuses a page other than 0", 0, 1, Nothing, TV_ERR_PAGE_OPTION, 0},
    {"strict default still wants every tag it requires", 0, 0, Nothing, Tagged(TV_ERR_TAG_MISSING, 262), 0},
    {"last page", kAny, 2, Nothing, TV_OK, 3},
    {"page past the end", kAny, 3, Nothing, TV_ERR_PAGE_MISSING, 0},
    {"chain looping back ends after the pages read",
     kAny, 2, [](TiffBuilder& b) { b.SetLastNext(b.DirectoryOffset(1)); }, TV_OK, 3},
    {"Group 3 two-dimensional", kAny, 2,
     [](TiffBuilder& b) { b.Remove(259); b.AddShort(259, 3); b.AddLong(292, 5); }, TV_OK, 3},
    {"Group 3 EOLs not byte-aligned", kAny, 2, [](TiffBuilder& b) { b.Remove(259); b.AddShort(259, 3); }, TV_OK, 3},
    {"Group 3 allowing uncompressed mode", kAny, 2,
     [](TiffBuilder& b) { b.Remove(259); b.AddShort(259, 3); b.AddLong(292, 2); }, TV_OK, 3},
    {"Group 3 with aligned EOLs", kAny, 2,
     [](TiffBuilder& b) { b.Remove(259); b.AddShort(259, 3); b.AddShort(292, 4); }, TV_OK, 3},
    {"LZW with horizontal differencing", kAny, 2,
     [](TiffBuilder& b) { b.Remove(259); b.AddShort(259, 5); b.AddShort(317, 2); }, Tagged(TV_ERR_TAG_VALUE, 317), 0},
    {"compressed strips without byte counts", kAny, 2,
     [](TiffBuilder& b) { b.Remove(259); b.AddShort(259, 32773); b.Remove(279); b.AddShort(278, 1);
                          b.Remove(273); b.AddEntry(273, tvtest::kShort, 2, 8); }, Tagged(TV_ERR_TAG_MISSING, 279), 0},
    {"uncompressed strips without byte counts", kAny, 2, [](TiffBuilder& b) { b.Remove(279); }, TV_OK, 3},
    {"palette without a colour map", kAny, 2, [](TiffBuilder& b) { b.AddShort(262, 3); }, Tagged(TV_ERR_TAG_MISSING, 320), 0},
    {"two bits per sample", kAny, 2, [](TiffBuilder& b) { b.AddShort(258, 2); }, TV_ERR_BITS_PER_SAMPLE, 0},
    {"strip table far shorter than the strips", kAny, 2,
     [](TiffBuilder& b) { b.Remove(257); b.AddLong(257, 1000000); b.AddShort(278, 1); }, Tagged(TV_ERR_TAG_COUNT, 273), 0},
    {"strip table beyond the file", kAny, 2,
     [](TiffBuilder& b) { b.Remove(273); b.AddEntry(273, tvtest::kLong, 2, 0x7000000); b.AddShort(278, 1); },
     Tagged(TV_ERR_TAG_READ, 273), 0},
    {"tiles too large to hold a row of", kAny, 2,
     [](TiffBuilder& b) { b.AddLong(322, 1u << 20); b.AddLong(323, 1u << 20); b.AddShort(324, 8); b.AddShort(325, 4); },
     TV_ERR_NO_MEMORY, 0},
    {"tile width 0", kAny, 2, [](TiffBuilder& b) { b.AddShort(322, 0); b.AddShort(323, 16); },
     Tagged(TV_ERR_TAG_VALUE, 322), 0},
};

TEST(PageOption, OpeningChecksTheSelectedPage) {
    for (const OpenCase& c : kOpenCases) {
        tvtest::TempDir dir;
        TiffBuilder b = ThreePages();
        c.edit(b);
        const std::string path = dir.Write("t.tif", b.Build());
        CTiffView view;
        view.SetOptions(c.options);
        view.SelectPage(c.page);
        EXPECT_EQ(view.OpenFile(path.c_str()), c.expected) << c.name;
        EXPECT_EQ(view.GetPageCount(), c.pages) << c.name;
        view.CloseFile();
    }
}

std::vector<std::uint32_t> ReadAll(CTiffView& view, Bytes& lines) {
    TiffInfo_t info;
    view.GetImageInfo(&info);
    std::vector<std::uint32_t> results;
    Bytes line((info.Width + 7) / 8);
    for (std::uint32_t y = 0; y <= info.Length; ++y) {
        results.push_back(view.ReadALine(line.data()));
        if (results.back() == TV_OK || TiffView_IsWarning(results.back())) lines.insert(lines.end(), line.begin(), line.end());
    }
    return results;
}

TEST(PageOption, EachPageReadsItsOwnStripAndCopiesCarryTheChoice) {
    tvtest::TempDir dir;
    const std::string path = dir.Write("t.tif", ThreePages().Build());
    CTiffView view;
    view.SetOptions(kAny);
    view.SelectPage(1);
    ASSERT_EQ(view.ParseFile(path.c_str(), 0), TV_OK);
    CTiffView copy(view);
    ASSERT_EQ(copy.OpenFile(nullptr), TV_OK);
    Bytes lines;
    EXPECT_EQ(ReadAll(copy, lines), (std::vector<std::uint32_t>{TV_OK, TV_OK, TV_ERR_END_OF_IMAGE}));
    // No PhotometricInterpretation, uncompressed: min-is-black, as libtiff reads it.
    EXPECT_EQ(lines, Bytes(4, 0xFD));
    TiffPageInfo_t info;
    copy.GetPageInfo(&info);
    EXPECT_EQ(info.PageIndex, 1u);
    EXPECT_EQ(info.ChunkCount, 1u);
    EXPECT_EQ(info.ChunkByteCounts[0], 4u);
}

TEST(PageOption, ShortAndUnreachableStripsAreReportedPerLine) {
    struct Case {
        const char* name;
        std::vector<std::uint16_t> counts;  // one strip per line
        std::uint32_t firstOffset;          // 0: where the data is
        std::vector<std::uint32_t> results;
    } cases[] = {
        {"second strip one byte short", {2, 1}, 0, {TV_OK, TV_ERR_LINE_SHORT, TV_ERR_END_OF_IMAGE}},
        {"first strip past the end of the file", {2, 2}, 0x100000, {TV_ERR_LINE_SHORT, TV_OK, TV_ERR_END_OF_IMAGE}},
        {"first strip with a byte past its row", {3, 2}, 0, {TV_ERR_STRIP_LONG, TV_OK, TV_ERR_END_OF_IMAGE}},
    };
    for (const Case& c : cases) {
        tvtest::TempDir dir;
        TiffBuilder b;
        const std::uint32_t data = b.Append(Bytes(4, 0xF0));
        AddPage(b, data);
        b.AddShort(278, 1);
        b.Remove(273);
        b.AddEntry(273, tvtest::kLong, 2, b.AppendLongs({c.firstOffset ? c.firstOffset : data, data + 2}));
        b.Remove(279);
        // Two SHORTs fit in the entry itself (little-endian file).
        b.AddEntry(279, tvtest::kShort, 2, c.counts[0] | std::uint32_t{c.counts[1]} << 16);
        const std::string path = dir.Write("t.tif", b.Build());
        CTiffView view;
        view.SetOptions(kAny);
        ASSERT_EQ(view.OpenFile(path.c_str()), TV_OK) << c.name;
        Bytes lines;
        std::vector<std::uint32_t> results = ReadAll(view, lines);
        results.resize(c.results.size());
        EXPECT_EQ(results, c.results) << c.name;
    }
}

}  // namespace

namespace {

// One 16-pixel row per strip; each strip's stored bytes as given.
TEST(PageOption, StripsDeliverTheirOwnRowsAndFlagWhatTheyHoldBeyond) {
    const Bytes oneRow = {0x12, 0x34}, twoRows = {0x12, 0x34, 0x56, 0x78};
    struct Case {
        const char* name;
        std::uint16_t compression;
        Bytes first, second;
        std::vector<std::uint32_t> results;
    } cases[] = {
        {"LZW strips of one row each", 5, tvtest::LzwEncode(oneRow), tvtest::LzwEncode(oneRow),
         {TV_OK, TV_OK, TV_ERR_END_OF_IMAGE}},
        {"LZW strip decoding a second row", 5, tvtest::LzwEncode(twoRows), tvtest::LzwEncode(oneRow),
         {TV_ERR_STRIP_LONG, TV_OK, TV_ERR_END_OF_IMAGE}},
        {"PackBits strip with a run past its row", 32773, {0x03, 0x12, 0x34, 0x56, 0x78}, {0x01, 0x12, 0x34},
         {TV_ERR_STRIP_LONG, TV_OK, TV_ERR_END_OF_IMAGE}},
    };
    for (const Case& c : cases) {
        tvtest::TempDir dir;
        TiffBuilder b;
        const std::uint32_t first = b.Append(c.first), second = b.Append(c.second);
        AddPage(b, first);
        b.Remove(259);
        b.AddShort(259, c.compression);
        b.AddShort(262, 0);
        b.AddShort(278, 1);
        b.Remove(273);
        b.AddEntry(273, tvtest::kLong, 2, b.AppendLongs({first, second}));
        b.Remove(279);
        b.AddEntry(279, tvtest::kLong, 2,
                   b.AppendLongs({static_cast<std::uint32_t>(c.first.size()), static_cast<std::uint32_t>(c.second.size())}));
        CTiffView view;
        view.SetOptions(kAny);
        ASSERT_EQ(view.OpenFile(dir.Write("t.tif", b.Build()).c_str()), TV_OK) << c.name;
        Bytes lines;
        EXPECT_EQ(ReadAll(view, lines), c.results) << c.name;
        EXPECT_EQ(lines, (Bytes{0x12, 0x34, 0x12, 0x34})) << c.name;
    }
}

}  // namespace
