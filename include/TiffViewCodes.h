// tiffview's result codes and their texts, on their own so that every part
// of the library (the decoders included) and every interface share them.
//
// A code is an unsigned 32-bit number: 0 is success; a failure has 0xF0 in
// bits 24..31 and its kind in bits 0..7; bits 8..23 carry the TIFF tag
// number (kinds 0x30..0x35) or the strip index (kinds 0x60, 0x61,
// multi-strip images only).
#ifndef TIFFVIEW_TIFFVIEWCODES_H
#define TIFFVIEW_TIFFVIEWCODES_H

#include <cstddef>
#include <cstdint>

#ifndef TIFFVIEW_API
// The shared library hides every symbol but the ones marked here.
#define TIFFVIEW_API __attribute__((visibility("default")))
#endif

// Compare a failure against these base values after masking the code with
// TV_CODE_MASK.
constexpr std::uint32_t TV_OK = 0x00000000u;
constexpr std::uint32_t TV_ERR_FILE_HANDLE = 0xF0000001u;
constexpr std::uint32_t TV_ERR_PATH_LENGTH = 0xF0000002u;
constexpr std::uint32_t TV_ERR_FILE_OPEN = 0xF0000003u;
constexpr std::uint32_t TV_ERR_HEADER_SHORT = 0xF0000010u;
constexpr std::uint32_t TV_ERR_BYTE_ORDER = 0xF0000011u;
constexpr std::uint32_t TV_ERR_MAGIC = 0xF0000012u;
constexpr std::uint32_t TV_ERR_IFD_OFFSET_ZERO = 0xF0000013u;
constexpr std::uint32_t TV_ERR_PAGE_MISSING = 0xF0000014u;
constexpr std::uint32_t TV_ERR_PAGE_OPTION = 0xF0000015u;
constexpr std::uint32_t TV_ERR_FILE_SHORT = 0xF0000020u;
constexpr std::uint32_t TV_ERR_IFD_COUNT_READ = 0xF0000021u;
constexpr std::uint32_t TV_ERR_IFD_READ = 0xF0000022u;
constexpr std::uint32_t TV_ERR_TAG_MISSING = 0xF0000030u;
constexpr std::uint32_t TV_ERR_TAG_COUNT = 0xF0000031u;
constexpr std::uint32_t TV_ERR_TAG_TYPE = 0xF0000032u;
constexpr std::uint32_t TV_ERR_TAG_VALUE = 0xF0000033u;
constexpr std::uint32_t TV_ERR_TAG_SEEK = 0xF0000034u;
constexpr std::uint32_t TV_ERR_TAG_READ = 0xF0000035u;
constexpr std::uint32_t TV_ERR_SAMPLES_PER_PIXEL = 0xF0000040u;
constexpr std::uint32_t TV_ERR_BITS_PER_SAMPLE = 0xF0000041u;
constexpr std::uint32_t TV_ERR_COMPRESSION = 0xF0000042u;
constexpr std::uint32_t TV_ERR_PHOTOMETRIC = 0xF0000043u;
constexpr std::uint32_t TV_ERR_NO_MEMORY = 0xF0000050u;
constexpr std::uint32_t TV_ERR_END_OF_IMAGE = 0xF0000051u;
constexpr std::uint32_t TV_ERR_DECODE = 0xF0000052u;
constexpr std::uint32_t TV_ERR_STRIP_SHORT = 0xF0000053u;
constexpr std::uint32_t TV_ERR_STRIP_LONG = 0xF0000054u;
constexpr std::uint32_t TV_ERR_LINE_SHORT = 0xF0000055u;
// The caller's line buffer is missing or smaller than a line (the checked
// interfaces in TiffViewReader.hpp and TiffViewC.h only).
constexpr std::uint32_t TV_ERR_LINE_BUFFER = 0xF0000056u;
// Warning: the line's coding was damaged or out of step (a bad code, an EOL
// inside the line, a line found without the EOL that should start it); the
// line is delivered as far as it could be decoded, the rest white.
constexpr std::uint32_t TV_ERR_LINE_DAMAGED = 0xF0000057u;
// A call's argument is missing or unusable: a null pointer, a struct whose
// size field is not set (the modern interfaces only).
constexpr std::uint32_t TV_ERR_ARGUMENT = 0xF0000058u;
constexpr std::uint32_t TV_ERR_STRIP_SEEK = 0xF0000060u;
constexpr std::uint32_t TV_ERR_STRIP_READ = 0xF0000061u;

// Clears the context bits (tag number or strip index) of a result code.
constexpr std::uint32_t TV_CODE_MASK = 0xFF0000FFu;

// True for the codes ReadALine returns with the line delivered: its pixels
// are not wholly as coded, but reading can go on.
constexpr bool TiffView_IsWarning(std::uint32_t code) {
    return (code & TV_CODE_MASK) == TV_ERR_STRIP_SHORT || (code & TV_CODE_MASK) == TV_ERR_STRIP_LONG ||
           (code & TV_CODE_MASK) == TV_ERR_LINE_SHORT || (code & TV_CODE_MASK) == TV_ERR_LINE_DAMAGED;
}

// The longest message, with its CR LF and terminating zero, fits this size.
constexpr std::size_t TV_MESSAGE_SIZE = 34;

extern "C" {
// Writes the GBK message of `code` (ending in CR LF) and a zero byte into
// `text`, which must hold at least TV_MESSAGE_SIZE bytes.
TIFFVIEW_API void TiffView_GetErrorString(std::uint32_t code, char* text);
// A distinct English (UTF-8) sentence for every result code, without its
// tag or strip context; codes the library never returns get one sentence
// of their own. The text is static and never freed.
TIFFVIEW_API const char* TiffView_GetErrorText(std::uint32_t code);
}

#endif
