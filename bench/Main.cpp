// tiffview_bench: our reader against libtiff on realistic A4 pages, in one
// process run. Every page (letter, form, mixed, scan; 200 and 300 dpi) is
// drawn from a seed, written by libtiff in each coding, verified line by
// line on both sides, then read again and again with the two sides taking
// turns; the table gives medians and libtiff's time over ours.
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BenchBuildInfo.h"
#include "PageFiles.h"
#include "PageGenerator.h"
#include "Readers.h"
#include "TiffView.h"

namespace tvbench {
namespace {

const PageFormat kFormats[] = {
    // Fax fine resolution: 1728 pixels across at 204 dpi, 196 lines an inch.
    {"200dpi", 1728, 2292, 204, 196, 200},
    {"300dpi", 2480, 3508, 300, 300, 300},
};
const PageKind kKinds[] = {PageKind::Letter, PageKind::Form, PageKind::Mixed, PageKind::Scan, PageKind::Memo, PageKind::NearBlank};

struct Settings {
    int reps = 15;
    int openBatch = 40;
    std::uint64_t seed = 1;
    bool rss = true;
    bool quick = false;
    bool wall = false;
    bool map = false;  // read with TV_OPTION_MAP_FILE
    Interface ours = Interface::Reader;
    std::string keep;  // write the files here and leave them
};

void Usage() {
    std::printf(
        "usage: tiffview_bench [--interface reader|bulk|classic] [--quick] [--reps N] [--open-batch N] [--seed S]\n"
        "                      [--wall] [--map] [--no-rss] [--keep DIR]\n"
        "  --interface I   how ours reads: reader (tiffview::Reader's default profile, read_line per line; the\n"
        "                  default), bulk (the same profile, read_page into one image; uncompressed pages are\n"
        "                  also timed against a memcpy of their strips from a mapped file), classic\n"
        "                  (CTiffView: its strict profile, TV_OPTION_ANY_BILEVEL for the codings it refuses)\n"
        "  --quick         one repetition, short open loops: a smoke run (every line is still verified)\n"
        "  --reps N        timed repetitions per file and side (default 15); medians are reported\n"
        "  --open-batch N  openings per timed sample in the open/close table (default 40)\n"
        "  --seed S        page generator seed (default 1)\n"
        "  --wall          time with the monotonic clock instead of the process's CPU time\n"
        "  --map           read our side with TV_OPTION_MAP_FILE (strips through a memory mapping)\n"
        "  --no-rss        skip the peak memory table\n"
        "  --keep DIR      write the TIFF files into DIR and keep them\n");
}

bool ParseArgs(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--quick") {
            s.quick = true;
            s.reps = 1;
            s.openBatch = 4;
        } else if (a == "--reps" || a == "--open-batch" || a == "--seed" || a == "--keep") {
            const char* v = next();
            if (!v) return false;
            if (a == "--keep") {
                s.keep = v;
                continue;
            }
            char* end = nullptr;
            const unsigned long long n = std::strtoull(v, &end, 10);
            if (*end != '\0' || (a != "--seed" && (n < 1 || n > 100000))) return false;
            if (a == "--reps") s.reps = static_cast<int>(n);
            if (a == "--open-batch") s.openBatch = static_cast<int>(n);
            if (a == "--seed") s.seed = n;
        } else if (a == "--interface") {
            const char* v = next();
            if (!v) return false;
            const std::string name = v;
            if (name == "reader") {
                s.ours = Interface::Reader;
            } else if (name == "bulk") {
                s.ours = Interface::Bulk;
            } else if (name == "classic") {
                s.ours = Interface::Classic;
            } else {
                return false;
            }
        } else if (a == "--wall") {
            s.wall = true;
        } else if (a == "--map") {
            s.map = true;
        } else if (a == "--no-rss") {
            s.rss = false;
        } else {
            return false;
        }
    }
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string FirstLine(const char* text) {
    const char* end = std::strchr(text, '\n');
    return end ? std::string(text, end) : std::string(text);
}

std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "unknown";
}

