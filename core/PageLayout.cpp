#include "core/PageLayout.h"

#include <algorithm>
#include <new>

#include "TiffViewCodes.h"
#include "core/Compressions.h"
#include "core/Document.h"
#include "core/Source.h"
#include "core/Tags.h"

namespace tvcore {

namespace {

// A strip or tile table shorter than the image needs is padded with empty
// chunks (their reads fail), as libtiff pads it; never by more than this.
constexpr std::uint32_t kMaxTablePadding = 65536;
constexpr std::uint16_t kPhotometricPalette = 3;

constexpr std::uint32_t WithTag(std::uint32_t code, std::uint16_t tag) {
    return code | (static_cast<std::uint32_t>(tag) << 8);
}

bool Accepts(const TagRule& rule, std::uint16_t type) { return (rule.types & TypeBit(type)) != 0; }

// A single value by the tag's lenient rule, as libtiff reads it: absent, an
// optional tag takes its default; present but unreadable (type, count,
// range), it refuses the page or is ignored, as libtiff does.
std::uint32_t ReadValue(const Directory& page, TagNumber number, std::uint32_t& value) {
    const TagInfo& tag = Tag(number);
    const TagRule& rule = tag.lenient;
    value = tag.fallback;
    std::uint32_t stored = 0;
    const std::uint32_t result = page.Single(number, stored);
    if (result == TV_OK) {
        value = stored;
        return TV_OK;
    }
    const bool refuse = result == TV_ERR_TAG_MISSING ? rule.required : rule.unreadableRefuses;
    return refuse ? WithTag(result, number) : TV_OK;
}

std::uint32_t ReadOptional(const Directory& page, TagNumber number) {
    std::uint32_t value = 0;
    ReadValue(page, number, value);
    return value;
}

// A strip or tile table of `chunks` entries, of any integer type libtiff
// reads there. Extra entries are ignored; missing ones are empty chunks.
std::uint32_t ReadTable(const Directory& page, TagNumber number, std::uint32_t chunks,
                        std::vector<std::uint64_t>& table) {
    table.clear();
    const Entry* entry = page.Find(number);
    if (entry == nullptr) return WithTag(TV_ERR_TAG_MISSING, number);
    if (!Accepts(Tag(number).lenient, entry->type)) return WithTag(TV_ERR_TAG_TYPE, number);
    if (entry->count == 0 || (entry->count < chunks && chunks - entry->count > kMaxTablePadding)) {
        return WithTag(TV_ERR_TAG_COUNT, number);
    }
    const std::uint32_t size = entry->type == kTypeByte || entry->type == kTypeSByte     ? 1
                               : entry->type == kTypeShort || entry->type == kTypeSShort ? 2
                               : entry->type == kTypeLong8 || entry->type == kTypeSLong8 ? 8
                                                                                         : 4;
    const bool isSigned = entry->type == kTypeSByte || entry->type == kTypeSShort || entry->type == kTypeSLong ||
                          entry->type == kTypeSLong8;
    const std::uint32_t stored = static_cast<std::uint32_t>(std::min<std::uint64_t>(entry->count, chunks));
    const std::uint64_t bytes = std::uint64_t{size} * stored;
    std::uint32_t result = TV_OK;
    auto element = [&](const unsigned char* p) -> std::uint64_t {
        std::uint64_t v = size == 1 ? p[0] : size == 2 ? page.U16(p) : size == 4 ? page.U32(p) : page.U64(p);
        // A negative offset or count is out of range; libtiff refuses the page.
        if (isSigned && (v >> (8 * size - 1)) != 0) result = WithTag(TV_ERR_TAG_VALUE, number);
        return v;
    };
    try {
        if (entry->count <= page.FieldSize() / size) {
            for (std::uint32_t i = 0; i < stored; ++i) table.push_back(element(entry->value + size * i));
        } else {
            // A table the file cannot hold is refused before it sizes anything.
            const std::uint64_t offset = page.FieldOffset(*entry);
            if (bytes > page.SourceSize() || offset > page.SourceSize() - bytes) return WithTag(TV_ERR_TAG_READ, number);
            std::vector<unsigned char> raw(static_cast<std::size_t>(bytes));
            if (!page.ReadAt(offset, raw.data(), static_cast<std::uint32_t>(bytes))) return WithTag(TV_ERR_TAG_READ, number);
            for (std::uint32_t i = 0; i < stored; ++i) table.push_back(element(raw.data() + size * i));
        }
        table.resize(chunks, 0);
    } catch (const std::bad_alloc&) {
        table.clear();
        return TV_ERR_NO_MEMORY;
    }
    if (result != TV_OK) table.clear();
    return result;
}

// A resolution is optional here; absent or unreadable, it is 0.
double ReadResolution(const Directory& page, TagNumber number) {
    const Entry* entry = page.Find(number);
    if (entry == nullptr || entry->count != 1) return 0.0;
    if (entry->type != kTypeRational) {
        std::int64_t value = 0;
        return Accepts(Tag(number).lenient, entry->type) && page.Integer(*entry, 0, value) && value > 0
                   ? static_cast<double>(value)
                   : 0.0;
    }
    // Inside the entry in BigTIFF, elsewhere in classic TIFF.
    unsigned char rational[8];
    if (page.FieldSize() >= sizeof rational) {
        std::copy(entry->value, entry->value + sizeof rational, rational);
    } else if (!page.ReadAt(page.FieldOffset(*entry), rational, sizeof rational)) {
        return 0.0;
    }
    const std::uint32_t denominator = page.U32(rational + 4);
    return denominator == 0 ? 0.0 : static_cast<double>(page.U32(rational)) / denominator;
}

// Whether sample value 1 is the lighter of a 1-bit palette's two colours,
// so that delivering 1 = black means complementing the samples. Equal
// colours keep the samples as they are.
std::uint32_t ReadPaletteInversion(const Directory& page, bool& invert) {
    const TagInfo& tag = Tag(kColorMap);
    const Entry* entry = page.Find(kColorMap);
    if (entry == nullptr) return WithTag(TV_ERR_TAG_MISSING, kColorMap);
    if (!Accepts(tag.lenient, entry->type)) return WithTag(TV_ERR_TAG_TYPE, kColorMap);
    if (entry->count != tag.count) return WithTag(TV_ERR_TAG_COUNT, kColorMap);
    unsigned char map[12];
    if (!page.ReadAt(page.FieldOffset(*entry), map, sizeof map)) return WithTag(TV_ERR_TAG_READ, kColorMap);
    // Red, green and blue of entries 0 and 1, weighted as luma.
    auto luma = [&](int index) {
        return 299.0 * page.U16(map + 2 * index) + 587.0 * page.U16(map + 4 + 2 * index) +
               114.0 * page.U16(map + 8 + 2 * index);
    };
    invert = luma(1) > luma(0);
    return TV_OK;
}

// libtiff replaces a single strip's byte count that cannot be right (zero,
// or, uncompressed, past the end of the file or short of the image) by an
// estimate; a missing table is estimated the same way where it can be.
// Compressed data is given the rest of the file: decoding stops at the
// image's rows, so only the rows libtiff could not read either can differ.
std::uint64_t EstimateByteCount(std::uint32_t compression, std::uint64_t offset, std::uint64_t uncompressed,
                                std::uint64_t fileSize) {
    const std::uint64_t rest = offset < fileSize ? fileSize - offset : 0;
    const std::uint64_t estimate = compression == 1 ? std::min(uncompressed, rest) : rest;
    return std::min<std::uint64_t>(estimate, 0xFFFFFFFFu);
}

bool SingleByteCountLooksBad(std::uint32_t compression, std::uint64_t offset, std::uint64_t count,
                             std::uint64_t uncompressed, std::uint64_t fileSize) {
    if (offset == 0) return false;
    if (count == 0) return true;
    if (compression != 1) return false;
    return (offset <= fileSize && count > fileSize - offset) || count < uncompressed;
}

// The image and how it is coded: the checks that decide whether the page
// is one this library reads.
std::uint32_t ReadDescription(const Directory& page, PageLayout& layout) {
    std::uint32_t value = 0;
    std::uint32_t result = ReadValue(page, kSamplesPerPixel, value);
    if (result != TV_OK) return result;
    if (value != 1) return TV_ERR_SAMPLES_PER_PIXEL;
    if ((result = ReadValue(page, kBitsPerSample, value)) != TV_OK) return result;
    if (value != 1) return TV_ERR_BITS_PER_SAMPLE;

    if ((result = ReadValue(page, kImageWidth, layout.width)) != TV_OK) return result;
    if (layout.width == 0) return WithTag(TV_ERR_TAG_VALUE, kImageWidth);
    if ((result = ReadValue(page, kImageLength, layout.length)) != TV_OK) return result;
    if (layout.length == 0) return WithTag(TV_ERR_TAG_VALUE, kImageLength);

    if ((result = ReadValue(page, kCompression, layout.compression)) != TV_OK) return result;
    if (!CompressionReadable(layout.compression)) return TV_ERR_COMPRESSION;
    // Absent or ignored, it is assumed, as libtiff's readers assume it.
    layout.photometricAssumed = page.Single(kPhotometric, value) != TV_OK;
    if (layout.photometricAssumed) value = AssumedPhotometric(layout.compression);
    if (value > 1 && value != kPhotometricPalette) return TV_ERR_PHOTOMETRIC;
    layout.photometric = static_cast<std::uint16_t>(value);
    layout.invert = value == 1;
    if (value == kPhotometricPalette && (result = ReadPaletteInversion(page, layout.invert)) != TV_OK) return result;

    // FillOrder other than 1 or 2 is ignored, as libtiff ignores it.
    layout.fillOrder = static_cast<std::uint16_t>(ReadOptional(page, kFillOrder) == 2 ? 2 : 1);
    layout.orientation = static_cast<std::uint16_t>(ReadOptional(page, kOrientation));
    layout.resolutionUnit = static_cast<std::uint16_t>(ReadOptional(page, kResolutionUnit));
    layout.planarConfiguration = static_cast<std::uint16_t>(ReadOptional(page, kPlanarConfiguration));
    layout.predictor = static_cast<std::uint16_t>(ReadOptional(page, kPredictor));
    layout.t4Options = ReadOptional(page, kT4Options);
    layout.t6Options = ReadOptional(page, kT6Options);
    layout.xResolution = ReadResolution(page, kXResolution);
    layout.yResolution = ReadResolution(page, kYResolution);

    // Every Group 3 coding is read, as libtiff reads it: one- or two-
    // dimensional, EOLs aligned or not. Uncompressed mode (bit 1) is only
    // permission: libtiff reads such pages and fails only on a line that
    // uses it, and so do we (a damaged line).
    // Horizontal differencing is undefined for 1-bit samples; libtiff refuses
    // it, and every other predictor, with the codings that take one.
    const bool takesPredictor = layout.compression == 5 || layout.compression == 8 || layout.compression == 32946;
    if (takesPredictor && layout.predictor != 1) return WithTag(TV_ERR_TAG_VALUE, kPredictor);
    return TV_OK;
}

// Strips or tiles: the chunk geometry.
std::uint32_t ReadGeometry(const Directory& page, PageLayout& layout, std::uint32_t& chunkCount) {
    std::uint64_t chunks = 0;
    layout.chunkWidth = layout.width;
    std::uint32_t result;
    std::uint32_t rowsPerStrip = 0;
    if ((result = ReadValue(page, kRowsPerStrip, rowsPerStrip)) != TV_OK) return result;
    // Either tile size makes the page tiled. libtiff gives an absent one
    // RowsPerStrip's say when that is present: tiles as wide as the image
    // and RowsPerStrip rows long; else a page without it is refused.
    layout.tiled = page.Find(kTileWidth) != nullptr || page.Find(kTileLength) != nullptr;
    if (layout.tiled) {
        const bool stripRows = page.Find(kRowsPerStrip) != nullptr;
        if ((result = ReadValue(page, kTileWidth, layout.tileWidth)) != TV_OK) return result;
        if ((result = ReadValue(page, kTileLength, layout.tileLength)) != TV_OK) return result;
        if (page.Find(kTileWidth) == nullptr) {
            if (!stripRows) return WithTag(TV_ERR_TAG_MISSING, kTileWidth);
            layout.tileWidth = layout.width;
        }
        if (page.Find(kTileLength) == nullptr) {
            if (!stripRows) return WithTag(TV_ERR_TAG_MISSING, kTileLength);
            layout.tileLength = rowsPerStrip;
        }
        if (layout.tileWidth == 0) return WithTag(TV_ERR_TAG_VALUE, kTileWidth);
        if (layout.tileLength == 0) return WithTag(TV_ERR_TAG_VALUE, kTileLength);
        layout.chunkWidth = layout.tileWidth;
        layout.chunkRows = layout.tileLength;
        layout.chunksAcross = (layout.width - 1) / layout.tileWidth + 1;
        chunks = std::uint64_t{layout.chunksAcross} * ((std::uint64_t{layout.length} + layout.tileLength - 1) / layout.tileLength);
        if (chunks > 0xFFFFFFFFu) return WithTag(TV_ERR_TAG_VALUE, kTileWidth);
    } else {
        layout.rowsPerStrip = rowsPerStrip;
        // 0 is no valid value; libtiff ignores it and keeps one strip.
        if (layout.rowsPerStrip == 0 || layout.rowsPerStrip > layout.length) layout.rowsPerStrip = layout.length;
        layout.chunkRows = layout.rowsPerStrip;
        chunks = (std::uint64_t{layout.length} + layout.rowsPerStrip - 1) / layout.rowsPerStrip;
    }
    chunkCount = static_cast<std::uint32_t>(chunks);
    return TV_OK;
}

// libtiff keeps one table of offsets and one of byte counts whatever the
// tag that held them: a strip page may give TileOffsets, a tiled one
// StripOffsets, and where both are given the later entry wins.
TagNumber TableTag(const Directory& page, bool tiled, TagNumber strips, TagNumber tiles) {
    const Entry* stripEntry = page.Find(strips);
    const Entry* tileEntry = page.Find(tiles);
    if (stripEntry == nullptr || tileEntry == nullptr) {
        if (stripEntry != nullptr) return strips;
        if (tileEntry != nullptr) return tiles;
        return tiled ? tiles : strips;
    }
    return stripEntry > tileEntry ? strips : tiles;
}

std::uint32_t ReadChunks(const Directory& page, std::uint32_t chunkCount, PageLayout& layout) {
    const TagNumber offsetsTag = TableTag(page, layout.tiled, kStripOffsets, kTileOffsets);
    const TagNumber countsTag = TableTag(page, layout.tiled, kStripByteCounts, kTileByteCounts);
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> counts;
    std::uint32_t result = ReadTable(page, offsetsTag, chunkCount, offsets);
    if (result != TV_OK) return result;
    const std::uint64_t fileSize = page.SourceSize();
    const std::uint64_t chunkBytes = ((std::uint64_t{layout.chunkWidth} + 7) / 8) * layout.chunkRows;
    if (page.Find(countsTag) == nullptr) {
        // libtiff estimates a missing table only where one chunk or raw data
        // makes the estimate safe.
        if (chunkCount > 1 && layout.compression != 1) return WithTag(TV_ERR_TAG_MISSING, countsTag);
        try {
            counts.resize(chunkCount);
        } catch (const std::bad_alloc&) {
            return TV_ERR_NO_MEMORY;
        }
        for (std::uint32_t i = 0; i < chunkCount; ++i) {
            counts[i] = EstimateByteCount(layout.compression, offsets[i], chunkBytes, fileSize);
        }
    } else {
        if ((result = ReadTable(page, countsTag, chunkCount, counts)) != TV_OK) return result;
        if (chunkCount == 1 && !layout.tiled &&
            SingleByteCountLooksBad(layout.compression, offsets[0], counts[0], chunkBytes, fileSize)) {
            counts[0] = EstimateByteCount(layout.compression, offsets[0], chunkBytes, fileSize);
        }
    }
    try {
        layout.chunks.resize(chunkCount);
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    for (std::uint32_t i = 0; i < chunkCount; ++i) layout.chunks[i] = Chunk{offsets[i], counts[i]};
    return TV_OK;
}

}  // namespace

std::uint32_t ReadPageLayout(const Document& document, std::uint32_t index, PageLayout& layout) {
    layout = PageLayout{};
    layout.pageIndex = index;
    layout.pageCount = document.PageCount();
    layout.littleEndian = document.LittleEndian();
    Directory page(document.GetSource(), document.LittleEndian(), document.BigTiff());
    std::uint32_t result = document.ReadDirectory(index, page);
    if (result != TV_OK) return result;
    if ((result = ReadDescription(page, layout)) != TV_OK) return result;
    std::uint32_t chunkCount = 0;
    if ((result = ReadGeometry(page, layout, chunkCount)) != TV_OK) return result;
    return ReadChunks(page, chunkCount, layout);
}

}  // namespace tvcore
