// Group 3 (one- and two-dimensional, EOLs aligned or not) and modified
// Huffman pages written by libtiff, whole and damaged, read line by line
// against libtiff's TIFFReadScanline: with TV_OPTION_ANY_BILEVEL, and in the
// strict profile, which must never call a wrong line OK.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "TiffView.h"
#include "support/FaxEncoder.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Rows;

struct Lines {
    std::uint32_t opened = TV_OK;
    Rows rows;
    std::vector<std::uint32_t> codes;  // ours: each line's result
    std::vector<bool> complained;      // libtiff: a warning or error during the line
};

int g_messages = 0;
void CountMessage(const char*, const char*, va_list) { ++g_messages; }

Lines ReadOurs(const std::string& path, std::uint32_t options = TV_OPTION_ANY_BILEVEL) {
    Lines out;
    CTiffView view;
    view.SetLogEnabled(0);
    view.SetOptions(options);
    out.opened = view.OpenFile(path.c_str());
    if (out.opened != TV_OK) return out;
    TiffInfo_t info;
    view.GetImageInfo(&info);
    std::vector<std::uint8_t> line((info.Width + 7) / 8);
    for (std::uint32_t y = 0; y < info.Length; ++y) {
        const std::uint32_t r = view.ReadALine(line.data());
        out.codes.push_back(r);
        out.rows.push_back(line);
        if (r != TV_OK && !TiffView_IsWarning(r)) break;
    }
    tvtest::ClearPadding(out.rows, info.Width);
    view.CloseFile();
    return out;
}

Lines ReadLibtiff(const std::string& path) {
    Lines out;
    TIFFErrorHandler oldError = TIFFSetErrorHandler(CountMessage);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(CountMessage);
    if (TIFF* t = TIFFOpen(path.c_str(), "r")) {
        std::uint32_t width = 0, length = 0;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &length);
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(TIFFScanlineSize(t)));
        for (std::uint32_t y = 0; y < length; ++y) {
            std::fill(buf.begin(), buf.end(), 0);
            g_messages = 0;
            TIFFReadScanline(t, buf.data(), y, 0);
            out.rows.push_back(buf);
            out.complained.push_back(g_messages != 0);
        }
        tvtest::ClearPadding(out.rows, width);
        TIFFClose(t);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    return out;
}

struct Coding {
    const char* name;
    std::uint16_t compression;
    std::uint32_t t4Options;
    bool resolution;  // libtiff codes two-dimensionally with K 4 above 150 dpi, else K 2
};

const Coding kCodings[] = {
    {"1D, EOLs unaligned", COMPRESSION_CCITTFAX3, 0, true},
    {"1D, EOLs aligned", COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, true},
    {"2D K 2, EOLs unaligned", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, false},
    {"2D K 4, EOLs unaligned", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, true},
    {"2D K 4, EOLs aligned", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, true},
    {"2D K 2, EOLs aligned", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, false},
    {"modified Huffman", COMPRESSION_CCITTRLE, 0, true},
};

std::string Scratch(const std::string& name) { return ::testing::TempDir() + "g3_" + name + ".tif"; }

// Each test writes its own scratch files: CTest runs the tests side by side.
std::string Write(const std::string& name, const Coding& c, std::uint32_t width, std::uint32_t length, std::uint16_t fillOrder,
                  std::uint32_t rowsPerStrip, const Rows& rows) {
    tvtest::LibtiffOptions o;
    o.width = width;
    o.length = length;
    o.compression = c.compression;
    o.group3Options = c.t4Options;
    o.fillOrder = fillOrder;
    o.resolution = c.resolution;
    o.rowsPerStrip = rowsPerStrip;
    const std::string path = Scratch(name);
    tvtest::WriteWithLibtiff(path, o, rows);
    return path;
}

