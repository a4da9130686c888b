// Human-readable names for what the library reports: result codes, their
// English messages, compression schemes and photometric values.
#ifndef TIFFVIEW_TOOLS_TOOLTEXT_H
#define TIFFVIEW_TOOLS_TOOLTEXT_H

#include <cstdint>
#include <string>

namespace tvtool {

// The constant's name of a result code ("TV_ERR_TAG_MISSING"), looked up
// after masking off the context bits; "unknown" for values the library
// never produces.
const char* ResultName(std::uint32_t code);

// The context carried in bits 8..23, spelled out: "tag 282 XResolution"
// for tag checks, "strip 3" (or "tile 3" on a tiled page) for strip reads,
// empty otherwise.
std::string ResultContext(std::uint32_t code, bool tiled = false);

// The library's English sentence for `code` (TiffView_GetErrorText).
std::string ResultMessage(std::uint32_t code);

// "0xF0011A30 TV_ERR_TAG_MISSING (tag 282 XResolution): <message>".
std::string DescribeResult(std::uint32_t code, bool tiled = false);

const char* TagName(std::uint16_t tag);
const char* CompressionName(std::uint32_t compression);
const char* PhotometricName(std::uint32_t photometric);
const char* ResolutionUnitName(std::uint32_t unit);
const char* FillOrderName(std::uint32_t fillOrder);
const char* OrientationName(std::uint32_t orientation);
// T4Options (group3) or T6Options with their bits named:
// "5 (2-D coding, fill bits)", "0 (none)".
std::string FaxOptionsText(std::uint32_t options, bool group3);

// "0x" followed by eight upper-case hex digits.
std::string Hex32(std::uint32_t value);

}  // namespace tvtool

#endif
