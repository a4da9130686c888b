#include "core/Compressions.h"

namespace tvcore {

namespace {

// Optional codecs exist only when their library was found at build time.
#if defined(TIFFVIEW_WITH_DEFLATE) && TIFFVIEW_WITH_DEFLATE
constexpr bool kHaveDeflate = true;
#else
constexpr bool kHaveDeflate = false;
#endif
#if defined(TIFFVIEW_WITH_JBIG) && TIFFVIEW_WITH_JBIG
constexpr bool kHaveJbig = true;
#else
constexpr bool kHaveJbig = false;
#endif

constexpr CompressionScheme kSchemes[] = {
    {1, "none", CodingKind::builtIn, nullptr},
    {2, "CCITT modified Huffman RLE", CodingKind::builtIn, nullptr},
    {3, "CCITT T.4 (Group 3)", CodingKind::builtIn, nullptr},
    {4, "CCITT T.6 (Group 4)", CodingKind::builtIn, nullptr},
    {5, "LZW", CodingKind::builtIn, nullptr},
    {6, "old-style JPEG", CodingKind::notBilevel, nullptr},
    {7, "JPEG", CodingKind::notBilevel, nullptr},
    {8, "Deflate", CodingKind::optional, "libdeflate"},
    {9, "JBIG (T.85)", CodingKind::notRead, nullptr},
    {10, "JBIG colour (T.43)", CodingKind::notRead, nullptr},
    {32766, "NeXT 2-bit", CodingKind::notBilevel, nullptr},
    {32771, "CCITT RLEW", CodingKind::notRead, nullptr},
    {32773, "PackBits", CodingKind::builtIn, nullptr},
    {32809, "ThunderScan 4-bit", CodingKind::notBilevel, nullptr},
    {32895, "IT8 CT padding", CodingKind::notBilevel, nullptr},
    {32896, "IT8 linework", CodingKind::notBilevel, nullptr},
    {32897, "IT8 monochrome picture", CodingKind::notBilevel, nullptr},
    {32898, "IT8 binary line art", CodingKind::notRead, nullptr},
    {32908, "Pixar film", CodingKind::notBilevel, nullptr},
    {32909, "Pixar log", CodingKind::notBilevel, nullptr},
    {32946, "Deflate (PKZIP)", CodingKind::optional, "libdeflate"},
    {32947, "Kodak DCS", CodingKind::notBilevel, nullptr},
    {34661, "JBIG", CodingKind::optional, "jbigkit"},
    {34676, "SGI LogLuv", CodingKind::notBilevel, nullptr},
    {34677, "SGI LogLuv 24-bit", CodingKind::notBilevel, nullptr},
    {34712, "JPEG 2000", CodingKind::notBilevel, nullptr},
    {34887, "LERC", CodingKind::notRead, nullptr},
    {34925, "LZMA", CodingKind::notRead, nullptr},
    {50000, "Zstandard", CodingKind::notRead, nullptr},
    {50001, "WebP", CodingKind::notBilevel, nullptr},
    {50002, "JPEG XL", CodingKind::notBilevel, nullptr},
};

bool Built(std::uint32_t number) {
    if (number == 8 || number == 32946) return kHaveDeflate;
    if (number == 34661) return kHaveJbig;
    return false;
}

// The decoder an optional scheme lacks, as a user would look for it.
const char* DecoderName(std::uint32_t number) { return number == 34661 ? "JBIG" : "Deflate"; }

}  // namespace

const CompressionScheme* FindCompression(std::uint32_t number) {
    for (const CompressionScheme& scheme : kSchemes) {
        if (scheme.number == number) return &scheme;
    }
    return nullptr;
}

const char* CompressionName(std::uint32_t number) {
    const CompressionScheme* scheme = FindCompression(number);
    return scheme != nullptr ? scheme->name : "unknown";
}

bool CompressionReadable(std::uint32_t number) {
    const CompressionScheme* scheme = FindCompression(number);
    if (scheme == nullptr) return false;
    return scheme->kind == CodingKind::builtIn || (scheme->kind == CodingKind::optional && Built(number));
}

std::string DescribeRefusedCompression(std::uint32_t number) {
    std::string text = "Compression " + std::to_string(number);
    const CompressionScheme* scheme = FindCompression(number);
    if (scheme == nullptr) return text + ": not a compression scheme TIFF defines.";
    text += std::string(" (") + scheme->name + "): ";
    switch (scheme->kind) {
    case CodingKind::notBilevel:
        return text + "not a bi-level coding.";
    case CodingKind::notRead:
        return text + "this library has no decoder for it.";
    case CodingKind::optional:
        if (!Built(number)) return text + "this build has no " + DecoderName(number) + " decoder (" + scheme->library + ").";
        break;
    case CodingKind::builtIn:
        break;
    }
    return text + "read by this library.";
}

}  // namespace tvcore
