// TIFF's compression schemes, each named once: what the Compression tag's
// numbers mean, which of them the any-bilevel profile reads, and why it
// refuses the others. The page reader, the messages and the tool use it.
#ifndef TIFFVIEW_CORE_COMPRESSIONS_H
#define TIFFVIEW_CORE_COMPRESSIONS_H

#include <cstdint>
#include <string>

namespace tvcore {

enum class CodingKind {
    builtIn,     // decoded by the library itself
    optional,    // decoded through a library found when this one was built
    notRead,     // may hold bi-level pages, but this library has no decoder
    notBilevel,  // made for other images (JPEG, colour, floating point, ...)
};

struct CompressionScheme {
    std::uint32_t number;
    const char* name;
    CodingKind kind;
    const char* library;  // optional: what the build needs for it
};

// The scheme of `number`, or null for a number TIFF does not know.
const CompressionScheme* FindCompression(std::uint32_t number);

// Its name ("Deflate", "CCITT T.6 (Group 4)"), or "unknown".
const char* CompressionName(std::uint32_t number);

// Whether this build decodes pages of `number` in the any-bilevel profile.
bool CompressionReadable(std::uint32_t number);

// Why the any-bilevel profile refuses `number`, naming it, e.g.
// "Compression 34712 (JPEG 2000): not a bi-level coding.".
std::string DescribeRefusedCompression(std::uint32_t number);

}  // namespace tvcore

#endif
