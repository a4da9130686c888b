// The texts of the result codes, each code declared once: its constant's
// name, its fixed GBK message and its English sentence.
//
// The GBK messages are byte strings ending in CR LF, written as byte
// escapes so that no source encoding can change them.
#include "core/ResultTexts.h"

#include <cstring>

namespace {

struct CodeText {
    std::uint32_t code;
    const char* name;
    const char* gbk;      // null: the default message
    const char* english;  // distinct for every code, so that a sentence alone tells the code
};

// clang-format off
constexpr CodeText kCodes[] = {
    {TV_OK, "TV_OK",
     nullptr,
     "Success."},
    {TV_ERR_FILE_HANDLE, "TV_ERR_FILE_HANDLE",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xBE\xE4\xB1\xFA\xB7\xC7\xB7\xA8\x0D\x0A",
     "The reader is not in a state for this call: a file is already open, or no file was opened successfully."},
    {TV_ERR_PATH_LENGTH, "TV_ERR_PATH_LENGTH",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xC2\xB7\xBE\xB6\xB3\xA4\xB6\xC8\xB7\xC7\xB7\xA8\x0D\x0A",
     "The file name is empty or longer than 260 bytes."},
    {TV_ERR_FILE_OPEN, "TV_ERR_FILE_OPEN",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xB4\xF2\xBF\xAA\xB4\xED\xCE\xF3\x0D\x0A",
     "The file cannot be opened for reading."},
    {TV_ERR_LINE_BUFFER, "TV_ERR_LINE_BUFFER",
     "\xD0\xD0\xBB\xBA\xB3\xE5\xC7\xF8\xCC\xAB\xD0\xA1\x0D\x0A",
     "The line buffer is missing or smaller than one line of the image."},
    {TV_ERR_HEADER_SHORT, "TV_ERR_HEADER_SHORT",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xD0\xA1\xD3\xDA\xCE\xC4\xBC\xFE\xCD\xB7\xB3\xA4\xB6\xC8\x0D\x0A",
     "The file is shorter than its TIFF header or a directory's next-directory link."},
    {TV_ERR_BYTE_ORDER, "TV_ERR_BYTE_ORDER",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xB2\xBB\xD2\xD4\"II\"\xBB\xF2\xD5\xDF\"MM\"\xBF\xAA\xCD\xB7\x0D\x0A",
     "Not a TIFF file: it does not start with \"II\" or \"MM\"."},
    {TV_ERR_MAGIC, "TV_ERR_MAGIC",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFEID\xB2\xBB\xCA\xC7" "42\x0D\x0A",
     "Not a TIFF file: the identifier after the byte order is not 42 (BigTIFF is not read)."},
    {TV_ERR_IFD_OFFSET_ZERO, "TV_ERR_IFD_OFFSET_ZERO",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFEIDF\xC6\xAB\xD2\xC6\xC1\xBF\xCE\xAA" "0\x0D\x0A",
     "The file has no image directory: the first directory offset is 0."},
    {TV_ERR_PAGE_MISSING, "TV_ERR_PAGE_MISSING",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xD2\xB3\xBA\xC5\xB2\xBB\xB4\xE6\xD4\xDA\x0D\x0A",
     "The selected page does not exist in this file."},
    {TV_ERR_PAGE_OPTION, "TV_ERR_PAGE_OPTION",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xD2\xB3\xBA\xC5\xB7\xC7\xB7\xA8\x0D\x0A",
     "Pages other than the first need the any-bilevel reading option."},
    {TV_ERR_FILE_SHORT, "TV_ERR_FILE_SHORT",
     "\xCD\xBC\xCF\xF3\xCE\xC4\xBC\xFE\xD0\xA1\xD3\xDA\xCE\xC4\xBC\xFE\xCD\xB7\xB3\xA4\xB6\xC8\x0D\x0A",
     "A directory offset points past the end of the file."},
    {TV_ERR_IFD_COUNT_READ, "TV_ERR_IFD_COUNT_READ",
     "\xB6\xC1\xC8\xA1IFD\xB8\xF6\xCA\xFD\xCA\xA7\xB0\xDC\x0D\x0A",
     "The entry count of an image directory cannot be read."},
    {TV_ERR_IFD_READ, "TV_ERR_IFD_READ",
     "\xB6\xC1\xC8\xA1IFD\xCA\xA7\xB0\xDC\x0D\x0A",
     "An image directory cannot be read, or the directory chain loops or is too long."},
    {TV_ERR_TAG_MISSING, "TV_ERR_TAG_MISSING",
     "\xB1\xD8\xD0\xEB\xB5\xC4IFD\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD\x0D\x0A",
     "A required tag is missing."},
    {TV_ERR_TAG_COUNT, "TV_ERR_TAG_COUNT",
     "IFD\xCA\xFD\xBE\xDD\xCA\xFD\xC1\xBF\xB2\xBB\xBA\xCF\xB7\xA8\x0D\x0A",
     "A tag has the wrong number of values."},
    {TV_ERR_TAG_TYPE, "TV_ERR_TAG_TYPE",
     "IFD\xC0\xE0\xD0\xCD\xB2\xBB\xBA\xCF\xB7\xA8\x0D\x0A",
     "A tag has a field type this reader does not accept."},
    {TV_ERR_TAG_VALUE, "TV_ERR_TAG_VALUE",
     "IFD\xB2\xCE\xCA\xFD\xB2\xBB\xBA\xCF\xB7\xA8\x0D\x0A",
     "A tag has a value this reader does not accept."},
    {TV_ERR_TAG_SEEK, "TV_ERR_TAG_SEEK",
     "IFD\xB2\xCE\xCA\xFD\xB1\xED\xCE\xDE\xB7\xA8\xB6\xA8\xCE\xBB\x0D\x0A",
     "A tag's values lie at a position that cannot be reached."},
    {TV_ERR_TAG_READ, "TV_ERR_TAG_READ",
     "IFD\xB2\xCE\xCA\xFD\xB1\xED\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\x0D\x0A",
     "A tag's values cannot be read: they lie past the end of the file."},
    {TV_ERR_SAMPLES_PER_PIXEL, "TV_ERR_SAMPLES_PER_PIXEL",
     "SAMPLESPERPIXEL\xB2\xBB\xCE\xAA" "1\x0D\x0A",
     "Not a bi-level image: more than one sample per pixel."},
    {TV_ERR_BITS_PER_SAMPLE, "TV_ERR_BITS_PER_SAMPLE",
     "BITSPERSAMPLE\xB2\xBB\xCE\xAA" "1\x0D\x0A",
     "Not a bi-level image: more than one bit per sample."},
    {TV_ERR_COMPRESSION, "TV_ERR_COMPRESSION",
     "\xD1\xB9\xCB\xF5\xCB\xE3\xB7\xA8\xB2\xBB\xD6\xA7\xB3\xD6\x0D\x0A",
     "The compression scheme is not supported."},
    {TV_ERR_PHOTOMETRIC, "TV_ERR_PHOTOMETRIC",
     "PHOTOMETRICINTERPRETATION\xB2\xBB\xD6\xA7\xB3\xD6\x0D\x0A",
     "The photometric interpretation is not bi-level (WhiteIsZero or BlackIsZero)."},
    {TV_ERR_NO_MEMORY, "TV_ERR_NO_MEMORY",
     "\xC4\xDA\xB4\xE6\xB7\xD6\xC5\xE4\xCA\xA7\xB0\xDC\x0D\x0A",
     "Not enough memory, or the image needs more than the reader allows."},
    {TV_ERR_END_OF_IMAGE, "TV_ERR_END_OF_IMAGE",
     "\xCE\xC4\xBC\xFE\xD2\xD1\xBE\xAD\xB6\xC1\xC8\xA1\xCD\xEA\xB1\xCF\x0D\x0A",
     "Every line of the image has been read already."},
    {TV_ERR_DECODE, "TV_ERR_DECODE",
     "\xCE\xC4\xBC\xFE\xBD\xE2\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\x0D\x0A",
     "The compressed data cannot be decoded; no line was delivered."},
    {TV_ERR_STRIP_SHORT, "TV_ERR_STRIP_SHORT",
     "\xCC\xF5\xB4\xF8\xCA\xFD\xBE\xDD\xC6\xAB\xC9\xD9,\xCC\xEE\xB3\xE4" "0\x0D\x0A",
     "Warning: a strip decoded to fewer rows than it should; the line is padded with white."},
    {TV_ERR_STRIP_LONG, "TV_ERR_STRIP_LONG",
     "\xCC\xF5\xB4\xF8\xCA\xFD\xBE\xDD\xC6\xAB\xB6\xE0,\xC9\xBE\xB3\xFD\xB6\xE0\xD3\xE0\x0D\x0A",
     "Warning: a strip decoded to more rows than it should; the surplus is dropped."},
    {TV_ERR_LINE_SHORT, "TV_ERR_LINE_SHORT",
     "\xCC\xF5\xB4\xF8\xCA\xFD\xBE\xDD\xC6\xAB\xC9\xD9,\xCC\xEE\xB3\xE4" "0\x0D\x0A",
     "Warning: the image data ran out within this line; the rest is padded with white."},
    {TV_ERR_LINE_DAMAGED, "TV_ERR_LINE_DAMAGED",
     "\xD0\xD0\xCA\xFD\xBE\xDD\xCB\xF0\xBB\xB5\x0D\x0A",
     "Warning: this line's coding is damaged or out of step (a bad code, an EOL inside the line, or no EOL before it); it is delivered as far as it could be decoded, the rest white."},
    {TV_ERR_ARGUMENT, "TV_ERR_ARGUMENT",
     "\xB2\xCE\xCA\xFD\xB7\xC7\xB7\xA8\x0D\x0A",
     "An argument is missing or unusable: a null pointer, or a struct whose size field is not set."},
    {TV_ERR_STRIP_SEEK, "TV_ERR_STRIP_SEEK",
     "\xCA\xFD\xBE\xDD\xBF\xE9\xCE\xDE\xB7\xA8\xB6\xA8\xCE\xBB\x0D\x0A",
     "A strip's data lies at a position that cannot be reached; no line was delivered."},
    {TV_ERR_STRIP_READ, "TV_ERR_STRIP_READ",
     "\xCA\xFD\xBE\xDD\xBF\xE9\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\x0D\x0A",
     "A strip's data cannot be read in full; no line was delivered."},
};
// clang-format on

const CodeText* Find(std::uint32_t code) {
    const std::uint32_t kind = code & TV_CODE_MASK;
    for (const CodeText& c : kCodes) {
        if (c.code == kind) return &c;
    }
    return nullptr;
}

constexpr const char kUnknownEnglish[] = "Unknown result code: not one this library returns.";

constexpr const char kUndefined[] = "\xCE\xB4\xB6\xA8\xD2\xE5\xB4\xED\xCE\xF3\x0D\x0A";

}  // namespace

extern "C" void TiffView_GetErrorString(std::uint32_t code, char* text) {
    // Success has no message of its own: it yields the default one.
    const CodeText* found = code & TV_CODE_MASK ? Find(code) : nullptr;
    const char* message = found != nullptr && found->gbk != nullptr ? found->gbk : kUndefined;
    std::memcpy(text, message, std::strlen(message) + 1);
}

extern "C" const char* TiffView_GetErrorText(std::uint32_t code) {
    const CodeText* found = Find(code);
    return found != nullptr ? found->english : kUnknownEnglish;
}

namespace tvcore {

const char* CodeName(std::uint32_t code) {
    // Success is exactly 0; a context in an otherwise clean code is not success.
    if (code == TV_OK) return "TV_OK";
    const CodeText* found = (code & TV_CODE_MASK) != TV_OK ? Find(code) : nullptr;
    return found != nullptr ? found->name : "unknown";
}

}  // namespace tvcore