TEST(Group3Libtiff, WrittenPagesReadIdentically) {
    const std::uint32_t widths[] = {1, 7, 8, 9, 63, 64, 65, 1728, 2480};
    for (const Coding& c : kCodings) {
        for (std::uint32_t width : widths) {
            for (std::uint16_t fillOrder : {1, 2}) {
                const std::uint32_t length = width >= 1728 ? 120 : 40;
                const Rows rows = width % 2 ? tvtest::NoisePage(width, length, width, 0.3)
                                            : tvtest::DocumentPage(width, length, width);
                const std::string path = Write("written", c, width, length, fillOrder, width == 65 ? 7 : 0, rows);
                const Lines ours = ReadOurs(path);
                const std::string where = std::string(c.name) + " width " + std::to_string(width) + " fill order " +
                                          std::to_string(fillOrder);
                ASSERT_EQ(ours.opened, TV_OK) << where;
                EXPECT_EQ(tvtest::FirstDifference(ours.rows, rows), -1) << where;
                EXPECT_EQ(tvtest::FirstDifference(ours.rows, ReadLibtiff(path).rows), -1) << where;
                for (std::uint32_t y = 0; y < ours.codes.size(); ++y) {
                    ASSERT_EQ(ours.codes[y], TV_OK) << where << " line " << y;
                }
            }
        }
    }
}

TEST(Group3Libtiff, A4At300DpiTwoDimensional) {
    const Rows rows = tvtest::DocumentPage(2480, 3508, 7);
    for (const Coding& c : {kCodings[4], kCodings[6]}) {
        const std::string path = Write("a4", c, 2480, 3508, 1, 0, rows);
        const Lines ours = ReadOurs(path);
        ASSERT_EQ(ours.opened, TV_OK) << c.name;
        EXPECT_EQ(tvtest::FirstDifference(ours.rows, rows), -1) << c.name;
    }
}

// Strips of a few lines each, so that lines start at every distance from
// a strip's end, where decoding turns from eight bytes at a time to bit by
// bit; widths on both sides of 64-pixel words, where a line's toggled words
// end and runs that overshoot it spill into the next. Whole pages read as
// written; with bits flipped in the last eight bytes of every strip,
// one-dimensional and modified Huffman lines read as libtiff reads them,
// two-dimensional ones up to the first line of their strip that libtiff
// complains about (after a bad code the two may fall out of step).
TEST(Group3Libtiff, StripEndsAndWordBoundaries) {
    struct Shape {
        std::uint32_t width;
        std::uint32_t rowsPerStrip;
    };
    const Shape shapes[] = {{61, 3}, {64, 5}, {67, 2}, {125, 1}, {128, 4},
                            {131, 2}, {189, 1}, {192, 3}, {195, 1}, {1728, 1}};
    const std::uint32_t length = 30;
    int compared = 0, flagged = 0;
    for (const Coding& c : kCodings) {
        const bool followsLibtiff = (c.t4Options & GROUP3OPT_2DENCODING) == 0;
        for (const Shape& shape : shapes) {
            const std::uint32_t width = shape.width;
            const Rows rows = width % 2 ? tvtest::NoisePage(width, length, width, 0.3)
                                        : tvtest::DocumentPage(width, length, width);
            const std::string clean = Write("ends", c, width, length, 1, shape.rowsPerStrip, rows);
            const std::string where = std::string(c.name) + " width " + std::to_string(width);
            const Lines whole = ReadOurs(clean);
            ASSERT_EQ(whole.opened, TV_OK) << where;
            EXPECT_EQ(tvtest::FirstDifference(whole.rows, rows), -1) << where;
            EXPECT_EQ(std::count(whole.codes.begin(), whole.codes.end(), TV_OK), long{length}) << where;

            std::ifstream in(clean, std::ios::binary);
            const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::vector<std::pair<std::size_t, std::size_t>> strips;  // offset, bytes
            if (TIFF* t = TIFFOpen(clean.c_str(), "r")) {
                std::uint64_t* offsets = nullptr;
                std::uint64_t* counts = nullptr;
                if (TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts)) {
                    for (std::uint32_t i = 0; i < TIFFNumberOfStrips(t); ++i) strips.emplace_back(offsets[i], counts[i]);
                }
                TIFFClose(t);
            }
            ASSERT_EQ(strips.size(), (length + shape.rowsPerStrip - 1) / shape.rowsPerStrip) << where;
            for (std::uint32_t trial = 0; trial < 4; ++trial) {
                std::vector<char> damaged = file;
                for (std::size_t i = 0; i < strips.size(); ++i) {
                    const std::size_t fromEnd = 1 + (trial * 3 + i) % std::min<std::size_t>(strips[i].second, 8);
                    char& byte = damaged[strips[i].first + strips[i].second - fromEnd];
                    byte = static_cast<char>(byte ^ (1 << ((trial + i) % 8)));
                }
                const std::string path = Scratch("ends_damaged");
                std::ofstream(path, std::ios::binary).write(damaged.data(), static_cast<std::streamsize>(damaged.size()));
                const Lines truth = ReadLibtiff(path);
                const Lines ours = ReadOurs(path);
                ASSERT_EQ(ours.rows.size(), truth.rows.size()) << where << " trial " << trial;
                bool inStep = true;
                for (std::size_t y = 0; y < ours.rows.size(); ++y) {
                    if (y % shape.rowsPerStrip == 0) inStep = true;
                    inStep = inStep && !truth.complained[y];
                    if (followsLibtiff || inStep) {
                        EXPECT_EQ(ours.rows[y], truth.rows[y]) << where << " trial " << trial << " line " << y;
                        ++compared;
                    }
                    if (ours.codes[y] != TV_OK) ++flagged;
                }
            }
        }
    }
    EXPECT_GT(compared, 6000);
    EXPECT_GT(flagged, 1000);
}

