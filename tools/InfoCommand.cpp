// tiffview info: what the library makes of each page of each file, down to
// the strip or tile table it reads.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Input.h"
#include "Memory.h"
#include "ToolText.h"

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

void PrintPage(std::string& out, const tiffview::PageInfo& page, bool strips) {
    AddField(out, kPage, "width:", std::to_string(page.width()));
    AddField(out, kPage, "length:", std::to_string(page.length()));
    AddField(out, kPage, "compression:",
             std::to_string(page.compression()) + " (" + CompressionName(page.compression()) + ")");
    AddField(out, kPage, "photometric:",
             std::to_string(page.photometric()) + " (" + PhotometricName(page.photometric()) + ")");
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

// Describes one file, page by page; true when every page was read. The
// pages are opened before anything is printed, since the file's byte order
// comes from the first page that opens.
bool DescribeFile(const std::string& name, const ReadOptions& options, bool strips) {
    InputFile input;
    std::string error;
    const bool opened = input.Open(name, error);
    std::printf("%s\n", input.Label().c_str());
    if (!opened) {
        PrintField(kFile, "error:", error);
        return false;
    }
    tiffview::Reader reader;
    const FileOutline outline = OutlineFile(input, options, reader);
    if (outline.pageCount == 0) {
        PrintField(kFile, "error:", DescribeResult(outline.firstResult));
        return false;
    }
    std::string pages;
    bool allRead = true;
    bool byteOrderKnown = false;
    bool littleEndian = false;
    for (std::uint32_t p = 0; p < outline.pageCount; ++p) {
        // Opening a page readies its decoder, so a page whose header claims
        // more than --max-memory allows is not opened even to be described.
        const std::string refusal = RefusalBySummary(reader, input.Size(), options, p, LineSink::Check);
        if (!refusal.empty()) {
            pages += std::string(kFile) + "page " + std::to_string(p + 1) + ":\n";
            AddField(pages, kPage, "not opened:", refusal);
            allRead = false;
            continue;
        }
        const tiffview::Result result = reader.select_page(p);
        // A single page that cannot be read leaves nothing but its failure.
        if (!result && outline.pageCount == 1) {
            PrintField(kFile, "error:", DescribeResult(result.code()));
            return false;
        }
        pages += std::string(kFile) + "page " + std::to_string(p + 1) + ":\n";
        if (!result) {
            AddField(pages, kPage, "error:", DescribeResult(result.code()));
            allRead = false;
            continue;
        }
        if (!byteOrderKnown) {
            byteOrderKnown = true;
            littleEndian = reader.info().little_endian();
        }
        PrintPage(pages, reader.info(), strips);
    }
    if (byteOrderKnown) PrintField(kFile, "byte order:", littleEndian ? "little-endian (II)" : "big-endian (MM)");
    PrintField(kFile, "pages:", std::to_string(outline.pageCount));
    std::fputs(pages.c_str(), stdout);
    return allRead;
}

}  // namespace

int RunInfo(const Args& args, ReadOptions options) {
    bool strips = false;
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
        if (i > 0) std::printf("\n");
        if (!DescribeFile(files[i], options, strips)) allRead = false;
        std::fflush(stdout);
    }
    return allRead ? kExitOk : kExitFailed;
}

}  // namespace tvtool
