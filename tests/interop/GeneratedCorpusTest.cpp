// A generated corpus written by libtiff, the independent encoder, and read
// back through CTiffView.
//
// Every encoding the library claims (none, Group 3 one-dimensional with
// byte-aligned EOLs, Group 4, LZW) is written in a seeded covering subset of
// fill orders, byte orders, photometric values, strip layouts, widths,
// lengths and contents; each file must decode pixel for pixel to libtiff's
// own reading of it. Files in encodings the library does not claim must be
// refused with a result code or fail cleanly. The run prints a summary per
// encoding; a failure prints the case's seed and its first differing line.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "TiffView.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Rows;

constexpr std::uint32_t kCorpusSeed = 20261207;

enum class Content { Document, Noise, Checker, Black, White };

const char* ContentName(Content c) {
    switch (c) {
    case Content::Document: return "document";
    case Content::Noise: return "noise";
    case Content::Checker: return "checker";
    case Content::Black: return "black";
    case Content::White: return "white";
    }
    return "?";
}

const char* EncodingName(std::uint16_t compression) {
    switch (compression) {
    case COMPRESSION_NONE: return "none";
    case COMPRESSION_CCITTFAX3: return "G3-1D";
    case COMPRESSION_CCITTFAX4: return "G4";
    case COMPRESSION_LZW: return "LZW";
    }
    return "?";
}

struct Case {
    std::uint32_t seed;
    tvtest::LibtiffOptions options;
    Content content;
};

std::string Describe(const Case& c) {
    const auto& o = c.options;
    char text[256];
    std::snprintf(text, sizeof text, "seed %u: %s %ux%u rows/strip %u fill %u %s photometric %u %s", c.seed,
                  EncodingName(o.compression), o.width, o.length, o.rowsPerStrip, o.fillOrder,
                  o.bigEndian ? "MM" : "II", o.photometric, ContentName(c.content));
    return text;
}

Rows MakeContent(const Case& c) {
    const auto& o = c.options;
    switch (c.content) {
    case Content::Document: return tvtest::DocumentPage(o.width, o.length, c.seed);
    case Content::Noise: return tvtest::NoisePage(o.width, o.length, c.seed, 0.1 + (c.seed % 8) / 10.0);
    case Content::Checker: return tvtest::CheckerPage(o.width, o.length, 1 + c.seed % 9);
    case Content::Black: return tvtest::BlankPage(o.width, o.length, true);
    case Content::White: return tvtest::BlankPage(o.width, o.length, false);
    }
    return {};
}

// Widths at and around byte boundaries, small ones, fax and A4 page widths
// and the widest the corpus goes.
const std::vector<std::uint32_t> kWidths = {1,  2,   3,   4,   5,   6,   7,   8,    9,    10,   11,   12,  13,
                                            14, 15,  16,  17,  31,  32,  33,  63,   64,   65,   127,  128, 129,
                                            255, 256, 257, 1727, 1728, 1729, 2480, 4095, 4097, 8191, 10000};
const std::vector<std::uint32_t> kLengths = {1, 2, 3, 7, 8, 9, 63, 64, 65, 100, 333, 1000, 2200, 5000};

// Strip layouts: 1, 7 and 64 rows, one that does not divide the length, and
// one strip (0).
std::uint32_t RowsPerStripFor(std::uint32_t choice, std::uint32_t length) {
    switch (choice) {
    case 0: return 1;
    case 1: return 7;
    case 2: return 64;
    case 3: return length > 2 ? length / 2 + 1 : 2;  // never divides a length above 2
    default: return 0;
    }
}

