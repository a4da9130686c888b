// Line delivery for pages read with TV_OPTION_ANY_BILEVEL.
#include "reader/PageLines.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "TiffView.h"
#include "decoder/LzwDecoder.h"
#include "decoder/PackBitsDecoder.h"
#include "fax/FaxDecoder.h"
#include "fax/Group3Lines.h"
#include "platform/File.h"

namespace {

constexpr std::uint32_t kCompressionPackBits = 32773;
// File positions are signed 32-bit numbers in the format's tradition.
constexpr std::uint32_t kLargestPosition = 0x7FFFFFFFu;

bool IsFax(std::uint32_t compression) { return compression == 2 || compression == 3 || compression == 4; }
// Only the Group 4 decoder reads FillOrder 2 bytes itself; every other
// stream is handed over with its bits in reading order.
bool ReadsFillOrder(std::uint32_t compression) { return compression == 4; }

std::uint32_t RowBytes(std::uint32_t width) { return static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8); }

// Chunk failures of multi-chunk pages carry the chunk index, as strip
// failures do.
std::uint32_t WithChunk(std::uint32_t code, std::uint32_t chunk, std::uint32_t chunks) {
    return chunks > 1 ? code | ((chunk & 0xFFFFu) << 8) : code;
}

struct BitReversal {
    unsigned char table[256];
    constexpr BitReversal() : table() {
        for (unsigned v = 0; v < 256; ++v) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b) r |= ((v >> b) & 1u) << (7 - b);
            table[v] = static_cast<unsigned char>(r);
        }
    }
};
constexpr BitReversal kReversed;

// FillOrder 2 stores each byte's pixels least significant bit first.
// libtiff reverses the raw bytes of the codecs that do not read bits
// themselves (none, LZW, PackBits) before decoding; reversing the Group 3
// and modified Huffman strips here too lets their decoder read one order.
void ReverseBits(unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = kReversed.table[bytes[i]];
}

void Complement(unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(~bytes[i]);
}

// ORs `count` pixels from the start of `src` into `dest` at pixel `x`; the
// destination must have been cleared. For tile widths that are not whole
// bytes, which TIFF forbids and libtiff still reads.
void OrPixels(unsigned char* dest, std::uint32_t destBytes, std::uint32_t x, const unsigned char* src,
              std::uint32_t count) {
    const std::uint32_t shift = x % 8;
    const std::uint32_t first = x / 8;
    const std::uint32_t bytes = RowBytes(count);
    for (std::uint32_t k = 0; k < bytes; ++k) {
        unsigned b = src[k];
        if (k + 1 == bytes && count % 8 != 0) b &= 0xFFu << (8 - count % 8);
        if (first + k < destBytes) dest[first + k] = static_cast<unsigned char>(dest[first + k] | (b >> shift));
        if (shift != 0 && first + k + 1 < destBytes) {
            dest[first + k + 1] = static_cast<unsigned char>(dest[first + k + 1] | ((b << (8 - shift)) & 0xFFu));
        }
    }
}

// One chunk row of uncompressed pixels: row `row` of the chunk's bytes.
std::uint32_t CopyStoredRow(const unsigned char* input, std::uint32_t inputEnd, std::uint32_t row,
                                   std::uint32_t rowBytes, bool invert, unsigned char* dest) {
    const std::uint64_t start = std::uint64_t{row} * rowBytes;
    const std::uint32_t present =
        start < inputEnd ? static_cast<std::uint32_t>(std::min<std::uint64_t>(rowBytes, inputEnd - start)) : 0;
    if (present != 0) std::memcpy(dest, input + start, present);
    if (invert) Complement(dest, present);
    std::memset(dest + present, 0, rowBytes - present);
    return present == rowBytes ? TV_OK : TV_ERR_LINE_SHORT;
}

CTiffDecoder* NewDecoder(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t rows,
                         std::uint32_t t4Options) {
    // Group 3 and modified Huffman follow libtiff on irregular data, which
    // needs the whole strip at hand; the strip is, here.
    if (compression == 2 || compression == 3) return new CGroup3Lines(compression, (t4Options & 1u) != 0);
    if (compression == 4) {
        // libtiff warns about every row it is asked for after an early end
        // of block; so do these white rows. It reads a code cut off by the
        // end of the strip with 0 bits for the missing ones; so does this.
        auto* fax = new CFaxDecoder(compression, fillOrder, rows);
        fax->WarnAfterEndOfBlock();
        fax->ReadPastEndAsZeros();
        return fax;
    }
    if (compression == 5) return new CLzwDecoder();
    if (compression == kCompressionPackBits) return new CPackBitsDecoder();
    return nullptr;
}

}  // namespace

