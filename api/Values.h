// The data behind the C++ interface's value types.
#ifndef TIFFVIEW_API_VALUES_H
#define TIFFVIEW_API_VALUES_H

#include <filesystem>
#include <vector>

#include "TiffViewReader.hpp"
#include "core/Document.h"
#include "core/PageLayout.h"

namespace tiffview {

struct Options::Data {
    Profile profile = Profile::any_bilevel;
    std::uint32_t page = 0;
    bool mapFile = false;
    std::filesystem::path logDirectory;
};

struct PageInfo::Data {
    tvcore::PageLayout page;
    std::vector<Chunk> chunks;  // page.chunks, as the interface gives them
};

struct PageSummary::Data {
    tvcore::PageSummary summary;
    bool littleEndian = false;
};

}  // namespace tiffview

#endif
