// Line delivery for pages read with TV_OPTION_ANY_BILEVEL: strips or tiles,
// each chunk decoded on its own and yielding exactly its own rows, as
// libtiff reads them.
#ifndef TIFFVIEW_READER_PAGELINES_H
#define TIFFVIEW_READER_PAGELINES_H

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/File.h"

class CTiffDecoder;

// What a page's lines are made of. Strips are chunks one across, as wide as
// the image; tiles are chunksAcross wide, row of tiles by row of tiles.
struct PageGeometry {
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t compression = 1;
    std::uint32_t fillOrder = 1;
    std::uint32_t t4Options = 0;     // Group 3: bit 0, a tag bit after each EOL (two-dimensional coding)
    bool invert = false;             // complement samples so that 1 = black
    bool mapFile = false;            // read a file through a mapping (TV_OPTION_MAP_FILE)
    std::uint32_t chunkWidth = 0;    // pixels per chunk row
    std::uint32_t chunkRows = 0;     // rows per chunk (the last strip may hold fewer)
    std::uint32_t chunksAcross = 1;
    const std::vector<std::uint32_t>* offsets = nullptr;
    const std::vector<std::uint32_t>* byteCounts = nullptr;
};

// The most decoded memory one row of tiles may take; larger tiles are
// refused at opening (TV_ERR_NO_MEMORY) rather than risk the host's memory.
constexpr std::uint64_t kMaxTileRowBytes = 64u << 20;

class CPageLines {
public:
    CPageLines();
    ~CPageLines();
    CPageLines(const CPageLines&) = delete;
    CPageLines& operator=(const CPageLines&) = delete;

    // Sizes the buffers and creates the decoder; TV_OK or TV_ERR_NO_MEMORY.
    std::uint32_t Open(std::int32_t file, const PageGeometry& geometry);
    // Writes the next line, (width + 7) / 8 bytes. The last line of a strip
    // that holds data past its rows carries TV_ERR_STRIP_LONG (the surplus is
    // dropped; fax strips are not judged). A line padded with white
    // because its chunk's data ran out carries TV_ERR_STRIP_SHORT (decoded
    // data) or TV_ERR_LINE_SHORT (uncompressed data); a chunk that cannot be
    // reached or read gives TV_ERR_STRIP_SEEK / _READ with its index, and
    // undecodable data TV_ERR_DECODE, with no line delivered.
    std::uint32_t ReadLine(unsigned char* line);

private:
    std::uint32_t LoadChunk(std::uint32_t chunk);
    std::uint32_t StartChunkRow();
    std::uint32_t DecodeRow(unsigned char* dest);
    std::uint32_t FillTileRow();
    void CopyTileRows(unsigned char* line) const;
    bool StripHasSurplus();

    PageGeometry Geometry;
    std::int32_t File = -1;
    std::uint64_t FileSize = 0;
    std::unique_ptr<CTiffDecoder> Decoder;
    std::uint32_t ChunkRowBytes = 0;   // bytes of one chunk row
    std::uint32_t ChunkCount = 0;

    tvplatform::FileView View;               // the file in place, where it can be viewed
    std::unique_ptr<unsigned char[]> Input;  // room for a chunk read or reordered out of place
    const unsigned char* Chunk = nullptr;    // the chunk being decoded, as stored
    std::uint32_t InputEnd = 0;
    std::uint32_t InputPos = 0;
    std::uint32_t Buffered = 0;        // decoded bytes the decoder holds undelivered

    // Rows of tiles are decoded whole: row r of tile c at (r * across + c).
    std::vector<unsigned char> TileRows;
    std::uint32_t TileRowFault = 0;    // warning for the short lines of this row of tiles
    std::uint32_t FirstShortRow = 0;   // first line of the row of tiles some tile left short

    std::uint32_t ChunkRow = 0;        // next chunk row (strip, or row of tiles) to start
    std::uint32_t RowInChunk = 0;
    std::uint32_t RowsInChunk = 0;
};

#endif
