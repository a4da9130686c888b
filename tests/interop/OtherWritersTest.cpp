// Classic and BigTIFF files from other writers, made at test time:
// tifffile (tiles, strips, pages, both byte orders), ImageMagick (TIFF: and
// TIFF64:, both byte orders), GraphicsMagick (TIFF: and BIGTIFF:),
// Ghostscript's TIFF devices with and without UseBigTIFF, Pillow's fax,
// LZW, PackBits and uncompressed writers, and libtiff itself ("w8"). Every
// page libtiff reads without an error must read identically through
// tiffview::Reader, every line TV_OK. A writer that is not installed is
// skipped.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"
#include "support/LibtiffImage.h"

namespace {

using tvtest::Rows;

// Runs a shell command quietly; whether it succeeded.
bool Succeeds(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A two-page PostScript document of rules, boxes and text.
void WritePostScript(const std::string& path) {
    std::ofstream out(path);
    out << "%!PS\n<< /PageSize [144 108] >> setpagedevice\n";
    for (int page = 1; page <= 2; ++page) {
        out << "/Helvetica findfont 11 scalefont setfont\n"
            << "10 90 moveto (Page " << page << " of a BigTIFF fax) show\n"
            << "2 setlinewidth 10 10 moveto 134 " << 20 * page << " lineto stroke\n"
            << "20 30 " << 40 * page << " 30 rectfill\n"
            << "showpage\n";
    }
}

// Compares every page libtiff reads cleanly; returns the pages compared.
int CompareWithLibtiff(const std::string& path, const std::string& label) {
    tiffview::Reader reader;
    const tiffview::Result opened = reader.open(path, tiffview::Options().page(tiffview::Options::no_page));
    EXPECT_FALSE(opened.is_error()) << label << ": " << opened.message();
    int compared = 0;
    for (std::uint32_t p = 0; p < reader.page_count(); ++p) {
        const tvtest::LibtiffPage theirs = tvtest::ReadPageWithLibtiff(path, p);
        if (!theirs.opened || !theirs.clean) continue;
        const tiffview::Result selected = reader.select_page(p);
        EXPECT_EQ(selected.code(), TV_OK) << label << " page " << p << ": " << selected.message();
        if (!selected) continue;
        EXPECT_EQ(reader.info().width(), theirs.width) << label;
        Rows ours;
        for (std::uint32_t y = 0; y < reader.info().length(); ++y) {
            std::vector<std::uint8_t> line(reader.info().line_bytes());
            const tiffview::Result r = reader.read_line(line.data(), line.size());
            EXPECT_EQ(r.code(), TV_OK) << label << " page " << p << " line " << y;
            ours.push_back(line);
        }
        tvtest::ClearPadding(ours, theirs.width);
        EXPECT_EQ(tvtest::FirstDifference(ours, theirs.rows), -1) << label << " page " << p;
        ++compared;
    }
    return compared;
}

bool IsBigTiff(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[4] = {};
    in.read(header, 4);
    return (header[0] == 'I' ? header[2] : header[3]) == 43;
}

struct Writer {
    const char* name;
    const char* probe;     // a command that succeeds when the writer is installed
    std::string command;   // %in (the PBM or PostScript) and %out replaced
    bool postscript = false;
    bool bigTiff = true;
};

const char* const kHasTifffile = "/usr/bin/python3 -c 'import tifffile, numpy'";

std::string Fill(std::string command, const std::string& in, const std::string& out) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"%in", in}, {"%out", out}}) {
        for (std::size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, key.size(), value);
    }
    return command;
}

const std::string kTifffile =
    "/usr/bin/python3 -c \"import sys, tifffile\n"
    "rows = open(sys.argv[1], 'rb').read().split(b'\\n', 2)\n"
    "w, h = map(int, rows[1].split())\n"
    "import numpy as np\n"
    "a = np.unpackbits(np.frombuffer(rows[2], np.uint8).reshape(h, -1), axis=1)[:, :w].astype(bool)\n"
    "kw = dict(bigtiff=sys.argv[5] == 'big', photometric='miniswhite', byteorder=sys.argv[3])\n"
    "if sys.argv[4] == 'tiles': kw['tile'] = (32, 48)\n"
    "else: kw['rowsperstrip'] = 13\n"
    "tifffile.imwrite(sys.argv[2], np.stack([a, ~a, a[::-1]]), **kw)\" %in %out";

const std::string kPillow =
    "/usr/bin/python3 -c \"import sys; from PIL import Image\n"
    "Image.open(sys.argv[1]).save(sys.argv[2], compression=sys.argv[3])\" %in %out";

