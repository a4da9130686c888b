// Deflate and JBIG pages from writers other than this library's tests
// (ImageMagick, GraphicsMagick, netpbm, Pillow, libtiff's tiffcp), made at
// test time from one PBM page, read through tiffview::Reader: every line as
// libtiff reads it and as drawn, every line TV_OK. A writer missing from
// the machine skips its case. Then damaged Deflate pages: every line libtiff
// reads without an error is ours too, the others carry a warning, and the
// page goes on to its last line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"
#include "core/Compressions.h"
#include "support/LibtiffImage.h"

namespace {

using tvtest::Rows;

struct Writer {
    const char* name;
    const char* program;      // looked up on PATH; missing: the case is skipped
    const char* command;      // %1 is the PBM in, %2 the TIFF out
    std::uint32_t compression;
};

const Writer kWriters[] = {
    {"ImageMagickZip", "convert", "convert %1 -compress Zip %2", 8},
    {"ImageMagickZipStripsMsb", "convert",
     "convert %1 -compress Zip -define tiff:rows-per-strip=16 -define tiff:endian=msb %2", 8},
    {"GraphicsMagickZip", "gm", "gm convert %1 -compress Zip %2", 8},
    {"NetpbmFlate", "pamtotiff", "pamtotiff -flate %1 > %2", 32946},
    {"PillowAdobeDeflate", "/usr/bin/python3",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('%1').save('%2', compression='tiff_adobe_deflate')\"", 8},
    {"PillowDeflate", "/usr/bin/python3",
     "/usr/bin/python3 -c \"from PIL import Image; Image.open('%1').save('%2', compression='tiff_deflate')\"", 8},
    {"TiffcpJbig", "tiffcp", "convert %1 -compress None %2.plain.tif && tiffcp -c jbig %2.plain.tif %2", 34661},
    {"TiffcpJbigFillOrder2", "tiffcp",
     "convert %1 -compress None %2.plain.tif && tiffcp -f lsb2msb -c jbig %2.plain.tif %2", 34661},
};

void PrintTo(const Writer& w, std::ostream* os) { *os << w.name; }

bool Runs(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Fill(std::string text, const std::string& in, const std::string& out) {
    for (std::size_t at; (at = text.find("%1")) != std::string::npos;) text.replace(at, 2, in);
    for (std::size_t at; (at = text.find("%2")) != std::string::npos;) text.replace(at, 2, out);
    return text;
}

struct Ours {
    Rows rows;
    std::vector<std::uint32_t> codes;
    std::uint32_t open = 0;
};

Ours ReadOurs(const std::string& path) {
    Ours out;
    tiffview::Reader reader;
    const tiffview::Result r = reader.open(path);
    out.open = r.code();
    if (!r) return out;
    std::vector<std::uint8_t> line(reader.info().line_bytes());
    while (reader.has_more_lines()) {
        const tiffview::Result lr = reader.read_line(line.data(), line.size());
        out.codes.push_back(lr.code());
        if (!lr) break;
        out.rows.push_back(line);
    }
    tvtest::ClearPadding(out.rows, reader.info().width());
    return out;
}

class CodecWriters : public ::testing::TestWithParam<Writer> {};

TEST_P(CodecWriters, EveryLineAsLibtiffAndAsDrawn) {
    const Writer& w = GetParam();
    if (!tvcore::CompressionReadable(w.compression)) GTEST_SKIP() << "built without this codec";
    if (!Runs(std::string("command -v ") + w.program + " >/dev/null 2>&1")) GTEST_SKIP() << w.program << " missing";
    tvtest::TempDir dir;
    const std::uint32_t width = 613, length = 157;
    Rows drawn = tvtest::DocumentPage(width, length, 11);
    tvtest::ClearPadding(drawn, width);
    const std::string pbm = dir.File("page.pbm"), tif = dir.File("page.tif");
    tvtest::WritePbm(pbm, width, drawn);
    if (!Runs(Fill(w.command, pbm, tif) + " 2>/dev/null")) GTEST_SKIP() << w.name << " cannot write this";

    const tvtest::LibtiffPage truth = tvtest::ReadPageWithLibtiff(tif, 0, w.compression == 34661);
    ASSERT_TRUE(truth.clean);
    const Ours ours = ReadOurs(tif);
    ASSERT_EQ(ours.open, TV_OK);
    ASSERT_EQ(ours.rows.size(), length);
    for (std::uint32_t y = 0; y < length; ++y) EXPECT_EQ(ours.codes[y], TV_OK) << "line " << y;
    EXPECT_EQ(tvtest::FirstDifference(ours.rows, truth.rows), -1);
    EXPECT_EQ(tvtest::FirstDifference(ours.rows, drawn), -1);
}

INSTANTIATE_TEST_SUITE_P(Writers, CodecWriters, ::testing::ValuesIn(kWriters),
                         [](const ::testing::TestParamInfo<Writer>& info) { return std::string(info.param.name); });

// Damage to the strips of a Deflate page written by libtiff (16 rows a
// strip), each strip damaged its own way, the file put together again.
TEST(DeflateDamage, LinesLibtiffReadsAreOursAndTheRestCarryWarnings) {
    if (!tvcore::CompressionReadable(8)) GTEST_SKIP() << "built without Deflate";
    tvtest::TempDir dir;
    const std::string clean = dir.File("clean.tif");
    tvtest::LibtiffOptions o;
    o.width = 1000;
    o.length = 200;
    o.rowsPerStrip = 16;
    o.compression = 8;
    tvtest::WriteWithLibtiffRaw(clean, o, tvtest::DocumentPage(o.width, o.length, 5));
    std::vector<tvtest::Bytes> strips = tvtest::RawStrips(clean);
    ASSERT_EQ(strips.size(), 13u);
    auto overwrite = [](tvtest::Bytes& s, double at) {
        const auto from = static_cast<std::size_t>(at * static_cast<double>(s.size()));
        for (std::size_t i = from; i < from + 8 && i < s.size(); ++i) s[i] = 0xFF;
    };
    overwrite(strips[1], 0.2);
    overwrite(strips[3], 0.8);
    strips[5].resize(strips[5].size() / 2);           // cut short
    strips[7][strips[7].size() / 3] ^= 0x10;          // one bit flipped
    strips[8].resize(3);                              // the header and one byte
    strips[9].clear();                                // empty
    strips[10][strips[10].size() - 2] ^= 0x01;        // the checksum
    strips[11][0] = 0x79;                             // a header zlib refuses
    tvtest::BilevelLayout layout;
    layout.width = o.width;
    layout.length = o.length;
    layout.rowsPerStrip = o.rowsPerStrip;
    layout.compression = 8;
    layout.strips = strips;
    const std::string path = dir.Write("damaged.tif", tvtest::MakeBilevel(layout).Build());

    const tvtest::LibtiffPage truth = tvtest::ReadPageWithLibtiff(path, 0);
    const Ours ours = ReadOurs(path);
    ASSERT_EQ(ours.open, TV_OK);
    ASSERT_EQ(ours.rows.size(), o.length) << "the page stops early";
    std::uint32_t libtiffFailed = 0;
    for (std::uint32_t y = 0; y < o.length; ++y) {
        if (truth.rowRead[y]) {
            // Delivered as libtiff reads it (a strip that decodes past
            // its rows says so on its last line, as every coding does).
            EXPECT_EQ(ours.rows[y], truth.rows[y]) << "line " << y;
        } else {
            ++libtiffFailed;
            EXPECT_TRUE(TiffView_IsWarning(ours.codes[y])) << "line " << y;
        }
    }
    // Strips 5, 8, 9, 10 and 11 fail in libtiff at least from some row on.
    EXPECT_GE(libtiffFailed, 4u * 16);
}

}  // namespace