// The covering subset: every combination of encoding, fill order, byte order
// and photometric value (32), each several times with seeded widths, lengths,
// strip layouts and contents, walking the width and length lists so that
// every listed value occurs; the decoded area is kept modest. LZW pairs
// with FillOrder 1 only, so its byte order and photometric combinations
// occur twice as often.
std::vector<Case> CoveringCases() {
    std::vector<Case> cases;
    std::mt19937 rng(kCorpusSeed);
    const std::uint16_t encodings[] = {COMPRESSION_NONE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4,
                                       COMPRESSION_LZW};
    std::size_t walk = 0;
    for (int round = 0; round < 24; ++round) {
        for (std::uint16_t compression : encodings) {
            for (int combo = 0; combo < 8; ++combo) {
                Case c;
                c.seed = static_cast<std::uint32_t>(rng());
                auto& o = c.options;
                o.compression = compression;
                // libtiff stores an LZW code stream bit-reversed under
                // FillOrder 2, while the reader takes LZW codes most
                // significant bit first whatever the FillOrder: that pair is
                // outside the claim (see the unclaimed test).
                o.fillOrder = (combo & 1) && compression != COMPRESSION_LZW ? 2 : 1;
                o.bigEndian = (combo & 2) != 0;
                o.photometric = (combo & 4) ? 1 : 0;
                o.width = kWidths[(walk * 7 + round) % kWidths.size()];
                o.length = kLengths[(walk * 9) % kLengths.size()];
                ++walk;
                // Wide images stay short and long images narrow.
                while (std::uint64_t{o.width} * o.length > 3'000'000) o.length /= 2;
                o.rowsPerStrip = RowsPerStripFor(rng() % 5, o.length);
                c.content = static_cast<Content>(rng() % 5);
                cases.push_back(c);
            }
        }
    }
    // Whole fax and A4 pages of document content in every encoding.
    const std::uint32_t pages[][2] = {{1728, 2200}, {2480, 3508}};
    for (std::uint16_t compression : encodings) {
        for (int p = 0; p < 2; ++p) {
            Case c;
            c.seed = static_cast<std::uint32_t>(rng());
            auto& o = c.options;
            o.compression = compression;
            o.width = pages[p][0];
            o.length = pages[p][1];
            o.fillOrder = p == 1 && compression != COMPRESSION_LZW ? 2 : 1;
            o.bigEndian = p == 1;
            o.photometric = 0;
            o.rowsPerStrip = p == 0 ? 0 : 64;
            c.content = Content::Document;
            cases.push_back(c);
        }
    }
    return cases;
}

