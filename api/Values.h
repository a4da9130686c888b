// The data behind the C++ interface's value types.
#ifndef TIFFVIEW_API_VALUES_H
#define TIFFVIEW_API_VALUES_H

#include <filesystem>
#include <optional>
#include <vector>

#include "TiffViewReader.hpp"
#include "core/Document.h"
#include "core/PageLayout.h"
#include "core/RawFax.h"

namespace tiffview {

struct FaxStream::Data {
    FaxCoding coding = FaxCoding::g3;
    std::uint32_t width = 1728;
    std::uint32_t rows = 0;
    bool byteAligned = false;
    bool blackIs1 = false;
    bool lsbFirst = false;
};

struct Options::Data {
    Profile profile = Profile::any_bilevel;
    std::uint32_t page = 0;
    bool mapFile = false;
    std::filesystem::path logDirectory;
    std::optional<FaxStream> rawFax;
};

// The core's description of a raw stream.
tvcore::RawFax CoreRawFax(const FaxStream& stream);

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
