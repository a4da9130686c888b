#include "Readers.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include "TiffView.h"
#include "TiffViewReader.hpp"

extern char** environ;

namespace tvbench {

namespace {

bool g_wall = false;

std::string Hex(std::uint32_t code) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", code);
    return buf;
}

std::string OurFailure(const char* what, const ReadJob& job, std::uint32_t code) {
    return std::string(what) + " " + job.path + ": " + Hex(code) + " " + TiffView_GetErrorText(code);
}

// The bits of a row that are pixels: the last byte's padding is not.
bool SameRow(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t width, bool invertA) {
    const std::uint32_t full = width / 8;
    for (std::uint32_t i = 0; i < full; ++i) {
        const std::uint8_t v = invertA ? static_cast<std::uint8_t>(~a[i]) : a[i];
        if (v != b[i]) return false;
    }
    if (width % 8) {
        const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00u >> (width % 8));
        const std::uint8_t v = invertA ? static_cast<std::uint8_t>(~a[full]) : a[full];
        if ((v & mask) != (b[full] & mask)) return false;
    }
    return true;
}

struct TiffHandle {
    TIFF* tif;
    ~TiffHandle() {
        if (tif) TIFFClose(tif);
    }
};

tiffview::Options ReaderOptions(const ReadJob& job) {
    return tiffview::Options().map_file((job.ourOptions & TV_OPTION_MAP_FILE) != 0);
}

// One whole image for the bulk reads, kept between calls so that its
// allocation is not timed.
std::vector<unsigned char>& ImageBuffer(const ReadJob& job) {
    static std::vector<unsigned char> image;
    image.resize(static_cast<std::size_t>((job.width + 7) / 8) * job.length);
    return image;
}

// Our side of one file, whichever interface reads it.
class OurReader {
public:
    explicit OurReader(const ReadJob& job) : job_(job) {
        if (job.ours == Interface::Classic) view_.SetOptions(job.ourOptions);
    }
    std::uint32_t Open() {
        if (job_.ours == Interface::Classic) return view_.OpenFile(job_.path.c_str());
        return reader_.open(job_.path, ReaderOptions(job_)).code();
    }
    std::uint32_t Line(unsigned char* line) {
        if (job_.ours == Interface::Classic) return view_.ReadALine(line);
        return reader_.read_line(line, (job_.width + 7) / 8).code();
    }
    // Every line: one call for the whole page in bulk, else line by line
    // into `line`, each checked with `check` when given.
    template <class Check>
    std::uint32_t Page(unsigned char* line, Check check) {
        if (job_.ours == Interface::Bulk) {
            std::vector<unsigned char>& image = ImageBuffer(job_);
            const std::size_t stride = (job_.width + 7) / 8;
            const std::uint32_t rc = reader_.read_page(image.data(), image.size(), static_cast<std::ptrdiff_t>(stride)).code();
            for (std::uint32_t y = 0; rc == TV_OK && y < job_.length; ++y) check(y, image.data() + y * stride);
            return rc;
        }
        for (std::uint32_t y = 0; y < job_.length; ++y) {
            const std::uint32_t rc = Line(line);
            if (rc != TV_OK) return rc;
            check(y, line);
        }
        return TV_OK;
    }
    void Close() {
        view_.CloseFile();
        reader_.close();
    }
    void Size(std::uint32_t& width, std::uint32_t& length) {
        if (job_.ours == Interface::Classic) {
            TiffInfo_t info{};
            view_.GetImageInfo(&info);
            width = info.Width;
            length = info.Length;
        } else {
            width = reader_.info().width();
            length = reader_.info().length();
        }
    }

private:
    const ReadJob& job_;
    CTiffView view_;
    tiffview::Reader reader_;
};

TIFF* OpenLibtiff(const ReadJob& job) {
    TIFF* tif = TIFFOpen(job.path.c_str(), "r");
    if (!tif) throw BenchFailure("libtiff cannot open " + job.path);
    return tif;
}

}  // namespace

