#include "tool/PageFiles.h"

#include <tiffio.h>

#include <memory>
#include <stdexcept>

namespace tooltest {

namespace {

struct TiffDeleter {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("libtiff: ") + what);
}

}  // namespace

void WritePages(const std::string& path, const std::vector<PageLayout>& pages) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    std::unique_ptr<TIFF, TiffDeleter> tif(TIFFOpen(path.c_str(), "w"));
    Check(tif != nullptr, "cannot create the file");
    TIFF* t = tif.get();
    for (std::uint32_t i = 0; i < pages.size(); ++i) {
        const PageLayout& p = pages[i];
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.length);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, p.grey ? 8 : 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.photometric);
        TIFFSetField(t, TIFFTAG_FILLORDER, p.fillOrder);
        TIFFSetField(t, TIFFTAG_COMPRESSION, p.compression);
        if (p.compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 4);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip ? p.rowsPerStrip : p.length);
        if (p.resolution) {
            TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, 196.0f);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        if (!p.rawStrip.empty()) {
            tvtest::Bytes strip = p.rawStrip;
            Check(TIFFWriteRawStrip(t, 0, strip.data(), static_cast<tmsize_t>(strip.size())) >= 0, "raw strip");
        } else {
            const tvtest::Rows rows = p.grey ? tvtest::Rows(p.length, tvtest::Bytes(p.width, 0x80))
                                             : tvtest::DocumentPage(p.width, p.length, 100 + i);
            for (std::uint32_t y = 0; y < p.length; ++y) {
                tvtest::Bytes row = rows[y];
                if (p.photometric == PHOTOMETRIC_MINISBLACK)
                    for (std::uint8_t& b : row) b = static_cast<std::uint8_t>(~b);
                Check(TIFFWriteScanline(t, row.data(), y, 0) >= 0, "scanline");
            }
        }
        Check(TIFFWriteDirectory(t) == 1, "directory");
    }
}

}  // namespace tooltest
