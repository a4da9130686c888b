// Opening, closing, names, states and copies of a reader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TiffView.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::BilevelLayout;
using tvtest::Bytes;
using tvtest::TempDir;

BilevelLayout TenByThree() {
    BilevelLayout layout;
    layout.width = 10;
    layout.length = 3;
    layout.strips = {{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
    return layout;
}

std::string WriteImage(const TempDir& dir, const std::string& name, const BilevelLayout& layout) {
    return dir.Write(name, tvtest::MakeBilevel(layout).Build());
}

TEST(FileNames, LengthLimitIs260) {
    TempDir dir;
    const std::string good = WriteImage(dir, "a.tif", TenByThree());
    CTiffView view;
    ASSERT_EQ(view.ParseFile(good.c_str(), 0), TV_OK);
    const std::string longest(260, 'x');
    EXPECT_EQ(view.ParseFile(longest.c_str(), 0), TV_ERR_FILE_OPEN);  // accepted, then not found
    EXPECT_EQ(std::string(view.GetImageFileName()), longest);
    ASSERT_EQ(view.ParseFile(good.c_str(), 0), TV_OK);
    const std::string tooLong(261, 'x');
    EXPECT_EQ(view.ParseFile(tooLong.c_str(), 0), TV_ERR_PATH_LENGTH);
    EXPECT_EQ(std::string(view.GetImageFileName()), good);
}

TEST(FileNames, NullNameReusesTheKeptName) {
    TempDir dir;
    const std::string path = WriteImage(dir, "a.tif", TenByThree());
    CTiffView fresh;
    EXPECT_EQ(fresh.ParseFile(nullptr, 0), TV_ERR_PATH_LENGTH);
    EXPECT_STREQ(fresh.GetImageFileName(), "");

    CTiffView view;
    ASSERT_EQ(view.ParseFile(path.c_str(), 0), TV_OK);
    ASSERT_EQ(view.OpenFile(nullptr), TV_OK);
    unsigned char line[2];
    EXPECT_EQ(view.ReadALine(line), TV_OK);
    EXPECT_EQ(line[0], 0x11);
    view.CloseFile();

    EXPECT_EQ(view.ParseFile("", 0), TV_ERR_PATH_LENGTH);
    EXPECT_STREQ(view.GetImageFileName(), "");
}

TEST(FileNames, FailedParseKeepsTheNameOfTheFileThatFailed) {
    TempDir dir;
    const std::string bad = dir.Write("bad.tif", Bytes{'I', 'I', 43, 0});
    CTiffView view;
    EXPECT_EQ(view.ParseFile(bad.c_str(), 0), TV_ERR_HEADER_SHORT);
    EXPECT_EQ(std::string(view.GetImageFileName()), bad);
}

TEST(OpenState, OneFileAtATime) {
    TempDir dir;
    const std::string path = WriteImage(dir, "a.tif", TenByThree());
    CTiffView view;
    ASSERT_EQ(view.OpenFile(path.c_str()), TV_OK);
    EXPECT_EQ(view.OpenFile(path.c_str()), TV_ERR_FILE_HANDLE);
    EXPECT_EQ(view.ParseFile(path.c_str(), 0), TV_ERR_FILE_HANDLE);
    unsigned char line[2];
    EXPECT_EQ(view.ReadALine(line), TV_OK);  // the first file is untouched
    EXPECT_EQ(line[0], 0x11);
    view.CloseFile();
    EXPECT_EQ(view.OpenFile(path.c_str()), TV_OK);
}

TEST(OpenState, MissingFileLeavesTheReaderIdle) {
    TempDir dir;
    CTiffView view;
    EXPECT_EQ(view.OpenFile(dir.File("none.tif").c_str()), TV_ERR_FILE_OPEN);
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).FileHandle, -1);
    view.CloseFile();
    EXPECT_EQ(view.OpenFile(dir.Path().c_str()), TV_ERR_FILE_OPEN);  // a directory is no image
}

