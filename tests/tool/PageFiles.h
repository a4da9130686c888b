// Files of several pages for the tool suite, written by libtiff one
// directory after another.
#ifndef TIFFVIEW_TESTS_TOOL_PAGEFILES_H
#define TIFFVIEW_TESTS_TOOL_PAGEFILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "support/LibtiffImage.h"

namespace tooltest {

struct PageLayout {
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint16_t compression = 1;
    std::uint16_t photometric = 0;
    std::uint32_t rowsPerStrip = 0;  // 0: one strip
    std::uint16_t fillOrder = 1;
    bool resolution = true;          // 204 x 196 dots per inch
    bool grey = false;               // 8 bits a pixel instead: a page no profile reads
    tvtest::Bytes rawStrip;          // when set, the only strip, stored as is
};

inline PageLayout Page(std::uint32_t width, std::uint32_t length, std::uint16_t compression) {
    PageLayout page;
    page.width = width;
    page.length = length;
    page.compression = compression;
    return page;
}

// Writes the pages in order with libtiff (document-like content), leaving
// its tables as it writes them: SHORT where the values fit. Throws
// std::runtime_error on failure.
void WritePages(const std::string& path, const std::vector<PageLayout>& pages);

}  // namespace tooltest

#endif
