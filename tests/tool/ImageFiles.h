// Reading back what the tool wrote: binary PBM parsed by hand, PNG through
// libpng. Rows come out packed, 1 = black, padding bits cleared.
#ifndef TIFFVIEW_TESTS_TOOL_IMAGEFILES_H
#define TIFFVIEW_TESTS_TOOL_IMAGEFILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "support/LibtiffImage.h"

namespace tooltest {

struct Picture {
    bool ok = false;
    std::string problem;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    tvtest::Rows rows;
    // PNG only: pixel density in dots per metre, 0 when absent.
    std::uint32_t xDotsPerMetre = 0;
    std::uint32_t yDotsPerMetre = 0;
};

Picture ReadPbm(const std::string& path);
// Every image of a file of P4 images one after another; the last one
// is not ok when something other than a complete image follows.
std::vector<Picture> ReadPbmImages(const std::string& path);
// The same for bytes in memory, such as captured standard output.
std::vector<Picture> ParsePbmImages(const tvtest::Bytes& bytes);
// Fails with a problem text when the tool has no PNG support.
Picture ReadPng(const std::string& path);

}  // namespace tooltest

#endif
