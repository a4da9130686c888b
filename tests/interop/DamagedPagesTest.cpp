// Fax pages of the real-world corpus damaged on purpose (bytes overwritten,
// bits flipped, the file cut short), read through tiffview::Reader and by
// libtiff's TIFFReadScanline. libtiff goes on past damage to a page's last
// line; so must we: every line is delivered, each one libtiff delivers has
// its pixels, and comes with a warning when libtiff complains about it.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"
#include "support/LibtiffImage.h"
#include "support/TestData.h"

namespace {

using tvtest::Bytes;

int g_complaints = 0;
void Complain(const char*, const char*, va_list) { ++g_complaints; }

// libtiff's reading, line by line: whether it delivered each line, and
// whether it complained while reading it.
struct LibtiffLines {
    bool opened = false;
    std::uint32_t width = 0;
    std::vector<Bytes> rows;
    std::vector<bool> delivered;
    std::vector<bool> complained;
};

LibtiffLines ReadLines(const std::string& path) {
    LibtiffLines out;
    TIFFErrorHandler oldError = TIFFSetErrorHandler(Complain);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(Complain);
    if (TIFF* tif = TIFFOpen(path.c_str(), "r")) {
        std::uint32_t length = 0;
        std::uint16_t photometric = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &out.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        out.opened = out.width > 0 && !TIFFIsTiled(tif) && TIFFScanlineSize(tif) == (out.width + 7) / 8;
        for (std::uint32_t y = 0; out.opened && y < length; ++y) {
            Bytes row((out.width + 7) / 8, 0);
            const int before = g_complaints;
            out.delivered.push_back(TIFFReadScanline(tif, row.data(), y, 0) == 1);
            out.complained.push_back(g_complaints != before);
            if (photometric == PHOTOMETRIC_MINISBLACK) {
                for (std::uint8_t& b : row) b = static_cast<std::uint8_t>(~b);
            }
            out.rows.push_back(row);
        }
        TIFFClose(tif);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    tvtest::ClearPadding(out.rows, out.width);
    return out;
}

enum class Damage { Overwritten, Flipped, Cut };

// The file's bytes with damage of the given kind inside [from, to), the
// page's first strip: damage to its directory is another matter.
Bytes Damaged(Bytes bytes, Damage kind, std::uint32_t seed, std::size_t from, std::size_t to) {
    std::mt19937 rng(seed);
    const std::size_t at = from + rng() % (to - from);
    switch (kind) {
        case Damage::Overwritten:
            for (std::size_t i = at; i < std::min(to, at + 1 + rng() % 8); ++i) bytes[i] = static_cast<std::uint8_t>(rng());
            break;
        case Damage::Flipped:
            for (int i = 0; i < 4; ++i) bytes[from + rng() % (to - from)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        case Damage::Cut:
            bytes.resize(at);
            break;
    }
    return bytes;
}

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
        std::fclose(f);
    }
    return bytes;
}

// Where strip `strip` of a page of strips lies, and the page's compression;
// false for tiled pages and strips that are not there.
bool StripPlace(const std::string& path, std::uint32_t strip, std::size_t& from, std::size_t& to,
                std::uint16_t& compression) {
    TIFFErrorHandler oldError = TIFFSetErrorHandler(nullptr);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(nullptr);
    compression = 0;
    bool found = false;
    if (TIFF* tif = TIFFOpen(path.c_str(), "r")) {
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        if (!TIFFIsTiled(tif) && strip < TIFFNumberOfStrips(tif)) {
            from = static_cast<std::size_t>(TIFFGetStrileOffset(tif, strip));
            to = from + static_cast<std::size_t>(TIFFGetStrileByteCount(tif, strip));
            found = to > from;
        }
        TIFFClose(tif);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    return found;
}

bool IsFax(std::uint16_t compression) {
    return compression >= COMPRESSION_CCITTRLE && compression <= COMPRESSION_CCITTFAX4;
}

TEST(DamagedPages, GoOnToTheirLastLineWithLibtiffsPixels) {
    tvtest::TempDir dir;
    int pages = 0;
    int compared = 0;
    for (const std::string& file : tvtest::TestDataTiffs()) {
        const std::string source = std::string(TIFFVIEW_TESTDATA_DIR) + "/" + file;
        std::size_t from = 0;
        std::size_t to = 0;
        std::uint16_t compression = 0;
        if (!StripPlace(source, 0, from, to, compression) || !IsFax(compression)) continue;
        // Pages libtiff cannot read whole to begin with (data without EOLs)
        // are read beyond it, and are not compared.
        const LibtiffLines intact = ReadLines(source);
        if (!intact.opened || std::find(intact.complained.begin(), intact.complained.end(), true) != intact.complained.end()) {
            continue;
        }
        const Bytes original = ReadFile(source);
        if (to > original.size()) continue;
        for (Damage kind : {Damage::Overwritten, Damage::Flipped, Damage::Cut}) {
            for (std::uint32_t seed = 1; seed <= 3; ++seed) {
                const Bytes bytes = Damaged(original, kind, seed * 7919 + static_cast<std::uint32_t>(kind), from, to);
                const LibtiffLines theirs = ReadLines(dir.Write("damaged.tif", bytes));
                tiffview::Reader reader;
                tiffview::Result result = reader.open(bytes.data(), bytes.size());
                if (result) result = reader.select_page(0);
                // Damage in the directory may leave no page to read.
                if (!theirs.opened || !result) continue;
                ++pages;
                const std::string where = file + " damage " + std::to_string(static_cast<int>(kind)) + "/" +
                                          std::to_string(seed);
                Bytes line((theirs.width + 7) / 8);
                for (std::size_t y = 0; y < theirs.rows.size(); ++y) {
                    const tiffview::Result r = reader.read_line(line.data(), line.size());
                    ASSERT_TRUE(r.code() == TV_OK || r.is_warning()) << where << " line " << y << ": " << r.message();
                    if (!theirs.delivered[y]) continue;
                    if (theirs.complained[y]) {
                        EXPECT_NE(r.code(), TV_OK) << where << " line " << y;
                    }
                    tvtest::Rows ours{line};
                    tvtest::ClearPadding(ours, theirs.width);
                    ASSERT_EQ(ours[0], theirs.rows[y]) << where << " line " << y;
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(pages, 300);
    std::printf("  %d damaged pages, %d lines equal to libtiff's\n", pages, compared);
}

// LZW pages damaged inside one strip of several: the rows of the strips
// before and after it, and those of the damaged strip that libtiff reads
// before the damage, are libtiff's. (Rows are decoded several to a call;
// the strip a call fails in, and the strip after it, are where that shows.)
TEST(DamagedPages, LzwStripsAroundDamageAsLibtiff) {
    tvtest::TempDir dir;
    const std::string intactPath = dir.File("intact.tif");
    tvtest::LibtiffOptions options;
    options.width = 1000;
    options.length = 300;
    options.rowsPerStrip = 26;
    options.compression = 5;
    tvtest::WriteWithLibtiff(intactPath, options, tvtest::DocumentPage(options.width, options.length, 3));
    const Bytes original = ReadFile(intactPath);
    int compared = 0;
    for (std::uint32_t strip : {0u, 4u, 9u}) {
        std::size_t from = 0;
        std::size_t to = 0;
        std::uint16_t compression = 0;
        ASSERT_TRUE(StripPlace(intactPath, strip, from, to, compression));
        for (Damage kind : {Damage::Overwritten, Damage::Flipped}) {
            for (std::uint32_t seed = 1; seed <= 6; ++seed) {
                const Bytes bytes = Damaged(original, kind, seed, from, to);
                const LibtiffLines theirs = ReadLines(dir.Write("damaged.tif", bytes));
                ASSERT_TRUE(theirs.opened);
                tiffview::Reader reader;
                ASSERT_TRUE(reader.open(bytes.data(), bytes.size()).ok());
                const std::string where = "strip " + std::to_string(strip) + " damage " +
                                          std::to_string(static_cast<int>(kind)) + "/" + std::to_string(seed);
                Bytes line((theirs.width + 7) / 8);
                for (std::size_t y = 0; y < theirs.rows.size(); ++y) {
                    const tiffview::Result r = reader.read_line(line.data(), line.size());
                    ASSERT_TRUE(r.code() == TV_OK || r.is_warning()) << where << " line " << y << ": " << r.message();
                    if (!theirs.delivered[y] || theirs.complained[y]) continue;
                    ASSERT_EQ(line, theirs.rows[y]) << where << " line " << y;
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 3 * 2 * 6 * 250);
}

}  // namespace
