#include "tool/ImageFiles.h"

#include <cctype>
#include <csetjmp>
#include <cstdio>

#include "support/TiffBuilder.h"

#if TIFFVIEW_TOOL_HAS_PNG
#include <png.h>
#endif

namespace tooltest {

namespace {

// Reads one header number, skipping white space and comments.
bool HeaderNumber(const tvtest::Bytes& bytes, std::size_t& pos, std::uint32_t& value) {
    for (;;) {
        while (pos < bytes.size() && std::isspace(bytes[pos])) ++pos;
        if (pos < bytes.size() && bytes[pos] == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= bytes.size() || !std::isdigit(bytes[pos])) return false;
    std::uint64_t v = 0;
    while (pos < bytes.size() && std::isdigit(bytes[pos])) {
        v = v * 10 + (bytes[pos++] - '0');
        if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

// One P4 image starting at `pos`; moves `pos` past its raster.
Picture ReadPbmAt(const tvtest::Bytes& bytes, std::size_t& pos) {
    Picture p;
    if (bytes.size() - pos < 3 || bytes[pos] != 'P' || bytes[pos + 1] != '4') {
        p.problem = "not a binary PBM";
        return p;
    }
    pos += 2;
    if (!HeaderNumber(bytes, pos, p.width) || !HeaderNumber(bytes, pos, p.height) || pos >= bytes.size() ||
        !std::isspace(bytes[pos])) {
        p.problem = "bad PBM header";
        return p;
    }
    ++pos;  // exactly one white-space byte before the raster
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) + 7) / 8;
    if (bytes.size() - pos < rowBytes * p.height) {
        p.problem = "raster is " + std::to_string(bytes.size() - pos) + " bytes, expected " +
                    std::to_string(rowBytes * p.height);
        return p;
    }
    for (std::uint32_t y = 0; y < p.height; ++y)
        p.rows.emplace_back(bytes.begin() + static_cast<long>(pos + y * rowBytes),
                            bytes.begin() + static_cast<long>(pos + (y + 1) * rowBytes));
    pos += rowBytes * p.height;
    tvtest::ClearPadding(p.rows, p.width);
    p.ok = true;
    return p;
}

}  // namespace

Picture ReadPbm(const std::string& path) {
    const tvtest::Bytes bytes = tvtest::ReadFileBytes(path);
    std::size_t pos = 0;
    Picture p = ReadPbmAt(bytes, pos);
    if (p.ok && pos != bytes.size()) {
        p.ok = false;
        p.problem = std::to_string(bytes.size() - pos) + " bytes after the raster";
    }
    return p;
}

std::vector<Picture> ReadPbmImages(const std::string& path) { return ParsePbmImages(tvtest::ReadFileBytes(path)); }

std::vector<Picture> ParsePbmImages(const tvtest::Bytes& bytes) {
    std::vector<Picture> pictures;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        pictures.push_back(ReadPbmAt(bytes, pos));
        if (!pictures.back().ok) break;
    }
    return pictures;
}

#if TIFFVIEW_TOOL_HAS_PNG

namespace {

// Everything libpng touches lives in the caller's frame or on the heap
// owned by `p`; the setjmp frame holds no objects with destructors.
bool DecodePng(std::FILE* file, Picture& p) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) != 1 || png_get_color_type(png, info) != PNG_COLOR_TYPE_GRAY ||
        png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    p.width = png_get_image_width(png, info);
    p.height = png_get_image_height(png, info);
    png_uint_32 xres = 0, yres = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) {
        p.xDotsPerMetre = xres;
        p.yDotsPerMetre = yres;
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) + 7) / 8;
    p.rows.assign(p.height, tvtest::Bytes(rowBytes));
    for (std::uint32_t y = 0; y < p.height; ++y) png_read_row(png, p.rows[y].data(), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

Picture ReadPng(const std::string& path) {
    Picture p;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        p.problem = "cannot open";
        return p;
    }
    const bool decoded = DecodePng(file, p);
    std::fclose(file);
    if (!decoded) {
        p.problem = "not a 1-bit grey PNG libpng can read";
        p.rows.clear();
        return p;
    }
    // PNG grey 0 is black; the rows compare with 1 = black.
    for (tvtest::Bytes& row : p.rows)
        for (std::uint8_t& b : row) b = static_cast<std::uint8_t>(~b);
    tvtest::ClearPadding(p.rows, p.width);
    p.ok = true;
    return p;
}

#else

Picture ReadPng(const std::string&) {
    Picture p;
    p.problem = "this build has no PNG support";
    return p;
}

#endif

}  // namespace tooltest
