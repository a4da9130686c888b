#include "support/LibtiffImage.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

#include "TiffView.h"

namespace tvtest {

namespace {

std::uint32_t RowBytes(std::uint32_t width) { return (width + 7) / 8; }

void SetPixel(Bytes& row, std::uint32_t x) { row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8)); }

void FillRect(Rows& rows, std::uint32_t width, std::uint32_t x0, std::uint32_t y0, std::uint32_t w,
              std::uint32_t h) {
    for (std::uint32_t y = y0; y < y0 + h && y < rows.size(); ++y) {
        for (std::uint32_t x = x0; x < x0 + w && x < width; ++x) SetPixel(rows[y], x);
    }
}

struct TiffCloser {
    TIFF* tif;
    ~TiffCloser() {
        if (tif) TIFFClose(tif);
    }
};

void SilenceLibtiff() {
    static bool done = false;
    if (!done) {
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
        done = true;
    }
}

}  // namespace

void WriteWithLibtiffRaw(const std::string& path, const LibtiffOptions& o, const Rows& rows) {
    SilenceLibtiff();
    TiffCloser t{TIFFOpen(path.c_str(), o.bigEndian ? "wb" : "wl")};
    if (!t.tif) throw std::runtime_error("libtiff cannot create " + path);
    TIFFSetField(t.tif, TIFFTAG_IMAGEWIDTH, o.width);
    TIFFSetField(t.tif, TIFFTAG_IMAGELENGTH, o.length);
    TIFFSetField(t.tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t.tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t.tif, TIFFTAG_PHOTOMETRIC, o.photometric);
    TIFFSetField(t.tif, TIFFTAG_FILLORDER, o.fillOrder);
    TIFFSetField(t.tif, TIFFTAG_COMPRESSION, o.compression);
    if (o.compression == COMPRESSION_CCITTFAX3) TIFFSetField(t.tif, TIFFTAG_GROUP3OPTIONS, o.group3Options);
    TIFFSetField(t.tif, TIFFTAG_ROWSPERSTRIP, o.rowsPerStrip ? o.rowsPerStrip : o.length);
    if (o.resolution) {
        TIFFSetField(t.tif, TIFFTAG_XRESOLUTION, 204.0f);
        TIFFSetField(t.tif, TIFFTAG_YRESOLUTION, 196.0f);
        TIFFSetField(t.tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    const std::uint32_t n = RowBytes(o.width);
    Bytes buf(n);
    for (std::uint32_t y = 0; y < o.length; ++y) {
        std::memcpy(buf.data(), rows.at(y).data(), n);
        if (o.photometric == PHOTOMETRIC_MINISBLACK) {
            for (auto& b : buf) b = static_cast<std::uint8_t>(~b);
        }
        if (TIFFWriteScanline(t.tif, buf.data(), y, 0) < 0) throw std::runtime_error("libtiff write failed");
    }
}

void WriteWithLibtiff(const std::string& path, const LibtiffOptions& options, const Rows& rows) {
    WriteWithLibtiffRaw(path, options, rows);
    WidenStripTables(path);
}

int WidenStripTables(const std::string& path) {
    Bytes file = ReadFileBytes(path);
    if (file.size() < 8) throw std::runtime_error("not a TIFF: " + path);
    const bool big = file[0] == 'M';
    TiffBuilder codec(big);  // only for its byte-order helpers
    auto u16 = [&](std::size_t at) -> std::uint32_t {
        return big ? (file.at(at) << 8 | file.at(at + 1)) : (file.at(at) | file.at(at + 1) << 8);
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return big ? (std::uint32_t(file.at(at)) << 24 | std::uint32_t(file.at(at + 1)) << 16 |
                      std::uint32_t(file.at(at + 2)) << 8 | file.at(at + 3))
                   : (file.at(at) | std::uint32_t(file.at(at + 1)) << 8 | std::uint32_t(file.at(at + 2)) << 16 |
                      std::uint32_t(file.at(at + 3)) << 24);
    };
    int rewritten = 0;
    std::uint32_t dir = u32(4);
    for (int guard = 0; dir != 0 && guard < 1000; ++guard) {
        const std::uint32_t count = u16(dir);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t e = dir + 2 + 12 * i;
            const std::uint32_t tag = u16(e);
            if ((tag != 273 && tag != 279) || u16(e + 2) != kShort) continue;
            const std::uint32_t n = u32(e + 4);
            std::vector<std::uint32_t> values(n);
            const std::size_t at = n <= 2 ? e + 8 : u32(e + 8);
            for (std::uint32_t k = 0; k < n; ++k) values[k] = u16(at + 2 * k);
            codec.PutU16(&file[e + 2], kLong);
            if (n == 1) {
                codec.PutU32(&file[e + 8], values[0]);
            } else {
                while (file.size() % 4) file.push_back(0);
                const auto offset = static_cast<std::uint32_t>(file.size());
                file.resize(file.size() + 4 * n);
                for (std::uint32_t k = 0; k < n; ++k) codec.PutU32(&file[offset + 4 * k], values[k]);
                codec.PutU32(&file[e + 8], offset);
            }
            ++rewritten;
        }
        dir = u32(dir + 2 + 12 * count);
    }
    WriteFileBytes(path, file);
    return rewritten;
}

Rows ReadWithLibtiff(const std::string& path, std::uint32_t* widthOut) {
    SilenceLibtiff();
    TiffCloser t{TIFFOpen(path.c_str(), "r")};
    if (!t.tif) throw std::runtime_error("libtiff cannot open " + path);
    std::uint32_t width = 0, length = 0;
    std::uint16_t photometric = 0;
    TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (widthOut) *widthOut = width;
    const tmsize_t scanline = TIFFScanlineSize(t.tif);
    Bytes buf(static_cast<std::size_t>(scanline > 0 ? scanline : 1));
    Rows rows;
    for (std::uint32_t y = 0; y < length; ++y) {
        if (TIFFReadScanline(t.tif, buf.data(), y, 0) < 0) throw std::runtime_error("libtiff read failed: " + path);
        Bytes row(buf.begin(), buf.begin() + RowBytes(width));
        if (photometric == PHOTOMETRIC_MINISBLACK) {
            for (auto& b : row) b = static_cast<std::uint8_t>(~b);
        }
        rows.push_back(std::move(row));
    }
    ClearPadding(rows, width);
    return rows;
}

namespace {

// libtiff reports errors through a process-wide handler; the count tells a
// page that decoded cleanly from one it read past errors.
int g_libtiffErrors = 0;
void CountLibtiffError(const char*, const char*, va_list) { ++g_libtiffErrors; }

}  // namespace

std::vector<Bytes> RawStrips(const std::string& path) {
    SilenceLibtiff();
    TiffCloser t{TIFFOpen(path.c_str(), "r")};
    if (!t.tif) throw std::runtime_error("libtiff cannot open " + path);
    std::vector<Bytes> strips;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(t.tif); ++s) {
        Bytes raw(static_cast<std::size_t>(TIFFGetStrileByteCount(t.tif, s)));
        if (TIFFReadRawStrip(t.tif, s, raw.data(), static_cast<tmsize_t>(raw.size())) < 0) {
            throw std::runtime_error("libtiff cannot read strip " + std::to_string(s) + " of " + path);
        }
        strips.push_back(raw);
    }
    return strips;
}

