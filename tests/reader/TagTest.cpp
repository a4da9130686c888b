// Tag readers: presence, count, type and value checks, in their fixed order.
#include <gtest/gtest.h>

#include <functional>

#include "TiffView.h"
#include "support/ReaderAccess.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::BilevelLayout;
using tvtest::TempDir;
using tvtest::TiffBuilder;

BilevelLayout FourStrips() {
    BilevelLayout layout;
    layout.width = 16;
    layout.length = 100;
    layout.rowsPerStrip = 30;
    for (int i = 0; i < 4; ++i) layout.strips.push_back(tvtest::Bytes(i < 3 ? 60 : 20, 0));
    return layout;
}

BilevelLayout OneStrip() {
    BilevelLayout layout;
    layout.width = 16;
    layout.length = 4;
    layout.strips = {tvtest::Bytes(8, 0)};
    return layout;
}

struct TagCase {
    const char* name;
    BilevelLayout (*image)();
    std::function<void(TiffBuilder&)> edit;
    std::uint32_t expected;
};

void SetType(TiffBuilder& b, std::uint16_t tag, std::uint16_t type) { b.Find(tag)->type = type; }
void SetCount(TiffBuilder& b, std::uint16_t tag, std::uint32_t count) { b.Find(tag)->count = count; }
void SetField(TiffBuilder& b, std::uint16_t tag, std::uint32_t field) { b.PutU32(b.Find(tag)->value, field); }

TEST(TagReaders, FailuresCarryTheTagNumber) {
    const TagCase cases[] = {
        {"no ImageWidth", OneStrip, [](TiffBuilder& b) { b.Remove(256); }, 0xF0010030},
        {"ImageWidth as BYTE", OneStrip, [](TiffBuilder& b) { SetType(b, 256, tvtest::kByte); }, 0xF0010032},
        {"ImageWidth count 2", OneStrip, [](TiffBuilder& b) { SetCount(b, 256, 2); }, 0xF0010031},
        {"ImageWidth 0", OneStrip, [](TiffBuilder& b) { SetField(b, 256, 0); }, 0xF0010033},
        {"ImageLength 0", OneStrip, [](TiffBuilder& b) { SetField(b, 257, 0); }, 0xF0010133},
        {"Compression as LONG", OneStrip, [](TiffBuilder& b) { SetType(b, 259, tvtest::kLong); }, 0xF0010332},
        {"no Photometric", OneStrip, [](TiffBuilder& b) { b.Remove(262); }, 0xF0010630},
        {"no RowsPerStrip", OneStrip, [](TiffBuilder& b) { b.Remove(278); }, 0xF0011630},
        {"RowsPerStrip 0", OneStrip, [](TiffBuilder& b) { SetField(b, 278, 0); }, 0xF0011633},
        {"StripOffsets count 3 of 4", FourStrips, [](TiffBuilder& b) { SetCount(b, 273, 3); }, 0xF0011131},
        {"StripOffsets as SHORT", OneStrip, [](TiffBuilder& b) { SetType(b, 273, tvtest::kShort); }, 0xF0011132},
        {"StripByteCounts as SHORT", FourStrips, [](TiffBuilder& b) { SetType(b, 279, tvtest::kShort); }, 0xF0011732},
        {"StripOffsets array at 4", FourStrips, [](TiffBuilder& b) { SetField(b, 273, 4); }, 0xF0011133},
        {"StripByteCounts array at 4", FourStrips, [](TiffBuilder& b) { SetField(b, 279, 4); }, 0xF0011733},
        {"StripOffsets array at 2^31", FourStrips, [](TiffBuilder& b) { SetField(b, 273, 0x80000000u); }, 0xF0011134},
        {"StripByteCounts array past the end", FourStrips, [](TiffBuilder& b) { SetField(b, 279, 0x10000); },
         0xF0011735},
        {"no XResolution", OneStrip, [](TiffBuilder& b) { b.Remove(282); }, 0xF0011A30},
        {"XResolution as LONG", OneStrip, [](TiffBuilder& b) { SetType(b, 282, tvtest::kLong); }, 0xF0011A32},
        {"XResolution at 7", OneStrip, [](TiffBuilder& b) { SetField(b, 282, 7); }, 0xF0011A33},
        {"YResolution past the end", OneStrip, [](TiffBuilder& b) { SetField(b, 283, 0x7FFFFFF0); }, 0xF0011B35},
        {"YResolution denominator 0", OneStrip,
         [](TiffBuilder& b) { SetField(b, 283, b.AppendRational(196, 0)); }, 0xF0011B33},
        {"ResolutionUnit as LONG", OneStrip, [](TiffBuilder& b) { SetType(b, 296, tvtest::kLong); }, 0xF0012832},
        {"SamplesPerPixel 3", OneStrip, [](TiffBuilder& b) { b.PutU16(b.Find(277)->value, 3); }, TV_ERR_SAMPLES_PER_PIXEL},
        {"BitsPerSample 8", OneStrip, [](TiffBuilder& b) { b.PutU16(b.Find(258)->value, 8); }, TV_ERR_BITS_PER_SAMPLE},
        {"Photometric 2", OneStrip, [](TiffBuilder& b) { b.PutU16(b.Find(262)->value, 2); }, TV_ERR_PHOTOMETRIC},
        {"Compression 2", OneStrip, [](TiffBuilder& b) { b.PutU16(b.Find(259)->value, 2); }, TV_ERR_COMPRESSION},
        {"Compression 7", OneStrip, [](TiffBuilder& b) { b.PutU16(b.Find(259)->value, 7); }, TV_ERR_COMPRESSION},
        {"FillOrder count 2", OneStrip, [](TiffBuilder& b) { b.AddEntry(266, tvtest::kShort, 2, 0); }, 0xF0010A31},
        {"T4Options as SHORT", OneStrip, [](TiffBuilder& b) { b.AddShort(292, 4); }, 0xF0012432},
        {"T6Options as SHORT", OneStrip, [](TiffBuilder& b) { b.AddShort(293, 0); }, 0xF0012532},
        {"Predictor as LONG", OneStrip, [](TiffBuilder& b) { b.AddLong(317, 1); }, 0xF0013D32},
    };
    TempDir dir;
    for (const TagCase& c : cases) {
        TiffBuilder b = tvtest::MakeBilevel(c.image());
        c.edit(b);
        CTiffView view;
        EXPECT_EQ(view.ParseFile(dir.Write("t.tif", b.Build()).c_str(), 0), c.expected)
            << c.name << ": got 0x" << std::hex << view.ParseFile(nullptr, 0);
    }
}

