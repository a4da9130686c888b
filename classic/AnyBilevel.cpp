// Pages read with TV_OPTION_ANY_BILEVEL: the core reads the page; the
// classic members describe it as they describe a page of the strict
// profile.
#include <algorithm>

#include "TiffView.h"
#include "classic/Detail.h"

namespace {

std::uint32_t Clamp32(std::uint64_t value) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu)); }

}  // namespace

std::uint32_t CTiffView::ReadAnyBilevelPage() {
    tvcore::Document& document = Extra->document;
    tvcore::PageLayout& page = Extra->layout;
    std::uint32_t result = document.Open(*Extra->source);
    if (result != TV_OK) return result;
    Intel = document.LittleEndian() ? 1 : 0;
    if (Extra->selectedPage >= document.PageCount()) return TV_ERR_PAGE_MISSING;
    result = tvcore::ReadPageLayout(document, Extra->selectedPage, page);
    if (result != TV_OK) return result;

    Width = page.width;
    Length = page.length;
    LineByte = page.LineBytes();
    Compression = page.compression;
    PhotometricInterpretation = page.photometric;
    FillOrder = page.fillOrder;
    ResolutionUnit = page.resolutionUnit;
    PlanarConfiguration = page.planarConfiguration;
    Predictor = page.predictor;
    T4Options = page.t4Options;
    T6Options = page.t6Options;
    XResolution = page.xResolution;
    YResolution = page.yResolution;
    RowsPerStrip = page.chunkRows;
    StripsPerImage = static_cast<std::uint32_t>(page.chunks.size());
    StripByte = Clamp32(std::uint64_t{LineByte} * page.chunkRows);
    // The classic tables are 32-bit; the core reads from its own.
    StripOffsets.resize(page.chunks.size());
    StripByteCounts.resize(page.chunks.size());
    for (std::size_t i = 0; i < page.chunks.size(); ++i) {
        StripOffsets[i] = Clamp32(page.chunks[i].offset);
        StripByteCounts[i] = Clamp32(page.chunks[i].byteCount);
    }
    Extra->orientation = page.orientation;
    Extra->tileWidth = page.tileWidth;
    Extra->tileLength = page.tileLength;
    Extra->pageCount = document.PageCount();
    Extra->pageIndex = Extra->selectedPage;
    return TV_OK;
}
