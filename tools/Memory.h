// The memory a page needs before it is decoded, so that a file whose
// header claims an enormous page is refused at once instead of taking the
// machine's memory and running for hours.
#ifndef TIFFVIEW_TOOLS_MEMORY_H
#define TIFFVIEW_TOOLS_MEMORY_H

#include <cstdint>
#include <string>

#include "Pages.h"

namespace tvtool {

// What is done with the decoded lines, which decides the writer's buffers.
enum class LineSink { Check, Pbm, Png };

// "262144", "256K", "256M", "1G" (multiples of 1024, either case); false
// for anything else or for values past 2^64.
bool ParseByteCount(const std::string& text, std::uint64_t& bytes);

// "300 bytes", "64 KiB", "476.8 MiB", "2.8 GiB".
std::string ByteText(std::uint64_t bytes);

// What the estimate needs to know of a page.
struct PageShape {
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t compression = 1;
    bool tiled = false;
    std::uint32_t tileWidth = 0;  // 0 with tiled: not known yet
    std::uint32_t tileLength = 0;
    std::uint64_t largestChunk = 0;
    // Rows turned upright (2..8) need the whole page in memory; 1 when the
    // rows are written as stored.
    std::uint16_t orientation = 1;
};

// The open page, tables and all.
PageShape ShapeOf(const tiffview::PageInfo& info);
// A page known by its summary only: without its tables, so that the
// estimate made of it is the least the page can need.
PageShape ShapeOf(const tiffview::PageSummary& summary);

// Estimated peak memory of decoding the page: the tool's line buffer and
// the writer's rows, the library's strip buffer (the largest strip or
// tile, but no more than the file holds), a row of tiles on tiled pages,
// the decoder's working lines and, for fax pages, its arrays of colour
// changes, which are bounded by the width and by the strip's bits; and,
// when a converted page is turned upright, the whole page and one row of
// the turned image.
std::uint64_t PageMemoryNeed(const PageShape& page, std::uint64_t fileSize, bool strict, LineSink sink);

// Why page `page` of the file open in `reader` is not even opened: its
// summary alone needs more than options.maxMemory and more than 64 MiB.
// Empty when it may be opened.
std::string RefusalBySummary(const tiffview::Reader& reader, std::uint64_t fileSize, const ReadOptions& options,
                             std::uint32_t page, LineSink sink);

// Opens page `page` in `reader`, which holds the file of `fileSize` bytes,
// if its need fits options.maxMemory. Returns the library's code when the
// page cannot be opened; otherwise TV_OK, with `refusal` empty when the
// page fits and is open, and otherwise saying what it needs, the limit and
// how to raise it. A page RefusalBySummary refuses is refused before the
// library allocates anything for it.
std::uint32_t OpenWithinLimit(tiffview::Reader& reader, std::uint64_t fileSize, const ReadOptions& options,
                              std::uint32_t page, LineSink sink, std::string& refusal);

}  // namespace tvtool

#endif
