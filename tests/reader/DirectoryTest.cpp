// Header checks, the directory chain and entry pooling.
#include <gtest/gtest.h>

#include "TiffView.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;
using tvtest::TempDir;

std::uint32_t Parse(const TempDir& dir, const Bytes& file) {
    CTiffView view;
    return view.ParseFile(dir.Write("t.tif", file).c_str(), 0);
}

tvtest::BilevelLayout SmallImage(bool big = false) {
    tvtest::BilevelLayout layout;
    layout.width = 10;
    layout.length = 3;
    layout.strips = {{1, 2, 3, 4, 5, 6}};
    layout.bigEndian = big;
    return layout;
}

struct HeaderCase {
    const char* name;
    Bytes file;
    std::uint32_t expected;
};

TEST(Header, MalformedHeadersAreRefusedInOrder) {
    const HeaderCase cases[] = {
        {"empty file", {}, TV_ERR_HEADER_SHORT},
        {"seven bytes", {'I', 'I', 42, 0, 8, 0, 0}, TV_ERR_HEADER_SHORT},
        {"IM byte order", {'I', 'M', 42, 0, 8, 0, 0, 0}, TV_ERR_BYTE_ORDER},
        {"MI byte order", {'M', 'I', 0, 42, 0, 0, 0, 8}, TV_ERR_BYTE_ORDER},
        {"magic 43", {'I', 'I', 43, 0, 8, 0, 0, 0}, TV_ERR_MAGIC},
        {"big-endian magic read little-endian", {'I', 'I', 0, 42, 8, 0, 0, 0}, TV_ERR_MAGIC},
        {"first offset 0", {'I', 'I', 42, 0, 0, 0, 0, 0}, TV_ERR_IFD_OFFSET_ZERO},
        {"first offset past the end", {'I', 'I', 42, 0, 100, 0, 0, 0}, TV_ERR_IFD_COUNT_READ},
        {"first offset 2^31", {'I', 'I', 42, 0, 0, 0, 0, 0x80}, TV_ERR_FILE_SHORT},
        {"one byte of count", {'I', 'I', 42, 0, 8, 0, 0, 0, 1}, TV_ERR_IFD_COUNT_READ},
        {"entries cut short", {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0, 0, 1, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0},
         TV_ERR_IFD_READ},
        {"no next offset", {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0, 1, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0},
         TV_ERR_HEADER_SHORT},
        {"empty directory", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, TV_ERR_IFD_OFFSET_ZERO},
        {"directory loops to itself", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 8, 0, 0, 0}, TV_ERR_IFD_READ},
    };
    TempDir dir;
    for (const HeaderCase& c : cases) EXPECT_EQ(Parse(dir, c.file), c.expected) << c.name;
}

TEST(Header, BigAndLittleEndianFilesDescribeTheSameImage) {
    TempDir dir;
    TiffInfo_t little{}, big{};
    for (bool isBig : {false, true}) {
        CTiffView view;
        const std::string path = dir.Write(isBig ? "mm.tif" : "ii.tif", tvtest::MakeBilevel(SmallImage(isBig)).Build());
        ASSERT_EQ(view.ParseFile(path.c_str(), 0), TV_OK);
        view.GetImageInfo(isBig ? &big : &little);
    }
    EXPECT_EQ(little.Intel, 1);
    EXPECT_EQ(big.Intel, 0);
    EXPECT_EQ(big.Width, 10u);
    EXPECT_EQ(big.Length, 3u);
    EXPECT_EQ(big.Width, little.Width);
    EXPECT_EQ(big.Length, little.Length);
    EXPECT_EQ(big.Compression, little.Compression);
    EXPECT_EQ(big.XResolution, little.XResolution);
    EXPECT_EQ(big.YResolution, 196.0);
}

TEST(DirectoryChain, LoopBackToAnEarlierDirectoryIsRefused) {
    TempDir dir;
    tvtest::TiffBuilder b = tvtest::MakeBilevel(SmallImage());
    b.NewDirectory();
    b.AddShort(700, 1);
    b.SetLastNext(b.DirectoryOffset(0));
    EXPECT_EQ(Parse(dir, b.Build()), TV_ERR_IFD_READ);
}

TEST(DirectoryChain, LaterDirectoriesFillTagsTheFirstLacks) {
    TempDir dir;
    tvtest::TiffBuilder b = tvtest::MakeBilevel(SmallImage());
    b.Remove(Tag_XResolution);
    const std::uint32_t xres = b.AppendRational(300, 1);
    const std::uint32_t yres = b.AppendRational(999, 1);
    b.NewDirectory();
    b.AddEntry(Tag_XResolution, tvtest::kRational, 1, xres);
    b.AddEntry(Tag_YResolution, tvtest::kRational, 1, yres);
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("t.tif", b.Build()).c_str(), 0), TV_OK);
    TiffInfo_t info{};
    view.GetImageInfo(&info);
    EXPECT_EQ(info.XResolution, 300.0);  // only the second directory has it
    EXPECT_EQ(info.YResolution, 196.0);  // the first directory's value wins
}

TEST(DirectoryChain, FirstOccurrenceOfARepeatedTagWins) {
    TempDir dir;
    tvtest::TiffBuilder b = tvtest::MakeBilevel(SmallImage());
    b.AddLong(Tag_ImageWidth, 77);  // a second ImageWidth after the first
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("t.tif", b.Build()).c_str(), 0), TV_OK);
    TiffInfo_t info{};
    view.GetImageInfo(&info);
    EXPECT_EQ(info.Width, 10u);
}

TEST(DirectoryChain, TableCapacityIsKeptAcrossParses) {
    TempDir dir;
    tvtest::TiffBuilder big = tvtest::MakeBilevel(SmallImage());
    for (std::uint16_t tag = 1000; tag < 1010; ++tag) big.AddShort(tag, 0);
    tvtest::TiffBuilder small = tvtest::MakeBilevel(SmallImage());
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("big.tif", big.Build()).c_str(), 0), TV_OK);
    auto first = CTiffViewTestAccess::Snapshot(view);
    ASSERT_EQ(view.ParseFile(dir.Write("small.tif", small.Build()).c_str(), 0), TV_OK);
    auto second = CTiffViewTestAccess::Snapshot(view);
    EXPECT_EQ(first.IFDNum, first.IFDSize);
    EXPECT_EQ(second.IFDSize, first.IFDSize);
    EXPECT_EQ(second.IFDNum, first.IFDNum - 10);
}

TEST(DirectoryChain, MoreThan65535PooledEntriesAreRefused) {
    TempDir dir;
    tvtest::TiffBuilder b = tvtest::MakeBilevel(SmallImage());
    for (int d = 0; d < 2; ++d) {
        b.NewDirectory();
        for (std::uint32_t i = 0; i < 40000; ++i) b.AddShort(static_cast<std::uint16_t>(1000 + i % 50000), 0);
    }
    EXPECT_EQ(Parse(dir, b.Build()), TV_ERR_IFD_READ);
}

TEST(DirectoryChain, ADirectoryClaimingMoreEntriesThanTheFileHoldsFailsItsRead) {
    TempDir dir;
    Bytes file = {'M', 'M', 0, 42, 0, 0, 0, 8, 0xFF, 0xFF};
    file.resize(200, 0);
    EXPECT_EQ(Parse(dir, file), TV_ERR_IFD_READ);
}

}  // namespace
