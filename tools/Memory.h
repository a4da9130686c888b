// The memory a page needs before it is decoded, so that a file whose
// header claims an enormous page is refused at once instead of taking the
// machine's memory and running for hours.
#ifndef TIFFVIEW_TOOLS_MEMORY_H
#define TIFFVIEW_TOOLS_MEMORY_H

#include <cstdint>
#include <string>

#include "Pages.h"

struct TiffInfo_t;
struct TiffPageInfo_t;

namespace tvtool {

// What is done with the decoded lines, which decides the writer's buffers.
enum class LineSink { Check, Pbm, Png };

// "262144", "256K", "256M", "1G" (multiples of 1024, either case); false
// for anything else or for values past 2^64.
bool ParseByteCount(const std::string& text, std::uint64_t& bytes);

// "300 bytes", "64 KiB", "476.8 MiB", "2.8 GiB".
std::string ByteText(std::uint64_t bytes);

// Estimated peak memory of decoding the page: the tool's line buffer and
// the writer's rows, the library's strip buffer (the largest strip or
// tile, but no more than the file holds), a row of tiles on tiled pages,
// the decoder's working lines and, for fax pages, its arrays of colour
// changes, which are bounded by the width and by the strip's bits.
std::uint64_t PageMemoryNeed(const TiffInfo_t& info, const TiffPageInfo_t& page, std::uint64_t fileSize,
                             bool strict, LineSink sink);

// Parses page `page` of the file the library knows as `path` and compares
// its need with options.maxMemory. Returns the library's code when the page
// cannot be parsed; otherwise TV_OK, with `refusal` empty when the page
// fits and otherwise saying what it needs, the limit and how to raise it.
std::uint32_t CheckPageMemory(const std::string& path, std::uint64_t fileSize, const ReadOptions& options,
                              std::uint32_t page, LineSink sink, std::string& refusal);

}  // namespace tvtool

#endif
