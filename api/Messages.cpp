#include <cstring>

#include "TiffViewCodes.h"
#include "api/Messages.h"
#include "core/Compressions.h"
#include "core/Tags.h"

namespace tvapi {

namespace {

// What a user can do next, for the refusals that have a remedy.
const char* HintFor(std::uint32_t kind, bool strictRefusal) {
    switch (kind) {
    case TV_ERR_PAGE_OPTION:
        return "Read with the any-bilevel profile to select other pages.";
    case TV_ERR_PAGE_MISSING:
        return "Pages are counted from 0; the page count tells how many there are.";
    case TV_ERR_FILE_OPEN:
        return "Check the path and the file's permissions.";
    case TV_ERR_BYTE_ORDER:
    case TV_ERR_MAGIC:
        return "Is this a TIFF file?";
    default:
        return strictRefusal ? "The strict profile refuses it; the any-bilevel profile may read it." : "";
    }
}

bool IsTagKind(std::uint32_t kind) { return kind >= TV_ERR_TAG_MISSING && kind <= TV_ERR_TAG_READ; }

}  // namespace

std::string DescribeResult(std::uint32_t code, const std::string& source, std::uint32_t page, int systemError) {
    const std::uint32_t kind = code & TV_CODE_MASK;
    const std::uint32_t context = (code >> 8) & 0xFFFFu;
    std::string text = source + ": ";
    if (page != 0 || kind == TV_ERR_PAGE_MISSING) text += "page " + std::to_string(page) + ": ";
    if (IsTagKind(kind)) {
        text += "tag " + std::to_string(context) + " (" + tvcore::TagName(static_cast<std::uint16_t>(context)) + "): ";
    } else if ((kind == TV_ERR_STRIP_SEEK || kind == TV_ERR_STRIP_READ) && context != 0) {
        text += "strip or tile " + std::to_string(context) + ": ";
    }
    text += TiffView_GetErrorText(code);
    if (systemError != 0) text += std::string(" (") + std::strerror(systemError) + ")";
    const bool strictRefusal = IsTagKind(kind) || kind == TV_ERR_COMPRESSION || kind == TV_ERR_PHOTOMETRIC;
    const std::string hint = HintFor(kind, strictRefusal);
    if (!hint.empty()) text += " " + hint;
    return text;
}

std::string DescribeRefusedCompression(const std::string& source, std::uint32_t page, std::uint32_t compression) {
    std::string text = source + ": ";
    if (page != 0) text += "page " + std::to_string(page) + ": ";
    return text + tvcore::DescribeRefusedCompression(compression);
}

std::string DescribeLineBuffer(const std::string& source, std::size_t given, std::size_t needed) {
    return source + ": " + TiffView_GetErrorText(TV_ERR_LINE_BUFFER) + " It holds " + std::to_string(given) +
           " bytes; a line needs " + std::to_string(needed) + ".";
}

}  // namespace tvapi
