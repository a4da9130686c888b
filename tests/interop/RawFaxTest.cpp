// Raw fax streams (no TIFF container) read through tiffview::Reader: the
// public streams with reference pictures, and every fax strip of the test
// TIFFs decoded again as a raw stream with its page's parameters, which
// must give libtiff's lines for it.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"
#include "support/LibtiffImage.h"
#include "support/TestData.h"

namespace {

using tvtest::Rows;

std::string Data(const std::string& name) { return std::string(TIFFVIEW_TESTDATA_DIR) + "/" + name; }

// A P4 PBM's rows (1 = black, as PBM has it).
Rows ReadPbm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    std::uint32_t width = 0, height = 0;
    in >> magic >> width >> height;
    in.get();
    Rows rows(height, std::vector<std::uint8_t>((width + 7) / 8));
    for (auto& row : rows) in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
    tvtest::ClearPadding(rows, width);
    return rows;
}

struct Read {
    tiffview::Result opened;
    Rows rows;
    std::uint32_t warned = 0;
};

template <class Source>
Read ReadStream(const Source& source, const tiffview::FaxStream& stream) {
    Read read;
    tiffview::Reader reader;
    if constexpr (std::is_same_v<Source, std::string>) {
        read.opened = reader.open(source, tiffview::Options().raw_fax(stream));
    } else {
        read.opened = reader.open(source.data(), source.size(), tiffview::Options().raw_fax(stream));
    }
    if (!read.opened) return read;
    while (reader.has_more_lines()) {
        std::vector<std::uint8_t> line(reader.info().line_bytes());
        const tiffview::Result r = reader.read_line(line.data(), line.size());
        EXPECT_TRUE(r.ok() || r.is_warning()) << r.message();
        read.warned += r.ok() ? 0 : 1;
        read.rows.push_back(line);
    }
    tvtest::ClearPadding(read.rows, reader.info().width());
    return read;
}

bool White(const std::vector<std::uint8_t>& row) {
    for (std::uint8_t byte : row)
        if (byte != 0) return false;
    return true;
}

struct StreamCase {
    const char* file;
    tiffview::FaxCoding coding;
    std::uint32_t width;
    bool aligned, blackIs1;
    std::uint32_t rows;      // given, or 0: counted
    std::uint32_t expected;  // rows read
    const char* reference;   // a TIFF read by libtiff, or a PBM
    std::uint32_t warned;    // lines read with a warning
};

using C = tiffview::FaxCoding;
const char* const kGopher = "golang-bw-gopher_ccittGroup4.tiff";

// Where the rows differ from the reference's, the reason:
// - fax-4 and fax-6 end before their pictures' last rows (white, not
//   coded); counted, they have 188 and 100 rows, given, the rest is white
//   with a warning for each missing row;
// - truncated1's last byte codes one more row than the picture has (V0
//   codes repeating the row above), which a counted stream keeps;
// - g3test.tif, written from g3test.g3, holds RTC's eleven EOLs as white
//   rows: the stream's 1092 rows are the picture's first.
const StreamCase kStreams[] = {
    {"golang-ccitt-bw-gopher.ccitt_group3", C::g3, 153, false, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher.ccitt_group4", C::g4, 153, false, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-aligned.ccitt_group3", C::g3, 153, true, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-aligned.ccitt_group4", C::g4, 153, true, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-inverted.ccitt_group3", C::g3, 153, false, true, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-inverted.ccitt_group4", C::g4, 153, false, true, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-inverted-aligned.ccitt_group3", C::g3, 153, true, true, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-inverted-aligned.ccitt_group4", C::g4, 153, true, true, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-truncated0.ccitt_group3", C::g3, 153, false, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-truncated0.ccitt_group4", C::g4, 153, false, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-truncated1.ccitt_group3", C::g3, 153, false, false, 0, 55, kGopher, 0},
    {"golang-ccitt-bw-gopher-truncated1.ccitt_group4", C::g4, 153, false, false, 0, 56, kGopher, 0},
    {"golang-ccitt-bw-gopher-truncated1.ccitt_group4", C::g4, 153, false, false, 55, 55, kGopher, 0},
    {"fax-4.fax", C::g4, 360, false, false, 0, 188, "fax-4.pbm", 0},
    {"fax-4.fax", C::g4, 360, false, false, 190, 190, "fax-4.pbm", 2},
    {"fax-6.fax", C::g4, 264, false, false, 0, 100, "fax-6.pbm", 0},
    {"fax-6.fax", C::g4, 264, false, false, 101, 101, "fax-6.pbm", 1},
    {"imgtiff-libtiffpic-g3test.g3", C::g3, 1728, false, false, 0, 1092, "imgtiff-libtiffpic-g3test.tif", 189},
};

