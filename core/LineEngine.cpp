#include "core/LineEngine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "TiffViewCodes.h"
#include "core/Decoders.h"
#include "core/Source.h"
#include "decoder/BitOrder.h"
#include "decoder/CopyBlocks.h"
#include "decoder/FillBytes.h"
#include "decoder/LzwOldStyle.h"
#include "decoder/TiffDecoder.h"

namespace tvcore {

namespace {

bool IsFax(std::uint32_t compression) { return compression == 2 || compression == 3 || compression == 4; }

// Codings whose decoder may deliver a whole line that is not as coded
// (LineFault): fax lines, and a Deflate chunk's last row under a wrong
// checksum.
bool MayDamageLines(std::uint32_t compression) {
    return IsFax(compression) || compression == 8 || compression == 32946;
}

std::uint32_t RowBytes(std::uint32_t width) { return static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8); }

// Chunk failures of multi-chunk pages carry the chunk index, as strip
// failures do.
std::uint32_t WithChunk(std::uint32_t code, std::uint32_t chunk, std::uint32_t chunks) {
    return chunks > 1 ? code | ((chunk & 0xFFFFu) << 8) : code;
}

bool StopsReading(std::uint32_t code) {
    const std::uint32_t kind = code & TV_CODE_MASK;
    return kind == TV_ERR_STRIP_SEEK || kind == TV_ERR_STRIP_READ;
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
    if (present != 0) CopyRowBytes(dest, input + start, present, invert);
    std::memset(dest + present, 0, rowBytes - present);
    return present == rowBytes ? TV_OK : TV_ERR_LINE_SHORT;
}

// What an empty chunk reads as.
constexpr unsigned char kNoBytes[1] = {0};

}  // namespace

void AddDamage(std::vector<Damage>& list, std::uint32_t line, std::uint32_t code) {
    if (!list.empty()) {
        Damage& last = list.back();
        if (last.code == code && last.firstLine + last.lineCount == line) {
            ++last.lineCount;
            return;
        }
    }
    list.push_back(Damage{line, 1, code});
}

LineEngine::LineEngine() = default;
LineEngine::~LineEngine() = default;

