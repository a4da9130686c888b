// Images written and read by libtiff, the independent reference, and
// synthetic page content to feed it.
#ifndef TIFFVIEW_TESTS_LIBTIFFIMAGE_H
#define TIFFVIEW_TESTS_LIBTIFFIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "support/TiffBuilder.h"

namespace tvtest {

// Packed rows, (width + 7) / 8 bytes each, first pixel in bit 7, 1 = black.
using Rows = std::vector<Bytes>;

struct LibtiffOptions {
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t rowsPerStrip = 0;  // 0: one strip for the whole image
    std::uint16_t compression = 1;   // COMPRESSION_NONE, _CCITTFAX3, _CCITTFAX4, _LZW
    std::uint16_t photometric = 0;   // 0 MinIsWhite, 1 MinIsBlack
    std::uint16_t fillOrder = 1;
    bool bigEndian = false;
    // Group 3 options tag; 4 (fill bits, EOLs byte-aligned, 1D) by default.
    std::uint32_t group3Options = 4;
    bool resolution = true;          // write XResolution/YResolution
};

// Writes `rows` (1 = black) with libtiff, storing the pixels as the
// photometric value asks, then widens SHORT strip tables to LONG so that
// our reader accepts the file. Throws std::runtime_error on failure.
void WriteWithLibtiff(const std::string& path, const LibtiffOptions& options, const Rows& rows);

// Same, without widening the strip tables.
void WriteWithLibtiffRaw(const std::string& path, const LibtiffOptions& options, const Rows& rows);

// The stored bytes of every strip of the first image, as libtiff finds them.
std::vector<Bytes> RawStrips(const std::string& path);

// Rewrites every SHORT StripOffsets/StripByteCounts entry of every
// directory as LONG (appending the new arrays at the end of the file).
// Returns the number of entries rewritten.
int WidenStripTables(const std::string& path);

// libtiff's reading of the first image, as rows with 1 = black whatever the
// photometric value. Throws when libtiff cannot read it.
Rows ReadWithLibtiff(const std::string& path, std::uint32_t* width = nullptr);

// libtiff's reading of one page (directory `page` of the main chain), strips
// through TIFFReadScanline and tiles through TIFFReadTile, as rows with
// 1 = black (on a palette page, the darker of its two colours). `clean` is false when libtiff reported any error while opening
// or decoding the page (it reads on past errors, as its tools do); `opened`
// is false when it could not even select the page.
// `rowRead[y]` tells whether libtiff read row y without an error (the
// whole strip or tile holding it, where it reads them whole). With
// `wholeStrips`, strips are read as libtiff's strip reading reads them
// (TIFFReadEncodedStrip: one stream per strip, the only way it reads JBIG).
struct LibtiffPage {
    bool opened = false;
    bool clean = false;
    std::uint32_t pages = 0;  // TIFFNumberOfDirectories
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    Rows rows;
    std::vector<bool> rowRead;
};
LibtiffPage ReadPageWithLibtiff(const std::string& path, std::uint32_t page, bool wholeStrips = false);

// Our reading of the file through CTiffView; stops at the first failure.
struct OurReading {
    std::uint32_t openResult = 0;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    Rows rows;
    std::vector<std::uint32_t> lineResults;
};
OurReading ReadWithTiffView(const std::string& path);

// Index of the first row that differs (rows.size() of the shorter when one
// is a prefix of the other), or -1 when identical.
long FirstDifference(const Rows& a, const Rows& b);

// Synthetic content, all deterministic for a given seed.
Rows BlankPage(std::uint32_t width, std::uint32_t length, bool black);
Rows NoisePage(std::uint32_t width, std::uint32_t length, std::uint32_t seed, double density = 0.5);
Rows CheckerPage(std::uint32_t width, std::uint32_t length, std::uint32_t cell);
// Text-like glyph clusters in lines, rules, boxes and a halftone patch.
Rows DocumentPage(std::uint32_t width, std::uint32_t length, std::uint32_t seed);

// Clears the padding bits after the last pixel of each row.
void ClearPadding(Rows& rows, std::uint32_t width);

// Writes `rows` (1 = black, as PBM has it) as a binary P4 PBM, the input
// other writers' test conversions start from; throws when it cannot.
void WritePbm(const std::string& path, std::uint32_t width, const Rows& rows);

}  // namespace tvtest

#endif
