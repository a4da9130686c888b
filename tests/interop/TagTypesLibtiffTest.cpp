// Tiny hand-built pages, each read by libtiff and by tiffview::Reader in
// its default profile: BigTIFF in both byte orders, integer tags in every
// field type, tile sizes left to RowsPerStrip, values inside the header, an
// absent PhotometricInterpretation. Where libtiff reads the page, every
// line must come with TV_OK and libtiff's pixels; where it refuses the page
// (a negative RowsPerStrip, say), the reader refuses it too.
#include <gtest/gtest.h>

#include <functional>

#include "TiffViewReader.hpp"
#include "support/FaxEncoder.h"
#include "support/LibtiffImage.h"
#include "support/LzwEncoder.h"
#include "support/TypedTiff.h"

namespace {

using tvtest::Bytes;
using tvtest::Rows;
using tvtest::TypedTiff;

enum Type : std::uint16_t {
    kByte = 1, kShort = 3, kLong = 4, kSByte = 6, kSShort = 8, kSLong = 9, kIfd = 13, kLong8 = 16, kSLong8 = 17,
    kIfd8 = 18,
};

// A page's shape and coding; the case's edit changes its tags afterwards.
struct Shape {
    std::uint32_t width = 16;
    std::uint32_t length = 2;
    std::uint16_t compression = 1;
    std::uint32_t chunkRows = 0;  // strips: rows per strip (0: all); tiles: tile length
    std::uint32_t tileWidth = 0;  // 0: strips
    bool bigEndian = false;
    bool bigTiff = false;
    int pages = 1;
};

Bytes Code(const Rows& rows, std::uint32_t width, std::uint16_t compression) {
    switch (compression) {
    case 5: return tvtest::LzwEncode(tvtest::JoinRows(rows));
    case 4: return faxenc::EncodeG4(rows, width, true);
    case 3: return faxenc::EncodeG3(rows, width, true);
    case 32773: {
        Bytes out;  // literal runs, one per row
        for (const Bytes& row : rows) {
            out.push_back(static_cast<std::uint8_t>(row.size() - 1));
            out.insert(out.end(), row.begin(), row.end());
        }
        return out;
    }
    default: return tvtest::JoinRows(rows);
    }
}

// Noise rows cut into strips or tiles, coded, with every tag a reader
// needs (SHORT and LONG, the tables LONG8 in BigTIFF) but
// PhotometricInterpretation 0; `edit` then adds, replaces or removes tags.
Bytes Build(const Shape& s, const std::function<void(TypedTiff&)>& edit) {
    TypedTiff t(s.bigEndian, s.bigTiff);
    const Rows page = tvtest::NoisePage(s.width, s.length, s.width * 31 + s.length);
    const bool tiled = s.tileWidth != 0;
    const std::uint32_t rows = s.chunkRows != 0 ? s.chunkRows : s.length;
    const std::uint32_t chunkWidth = tiled ? s.tileWidth : s.width;
    std::vector<std::int64_t> offsets, counts;
    for (std::uint32_t y0 = 0; y0 < s.length; y0 += rows) {
        for (std::uint32_t x0 = 0; x0 < s.width; x0 += chunkWidth) {
            Rows chunk;
            for (std::uint32_t y = y0; y < y0 + rows && (tiled || y < s.length); ++y) {
                Bytes row((chunkWidth + 7) / 8, 0);
                for (std::uint32_t x = 0; x < chunkWidth && y < s.length && x0 + x < s.width; ++x) {
                    if (page[y][(x0 + x) / 8] & (0x80u >> ((x0 + x) % 8))) row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
                }
                chunk.push_back(row);
            }
            const Bytes coded = Code(chunk, chunkWidth, s.compression);
            offsets.push_back(static_cast<std::int64_t>(t.Data(coded)));
            counts.push_back(static_cast<std::int64_t>(coded.size()));
        }
    }
    const std::uint16_t table = s.bigTiff ? kLong8 : kLong;
    for (int p = 0; p < s.pages; ++p) {
        t.NewPage();
        t.Tag(256, kShort, {s.width});
        t.Tag(257, kShort, {s.length});
        t.Tag(258, kShort, {1});
        t.Tag(259, kShort, {s.compression});
        t.Tag(262, kShort, {0});
        t.Tag(277, kShort, {1});
        if (tiled) {
            t.Tag(322, kShort, {s.tileWidth});
            t.Tag(323, kShort, {rows});
            t.Tag(324, table, offsets);
            t.Tag(325, table, counts);
        } else {
            t.Tag(273, table, offsets);
            t.Tag(278, kShort, {rows});
            t.Tag(279, table, counts);
        }
        if (s.compression == 3) t.Tag(292, kLong, {4});
        edit(t);
    }
    return t.Build();
}

// Replaces tag `tag` by one of `type` holding `value`.
std::function<void(TypedTiff&)> Retype(std::uint16_t tag, std::uint16_t type, std::int64_t value) {
    return [=](TypedTiff& t) {
        t.Remove(tag);
        t.Tag(tag, type, {value});
    };
}

std::function<void(TypedTiff&)> Without(std::uint16_t tag) {
    return [=](TypedTiff& t) { t.Remove(tag); };
}

struct Case {
    const char* name;
    Shape shape;
    std::function<void(TypedTiff&)> edit;
    bool libtiffReads;     // libtiff opens the page, else both refuse it
    int assumed = -1;      // the photometric assumed, when the page gives none
};

Shape Strips(std::uint16_t compression, std::uint32_t width, std::uint32_t length, std::uint32_t rows = 0) {
    Shape s;
    s.compression = compression;
    s.width = width;
    s.length = length;
    s.chunkRows = rows;
    return s;
}

Shape Tiles(std::uint16_t compression, std::uint32_t width, std::uint32_t length, std::uint32_t tileWidth,
            std::uint32_t tileLength) {
    Shape s = Strips(compression, width, length, tileLength);
    s.tileWidth = tileWidth;
    return s;
}

Shape Big(Shape s, bool bigEndian, int pages = 1) {
    s.bigTiff = true;
    s.bigEndian = bigEndian;
    s.pages = pages;
    return s;
}

void Nothing(TypedTiff&) {}

const Case kCases[] = {
    // Integer tags in every type libtiff converts.
    {"PhotometricInterpretation SSHORT 1", Strips(1, 16, 2), Retype(262, kSShort, 1), true},
    {"PhotometricInterpretation LONG8 1", Strips(1, 16, 2), Retype(262, kLong8, 1), true},
    {"PhotometricInterpretation SLONG8 1", Strips(1, 16, 2), Retype(262, kSLong8, 1), true},
    {"PhotometricInterpretation SSHORT -1 is ignored", Strips(1, 16, 2), Retype(262, kSShort, -1), true, 1},
    {"PhotometricInterpretation IFD is ignored", Strips(1, 16, 2), Retype(262, kIfd, 0), true, 1},
    {"PhotometricInterpretation LONG 65536 is ignored", Strips(5, 16, 2), Retype(262, kLong, 65536), true, 1},
    {"RowsPerStrip SSHORT 12 on 26 LZW rows", Strips(5, 16, 26, 12), Retype(278, kSShort, 12), true},
    {"RowsPerStrip SBYTE 3", Strips(32773, 20, 7, 3), Retype(278, kSByte, 3), true},
    {"RowsPerStrip SLONG8 5", Strips(1, 9, 11, 5), Retype(278, kSLong8, 5), true},
    {"RowsPerStrip SSHORT -1 refuses", Strips(1, 16, 2), Retype(278, kSShort, -1), false},
    {"RowsPerStrip IFD8 refuses", Strips(1, 16, 2), Retype(278, kIfd8, 2), false},
    {"FillOrder SSHORT 2", Strips(1, 16, 3), Retype(266, kSShort, 2), true},
    {"FillOrder SSHORT -2 is ignored", Strips(1, 16, 3), Retype(266, kSShort, -2), true},
    {"Compression SSHORT 4", Strips(4, 40, 9), Retype(259, kSShort, 4), true},
    {"Compression SBYTE 5", Strips(5, 40, 9), Retype(259, kSByte, 5), true},
    {"Compression SSHORT -1 refuses", Strips(1, 16, 2), Retype(259, kSShort, -1), false},
    {"T4Options SLONG 4", Strips(3, 40, 9), Retype(292, kSLong, 4), true},
    {"T4Options LONG8 4", Strips(3, 40, 9), Retype(292, kLong8, 4), true},
    {"ImageWidth BYTE, ImageLength SLONG",
     Strips(1, 24, 5), [](TypedTiff& t) { Retype(256, kByte, 24)(t); Retype(257, kSLong, 5)(t); }, true},
    {"ImageLength SSHORT -5 refuses", Strips(1, 16, 5), Retype(257, kSShort, -5), false},
    {"BitsPerSample and Compression per sample, the first value read",
     Strips(5, 16, 3), [](TypedTiff& t) { t.Remove(258); t.Tag(258, kShort, {1, 8}); t.Remove(259); t.Tag(259, kShort, {5, 1}); },
     true},
    {"BitsPerSample and SamplesPerPixel SBYTE 1",
     Strips(1, 16, 2), [](TypedTiff& t) { Retype(258, kSByte, 1)(t); Retype(277, kSByte, 1)(t); }, true},
    {"strip tables SSHORT and BYTE", Strips(1, 16, 4, 2),
     [](TypedTiff& t) {
         t.Remove(273);
         t.Remove(279);
         t.Tag(273, kSShort, {8, 12});
         t.Tag(279, kByte, {4, 4});
     }, true},
    // libtiff keeps one table whichever tag holds it.
    {"strips given as TileOffsets and TileByteCounts", Strips(1, 16, 4, 2),
     [](TypedTiff& t) {
         t.Remove(273);
         t.Remove(279);
         t.Tag(324, kLong, {8, 12});
         t.Tag(325, kLong, {4, 4});
     }, true},
    {"a tile given as StripOffsets and StripByteCounts", Tiles(1, 16, 16, 16, 16),
     [](TypedTiff& t) {
         t.Remove(324);
         t.Remove(325);
         t.Tag(273, kLong, {8});
         t.Tag(279, kLong, {32});
     }, true},
    {"tile sizes SSHORT", Tiles(1, 40, 20, 16, 16),
     [](TypedTiff& t) { Retype(322, kSShort, 16)(t); Retype(323, kSLong8, 16)(t); }, true},
    // Tile sizes left out: RowsPerStrip gives the length, ImageWidth the width.
    {"TileLength absent, RowsPerStrip 16", Tiles(1, 40, 20, 16, 16),
     [](TypedTiff& t) { t.Remove(323); t.Tag(278, kShort, {16}); }, true},
    {"TileWidth absent, RowsPerStrip given", Tiles(5, 40, 32, 40, 16),
     [](TypedTiff& t) { t.Remove(322); t.Tag(278, kLong, {7}); }, true},
    {"TileLength absent without RowsPerStrip refuses", Tiles(1, 40, 20, 16, 16), Without(323), false},
    // Values starting inside the header.
    {"XResolution at offset 0", Strips(1, 16, 2), [](TypedTiff& t) { t.RawTag(282, 5, 1, 0); }, true},
    {"YResolution at offset 4", Strips(1, 16, 2), [](TypedTiff& t) { t.RawTag(283, 5, 1, 4); }, true},
    // No PhotometricInterpretation: min-is-black, but min-is-white for fax codings.
    {"no photometric, uncompressed", Strips(1, 16, 2), Without(262), true, 1},
    {"no photometric, LZW", Strips(5, 30, 9, 4), Without(262), true, 1},
    {"no photometric, PackBits tiles", Tiles(32773, 40, 20, 16, 16), Without(262), true, 1},
    {"no photometric, uncompressed tiles", Tiles(1, 40, 20, 16, 16), Without(262), true, 1},
    {"no photometric, Group 4", Strips(4, 40, 9), Without(262), true, 0},
    {"no photometric, Group 3", Strips(3, 40, 9), Without(262), true, 0},
    // BigTIFF.
    {"BigTIFF little-endian strips", Big(Strips(1, 20, 7, 3), false), Nothing, true},
    {"BigTIFF big-endian strips", Big(Strips(5, 20, 7, 3), true), Nothing, true},
    {"BigTIFF big-endian tiles, two pages", Big(Tiles(32773, 40, 20, 16, 16), true, 2), Nothing, true},
    {"BigTIFF Group 4, three pages", Big(Strips(4, 64, 30), false, 3), Nothing, true},
    {"BigTIFF one strip, tables inside the entries", Big(Strips(3, 64, 10), true), Nothing, true},
    {"BigTIFF tables LONG", Big(Strips(1, 20, 7, 2), false),
     [](TypedTiff& t) {
         t.Remove(273);
         t.Remove(279);
         t.Tag(273, kLong, {16, 22, 28, 34});
         t.Tag(279, kShort, {6, 6, 6, 3});
     }, true},
    {"BigTIFF tags LONG8 and SLONG8", Big(Strips(1, 20, 7, 3), true),
     [](TypedTiff& t) {
         Retype(256, kLong8, 20)(t);
         Retype(257, kSLong8, 7)(t);
         Retype(262, kLong8, 1)(t);
         Retype(278, kLong8, 3)(t);
     }, true},
};

TEST(TagTypesLibtiff, EveryPageReadsAsLibtiffReadsIt) {
    tvtest::TempDir dir;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Build(c.shape, c.edit);
        const std::string path = dir.Write("t.tif", file);
        for (int p = 0; p < c.shape.pages; ++p) {
            const tvtest::LibtiffPage theirs = tvtest::ReadPageWithLibtiff(path, static_cast<std::uint32_t>(p));
            ASSERT_EQ(theirs.opened, c.libtiffReads);
            tiffview::Reader reader;
            const tiffview::Result opened = reader.open(file.data(), file.size(), tiffview::Options().page(p));
            if (!c.libtiffReads) {
                EXPECT_TRUE(opened.is_error()) << "libtiff refuses the page";
                continue;
            }
            ASSERT_TRUE(theirs.clean);
            ASSERT_EQ(opened.code(), TV_OK) << opened.message();
            EXPECT_EQ(reader.page_count(), static_cast<std::uint32_t>(c.shape.pages));
            EXPECT_EQ(reader.info().photometric_assumed(), c.assumed >= 0);
            EXPECT_EQ(reader.info().photometric(), c.assumed >= 0 ? c.assumed : reader.info().photometric());
            EXPECT_EQ(reader.page(static_cast<std::uint32_t>(p)).photometric_assumed(), c.assumed >= 0);
            ASSERT_EQ(reader.info().length(), theirs.rows.size());
            Rows ours;
            for (std::uint32_t y = 0; y < reader.info().length(); ++y) {
                Bytes line(reader.info().line_bytes());
                EXPECT_EQ(reader.read_line(line.data(), line.size()).code(), TV_OK) << "line " << y;
                ours.push_back(line);
            }
            tvtest::ClearPadding(ours, reader.info().width());
            EXPECT_EQ(tvtest::FirstDifference(ours, theirs.rows), -1) << "page " << p;
        }
    }
}

// A BigTIFF page is not for the strict profile: refused as a file of an
// unknown version is.
TEST(TagTypesLibtiff, StrictProfileRefusesBigTiffAsAnUnknownVersion) {
    const Bytes file = Build(Big(Strips(4, 64, 30), false), Nothing);
    tiffview::Reader reader;
    EXPECT_EQ(reader.open(file.data(), file.size(), tiffview::Options().profile(tiffview::Profile::strict)).code(),
              TV_ERR_MAGIC);
}

}  // namespace
