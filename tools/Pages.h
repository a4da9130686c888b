// What the commands share about reading pages: the reading options of the
// command line, preparing a reader for one page, and naming a page in
// messages.
#ifndef TIFFVIEW_TOOLS_PAGES_H
#define TIFFVIEW_TOOLS_PAGES_H

#include <cstdint>
#include <string>
#include <vector>

class CTiffView;

namespace tvtool {

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
};

// Sets the profile, the page (0-based) and the log settings on a reader
// before it parses or opens a file.
void PreparePage(CTiffView& view, const ReadOptions& options, std::uint32_t page);

// What a file's pages are, as far as the library can tell.
struct FileOutline {
    // Directories in the main chain; 0 when the file itself cannot be
    // read (firstResult says why).
    std::uint32_t pageCount = 0;
    std::uint32_t firstResult = 0;  // the result of parsing the first page
    bool byteOrderKnown = false;     // some page was read
    bool littleEndian = false;
};

// Parses the first page of the file the library knows as `path`. When it is
// refused for a fault of its own (a tag, or an image the profile does not
// read), the following pages are tried until one can be read, so that the
// others of a mixed file are still found.
FileOutline OutlineFile(const std::string& path, const ReadOptions& options);

// How messages name a page: the file alone when it has a single page,
// otherwise "FILE page N" with N counted from 1.
std::string PageLabel(const std::string& file, std::uint32_t page, std::uint32_t pageCount);

enum class Taken { No, Yes, Error };

// Takes the reading option at args[at] (--strict, --max-memory BYTES,
// --log-dir DIR, or their --name=value forms), moving `at` past a separate
// value. Error: `error` says what is wrong with it.
Taken TakeReadOption(const std::vector<std::string>& args, std::size_t& at, ReadOptions& options,
                     std::string& error);

// Makes sure the log directory exists (creating it, not its parents); false
// with `error` set when it cannot be used. Nothing to do without one.
bool PrepareLogDirectory(const ReadOptions& options, std::string& error);

}  // namespace tvtool

#endif