// libtiff writes K 2 or 4 only; our own encoder writes any K, down to every
// line one-dimensional after its tag bit and up to only the first.
TEST(Group3Libtiff, AnyKTwoDimensional) {
    const std::uint32_t width = 1728, length = 80;
    const Rows rows = tvtest::DocumentPage(width, length, 11);
    for (std::uint32_t k : {1u, 3u, 1000u}) {
        for (bool aligned : {false, true}) {
            tvtest::BilevelLayout layout;
            layout.width = width;
            layout.length = length;
            layout.compression = COMPRESSION_CCITTFAX3;
            layout.strips = {faxenc::EncodeG3TwoDimensional(rows, width, k, aligned)};
            tvtest::TiffBuilder tiff = tvtest::MakeBilevel(layout);
            tiff.AddLong(TIFFTAG_GROUP3OPTIONS, GROUP3OPT_2DENCODING | (aligned ? GROUP3OPT_FILLBITS : 0));
            const std::string path = Scratch("anyk");
            tvtest::WriteFileBytes(path, tiff.Build());
            const Lines ours = ReadOurs(path);
            const std::string where = "K " + std::to_string(k) + (aligned ? " aligned" : "");
            ASSERT_EQ(ours.opened, TV_OK) << where;
            EXPECT_EQ(tvtest::FirstDifference(ours.rows, rows), -1) << where;
            EXPECT_EQ(tvtest::FirstDifference(ours.rows, ReadLibtiff(path).rows), -1) << where;
            EXPECT_EQ(std::count(ours.codes.begin(), ours.codes.end(), TV_OK), length) << where;
        }
    }
}

// The file at `path` with its strip's data damaged as `trial` says: a bit
// flipped (and every third time the next byte too), or every tenth time the
// strip cut short with zeros. The strip's first `keep` bytes stay whole.
std::string Damaged(const std::string& path, std::uint32_t trial, std::size_t keep = 0) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t dataStart = 0, dataEnd = 0;
    if (TIFF* t = TIFFOpen(path.c_str(), "r")) {
        std::uint64_t* offsets = nullptr;
        std::uint64_t* counts = nullptr;
        if (TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) && TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts)) {
            dataStart = static_cast<std::size_t>(offsets[0]) + keep;
            dataEnd = static_cast<std::size_t>(offsets[0] + counts[0]);
        }
        TIFFClose(t);
    }
    EXPECT_GT(dataEnd, dataStart + 2) << path;
    if (dataEnd <= dataStart + 2) return path;
    const std::size_t at = dataStart + (trial * 7919u) % (dataEnd - dataStart - 1);
    if (trial % 10 == 9) {
        for (std::size_t i = at; i < dataEnd; ++i) file[i] = 0;
    } else {
        file[at] = static_cast<char>(file[at] ^ (1 << (trial % 8)));
        if (trial % 3 == 0) file[at + 1] = static_cast<char>(file[at + 1] ^ 0x5A);
    }
    const std::string damaged = path + ".damaged";
    std::ofstream(damaged, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
    return damaged;
}