std::string LoadAverage() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3) return "unknown";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return buf;
}

std::string Ratio(double libtiff, double ours) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2fx", ours > 0 ? libtiff / ours : 0.0);
    return buf;
}

// The scratch directory, removed at the end unless --keep named one.
class Scratch {
public:
    explicit Scratch(const std::string& keep) : keep_(!keep.empty()) {
        namespace fs = std::filesystem;
        if (keep_) {
            fs::create_directories(keep);
            dir_ = keep;
            return;
        }
        std::string pattern = (fs::temp_directory_path() / "tiffview_bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw BenchFailure("cannot create a scratch directory");
        dir_ = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        if (!keep_) std::filesystem::remove_all(dir_, ec);
    }
    std::string File(const std::string& name) const { return (std::filesystem::path(dir_) / name).string(); }

private:
    bool keep_;
    std::string dir_;
};

// A child's peak over the idle one's; -1 when either is unknown.
long Above(long peak, long idle) { return peak < 0 || idle < 0 ? -1 : peak - idle; }

struct FileCase {
    std::size_t page = 0;
    std::size_t encoding = 0;
    ReadJob job;
    std::uintmax_t bytes = 0;
    std::uint32_t refused = TV_OK;  // the code OpenFile refused it with
    std::vector<double> ours, libtiff;
    std::vector<double> oursOpen, libtiffOpen, oursFirst, libtiffFirst;
    std::vector<double> mappedCopy;
    bool Timed() const { return refused == TV_OK; }
};

int Run(const Settings& s) {
    TIFFSetWarningHandler(nullptr);
    UseClock(s.wall ? Clock::Wall : Clock::ProcessCpu);
    static const char* const kInterfaceNames[] = {
        "tiffview::Reader (default profile), read_line per line",
        "tiffview::Reader (default profile), read_page: the whole page in one call",
        "CTiffView: its strict profile; TV_OPTION_ANY_BILEVEL for the codings it refuses",
    };
    std::printf("tiffview_bench: ours against libtiff on synthetic A4 pages\n");
    std::printf("ours      %s\n", kInterfaceNames[static_cast<int>(s.ours)]);
    std::printf("build     CMAKE_BUILD_TYPE=%s  CMAKE_CXX_FLAGS_%s=\"%s\"  CMAKE_CXX_FLAGS=\"%s\"\n", TVB_BUILD_TYPE,
                TVB_BUILD_TYPE_UPPER, TVB_CONFIG_FLAGS, TVB_CXX_FLAGS);
    std::printf("          the benchmark and its copy of the library add \"%s\" after those (the last -O wins)\n",
                TVB_BENCH_FLAGS);
    std::printf("compiler  %s %s\n", TVB_COMPILER_ID, TVB_COMPILER_VERSION);
    std::printf("libtiff   %s (the system's shared library)\n", FirstLine(TIFFGetVersion()).c_str());
    std::printf("cpu       %s\n", CpuModel().c_str());
    std::printf("load      %s (1, 5, 15 min) at start\n", LoadAverage().c_str());
    std::printf("timing    median of %d repetition%s per file and side, %s; ratio = libtiff time / our time, "
                "above 1 = ours faster\n",
                s.reps, s.reps == 1 ? "" : "s", s.wall ? "wall time (monotonic clock)" : "process CPU time");
    std::printf("caches    the file's bytes flushed from the processor's caches before every timed page read,\n"
                "          so that both sides start alike\n\n");
    if (s.map) std::printf("options   ours read with TV_OPTION_MAP_FILE\n\n");

    const Scratch scratch(s.keep);
    std::vector<Page> pages;
    std::printf("pages (seed %llu)\n", static_cast<unsigned long long>(s.seed));
    for (const PageFormat& f : kFormats) {
        for (PageKind k : kKinds) {
            pages.push_back(MakePage(k, f, s.seed));
            const Page& p = pages.back();
            std::printf("  %-14s %ux%u  %.0fx%.0f dpi  %4.1f%% black\n", p.name.c_str(), f.width, f.length, f.xDpi,
                        f.yDpi, 100 * p.Blackness());
        }
    }

    // Write and verify every file once; note what our reader refuses.
    std::vector<FileCase> cases;
    for (std::size_t pi = 0; pi < pages.size(); ++pi) {
        const Page& p = pages[pi];
        for (std::size_t e = 0; e < kEncodingCount; ++e) {
            FileCase c;
            c.page = pi;
            c.encoding = e;
            c.job.path = scratch.File(p.name + "-" + kEncodings[e].label + ".tif");
            c.job.width = p.format.width;
            c.job.length = p.format.length;
            c.job.ours = s.ours;
            const bool classicStrict = s.ours == Interface::Classic && kEncodings[e].strict;
            c.job.ourOptions = (classicStrict ? 0 : TV_OPTION_ANY_BILEVEL) | (s.map ? TV_OPTION_MAP_FILE : 0);
            WritePage(c.job.path, p, kEncodings[e]);
            c.bytes = std::filesystem::file_size(c.job.path);
            c.refused = VerifyFile(c.job, p);
            if (c.refused != TV_OK && (kEncodings[e].strict || s.ours != Interface::Classic))
                throw BenchFailure("ours refuses " + c.job.path + ": " + TiffView_GetErrorText(c.refused));
            cases.push_back(std::move(c));
        }
    }
    std::printf("\nverified  every line of %zu files read by libtiff and by ours equals the page drawn\n",
                cases.size());
    for (std::size_t e = 0; e < kEncodingCount && s.ours == Interface::Classic; ++e) {
        if (kEncodings[e].strict) continue;
        const FileCase* refused = nullptr;
        for (const FileCase& c : cases) {
            if (c.encoding == e && !c.Timed()) refused = &c;
        }
        if (refused) {
            std::printf("          %s: refused by CTiffView with TV_OPTION_ANY_BILEVEL (0x%08X %s); libtiff timed alone\n",
                        kEncodings[e].label, refused->refused, TiffView_GetErrorText(refused->refused));
        } else {
            std::printf("          %s: read by CTiffView with TV_OPTION_ANY_BILEVEL\n", kEncodings[e].label);
        }
    }

    // Whole pages: every repetition visits every file, the two sides taking
    // turns at going first, so that a passing burst of load or a cache left
    // warm by the other side falls on both alike.
    std::uint32_t widest = 0;
    for (const PageFormat& f : kFormats) widest = std::max(widest, f.width);
    std::vector<unsigned char> line((widest + 7) / 8 + 16);
    for (int r = 0; r < s.reps; ++r) {
        for (FileCase& c : cases) {
            const bool oursFirst = ((r + c.encoding + c.page) % 2) == 0;
            // The floor of a bulk read takes its turn first or last, so that
            // it finds the file's bytes in the caches as often as ours does.
            const bool floor = s.ours == Interface::Bulk && kEncodings[c.encoding].compression == 1;
            if (floor && oursFirst) {
                FlushFileFromCaches(c.job.path);
                c.mappedCopy.push_back(TimeMappedCopy(c.job));
            }
            for (int side = 0; side < 2; ++side) {
                FlushFileFromCaches(c.job.path);
                if ((side == 0) == oursFirst) {
                    if (c.Timed()) c.ours.push_back(TimeOursPage(c.job, line.data()));
                } else {
                    c.libtiff.push_back(TimeLibtiffPage(c.job, line.data()));
                }
            }
            if (floor && !oursFirst) {
                FlushFileFromCaches(c.job.path);
                c.mappedCopy.push_back(TimeMappedCopy(c.job));
            }
        }
    }
    // Opening and closing alone, and with the first line read.
    for (int r = 0; r < s.reps; ++r) {
        for (FileCase& c : cases) {
            if (!c.Timed()) continue;
            if (r % 2 == 0) {
                c.oursOpen.push_back(TimeOursOpen(c.job, line.data(), s.openBatch, false));
                c.libtiffOpen.push_back(TimeLibtiffOpen(c.job, line.data(), s.openBatch, false));
                c.oursFirst.push_back(TimeOursOpen(c.job, line.data(), s.openBatch, true));
                c.libtiffFirst.push_back(TimeLibtiffOpen(c.job, line.data(), s.openBatch, true));
            } else {
                c.libtiffOpen.push_back(TimeLibtiffOpen(c.job, line.data(), s.openBatch, false));
                c.oursOpen.push_back(TimeOursOpen(c.job, line.data(), s.openBatch, false));
                c.libtiffFirst.push_back(TimeLibtiffOpen(c.job, line.data(), s.openBatch, true));
                c.oursFirst.push_back(TimeOursOpen(c.job, line.data(), s.openBatch, true));
            }
        }
    }

    std::printf("\nWhole page: open + every line + close  vs  TIFFOpen + every TIFFReadScanline + TIFFClose\n");
    std::printf("%-14s %-6s %9s %11s %9s %8s\n", "page", "coding", "file KiB", "libtiff ms", "ours ms", "ratio");
    std::map<std::size_t, double> totalLib, totalOurs;
    for (const FileCase& c : cases) {
        const double lib = Median(c.libtiff) * 1e3;
        std::printf("%-14s %-6s %9.1f %11.2f ", pages[c.page].name.c_str(), kEncodings[c.encoding].label,
                    static_cast<double>(c.bytes) / 1024, lib);
        if (c.Timed()) {
            const double ours = Median(c.ours) * 1e3;
            totalLib[c.encoding] += lib;
            totalOurs[c.encoding] += ours;
            std::printf("%9.2f %8s\n", ours, Ratio(lib, ours).c_str());
        } else {
            std::printf("%9s %8s\n", "refused", "-");
        }
    }

    // The summary: ratios per page and coding, and over the page set.
    std::printf("\nRatio libtiff / ours per page (whole page)\n%-14s", "page");
    for (std::size_t e = 0; e < kEncodingCount; ++e) std::printf(" %8s", kEncodings[e].label);
    std::printf("\n");
    for (std::size_t pi = 0; pi < pages.size(); ++pi) {
        std::printf("%-14s", pages[pi].name.c_str());
        for (const FileCase& c : cases) {
            if (c.page != pi) continue;
            std::printf(" %8s", c.Timed() ? Ratio(Median(c.libtiff), Median(c.ours)).c_str() : "refused");
        }
        std::printf("\n");
    }
    std::printf("%-14s", "all pages");
    for (std::size_t e = 0; e < kEncodingCount; ++e)
        std::printf(" %8s", totalOurs.count(e) ? Ratio(totalLib[e], totalOurs[e]).c_str() : "-");
    std::printf("\n\nAggregate over the %zu pages (sum of medians)\n", pages.size());
    std::printf("%-6s %11s %9s %8s\n", "coding", "libtiff ms", "ours ms", "ratio");
    for (std::size_t e = 0; e < kEncodingCount; ++e) {
        if (!totalOurs.count(e)) {
            double lib = 0;
            for (const FileCase& c : cases) {
                if (c.encoding == e) lib += Median(c.libtiff) * 1e3;
            }
            std::printf("%-6s %11.2f %9s %8s\n", kEncodings[e].label, lib, "refused", "-");
            continue;
        }
        std::printf("%-6s %11.2f %9.2f %8s\n", kEncodings[e].label, totalLib[e], totalOurs[e],
                    Ratio(totalLib[e], totalOurs[e]).c_str());
    }

    if (s.ours == Interface::Bulk) {
        std::printf("\nBulk reads of uncompressed pages against their floor: the file mapped and its strips\n"
                    "copied with memcpy into one image (open and close included); ratio = ours / memcpy\n");
        std::printf("%-14s %11s %9s %8s\n", "page", "memcpy ms", "ours ms", "ratio");
        for (const FileCase& c : cases) {
            if (c.mappedCopy.empty() || !c.Timed()) continue;
            const double copy = Median(c.mappedCopy) * 1e3, ours = Median(c.ours) * 1e3;
            std::printf("%-14s %11.3f %9.3f %7.2fx\n", pages[c.page].name.c_str(), copy, ours, ours / copy);
        }
    }

    std::printf("\nOpening alone, microseconds per file (mean over the pages of each file's median)\n");
    std::printf("  open+close:       our open + close vs TIFFOpen (reads the first directory) + TIFFClose\n");
    std::printf("  open+line+close:  the same with the first line read (our opening already\n");
    std::printf("                    loads the first strip; libtiff loads it at the first TIFFReadScanline)\n");
    std::printf("%-6s %12s %9s %8s %14s %9s %8s\n", "coding", "libtiff us", "ours us", "ratio", "libtiff us",
                "ours us", "ratio");
    std::printf("%-6s %31s %33s\n", "", "open+close", "open+line+close");
    for (std::size_t e = 0; e < kEncodingCount; ++e) {
        double lo = 0, oo = 0, lf = 0, of = 0;
        int n = 0;
        for (const FileCase& c : cases) {
            if (c.encoding != e || !c.Timed()) continue;
            lo += Median(c.libtiffOpen) * 1e6;
            oo += Median(c.oursOpen) * 1e6;
            lf += Median(c.libtiffFirst) * 1e6;
            of += Median(c.oursFirst) * 1e6;
            ++n;
        }
        if (n == 0) {
            std::printf("%-6s %12s\n", kEncodings[e].label, "refused");
            continue;
        }
        std::printf("%-6s %12.1f %9.1f %8s %14.1f %9.1f %8s\n", kEncodings[e].label, lo / n, oo / n,
                    Ratio(lo, oo).c_str(), lf / n, of / n, Ratio(lf, of).c_str());
    }

    if (s.rss) {
        // One fresh process per reading; its peak over an idle one's.
        long idle = -1;
        for (int i = 0; i < 3; ++i) {
            const long v = PeakRssKiB("none", cases.front().job);
            if (v >= 0 && (idle < 0 || v < idle)) idle = v;
        }
        std::printf("\nPeak resident memory of a fresh process reading one whole page, KiB above an idle one (%ld KiB)\n",
                    idle);
        std::printf("(largest over the %zu-pixel-wide pages; libtiff maps the file, so its figure counts the mapped "
                    "file pages it touched)\n",
                    static_cast<std::size_t>(kFormats[1].width));
        std::printf("%-6s %11s %9s\n", "coding", "libtiff", "ours");
        for (std::size_t e = 0; e < kEncodingCount; ++e) {
            long lib = -1, ours = -1;
            bool refused = false;
            for (const FileCase& c : cases) {
                if (c.encoding != e || pages[c.page].format.width != kFormats[1].width) continue;
                lib = std::max(lib, Above(PeakRssKiB("libtiff", c.job), idle));
                if (c.Timed()) {
                    ours = std::max(ours, Above(PeakRssKiB("ours", c.job), idle));
                } else {
                    refused = true;
                }
            }
            std::printf("%-6s %11ld %9s\n", kEncodings[e].label, lib, refused ? "refused" : std::to_string(ours).c_str());
        }
    }
    std::printf("\nload      %s (1, 5, 15 min) at the end\n", LoadAverage().c_str());
    return 0;
}

}  // namespace
}  // namespace tvbench

int main(int argc, char** argv) {
    const int child = tvbench::RunRssChild(argc, argv);
    if (child >= 0) return child;
    tvbench::Settings settings;
    if (!tvbench::ParseArgs(argc, argv, settings)) {
        tvbench::Usage();
        return 2;
    }
    try {
        return tvbench::Run(settings);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "tiffview_bench: FAILED: %s\n", e.what());
        return 1;
    }
}
