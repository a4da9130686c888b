// tiffview info: what the library makes of each page of each file, down to
// the strip or tile table it reads.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Input.h"
#include "Json.h"
#include "Memory.h"
#include "ToolText.h"
#include "core/Tags.h"

namespace tvtool {

namespace {

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// File fields are indented once, page fields twice.
void AddField(std::string& out, const char* indent, const char* label, const std::string& value) {
    char head[32];
    std::snprintf(head, sizeof head, "%s%-13s ", indent, label);
    out += head + value + "\n";
}

void PrintField(const char* indent, const char* label, const std::string& value) {
    std::string line;
    AddField(line, indent, label, value);
    std::fputs(line.c_str(), stdout);
}

constexpr char kFile[] = "  ";
constexpr char kPage[] = "    ";

std::string Plural(std::uint32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::uint32_t CeilDiv(std::uint32_t a, std::uint32_t b) {
    return b == 0 ? 0 : static_cast<std::uint32_t>((static_cast<std::uint64_t>(a) + b - 1) / b);
}

void PrintLayout(std::string& out, const tiffview::PageInfo& page) {
    const std::uint32_t count = static_cast<std::uint32_t>(page.chunks().size());
    if (page.tiled()) {
        AddField(out, kPage, "tiles:",
                 Plural(count, "tile", "tiles") + " of " + std::to_string(page.tile_width()) + " x " +
                     std::to_string(page.tile_length()) + " (" +
                     std::to_string(CeilDiv(page.width(), page.tile_width())) + " across, " +
                     std::to_string(CeilDiv(page.length(), page.tile_length())) + " down)");
        return;
    }
    std::string layout = Plural(count, "strip", "strips");
    if (count > 1) layout += ", " + std::to_string(page.rows_per_strip()) + " rows each";
    AddField(out, kPage, "strips:", layout);
}

void PrintChunkTable(std::string& out, const tiffview::PageInfo& page) {
    char text[160];
    if (page.tiled()) {
        std::snprintf(text, sizeof text, "%stile table:   tiles of %u x %u, placed at x, y\n", kPage,
                      static_cast<unsigned>(page.tile_width()), static_cast<unsigned>(page.tile_length()));
        out += text;
        std::snprintf(text, sizeof text, "%s  %8s  %12s  %12s  %8s  %8s\n", kPage, "tile", "offset", "bytes", "x",
                      "y");
    } else {
        std::snprintf(text, sizeof text, "%sstrip table:\n", kPage);
        out += text;
        std::snprintf(text, sizeof text, "%s  %8s  %12s  %12s  %8s\n", kPage, "strip", "offset", "bytes", "rows");
    }
    out += text;
    const std::uint32_t across = CeilDiv(page.width(), page.tile_width());
    const std::vector<tiffview::Chunk>& chunks = page.chunks();
    for (std::uint32_t i = 0; i < chunks.size(); ++i) {
        const auto offset = static_cast<unsigned long long>(chunks[i].offset);
        const auto bytes = static_cast<unsigned long long>(chunks[i].byte_count);
        if (page.tiled()) {
            const std::uint64_t x = across == 0 ? 0 : static_cast<std::uint64_t>(i % across) * page.tile_width();
            const std::uint64_t y = across == 0 ? 0 : static_cast<std::uint64_t>(i / across) * page.tile_length();
            std::snprintf(text, sizeof text, "%s  %8u  %12llu  %12llu  %8llu  %8llu\n", kPage,
                          static_cast<unsigned>(i), offset, bytes, static_cast<unsigned long long>(x),
                          static_cast<unsigned long long>(y));
        } else {
            // The last strip holds what is left of the image; strips the
            // table has beyond the image hold no rows.
            const std::uint64_t first = static_cast<std::uint64_t>(i) * page.rows_per_strip();
            const std::uint64_t left = first < page.length() ? page.length() - first : 0;
            const std::uint64_t rows = left < page.rows_per_strip() ? left : page.rows_per_strip();
            std::snprintf(text, sizeof text, "%s  %8u  %12llu  %12llu  %8llu\n", kPage, static_cast<unsigned>(i),
                          offset, bytes, static_cast<unsigned long long>(rows));
        }
        out += text;
    }
}

const char* TypeName(std::uint16_t type) {
    switch (type) {
    case 1: return "BYTE";
    case 2: return "ASCII";
    case 3: return "SHORT";
    case 4: return "LONG";
    case 5: return "RATIONAL";
    case 6: return "SBYTE";
    case 7: return "UNDEFINED";
    case 8: return "SSHORT";
    case 9: return "SLONG";
    case 10: return "SRATIONAL";
    case 11: return "FLOAT";
    case 12: return "DOUBLE";
    case 13: return "IFD";
    case 16: return "LONG8";
    case 17: return "SLONG8";
    case 18: return "IFD8";
    default: return "unknown type";
    }
}

// The tags a page's fields already show (one bit, one sample on a page
// that is read; their own fields on one that is not).
bool ShownAsField(std::uint16_t tag) {
    switch (tag) {
    case tvcore::kImageWidth: case tvcore::kImageLength: case tvcore::kBitsPerSample: case tvcore::kSamplesPerPixel:
    case tvcore::kCompression: case tvcore::kPhotometric:
    case tvcore::kFillOrder: case tvcore::kStripOffsets: case tvcore::kOrientation: case tvcore::kRowsPerStrip:
    case tvcore::kStripByteCounts: case tvcore::kXResolution: case tvcore::kYResolution: case tvcore::kT4Options:
    case tvcore::kT6Options: case tvcore::kResolutionUnit: case tvcore::kTileWidth: case tvcore::kTileLength:
    case tvcore::kTileOffsets: case tvcore::kTileByteCounts:
        return true;
    default:
        return false;
    }
}

// What a tag's value means, for the tags people look for; empty for others.
std::string Meaning(const tiffview::TagEntry& tag) {
    if (tag.integers.empty()) return std::string();
    const std::int64_t v = tag.integers[0];
    switch (tag.tag) {
    case tvcore::kNewSubfileType: {
        if (v == 0) return "a full-resolution image";
        std::string text;
        if (v & 1) text += "a reduced-resolution image";
        if (v & 2) text += std::string(text.empty() ? "" : ", ") + "a page of a multi-page document";
        if (v & 4) text += std::string(text.empty() ? "" : ", ") + "a transparency mask";
        return text.empty() ? "unknown" : text;
    }
    case tvcore::kSubfileType:
        return v == 1 ? "a full-resolution image" : v == 2 ? "a reduced-resolution image"
               : v == 3 ? "a page of a multi-page document" : "unknown";
    case tvcore::kPageNumber: {
        // Stored from 0, with 0 for an unstated total.
        if (tag.integers.size() < 2) return "page " + std::to_string(v + 1);
        const std::int64_t total = tag.integers[1];
        return "page " + std::to_string(v + 1) + (total == 0 ? " of an unstated number" : " of " + std::to_string(total));
    }
    case tvcore::kBadFaxLines:
        return "scan lines the fax machine received with the wrong number of pixels";
    case tvcore::kCleanFaxData:
        return v == 0 ? "clean: no line was received with errors"
               : v == 1 ? "lines received with errors were regenerated by the receiver"
               : v == 2 ? "lines received with errors are in the data, not regenerated" : "unknown";
    case tvcore::kConsecutiveBadFaxLines:
        return "the longest run of consecutive bad scan lines";
    default:
        return std::string();
    }
}

// The most characters or values text shows of a tag; JSON lists what the
// reader gave (up to its own limit).
constexpr std::size_t kShownValues = 16;
constexpr std::size_t kShownText = 200;

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (static_cast<unsigned char>(c) < 0x20) out += '?';
        else out += c;
    }
    return out + "\"";
}

std::string TagValueText(const tiffview::TagEntry& tag) {
    std::string value;
    bool cut = !tag.complete;
    if (tag.type == 2) {
        value = Quoted(tag.text.substr(0, kShownText));
        cut = cut || tag.text.size() > kShownText;
    } else {
        std::size_t shown = 0;
        for (std::int64_t n : tag.integers) {
            if (shown++ == kShownValues) break;
            value += (value.empty() ? "" : " ") + std::to_string(n);
        }
        for (double d : tag.reals) {
            if (shown++ == kShownValues) break;
            value += (value.empty() ? "" : " ") + Number(d);
        }
        cut = cut || shown > kShownValues;
        if (value.empty() && tag.count != 0) {
            value = std::string(TypeName(tag.type)) + " x " + std::to_string(tag.count);
            cut = false;
        }
    }
    if (cut) value += " ... (" + std::to_string(tag.count) + (tag.type == 2 ? " characters)" : " values)");
    const std::string meaning = Meaning(tag);
    if (!meaning.empty()) value += " (" + meaning + ")";
    return value;
}

// Every tag the fields do not show, by number and, where it has one, name.
void PrintTags(std::string& out, const std::vector<tiffview::TagEntry>& tags) {
    std::string lines;
    for (const tiffview::TagEntry& tag : tags) {
        if (ShownAsField(tag.tag)) continue;
        lines += std::string(kPage) + "  " + std::to_string(tag.tag) + (tag.name.empty() ? "" : " " + tag.name) +
                 ": " + TagValueText(tag) + "\n";
    }
    if (!lines.empty()) out += std::string(kPage) + "tags:\n" + lines;
}

void PrintPage(std::string& out, const tiffview::PageInfo& page, bool strips, bool photometricAssumed) {
    AddField(out, kPage, "width:", std::to_string(page.width()));
    AddField(out, kPage, "length:", std::to_string(page.length()));
    AddField(out, kPage, "compression:",
             std::to_string(page.compression()) + " (" + CompressionName(page.compression()) + ")");
    AddField(out, kPage, "photometric:",
             std::to_string(page.photometric()) + " (" + PhotometricName(page.photometric()) + ")" +
                 (photometricAssumed ? ", assumed: the page has no PhotometricInterpretation tag" : ""));
    if (page.x_resolution() == 0 && page.y_resolution() == 0)
        AddField(out, kPage, "resolution:", "not stated");
    else
        AddField(out, kPage, "resolution:", Number(page.x_resolution()) + " x " + Number(page.y_resolution()) + " " +
                                                ResolutionUnitName(page.resolution_unit()));
    AddField(out, kPage, "fill order:",
             std::to_string(page.fill_order()) + " (" + FillOrderName(page.fill_order()) + ")");
    AddField(out, kPage, "orientation:",
             std::to_string(page.orientation()) + " (" + OrientationName(page.orientation()) + ")");
    // Group 3 options matter even when zero (one-dimensional coding); the
    // Group 4 ones only name a rarely used mode.
    if (page.compression() == 3 || page.t4_options() != 0)
        AddField(out, kPage, "T4 options:", FaxOptionsText(page.t4_options(), true));
    if (page.t6_options() != 0) AddField(out, kPage, "T6 options:", FaxOptionsText(page.t6_options(), false));
    PrintLayout(out, page);
    if (strips) PrintChunkTable(out, page);
}

// A page that is not bi-level, by its summary.
void PrintOtherPage(std::string& out, const tiffview::PageSummary& page) {
    AddField(out, kPage, "not bi-level:", "skipped by check and convert");
    AddField(out, kPage, "width:", std::to_string(page.width()));
    AddField(out, kPage, "length:", std::to_string(page.length()));
    AddField(out, kPage, "sample bits:", std::to_string(page.bits_per_sample()));
    AddField(out, kPage, "samples:", std::to_string(page.samples_per_pixel()) + " per pixel");
    AddField(out, kPage, "compression:",
             std::to_string(page.compression()) + " (" + CompressionName(page.compression()) + ")");
    AddField(out, kPage, "photometric:",
             std::to_string(page.photometric()) + " (" + PhotometricName(page.photometric()) + ")");
}

// What info found of one page.
struct PageFound {
    enum class Kind { Described, NotBilevel, Error, NotOpened, NotRead } kind = Kind::Error;
    std::uint32_t code = 0;   // Error
    std::string refusal;      // NotOpened
    tiffview::PageInfo info;  // Described
    tiffview::PageSummary summary;
    std::vector<tiffview::TagEntry> tags;
};

// What reading a raw fax stream's lines found: its lines, and the damaged
// ones (a TIFF page is described without being read).
struct StreamRead {
    std::uint32_t lines = 0;
    std::vector<tiffview::Damage> damage;
};

StreamRead ReadStream(tiffview::Reader& reader) {
    StreamRead read;
    std::vector<std::uint8_t> line(reader.info().line_bytes());
    while (reader.has_more_lines()) {
        const tiffview::Result r = reader.read_line(line.data(), line.size());
        if (r.is_error()) break;
        ++read.lines;
    }
    read.damage = reader.damage();
    return read;
}

std::string DamageText(const std::vector<tiffview::Damage>& damage) {
    if (damage.empty()) return "none";
    std::string text;
    std::uint32_t lines = 0;
    for (const tiffview::Damage& d : damage) {
        lines += d.line_count;
        // Lines counted from 0, as check names them.
        text += (text.empty() ? "" : ", ") + std::to_string(d.first_line);
        if (d.line_count > 1) text += "-" + std::to_string(d.first_line + d.line_count - 1);
    }
    return std::to_string(lines) + (lines == 1 ? " line: " : " lines: ") + text;
}

struct FileFound {
    std::string label;
    bool rawFax = false;
    StreamRead stream;
    std::string error;       // the file cannot be read at all
    std::uint32_t code = 0;  // its result code
    std::uint32_t pageCount = 0;
    bool byteOrderKnown = false;
    bool littleEndian = false;
    std::vector<PageFound> pages;
};

// Opens every page of a file to describe it. The pages are opened before
// anything is printed, since the file's byte order comes from the first
// page that opens.
FileFound FindFile(const std::string& name, const ReadOptions& options) {
    FileFound found;
    InputFile input;
    std::string error;
    const bool opened = input.Open(name, error);
    found.label = input.Label();
    if (!opened) {
        found.error = error;
        found.code = TV_ERR_FILE_OPEN;
        return found;
    }
    tiffview::Reader reader;
    const FileOutline outline = OutlineFile(input, options, reader);
    found.pageCount = outline.pageCount;
    found.rawFax = outline.rawFax;
    if (outline.pageCount == 0) {
        found.code = outline.firstResult;
        found.error = DescribeResult(outline.firstResult) + (outline.detail.empty() ? "" : " (" + outline.detail + ")");
        return found;
    }
    for (std::uint32_t p = 0; p < outline.pageCount; ++p) {
        PageFound page;
        page.summary = reader.page(p);
        reader.tags(p, page.tags);
        // Opening a page readies its decoder, so a page whose header claims
        // more than --max-memory allows is not opened even to be described.
        page.refusal = RefusalBySummary(reader, input.Size(), options, p, LineSink::Check);
        if (options.strict && p > 0) {
            // The strict profile reads the first page alone: the others
            // are noted, not failed.
            page.kind = PageFound::Kind::NotRead;
            page.refusal.clear();
        } else if (!page.refusal.empty()) {
            page.kind = PageFound::Kind::NotOpened;
        } else if (!options.strict && !NotBilevel(reader, p).empty()) {
            page.kind = PageFound::Kind::NotBilevel;
            if (!found.byteOrderKnown) {
                found.byteOrderKnown = true;
                found.littleEndian = page.summary.little_endian();
            }
        } else {
            const tiffview::Result result = reader.select_page(p);
            if (!result) {
                page.kind = PageFound::Kind::Error;
                page.code = result.code();
            } else {
                page.kind = PageFound::Kind::Described;
                page.info = reader.info();
                if (found.rawFax) found.stream = ReadStream(reader);
                if (!found.byteOrderKnown) {
                    found.byteOrderKnown = true;
                    found.littleEndian = page.info.little_endian();
                }
            }
        }
        found.pages.push_back(std::move(page));
    }
    return found;
}

bool AllRead(const FileFound& found) {
    if (!found.error.empty()) return false;
    for (const PageFound& page : found.pages)
        if (page.kind == PageFound::Kind::Error || page.kind == PageFound::Kind::NotOpened) return false;
    return true;
}

void PrintText(const FileFound& found, bool strips) {
    std::printf("%s\n", found.label.c_str());
    if (!found.error.empty()) {
        PrintField(kFile, "error:", found.error);
        return;
    }
    // A single page that cannot be read leaves nothing but its failure.
    if (found.pages.size() == 1 && found.pages[0].kind == PageFound::Kind::Error) {
        PrintField(kFile, "error:", DescribeResult(found.pages[0].code));
        return;
    }
    std::string pages;
    for (std::size_t p = 0; p < found.pages.size(); ++p) {
        const PageFound& page = found.pages[p];
        pages += std::string(kFile) + "page " + std::to_string(p + 1) + ":\n";
        switch (page.kind) {
        case PageFound::Kind::NotOpened:
            AddField(pages, kPage, "not opened:", page.refusal);
            continue;
        case PageFound::Kind::Error:
            AddField(pages, kPage, "error:", DescribeResult(page.code));
            continue;
        case PageFound::Kind::NotRead:
            AddField(pages, kPage, "not read:", "the strict profile reads the first page only");
            continue;
        case PageFound::Kind::NotBilevel:
            PrintOtherPage(pages, page.summary);
            break;
        case PageFound::Kind::Described:
            PrintPage(pages, page.info, strips, page.info.photometric_assumed());
            break;
        }
        PrintTags(pages, page.tags);
    }
    if (found.rawFax) {
        PrintField(kFile, "format:", "raw fax stream");
        PrintField(kFile, "lines found:", std::to_string(found.stream.lines));
        PrintField(kFile, "damaged:", DamageText(found.stream.damage));
    } else if (found.byteOrderKnown) {
        PrintField(kFile, "byte order:", found.littleEndian ? "little-endian (II)" : "big-endian (MM)");
    }
    PrintField(kFile, "pages:", std::to_string(found.pageCount));
    std::fputs(pages.c_str(), stdout);
}

std::string JsonResult(std::uint32_t code, const std::string& text) {
    return JsonObject().String("code", Hex32(code)).String("name", ResultName(code)).String("message", text).Text();
}

std::string JsonTag(const tiffview::TagEntry& tag) {
    JsonObject object;
    object.Number("tag", tag.tag).Raw("name", tag.name.empty() ? "null" : JsonString(tag.name));
    object.String("type", TypeName(tag.type)).Number("count", tag.count);
    if (tag.type == 2) {
        object.String("value", tag.text);
    } else {
        std::string values;
        for (std::int64_t n : tag.integers) values += (values.empty() ? "" : ",") + std::to_string(n);
        for (double d : tag.reals) values += (values.empty() ? "" : ",") + JsonNumber(d);
        object.Raw("value", "[" + values + "]");
    }
    object.Bool("complete", tag.complete);
    const std::string meaning = Meaning(tag);
    object.Raw("meaning", meaning.empty() ? "null" : JsonString(meaning));
    return object.Text();
}

std::string JsonPage(std::size_t index, const PageFound& page, bool strips) {
    JsonObject object;
    object.Number("page", index + 1);
    const char* status = page.kind == PageFound::Kind::Described    ? "ok"
                         : page.kind == PageFound::Kind::NotBilevel ? "not bilevel"
                         : page.kind == PageFound::Kind::NotOpened  ? "not opened"
                         : page.kind == PageFound::Kind::NotRead    ? "not read"
                                                                    : "error";
    object.String("status", status);
    if (page.kind == PageFound::Kind::Error)
        object.Raw("error", JsonResult(page.code, DescribeResult(page.code)));
    else if (page.kind == PageFound::Kind::NotOpened)
        object.Raw("error", JsonObject().Raw("code", "null").Raw("name", "null").String("message", page.refusal).Text());
    else
        object.Raw("error", "null");
    const tiffview::PageSummary& summary = page.summary;
    if (page.kind == PageFound::Kind::Described) {
        const tiffview::PageInfo& info = page.info;
        object.Number("width", info.width()).Number("length", info.length());
        object.Number("bits_per_sample", 1).Number("samples_per_pixel", 1);
        object.Number("compression", info.compression()).String("compression_name", CompressionName(info.compression()));
        object.Number("photometric", info.photometric()).String("photometric_name", PhotometricName(info.photometric()));
        object.Bool("photometric_assumed", info.photometric_assumed());
        const bool stated = info.x_resolution() != 0 || info.y_resolution() != 0;
        object.Raw("x_resolution", stated ? JsonNumber(info.x_resolution()) : "null");
        object.Raw("y_resolution", stated ? JsonNumber(info.y_resolution()) : "null");
        object.Number("resolution_unit", info.resolution_unit());
        object.Number("fill_order", info.fill_order()).Number("orientation", info.orientation());
        object.Number("t4_options", info.t4_options()).Number("t6_options", info.t6_options());
        object.String("layout", info.tiled() ? "tiles" : "strips");
        object.Raw("rows_per_strip", info.tiled() ? "null" : std::to_string(info.rows_per_strip()));
        object.Raw("tile_width", info.tiled() ? std::to_string(info.tile_width()) : "null");
        object.Raw("tile_length", info.tiled() ? std::to_string(info.tile_length()) : "null");
        object.Number("chunk_count", info.chunks().size());
        if (strips) {
            std::string chunks;
            for (const tiffview::Chunk& chunk : info.chunks())
                chunks += (chunks.empty() ? "" : ",") +
                          JsonObject().Number("offset", chunk.offset).Number("bytes", chunk.byte_count).Text();
            object.Raw("chunks", "[" + chunks + "]");
        }
    } else if (summary.status() == TV_OK) {
        // What the directory says, also of pages that are not read.
        object.Number("width", summary.width()).Number("length", summary.length());
        object.Number("bits_per_sample", summary.bits_per_sample());
        object.Number("samples_per_pixel", summary.samples_per_pixel());
        object.Number("compression", summary.compression())
            .String("compression_name", CompressionName(summary.compression()));
        object.Number("photometric", summary.photometric())
            .String("photometric_name", PhotometricName(summary.photometric()));
        object.Bool("photometric_assumed", summary.photometric_assumed());
    }
    std::string tags;
    for (const tiffview::TagEntry& tag : page.tags) tags += (tags.empty() ? "" : ",") + JsonTag(tag);
    object.Raw("tags", "[" + tags + "]");
    return object.Text();
}

// One line: the file's object, its pages inside.
void PrintJson(const FileFound& found, bool strips) {
    JsonObject object;
    object.String("file", found.label);
    object.Raw("error", found.error.empty() ? "null" : JsonResult(found.code, found.error));
    object.Raw("byte_order", found.rawFax || !found.byteOrderKnown ? "null" : found.littleEndian ? "\"II\"" : "\"MM\"");
    object.Number("page_count", found.pageCount);
    std::string pages;
    for (std::size_t p = 0; p < found.pages.size(); ++p)
        pages += (pages.empty() ? "" : ",") + JsonPage(p, found.pages[p], strips);
    object.Raw("pages", "[" + pages + "]");
    object.String("format", found.rawFax ? "raw-fax" : "tiff");
    if (found.rawFax) {
        object.Number("lines_found", found.stream.lines);
        std::string damage;
        for (const tiffview::Damage& d : found.stream.damage) {
            damage += (damage.empty() ? "" : ",") + JsonObject()
                                                        .Number("first_line", d.first_line)
                                                        .Number("line_count", d.line_count)
                                                        .String("code", Hex32(d.code))
                                                        .String("name", ResultName(d.code))
                                                        .Text();
        }
        object.Raw("damage", "[" + damage + "]");
    }
    std::printf("%s\n", object.Text().c_str());
}

}  // namespace

int RunInfo(const Args& args, ReadOptions options) {
    bool strips = false;
    bool json = false;
    Args files;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kInfoHelp, stdout);
            return kExitOk;
        }
        std::string error;
        const Taken taken = optionsDone ? Taken::No : TakeReadOption(args, i, options, error);
        if (taken == Taken::Error) return UsageError("info", error);
        if (taken == Taken::Yes) continue;
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--json") {
            json = true;
        } else if (!optionsDone && arg == "--strips") {
            strips = true;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return UsageError("info", "unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return UsageError("info", "no file given");
    const int stdinUse = CheckStandardInputUse("info", files);
    if (stdinUse != kExitOk) return stdinUse;

    bool allRead = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileFound found = FindFile(files[i], options);
        if (json) {
            PrintJson(found, strips);
        } else {
            if (i > 0) std::printf("\n");
            PrintText(found, strips);
        }
        if (!AllRead(found)) allRead = false;
        std::fflush(stdout);
    }
    return allRead ? kExitOk : kExitFailed;
}

}  // namespace tvtool