TEST(TagReaders, ChecksRunInTheirFixedOrder) {
    TempDir dir;
    // An RGB-like image without resolutions reports the missing resolution
    // before its samples per pixel.
    TiffBuilder rgb = tvtest::MakeBilevel(OneStrip());
    rgb.Remove(282);
    rgb.PutU16(rgb.Find(277)->value, 3);
    CTiffView view;
    EXPECT_EQ(view.ParseFile(dir.Write("rgb.tif", rgb.Build()).c_str(), 0), 0xF0011A30u);
    // Photometric is checked before compression.
    TiffBuilder odd = tvtest::MakeBilevel(OneStrip());
    odd.PutU16(odd.Find(262)->value, 2);
    odd.PutU16(odd.Find(259)->value, 7);
    EXPECT_EQ(view.ParseFile(dir.Write("odd.tif", odd.Build()).c_str(), 0), TV_ERR_PHOTOMETRIC);
    // Bits per sample comes after samples per pixel.
    TiffBuilder both = tvtest::MakeBilevel(OneStrip());
    both.PutU16(both.Find(277)->value, 3);
    both.PutU16(both.Find(258)->value, 8);
    EXPECT_EQ(view.ParseFile(dir.Write("both.tif", both.Build()).c_str(), 0), TV_ERR_SAMPLES_PER_PIXEL);
}

TEST(TagReaders, WidthAsShortOrLongAndLineBytes) {
    const std::pair<std::uint32_t, std::uint32_t> widths[] = {{1, 1}, {8, 1}, {9, 2}, {1728, 216}, {65535, 8192}};
    TempDir dir;
    for (auto [width, lineByte] : widths) {
        for (bool asShort : {false, true}) {
            BilevelLayout layout = OneStrip();
            layout.width = width;
            TiffBuilder b = tvtest::MakeBilevel(layout);
            if (asShort) {
                b.Remove(256);
                b.AddShort(256, static_cast<std::uint16_t>(width));
            }
            CTiffView view;
            ASSERT_EQ(view.ParseFile(dir.Write("w.tif", b.Build()).c_str(), 0), TV_OK) << width;
            TiffInfo_t info{};
            view.GetImageInfo(&info);
            EXPECT_EQ(info.Width, width);
            EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).LineByte, lineByte) << width;
        }
    }
}

