// The TIFF tags the library knows, each declared once: its number, its
// name, the field types each profile accepts, whether each profile requires
// it and the value an absent tag takes. The directory readers of both
// profiles, the messages and the tool all read their rules and names from
// here.
#ifndef TIFFVIEW_CORE_TAGS_H
#define TIFFVIEW_CORE_TAGS_H

#include <cstdint>

namespace tvcore {

// TIFF field types.
enum FieldType : std::uint16_t {
    kTypeByte = 1,
    kTypeAscii = 2,
    kTypeShort = 3,
    kTypeLong = 4,
    kTypeRational = 5,
    kTypeSByte = 6,
    kTypeUndefined = 7,
    kTypeSShort = 8,
    kTypeSLong = 9,
    kTypeSRational = 10,
    kTypeFloat = 11,
    kTypeDouble = 12,
    kTypeIfd = 13,
    // BigTIFF's 64-bit integers, met in classic files too.
    kTypeLong8 = 16,
    kTypeSLong8 = 17,
    kTypeIfd8 = 18,
};

constexpr unsigned TypeBit(std::uint16_t type) { return type < 32 ? 1u << type : 0u; }
constexpr unsigned kShortOnly = TypeBit(kTypeShort);
constexpr unsigned kLongOnly = TypeBit(kTypeLong);
constexpr unsigned kShortOrLong = kShortOnly | kLongOnly;
constexpr unsigned kRationalOnly = TypeBit(kTypeRational);
// Every integer type libtiff converts to a tag's own width, range checked.
// IFD and IFD8 are not among them: libtiff refuses them for these tags.
constexpr unsigned kAnyInteger = TypeBit(kTypeByte) | kShortOrLong | TypeBit(kTypeSByte) | TypeBit(kTypeSShort) |
                                 TypeBit(kTypeSLong) | TypeBit(kTypeLong8) | TypeBit(kTypeSLong8);

// How one profile treats a tag.
struct TagRule {
    unsigned types;   // TypeBit of every field type accepted
    bool required;    // absent: TV_ERR_TAG_MISSING
    // Present but unreadable (type, count, range): the page is refused, as
    // libtiff refuses it; otherwise the tag is ignored, as libtiff ignores it.
    bool unreadableRefuses;
};

// The count of a table tag: one value per strip or tile.
constexpr std::uint32_t kCountPerChunk = 0;
// The count of a tag that holds text or any number of values.
constexpr std::uint32_t kCountAny = 0xFFFFFFFFu;

struct TagInfo {
    std::uint16_t number;
    const char* name;
    std::uint32_t count;     // values it holds (kCountPerChunk for the tables)
    std::uint32_t fallback;  // the value of an absent optional tag
    std::uint32_t largest;   // the largest value libtiff keeps (its 16 or 32 bits)
    // The fax/scanner profile: SHORT/LONG as TIFF 6.0 prescribes them, and
    // the resolutions required.
    TagRule strict;
    // Any bi-level page: every integer type, TIFF's defaults, as libtiff reads them.
    TagRule lenient;
};

// The tag numbers the readers look up.
enum TagNumber : std::uint16_t {
    kNewSubfileType = 254,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanarConfiguration = 284,
    kT4Options = 292,
    kT6Options = 293,
    kResolutionUnit = 296,
    kPredictor = 317,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
    // Described by `tiffview info`, never read to decode a page.
    kSubfileType = 255,
    kDocumentName = 269,
    kImageDescription = 270,
    kMake = 271,
    kModel = 272,
    kPageName = 285,
    kPageNumber = 297,
    kSoftware = 305,
    kDateTime = 306,
    kArtist = 315,
    kHostComputer = 316,
    kBadFaxLines = 326,
    kCleanFaxData = 327,
    kConsecutiveBadFaxLines = 328,
    kCopyright = 33432,
};

// The declaration of `number`, or null for a tag the library does not know.
const TagInfo* FindTag(std::uint16_t number);
// The declaration of a tag the library knows (one of TagNumber).
const TagInfo& Tag(TagNumber number);
// The tag's TIFF name, or "unknown tag".
const char* TagName(std::uint16_t number);

}  // namespace tvcore

#endif