TEST(OtherWriters, EveryPageLibtiffReadsReadsIdentically) {
    tvtest::TempDir dir;
    const std::uint32_t width = 301, length = 157;
    const Rows rows = tvtest::DocumentPage(width, length, 19);
    const std::string pbm = dir.File("page.pbm"), ps = dir.File("doc.ps");
    tvtest::WritePbm(pbm, width, rows);
    WritePostScript(ps);

    std::vector<Writer> writers = {
        {"tifffile tiles little-endian", kHasTifffile, kTifffile + " '<' tiles big"},
        {"tifffile strips big-endian", kHasTifffile, kTifffile + " '>' strips big"},
        {"tifffile strips little-endian", kHasTifffile, kTifffile + " '<' strips classic", false, false},
        {"tifffile tiles big-endian", kHasTifffile, kTifffile + " '>' tiles classic", false, false},
    };
    for (const char* compress : {"Group4", "Fax", "LZW", "RLE", "None"}) {
        for (bool big : {true, false}) {
            const std::string im = big ? " TIFF64:%out" : " TIFF:%out";
            writers.push_back({"ImageMagick", "convert -version", std::string("convert %in -compress ") + compress + im,
                               false, big});
            writers.push_back({"ImageMagick big-endian", "convert -version",
                               std::string("convert %in -compress ") + compress + " -define tiff:endian=msb" + im,
                               false, big});
            writers.push_back({"GraphicsMagick", "gm version",
                               std::string("gm convert %in -compress ") + compress + (big ? " BIGTIFF:%out" : " TIFF:%out"),
                               false, big});
        }
    }
    for (const char* compression : {"group4", "group3", "tiff_ccitt", "tiff_lzw", "packbits", "raw"}) {
        writers.push_back({"Pillow", "/usr/bin/python3 -c 'import PIL'", kPillow + " " + compression, false, false});
    }
    for (const char* device : {"tiffg3", "tiffg32d", "tiffg4", "tiffcrle", "tifflzw", "tiffpack"}) {
        for (bool big : {true, false}) {
            writers.push_back({"Ghostscript", "gs --version",
                               std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -r150 -sDEVICE=") + device +
                                   (big ? " -dUseBigTIFF=true" : "") + " -sOutputFile=%out %in",
                               true, big});
        }
    }
    int compared = 0;
    for (std::size_t i = 0; i < writers.size(); ++i) {
        const Writer& w = writers[i];
        if (!Succeeds(w.probe)) continue;
        const std::string out = dir.File("out" + std::to_string(i) + ".tif");
        const std::string label = std::string(w.name) + ": " + w.command;
        if (!Succeeds(Fill(w.command, w.postscript ? ps : pbm, out))) {
            ADD_FAILURE() << label << " failed";
            continue;
        }
        EXPECT_EQ(IsBigTiff(out), w.bigTiff) << label;
        const int pages = CompareWithLibtiff(out, label);
        EXPECT_GT(pages, 0) << label << ": no page libtiff reads";
        compared += pages;
    }

    // libtiff's own BigTIFF, big-endian, strips and tiles.
    for (bool tiles : {false, true}) {
        const std::string out = dir.File(tiles ? "libtiff-tiles.tif" : "libtiff-strips.tif");
        TIFF* tif = TIFFOpen(out.c_str(), "w8b");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, length);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, tiles ? COMPRESSION_PACKBITS : COMPRESSION_CCITTFAX4);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        if (tiles) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, 64);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, 32);
            std::vector<std::uint8_t> tile(8 * 32);
            for (std::uint32_t y0 = 0; y0 < length; y0 += 32) {
                for (std::uint32_t x0 = 0; x0 < width; x0 += 64) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (std::uint32_t y = y0; y < std::min(length, y0 + 32); ++y) {
                        for (std::uint32_t x = x0; x < std::min(width, x0 + 64); ++x) {
                            if (rows[y][x / 8] & (0x80u >> (x % 8))) tile[(y - y0) * 8 + (x - x0) / 8] |= static_cast<std::uint8_t>(0x80u >> ((x - x0) % 8));
                        }
                    }
                    ASSERT_GE(TIFFWriteTile(tif, tile.data(), x0, y0, 0, 0), 0);
                }
            }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 40);
            for (std::uint32_t y = 0; y < length; ++y) {
                std::vector<std::uint8_t> row = rows[y];
                ASSERT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
            }
        }
        TIFFClose(tif);
        EXPECT_TRUE(IsBigTiff(out));
        compared += CompareWithLibtiff(out, out);
    }
    EXPECT_GT(compared, 2);
}

}  // namespace
