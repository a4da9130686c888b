#include "Memory.h"

#include <algorithm>
#include <cstdio>


namespace tvtool {

namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = kKiB * 1024;
constexpr std::uint64_t kGiB = kMiB * 1024;

// The strict reader reads strips through a window of at least this size.
constexpr std::uint64_t kStripWindow = 64 * kKiB;
// Fixed-size decoder storage (the strict fax decoder's first arrays, the
// LZW string table and the least ring) and the deflate state of the PNG
// writer, rounded up.
constexpr std::uint64_t kDecoderTables = 2 * kMiB;
constexpr std::uint64_t kDeflateState = 512 * kKiB;
// The any-bilevel Group 3 and modified Huffman decoder keeps two arrays of
// 8-byte colour-change positions, two a pixel at most, up to 2^22 each, and
// a line of 64-pixel words with 128 pixels to spare.
constexpr std::uint64_t kGroup3MostChanges = std::uint64_t{1} << 22;

constexpr std::uint32_t kPackBits = 32773;

// What opening a page to read its strip table may cost at most: a page
// that needs less is opened whatever the limit, so that a refusal names
// its exact need.
constexpr std::uint64_t kOpenedToWeigh = 64 * kMiB;

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return b == 0 ? 0 : (a + b - 1) / b; }

// The decoder's working storage for lines of `width` pixels from strips of
// up to `largest` bytes.
std::uint64_t DecoderNeed(std::uint32_t compression, std::uint64_t width, std::uint64_t largest, bool strict) {
    const std::uint64_t line = CeilDiv(width, 8);
    switch (compression) {
    case 2:
    case 3:
        if (!strict) return 2 * 8 * (std::min(2 * width, kGroup3MostChanges) + 32) + 8 * ((width + 128) / 64 + 1);
        [[fallthrough]];
    case 4: {
        // The line being built and the reference line, and the positions of
        // a line's colour changes, 8 bytes each, in one array (two for
        // Group 4). A line has at most width + 2 of them and no more than
        // its data has bits; a grown array is copied, so for a moment it is
        // there three times over.
        const std::uint64_t arrays = compression == 4 ? 2 : 1;
        const std::uint64_t changes = std::min(width + 2, 8 * largest + 2);
        return 2 * line + 3 * arrays * 8 * changes + kDecoderTables;
    }
    case 5:  // a ring of output of up to about two lines
        return 2 * line + kDecoderTables;
    case kPackBits:  // the row being unpacked
        return line;
    default:
        return 0;
    }
}

// The --max-memory value that would let `need` through.
std::string Suggestion(std::uint64_t need) {
    const std::uint64_t mebibytes = CeilDiv(need, kMiB);
    if (mebibytes < 1024) return std::to_string(mebibytes) + "M";
    return std::to_string(CeilDiv(need, kGiB)) + "G";
}

}  // namespace

bool ParseByteCount(const std::string& text, std::uint64_t& bytes) {
    std::uint64_t value = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    if (i == 0) return false;
    std::uint64_t unit = 1;
    if (i < text.size()) {
        switch (text[i]) {
        case 'k': case 'K': unit = kKiB; break;
        case 'm': case 'M': unit = kMiB; break;
        case 'g': case 'G': unit = kGiB; break;
        default: return false;
        }
        if (++i != text.size()) return false;
    }
    if (value > UINT64_MAX / unit) return false;
    bytes = value * unit;
    return true;
}

