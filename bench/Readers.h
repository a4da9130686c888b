// The two sides the benchmark compares, each used the way a host reads a
// page: ours through one of its interfaces (tiffview::Reader line by line or
// a whole page at once, or the classic CTiffView) and libtiff (TIFFOpen,
// TIFFReadScanline per line, TIFFClose).
#ifndef TIFFVIEW_BENCH_READERS_H
#define TIFFVIEW_BENCH_READERS_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "PageGenerator.h"

namespace tvbench {

// Raised when a reader fails or the two disagree; the benchmark stops.
struct BenchFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Clock { ProcessCpu, Wall };
void UseClock(Clock clock);
double Now();  // seconds

// Flushes the file's bytes from the processor's caches (they stay in the
// system's page cache), so that each timed read starts with the file as a
// page's first read finds it, while code and tables stay as warm as they
// are when pages follow pages. Whichever side read a file first would
// otherwise leave it in the caches for the other, and a median over
// repetitions in which one side went first once more than the other fell
// on that side's colder runs. (Off x86, a large buffer is written instead.)
void FlushFileFromCaches(const std::string& path);

// Which of our interfaces reads.
enum class Interface {
    Reader,  // tiffview::Reader, its default profile, read_line per line
    Bulk,    // tiffview::Reader, its default profile, read_page into one image
    Classic, // CTiffView with ourOptions (0: its strict default profile)
};

// What one file is read as.
struct ReadJob {
    std::string path;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    Interface ours = Interface::Reader;
    std::uint32_t ourOptions = 0;  // TV_OPTION_* bits; TV_OPTION_MAP_FILE counts for every interface
};

// Reads every line with both readers and compares each with the drawn page
// (libtiff's MinIsBlack pixels inverted, padding bits ignored). Throws
// BenchFailure when libtiff fails, when ours fails after opening, or when a
// line differs. Returns TV_OK, or the code OpenFile refused the file with.
std::uint32_t VerifyFile(const ReadJob& job, const Page& page);

// Timed readings, in seconds; `line` holds (width + 7) / 8 bytes. Throw
// BenchFailure on any failure.
double TimeOursPage(const ReadJob& job, unsigned char* line);
double TimeLibtiffPage(const ReadJob& job, unsigned char* line);
// The floor of a bulk read: the file mapped and its strips' bytes copied
// into one image with memcpy (uncompressed pages); open and close included.
double TimeMappedCopy(const ReadJob& job);
// `batch` openings in a row, optionally reading the first line of each;
// seconds per opening.
double TimeOursOpen(const ReadJob& job, unsigned char* line, int batch, bool firstLine);
double TimeLibtiffOpen(const ReadJob& job, unsigned char* line, int batch, bool firstLine);

// Peak resident memory: a fresh process (this program, exec'd again) reads
// the page once with one side, or does nothing ("none"), and reports its
// VmHWM. Returns KiB, or -1 when it could not be measured.
long PeakRssKiB(const char* side, const ReadJob& job);
// The child's side of it: handles the arguments when they ask for a child
// run, and returns the process exit code; -1 when they do not.
int RunRssChild(int argc, char** argv);

}  // namespace tvbench

#endif
