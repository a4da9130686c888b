// Tag readers: each tag the reader needs is declared once, with its field
// types, whether it is required and its default; the checks follow from
// that declaration in a fixed order (presence, count, type, value).
#include <limits>
#include <new>

#include "TiffView.h"
#include "platform/File.h"

namespace {

constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;

constexpr unsigned TypeBit(std::uint16_t type) { return 1u << type; }
constexpr unsigned kShort = TypeBit(kTypeShort);
constexpr unsigned kLong = TypeBit(kTypeLong);
constexpr unsigned kRational = TypeBit(kTypeRational);

// Failures of a tag reader carry the tag number in bits 8..23.
constexpr std::uint32_t WithTag(std::uint32_t code, TiffIFDTag tag) {
    return code | (static_cast<std::uint32_t>(tag) << 8);
}

// Values below this offset would point into the 8-byte header.
constexpr std::uint32_t kFirstValueOffset = 8;

}  // namespace

struct TiffTagRule {
    TiffIFDTag tag;
    unsigned types;
    bool required;
    std::uint32_t fallback;  // value of an absent optional tag

    bool Accepts(std::uint16_t type) const { return type < 32 && (types & TypeBit(type)) != 0; }
};

namespace {

constexpr TiffTagRule kImageWidth{Tag_ImageWidth, kShort | kLong, true, 0};
constexpr TiffTagRule kImageLength{Tag_ImageLength, kShort | kLong, true, 0};
constexpr TiffTagRule kCompression{Tag_Compression, kShort, true, 0};
constexpr TiffTagRule kPhotometric{Tag_PhotometricInterpretation, kShort, true, 0};
constexpr TiffTagRule kRowsPerStrip{Tag_RowsPerStrip, kShort | kLong, true, 0};
constexpr TiffTagRule kStripOffsets{Tag_StripOffsets, kLong, true, 0};
constexpr TiffTagRule kStripByteCounts{Tag_StripByteCounts, kLong, true, 0};
constexpr TiffTagRule kXResolution{Tag_XResolution, kRational, true, 0};
constexpr TiffTagRule kYResolution{Tag_YResolution, kRational, true, 0};
constexpr TiffTagRule kResolutionUnit{Tag_ResolutionUnit, kShort, false, 2};
constexpr TiffTagRule kSamplesPerPixel{Tag_SamplesPerPixel, kShort, false, 1};
constexpr TiffTagRule kBitsPerSample{Tag_BitsPerSample, kShort, false, 1};
constexpr TiffTagRule kFillOrder{Tag_FillOrder, kShort, false, 1};
constexpr TiffTagRule kPlanarConfiguration{Tag_PlanarConfiguration, kShort, false, 1};
constexpr TiffTagRule kPredictor{Tag_Predictor, kShort, false, 1};
constexpr TiffTagRule kT4Options{Tag_T4Options, kLong, false, 0};
constexpr TiffTagRule kT6Options{Tag_T6Options, kLong, false, 0};

// TIFF's "one strip for the whole image" value of RowsPerStrip.
constexpr std::uint32_t kRowsPerStripWholeImage = 0xFFFFFFFFu;

}  // namespace

// Presence, count 1, type and value of a single-valued tag. A RATIONAL
// yields the offset of its two LONGs.
std::uint32_t CTiffView::ReadTag(const TiffTagRule& rule, std::uint32_t& value) {
    TiffIFD_t* entry = FindIFD(rule.tag);
    if (entry == nullptr) {
        if (rule.required) return WithTag(TV_ERR_TAG_MISSING, rule.tag);
        value = rule.fallback;
        return TV_OK;
    }
    if (entry->Count != 1) return WithTag(TV_ERR_TAG_COUNT, rule.tag);
    if (!rule.Accepts(entry->Type)) return WithTag(TV_ERR_TAG_TYPE, rule.tag);
    value = entry->Type == kTypeShort ? GetU16(entry->Value) : GetU32(entry->Value);
    return TV_OK;
}

// Reads a tag whose value needs no check into `member`, leaving the member
// alone on failure.
template <typename Member>
std::uint32_t CTiffView::ReadInto(const TiffTagRule& rule, Member& member) {
    std::uint32_t value = 0;
    const std::uint32_t result = ReadTag(rule, value);
    if (result == TV_OK) member = static_cast<Member>(value);
    return result;
}

// Reads `bytes` bytes of a value array stored at `offset`, with the codes
// of the tag that points at it.
std::uint32_t CTiffView::ReadValueArray(TiffIFDTag tag, std::uint32_t offset, void* dest, std::uint32_t bytes) {
    if (!tvplatform::SeekTo(FileHandle, offset)) return WithTag(TV_ERR_TAG_SEEK, tag);
    if (tvplatform::ReadBytes(FileHandle, dest, bytes) < bytes) return WithTag(TV_ERR_TAG_READ, tag);
    return TV_OK;
}