TEST(OpenState, ParseOnlyClosesAndKeepsTheInformation) {
    TempDir dir;
    const std::string path = WriteImage(dir, "a.tif", TenByThree());
    for (int keepOpen : {0, 2, -1}) {
        CTiffView view;
        ASSERT_EQ(view.ParseFile(path.c_str(), keepOpen), TV_OK);
        EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).FileHandle, -1);
        TiffInfo_t info{};
        view.GetImageInfo(&info);
        EXPECT_EQ(info.Width, 10u);
        EXPECT_EQ(info.Length, 3u);
        EXPECT_EQ(info.Compression, 1u);
        EXPECT_EQ(info.XResolution, 204.0);
    }
}

TEST(OpenState, InformationSurvivesClose) {
    TempDir dir;
    CTiffView view;
    ASSERT_EQ(view.OpenFile(WriteImage(dir, "a.tif", TenByThree()).c_str()), TV_OK);
    view.CloseFile();
    view.CloseFile();  // harmless when nothing is open
    TiffInfo_t info{};
    view.GetImageInfo(&info);
    EXPECT_EQ(info.Width, 10u);
    EXPECT_EQ(info.Intel, 1);
}

TEST(OpenState, ReadingIsRefusedUnlessOpen) {
    TempDir dir;
    const std::string path = WriteImage(dir, "a.tif", TenByThree());
    unsigned char line[2] = {0xAB, 0xAB};
    CTiffView fresh;
    EXPECT_EQ(fresh.ReadALine(line), TV_ERR_FILE_HANDLE);

    CTiffView parsed;
    ASSERT_EQ(parsed.ParseFile(path.c_str(), 1), TV_OK);  // open, but no strip loaded
    EXPECT_EQ(parsed.ReadALine(line), TV_ERR_FILE_HANDLE);

    CTiffView closed;
    ASSERT_EQ(closed.OpenFile(path.c_str()), TV_OK);
    closed.CloseFile();
    EXPECT_EQ(closed.ReadALine(line), TV_ERR_FILE_HANDLE);
    EXPECT_EQ(line[0], 0xAB);
}

TEST(OpenState, DecoderMatchesCompression) {
    TempDir dir;
    struct Case {
        std::uint16_t compression;
        bool hasDecoder;
    };
    for (Case c : {Case{1, false}, Case{3, true}, Case{4, true}, Case{5, true}}) {
        BilevelLayout layout = TenByThree();
        layout.compression = c.compression;
        CTiffView view;
        ASSERT_EQ(view.ParseFile(WriteImage(dir, "c.tif", layout).c_str(), 1), TV_OK);
        EXPECT_EQ(CTiffViewTestAccess::Decoder(view) != nullptr, c.hasDecoder) << c.compression;
        view.CloseFile();
        EXPECT_EQ(CTiffViewTestAccess::Decoder(view), nullptr);
    }
}

TEST(OpenState, BufferIsSizedByTheLargestStrip) {
    TempDir dir;
    BilevelLayout layout;
    layout.width = 8;
    layout.length = 600;
    layout.rowsPerStrip = 200;
    layout.strips = {Bytes(100, 1), Bytes(300, 2), Bytes(200, 3)};
    CTiffView view;
    ASSERT_EQ(view.OpenFile(WriteImage(dir, "s.tif", layout).c_str()), TV_OK);
    auto s = CTiffViewTestAccess::Snapshot(view);
    EXPECT_EQ(s.PackedByte, 600u);
    EXPECT_EQ(s.MaxStripByte, 300u);
    EXPECT_EQ(s.BlockSize, 300u);
    EXPECT_EQ(s.UnpackedByte, 600u);
}

