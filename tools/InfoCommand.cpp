// tiffview info: what the library makes of each file, plus the strip table
// read independently from the file's directories.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "DirectoryWalker.h"
#include "TiffView.h"
#include "ToolText.h"

namespace tvtool {

namespace {

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void PrintField(const char* label, const std::string& value) {
    std::printf("  %-13s %s\n", label, value.c_str());
}

void PrintStripTable(const DirectoryFacts& facts) {
    if (!facts.ok) {
        PrintField("strip table:", "not available (" + facts.problem + ")");
        return;
    }
    if (!facts.hasStrips) {
        PrintField("strip table:", "not available (" + facts.stripProblem + ")");
        return;
    }
    if (facts.offsetsType == 3 || facts.countsType == 3)
        std::printf("  strip table:  (stored as SHORT; the library reads LONG tables only)\n");
    else
        std::printf("  strip table:\n");
    std::printf("    %8s  %12s  %12s  %8s\n", "strip", "offset", "bytes", "rows");
    for (std::size_t i = 0; i < facts.strips.size(); ++i) {
        const StripEntry& s = facts.strips[i];
        std::printf("    %8zu  %12llu  %12llu  %8u\n", i, static_cast<unsigned long long>(s.offset),
                    static_cast<unsigned long long>(s.byteCount), static_cast<unsigned>(s.rows));
    }
}

// Describes one file; true when the library accepted it.
bool DescribeFile(const std::string& path, bool strips) {
    std::printf("%s\n", path.c_str());
    CTiffView view;
    const std::uint32_t rc = view.ParseFile(path.c_str(), 0);
    if (rc != TV_OK) {
        PrintField("error:", DescribeResult(rc));
        view.CloseFile();
        // The strips as the file states them can tell why it was refused.
        if (strips) PrintStripTable(WalkDirectories(path));
        return false;
    }
    TiffInfo_t info;
    view.GetImageInfo(&info);
    const DirectoryFacts facts = WalkDirectories(path);

    PrintField("width:", std::to_string(info.Width));
    PrintField("length:", std::to_string(info.Length));
    PrintField("compression:", std::to_string(info.Compression) + " (" + CompressionName(info.Compression) + ")");
    PrintField("photometric:", std::to_string(info.PhotometricInterpretation) + " (" +
                                   PhotometricName(info.PhotometricInterpretation) + ")");
    PrintField("byte order:", info.Intel ? "little-endian (II)" : "big-endian (MM)");
    // A missing ResolutionUnit means inches, as the format defines it.
    const std::uint32_t unit = facts.ok && facts.hasResolutionUnit ? facts.resolutionUnit : 2;
    PrintField("resolution:", Number(info.XResolution) + " x " + Number(info.YResolution) + " " +
                                  ResolutionUnitName(unit));
    if (facts.ok && facts.hasFillOrder && facts.fillOrder != 1)
        PrintField("fill order:", std::to_string(facts.fillOrder) + " (least significant bit first)");
    if (facts.ok && facts.hasStrips) {
        std::string layout = std::to_string(facts.strips.size()) + (facts.strips.size() == 1 ? " strip" : " strips");
        if (facts.strips.size() > 1 && facts.hasRowsPerStrip)
            layout += ", " + std::to_string(facts.rowsPerStrip) + " rows each";
        PrintField("strips:", layout);
    }
    if (facts.ok && facts.directories > 1)
        PrintField("directories:", std::to_string(facts.directories) + " (only the first image is decoded)");
    if (strips) PrintStripTable(facts);
    return true;
}

}  // namespace

int RunInfo(const Args& args) {
    bool strips = false;
    Args files;
    bool optionsDone = false;
    for (const std::string& arg : args) {
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kInfoHelp, stdout);
            return kExitOk;
        }
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

    bool allRead = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0) std::printf("\n");
        if (!DescribeFile(files[i], strips)) allRead = false;
        std::fflush(stdout);
    }
    return allRead ? kExitOk : kExitFailed;
}

}  // namespace tvtool