std::uint32_t LineEngine::Open(Source& source, const PageLayout& layout, bool map) {
    layout_ = &layout;
    source_ = &source;
    sourceSize_ = source.Size();
    lineBytes_ = layout.LineBytes();
    chunkRowBytes_ = RowBytes(layout.chunkWidth);
    chunkCount_ = static_cast<std::uint32_t>(layout.chunks.size());
    chunkRow_ = rowInChunk_ = rowsInChunk_ = plainRows_ = line_ = solidRows_ = 0;
    invert_ = layout.invert;
    fault_ = TV_OK;
    buffered_ = 0;
    // A chunk is never read past the end of the source, so no chunk needs
    // more room than the source has.
    std::uint64_t largest = 1;
    for (const Chunk& chunk : layout.chunks) largest = std::max(largest, chunk.byteCount);
    largest = std::min<std::uint64_t>({largest, std::max<std::uint64_t>(sourceSize_, 1), UINT32_MAX});
    const bool tiled = layout.chunkWidth != layout.width || layout.chunksAcross > 1;
    const std::uint64_t tileRowBytes =
        tiled ? std::uint64_t{chunkRowBytes_} * layout.chunkRows * layout.chunksAcross : 0;
    if (tileRowBytes > kMaxTileRowBytes) return TV_ERR_NO_MEMORY;
    reverseBits_ = layout.fillOrder == 2 && !ReadsFillOrderItself(layout.compression);
    if (!reader_.Open(source, largest, map)) return TV_ERR_NO_MEMORY;
    try {
        // Only the bytes read from the source are ever looked at.
        if (reverseBits_) reversed_.reset(new unsigned char[static_cast<std::size_t>(largest)]);
        tileRows_.assign(static_cast<std::size_t>(tileRowBytes), 0);
        Coding coding;
        coding.compression = layout.compression;
        coding.fillOrder = layout.fillOrder;
        coding.rowsPerStrip = layout.chunkRows;
        coding.t4Options = layout.t4Options;
        coding.t6Options = layout.t6Options;
        coding.invert = layout.invert;
        coding.faxRowsAligned = layout.faxRowsAligned;
        decoder_ = MakeDecoder(coding, DecoderPolicy::lenient);
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    if (decoder_ && decoder_->SetWidth(layout.chunkWidth) == 0) return TV_ERR_NO_MEMORY;
    decodedStrips_ = decoder_ && tileRows_.empty();
    // A tile's rows are asked for one at a time.
    rowsPerCall_ = decodedStrips_ ? decoder_->RowsPerCall() : 1;
    askRows_ = rowsPerCall_;
    seeksSolidRows_ = decodedStrips_ && (IsFax(layout.compression) || layout.compression == 32773);
    lineFaults_ = MayDamageLines(layout.compression);
    return TV_OK;
}

// Reads one chunk's stored bytes, as much of them as the source holds, and
// readies the decoder for a new stream.
std::uint32_t LineEngine::LoadChunk(std::uint32_t index) {
    const Chunk& chunk = layout_->chunks[index];
    inputPos_ = inputEnd_ = 0;
    solidRows_ = 0;
    chunk_ = kNoBytes;
    // A chunk that lies wholly past the end of the source holds no data, as
    // one cut short holds less: its rows come white, with a warning.
    if (chunk.byteCount != 0 && chunk.offset < sourceSize_) {
        const auto bytes =
            static_cast<std::uint32_t>(std::min<std::uint64_t>({chunk.byteCount, sourceSize_ - chunk.offset, UINT32_MAX}));
        std::uint32_t got = 0;
        const unsigned char* stored = reader_.Fetch(chunk.offset, bytes, got);
        if (stored == nullptr || got < bytes) return WithChunk(TV_ERR_STRIP_READ, index, chunkCount_);
        chunk_ = stored;
        if (reverseBits_) {
            std::memcpy(reversed_.get(), stored, bytes);
            tvbits::ReverseBits(reversed_.get(), bytes);
            chunk_ = reversed_.get();
        }
        inputEnd_ = bytes;
        if (layout_->compression == 5 && tvlzw::IsOldStyle(chunk_, bytes) && !RewriteOldStyleLzw(bytes)) {
            return TV_ERR_NO_MEMORY;
        }
    }
    brokenChunk_ = false;
    askRows_ = rowsPerCall_;
    if (decoder_) {
        // Output decoded past the previous chunk's rows belongs to no line.
        decoder_->Discard(buffered_);
        buffered_ = 0;
        decoder_->Reset();
    }
    return TV_OK;
}

// libtiff reads old-style LZW chunks too; the codes are rewritten as TIFF
// 6.0 ones for the one LZW decoder.
bool LineEngine::RewriteOldStyleLzw(std::uint32_t bytes) {
    const std::uint64_t room = tvlzw::RewrittenSize(bytes);
    if (room > rewrittenRoom_) {
        try {
            rewritten_.reset(new unsigned char[static_cast<std::size_t>(room)]);
        } catch (const std::bad_alloc&) {
            rewrittenRoom_ = 0;
            return false;
        }
        rewrittenRoom_ = room;
    }
    inputEnd_ = tvlzw::RewriteOldStyle(chunk_, bytes, rewritten_.get());
    chunk_ = rewritten_.get();
    return true;
}

// One chunk row of decoded pixels into `dest` (chunkRowBytes_ bytes).
std::uint32_t LineEngine::DecodeRow(unsigned char* dest) {
    if (brokenChunk_) return WhiteRow(dest);
    decoder_->DecodeRowInto(dest);
    while (buffered_ < chunkRowBytes_) {
        const std::uint32_t available = inputEnd_ - inputPos_;
        const std::uint32_t wanted = askRows_ > 1 ? WantedBytes() : chunkRowBytes_ - buffered_;
        const bool pastThisRow = wanted > chunkRowBytes_ - buffered_;
        std::uint32_t consumed = 0;
        std::uint32_t produced = 0;
        const int decoded = decoder_->Decode(chunk_ + inputPos_, available, consumed, wanted, produced);
        // What a call produced is held by the decoder, even when the call
        // failed, and is dropped with the rest when the chunk breaks.
        buffered_ += produced;
        if (decoded == 0 && pastThisRow) {
            // A call that asked for rows past this one failed, perhaps in a
            // later row; but a failing code may already have written over
            // the rows before it. Read the chunk again as if every row had
            // been asked for alone.
            ReadChunkAgainByRows(dest);
            if (brokenChunk_) return WhiteRow(dest);
            continue;
        }
        // Data the decoder cannot follow: the chunk's rows from here on are
        // lost, and the page goes on with the next chunk.
        if (decoded == 0 || consumed > available) return BreakChunk(dest);
        inputPos_ += consumed;
        if (consumed == 0 && produced == 0) break;  // the chunk's data is used up
    }
    const std::uint32_t delivered = std::min(decoder_->GetLine(dest), chunkRowBytes_);
    const bool complete = buffered_ >= chunkRowBytes_ && delivered == chunkRowBytes_;
    buffered_ = buffered_ > chunkRowBytes_ ? buffered_ - chunkRowBytes_ : 0;
    if (!complete) {
        std::memset(dest + delivered, 0, chunkRowBytes_ - delivered);
        return TV_ERR_STRIP_SHORT;
    }
    // A fax line that was damaged or cut off is delivered as libtiff reads
    // it, with a warning; so is a Deflate row that a wrong checksum taints.
    return lineFaults_ ? decoder_->LineFault() : TV_OK;
}

// For a decoder that decodes several rows a call more cheaply than one:
// the rest of that many of the strip's rows, up to its last.
std::uint32_t LineEngine::WantedBytes() const {
    const std::uint64_t rows = std::max<std::uint32_t>(std::min(askRows_, rowsInChunk_ - rowInChunk_), 1);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(rows * chunkRowBytes_ - buffered_, UINT32_MAX));
}

