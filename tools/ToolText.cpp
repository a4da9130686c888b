#include "ToolText.h"

#include <cstdio>

#include "TiffViewCodes.h"
#include "core/Compressions.h"
#include "core/ResultTexts.h"
#include "core/Tags.h"

namespace tvtool {

namespace {

std::uint32_t Kind(std::uint32_t code) { return code & 0xFFu; }
std::uint32_t Context(std::uint32_t code) { return (code >> 8) & 0xFFFFu; }

}  // namespace

const char* ResultName(std::uint32_t code) { return tvcore::CodeName(code); }

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
    // A tag the library does not know is shown by its number alone.
    return tvcore::FindTag(tag) != nullptr ? tvcore::TagName(tag) : "";
}

const char* CompressionName(std::uint32_t compression) { return tvcore::CompressionName(compression); }

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
