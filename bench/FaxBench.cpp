// Fax decoding speed: document-like A4 pages coded as Group 4 and Group 3
// (one-dimensional, EOL-aligned) by libtiff, read line by line through
// CTiffView::ReadALine and, in the same run, through libtiff's
// TIFFReadScanline. Counters: lines per second, and for our reader its speed
// as a multiple of libtiff's on the same file (x_libtiff), both measured in
// process CPU time so that other load on the machine does not skew it.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <ctime>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TiffView.h"
#include "support/LibtiffImage.h"
#include "support/TiffBuilder.h"

namespace {

struct PageSpec {
    const char* name;
    std::uint16_t compression;
    std::uint32_t width, length;
};

const PageSpec kPages[] = {
    {"G4_1728x2200", 4, 1728, 2200},
    {"G4_2480x3508", 4, 2480, 3508},
    {"G3_1728x2200", 3, 1728, 2200},
    {"G3_2480x3508", 3, 2480, 3508},
};

// The pages, written once per process into a temporary directory.
class Pages {
public:
    static Pages& Get() {
        static Pages pages;
        return pages;
    }
    const std::string& Path(const char* name) { return paths_.at(name); }
    // Seconds per page libtiff took, for the ratio counter.
    std::map<std::string, double> LibtiffSeconds;

private:
    Pages() {
        for (const PageSpec& p : kPages) {
            const std::string path = dir_.File(std::string(p.name) + ".tif");
            tvtest::LibtiffOptions o;
            o.width = p.width;
            o.length = p.length;
            o.compression = p.compression;
            o.group3Options = GROUP3OPT_FILLBITS;
            tvtest::WriteWithLibtiff(path, o, tvtest::DocumentPage(p.width, p.length, 1234));
            paths_[p.name] = path;
        }
    }
    tvtest::TempDir dir_;
    std::map<std::string, std::string> paths_;
};

void BM_Libtiff(benchmark::State& state, const PageSpec* layout) {
    const std::string path = Pages::Get().Path(layout->name);
    TIFFSetWarningHandler(nullptr);
    double seconds = 0;
    std::int64_t pages = 0;
    for (auto _ : state) {
        const std::clock_t t0 = std::clock();
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        if (tif == nullptr) {
            state.SkipWithError("libtiff cannot open the page");
            return;
        }
        std::vector<std::uint8_t> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
        for (std::uint32_t y = 0; y < layout->length; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
                state.SkipWithError("libtiff read failed");
                break;
            }
            benchmark::DoNotOptimize(line.data());
        }
        TIFFClose(tif);
        seconds += static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
        ++pages;
    }
    if (pages > 0) Pages::Get().LibtiffSeconds[layout->name] = seconds / static_cast<double>(pages);
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(pages) * layout->length, benchmark::Counter::kIsRate);
}

void BM_TiffView(benchmark::State& state, const PageSpec* layout) {
    const std::string path = Pages::Get().Path(layout->name);
    std::vector<unsigned char> line((layout->width + 7) / 8);
    double seconds = 0;
    std::int64_t pages = 0;
    for (auto _ : state) {
        const std::clock_t t0 = std::clock();
        CTiffView view;
        if (view.OpenFile(path.c_str()) != TV_OK) {
            state.SkipWithError("CTiffView cannot open the page");
            return;
        }
        for (std::uint32_t y = 0; y < layout->length; ++y) {
            if (view.ReadALine(line.data()) != TV_OK) {
                state.SkipWithError("ReadALine failed");
                break;
            }
            benchmark::DoNotOptimize(line.data());
        }
        view.CloseFile();
        seconds += static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
        ++pages;
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(pages) * layout->length, benchmark::Counter::kIsRate);
    const auto& lib = Pages::Get().LibtiffSeconds;
    const auto it = lib.find(layout->name);
    if (pages > 0 && it != lib.end() && seconds > 0)
        state.counters["x_libtiff"] = it->second / (seconds / static_cast<double>(pages));
}

// libtiff first for each page, so our run can report the ratio.
const bool kRegistered = [] {
    for (const PageSpec& p : kPages) {
        benchmark::RegisterBenchmark((std::string("Fax/libtiff/") + p.name).c_str(), BM_Libtiff, &p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Fax/tiffview/") + p.name).c_str(), BM_TiffView, &p)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