// A strip table holds one LONG per strip: inside the entry for a single
// strip, elsewhere in the file for several.
std::uint32_t CTiffView::ReadStripTable(const TiffTagRule& rule, std::vector<std::uint32_t>& table) {
    const TiffIFDTag tag = rule.tag;
    table.clear();
    TiffIFD_t* entry = FindIFD(tag);
    if (entry == nullptr) return WithTag(TV_ERR_TAG_MISSING, tag);
    if (entry->Count != StripsPerImage) return WithTag(TV_ERR_TAG_COUNT, tag);
    if (!rule.Accepts(entry->Type)) return WithTag(TV_ERR_TAG_TYPE, tag);
    try {
        if (StripsPerImage == 1) {
            table.assign(1, GetU32(entry->Value));
            return TV_OK;
        }
        const std::uint32_t offset = GetU32(entry->Value);
        if (offset < kFirstValueOffset) return WithTag(TV_ERR_TAG_VALUE, tag);
        if (!tvplatform::SeekTo(FileHandle, offset)) return WithTag(TV_ERR_TAG_SEEK, tag);
        // A count the file cannot hold would fail its read anyway; refuse it
        // before it sizes an allocation.
        const std::uint64_t bytes = std::uint64_t{4} * StripsPerImage;
        const std::uint64_t fileSize = tvplatform::FileSize(FileHandle);
        if (bytes > fileSize || offset > fileSize - bytes) return WithTag(TV_ERR_TAG_READ, tag);
        table.resize(StripsPerImage);
        std::uint32_t result = ReadValueArray(tag, offset, table.data(), static_cast<std::uint32_t>(bytes));
        if (result != TV_OK) return result;
        for (std::uint32_t& value : table) value = GetU32(reinterpret_cast<unsigned char*>(&value));
    } catch (const std::bad_alloc&) {
        table.clear();
        return TV_ERR_NO_MEMORY;
    }
    return TV_OK;
}

std::uint32_t CTiffView::ReadResolution(TiffIFDTag tag, double& member) {
    const TiffTagRule& rule = tag == Tag_XResolution ? kXResolution : kYResolution;
    std::uint32_t offset = 0;
    std::uint32_t result = ReadTag(rule, offset);
    if (result != TV_OK) return result;
    if (offset < kFirstValueOffset) return WithTag(TV_ERR_TAG_VALUE, tag);
    unsigned char rational[8];
    result = ReadValueArray(tag, offset, rational, sizeof rational);
    if (result != TV_OK) return result;
    const std::uint32_t numerator = GetU32(rational);
    const std::uint32_t denominator = GetU32(rational + 4);
    if (denominator == 0) return WithTag(TV_ERR_TAG_VALUE, tag);
    member = static_cast<double>(numerator) / static_cast<double>(denominator);
    return TV_OK;
}

std::uint32_t CTiffView::IFD_ImageWidth() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(kImageWidth, value);
    if (result != TV_OK) return result;
    Width = value;
    if (value == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_ImageWidth);
    LineByte = static_cast<std::uint32_t>((std::uint64_t{value} + 7) / 8);
    return TV_OK;
}

std::uint32_t CTiffView::IFD_ImageLength() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(kImageLength, value);
    if (result != TV_OK) return result;
    Length = value;
    return value == 0 ? WithTag(TV_ERR_TAG_VALUE, Tag_ImageLength) : TV_OK;
}

std::uint32_t CTiffView::IFD_Compression() { return ReadInto(kCompression, Compression); }

std::uint32_t CTiffView::IFD_PhotometricInterpretation() { return ReadInto(kPhotometric, PhotometricInterpretation); }

std::uint32_t CTiffView::IFD_RowsPerStrip() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(kRowsPerStrip, value);
    if (result != TV_OK) return result;
    RowsPerStrip = value;
    if (value == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_RowsPerStrip);
    if (value == kRowsPerStripWholeImage) {
        StripsPerImage = 1;
        RowsPerStrip = Length;
    } else {
        StripsPerImage = static_cast<std::uint32_t>((std::uint64_t{Length} + value - 1) / value);
    }
    StripByte = LineByte * RowsPerStrip;
    return TV_OK;
}

std::uint32_t CTiffView::IFD_StripOffsets() { return ReadStripTable(kStripOffsets, StripOffsets); }

std::uint32_t CTiffView::IFD_StripByteCounts() { return ReadStripTable(kStripByteCounts, StripByteCounts); }

std::uint32_t CTiffView::IFD_XResolution() { return ReadResolution(Tag_XResolution, XResolution); }

std::uint32_t CTiffView::IFD_YResolution() { return ReadResolution(Tag_YResolution, YResolution); }


std::uint32_t CTiffView::IFD_ResolutionUnit() {
    return ReadInto(kResolutionUnit, ResolutionUnit);
}

std::uint32_t CTiffView::IFD_SamplesPerPixel() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(kSamplesPerPixel, value);
    if (result != TV_OK) return result;
    return value == 1 ? TV_OK : TV_ERR_SAMPLES_PER_PIXEL;
}

std::uint32_t CTiffView::IFD_BitsPerSample() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(kBitsPerSample, value);
    if (result != TV_OK) return result;
    return value == 1 ? TV_OK : TV_ERR_BITS_PER_SAMPLE;
}

std::uint32_t CTiffView::IFD_FillOrder() {
    return ReadInto(kFillOrder, FillOrder);
}

std::uint32_t CTiffView::IFD_PlanarConfiguration() {
    return ReadInto(kPlanarConfiguration, PlanarConfiguration);
}

std::uint32_t CTiffView::IFD_Predictor() {
    return ReadInto(kPredictor, Predictor);
}

std::uint32_t CTiffView::IFD_T4Options() {
    const std::uint32_t result = ReadInto(kT4Options, T4Options);
    if (result != TV_OK) return result;
    // Group 3 is decoded one-dimensionally: a page that announces
    // two-dimensional coding (bit 0) or uncompressed mode (bit 1) is refused
    // rather than decoded into wrong lines.
    constexpr std::uint32_t kCodingBeyondOneDimensional = 0x3;
    if (Compression == 3 && (T4Options & kCodingBeyondOneDimensional) != 0) {
        return WithTag(TV_ERR_TAG_VALUE, Tag_T4Options);
    }
    return TV_OK;
}

std::uint32_t CTiffView::IFD_T6Options() {
    return ReadInto(kT6Options, T6Options);
}
