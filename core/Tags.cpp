#include "core/Tags.h"

namespace tvcore {

namespace {

constexpr TagRule kOptional{0, false, false};
constexpr std::uint32_t k16 = 0xFFFF;
constexpr std::uint32_t k32 = 0xFFFFFFFFu;
// Lenient rules. Ignored when unreadable, or refusing the page as libtiff does.
constexpr TagRule kIgnored{kAnyInteger, false, false};
constexpr TagRule kFatal{kAnyInteger, false, true};
constexpr TagRule kNeeded{kAnyInteger, true, true};
constexpr TagRule kTable{kAnyInteger, true, true};

// clang-format off
constexpr TagInfo kTags[] = {
    // number               name                         count           fallback     largest  strict                               lenient
    {kNewSubfileType,      "NewSubfileType",             1,              0,           k32,     kOptional,                           kIgnored},
    {kImageWidth,          "ImageWidth",                 1,              0,           k32,     {kShortOrLong, true, true},          kNeeded},
    {kImageLength,         "ImageLength",                1,              0,           k32,     {kShortOrLong, true, true},          kNeeded},
    {kBitsPerSample,       "BitsPerSample",              1,              1,           k16,     {kShortOnly, false, true},           kFatal},
    {kCompression,         "Compression",                1,              1,           k16,     {kShortOnly, true, true},            kFatal},
    // Absent, or unreadable and ignored: assumed from the compression.
    {kPhotometric,         "PhotometricInterpretation",  1,              0,           k16,     {kShortOnly, true, true},            kIgnored},
    {kFillOrder,           "FillOrder",                  1,              1,           k16,     {kShortOnly, false, true},           kIgnored},
    {kStripOffsets,        "StripOffsets",               kCountPerChunk, 0,           k32,     {kLongOnly, true, true},             kTable},
    {kOrientation,         "Orientation",                1,              1,           k16,     {kShortOnly, false, true},           kIgnored},
    {kSamplesPerPixel,     "SamplesPerPixel",            1,              1,           k16,     {kShortOnly, false, true},           kFatal},
    // TIFF's "one strip for the whole image".
    {kRowsPerStrip,        "RowsPerStrip",               1,              0xFFFFFFFFu, k32,     {kShortOrLong, true, true},          kFatal},
    {kStripByteCounts,     "StripByteCounts",            kCountPerChunk, 0,           k32,     {kLongOnly, true, true},             kTable},
    {kXResolution,         "XResolution",                1,              0,           k32,     {kRationalOnly, true, true},         {kAnyInteger | kRationalOnly, false, false}},
    {kYResolution,         "YResolution",                1,              0,           k32,     {kRationalOnly, true, true},         {kAnyInteger | kRationalOnly, false, false}},
    {kPlanarConfiguration, "PlanarConfiguration",        1,              1,           k16,     {kShortOnly, false, true},           kFatal},
    {kT4Options,           "T4Options",                  1,              0,           k32,     {kLongOnly, false, true},            kIgnored},
    {kT6Options,           "T6Options",                  1,              0,           k32,     {kLongOnly, false, true},            kIgnored},
    {kResolutionUnit,      "ResolutionUnit",             1,              2,           k16,     {kShortOnly, false, true},           kIgnored},
    {kPredictor,           "Predictor",                  1,              1,           k16,     {kShortOnly, false, true},           kIgnored},
    {kColorMap,            "ColorMap",                   6,              0,           k16,     kOptional,                           {kShortOnly, true, true}},
    // Absent beside the other, as libtiff takes them: ImageWidth and RowsPerStrip.
    {kTileWidth,           "TileWidth",                  1,              0,           k32,     kOptional,                           kFatal},
    {kTileLength,          "TileLength",                 1,              0,           k32,     kOptional,                           kFatal},
    {kTileOffsets,         "TileOffsets",                kCountPerChunk, 0,           k32,     kOptional,                           kTable},
    {kTileByteCounts,      "TileByteCounts",             kCountPerChunk, 0,           k32,     kOptional,                           kTable},
    // Named for descriptions only: neither profile reads them.
    {kSubfileType,         "SubfileType",                1,              0,           k16,     kOptional,                           kOptional},
    {kDocumentName,        "DocumentName",               kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kImageDescription,    "ImageDescription",           kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kMake,                "Make",                       kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kModel,               "Model",                      kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kPageName,            "PageName",                   kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kPageNumber,          "PageNumber",                 2,              0,           k16,     kOptional,                           kOptional},
    {kSoftware,            "Software",                   kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kDateTime,            "DateTime",                   20,             0,           k32,     kOptional,                           kOptional},
    {kArtist,              "Artist",                     kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kHostComputer,        "HostComputer",               kCountAny,      0,           k32,     kOptional,                           kOptional},
    {kBadFaxLines,         "BadFaxLines",                1,              0,           k32,     kOptional,                           kOptional},
    {kCleanFaxData,        "CleanFaxData",               1,              0,           k16,     kOptional,                           kOptional},
    {kConsecutiveBadFaxLines, "ConsecutiveBadFaxLines",  1,              0,           k32,     kOptional,                           kOptional},
    {kCopyright,           "Copyright",                  kCountAny,      0,           k32,     kOptional,                           kOptional},
};
// clang-format on

}  // namespace

const TagInfo* FindTag(std::uint16_t number) {
    for (const TagInfo& tag : kTags) {
        if (tag.number == number) return &tag;
    }
    return nullptr;
}

const TagInfo& Tag(TagNumber number) {
    // Every TagNumber is declared above; the first entry stands in only
    // for a number that is not, which the enumeration does not allow.
    const TagInfo* tag = FindTag(number);
    return tag != nullptr ? *tag : kTags[0];
}

const char* TagName(std::uint16_t number) {
    const TagInfo* tag = FindTag(number);
    return tag != nullptr ? tag->name : "unknown tag";
}

}  // namespace tvcore