// Decodes the chunk again from its start, a row a call, up to the row
// being read: its rows before it, delivered already, are decoded into
// `dest` and dropped.
void LineEngine::ReadChunkAgainByRows(unsigned char* dest) {
    decoder_->Discard(buffered_);
    buffered_ = 0;
    decoder_->Reset();
    inputPos_ = 0;
    askRows_ = 1;
    for (std::uint32_t row = 0; row < rowInChunk_ && !brokenChunk_; ++row) DecodeRow(dest);
}

// The chunk's data went wrong in this row: it is white, and so are the
// chunk's rows after it.
std::uint32_t LineEngine::BreakChunk(unsigned char* dest) {
    brokenChunk_ = true;
    decoder_->Discard(buffered_);
    buffered_ = 0;
    return WhiteRow(dest);
}

// Asks the decoder for the rows of one colour that come next, short of the
// strip's last row (whose surplus is judged on the longer path).
bool LineEngine::TakeSolidRows() {
    if (!seeksSolidRows_ || buffered_ != 0 || brokenChunk_) return false;
    std::uint32_t consumed = 0;
    const std::uint32_t available = inputEnd_ - inputPos_;
    solidRows_ = decoder_->TakeSolidRows(chunk_ + inputPos_, available, rowsInChunk_ - rowInChunk_ - 1, consumed,
                                         solidByte_);
    if (consumed > available) solidRows_ = 0;  // not reached: a decoder never takes more than it is given
    // The bits past the width are 0 whatever the colour.
    const std::uint32_t lastBits = layout_->chunkWidth % 8;
    solidLastByte_ = lastBits != 0 ? static_cast<unsigned char>(solidByte_ & (0xFF << (8 - lastBits))) : solidByte_;
    inputPos_ += std::min(consumed, available);
    return solidRows_ > 0;
}

std::uint32_t LineEngine::SolidRow(unsigned char* dest) {
    --solidRows_;
    FillBytes(dest, solidByte_, chunkRowBytes_ - 1);
    dest[chunkRowBytes_ - 1] = solidLastByte_;
    return TV_OK;
}

// A row lost to undecodable data: white, with a warning.
std::uint32_t LineEngine::WhiteRow(unsigned char* dest) const {
    std::memset(dest, 0, chunkRowBytes_);
    return TV_ERR_LINE_DAMAGED;
}

// Decodes the rows of every tile of the next row of tiles that the image
// uses; a line is flagged when any of its tiles came out short.
std::uint32_t LineEngine::FillTileRow() {
    const std::uint32_t across = layout_->chunksAcross;
    std::uint32_t completeRows = rowsInChunk_;
    tileRowFault_ = TV_OK;
    for (std::uint32_t c = 0; c < across; ++c) {
        const std::uint32_t result = LoadChunk(chunkRow_ * across + c);
        if (result != TV_OK) return result;
        for (std::uint32_t row = 0; row < rowsInChunk_; ++row) {
            unsigned char* dest = tileRows_.data() + (std::size_t{row} * across + c) * chunkRowBytes_;
            const std::uint32_t rowResult =
                decoder_ ? DecodeRow(dest) : CopyStoredRow(chunk_, inputEnd_, row, chunkRowBytes_, layout_->invert, dest);
            if (rowResult != TV_OK) {
                completeRows = std::min(completeRows, row);
                tileRowFault_ = rowResult;
            }
        }
    }
    tileRowFault_ = completeRows < rowsInChunk_ ? tileRowFault_ : TV_OK;
    firstShortRow_ = completeRows;
    return TV_OK;
}