TEST(RawFax, PublicStreamsReadAsTheirPictures) {
    for (const StreamCase& c : kStreams) {
        const std::string where = std::string(c.file) + " rows " + std::to_string(c.rows);
        const tiffview::FaxStream stream = tiffview::FaxStream()
                                               .coding(c.coding)
                                               .width(c.width)
                                               .rows(c.rows)
                                               .byte_aligned(c.aligned)
                                               .black_is_1(c.blackIs1);
        const Read ours = ReadStream(Data(c.file), stream);
        ASSERT_TRUE(ours.opened.ok()) << where << ": " << ours.opened.message();
        ASSERT_EQ(ours.rows.size(), c.expected) << where;
        EXPECT_EQ(ours.warned, c.warned) << where;
        const std::string reference = c.reference;
        Rows truth = reference.size() > 4 && reference.compare(reference.size() - 4, 4, ".pbm") == 0
                         ? ReadPbm(Data(reference))
                         : tvtest::ReadPageWithLibtiff(Data(reference), 0).rows;
        tvtest::ClearPadding(truth, c.width);
        // Rows past the picture's (truncated1's extra row) are not compared;
        // the picture's rows past the stream's must be white.
        for (std::size_t y = 0; y < truth.size(); ++y) {
            if (y < ours.rows.size()) {
                EXPECT_EQ(ours.rows[y], truth[y]) << where << " row " << y;
            } else {
                EXPECT_TRUE(White(truth[y])) << where << " reference row " << y << " past the stream";
            }
        }
    }
}

// A raw stream with no reference picture: libtiff's reading of the TIFF
// its own fax2tiff makes of it.
TEST(RawFax, StreamAsFax2tiffWrapsIt) {
    if (std::system("command -v fax2tiff >/dev/null 2>&1") != 0) GTEST_SKIP() << "fax2tiff (libtiff-tools) missing";
    tvtest::TempDir dir;
    const std::string wrapped = dir.File("wrapped.tif");
    const std::string stream = Data("libtiff-miniswhite-1c-1b.g3");
    ASSERT_EQ(std::system(("fax2tiff -M -o " + wrapped + " " + stream + " >/dev/null 2>&1").c_str()), 0);
    const tvtest::LibtiffPage truth = tvtest::ReadPageWithLibtiff(wrapped, 0);
    ASSERT_TRUE(truth.opened);
    const Read ours = ReadStream(stream, tiffview::FaxStream().coding(C::g3).width(1728));
    ASSERT_TRUE(ours.opened.ok()) << ours.opened.message();
    // Its last row is 16 white pixels and an EOL: short, so warned about
    // (fax2tiff pads it with white as this reader does, without a word).
    EXPECT_EQ(ours.warned, 1u);
    ASSERT_EQ(ours.rows.size(), 1729u);
    ASSERT_LE(ours.rows.size(), truth.rows.size());
    for (std::size_t y = 0; y < truth.rows.size(); ++y) {
        if (y < ours.rows.size()) {
            EXPECT_EQ(ours.rows[y], truth.rows[y]) << "row " << y;
        } else {
            EXPECT_TRUE(White(truth.rows[y])) << "row " << y << " past the stream";
        }
    }
}

// Every strip of every fax page in the test TIFFs, decoded as a raw stream
// with the page's parameters, gives the lines libtiff delivers for it.
TEST(RawFax, EveryTiffFaxStripReadRawAsLibtiffReadsThePage) {
    int strips = 0;
    TIFFErrorHandler oldError = TIFFSetErrorHandler(nullptr);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(nullptr);
    for (const std::string& name : tvtest::TestDataTiffs()) {
        const std::string path = Data(name);
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        if (tif == nullptr) continue;
        std::uint32_t page = 0;
        do {
            std::uint16_t compression = 1, bits = 1, photometric = 0, fillOrder = 1;
            std::uint32_t width = 0, length = 0, rowsPerStrip = 0, t4 = 0;
            TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
            TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
            TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
            TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
            TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
            TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
            TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            if (compression == 3) TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP3OPTIONS, &t4);
            const bool fax = compression >= 2 && compression <= 4 && bits == 1 && !TIFFIsTiled(tif);
            const tvtest::LibtiffPage truth =
                fax ? tvtest::ReadPageWithLibtiff(path, page) : tvtest::LibtiffPage();
            for (std::uint32_t s = 0; fax && truth.opened && s < TIFFNumberOfStrips(tif); ++s) {
                const std::uint64_t first = std::uint64_t{s} * rowsPerStrip;
                if (first >= length) break;
                const auto rows = static_cast<std::uint32_t>(std::min<std::uint64_t>(rowsPerStrip, length - first));
                const tmsize_t size = TIFFRawStripSize(tif, s);
                if (size <= 0) continue;
                std::vector<std::uint8_t> raw(static_cast<std::size_t>(size));
                if (TIFFReadRawStrip(tif, s, raw.data(), size) != size) continue;
                const tiffview::FaxStream stream =
                    tiffview::FaxStream()
                        .coding(compression == 2 ? C::mh : compression == 4 ? C::g4 : (t4 & 1) ? C::g3_2d : C::g3)
                        .width(width)
                        .rows(rows)
                        .lsb_first(fillOrder == 2)
                        .black_is_1(photometric == 1);
                const Read ours = ReadStream(raw, stream);
                const std::string where = name + " page " + std::to_string(page) + " strip " + std::to_string(s);
                ASSERT_TRUE(ours.opened.ok()) << where << ": " << ours.opened.message();
                ASSERT_EQ(ours.rows.size(), rows) << where;
                for (std::uint32_t y = 0; y < rows; ++y) {
                    const std::size_t row = static_cast<std::size_t>(first) + y;
                    if (row < truth.rows.size() && truth.rowRead[row]) {
                        Rows theirs{truth.rows[row]};
                        tvtest::ClearPadding(theirs, width);
                        EXPECT_EQ(ours.rows[y], theirs[0]) << where << " row " << row;
                    }
                }
                ++strips;
            }
            ++page;
        } while (TIFFReadDirectory(tif));
        TIFFClose(tif);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    EXPECT_GT(strips, 100);
}

}  // namespace
