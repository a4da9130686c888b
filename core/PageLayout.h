// One page as the line engine reads it: its description and its strips or
// tiles, read from the page's own directory with TIFF's defaults for absent
// tags and every integer type the format allows, the way libtiff reads it.
#ifndef TIFFVIEW_CORE_PAGELAYOUT_H
#define TIFFVIEW_CORE_PAGELAYOUT_H

#include <cstdint>
#include <vector>

namespace tvcore {

class Document;

// One strip or tile as stored.
struct Chunk {
    std::uint64_t offset = 0;
    std::uint64_t byteCount = 0;
};

struct PageLayout {
    std::uint32_t pageIndex = 0;
    std::uint32_t pageCount = 0;
    bool littleEndian = true;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t compression = 1;
    std::uint16_t photometric = 0;
    // The page gives no readable PhotometricInterpretation: `photometric`
    // is assumed from the compression (AssumedPhotometric).
    bool photometricAssumed = false;
    bool invert = false;  // complement samples so that 1 = black
    std::uint16_t fillOrder = 1;
    std::uint16_t orientation = 1;
    std::uint16_t resolutionUnit = 2;
    std::uint16_t planarConfiguration = 1;
    std::uint16_t predictor = 1;
    std::uint32_t t4Options = 0;
    std::uint32_t t6Options = 0;
    // Fax rows whose codes start at byte boundaries: raw streams only
    // (RawFax.h).
    bool faxRowsAligned = false;
    double xResolution = 0.0;  // 0 when the page gives none
    double yResolution = 0.0;
    // Strips are chunks one across, as wide as the image; tiles are
    // chunksAcross wide, row of tiles by row of tiles.
    bool tiled = false;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileLength = 0;
    std::uint32_t rowsPerStrip = 0;  // strips: rows of each strip but the last
    std::uint32_t chunkWidth = 0;    // pixels per chunk row
    std::uint32_t chunkRows = 0;     // rows per chunk (the last strip may hold fewer)
    std::uint32_t chunksAcross = 1;
    std::vector<Chunk> chunks;

    std::uint32_t LineBytes() const { return static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8); }
};

// Reads page `index` of `document`; TV_OK, or the first check it fails.
std::uint32_t ReadPageLayout(const Document& document, std::uint32_t index, PageLayout& layout);

}  // namespace tvcore

#endif
