// The test encoders judged by libtiff: strips coded by faxenc are wrapped in
// a TIFF with TIFFWriteRawStrip and must read back, through libtiff's own
// decoder, as the lines that went in. Only an encoder proven this way is
// used to judge our decoder.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "support/FaxEncoder.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

using faxenc::Content;
using faxenc::Line;
using faxenc::Lines;

enum class Coding { G3, G4 };

struct RawImage {
    Coding coding;
    std::uint32_t width;
    std::uint16_t fillOrder;
    bool endMark;  // EOFB for G4, RTC for G3
    std::uint32_t rowsPerStrip;
};

std::string Name(const RawImage& p) {
    return std::string(p.coding == Coding::G4 ? "G4" : "G3") + "_Fill" + std::to_string(p.fillOrder) +
           (p.endMark ? "_Mark" : "_NoMark") + "_Rps" + std::to_string(p.rowsPerStrip);
}

void PrintTo(const RawImage& p, std::ostream* os) { *os << Name(p) << " width " << p.width; }

std::vector<std::uint8_t> EncodeStrip(const RawImage& img, const Lines& rows) {
    const bool reverse = img.fillOrder == 2;
    return img.coding == Coding::G4 ? faxenc::EncodeG4(rows, img.width, img.endMark, reverse)
                                    : faxenc::EncodeG3(rows, img.width, img.endMark, reverse);
}

// Writes `rows` coded by faxenc as raw strips of a TIFF and returns what
// libtiff reads back (1 = black).
tvtest::Rows ThroughLibtiff(const std::string& path, const RawImage& img, const Lines& rows) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) throw std::runtime_error("TIFFOpen failed");
    const auto height = static_cast<std::uint32_t>(rows.size());
    const std::uint32_t rps = img.rowsPerStrip == 0 ? height : img.rowsPerStrip;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, img.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, img.fillOrder);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rps);
    if (img.coding == Coding::G4) {
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else {
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS);
    }
    for (std::uint32_t first = 0, strip = 0; first < height; first += rps, ++strip) {
        const Lines part(rows.begin() + first, rows.begin() + std::min(height, first + rps));
        std::vector<std::uint8_t> bytes = EncodeStrip(img, part);
        if (TIFFWriteRawStrip(tif, strip, bytes.data(), static_cast<tmsize_t>(bytes.size())) < 0) {
            TIFFClose(tif);
            throw std::runtime_error("TIFFWriteRawStrip failed");
        }
    }
    TIFFClose(tif);
    return tvtest::ReadWithLibtiff(path);
}

// libtiff's one-dimensional decoder keeps room for only as many runs as the
// width rounded up to 32, so a line of width + 1 runs (black first, then
// single pixels) overflows it when the width is a multiple of 32. Such lines
// are legal and our decoder must take them; only this oracle cannot.
Lines WithinLibtiff1DLimit(const Lines& rows, std::uint32_t width) {
    const std::uint32_t limit = (width + 31) / 32 * 32;
    Lines kept;
    for (const Line& l : rows) {
        std::uint32_t runs = faxenc::Pixel(l, 0) ? 2 : 1;
        for (std::uint32_t x = 1; x < width; ++x) runs += faxenc::Pixel(l, x) != faxenc::Pixel(l, x - 1) ? 1 : 0;
        if (runs <= limit) kept.push_back(l);
    }
    return kept;
}

void ExpectSame(const Lines& expected, const tvtest::Rows& got, std::uint32_t width, const std::string& what) {
    std::string detail;
    const long diff = faxenc::FirstDifference(expected, got, width, &detail);
    EXPECT_EQ(diff, -1) << what << ": " << detail;
}

// Lines whose runs, in both colours, take every terminating length, every
// make-up length (normal and extended) and runs beyond 2560 that need
// several extended make-up codes, so every code word is written at least
// once.
Lines EveryRunLength(std::uint32_t width) {
    // (white, black) pairs, so each line starts white and every length
    // appears in both colours.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (std::uint32_t k = 1; k < 64; ++k) pairs.emplace_back(k, k);
    for (std::uint32_t m = 64; m <= 2560; m += 64) {
        pairs.emplace_back(m, m + m / 64 % 64);
        pairs.emplace_back(m + 63, m);
    }
    pairs.insert(pairs.end(), {{2561, 5120}, {5183, 2624}, {7777, 4000}});
    Lines lines;
    std::vector<std::uint32_t> cur;
    std::uint32_t used = 0;
    for (const auto& p : pairs) {
        if (used + p.first + p.second + 1 > width) {
            cur.push_back(width);  // a white run fills the rest
            lines.push_back(faxenc::RunsLine(width, cur));
            cur.clear();
            used = 0;
        }
        cur.insert(cur.end(), {p.first, p.second});
        used += p.first + p.second;
    }
    cur.push_back(width);
    lines.push_back(faxenc::RunsLine(width, cur));
    // Lines that start black (white run of 0) and end at the width in
    // either colour.
    lines.push_back(faxenc::RunsLine(width, {0, 1, width}));
    lines.push_back(faxenc::RunsLine(width, {0, width}));
    lines.push_back(faxenc::RunsLine(width, {width - 1, 1}));
    return lines;
}