CPageLines::CPageLines() = default;
CPageLines::~CPageLines() = default;

std::uint32_t CPageLines::Open(std::int32_t file, const PageGeometry& geometry) {
    Geometry = geometry;
    File = file;
    FileSize = tvplatform::FileSize(file);
    ChunkRowBytes = RowBytes(geometry.chunkWidth);
    ChunkCount = static_cast<std::uint32_t>(geometry.offsets->size());
    // A chunk is never read past the end of the file, so no chunk needs
    // more input room than the file has.
    std::uint64_t largest = 1;
    for (std::uint32_t count : *geometry.byteCounts) largest = std::max<std::uint64_t>(largest, count);
    largest = std::min<std::uint64_t>(largest, std::max<std::uint64_t>(FileSize, 1));
    const bool tiled = geometry.chunkWidth != geometry.width || geometry.chunksAcross > 1;
    const std::uint64_t tileRowBytes =
        tiled ? std::uint64_t{ChunkRowBytes} * geometry.chunkRows * geometry.chunksAcross : 0;
    if (tileRowBytes > kMaxTileRowBytes) return TV_ERR_NO_MEMORY;
    // Chunks are read in place where the file can be viewed, unless their
    // bits must be reordered.
    const bool inPlace = View.Open(file, FileSize, geometry.mapFile) &&
                         !(geometry.fillOrder == 2 && !ReadsFillOrder(geometry.compression));
    try {
        // Only the bytes read from the file are ever looked at.
        if (!inPlace) Input.reset(new unsigned char[static_cast<std::size_t>(largest)]);
        TileRows.resize(static_cast<std::size_t>(tileRowBytes));
        Decoder.reset(NewDecoder(geometry.compression, geometry.fillOrder, geometry.chunkRows, geometry.t4Options));
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    if (Decoder) {
        Decoder->SetInvert(geometry.invert ? 1 : 0);
        if (Decoder->SetWidth(geometry.chunkWidth) == 0) return TV_ERR_NO_MEMORY;
    }
    ChunkRow = RowInChunk = RowsInChunk = 0;
    return TV_OK;
}

// Reads one chunk's stored bytes, as much of them as the file holds, and
// readies the decoder for a new stream.
std::uint32_t CPageLines::LoadChunk(std::uint32_t chunk) {
    const std::uint32_t offset = (*Geometry.offsets)[chunk];
    const std::uint32_t count = (*Geometry.byteCounts)[chunk];
    InputPos = InputEnd = 0;
    Chunk = Input ? Input.get() : View.Data();
    if (count != 0) {
        if (offset >= FileSize) return WithChunk(TV_ERR_STRIP_READ, chunk, ChunkCount);
        const auto bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, FileSize - offset));
        if (offset > kLargestPosition) return WithChunk(TV_ERR_STRIP_SEEK, chunk, ChunkCount);
        if (!Input) {
            Chunk = View.Data() + offset;
        } else {
            if (tvplatform::ReadAt(File, offset, Input.get(), bytes) < bytes) {
                return WithChunk(TV_ERR_STRIP_READ, chunk, ChunkCount);
            }
            if (Geometry.fillOrder == 2 && !ReadsFillOrder(Geometry.compression)) ReverseBits(Input.get(), bytes);
        }
        InputEnd = bytes;
    }
    if (Decoder) {
        // Output decoded past the previous chunk's rows belongs to no line.
        Decoder->Discard(Buffered);
        Buffered = 0;
        Decoder->Reset();
    }
    return TV_OK;
}

// One chunk row of decoded pixels into `dest` (ChunkRowBytes bytes).
std::uint32_t CPageLines::DecodeRow(unsigned char* dest) {
    while (Buffered < ChunkRowBytes) {
        const std::uint32_t available = InputEnd - InputPos;
        std::uint32_t consumed = 0;
        std::uint32_t produced = 0;
        if (Decoder->Decode(Chunk + InputPos, available, consumed, ChunkRowBytes - Buffered, produced) == 0 ||
            consumed > available) {
            return TV_ERR_DECODE;
        }
        InputPos += consumed;
        Buffered += produced;
        if (consumed == 0 && produced == 0) break;  // the chunk's data is used up
    }
    const std::uint32_t delivered = std::min(Decoder->GetLine(dest), ChunkRowBytes);
    std::memset(dest + delivered, 0, ChunkRowBytes - delivered);
    const bool complete = Buffered >= ChunkRowBytes && delivered == ChunkRowBytes;
    Buffered = Buffered > ChunkRowBytes ? Buffered - ChunkRowBytes : 0;
    if (!complete) return TV_ERR_STRIP_SHORT;
    // A fax line that was damaged or cut off is delivered as libtiff reads
    // it, with a warning.
    return Decoder->LineFault();
}

