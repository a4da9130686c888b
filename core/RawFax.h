// Raw CCITT fax streams: fax data without a TIFF container, as fax software
// keeps it and as PDF's CCITTFaxDecode filter carries it. A stream is one
// page, described by its parameters instead of tags, and read by the same
// line engine and fax decoder as a TIFF page's single strip.
#ifndef TIFFVIEW_CORE_RAWFAX_H
#define TIFFVIEW_CORE_RAWFAX_H

#include <cstdint>

namespace tvcore {

class Source;
struct PageLayout;

struct RawFax {
    // 2: modified Huffman (rows from byte boundaries, no EOLs), 3: Group 3,
    // 4: Group 4.
    std::uint32_t compression = 3;
    bool twoDimensional = false;  // Group 3: a tag bit after each EOL tells how the line is coded
    std::uint32_t width = 1728;
    std::uint32_t rows = 0;       // 0: as many as the stream holds
    bool byteAligned = false;     // each row (Group 4) or EOL (Group 3) starts at a byte boundary
    bool blackIs1 = false;        // the stream's black runs come out as 0, its white runs as 1
    bool lsbFirst = false;        // bits filled from each byte's least significant bit
};

// The one page of the stream in `source`: TV_OK, TV_ERR_ARGUMENT for
// parameters no stream can have, TV_ERR_FILE_SHORT when the rows are to be
// counted and the stream holds none, TV_ERR_NO_MEMORY. Counting reads the
// stream once, to the end of its block (EOFB, RTC) or of its data.
std::uint32_t ReadRawFaxLayout(Source& source, const RawFax& fax, PageLayout& layout);

}  // namespace tvcore

#endif