TEST(OpenState, StripLargerThanTheFileFailsItsReadWithoutAHugeBuffer) {
    TempDir dir;
    BilevelLayout layout;
    layout.width = 8;
    layout.length = 4;
    layout.rowsPerStrip = 2;
    layout.strips = {Bytes(2, 1), Bytes(2, 2)};
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    const std::uint32_t counts = b.AppendLongs({2, 0xFFFFFFF0u});
    b.PutU32(b.Find(279)->value, counts);
    CTiffView view;
    ASSERT_EQ(view.OpenFile(dir.Write("s.tif", b.Build()).c_str()), TV_OK);
    auto s = CTiffViewTestAccess::Snapshot(view);
    EXPECT_EQ(s.MaxStripByte, 0xFFFFFFF0u);
    EXPECT_LT(s.BlockSize, 1000u);
    unsigned char line[1];
    EXPECT_EQ(view.ReadALine(line), TV_OK);
    EXPECT_EQ(view.ReadALine(line), 0xF0000161u);  // strip 1 cannot be read
}

TEST(OpenState, FirstStripFailuresLeaveTheFileOpenUntilClosed) {
    TempDir dir;
    struct Case {
        std::uint32_t offset;
        std::uint32_t expected;
    };
    for (Case c : {Case{0x80000000u, TV_ERR_STRIP_SEEK}, Case{0x7FFFFF00u, TV_ERR_STRIP_READ}}) {
        BilevelLayout layout = TenByThree();
        tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
        b.PutU32(b.Find(273)->value, c.offset);
        CTiffView view;
        EXPECT_EQ(view.OpenFile(dir.Write("s.tif", b.Build()).c_str()), c.expected);
        EXPECT_NE(CTiffViewTestAccess::Snapshot(view).FileHandle, -1);
        unsigned char line[2];
        EXPECT_EQ(view.ReadALine(line), TV_ERR_FILE_HANDLE);
        view.CloseFile();
        EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).FileHandle, -1);
    }
}

TEST(Copies, ACopyOfAnOpenReaderIsClosedAndOwnsItsTables) {
    TempDir dir;
    const std::string path = WriteImage(dir, "a.tif", TenByThree());
    auto original = std::make_unique<CTiffView>();
    ASSERT_EQ(original->OpenFile(path.c_str()), TV_OK);
    unsigned char line[2];
    ASSERT_EQ(original->ReadALine(line), TV_OK);

    CTiffView copy(*original);
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(copy).FileHandle, -1);
    EXPECT_EQ(CTiffViewTestAccess::Decoder(copy), nullptr);
    EXPECT_EQ(copy.ReadALine(line), TV_ERR_FILE_HANDLE);
    EXPECT_STREQ(copy.GetImageFileName(), path.c_str());
    TiffInfo_t info{};
    copy.GetImageInfo(&info);
    EXPECT_EQ(info.Width, 10u);

    // The original reads on, and dies without disturbing the copy.
    ASSERT_EQ(original->ReadALine(line), TV_OK);
    EXPECT_EQ(line[0], 0x33);
    original.reset();
    ASSERT_EQ(copy.OpenFile(nullptr), TV_OK);
    ASSERT_EQ(copy.ReadALine(line), TV_OK);
    EXPECT_EQ(line[0], 0x11);
}

TEST(Copies, AssignmentClosesTheTargetFirst) {
    TempDir dir;
    const std::string a = WriteImage(dir, "a.tif", TenByThree());
    BilevelLayout other = TenByThree();
    other.width = 16;
    const std::string b = WriteImage(dir, "b.tif", other);
    CTiffView source, target;
    ASSERT_EQ(source.ParseFile(a.c_str(), 0), TV_OK);
    ASSERT_EQ(target.OpenFile(b.c_str()), TV_OK);
    target = source;
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(target).FileHandle, -1);
    TiffInfo_t info{};
    target.GetImageInfo(&info);
    EXPECT_EQ(info.Width, 10u);
    target = target;  // self-assignment keeps everything
    EXPECT_STREQ(target.GetImageFileName(), a.c_str());
    CTiffView fresh;
    CTiffView copyOfFresh(fresh);
    EXPECT_STREQ(copyOfFresh.GetImageFileName(), "");
}

}  // namespace
