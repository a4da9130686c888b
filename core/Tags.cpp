#include "core/Tags.h"

namespace tvcore {

namespace {

constexpr TagRule kOptional{0, false};

// clang-format off
constexpr TagInfo kTags[] = {
    // number               name                         count           fallback     strict                        lenient
    {kNewSubfileType,      "NewSubfileType",             1,              0,           kOptional,                    {kAnyUnsigned, false}},
    {kImageWidth,          "ImageWidth",                 1,              0,           {kShortOrLong, true},         {kAnyUnsigned, true}},
    {kImageLength,         "ImageLength",                1,              0,           {kShortOrLong, true},         {kAnyUnsigned, true}},
    {kBitsPerSample,       "BitsPerSample",              1,              1,           {kShortOnly, false},          {kAnyUnsigned, false}},
    {kCompression,         "Compression",                1,              1,           {kShortOnly, true},           {kAnyUnsigned, false}},
    // Absent on a bi-level page: white is zero, as fax pages store it.
    {kPhotometric,         "PhotometricInterpretation",  1,              0,           {kShortOnly, true},           {kAnyUnsigned, false}},
    {kFillOrder,           "FillOrder",                  1,              1,           {kShortOnly, false},          {kAnyUnsigned, false}},
    {kStripOffsets,        "StripOffsets",               kCountPerChunk, 0,           {kLongOnly, true},            {kShortOrLong, true}},
    {kOrientation,         "Orientation",                1,              1,           {kShortOnly, false},          {kAnyUnsigned, false}},
    {kSamplesPerPixel,     "SamplesPerPixel",            1,              1,           {kShortOnly, false},          {kAnyUnsigned, false}},
    // TIFF's "one strip for the whole image".
    {kRowsPerStrip,        "RowsPerStrip",               1,              0xFFFFFFFFu, {kShortOrLong, true},         {kAnyUnsigned, false}},
    {kStripByteCounts,     "StripByteCounts",            kCountPerChunk, 0,           {kLongOnly, true},            {kShortOrLong, true}},
    {kXResolution,         "XResolution",                1,              0,           {kRationalOnly, true},        {kAnyUnsigned | kRationalOnly, false}},
    {kYResolution,         "YResolution",                1,              0,           {kRationalOnly, true},        {kAnyUnsigned | kRationalOnly, false}},
    {kPlanarConfiguration, "PlanarConfiguration",        1,              1,           {kShortOnly, false},          {kAnyUnsigned, false}},
    {kT4Options,           "T4Options",                  1,              0,           {kLongOnly, false},           {kAnyUnsigned, false}},
    {kT6Options,           "T6Options",                  1,              0,           {kLongOnly, false},           {kAnyUnsigned, false}},
    {kResolutionUnit,      "ResolutionUnit",             1,              2,           {kShortOnly, false},          {kAnyUnsigned, false}},
    {kPredictor,           "Predictor",                  1,              1,           {kShortOnly, false},          {kAnyUnsigned, false}},
    {kColorMap,            "ColorMap",                   6,              0,           kOptional,                    {kShortOnly, true}},
    {kTileWidth,           "TileWidth",                  1,              0,           kOptional,                    {kAnyUnsigned, true}},
    {kTileLength,          "TileLength",                 1,              0,           kOptional,                    {kAnyUnsigned, true}},
    {kTileOffsets,         "TileOffsets",                kCountPerChunk, 0,           kOptional,                    {kShortOrLong, true}},
    {kTileByteCounts,      "TileByteCounts",             kCountPerChunk, 0,           kOptional,                    {kShortOrLong, true}},
    // Named for descriptions only: neither profile reads them.
    {kSubfileType,         "SubfileType",                1,              0,           kOptional,                    kOptional},
    {kDocumentName,        "DocumentName",               kCountAny,      0,           kOptional,                    kOptional},
    {kImageDescription,    "ImageDescription",           kCountAny,      0,           kOptional,                    kOptional},
    {kMake,                "Make",                       kCountAny,      0,           kOptional,                    kOptional},
    {kModel,               "Model",                      kCountAny,      0,           kOptional,                    kOptional},
    {kPageName,            "PageName",                   kCountAny,      0,           kOptional,                    kOptional},
    {kPageNumber,          "PageNumber",                 2,              0,           kOptional,                    kOptional},
    {kSoftware,            "Software",                   kCountAny,      0,           kOptional,                    kOptional},
    {kDateTime,            "DateTime",                   20,             0,           kOptional,                    kOptional},
    {kArtist,              "Artist",                     kCountAny,      0,           kOptional,                    kOptional},
    {kHostComputer,        "HostComputer",               kCountAny,      0,           kOptional,                    kOptional},
    {kBadFaxLines,         "BadFaxLines",                1,              0,           kOptional,                    kOptional},
    {kCleanFaxData,        "CleanFaxData",               1,              0,           kOptional,                    kOptional},
    {kConsecutiveBadFaxLines, "ConsecutiveBadFaxLines",  1,              0,           kOptional,                    kOptional},
    {kCopyright,           "Copyright",                  kCountAny,      0,           kOptional,                    kOptional},
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
