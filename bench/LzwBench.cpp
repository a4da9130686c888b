// LZW page decoding through CTiffView::ReadALine, side by side with
// libtiff's TIFFReadScanline on the same files in the same run.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TiffView.h"
#include "support/LibtiffImage.h"

namespace {

struct PageFile {
    const char* name;
    std::uint32_t width;
    std::uint32_t length;
    std::string path;
};

// Time spent per page and reader, measured around every whole-page read.
struct Tally {
    double seconds = 0;
    double lines = 0;
    double Rate() const { return seconds > 0 ? lines / seconds : 0; }
};

struct Pages {
    tvtest::TempDir dir;
    std::vector<PageFile> files = {{"fax_1728x2200", 1728, 2200, ""}, {"a4_300dpi_2480x3508", 2480, 3508, ""}};
    Tally ours[2], libtiff[2];

    Pages() {
        for (std::size_t i = 0; i < files.size(); ++i) {
            PageFile& f = files[i];
            f.path = dir.File(std::string(f.name) + ".tif");
            tvtest::LibtiffOptions o;
            o.width = f.width;
            o.length = f.length;
            o.compression = 5;
            o.photometric = 0;
            o.rowsPerStrip = 64;
            tvtest::WriteWithLibtiff(f.path, o, tvtest::DocumentPage(f.width, f.length, 42 + static_cast<std::uint32_t>(i)));
        }
    }
    ~Pages() {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (ours[i].Rate() > 0 && libtiff[i].Rate() > 0) {
                std::printf("%s: tiffview %.0f lines/s, libtiff %.0f lines/s, ratio %.2fx\n", files[i].name,
                            ours[i].Rate(), libtiff[i].Rate(), ours[i].Rate() / libtiff[i].Rate());
            }
        }
    }
};

Pages& GetPages() {
    static Pages pages;
    return pages;
}

using Clock = std::chrono::steady_clock;

void BM_TiffViewReadALine(benchmark::State& state) {
    Pages& pages = GetPages();
    const auto index = static_cast<std::size_t>(state.range(0));
    const PageFile& f = pages.files[index];
    std::vector<unsigned char> line((f.width + 7) / 8);
    std::uint64_t lines = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        CTiffView view;
        if (view.OpenFile(f.path.c_str()) != TV_OK) {
            state.SkipWithError("OpenFile failed");
            return;
        }
        for (std::uint32_t y = 0; y < f.length; ++y) {
            if (view.ReadALine(line.data()) != TV_OK) {
                state.SkipWithError("ReadALine failed");
                return;
            }
        }
        benchmark::DoNotOptimize(line.data());
        view.CloseFile();
        pages.ours[index].seconds += std::chrono::duration<double>(Clock::now() - start).count();
        pages.ours[index].lines += f.length;
        lines += f.length;
    }
    state.counters["lines_per_second"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.SetLabel(f.name);
}

void BM_LibtiffReadScanline(benchmark::State& state) {
    Pages& pages = GetPages();
    const auto index = static_cast<std::size_t>(state.range(0));
    const PageFile& f = pages.files[index];
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    std::uint64_t lines = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        TIFF* tif = TIFFOpen(f.path.c_str(), "r");
        if (tif == nullptr) {
            state.SkipWithError("TIFFOpen failed");
            return;
        }
        std::vector<unsigned char> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
        for (std::uint32_t y = 0; y < f.length; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
                TIFFClose(tif);
                state.SkipWithError("TIFFReadScanline failed");
                return;
            }
        }
        benchmark::DoNotOptimize(line.data());
        TIFFClose(tif);
        pages.libtiff[index].seconds += std::chrono::duration<double>(Clock::now() - start).count();
        pages.libtiff[index].lines += f.length;
        lines += f.length;
    }
    state.counters["lines_per_second"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.SetLabel(f.name);
}

BENCHMARK(BM_TiffViewReadALine)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibtiffReadScanline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