LibtiffPage ReadPageWithLibtiff(const std::string& path, std::uint32_t page, bool wholeStrips) {
    SilenceLibtiff();
    TIFFErrorHandler previous = TIFFSetErrorHandler(CountLibtiffError);
    g_libtiffErrors = 0;
    LibtiffPage out;
    TiffCloser t{TIFFOpen(path.c_str(), "r")};
    if (t.tif) {
        out.pages = static_cast<std::uint32_t>(TIFFNumberOfDirectories(t.tif));
        out.opened = TIFFSetDirectory(t.tif, static_cast<tdir_t>(page)) == 1;
    }
    if (out.opened) {
        std::uint16_t photometric = 0, bits = 1, samples = 1;
        TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &out.width);
        TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &out.length);
        // libtiff keeps no value for an absent PhotometricInterpretation;
        // its readers take one channel as min-is-black, and fax data is
        // min-is-white by its coding.
        if (!TIFFGetField(t.tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
            std::uint16_t compression = 1;
            TIFFGetFieldDefaulted(t.tif, TIFFTAG_COMPRESSION, &compression);
            photometric = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                                  compression == COMPRESSION_CCITTFAX4
                              ? PHOTOMETRIC_MINISWHITE
                              : PHOTOMETRIC_MINISBLACK;
        }
        TIFFGetFieldDefaulted(t.tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(t.tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        const std::uint32_t rowBytes = RowBytes(out.width);
        if (bits != 1 || samples != 1) {
            out.opened = false;
        } else if (TIFFIsTiled(t.tif)) {
            std::uint32_t tw = 0, tl = 0;
            TIFFGetField(t.tif, TIFFTAG_TILEWIDTH, &tw);
            TIFFGetField(t.tif, TIFFTAG_TILELENGTH, &tl);
            const std::uint32_t tileRow = RowBytes(tw);
            Bytes tile(static_cast<std::size_t>(std::max<tmsize_t>(TIFFTileSize(t.tif), 1)));
            out.rows.assign(out.length, Bytes(rowBytes, 0));
            out.rowRead.assign(out.length, true);
            for (std::uint32_t y0 = 0; y0 < out.length; y0 += tl) {
                for (std::uint32_t x0 = 0; x0 < out.width; x0 += tw) {
                    std::fill(tile.begin(), tile.end(), 0);
                    if (TIFFReadTile(t.tif, tile.data(), x0, y0, 0, 0) < 0) {
                        for (std::uint32_t y = y0; y < std::min(out.length, y0 + tl); ++y) out.rowRead[y] = false;
                    }
                    for (std::uint32_t y = y0; y < std::min(out.length, y0 + tl); ++y) {
                        for (std::uint32_t x = x0; x < std::min(out.width, x0 + tw); ++x) {
                            const std::uint32_t tx = x - x0;
                            if (tile[(y - y0) * tileRow + tx / 8] & (0x80u >> (tx % 8))) SetPixel(out.rows[y], x);
                        }
                    }
                }
            }
        } else if (wholeStrips) {
            const tmsize_t stripSize = TIFFStripSize(t.tif);
            const tmsize_t scanline = TIFFScanlineSize(t.tif);
            std::uint32_t rowsPerStrip = out.length;
            TIFFGetFieldDefaulted(t.tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            rowsPerStrip = std::max<std::uint32_t>(1, std::min(rowsPerStrip, out.length));
            Bytes buf(static_cast<std::size_t>(std::max<tmsize_t>(stripSize, 1)));
            for (std::uint32_t y0 = 0; y0 < out.length; y0 += rowsPerStrip) {
                std::fill(buf.begin(), buf.end(), 0);
                const bool read = TIFFReadEncodedStrip(t.tif, TIFFComputeStrip(t.tif, y0, 0), buf.data(), -1) >= 0;
                for (std::uint32_t y = y0; y < std::min(out.length, y0 + rowsPerStrip); ++y) {
                    const auto at = buf.begin() + static_cast<std::ptrdiff_t>((y - y0) * scanline);
                    out.rows.emplace_back(at, at + std::min<std::size_t>(rowBytes, static_cast<std::size_t>(scanline)));
                    out.rows.back().resize(rowBytes);
                    out.rowRead.push_back(read);
                }
            }
        } else {
            const tmsize_t scanline = TIFFScanlineSize(t.tif);
            Bytes buf(static_cast<std::size_t>(scanline > 0 ? scanline : 1));
            for (std::uint32_t y = 0; y < out.length; ++y) {
                std::fill(buf.begin(), buf.end(), 0);
                out.rowRead.push_back(TIFFReadScanline(t.tif, buf.data(), y, 0) >= 0);
                out.rows.emplace_back(buf.begin(), buf.begin() + std::min<std::size_t>(rowBytes, buf.size()));
                out.rows.back().resize(rowBytes);
            }
        }
        // A 1-bit palette page is read with its lighter colour as white.
        bool invert = photometric == PHOTOMETRIC_MINISBLACK;
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (photometric == PHOTOMETRIC_PALETTE && TIFFGetField(t.tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
            auto luma = [&](int i) { return 299.0 * red[i] + 587.0 * green[i] + 114.0 * blue[i]; };
            invert = luma(1) > luma(0);
        }
        if (invert) {
            for (auto& row : out.rows)
                for (auto& b : row) b = static_cast<std::uint8_t>(~b);
        }
        ClearPadding(out.rows, out.width);
    }
    out.clean = out.opened && g_libtiffErrors == 0;
    TIFFSetErrorHandler(previous);
    return out;
}

OurReading ReadWithTiffView(const std::string& path) {
    OurReading out;
    CTiffView view;
    out.openResult = view.OpenFile(path.c_str());
    if (out.openResult != TV_OK) {
        view.CloseFile();
        return out;
    }
    TiffInfo_t info;
    view.GetImageInfo(&info);
    out.width = info.Width;
    out.length = info.Length;
    Bytes line(RowBytes(info.Width));
    for (std::uint32_t y = 0; y < info.Length; ++y) {
        const std::uint32_t r = view.ReadALine(line.data());
        out.lineResults.push_back(r);
        if (r != TV_OK && !TiffView_IsWarning(r)) break;
        out.rows.push_back(line);
    }
    view.CloseFile();
    ClearPadding(out.rows, info.Width);
    return out;
}

long FirstDifference(const Rows& a, const Rows& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return static_cast<long>(i);
    }
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

void WritePbm(const std::string& path, std::uint32_t width, const Rows& rows) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot write " + path);
    std::fprintf(f, "P4\n%u %zu\n", width, rows.size());
    for (const auto& row : rows) std::fwrite(row.data(), 1, row.size(), f);
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
}

void ClearPadding(Rows& rows, std::uint32_t width) {
    if (width % 8 == 0) return;
    const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00u >> (width % 8));
    for (Bytes& row : rows) {
        if (!row.empty()) row.back() &= mask;
    }
}

Rows BlankPage(std::uint32_t width, std::uint32_t length, bool black) {
    Rows rows(length, Bytes(RowBytes(width), black ? 0xFF : 0x00));
    ClearPadding(rows, width);
    return rows;
}

Rows NoisePage(std::uint32_t width, std::uint32_t length, std::uint32_t seed, double density) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution black(density);
    Rows rows(length, Bytes(RowBytes(width), 0));
    for (auto& row : rows) {
        for (std::uint32_t x = 0; x < width; ++x) {
            if (black(rng)) SetPixel(row, x);
        }
    }
    return rows;
}

