// Pages read with TV_OPTION_ANY_BILEVEL: each directory of the main chain is
// one page, read from its own entries only, with TIFF's defaults for absent
// tags and every integer type the format allows, the way libtiff reads them.
//
// Each tag is declared once (types, required, default); the checks follow
// from the declaration. An optional tag that cannot be read (wrong type or
// count) is ignored and its default used, as libtiff ignores it.
#include <algorithm>
#include <limits>
#include <new>
#include <unordered_set>

#include "TiffView.h"
#include "platform/File.h"

namespace {

constexpr std::uint16_t kTypeByte = 1;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;

constexpr unsigned TypeBit(std::uint16_t type) { return 1u << type; }
constexpr unsigned kInteger = TypeBit(kTypeByte) | TypeBit(kTypeShort) | TypeBit(kTypeLong);
constexpr unsigned kTable = TypeBit(kTypeShort) | TypeBit(kTypeLong);

constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint32_t kEntrySize = 12;
// The chain is followed at most this far; page numbers are 16-bit in
// practice and a longer chain is hostile.
constexpr std::uint32_t kMaxPages = 0xFFFF;
// A strip or tile table shorter than the image needs is padded with empty
// chunks (their reads fail), as libtiff pads it; never by more than this.
constexpr std::uint32_t kMaxTablePadding = 65536;
constexpr std::uint32_t kCompressionPackBits = 32773;
constexpr std::uint16_t kPhotometricPalette = 3;
constexpr std::uint16_t kTagColorMap = 320;

constexpr std::uint32_t WithTag(std::uint32_t code, std::uint16_t tag) {
    return code | (static_cast<std::uint32_t>(tag) << 8);
}

struct PageTag {
    std::uint16_t tag;
    unsigned types;
    bool required;
    std::uint32_t fallback;
};

constexpr PageTag kImageWidth{Tag_ImageWidth, kInteger, true, 0};
constexpr PageTag kImageLength{Tag_ImageLength, kInteger, true, 0};
constexpr PageTag kBitsPerSample{Tag_BitsPerSample, kInteger, false, 1};
constexpr PageTag kSamplesPerPixel{Tag_SamplesPerPixel, kInteger, false, 1};
constexpr PageTag kCompression{Tag_Compression, kInteger, false, 1};
// Absent on a bi-level page: white is zero, as fax pages store it.
constexpr PageTag kPhotometric{Tag_PhotometricInterpretation, kInteger, false, 0};
constexpr PageTag kFillOrder{Tag_FillOrder, kInteger, false, 1};
constexpr PageTag kOrientation{Tag_Orientation, kInteger, false, 1};
constexpr PageTag kRowsPerStrip{Tag_RowsPerStrip, kInteger, false, 0xFFFFFFFFu};
constexpr PageTag kResolutionUnit{Tag_ResolutionUnit, kInteger, false, 2};
constexpr PageTag kPlanarConfiguration{Tag_PlanarConfiguration, kInteger, false, 1};
constexpr PageTag kPredictor{Tag_Predictor, kInteger, false, 1};
constexpr PageTag kT4Options{Tag_T4Options, kInteger, false, 0};
constexpr PageTag kT6Options{Tag_T6Options, kInteger, false, 0};
constexpr PageTag kTileWidth{Tag_TileWidth, kInteger, true, 0};
constexpr PageTag kTileLength{Tag_TileLength, kInteger, true, 0};

// The selected directory's entries (Tag, Type and Count already in host
// order, values as stored) and the file they came from.
class PageEntries {
public:
    PageEntries(const std::vector<TiffIFD_t>& entries, std::uint32_t count, bool intel, std::int32_t file,
                std::uint64_t fileSize)
        : Entries(entries), Count(count), Intel(intel), File(file), Size(fileSize) {}

    const TiffIFD_t* Find(std::uint16_t tag) const {
        for (std::uint32_t i = 0; i < Count; ++i) {
            if (Entries[i].Tag == tag) return &Entries[i];
        }
        return nullptr;
    }