std::uint8_t Reversed(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// The lines CTiffView must deliver. The reader applies FillOrder to fax codes
// only and delivers uncompressed and LZW bytes as stored, while libtiff
// stores FillOrder 2 pixels bit-reversed in each byte and reverses them again
// on reading: for those files the expected line is each written byte with
// its bits reversed (padding included, as libtiff stores it).
Rows Expected(const Case& c, const Rows& written) {
    const auto& o = c.options;
    if (o.fillOrder != 2 || o.compression == COMPRESSION_CCITTFAX3 || o.compression == COMPRESSION_CCITTFAX4) {
        return written;
    }
    Rows stored = written;
    for (auto& row : stored) {
        for (auto& b : row) b = Reversed(b);
    }
    tvtest::ClearPadding(stored, o.width);
    return stored;
}

struct Tally {
    int files = 0;
    int identical = 0;
};

class GeneratedCorpus : public ::testing::Test {
protected:
    static std::map<std::string, Tally>& Summary() {
        static std::map<std::string, Tally> summary;
        return summary;
    }
    static int& Unreadable() {
        static int unreadable = 0;
        return unreadable;
    }
    static int& Refused() {
        static int refused = 0;
        return refused;
    }
    static void TearDownTestSuite() {
        std::printf("generated corpus summary:\n");
        int files = 0, identical = 0;
        for (const auto& [encoding, tally] : Summary()) {
            std::printf("  %-6s files %4d  identical %4d\n", encoding.c_str(), tally.files, tally.identical);
            files += tally.files;
            identical += tally.identical;
        }
        std::printf("  claimed encodings: %d files, %d identical (%d judged against the written lines, which libtiff "
                    "could not read back); unclaimed: %d files, all refused or failed cleanly\n",
                    files, identical, Unreadable(), Refused());
    }
    tvtest::TempDir dir;
};

TEST_F(GeneratedCorpus, CoveringSubsetHoldsEveryListedWidthLengthAndLayout) {
    std::map<std::uint32_t, int> widths, lengths;
    std::map<std::string, int> layouts;
    for (const Case& c : CoveringCases()) {
        const auto& o = c.options;
        ++widths[o.width];
        ++lengths[o.length];
        const std::uint32_t rps = o.rowsPerStrip;
        if (rps == 0 || rps >= o.length) {
            ++layouts["one strip"];
        } else if (rps == 1 || rps == 7 || rps == 64) {
            ++layouts[std::to_string(rps)];
        } else if (o.length % rps != 0) {
            ++layouts["not dividing"];
        }
    }
    for (std::uint32_t w : kWidths) EXPECT_GT(widths[w], 0) << "width " << w;
    // The longest lengths are halved for the widest images.
    for (std::uint32_t l : kLengths) EXPECT_GT(lengths[l] + lengths[l / 2] + lengths[l / 4], 0) << "length " << l;
    for (const char* layout : {"one strip", "1", "7", "64", "not dividing"}) {
        EXPECT_GT(layouts[layout], 0) << "rows per strip " << layout;
    }
}

TEST_F(GeneratedCorpus, ClaimedEncodingsDecodeAsLibtiffReadsThem) {
    const std::vector<Case> cases = CoveringCases();
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c));
        const std::string path = dir.File("case" + std::to_string(index++) + ".tif");
        const Rows written = MakeContent(c);
        tvtest::WriteWithLibtiff(path, c.options, written);
        Rows truth;
        try {
            truth = tvtest::ReadWithLibtiff(path);
            // libtiff must give back what it was given, or it is no judge.
            ASSERT_EQ(tvtest::FirstDifference(truth, written), -1) << "libtiff round trip, " << Describe(c);
        } catch (const std::runtime_error&) {
            // libtiff 4.5 cannot read back some Group 3 lines with a change
            // at every pixel ("buffer overflow" in its one-dimensional
            // decoder); the lines it was given are then the truth.
            truth = written;
            ++Unreadable();
        }

        const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
        Tally& tally = Summary()[EncodingName(c.options.compression)];
        ++tally.files;
        ASSERT_EQ(ours.openResult, TV_OK) << Describe(c);
        ASSERT_EQ(ours.lineResults.size(), c.options.length) << Describe(c);
        for (std::size_t y = 0; y < ours.lineResults.size(); ++y) {
            ASSERT_EQ(ours.lineResults[y], TV_OK) << "line " << y << ", " << Describe(c);
        }
        const long diff = tvtest::FirstDifference(Expected(c, truth), ours.rows);
        ASSERT_EQ(diff, -1) << "first differing line " << diff << ", " << Describe(c);
        ++tally.identical;
    }
}

// Encodings outside the library's claim, all written by libtiff: they must
// be refused at opening with the code the reader rules give (Group 3
// two-dimensional: tag 292), or, where the tags cannot tell (Group 3 without
// aligned EOLs, which is Compression 3 like the claimed coding), read
// without a crash, every call returning a code the reader may return.
constexpr std::uint32_t kT4Refused = TV_ERR_TAG_VALUE | (Tag_T4Options << 8);

struct Unclaimed {
    const char* name;
    std::uint16_t compression;
    std::uint32_t group3Options;
    std::uint32_t expectedOpen;  // TV_OK: accepted, read to the end or to a clean failure
};

