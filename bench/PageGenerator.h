// Synthetic A4 pages for the benchmark: a typed letter, a form, a mixed page
// (text, dithered photograph, bar code, noise), a degraded scan, and two
// sparse ones: a short memo with wide margins and a near-blank page. Every
// page is a pure function of its kind, format and seed, so a run can be
// repeated anywhere without committing image files.
#ifndef TIFFVIEW_BENCH_PAGEGENERATOR_H
#define TIFFVIEW_BENCH_PAGEGENERATOR_H

#include <cstdint>
#include <string>
#include <vector>

namespace tvbench {

enum class PageKind { Letter, Form, Mixed, Scan, Memo, NearBlank };

// The pixel size of a page and the resolution written into its file. Layout
// uses `layoutDpi` (square pixels) so that the fax format, whose pixels are
// slightly taller than wide, keeps the same proportions as the others.
struct PageFormat {
    const char* label;
    std::uint32_t width;
    std::uint32_t length;
    double xDpi;
    double yDpi;
    double layoutDpi;
};

// Packed rows as CTiffView::ReadALine returns them: (width + 7) / 8 bytes a
// row, first pixel in bit 7, 1 = black, padding bits clear.
struct Page {
    std::string name;
    PageFormat format{};
    std::uint32_t rowBytes = 0;
    std::vector<std::uint8_t> bits;

    const std::uint8_t* Row(std::uint32_t y) const { return bits.data() + static_cast<std::size_t>(y) * rowBytes; }
    // Share of black pixels, for the page listing.
    double Blackness() const;
};

const char* KindName(PageKind kind);
Page MakePage(PageKind kind, const PageFormat& format, std::uint64_t seed);

}  // namespace tvbench

#endif