TEST(TagReaders, StripCountFollowsRowsPerStrip) {
    struct Case {
        std::uint32_t rowsPerStrip;
        std::uint32_t strips;
        std::uint32_t storedRows;
    };
    const Case cases[] = {{30, 4, 30}, {100, 1, 100}, {8192, 1, 8192}, {0xFFFFFFFFu, 1, 100}, {1, 100, 1}, {99, 2, 99}};
    TempDir dir;
    for (const Case& c : cases) {
        BilevelLayout layout;
        layout.width = 16;
        layout.length = 100;
        layout.rowsPerStrip = c.rowsPerStrip;
        layout.strips.assign(c.strips, tvtest::Bytes(2, 0));
        CTiffView view;
        ASSERT_EQ(view.ParseFile(dir.Write("s.tif", tvtest::MakeBilevel(layout).Build()).c_str(), 0), TV_OK)
            << c.rowsPerStrip;
        auto state = CTiffViewTestAccess::Snapshot(view);
        EXPECT_EQ(state.StripsPerImage, c.strips);
        EXPECT_EQ(state.RowsPerStrip, c.storedRows);
        EXPECT_EQ(state.StripByte, 2 * c.storedRows);
    }
}

TEST(TagReaders, RowsPerStripAsShort65535IsAnOrdinaryValue) {
    TempDir dir;
    BilevelLayout layout = OneStrip();
    layout.length = 70000;
    layout.strips.assign(2, tvtest::Bytes(2, 0));
    TiffBuilder b = tvtest::MakeBilevel(layout);
    b.Remove(278);
    b.AddShort(278, 65535);
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("s.tif", b.Build()).c_str(), 0), TV_OK);
    EXPECT_EQ(CTiffViewTestAccess::Snapshot(view).StripsPerImage, 2u);
}

TEST(TagReaders, StripTablesAndOptionalDefaults) {
    TempDir dir;
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("s.tif", tvtest::MakeBilevel(FourStrips()).Build()).c_str(), 0), TV_OK);
    auto s = CTiffViewTestAccess::Snapshot(view);
    EXPECT_EQ(s.StripByteCounts, (std::vector<std::uint32_t>{60, 60, 60, 20}));
    ASSERT_EQ(s.StripOffsets.size(), 4u);
    EXPECT_EQ(s.StripOffsets[0], 8u);
    EXPECT_EQ(s.StripOffsets[3], 8u + 180u);
    EXPECT_EQ(s.FillOrder, 1);
    EXPECT_EQ(s.PlanarConfiguration, 1);
    EXPECT_EQ(s.Predictor, 1);
    EXPECT_EQ(s.ResolutionUnit, 2);
    EXPECT_EQ(s.T4Options, 0u);
    EXPECT_EQ(s.T6Options, 0u);
}

TEST(TagReaders, OptionalTagsAreStoredUnjudged) {
    TempDir dir;
    TiffBuilder b = tvtest::MakeBilevel(OneStrip());
    b.AddShort(266, 2);
    b.AddShort(284, 9);
    b.AddLong(292, 5);
    b.AddLong(293, 2);
    b.AddShort(317, 2);
    b.Find(296)->value[0] = b.BigEndian() ? 0 : 3;
    b.Remove(277);
    b.Remove(258);
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("o.tif", b.Build()).c_str(), 0), TV_OK);
    auto s = CTiffViewTestAccess::Snapshot(view);
    EXPECT_EQ(s.FillOrder, 2);
    EXPECT_EQ(s.PlanarConfiguration, 9);
    EXPECT_EQ(s.T4Options, 5u);
    EXPECT_EQ(s.T6Options, 2u);
    EXPECT_EQ(s.Predictor, 2);
    EXPECT_EQ(s.ResolutionUnit, 3);
}

TEST(TagReaders, ResolutionsAreRatios) {
    TempDir dir;
    BilevelLayout layout = OneStrip();
    layout.yNumerator = 391;
    layout.yDenominator = 2;
    layout.xNumerator = 0;
    CTiffView view;
    ASSERT_EQ(view.ParseFile(dir.Write("r.tif", tvtest::MakeBilevel(layout).Build()).c_str(), 0), TV_OK);
    TiffInfo_t info{};
    view.GetImageInfo(&info);
    EXPECT_EQ(info.YResolution, 195.5);
    EXPECT_EQ(info.XResolution, 0.0);
    layout.xNumerator = 0xFFFFFFFFu;
    layout.xDenominator = 1;
    ASSERT_EQ(view.ParseFile(dir.Write("r.tif", tvtest::MakeBilevel(layout).Build()).c_str(), 0), TV_OK);
    view.GetImageInfo(&info);
    EXPECT_EQ(info.XResolution, 4294967295.0);  // unsigned, not negative
}

TEST(TagReaders, HugeStripCountIsRefusedWithoutAllocatingForIt) {
    TempDir dir;
    BilevelLayout layout = FourStrips();
    layout.length = 0xFFFFFFFFu;
    layout.rowsPerStrip = 1;
    TiffBuilder b = tvtest::MakeBilevel(layout);
    SetCount(b, 273, 0xFFFFFFFFu);
    CTiffView view;
    EXPECT_EQ(view.ParseFile(dir.Write("h.tif", b.Build()).c_str(), 0), 0xF0011135u);
}

}  // namespace