void WriteTiledOrGrey(const std::string& path, bool tiled, std::uint32_t width, std::uint32_t length,
                      const Rows& rows) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, length);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 200.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 200.0f);
    if (tiled) {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tif)), 0);
        for (std::uint32_t ty = 0; ty < length; ty += 16) {
            for (std::uint32_t tx = 0; tx < width; tx += 16) {
                for (std::uint32_t y = 0; y < 16; ++y) {
                    for (std::uint32_t b = 0; b < 2; ++b) {
                        const std::uint32_t row = ty + y, byte = tx / 8 + b;
                        tile[y * 2 + b] = row < length && byte < rows[0].size() ? rows[row][byte] : 0;
                    }
                }
                ASSERT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0), 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, length);
        std::vector<std::uint8_t> line(width);
        for (std::uint32_t y = 0; y < length; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) line[x] = static_cast<std::uint8_t>(x * 7 + y);
            ASSERT_GE(TIFFWriteScanline(tif, line.data(), y, 0), 0);
        }
    }
    TIFFClose(tif);
}

bool DeliveredOrCleanFailure(std::uint32_t code) {
    const std::uint32_t kind = code & TV_CODE_MASK;
    return code == TV_OK || TiffView_IsWarning(code) || code == TV_ERR_DECODE || kind == TV_ERR_STRIP_SEEK || kind == TV_ERR_STRIP_READ;
}

TEST_F(GeneratedCorpus, UnclaimedEncodingsAreRefusedOrFailCleanly) {
    const std::uint32_t width = 200, length = 60;
    const Rows rows = tvtest::DocumentPage(width, length, kCorpusSeed);
    const Unclaimed fax[] = {
        {"G3 two-dimensional", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, kT4Refused},
        {"G3 two-dimensional, EOLs not aligned", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, kT4Refused},
        {"G3 one-dimensional, EOLs not aligned", COMPRESSION_CCITTFAX3, 0, TV_OK},
        {"CCITT modified Huffman (Compression 2)", COMPRESSION_CCITTRLE, 0, TV_ERR_COMPRESSION},
        {"LZW under FillOrder 2 (code stream stored bit-reversed)", COMPRESSION_LZW, 0, TV_OK},
    };
    for (const Unclaimed& u : fax) {
        SCOPED_TRACE(u.name);
        const std::string path = dir.File("unclaimed.tif");
        tvtest::LibtiffOptions o;
        o.width = width;
        o.length = length;
        o.rowsPerStrip = 16;
        o.compression = u.compression;
        o.group3Options = u.group3Options;
        o.fillOrder = u.compression == COMPRESSION_LZW ? 2 : 1;
        try {
            tvtest::WriteWithLibtiff(path, o, rows);
        } catch (const std::exception&) {
            // libtiff cannot write Compression 2; the header alone decides.
            tvtest::BilevelLayout layout;
            layout.width = width;
            layout.length = length;
            layout.compression = u.compression;
            layout.strips = {tvtest::Bytes(40, 0x5A)};
            tvtest::WriteFileBytes(path, tvtest::MakeBilevel(layout).Build());
        }
        const tvtest::OurReading ours = tvtest::ReadWithTiffView(path);
        ++Refused();
        EXPECT_EQ(ours.openResult, u.expectedOpen);
        for (std::uint32_t code : ours.lineResults) EXPECT_TRUE(DeliveredOrCleanFailure(code)) << std::hex << code;
    }
    {
        SCOPED_TRACE("tiled 1-bit");
        const std::string path = dir.File("tiled.tif");
        WriteTiledOrGrey(path, true, width, length, rows);
        ++Refused();
        // Tiles have no RowsPerStrip, the first strip tag the reader asks for.
        EXPECT_EQ(tvtest::ReadWithTiffView(path).openResult, TV_ERR_TAG_MISSING | Tag_RowsPerStrip << 8);
    }
    {
        SCOPED_TRACE("8-bit grey");
        const std::string path = dir.File("grey.tif");
        WriteTiledOrGrey(path, false, width, length, rows);
        tvtest::WidenStripTables(path);
        ++Refused();
        EXPECT_EQ(tvtest::ReadWithTiffView(path).openResult, TV_ERR_BITS_PER_SAMPLE);
    }
}

}  // namespace