Rows CheckerPage(std::uint32_t width, std::uint32_t length, std::uint32_t cell) {
    Rows rows(length, Bytes(RowBytes(width), 0));
    for (std::uint32_t y = 0; y < length; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            if (((x / cell) + (y / cell)) % 2) SetPixel(rows[y], x);
        }
    }
    return rows;
}

Rows DocumentPage(std::uint32_t width, std::uint32_t length, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Rows rows(length, Bytes(RowBytes(width), 0));
    const std::uint32_t margin = width / 12;
    const std::uint32_t lineHeight = 24 + rng() % 8;
    // A heading rule and a framed box.
    FillRect(rows, width, margin, length / 20, width - 2 * margin, 3);
    const std::uint32_t boxTop = length / 2, boxHeight = length / 10;
    FillRect(rows, width, margin, boxTop, width - 2 * margin, 2);
    FillRect(rows, width, margin, boxTop + boxHeight, width - 2 * margin, 2);
    FillRect(rows, width, margin, boxTop, 2, boxHeight);
    FillRect(rows, width, width - margin - 2, boxTop, 2, boxHeight + 2);
    // Lines of text: words made of glyph-sized random strokes.
    for (std::uint32_t y = length / 20 + 20; y + lineHeight < length - length / 20; y += lineHeight) {
        if (y > boxTop - lineHeight && y < boxTop + boxHeight + 4) continue;
        std::uint32_t x = margin;
        const std::uint32_t lineEnd = width - margin - (rng() % 4 == 0 ? width / 3 : 0);
        while (x + 12 < lineEnd) {
            const std::uint32_t word = 2 + rng() % 8;
            for (std::uint32_t c = 0; c < word && x + 12 < lineEnd; ++c) {
                const std::uint32_t glyphWidth = 7 + rng() % 5;
                for (int stroke = 0; stroke < 3; ++stroke) {
                    const std::uint32_t sx = x + rng() % glyphWidth, sy = y + rng() % 6;
                    if (rng() % 2) {
                        FillRect(rows, width, sx, sy, 2, 10 + rng() % 6);
                    } else {
                        FillRect(rows, width, x, sy + rng() % 10, glyphWidth, 2);
                    }
                }
                x += glyphWidth + 2;
            }
            x += 8 + rng() % 6;
        }
    }
    // A halftone patch inside the box.
    std::bernoulli_distribution dot(0.35);
    for (std::uint32_t y = boxTop + 8; y + 8 < boxTop + boxHeight && y < length; ++y) {
        for (std::uint32_t x = margin + 8; x < width / 2; ++x) {
            if (dot(rng)) SetPixel(rows[y], x);
        }
    }
    ClearPadding(rows, width);
    return rows;
}

}  // namespace tvtest
