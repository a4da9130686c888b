// The code tables judged from outside: libtiff encodes rows that use every
// white and black run length (so every terminating, make-up and extended
// make-up code), and the decoder, fed libtiff's raw strip directly, must
// give the rows back.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "fax/FaxDecoder.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;
using tvtest::Rows;

Bytes RawStrip(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) return {};
    Bytes raw(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
    const tmsize_t got = TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    TIFFClose(tif);
    raw.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return raw;
}

// Row with a white run of `white` pixels, then a black run of `black`, then
// white to the end.
Bytes RunsRow(std::uint32_t width, std::uint32_t white, std::uint32_t black) {
    Bytes row((width + 7) / 8, 0);
    for (std::uint32_t x = white; x < white + black && x < width; ++x) {
        row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
    return row;
}

// Decodes a whole strip the way the reader drives the decoder.
Rows DecodeStrip(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t width, std::size_t rows,
                 const Bytes& strip) {
    CFaxDecoder decoder(compression, fillOrder, static_cast<std::uint32_t>(rows));
    decoder.SetInvert(0);
    if (decoder.SetWidth(width) == 0) return {};
    decoder.Reset();
    Rows out;
    std::size_t pos = 0;
    Bytes line((width + 7) / 8);
    while (out.size() < rows) {
        std::uint32_t consumed = 0, produced = 0;
        if (decoder.Decode(strip.data() + pos, static_cast<std::uint32_t>(strip.size() - pos), consumed, 1,
                           produced) == 0) {
            break;
        }
        pos += consumed;
        decoder.GetLine(line.data());
        out.push_back(line);
    }
    return out;
}

struct LibtiffCase {
    const char* name;
    std::uint16_t compression;
    std::uint16_t fillOrder;
};

// Named, so that gtest does not print the struct's padding bytes.
void PrintTo(const LibtiffCase& c, std::ostream* os) { *os << c.name; }

class FaxTablesAgainstLibtiff : public ::testing::TestWithParam<LibtiffCase> {};

TEST_P(FaxTablesAgainstLibtiff, EveryRunLengthOfBothColours) {
    // Width 2700 needs the 2560 extended make-up code plus a further make-up
    // and terminating code; row k holds white k and black (width - k), so
    // every run length from 0 to the width occurs in both colours.
    const LibtiffCase& c = GetParam();
    const std::uint32_t width = 2700;
    Rows rows;
    for (std::uint32_t k = 0; k <= width; k += (k < 200 ? 1 : 7)) {
        rows.push_back(RunsRow(width, k, width - k));
        rows.push_back(RunsRow(width, width - k, k));
    }
    tvtest::TempDir dir;
    const std::string path = dir.File("runs.tif");
    tvtest::LibtiffOptions o;
    o.width = width;
    o.length = static_cast<std::uint32_t>(rows.size());
    o.compression = c.compression;
    o.fillOrder = c.fillOrder;
    tvtest::WriteWithLibtiffRaw(path, o, rows);
    const Bytes strip = RawStrip(path);
    ASSERT_FALSE(strip.empty());
    const Rows decoded = DecodeStrip(c.compression, c.fillOrder, width, rows.size(), strip);
    ASSERT_EQ(decoded.size(), rows.size());
    for (std::size_t y = 0; y < rows.size(); ++y) {
        ASSERT_EQ(decoded[y], rows[y]) << c.name << " row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxTablesAgainstLibtiff,
                         ::testing::Values(LibtiffCase{"G3", COMPRESSION_CCITTFAX3, FILLORDER_MSB2LSB},
                                           LibtiffCase{"G3_LsbFirst", COMPRESSION_CCITTFAX3, FILLORDER_LSB2MSB},
                                           LibtiffCase{"G4", COMPRESSION_CCITTFAX4, FILLORDER_MSB2LSB}),
                         [](const ::testing::TestParamInfo<LibtiffCase>& info) { return info.param.name; });

}  // namespace