    std::uint32_t U16(const unsigned char* p) const {
        return Intel ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
    }
    std::uint32_t U32(const unsigned char* p) const {
        return Intel ? (U16(p) | U16(p + 2) << 16) : (U16(p) << 16 | U16(p + 2));
    }
    std::uint32_t Element(const unsigned char* p, std::uint16_t type) const {
        return type == kTypeByte ? p[0] : type == kTypeShort ? U16(p) : U32(p);
    }

    // Reads `bytes` bytes at `offset`, which must lie inside the file.
    bool ReadAt(std::uint32_t offset, void* dest, std::uint32_t bytes) const {
        if (offset < kHeaderSize || offset > Size || bytes > Size - offset) return false;
        return tvplatform::SeekTo(File, offset) && tvplatform::ReadBytes(File, dest, bytes) == bytes;
    }

    std::uint64_t FileSize() const { return Size; }

private:
    const std::vector<TiffIFD_t>& Entries;
    std::uint32_t Count;
    bool Intel;
    std::int32_t File;
    std::uint64_t Size;
};

std::uint32_t TypeSize(std::uint16_t type) { return type == kTypeByte ? 1 : type == kTypeShort ? 2 : 4; }

bool Accepts(unsigned types, std::uint16_t type) { return type < 32 && (types & TypeBit(type)) != 0; }

std::uint32_t ReadValue(const PageEntries& page, const PageTag& rule, std::uint32_t& value) {
    value = rule.fallback;
    const TiffIFD_t* entry = page.Find(rule.tag);
    if (entry == nullptr) return rule.required ? WithTag(TV_ERR_TAG_MISSING, rule.tag) : TV_OK;
    if (entry->Count != 1) return rule.required ? WithTag(TV_ERR_TAG_COUNT, rule.tag) : TV_OK;
    if (!Accepts(rule.types, entry->Type)) return rule.required ? WithTag(TV_ERR_TAG_TYPE, rule.tag) : TV_OK;
    value = page.Element(entry->Value, entry->Type);
    return TV_OK;
}

// A strip or tile table of `chunks` entries, SHORT or LONG. Extra entries
// are ignored; missing ones are empty chunks.
std::uint32_t ReadTable(const PageEntries& page, std::uint16_t tag, std::uint32_t chunks,
                        std::vector<std::uint32_t>& table) {
    table.clear();
    const TiffIFD_t* entry = page.Find(tag);
    if (entry == nullptr) return WithTag(TV_ERR_TAG_MISSING, tag);
    if (!Accepts(kTable, entry->Type)) return WithTag(TV_ERR_TAG_TYPE, tag);
    if (entry->Count == 0 || (entry->Count < chunks && chunks - entry->Count > kMaxTablePadding)) {
        return WithTag(TV_ERR_TAG_COUNT, tag);
    }
    const std::uint32_t size = TypeSize(entry->Type);
    const std::uint32_t stored = std::min(entry->Count, chunks);
    const std::uint64_t bytes = std::uint64_t{size} * stored;
    try {
        if (std::uint64_t{size} * entry->Count <= 4) {
            for (std::uint32_t i = 0; i < stored; ++i) table.push_back(page.Element(entry->Value + size * i, entry->Type));
        } else {
            // A table the file cannot hold is refused before it sizes anything.
            const std::uint32_t offset = page.U32(entry->Value);
            if (bytes > page.FileSize() || offset > page.FileSize() - bytes) return WithTag(TV_ERR_TAG_READ, tag);
            std::vector<unsigned char> raw(static_cast<std::size_t>(bytes));
            if (!page.ReadAt(offset, raw.data(), static_cast<std::uint32_t>(bytes))) return WithTag(TV_ERR_TAG_READ, tag);
            table.resize(stored);
            for (std::uint32_t i = 0; i < stored; ++i) table[i] = page.Element(raw.data() + size * i, entry->Type);
        }
        table.resize(chunks, 0);
    } catch (const std::bad_alloc&) {
        table.clear();
        return TV_ERR_NO_MEMORY;
    }
    return TV_OK;
}

// A resolution is optional here; absent or unreadable, it is 0.
double PageResolution(const PageEntries& page, std::uint16_t tag) {
    const TiffIFD_t* entry = page.Find(tag);
    if (entry == nullptr || entry->Count != 1) return 0.0;
    if (entry->Type != kTypeRational) {
        return Accepts(kInteger, entry->Type) ? page.Element(entry->Value, entry->Type) : 0.0;
    }
    unsigned char rational[8];
    if (!page.ReadAt(page.U32(entry->Value), rational, sizeof rational)) return 0.0;
    const std::uint32_t denominator = page.U32(rational + 4);
    return denominator == 0 ? 0.0 : static_cast<double>(page.U32(rational)) / denominator;
}

// Whether sample value 1 is the lighter of a 1-bit palette's two colours,
// so that delivering 1 = black means complementing the samples. Equal
// colours keep the samples as they are.
std::uint32_t ReadPaletteInversion(const PageEntries& page, std::int32_t& invert) {
    const TiffIFD_t* entry = page.Find(kTagColorMap);
    if (entry == nullptr) return WithTag(TV_ERR_TAG_MISSING, kTagColorMap);
    if (entry->Type != kTypeShort) return WithTag(TV_ERR_TAG_TYPE, kTagColorMap);
    if (entry->Count != 6) return WithTag(TV_ERR_TAG_COUNT, kTagColorMap);
    unsigned char map[12];
    if (!page.ReadAt(page.U32(entry->Value), map, sizeof map)) return WithTag(TV_ERR_TAG_READ, kTagColorMap);
    // Red, green and blue of entries 0 and 1, weighted as luma.
    auto luma = [&](int index) {
        return 299.0 * page.U16(map + 2 * index) + 587.0 * page.U16(map + 4 + 2 * index) +
               114.0 * page.U16(map + 8 + 2 * index);
    };
    invert = luma(1) > luma(0) ? 1 : 0;
    return TV_OK;
}

std::uint32_t RowBytes(std::uint32_t width) { return static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8); }