std::string ByteText(std::uint64_t bytes) {
    struct Unit {
        std::uint64_t size;
        const char* name;
    };
    constexpr Unit kUnits[] = {{kGiB, "GiB"}, {kMiB, "MiB"}, {kKiB, "KiB"}};
    for (const Unit& unit : kUnits) {
        if (bytes < unit.size) continue;
        char text[64];
        if (bytes % unit.size == 0)
            std::snprintf(text, sizeof text, "%llu %s", static_cast<unsigned long long>(bytes / unit.size), unit.name);
        else
            std::snprintf(text, sizeof text, "%.1f %s", static_cast<double>(bytes) / static_cast<double>(unit.size),
                          unit.name);
        return text;
    }
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

PageShape ShapeOf(const tiffview::PageInfo& info) {
    PageShape page;
    page.width = info.width();
    page.length = info.length();
    page.compression = info.compression();
    page.tiled = info.tiled();
    page.tileWidth = info.tile_width();
    page.tileLength = info.tile_length();
    for (const tiffview::Chunk& chunk : info.chunks()) page.largestChunk = std::max(page.largestChunk, chunk.byte_count);
    page.orientation = info.orientation();
    return page;
}

PageShape ShapeOf(const tiffview::PageSummary& summary) {
    PageShape page;
    page.width = summary.width();
    page.length = summary.length();
    page.compression = summary.compression();
    page.tiled = summary.tiled();
    return page;
}

std::uint64_t PageMemoryNeed(const PageShape& page, std::uint64_t fileSize, bool strict, LineSink sink) {
    const std::uint64_t line = (std::uint64_t{page.width} + 7) / 8;
    std::uint64_t need = line;  // the tool's line
    if (sink == LineSink::Pbm) need += line;
    // libpng keeps the row and the previous one besides ours.
    if (sink == LineSink::Png) need += 2 * line + kDeflateState;

    // A strip is never read past the end of the file.
    std::uint64_t largest = std::min(page.largestChunk, fileSize);
    if (strict) largest = std::max(largest, std::min(kStripWindow, fileSize));
    need += largest;

    if (page.tiled) {
        const std::uint64_t across = CeilDiv(page.width, page.tileWidth);
        need += CeilDiv(page.tileWidth, 8) * page.tileLength * across;
    }
    // Tiles are decoded a tile row at a time, strips a whole line.
    const std::uint64_t width = page.tiled ? page.tileWidth : page.width;
    need += DecoderNeed(page.compression, width, largest, strict);
    if (sink != LineSink::Check && page.orientation >= 2 && page.orientation <= 8) {
        const std::uint64_t turnedRow = page.orientation >= 5 ? (std::uint64_t{page.length} + 7) / 8 : line;
        need += line * page.length + turnedRow;
    }
    return need;
}

namespace {

std::string Refusal(const PageShape& page, std::uint64_t need, const ReadOptions& options) {
    if (options.maxMemory == 0 || need <= options.maxMemory) return std::string();
    std::string text = "the page (" + std::to_string(page.width) + " x " + std::to_string(page.length) +
                       " pixels) needs about " + ByteText(need) + " of memory to decode, more than the limit of " +
                       ByteText(options.maxMemory) + "; raise the limit with --max-memory " + Suggestion(need) +
                       " (0 for none)";
    if (page.orientation >= 2 && page.orientation <= 8)
        text += ", or keep the rows as stored with --orientation stored";
    return text;
}

}  // namespace

std::string RefusalBySummary(const tiffview::Reader& reader, std::uint64_t fileSize, const ReadOptions& options,
                             std::uint32_t page, LineSink sink) {
    // Opening a page readies its decoder for the page's width, so a header
    // claiming an enormous page is weighed by its summary first. The
    // summary lacks the strip table, so its need is the least the page can
    // have: a page that needs more than the limit and more than opening it
    // may cost is refused unopened; any other is opened and weighed
    // exactly. A page of another kind is left for the library to refuse.
    const tiffview::PageSummary summary = reader.page(page);
    if (!summary.bilevel() || options.maxMemory == 0) return std::string();
    const PageShape least = ShapeOf(summary);
    const std::uint64_t need = PageMemoryNeed(least, fileSize, options.strict, sink);
    return need > kOpenedToWeigh ? Refusal(least, need, options) : std::string();
}

std::uint32_t OpenWithinLimit(tiffview::Reader& reader, std::uint64_t fileSize, const ReadOptions& options,
                              std::uint32_t page, LineSink sink, std::string& refusal) {
    refusal = RefusalBySummary(reader, fileSize, options, page, sink);
    if (!refusal.empty()) return TV_OK;
    const tiffview::Result opened = reader.select_page(page);
    if (!opened) return opened.code();
    PageShape shape = ShapeOf(reader.info());
    if (!options.upright) shape.orientation = 1;
    refusal = Refusal(shape, PageMemoryNeed(shape, fileSize, options.strict, sink), options);
    return TV_OK;
}

}  // namespace tvtool
