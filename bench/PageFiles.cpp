#include "PageFiles.h"

#include <tiffio.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace tvbench {

const Encoding kEncodings[] = {
    {"G4", COMPRESSION_CCITTFAX4, 0, false, true, false},
    {"G3-1D", COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, false, true, false},
    {"LZW", COMPRESSION_LZW, 0, true, true, false},
    {"none", COMPRESSION_NONE, 0, true, true, false},
    {"G3-2D", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, false, false, false},
    {"MH", COMPRESSION_CCITTRLE, 0, false, false, false},
    {"PackBits", COMPRESSION_PACKBITS, 0, true, false, false},
    {"Deflate", COMPRESSION_ADOBE_DEFLATE, 0, true, false, false},
    {"BT-G4", COMPRESSION_CCITTFAX4, 0, false, false, true},
    {"BT-LZW", COMPRESSION_LZW, 0, true, false, true},
};
const std::size_t kEncodingCount = sizeof(kEncodings) / sizeof(kEncodings[0]);

namespace {

std::uint32_t Get16(const std::vector<std::uint8_t>& f, std::size_t at) {
    if (at + 2 > f.size()) throw std::runtime_error("directory entry beyond the end of the file");
    return f[at] | static_cast<std::uint32_t>(f[at + 1]) << 8;
}
std::uint32_t Get32(const std::vector<std::uint8_t>& f, std::size_t at) {
    if (at + 4 > f.size()) throw std::runtime_error("directory entry beyond the end of the file");
    return f[at] | static_cast<std::uint32_t>(f[at + 1]) << 8 | static_cast<std::uint32_t>(f[at + 2]) << 16 |
           static_cast<std::uint32_t>(f[at + 3]) << 24;
}
void Put16(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
    f[at] = static_cast<std::uint8_t>(v);
    f[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// libtiff stores a strip table as SHORT whenever its values fit, as TIFF
// allows; the strict profile reads LONG tables only, as fax and scanner
// software writes them. The first directory of a little-endian file (all
// this benchmark writes) gets its SHORT tables copied to LONG arrays at the
// end of the file.
void WidenStripTables(const std::string& path) {
    std::vector<std::uint8_t> f;
    {
        std::ifstream in(path, std::ios::binary);
        f.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (f.size() < 8 || f[0] != 'I' || f[1] != 'I') throw std::runtime_error("not a little-endian TIFF: " + path);
    const std::uint32_t dir = Get32(f, 4);
    const std::uint32_t entries = Get16(f, dir);
    bool changed = false;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t e = dir + 2 + 12 * static_cast<std::size_t>(i);
        const std::uint32_t tag = Get16(f, e), type = Get16(f, e + 2), count = Get32(f, e + 4);
        if ((tag != TIFFTAG_STRIPOFFSETS && tag != TIFFTAG_STRIPBYTECOUNTS) || type != TIFF_SHORT) continue;
        const std::size_t from = count <= 2 ? e + 8 : Get32(f, e + 8);
        std::vector<std::uint32_t> values(count);
        for (std::uint32_t k = 0; k < count; ++k) values[k] = Get16(f, from + 2 * static_cast<std::size_t>(k));
        Put16(f, e + 2, TIFF_LONG);
        if (count == 1) {
            Put32(f, e + 8, values[0]);
        } else {
            while (f.size() % 4) f.push_back(0);
            const std::size_t at = f.size();
            f.resize(at + 4 * static_cast<std::size_t>(count));
            for (std::uint32_t k = 0; k < count; ++k) Put32(f, at + 4 * static_cast<std::size_t>(k), values[k]);
            Put32(f, e + 8, static_cast<std::uint32_t>(at));
        }
        changed = true;
    }
    if (changed) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
        if (!out) throw std::runtime_error("cannot rewrite " + path);
    }
}

struct Closer {
    TIFF* tif;
    ~Closer() {
        if (tif) TIFFClose(tif);
    }
};

}  // namespace

void WritePage(const std::string& path, const Page& page, const Encoding& encoding) {
    {
        Closer c{TIFFOpen(path.c_str(), encoding.bigTiff ? "w8l" : "wl")};
        if (!c.tif) throw std::runtime_error("libtiff cannot create " + path);
        TIFF* t = c.tif;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.format.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.format.length);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(t, TIFFTAG_COMPRESSION, encoding.compression);
        if (encoding.compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, encoding.t4Options);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(page.format.xDpi));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(page.format.yDpi));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        const std::uint32_t rows = encoding.defaultStrips ? TIFFDefaultStripSize(t, 0) : page.format.length;
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
        std::vector<std::uint8_t> line(page.rowBytes);
        for (std::uint32_t y = 0; y < page.format.length; ++y) {
            // TIFFWriteScanline may scribble on its buffer while encoding.
            std::memcpy(line.data(), page.Row(y), page.rowBytes);
            if (TIFFWriteScanline(t, line.data(), y, 0) < 0) throw std::runtime_error("libtiff cannot write " + path);
        }
    }
    // BigTIFF pages are for the default profile, which takes any table type.
    if (!encoding.bigTiff) WidenStripTables(path);
}

}  // namespace tvbench