// libtiff replaces a single strip's byte count that cannot be right (zero,
// or, uncompressed, past the end of the file or short of the image) by an
// estimate; a missing table is estimated the same way where it can be.
// Compressed data is given the rest of the file: decoding stops at the
// image's rows, so only the rows libtiff could not read either can differ.
std::uint32_t EstimateByteCount(std::uint32_t compression, std::uint32_t offset, std::uint64_t uncompressed,
                                std::uint64_t fileSize) {
    const std::uint64_t rest = offset < fileSize ? fileSize - offset : 0;
    const std::uint64_t estimate = compression == 1 ? std::min(uncompressed, rest) : rest;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(estimate, 0xFFFFFFFFu));
}

bool SingleByteCountLooksBad(std::uint32_t compression, std::uint32_t offset, std::uint32_t count,
                             std::uint64_t uncompressed, std::uint64_t fileSize) {
    if (offset == 0) return false;
    if (count == 0) return true;
    if (compression != 1) return false;
    return (offset <= fileSize && count > fileSize - offset) || count < uncompressed;
}

}  // namespace

std::uint32_t CTiffView::ReadPageHead() {
    unsigned char header[kHeaderSize];
    const std::uint32_t order = ReadByteOrder(header);
    if (order != TV_OK) return order;
    const std::uint64_t fileSize = tvplatform::FileSize(FileHandle);
    const PageEntries raw(IFDList, 0, Intel != 0, FileHandle, fileSize);
    if (raw.U16(header + 2) != 42) return TV_ERR_MAGIC;

    // Count the pages and find the selected one. A loop or an unreadable
    // link ends the chain after the pages read so far, as libtiff counts
    // them; only the first directory must be readable.
    std::uint32_t offset = raw.U32(header + 4);
    if (offset == 0) return TV_ERR_IFD_OFFSET_ZERO;
    std::unordered_set<std::uint32_t> visited;
    std::uint32_t selected = 0;
    std::uint32_t selectedCount = 0;
    std::uint32_t pages = 0;
    while (offset != 0 && pages < kMaxPages && visited.insert(offset).second) {
        unsigned char bytes[4];
        if (!tvplatform::SeekTo(FileHandle, offset)) {
            if (pages == 0) return TV_ERR_FILE_SHORT;
            break;
        }
        if (tvplatform::ReadBytes(FileHandle, bytes, 2) < 2) {
            if (pages == 0) return TV_ERR_IFD_COUNT_READ;
            break;
        }
        const std::uint32_t count = raw.U16(bytes);
        if (pages == SelectedPage) {
            selected = offset;
            selectedCount = count;
        }
        ++pages;
        const std::uint64_t next = std::uint64_t{offset} + 2 + std::uint64_t{kEntrySize} * count;
        if (next > 0x7FFFFFFFu || !tvplatform::SeekTo(FileHandle, static_cast<std::uint32_t>(next)) ||
            tvplatform::ReadBytes(FileHandle, bytes, 4) < 4) {
            break;
        }
        offset = raw.U32(bytes);
    }
    if (SelectedPage >= pages) return TV_ERR_PAGE_MISSING;

    IFDList.resize(selectedCount);
    IFDSize = IFDNum = static_cast<std::uint16_t>(selectedCount);
    const std::uint32_t entryBytes = selectedCount * kEntrySize;
    if (!tvplatform::SeekTo(FileHandle, selected + 2) ||
        tvplatform::ReadBytes(FileHandle, IFDList.data(), entryBytes) < entryBytes) {
        return TV_ERR_IFD_READ;
    }
    for (TiffIFD_t& entry : IFDList) {
        entry.Tag = static_cast<std::uint16_t>(raw.U16(reinterpret_cast<unsigned char*>(&entry.Tag)));
        entry.Type = static_cast<std::uint16_t>(raw.U16(reinterpret_cast<unsigned char*>(&entry.Type)));
        entry.Count = raw.U32(reinterpret_cast<unsigned char*>(&entry.Count));
    }
    const PageEntries page(IFDList, selectedCount, Intel != 0, FileHandle, fileSize);

    std::uint32_t value = 0;
    std::uint32_t result = ReadValue(page, kSamplesPerPixel, value);
    if (result != TV_OK) return result;
    if (value != 1) return TV_ERR_SAMPLES_PER_PIXEL;
    result = ReadValue(page, kBitsPerSample, value);
    if (result != TV_OK) return result;
    if (value != 1) return TV_ERR_BITS_PER_SAMPLE;

    if ((result = ReadValue(page, kImageWidth, Width)) != TV_OK) return result;
    if (Width == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_ImageWidth);
    if ((result = ReadValue(page, kImageLength, Length)) != TV_OK) return result;
    if (Length == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_ImageLength);
    LineByte = RowBytes(Width);

    if ((result = ReadValue(page, kCompression, Compression)) != TV_OK) return result;
    if (Compression != 1 && Compression != 2 && Compression != 3 && Compression != 4 && Compression != 5 &&
        Compression != kCompressionPackBits) {
        return TV_ERR_COMPRESSION;
    }
    if ((result = ReadValue(page, kPhotometric, value)) != TV_OK) return result;
    if (value > 1 && value != kPhotometricPalette) return TV_ERR_PHOTOMETRIC;
    PhotometricInterpretation = static_cast<std::uint16_t>(value);
    PageInvert = value == 1 ? 1 : 0;
    if (value == kPhotometricPalette && (result = ReadPaletteInversion(page, PageInvert)) != TV_OK) return result;

    // FillOrder other than 1 or 2 is ignored, as libtiff ignores it.
    ReadValue(page, kFillOrder, value);
    FillOrder = static_cast<std::uint16_t>(value == 2 ? 2 : 1);
    ReadValue(page, kOrientation, value);
    Orientation = static_cast<std::uint16_t>(value);
    ReadValue(page, kResolutionUnit, value);
    ResolutionUnit = static_cast<std::uint16_t>(value);
    ReadValue(page, kPlanarConfiguration, value);
    PlanarConfiguration = static_cast<std::uint16_t>(value);
    ReadValue(page, kPredictor, value);
    Predictor = static_cast<std::uint16_t>(value);
    ReadValue(page, kT4Options, T4Options);
    ReadValue(page, kT6Options, T6Options);
    XResolution = PageResolution(page, Tag_XResolution);
    YResolution = PageResolution(page, Tag_YResolution);

    // Every Group 3 coding is read, as libtiff reads it: one- or two-
    // dimensional, EOLs aligned or not. Uncompressed mode (bit 1) is only
    // permission: libtiff reads such pages and fails only on a line that
    // uses it, and so do we (a damaged line).
    // Horizontal differencing is undefined for 1-bit samples; libtiff refuses it.
    if (Compression == 5 && Predictor != 1) return WithTag(TV_ERR_TAG_VALUE, Tag_Predictor);

    // Strips or tiles: the chunk geometry and its tables.
    std::uint32_t chunkWidth = Width;
    std::uint32_t chunkRows = 0;
    std::uint64_t chunks = 0;
    std::uint16_t offsetsTag = Tag_StripOffsets;
    std::uint16_t countsTag = Tag_StripByteCounts;
    TileWidth = TileLength = 0;
    if (page.Find(Tag_TileWidth) != nullptr) {
        if ((result = ReadValue(page, kTileWidth, TileWidth)) != TV_OK) return result;
        if ((result = ReadValue(page, kTileLength, TileLength)) != TV_OK) return result;
        if (TileWidth == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_TileWidth);
        if (TileLength == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_TileLength);
        chunkWidth = TileWidth;
        chunkRows = TileLength;
        chunks = ((std::uint64_t{Width} + TileWidth - 1) / TileWidth) * ((std::uint64_t{Length} + TileLength - 1) / TileLength);
        if (chunks > 0xFFFFFFFFu) return WithTag(TV_ERR_TAG_VALUE, Tag_TileWidth);
        offsetsTag = Tag_TileOffsets;
        countsTag = Tag_TileByteCounts;
        RowsPerStrip = TileLength;
    } else {
        ReadValue(page, kRowsPerStrip, RowsPerStrip);
        // 0 is no valid value; libtiff ignores it and keeps one strip.
        if (RowsPerStrip == 0 || RowsPerStrip > Length) RowsPerStrip = Length;
        chunkRows = RowsPerStrip;
        chunks = (std::uint64_t{Length} + RowsPerStrip - 1) / RowsPerStrip;
    }
    StripsPerImage = static_cast<std::uint32_t>(chunks);
    StripByte = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{LineByte} * chunkRows, 0xFFFFFFFFu));

    if ((result = ReadTable(page, offsetsTag, StripsPerImage, StripOffsets)) != TV_OK) return result;
    const std::uint64_t chunkBytes = std::uint64_t{RowBytes(chunkWidth)} * chunkRows;
    if (page.Find(countsTag) == nullptr) {
        // libtiff estimates a missing table only where one chunk or raw data
        // makes the estimate safe.
        if (StripsPerImage > 1 && Compression != 1) return WithTag(TV_ERR_TAG_MISSING, countsTag);
        try {
            StripByteCounts.resize(StripsPerImage);
        } catch (const std::bad_alloc&) {
            return TV_ERR_NO_MEMORY;
        }
        for (std::uint32_t i = 0; i < StripsPerImage; ++i) {
            StripByteCounts[i] = EstimateByteCount(Compression, StripOffsets[i], chunkBytes, fileSize);
        }
    } else {
        if ((result = ReadTable(page, countsTag, StripsPerImage, StripByteCounts)) != TV_OK) return result;
        if (StripsPerImage == 1 && TileWidth == 0 &&
            SingleByteCountLooksBad(Compression, StripOffsets[0], StripByteCounts[0], chunkBytes, fileSize)) {
            StripByteCounts[0] = EstimateByteCount(Compression, StripOffsets[0], chunkBytes, fileSize);
        }
    }
    PageCount = pages;
    PageIndex = SelectedPage;
    return TV_OK;
}