// Damaged copies of a written page: lines libtiff reads without complaint
// must be identical; every other line must carry a warning unless it is
// identical anyway. One exception, in two-dimensional pages: where a bad
// code is followed by an EOL, libtiff ends the line there and then skips to
// the next EOL without a word, dropping the line between; we read that line
// (with a warning), so later lines may be a row apart from libtiff's, and
// must then be flagged or be the lines as written. Near such damage the two
// readers may also part ways on a line or two, each flagging its own.
TEST(Group3Libtiff, DamagedPagesFollowLibtiff) {
    const std::uint32_t width = 200, length = 60;
    const Rows rows = tvtest::DocumentPage(width, length, 3);
    int compared = 0, flagged = 0, outOfStep = 0;
    for (const Coding& c : kCodings) {
        const bool followsLibtiff = (c.t4Options & GROUP3OPT_2DENCODING) == 0;
        const std::string clean = Write("clean", c, width, length, 1, 0, rows);
        for (std::uint32_t trial = 0; trial < 60; ++trial) {
            const std::string path = Damaged(clean, trial);
            const Lines truth = ReadLibtiff(path);
            const Lines ours = ReadOurs(path);
            const std::string where = std::string(c.name) + " trial " + std::to_string(trial);
            ASSERT_EQ(ours.opened, TV_OK) << where;
            ASSERT_EQ(ours.rows.size(), truth.rows.size()) << where;
            for (std::size_t y = 0; y < ours.rows.size(); ++y) {
                const bool same = ours.rows[y] == truth.rows[y];
                if (!followsLibtiff) {
                    // A line we read otherwise than libtiff is flagged, or
                    // is the line as written: libtiff dropped a line (see
                    // above), we did not.
                    if (!same) {
                        EXPECT_TRUE(ours.codes[y] != TV_OK || ours.rows[y] == rows[y]) << where << " line " << y;
                        outOfStep += truth.complained[y] ? 0 : 1;
                    }
                } else if (!truth.complained[y]) {
                    EXPECT_TRUE(same) << where << " line " << y;
                    ++compared;
                } else if (!same) {
                    EXPECT_NE(ours.codes[y], TV_OK) << where << " line " << y;
                }
                if (ours.codes[y] != TV_OK) ++flagged;
            }
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_GT(flagged, 20);
    std::printf("  %d lines compared, %d flagged, %d two-dimensional lines one row apart from libtiff's\n", compared,
                flagged, outOfStep);
}

// The strict profile takes only byte-aligned one-dimensional Group 3 as it
// is meant to be read; given EOLs that are not aligned, or damage, it may
// fail or warn, but every line it calls OK is the row as written or the
// line libtiff reads (a flipped bit can make other valid codes). libtiff
// alone is no oracle here: to find a damaged EOL it skips to the next one
// without a word, dropping the line between, where this reader warns about
// that line and goes on in step. The strip's first EOL is kept whole: a
// first line without one is kept here and dropped by libtiff.
TEST(Group3Libtiff, StrictProfileNeverCallsAWrongLineOk) {
    const std::uint32_t width = 300, length = 60;
    const Rows rows = tvtest::DocumentPage(width, length, 5);
    for (const Coding& c : {kCodings[0], kCodings[1]}) {
        const bool aligned = (c.t4Options & GROUP3OPT_FILLBITS) != 0;
        const std::string clean = Write(aligned ? "strict-aligned" : "strict", c, width, length, 1, 0, rows);
        const Lines whole = ReadOurs(clean, 0);
        int warned = 0;
        for (std::uint32_t code : whole.codes) warned += code != TV_OK ? 1 : 0;
        EXPECT_EQ(warned > 0, !aligned) << c.name;
        for (std::uint32_t trial = 0; trial <= 60; ++trial) {
            const std::string path = trial == 60 ? clean : Damaged(clean, trial, 2);
            const Lines truth = ReadLibtiff(path);
            const Lines ours = ReadOurs(path, 0);
            for (std::size_t y = 0; y < ours.codes.size(); ++y) {
                if (ours.codes[y] == TV_OK) {
                    EXPECT_TRUE(ours.rows[y] == rows[y] || (!truth.complained[y] && ours.rows[y] == truth.rows[y]))
                        << c.name << " trial " << trial << " line " << y;
                }
            }
        }
    }
}

}  // namespace
