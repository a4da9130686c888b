// What the commands share about reading pages: the reading options of the
// command line, preparing a reader for one page, and naming a page in
// messages.
#ifndef TIFFVIEW_TOOLS_PAGES_H
#define TIFFVIEW_TOOLS_PAGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "RawFaxInput.h"
#include "TiffViewReader.hpp"

namespace tvtool {

class InputFile;

// How the files are read, as the options before the command or among a
// command's own set it.
struct ReadOptions {
    // By default the tool reads every bi-level image libtiff reads;
    // --strict keeps the library's own fax/scanner profile, so that a file
    // can be checked against it.
    bool strict = false;
    // --max-memory: the most a page may need to be decoded; 0 for no limit.
    // The default matches tiffcp's default allocation limit.
    std::uint64_t maxMemory = 256ull << 20;
    // --log-dir: where the library writes diagnostic logs; empty, none.
    std::string logDirectory;
    // --map: files are read through a memory mapping.
    bool map = false;
    // convert without --orientation stored: pages are turned upright as
    // their Orientation tag says, which holds the page in memory.
    bool upright = false;
    // --raw and the options describing a raw fax stream.
    RawFaxOptions raw;
};

// "--name VALUE" or "--name=VALUE": true when args[at] is one of them, with
// `value` set (empty and `missing` true when the separate value is absent).
bool TakeValue(const std::vector<std::string>& args, std::size_t& at, const std::string& name, std::string& value,
               bool& missing);

// The library's options for `options` (page 0 until one is set).
tiffview::Options LibraryOptions(const ReadOptions& options);

// The pages of a file, found by one walk of its directory chain.
struct FileOutline {
    // Directories in the main chain; 0 when the file itself cannot be
    // read (firstResult says why).
    std::uint32_t pageCount = 0;
    std::uint32_t firstResult = 0;  // why, when pageCount is 0
    std::string detail;             // more on why, when there is more to say
    bool rawFax = false;            // a raw fax stream, not a TIFF file
};

// Opens `input` in `reader` and counts its pages, opening none of them
// (unless the strict profile reads a file the page list cannot walk): the
// file stays open, so that each page can be weighed by its summary and
// then selected.
FileOutline OutlineFile(const InputFile& input, const ReadOptions& options, tiffview::Reader& reader);

// Ends the page open in `reader`, keeping the file: the strict profile
// writes a page's diagnostic log only when the page is closed.
void EndPage(tiffview::Reader& reader);

// How messages name a page: the file alone when it has a single page,
// otherwise "FILE page N" with N counted from 1.
std::string PageLabel(const std::string& file, std::uint32_t page, std::uint32_t pageCount);

// Why page `page` of the file open in `reader` is skipped: a page whose
// directory reads but that is not one sample of one bit ("8 bits per
// sample, 1 sample per pixel, compression 5 (LZW)"); empty for any other.
std::string NotBilevel(const tiffview::Reader& reader, std::uint32_t page);

// Why page `page` could not be opened, `code` described; a refused
// compression is named with the reason ("Compression 50000 (Zstandard):
// this library has no decoder for it.") unless the strict profile refused it.
std::string DescribeOpenFailure(const tiffview::Reader& reader, std::uint32_t page, std::uint32_t code, bool strict);

// "page 2", "pages 2-5".
std::string PageRange(std::uint32_t first, std::uint32_t last);

enum class Taken { No, Yes, Error };

// Takes the reading option at args[at] (--strict, --map, --max-memory BYTES,
// --log-dir DIR, or their --name=value forms), moving `at` past a separate
// value. Error: `error` says what is wrong with it.
Taken TakeReadOption(const std::vector<std::string>& args, std::size_t& at, ReadOptions& options,
                     std::string& error);

// Makes sure the log directory exists (creating it, not its parents); false
// with `error` set when it cannot be used. Nothing to do without one.
bool PrepareLogDirectory(const ReadOptions& options, std::string& error);

}  // namespace tvtool

#endif
