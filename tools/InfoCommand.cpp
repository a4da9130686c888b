// tiffview info: what the library makes of each page of each file, down to
// the strip or tile table it reads.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "Input.h"
#include "TiffView.h"
#include "ToolText.h"

namespace tvtool {

namespace {

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// File fields are indented once, page fields twice.
void PrintField(const char* indent, const char* label, const std::string& value) {
    std::printf("%s%-13s %s\n", indent, label, value.c_str());
}

constexpr char kFile[] = "  ";
constexpr char kPage[] = "    ";

std::string Plural(std::uint32_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::uint32_t CeilDiv(std::uint32_t a, std::uint32_t b) {
    return b == 0 ? 0 : static_cast<std::uint32_t>((static_cast<std::uint64_t>(a) + b - 1) / b);
}

void PrintLayout(const TiffInfo_t& info, const TiffPageInfo_t& page) {
    if (page.Tiled) {
        PrintField(kPage, "tiles:",
                   Plural(page.ChunkCount, "tile", "tiles") + " of " + std::to_string(page.TileWidth) + " x " +
                       std::to_string(page.TileLength) + " (" + std::to_string(CeilDiv(info.Width, page.TileWidth)) +
                       " across, " + std::to_string(CeilDiv(info.Length, page.TileLength)) + " down)");
        return;
    }
    std::string layout = Plural(page.ChunkCount, "strip", "strips");
    if (page.ChunkCount > 1) layout += ", " + std::to_string(page.RowsPerStrip) + " rows each";
    PrintField(kPage, "strips:", layout);
}

void PrintChunkTable(const TiffInfo_t& info, const TiffPageInfo_t& page) {
    if (page.Tiled) {
        std::printf("%stile table:   tiles of %u x %u, placed at x, y\n", kPage,
                    static_cast<unsigned>(page.TileWidth), static_cast<unsigned>(page.TileLength));
        std::printf("%s  %8s  %12s  %12s  %8s  %8s\n", kPage, "tile", "offset", "bytes", "x", "y");
    } else {
        std::printf("%sstrip table:\n", kPage);
        std::printf("%s  %8s  %12s  %12s  %8s\n", kPage, "strip", "offset", "bytes", "rows");
    }
    const std::uint32_t across = CeilDiv(info.Width, page.TileWidth);
    for (std::uint32_t i = 0; i < page.ChunkCount; ++i) {
        const unsigned offset = page.ChunkOffsets[i];
        const unsigned bytes = page.ChunkByteCounts[i];
        if (page.Tiled) {
            const std::uint64_t x = across == 0 ? 0 : static_cast<std::uint64_t>(i % across) * page.TileWidth;
            const std::uint64_t y = across == 0 ? 0 : static_cast<std::uint64_t>(i / across) * page.TileLength;
            std::printf("%s  %8u  %12u  %12u  %8llu  %8llu\n", kPage, static_cast<unsigned>(i), offset, bytes,
                        static_cast<unsigned long long>(x), static_cast<unsigned long long>(y));
        } else {
            // The last strip holds what is left of the image; strips the
            // table has beyond the image hold no rows.
            const std::uint64_t first = static_cast<std::uint64_t>(i) * page.RowsPerStrip;
            const std::uint64_t left = first < info.Length ? info.Length - first : 0;
            const std::uint64_t rows = left < page.RowsPerStrip ? left : page.RowsPerStrip;
            std::printf("%s  %8u  %12u  %12u  %8llu\n", kPage, static_cast<unsigned>(i), offset, bytes,
                        static_cast<unsigned long long>(rows));
        }
    }
}

void PrintPage(const TiffInfo_t& info, const TiffPageInfo_t& page, bool strips) {
    PrintField(kPage, "width:", std::to_string(info.Width));
    PrintField(kPage, "length:", std::to_string(info.Length));
    PrintField(kPage, "compression:",
               std::to_string(info.Compression) + " (" + CompressionName(info.Compression) + ")");
    PrintField(kPage, "photometric:", std::to_string(info.PhotometricInterpretation) + " (" +
                                          PhotometricName(info.PhotometricInterpretation) + ")");
    if (info.XResolution == 0 && info.YResolution == 0)
        PrintField(kPage, "resolution:", "not stated");
    else
        PrintField(kPage, "resolution:", Number(info.XResolution) + " x " + Number(info.YResolution) + " " +
                                             ResolutionUnitName(page.ResolutionUnit));
    PrintField(kPage, "fill order:", std::to_string(page.FillOrder) + " (" + FillOrderName(page.FillOrder) + ")");
    PrintField(kPage, "orientation:",
               std::to_string(page.Orientation) + " (" + OrientationName(page.Orientation) + ")");
    // Group 3 options matter even when zero (one-dimensional coding); the
    // Group 4 ones only name a rarely used mode.
    if (info.Compression == 3 || page.T4Options != 0)
        PrintField(kPage, "T4 options:", FaxOptionsText(page.T4Options, true));
    if (page.T6Options != 0) PrintField(kPage, "T6 options:", FaxOptionsText(page.T6Options, false));
    PrintLayout(info, page);
    if (strips) PrintChunkTable(info, page);
}

// Describes one file, page by page; true when every page was read.
bool DescribeFile(const std::string& name, const ReadOptions& options, bool strips) {
    InputFile input;
    std::string error;
    const bool opened = input.Open(name, error);
    std::printf("%s\n", input.Label().c_str());
    if (!opened) {
        PrintField(kFile, "error:", error);
        return false;
    }
    const std::string& path = input.LibraryPath();
    const FileOutline outline = OutlineFile(path, options);
    // A single page that cannot be read leaves nothing but its failure.
    if (outline.pageCount == 0 || (outline.pageCount == 1 && outline.firstResult != TV_OK)) {
        PrintField(kFile, "error:", DescribeResult(outline.firstResult));
        return false;
    }
    if (outline.byteOrderKnown)
        PrintField(kFile, "byte order:", outline.littleEndian ? "little-endian (II)" : "big-endian (MM)");
    PrintField(kFile, "pages:", std::to_string(outline.pageCount));
    bool allRead = true;
    for (std::uint32_t p = 0; p < outline.pageCount; ++p) {
        std::printf("%spage %u:\n", kFile, static_cast<unsigned>(p + 1));
        // A fresh reader per page: nothing of the previous page lingers.
        CTiffView view;
        PreparePage(view, options, p);
        const std::uint32_t rc = view.ParseFile(path.c_str(), 0);
        if (rc != TV_OK) {
            PrintField(kPage, "error:", DescribeResult(rc));
            view.CloseFile();
            allRead = false;
            continue;
        }
        TiffInfo_t info;
        view.GetImageInfo(&info);
        TiffPageInfo_t page;
        view.GetPageInfo(&page);
        PrintPage(info, page, strips);
        view.CloseFile();
    }
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
