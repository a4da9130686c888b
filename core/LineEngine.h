// Lines of one page, for every interface: strips or tiles, each chunk
// decoded on its own and yielding exactly its own rows, as libtiff reads
// them. A line goes into the caller's buffer; a bulk read fills many rows
// of a caller's image at a stride.
#ifndef TIFFVIEW_CORE_LINEENGINE_H
#define TIFFVIEW_CORE_LINEENGINE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/ChunkReader.h"
#include "core/PageLayout.h"

class CTiffDecoder;

namespace tvcore {

class Source;

// The most decoded memory one row of tiles may take; larger tiles are
// refused at opening (TV_ERR_NO_MEMORY) rather than risk the host's memory.
constexpr std::uint64_t kMaxTileRowBytes = 64u << 20;

// Lines delivered with a warning, as ranges of consecutive lines that carry
// the same code.
struct Damage {
    std::uint32_t firstLine;
    std::uint32_t lineCount;
    std::uint32_t code;
};

// Adds line `line`, delivered with warning `code`, to `list`: the last range
// grows when the line continues it with the same code.
void AddDamage(std::vector<Damage>& list, std::uint32_t line, std::uint32_t code);

class LineEngine {
public:
    LineEngine();
    ~LineEngine();
    LineEngine(const LineEngine&) = delete;
    LineEngine& operator=(const LineEngine&) = delete;

    // Reads `layout`'s lines from `source` (both must outlive the engine),
    // through a mapping of a file when `map` is set.
    std::uint32_t Open(Source& source, const PageLayout& layout, bool map);

    // Writes the next line (layout.LineBytes() bytes) into `line`. TV_OK for
    // a line wholly as coded. Warnings come with the line delivered:
    // TV_ERR_STRIP_LONG on the last line of a strip that holds data past
    // its rows (the surplus is dropped; fax strips are not judged), a line
    // padded with white because its chunk's data ran out (or lies past the
    // source's end) carries TV_ERR_STRIP_SHORT (decoded data) or
    // TV_ERR_LINE_SHORT (uncompressed data), a damaged fax line, and every
    // row of a chunk from where its data could no longer be decoded,
    // TV_ERR_LINE_DAMAGED. Errors deliver no line: a chunk the source fails
    // to deliver gives TV_ERR_STRIP_READ with its index, and every later
    // call says the same. TV_ERR_END_OF_IMAGE once every line is read.
    std::uint32_t ReadLine(unsigned char* line);
    // Reads up to `count` lines, line i at dest + i * stride, recording the
    // lines delivered with a warning in `damage` (when given). Stops at the
    // first error, which it returns; `delivered` tells how many lines came.
    std::uint32_t ReadLines(unsigned char* dest, std::ptrdiff_t stride, std::uint32_t count,
                            std::uint32_t& delivered, std::vector<Damage>* damage);

    // Index of the line ReadLine delivers next.
    std::uint32_t LineIndex() const { return line_; }

private:
    std::uint32_t ReadLineUnchecked(unsigned char* line);
    std::uint32_t LoadChunk(std::uint32_t chunk);
    bool RewriteOldStyleLzw(std::uint32_t bytes);
    std::uint32_t StartChunkRow();
    std::uint32_t DecodeRow(unsigned char* dest);
    std::uint32_t WantedBytes() const;
    std::uint32_t BreakChunk(unsigned char* dest);
    void ReadChunkAgainByRows(unsigned char* dest);
    bool TakeSolidRows();
    std::uint32_t SolidRow(unsigned char* dest);
    std::uint32_t WhiteRow(unsigned char* dest) const;
    std::uint32_t FillTileRow();
    void CopyTileRows(unsigned char* line) const;
    bool StripHasSurplus();
    bool CopyStoredRows(unsigned char* dest, std::ptrdiff_t stride, std::uint32_t rows);
    bool ReadStoredStrips(unsigned char* dest, std::ptrdiff_t stride, std::uint32_t rows);

    const PageLayout* layout_ = nullptr;
    Source* source_ = nullptr;
    std::uint64_t sourceSize_ = 0;
    ChunkReader reader_;
    std::unique_ptr<CTiffDecoder> decoder_;
    bool reverseBits_ = false;                 // FillOrder 2: bytes reversed before decoding
    std::unique_ptr<unsigned char[]> reversed_;  // room for such a chunk, its bits reordered
    // Old-style LZW chunks rewritten as TIFF 6.0 codes (decoder/LzwOldStyle.h);
    // made when the first such chunk comes.
    std::unique_ptr<unsigned char[]> rewritten_;
    std::uint64_t rewrittenRoom_ = 0;
    std::uint32_t lineBytes_ = 0;
    std::uint32_t chunkRowBytes_ = 0;          // bytes of one chunk row
    std::uint32_t chunkCount_ = 0;

    const unsigned char* chunk_ = nullptr;     // the chunk being decoded, as stored
    std::uint32_t inputEnd_ = 0;
    std::uint32_t inputPos_ = 0;
    std::uint32_t buffered_ = 0;               // decoded bytes the decoder holds undelivered
    bool brokenChunk_ = false;                 // the decoder gave up on this chunk's data
    std::uint32_t rowsPerCall_ = 1;            // rows the decoder is best asked for a call
    std::uint32_t askRows_ = 1;                // ... in this chunk (1 once it is read again by rows)

    // Rows of tiles are decoded whole: row r of tile c at (r * across + c).
    std::vector<unsigned char> tileRows_;
    std::uint32_t tileRowFault_ = 0;           // warning for the short lines of this row of tiles
    std::uint32_t firstShortRow_ = 0;          // first line of the row of tiles some tile left short

    std::uint32_t chunkRow_ = 0;               // next chunk row (strip, or row of tiles) to start
    std::uint32_t rowInChunk_ = 0;
    std::uint32_t rowsInChunk_ = 0;
    // Rows of the current uncompressed strip below this one lie wholly in
    // its stored bytes and are not its last (whose surplus is judged): they
    // are copied out without further checks. 0 for every other chunk.
    std::uint32_t plainRows_ = 0;
    bool decodedStrips_ = false;  // compressed strips (not tiles): their rows but the last take a short path
    // Rows of the current strip, before its last, that the decoder has
    // found to be of one colour and already read (a fax page's blank
    // lines): they are written without decoding, each byte solidByte_ (0 or
    // FF, padding bits 0).
    bool seeksSolidRows_ = false;
    std::uint32_t solidRows_ = 0;
    unsigned char solidByte_ = 0;
    unsigned char solidLastByte_ = 0;  // ... and their last byte
    bool lineFaults_ = false;     // the decoder may deliver a damaged line (LineFault)
    bool invert_ = false;
    std::uint32_t line_ = 0;
    std::uint32_t fault_ = 0;                  // the error that stopped reading, returned again
};

}  // namespace tvcore

#endif
