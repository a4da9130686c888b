// Every entry of a page's directory with its values, for describing a page
// rather than reading it: tags the library never uses are listed too.
#ifndef TIFFVIEW_CORE_TAGVALUES_H
#define TIFFVIEW_CORE_TAGVALUES_H

#include <cstdint>
#include <string>
#include <vector>

namespace tvcore {

class Document;

struct TagValue {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    std::string text;                  // ASCII: up to the first NUL
    std::vector<std::int64_t> integers;  // every integer type, signed ones sign-extended
    std::vector<double> reals;         // RATIONAL, SRATIONAL, FLOAT, DOUBLE
    // Every value is listed (false when there were more than the limit,
    // or when they lie outside the file or are of an unknown type).
    bool complete = true;
};

// Reads the entries of page `index`, in directory order, with at most
// `maxValues` values (or characters) each; TV_OK, or why the directory
// cannot be read.
std::uint32_t ReadTagValues(const Document& document, std::uint32_t index, std::uint32_t maxValues,
                            std::vector<TagValue>& values);

}  // namespace tvcore

#endif
