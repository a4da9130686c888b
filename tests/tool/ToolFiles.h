// Test images for the tool suite: good ones written by libtiff, and faulty
// ones written byte by byte.
#ifndef TIFFVIEW_TESTS_TOOL_TOOLFILES_H
#define TIFFVIEW_TESTS_TOOL_TOOLFILES_H

#include <cstdint>
#include <string>

#include "support/LibtiffImage.h"
#include "support/LzwEncoder.h"
#include "support/TiffBuilder.h"

namespace tooltest {

// A small document-like page written by libtiff with `options` (width and
// length filled in when 0).
inline std::string WriteLibtiffPage(const tvtest::TempDir& dir, const std::string& name,
                                    tvtest::LibtiffOptions options, std::uint32_t seed = 7) {
    if (options.width == 0) options.width = 301;
    if (options.length == 0) options.length = 97;
    const tvtest::Rows rows = tvtest::DocumentPage(options.width, options.length, seed);
    const std::string path = dir.File(name);
    tvtest::WriteWithLibtiff(path, options, rows);
    return path;
}

// An uncompressed image that the library accepts.
inline std::string WriteUncompressed(const tvtest::TempDir& dir, const std::string& name,
                                     std::uint32_t width = 16, std::uint32_t length = 4) {
    tvtest::BilevelLayout layout;
    layout.width = width;
    layout.length = length;
    layout.strips.push_back(tvtest::JoinRows(tvtest::NoisePage(width, length, 3)));
    return dir.Write(name, tvtest::MakeBilevel(layout).Build());
}

// An uncompressed image without the XResolution tag, which the strict
// profile refuses with TV_ERR_TAG_MISSING for tag 282.
inline std::string WriteWithoutXResolution(const tvtest::TempDir& dir, const std::string& name) {
    tvtest::BilevelLayout layout;
    layout.width = 16;
    layout.length = 2;
    layout.strips.push_back(tvtest::Bytes(4, 0x0F));
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    b.Remove(282);
    return dir.Write(name, b.Build());
}

// Two uncompressed strips of `rows` rows each; the second strip's offset
// points past the end of the file, so reading fails when it is needed.
inline std::string WriteUnreadableSecondStrip(const tvtest::TempDir& dir, const std::string& name,
                                              std::uint32_t rows = 3) {
    tvtest::BilevelLayout layout;
    layout.width = 16;
    layout.length = rows * 2;
    layout.rowsPerStrip = rows;
    layout.strips = {tvtest::Bytes(rows * 2, 0xF0), tvtest::Bytes(rows * 2, 0x0F)};
    tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
    // Offsets array: rewrite its second entry to lie far beyond the file.
    tvtest::Bytes bytes = b.Build();
    const tvtest::Entry* offsets = b.Find(273);
    std::uint32_t at = offsets->value[0] | offsets->value[1] << 8 | offsets->value[2] << 16 |
                       static_cast<std::uint32_t>(offsets->value[3]) << 24;
    b.PutU32(&bytes[at + 4], 0x00F00000);
    return dir.Write(name, bytes);
}

// An LZW image of `strips` strips of `rows` rows in which strip `odd`
// encodes `rows + delta` rows of the page, so that it decodes short
// (delta < 0) or long (delta > 0).
inline std::string WriteLzwWithOddStrip(const tvtest::TempDir& dir, const std::string& name, std::uint32_t strips,
                                        std::uint32_t rows, std::uint32_t odd, int delta) {
    const std::uint32_t width = 24;
    const tvtest::Rows page = tvtest::NoisePage(width, strips * rows + 1, 11);
    tvtest::BilevelLayout layout;
    layout.width = width;
    layout.length = strips * rows;
    layout.rowsPerStrip = rows;
    layout.compression = 5;
    for (std::uint32_t s = 0; s < strips; ++s) {
        const long count = static_cast<long>(rows) + (s == odd ? delta : 0);
        tvtest::Rows part(page.begin() + s * rows, page.begin() + s * rows + count);
        layout.strips.push_back(tvtest::LzwEncode(tvtest::JoinRows(part)));
    }
    return dir.Write(name, tvtest::MakeBilevel(layout).Build());
}

inline std::string WriteLzwWithShortStrip(const tvtest::TempDir& dir, const std::string& name, std::uint32_t strips,
                                          std::uint32_t rows, std::uint32_t shortStrip) {
    return WriteLzwWithOddStrip(dir, name, strips, rows, shortStrip, -1);
}

// An LZW image of one-byte rows whose only strip makes a table entry that
// is its own prefix: the first rows decode, then the chain loops and the
// decoder gives up.
inline std::string WriteLzwUndecodable(const tvtest::TempDir& dir, const std::string& name) {
    tvtest::BilevelLayout layout;
    layout.width = 8;
    layout.length = 8;
    layout.compression = 5;
    layout.strips.push_back(tvtest::PackCodes9({256, 65, 259, 65, 259, 257}));
    return dir.Write(name, tvtest::MakeBilevel(layout).Build());
}

// A bi-level page in a coding no build decodes (Compression 50000,
// Zstandard): every profile refuses it when it is opened.
inline std::string WriteRefusedCoding(const tvtest::TempDir& dir, const std::string& name) {
    tvtest::BilevelLayout layout;
    layout.width = 8;
    layout.length = 8;
    layout.compression = 50000;
    layout.strips.push_back(tvtest::Bytes(8, 0x55));
    return dir.Write(name, tvtest::MakeBilevel(layout).Build());
}

}  // namespace tooltest

#endif
