#include "ToolText.h"

#include <cstdio>

#include "TiffView.h"

namespace tvtool {

namespace {

struct CodeName {
    std::uint32_t code;
    const char* name;
};

constexpr CodeName kCodeNames[] = {
    {TV_OK, "TV_OK"},
    {TV_ERR_FILE_HANDLE, "TV_ERR_FILE_HANDLE"},
    {TV_ERR_PATH_LENGTH, "TV_ERR_PATH_LENGTH"},
    {TV_ERR_FILE_OPEN, "TV_ERR_FILE_OPEN"},
    {TV_ERR_HEADER_SHORT, "TV_ERR_HEADER_SHORT"},
    {TV_ERR_BYTE_ORDER, "TV_ERR_BYTE_ORDER"},
    {TV_ERR_MAGIC, "TV_ERR_MAGIC"},
    {TV_ERR_IFD_OFFSET_ZERO, "TV_ERR_IFD_OFFSET_ZERO"},
    {TV_ERR_PAGE_MISSING, "TV_ERR_PAGE_MISSING"},
    {TV_ERR_PAGE_OPTION, "TV_ERR_PAGE_OPTION"},
    {TV_ERR_FILE_SHORT, "TV_ERR_FILE_SHORT"},
    {TV_ERR_IFD_COUNT_READ, "TV_ERR_IFD_COUNT_READ"},
    {TV_ERR_IFD_READ, "TV_ERR_IFD_READ"},
    {TV_ERR_TAG_MISSING, "TV_ERR_TAG_MISSING"},
    {TV_ERR_TAG_COUNT, "TV_ERR_TAG_COUNT"},
    {TV_ERR_TAG_TYPE, "TV_ERR_TAG_TYPE"},
    {TV_ERR_TAG_VALUE, "TV_ERR_TAG_VALUE"},
    {TV_ERR_TAG_SEEK, "TV_ERR_TAG_SEEK"},
    {TV_ERR_TAG_READ, "TV_ERR_TAG_READ"},
    {TV_ERR_SAMPLES_PER_PIXEL, "TV_ERR_SAMPLES_PER_PIXEL"},
    {TV_ERR_BITS_PER_SAMPLE, "TV_ERR_BITS_PER_SAMPLE"},
    {TV_ERR_COMPRESSION, "TV_ERR_COMPRESSION"},
    {TV_ERR_PHOTOMETRIC, "TV_ERR_PHOTOMETRIC"},
    {TV_ERR_NO_MEMORY, "TV_ERR_NO_MEMORY"},
    {TV_ERR_END_OF_IMAGE, "TV_ERR_END_OF_IMAGE"},
    {TV_ERR_DECODE, "TV_ERR_DECODE"},
    {TV_ERR_STRIP_SHORT, "TV_ERR_STRIP_SHORT"},
    {TV_ERR_STRIP_LONG, "TV_ERR_STRIP_LONG"},
    {TV_ERR_LINE_SHORT, "TV_ERR_LINE_SHORT"},
    {TV_ERR_LINE_DAMAGED, "TV_ERR_LINE_DAMAGED"},
    {TV_ERR_STRIP_SEEK, "TV_ERR_STRIP_SEEK"},
    {TV_ERR_STRIP_READ, "TV_ERR_STRIP_READ"},
};

struct TagNameEntry {
    std::uint16_t tag;
    const char* name;
};

constexpr TagNameEntry kTagNames[] = {
    {256, "ImageWidth"},       {257, "ImageLength"},     {258, "BitsPerSample"},
    {259, "Compression"},      {262, "PhotometricInterpretation"},
    {266, "FillOrder"},        {273, "StripOffsets"},    {274, "Orientation"},
    {277, "SamplesPerPixel"},  {278, "RowsPerStrip"},    {279, "StripByteCounts"},
    {282, "XResolution"},      {283, "YResolution"},     {284, "PlanarConfiguration"},
    {292, "T4Options"},        {293, "T6Options"},       {296, "ResolutionUnit"},
    {317, "Predictor"},        {322, "TileWidth"},       {323, "TileLength"},
    {324, "TileOffsets"},      {325, "TileByteCounts"},
};

std::uint32_t Kind(std::uint32_t code) { return code & 0xFFu; }
std::uint32_t Context(std::uint32_t code) { return (code >> 8) & 0xFFFFu; }

}  // namespace

const char* ResultName(std::uint32_t code) {
    const std::uint32_t base = code & TV_CODE_MASK;
    // Success is exactly 0; a context in an otherwise clean code is not success.
    if (code == TV_OK) return "TV_OK";
    if (base == TV_OK) return "unknown";
    for (const CodeName& entry : kCodeNames)
        if (entry.code == base) return entry.name;
    return "unknown";
}

std::string ResultContext(std::uint32_t code, bool tiled) {
    if ((code >> 24) != 0xF0u) return std::string();
    const std::uint32_t kind = Kind(code);
    const std::uint32_t context = Context(code);
    char text[64];
    if (kind >= 0x30 && kind <= 0x35) {
        const char* name = TagName(static_cast<std::uint16_t>(context));
        std::snprintf(text, sizeof text, "tag %u%s%s", static_cast<unsigned>(context), *name ? " " : "", name);
        return text;
    }
    if ((kind == 0x60 || kind == 0x61) && context != 0) {
        std::snprintf(text, sizeof text, "%s %u", tiled ? "tile" : "strip", static_cast<unsigned>(context));
        return text;
    }
    return std::string();
}

std::string ResultMessage(std::uint32_t code) { return TiffView_GetErrorText(code); }

std::string DescribeResult(std::uint32_t code, bool tiled) {
    std::string text = Hex32(code);
    text += ' ';
    text += ResultName(code);
    const std::string context = ResultContext(code, tiled);
    if (!context.empty()) text += " (" + context + ")";
    text += ": ";
    text += ResultMessage(code);
    return text;
}

const char* TagName(std::uint16_t tag) {
    for (const TagNameEntry& entry : kTagNames)
        if (entry.tag == tag) return entry.name;
    return "";
}

const char* CompressionName(std::uint32_t compression) {
    switch (compression) {
    case 1: return "none";
    case 2: return "CCITT modified Huffman RLE";
    case 3: return "CCITT T.4 (Group 3)";
    case 4: return "CCITT T.6 (Group 4)";
    case 5: return "LZW";
    case 7: return "JPEG";
    case 8: return "Deflate";
    case 32773: return "PackBits";
    default: return "unknown";
    }
}

const char* PhotometricName(std::uint32_t photometric) {
    switch (photometric) {
    case 0: return "WhiteIsZero";
    case 1: return "BlackIsZero";
    case 2: return "RGB";
    case 3: return "Palette";
    default: return "unknown";
    }
}

const char* ResolutionUnitName(std::uint32_t unit) {
    switch (unit) {
    case 1: return "no absolute unit";
    case 2: return "dots per inch";
    case 3: return "dots per centimetre";
    default: return "unknown unit";
    }
}

const char* FillOrderName(std::uint32_t fillOrder) {
    switch (fillOrder) {
    case 1: return "most significant bit first";
    case 2: return "least significant bit first";
    default: return "unknown";
    }
}

const char* OrientationName(std::uint32_t orientation) {
    // Where row 0 and column 0 of the stored image belong on the page.
    switch (orientation) {
    case 1: return "row 0 top, column 0 left";
    case 2: return "row 0 top, column 0 right";
    case 3: return "row 0 bottom, column 0 right";
    case 4: return "row 0 bottom, column 0 left";
    case 5: return "row 0 left, column 0 top";
    case 6: return "row 0 right, column 0 top";
    case 7: return "row 0 right, column 0 bottom";
    case 8: return "row 0 left, column 0 bottom";
    default: return "unknown";
    }
}

std::string FaxOptionsText(std::uint32_t options, bool group3) {
    std::string text = std::to_string(options) + " (";
    if (group3) text += options & 1u ? "2-D coding" : "1-D coding";
    if (options & 2u) text += group3 ? ", uncompressed mode" : "uncompressed mode";
    if (group3 && (options & 4u)) text += ", fill bits";
    const std::uint32_t known = group3 ? 7u : 2u;
    if (options & ~known) {
        if (text.back() != '(') text += ", ";
        text += "other bits " + Hex32(options & ~known);
    }
    if (text.back() == '(') text += "none";
    return text + ")";
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace tvtool
