// The data behind the C++ interface's value types.
#ifndef TIFFVIEW_API_VALUES_H
#define TIFFVIEW_API_VALUES_H

#include <filesystem>
#include <vector>

#include "TiffViewReader.hpp"
#include "core/Document.h"

namespace tiffview {

struct Options::Data {
    Profile profile = Profile::any_bilevel;
    std::uint32_t page = 0;
    bool mapFile = false;
    std::filesystem::path logDirectory;
};

struct PageInfo::Data {
    std::uint32_t pageCount = 0;
    std::uint32_t pageIndex = 0;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t compression = 0;
    std::uint16_t photometric = 0;
    bool littleEndian = false;
    double xResolution = 0.0;
    double yResolution = 0.0;
    std::uint16_t resolutionUnit = 2;
    std::uint16_t fillOrder = 1;
    std::uint16_t orientation = 1;
    std::uint32_t t4Options = 0;
    std::uint32_t t6Options = 0;
    bool tiled = false;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileLength = 0;
    std::vector<Chunk> chunks;
};

struct PageSummary::Data {
    tvcore::PageSummary summary;
};

}  // namespace tiffview

#endif