void LineEngine::CopyTileRows(unsigned char* line) const {
    const std::uint32_t across = layout_->chunksAcross;
    const std::uint32_t chunkWidth = layout_->chunkWidth;
    const bool wholeBytes = chunkWidth % 8 == 0;
    if (!wholeBytes) std::memset(line, 0, lineBytes_);
    for (std::uint32_t c = 0; c < across; ++c) {
        const unsigned char* src = tileRows_.data() + (std::size_t{rowInChunk_} * across + c) * chunkRowBytes_;
        const std::uint64_t x = std::uint64_t{c} * chunkWidth;
        const auto pixels = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunkWidth, layout_->width - x));
        if (wholeBytes) {
            std::memcpy(line + x / 8, src, RowBytes(pixels));
        } else {
            OrPixels(line, lineBytes_, static_cast<std::uint32_t>(x), src, pixels);
        }
    }
}

std::uint32_t LineEngine::StartChunkRow() {
    const std::uint64_t first = std::uint64_t{chunkRow_} * layout_->chunkRows;
    rowsInChunk_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(layout_->chunkRows, layout_->length - first));
    rowInChunk_ = 0;
    const std::uint32_t result = tileRows_.empty() ? LoadChunk(chunkRow_) : FillTileRow();
    ++chunkRow_;
    const bool plain = result == TV_OK && !decoder_ && tileRows_.empty();
    plainRows_ = plain ? std::min(inputEnd_ / chunkRowBytes_, rowsInChunk_ - 1) : 0;
    return result;
}

std::uint32_t LineEngine::ReadLine(unsigned char* line) {
    if (solidRows_ > 0) {
        // Rows taken ahead as of one colour: all come before the strip's
        // last, with no chunk to start and no surplus to judge.
        SolidRow(line);
        ++rowInChunk_;
        ++line_;
        return TV_OK;
    }
    if (rowInChunk_ < plainRows_) {
        // The common case of uncompressed data.
        CopyRowBytes(line, chunk_ + std::size_t{rowInChunk_} * lineBytes_, lineBytes_, invert_);
        ++rowInChunk_;
        ++line_;
        return TV_OK;
    }
    if (decodedStrips_ && rowInChunk_ + 1 < rowsInChunk_ && fault_ == TV_OK) {
        // The common case of compressed strips: a row before the strip's
        // last, with no chunk to start and no surplus to judge.
        const bool solid = seeksSolidRows_ && decoder_->OffersSolidRows() && TakeSolidRows();
        const std::uint32_t result = solid ? SolidRow(line) : DecodeRow(line);
        ++rowInChunk_;
        ++line_;
        return result;
    }
    if (fault_ != TV_OK) return fault_;
    if (line_ >= layout_->length) return TV_ERR_END_OF_IMAGE;
    const std::uint32_t result = ReadLineUnchecked(line);
    if (StopsReading(result)) {
        fault_ = result;
        plainRows_ = 0;
    } else {
        ++line_;
    }
    return result;
}

std::uint32_t LineEngine::ReadLineUnchecked(unsigned char* line) {
    if (rowInChunk_ == rowsInChunk_) {
        const std::uint32_t result = StartChunkRow();
        if (result != TV_OK) return result;
    }
    std::uint32_t result;
    if (!tileRows_.empty()) {
        CopyTileRows(line);
        result = rowInChunk_ >= firstShortRow_ ? tileRowFault_ : TV_OK;
    } else if (decoder_) {
        result = DecodeRow(line);
    } else {
        result = CopyStoredRow(chunk_, inputEnd_, rowInChunk_, chunkRowBytes_, layout_->invert, line);
    }
    ++rowInChunk_;
    if (result == TV_OK && rowInChunk_ == rowsInChunk_ && !layout_->tiled && StripHasSurplus()) {
        // The strip's own rows are delivered; what it holds beyond them is
        // dropped, and the line that ends it says so. Tiles are not judged:
        // a tile always holds TileLength rows, also past the image's end,
        // and those are read (when tiles are as wide as the image, as
        // strips) no further than the image.
        result = TV_ERR_STRIP_LONG;
    }
    return result;
}

