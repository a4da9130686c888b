// Tag readers of the strict profile: each tag's field types, whether it is
// required and its default come from the library's tag table; the checks
// follow from that declaration in a fixed order (presence, count, type,
// value).
#include <limits>
#include <new>

#include "TiffView.h"
#include "classic/Detail.h"
#include "core/Tags.h"

namespace {

constexpr std::uint16_t kTypeShort = tvcore::kTypeShort;

// Failures of a tag reader carry the tag number in bits 8..23.
constexpr std::uint32_t WithTag(std::uint32_t code, TiffIFDTag tag) {
    return code | (static_cast<std::uint32_t>(tag) << 8);
}

// Values below this offset would point into the 8-byte header.
constexpr std::uint32_t kFirstValueOffset = 8;

// TIFF's "one strip for the whole image" value of RowsPerStrip.
constexpr std::uint32_t kRowsPerStripWholeImage = 0xFFFFFFFFu;

const tvcore::TagInfo& Declared(TiffIFDTag tag) { return tvcore::Tag(static_cast<tvcore::TagNumber>(tag)); }

bool Accepts(const tvcore::TagInfo& tag, std::uint16_t type) { return (tag.strict.types & tvcore::TypeBit(type)) != 0; }

}  // namespace

// Presence, count 1, type and value of a single-valued tag. A RATIONAL
// yields the offset of its two LONGs.
std::uint32_t CTiffView::ReadTag(TiffIFDTag tag, std::uint32_t& value) {
    const tvcore::TagInfo& rule = Declared(tag);
    TiffIFD_t* entry = FindIFD(tag);
    if (entry == nullptr) {
        if (rule.strict.required) return WithTag(TV_ERR_TAG_MISSING, tag);
        value = rule.fallback;
        return TV_OK;
    }
    if (entry->Count != rule.count) return WithTag(TV_ERR_TAG_COUNT, tag);
    if (!Accepts(rule, entry->Type)) return WithTag(TV_ERR_TAG_TYPE, tag);
    value = entry->Type == kTypeShort ? GetU16(entry->Value) : GetU32(entry->Value);
    return TV_OK;
}

// Reads a tag whose value needs no check into `member`, leaving the member
// alone on failure.
template <typename Member>
std::uint32_t CTiffView::ReadInto(TiffIFDTag tag, Member& member) {
    std::uint32_t value = 0;
    const std::uint32_t result = ReadTag(tag, value);
    if (result == TV_OK) member = static_cast<Member>(value);
    return result;
}

// Reads `bytes` bytes of a value array stored at `offset`, with the codes
// of the tag that points at it.
std::uint32_t CTiffView::ReadValueArray(TiffIFDTag tag, std::uint32_t offset, void* dest, std::uint32_t bytes) {
    if (!Extra->Seek(offset)) return WithTag(TV_ERR_TAG_SEEK, tag);
    if (Extra->Read(dest, bytes) < bytes) return WithTag(TV_ERR_TAG_READ, tag);
    return TV_OK;
}

// A strip table holds one LONG per strip: inside the entry for a single
// strip, elsewhere in the file for several.
std::uint32_t CTiffView::ReadStripTable(TiffIFDTag tag, std::vector<std::uint32_t>& table) {
    table.clear();
    TiffIFD_t* entry = FindIFD(tag);
    if (entry == nullptr) return WithTag(TV_ERR_TAG_MISSING, tag);
    if (entry->Count != StripsPerImage) return WithTag(TV_ERR_TAG_COUNT, tag);
    if (!Accepts(Declared(tag), entry->Type)) return WithTag(TV_ERR_TAG_TYPE, tag);
    try {
        if (StripsPerImage == 1) {
            table.assign(1, GetU32(entry->Value));
            return TV_OK;
        }
        const std::uint32_t offset = GetU32(entry->Value);
        if (offset < kFirstValueOffset) return WithTag(TV_ERR_TAG_VALUE, tag);
        if (!Extra->Seek(offset)) return WithTag(TV_ERR_TAG_SEEK, tag);
        // A count the file cannot hold would fail its read anyway; refuse it
        // before it sizes an allocation.
        const std::uint64_t bytes = std::uint64_t{4} * StripsPerImage;
        const std::uint64_t fileSize = Extra->source->Size();
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
    std::uint32_t offset = 0;
    std::uint32_t result = ReadTag(tag, offset);
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
    std::uint32_t result = ReadTag(Tag_ImageWidth, value);
    if (result != TV_OK) return result;
    Width = value;
    if (value == 0) return WithTag(TV_ERR_TAG_VALUE, Tag_ImageWidth);
    LineByte = static_cast<std::uint32_t>((std::uint64_t{value} + 7) / 8);
    return TV_OK;
}

std::uint32_t CTiffView::IFD_ImageLength() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(Tag_ImageLength, value);
    if (result != TV_OK) return result;
    Length = value;
    return value == 0 ? WithTag(TV_ERR_TAG_VALUE, Tag_ImageLength) : TV_OK;
}

std::uint32_t CTiffView::IFD_Compression() { return ReadInto(Tag_Compression, Compression); }

std::uint32_t CTiffView::IFD_PhotometricInterpretation() { return ReadInto(Tag_PhotometricInterpretation, PhotometricInterpretation); }

std::uint32_t CTiffView::IFD_RowsPerStrip() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(Tag_RowsPerStrip, value);
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

std::uint32_t CTiffView::IFD_StripOffsets() { return ReadStripTable(Tag_StripOffsets, StripOffsets); }

std::uint32_t CTiffView::IFD_StripByteCounts() { return ReadStripTable(Tag_StripByteCounts, StripByteCounts); }

std::uint32_t CTiffView::IFD_XResolution() { return ReadResolution(Tag_XResolution, XResolution); }

std::uint32_t CTiffView::IFD_YResolution() { return ReadResolution(Tag_YResolution, YResolution); }


std::uint32_t CTiffView::IFD_ResolutionUnit() {
    return ReadInto(Tag_ResolutionUnit, ResolutionUnit);
}

std::uint32_t CTiffView::IFD_SamplesPerPixel() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(Tag_SamplesPerPixel, value);
    if (result != TV_OK) return result;
    return value == 1 ? TV_OK : TV_ERR_SAMPLES_PER_PIXEL;
}

std::uint32_t CTiffView::IFD_BitsPerSample() {
    std::uint32_t value = 0;
    std::uint32_t result = ReadTag(Tag_BitsPerSample, value);
    if (result != TV_OK) return result;
    return value == 1 ? TV_OK : TV_ERR_BITS_PER_SAMPLE;
}

std::uint32_t CTiffView::IFD_FillOrder() {
    return ReadInto(Tag_FillOrder, FillOrder);
}

std::uint32_t CTiffView::IFD_PlanarConfiguration() {
    return ReadInto(Tag_PlanarConfiguration, PlanarConfiguration);
}

std::uint32_t CTiffView::IFD_Predictor() {
    return ReadInto(Tag_Predictor, Predictor);
}

std::uint32_t CTiffView::IFD_T4Options() {
    const std::uint32_t result = ReadInto(Tag_T4Options, T4Options);
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
    return ReadInto(Tag_T6Options, T6Options);
}