// Decodes the rows of every tile of the next row of tiles that the image
// uses; a line is flagged when any of its tiles came out short.
std::uint32_t CPageLines::FillTileRow() {
    const std::uint32_t across = Geometry.chunksAcross;
    std::uint32_t completeRows = RowsInChunk;
    TileRowFault = TV_OK;
    for (std::uint32_t c = 0; c < across; ++c) {
        const std::uint32_t result = LoadChunk(ChunkRow * across + c);
        if (result != TV_OK) return result;
        for (std::uint32_t row = 0; row < RowsInChunk; ++row) {
            unsigned char* dest = TileRows.data() + (std::size_t{row} * across + c) * ChunkRowBytes;
            const std::uint32_t rowResult =
                Decoder ? DecodeRow(dest)
                        : CopyStoredRow(Chunk, InputEnd, row, ChunkRowBytes, Geometry.invert, dest);
            if (rowResult == TV_ERR_DECODE) return rowResult;
            if (rowResult != TV_OK) {
                completeRows = std::min(completeRows, row);
                TileRowFault = rowResult;
            }
        }
    }
    TileRowFault = completeRows < RowsInChunk ? TileRowFault : TV_OK;
    FirstShortRow = completeRows;
    return TV_OK;
}

void CPageLines::CopyTileRows(unsigned char* line) const {
    const std::uint32_t across = Geometry.chunksAcross;
    const std::uint32_t lineBytes = RowBytes(Geometry.width);
    const bool wholeBytes = Geometry.chunkWidth % 8 == 0;
    if (!wholeBytes) std::memset(line, 0, lineBytes);
    for (std::uint32_t c = 0; c < across; ++c) {
        const unsigned char* src = TileRows.data() + (std::size_t{RowInChunk} * across + c) * ChunkRowBytes;
        const std::uint64_t x = std::uint64_t{c} * Geometry.chunkWidth;
        const auto pixels = static_cast<std::uint32_t>(std::min<std::uint64_t>(Geometry.chunkWidth, Geometry.width - x));
        if (wholeBytes) {
            std::memcpy(line + x / 8, src, RowBytes(pixels));
        } else {
            OrPixels(line, lineBytes, static_cast<std::uint32_t>(x), src, pixels);
        }
    }
}

std::uint32_t CPageLines::StartChunkRow() {
    const std::uint64_t first = std::uint64_t{ChunkRow} * Geometry.chunkRows;
    RowsInChunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(Geometry.chunkRows, Geometry.length - first));
    RowInChunk = 0;
    const bool tiled = !TileRows.empty();
    const std::uint32_t result = tiled ? FillTileRow() : LoadChunk(ChunkRow);
    ++ChunkRow;
    return result;
}

std::uint32_t CPageLines::ReadLine(unsigned char* line) {
    if (RowInChunk == RowsInChunk) {
        const std::uint32_t result = StartChunkRow();
        if (result != TV_OK) return result;
    }
    std::uint32_t result;
    if (!TileRows.empty()) {
        CopyTileRows(line);
        result = RowInChunk >= FirstShortRow ? TileRowFault : TV_OK;
    } else if (Decoder) {
        result = DecodeRow(line);
    } else {
        result = CopyStoredRow(Chunk, InputEnd, RowInChunk, ChunkRowBytes, Geometry.invert, line);
    }
    ++RowInChunk;
    if (result == TV_OK && RowInChunk == RowsInChunk && TileRows.empty() && StripHasSurplus()) {
        // The strip's own rows are delivered; what it holds beyond them is
        // dropped, and the line that ends it says so.
        result = TV_ERR_STRIP_LONG;
    }
    return result;
}

// Whether the strip just finished holds data past its rows: decoded bytes
// beyond them, input that still decodes to something, or stored bytes no
// row used. Fax strips end in control codes and fill, which are not data,
// so they are not judged here.
bool CPageLines::StripHasSurplus() {
    if (IsFax(Geometry.compression)) return false;
    if (!Decoder) return InputEnd > std::uint64_t{RowsInChunk} * ChunkRowBytes;
    if (Buffered > 0) return true;
    if (InputPos >= InputEnd) return false;
    std::uint32_t consumed = 0;
    std::uint32_t produced = 0;
    const int decoded = Decoder->Decode(Chunk + InputPos, InputEnd - InputPos, consumed, 1, produced);
    Buffered += produced;
    return decoded == 0 || produced > 0;
}