void UseClock(Clock clock) { g_wall = clock == Clock::Wall; }

// std::clock is the process's CPU time (glibc reads it to the microsecond),
// which a busy machine's other processes barely disturb.
double Now() {
    if (g_wall) return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void FlushFileFromCaches(const std::string& path) {
#if defined(__x86_64__) || defined(__i386__)
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0) ::close(fd);
        return;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return;
    // The cache lines of the file's pages, wherever they are mapped.
    const auto* bytes = static_cast<const char*>(map);
    for (std::size_t i = 0; i < size; i += 64) __builtin_ia32_clflush(bytes + i);
    ::munmap(map, size);
#else
    (void)path;
    static std::vector<unsigned char> junk(std::size_t{32} << 20);
    for (std::size_t i = 0; i < junk.size(); i += 64) junk[i] = static_cast<unsigned char>(junk[i] + 1);
#endif
}

std::uint32_t VerifyFile(const ReadJob& job, const Page& page) {
    std::vector<unsigned char> line(page.rowBytes + 16);
    {
        TiffHandle t{OpenLibtiff(job)};
        std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
        TIFFGetFieldDefaulted(t.tif, TIFFTAG_PHOTOMETRIC, &photometric);
        std::uint32_t width = 0, length = 0;
        TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &length);
        if (width != job.width || length != job.length || TIFFScanlineSize(t.tif) > static_cast<tmsize_t>(line.size()))
            throw BenchFailure("libtiff sees another image size in " + job.path);
        for (std::uint32_t y = 0; y < job.length; ++y) {
            if (TIFFReadScanline(t.tif, line.data(), y, 0) < 0)
                throw BenchFailure("libtiff cannot read line " + std::to_string(y) + " of " + job.path);
            if (!SameRow(line.data(), page.Row(y), job.width, photometric == PHOTOMETRIC_MINISBLACK))
                throw BenchFailure("libtiff's line " + std::to_string(y) + " of " + job.path + " is not the page drawn");
        }
    }
    OurReader ours(job);
    const std::uint32_t opened = ours.Open();
    if (opened != TV_OK) {
        ours.Close();
        return opened;
    }
    std::uint32_t width = 0, length = 0;
    ours.Size(width, length);
    if (width != job.width || length != job.length) throw BenchFailure("ours sees another image size in " + job.path);
    const std::uint32_t rc = ours.Page(line.data(), [&](std::uint32_t y, const unsigned char* row) {
        if (!SameRow(row, page.Row(y), job.width, false))
            throw BenchFailure("our line " + std::to_string(y) + " of " + job.path +
                               " differs from libtiff's and from the page drawn");
    });
    if (rc != TV_OK) throw BenchFailure(OurFailure("reading", job, rc));
    ours.Close();
    return TV_OK;
}

double TimeOursPage(const ReadJob& job, unsigned char* line) {
    if (job.ours == Interface::Bulk) ImageBuffer(job);
    OurReader ours(job);
    const double t0 = Now();
    const std::uint32_t opened = ours.Open();
    if (opened != TV_OK) throw BenchFailure(OurFailure("opening", job, opened));
    const std::uint32_t rc = ours.Page(line, [](std::uint32_t, const unsigned char*) {});
    if (rc != TV_OK) throw BenchFailure(OurFailure("reading", job, rc));
    ours.Close();
    return Now() - t0;
}

double TimeMappedCopy(const ReadJob& job) {
    // The strips' places, learned before the clock starts.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> strips;
    {
        tiffview::Reader reader;
        if (!reader.open(job.path)) throw BenchFailure("cannot open " + job.path);
        for (const tiffview::Chunk& c : reader.info().chunks()) strips.emplace_back(c.offset, c.byte_count);
    }
    std::vector<unsigned char>& image = ImageBuffer(job);
    const double t0 = Now();
    const int fd = ::open(job.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) throw BenchFailure("cannot open " + job.path);
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) throw BenchFailure("cannot map " + job.path);
    std::size_t at = 0;
    for (const auto& strip : strips) {
        const std::size_t n = std::min<std::size_t>(strip.second, image.size() - at);
        std::memcpy(image.data() + at, static_cast<const unsigned char*>(map) + strip.first, n);
        at += n;
    }
    ::munmap(map, size);
    ::close(fd);
    return Now() - t0;
}