class EncoderAgainstLibtiff : public ::testing::TestWithParam<RawImage> {};

TEST_P(EncoderAgainstLibtiff, EveryCodeWordReadsBack) {
    const RawImage img = GetParam();
    const Lines rows = EveryRunLength(img.width);
    tvtest::TempDir dir;
    ExpectSame(rows, ThroughLibtiff(dir.File("runs.tif"), img, rows), img.width, "every run length");
}

TEST_P(EncoderAgainstLibtiff, ContentReadsBack) {
    const RawImage img = GetParam();
    tvtest::TempDir dir;
    const Content contents[] = {Content::White,  Content::Black,    Content::Alternating, Content::Checker,
                                Content::Noise,  Content::Runs,     Content::LongRuns,    Content::Text,
                                Content::Halftone, Content::Mixed};
    for (Content c : contents) {
        const std::uint64_t seed = 0xFA0000u + static_cast<std::uint64_t>(c) * 131 + img.width;
        Lines rows = faxenc::MakeImage(c, img.width, 40, seed);
        if (img.coding == Coding::G3) rows = WithinLibtiff1DLimit(rows, img.width);
        ExpectSame(rows, ThroughLibtiff(dir.File("c.tif"), img, rows), img.width,
                   std::string(faxenc::ContentName(c)) + " seed " + std::to_string(seed));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codings, EncoderAgainstLibtiff,
    ::testing::Values(RawImage{Coding::G4, 12000, 1, true, 0}, RawImage{Coding::G4, 12000, 2, false, 7},
                      RawImage{Coding::G3, 12000, 1, false, 0}, RawImage{Coding::G3, 12000, 2, true, 9}),
    [](const ::testing::TestParamInfo<RawImage>& info) { return Name(info.param); });

// Narrow and byte-boundary widths, where the last code of a line ends next
// to the pad bits and a single changing element decides the line.
TEST(EncoderAgainstLibtiffWidths, SmallWidthsReadBack) {
    tvtest::TempDir dir;
    for (std::uint32_t width = 1; width <= 33; ++width) {
        for (Coding coding : {Coding::G3, Coding::G4}) {
            const RawImage img{coding, width, static_cast<std::uint16_t>(width % 2 + 1), width % 3 == 0, 0};
            const std::uint64_t seed = 0x5EED00u + width;
            Lines rows = faxenc::MakeImage(Content::Noise, width, 24, seed);
            const Lines checker = faxenc::MakeImage(Content::Checker, width, 8, seed);
            rows.insert(rows.end(), checker.begin(), checker.end());
            rows.push_back(faxenc::BlackLine(width));
            rows.push_back(faxenc::WhiteLine(width));
            if (coding == Coding::G3) rows = WithinLibtiff1DLimit(rows, width);
            ExpectSame(rows, ThroughLibtiff(dir.File("w.tif"), img, rows), width,
                       "width " + std::to_string(width) + (coding == Coding::G4 ? " G4" : " G3"));
        }
    }
}

// The encoder's own framing, checked bit for bit where the coding fixes it.
TEST(EncoderFraming, G3LinesStartOnByteBoundariesAfterAlignedEol) {
    const Lines rows = faxenc::MakeImage(Content::Runs, 300, 30, 77);
    const faxenc::Stream s = faxenc::EncodeG3Stream(rows, 300, true);
    ASSERT_EQ(s.LineStartBits.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(s.LineStartBits[i] % 8, 0u) << "line " << i;
        const std::size_t eol = s.LineStartBits[i] / 8;
        ASSERT_GE(eol, 2u);
        EXPECT_EQ(s.Bytes[eol - 1], 0x01) << "line " << i;
        EXPECT_EQ(s.Bytes[eol - 2] & 0x0F, 0x00) << "line " << i;
    }
    // RTC: six EOLs after the last line, the first one byte-aligned.
    const std::vector<std::uint8_t> tail(s.Bytes.end() - 9, s.Bytes.end());
    EXPECT_EQ(tail, (std::vector<std::uint8_t>{0x01, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01, 0x00, 0x10}));
}

TEST(EncoderFraming, G4AllWhiteLineIsOneV0AndEofbFollows) {
    // Ten white lines against white references: ten V0 codes ("1"), then
    // EOFB, padded: 1111111111 000000000001 000000000001 00.
    const Lines rows(10, faxenc::WhiteLine(100));
    EXPECT_EQ(faxenc::EncodeG4(rows, 100, true),
              (std::vector<std::uint8_t>{0xFF, 0xC0, 0x04, 0x00, 0x40}));
    EXPECT_EQ(faxenc::EncodeG4(rows, 100, true, true),
              (std::vector<std::uint8_t>{0xFF, 0x03, 0x20, 0x00, 0x02}));
    EXPECT_EQ(faxenc::EncodeG4(rows, 100, false), (std::vector<std::uint8_t>{0xFF, 0xC0}));
}

}  // namespace
