// A small, independent reader of a TIFF file's directory chain, used where
// the library's public interface is silent: the strip table, the number of
// directories and a few optional tags. It trusts nothing in the file: every
// offset and count is checked against the file size before it is used, the
// chain is followed at most once per directory, and tables are capped.
#ifndef TIFFVIEW_TOOLS_DIRECTORYWALKER_H
#define TIFFVIEW_TOOLS_DIRECTORYWALKER_H

#include <cstdint>
#include <string>
#include <vector>

namespace tvtool {

struct StripEntry {
    std::uint64_t offset;
    std::uint64_t byteCount;
    std::uint32_t rows;  // rows this strip holds, from RowsPerStrip and ImageLength
};

struct DirectoryFacts {
    bool ok = false;
    std::string problem;  // why the walk stopped, when !ok

    bool bigEndian = false;
    std::uint32_t directories = 0;  // directories in the chain
    bool chainLoops = false;        // the chain came back to a directory already read

    // Tags looked up as the library does: the first occurrence in chain
    // order wins. A zero `has...` means the tag is absent or unreadable.
    bool hasRowsPerStrip = false;
    std::uint32_t rowsPerStrip = 0;
    bool hasLength = false;
    std::uint32_t length = 0;
    bool hasResolutionUnit = false;
    std::uint32_t resolutionUnit = 0;
    bool hasFillOrder = false;
    std::uint32_t fillOrder = 0;
    bool hasT4Options = false;
    std::uint32_t t4Options = 0;
    bool hasT6Options = false;
    std::uint32_t t6Options = 0;

    // The strip table, when both StripOffsets and StripByteCounts could be
    // read with the same number of entries.
    bool hasStrips = false;
    std::uint16_t offsetsType = 0;  // 3 SHORT or 4 LONG
    std::uint16_t countsType = 0;
    std::vector<StripEntry> strips;
    std::string stripProblem;  // why there is no strip table
};

// Largest strip table the walker will hold; bigger tables are reported as
// a problem instead of being read.
constexpr std::uint32_t kMaxStripEntries = 1u << 22;
// Longest directory chain followed.
constexpr std::uint32_t kMaxDirectories = 4096;

DirectoryFacts WalkDirectories(const std::string& path);

}  // namespace tvtool

#endif