// Whether the strip just finished holds data past its rows: decoded bytes
// beyond them, input that still decodes to something, or stored bytes no
// row used. Fax strips end in control codes and fill, which are not data,
// so they are not judged here.
bool LineEngine::StripHasSurplus() {
    if (IsFax(layout_->compression)) return false;
    if (!decoder_) return inputEnd_ > std::uint64_t{rowsInChunk_} * chunkRowBytes_;
    if (buffered_ > 0) return true;
    if (inputPos_ >= inputEnd_) return false;
    std::uint32_t consumed = 0;
    std::uint32_t produced = 0;
    const int decoded = decoder_->Decode(chunk_ + inputPos_, inputEnd_ - inputPos_, consumed, 1, produced);
    buffered_ += produced;
    return decoded == 0 || produced > 0;
}

// The plain rows of an uncompressed strip go to the caller in one copy, or
// one a row when the rows are apart or inverted.
bool LineEngine::CopyStoredRows(unsigned char* dest, std::ptrdiff_t stride, std::uint32_t rows) {
    if (rowInChunk_ >= plainRows_) return false;
    const std::uint32_t n = std::min(rows, plainRows_ - rowInChunk_);
    const unsigned char* src = chunk_ + std::size_t{rowInChunk_} * lineBytes_;
    if (!invert_ && stride == static_cast<std::ptrdiff_t>(lineBytes_)) {
        std::memcpy(dest, src, std::size_t{n} * lineBytes_);
    } else {
        for (std::uint32_t i = 0; i < n; ++i) CopyRowBytes(dest + i * stride, src + std::size_t{i} * lineBytes_, lineBytes_, invert_);
    }
    rowInChunk_ += n;
    line_ += n;
    return true;
}

// Whole uncompressed strips that lie one after another in the source, each
// holding exactly its rows, go straight into a caller's image whose rows
// are contiguous: one read for them all (a copy from the source's bytes in
// place, or one positioned read), with no window between. Anything else,
// or a read that comes short, is left to the line by line path.
bool LineEngine::ReadStoredStrips(unsigned char* dest, std::ptrdiff_t stride, std::uint32_t rows) {
    if (decoder_ || !tileRows_.empty() || reverseBits_ || rowInChunk_ != rowsInChunk_ || fault_ != TV_OK ||
        stride != static_cast<std::ptrdiff_t>(lineBytes_)) {
        return false;
    }
    const std::uint32_t chunkRows = layout_->chunkRows;
    std::uint64_t start = 0;
    std::uint64_t bytes = 0;
    std::uint32_t strips = 0;
    std::uint32_t taken = 0;
    for (std::uint32_t s = chunkRow_; s < chunkCount_; ++s) {
        const std::uint64_t first = std::uint64_t{s} * chunkRows;
        const auto stripRows = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunkRows, layout_->length - first));
        const Chunk& chunk = layout_->chunks[s];
        const bool whole = chunk.byteCount == std::uint64_t{stripRows} * lineBytes_;
        const bool next = strips == 0 || chunk.offset == start + bytes;
        if (!whole || !next || taken + std::uint64_t{stripRows} > rows || chunk.offset > sourceSize_ ||
            chunk.byteCount > sourceSize_ - chunk.offset) {
            break;
        }
        if (strips == 0) start = chunk.offset;
        bytes += chunk.byteCount;
        taken += stripRows;
        ++strips;
    }
    if (strips == 0 || bytes > SIZE_MAX) return false;
    const std::size_t size = static_cast<std::size_t>(bytes);
    if (source_->View() != nullptr) {
        std::memcpy(dest, source_->View() + start, size);
    } else if (source_->ReadAt(start, dest, size) != size) {
        return false;
    }
    if (invert_) CopyRowBytes(dest, dest, size, true);
    chunkRow_ += strips;
    rowInChunk_ = rowsInChunk_ = plainRows_ = 0;
    line_ += taken;
    return true;
}

std::uint32_t LineEngine::ReadLines(unsigned char* dest, std::ptrdiff_t stride, std::uint32_t count,
                                    std::uint32_t& delivered, std::vector<Damage>* damage) {
    delivered = 0;
    while (delivered < count) {
        unsigned char* row = dest + static_cast<std::ptrdiff_t>(delivered) * stride;
        const std::uint32_t before = line_;
        if (ReadStoredStrips(row, stride, count - delivered) || CopyStoredRows(row, stride, count - delivered)) {
            delivered += line_ - before;
            continue;
        }
        const std::uint32_t result = ReadLine(row);
        if (line_ == before) return result;  // no line delivered
        if (damage != nullptr && result != TV_OK) AddDamage(*damage, before, result);
        ++delivered;
    }
    return TV_OK;
}

}  // namespace tvcore