double TimeLibtiffPage(const ReadJob& job, unsigned char* line) {
    const double t0 = Now();
    TIFF* tif = OpenLibtiff(job);
    for (std::uint32_t y = 0; y < job.length; ++y) {
        if (TIFFReadScanline(tif, line, y, 0) < 0) {
            TIFFClose(tif);
            throw BenchFailure("libtiff cannot read " + job.path);
        }
    }
    TIFFClose(tif);
    return Now() - t0;
}

double TimeOursOpen(const ReadJob& job, unsigned char* line, int batch, bool firstLine) {
    OurReader ours(job);
    const double t0 = Now();
    for (int i = 0; i < batch; ++i) {
        const std::uint32_t opened = ours.Open();
        if (opened != TV_OK) throw BenchFailure(OurFailure("opening", job, opened));
        if (firstLine) {
            const std::uint32_t rc = ours.Line(line);
            if (rc != TV_OK) throw BenchFailure(OurFailure("reading the first line", job, rc));
        }
        ours.Close();
    }
    return (Now() - t0) / batch;
}

double TimeLibtiffOpen(const ReadJob& job, unsigned char* line, int batch, bool firstLine) {
    const double t0 = Now();
    for (int i = 0; i < batch; ++i) {
        // TIFFOpen reads the first directory itself, as TIFFSetDirectory(0) would.
        TIFF* tif = OpenLibtiff(job);
        if (firstLine && TIFFReadScanline(tif, line, 0, 0) < 0) {
            TIFFClose(tif);
            throw BenchFailure("libtiff cannot read " + job.path);
        }
        TIFFClose(tif);
    }
    return (Now() - t0) / batch;
}

namespace {

long VmHwmKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kib = -1;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

}  // namespace

// The child is exec'd rather than only forked: a forked copy would count
// the parent's pages (all the drawn pages) as its own, and Linux carries a
// process's pre-exec peak into ru_maxrss, so the child reports the peak of
// its own new address space (VmHWM) instead.
long PeakRssKiB(const char* side, const ReadJob& job) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    const std::string options = std::to_string(job.ourOptions), length = std::to_string(job.length),
                      width = std::to_string(job.width), ours = std::to_string(static_cast<int>(job.ours));
    std::vector<std::string> args = {"tiffview_bench", "--rss-child", side, job.path, width, length, options, ours};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return -1;
    }
    std::string out;
    char buf[64];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::strtol(out.c_str(), nullptr, 10);
}

int RunRssChild(int argc, char** argv) {
    if (argc != 8 || std::strcmp(argv[1], "--rss-child") != 0) return -1;
    ReadJob job;
    job.path = argv[3];
    job.width = static_cast<std::uint32_t>(std::strtoul(argv[4], nullptr, 10));
    job.length = static_cast<std::uint32_t>(std::strtoul(argv[5], nullptr, 10));
    job.ourOptions = static_cast<std::uint32_t>(std::strtoul(argv[6], nullptr, 10));
    job.ours = static_cast<Interface>(std::strtol(argv[7], nullptr, 10));
    const std::string side = argv[2];
    // The line buffer is the host's in both cases, and the same size.
    std::vector<unsigned char> line((job.width + 7) / 8 + 16);
    try {
        if (side == "ours") {
            TimeOursPage(job, line.data());
        } else if (side == "libtiff") {
            TIFFSetWarningHandler(nullptr);
            TimeLibtiffPage(job, line.data());
        } else if (side != "none") {
            return 2;
        }
    } catch (const std::exception&) {
        return 1;
    }
    std::printf("%ld\n", VmHwmKiB());
    return 0;
}

}  // namespace tvbench
