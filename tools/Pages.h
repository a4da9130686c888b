// What the commands share about reading pages: the reading profile chosen
// on the command line, preparing a reader for one page, and naming a page
// in messages.
#ifndef TIFFVIEW_TOOLS_PAGES_H
#define TIFFVIEW_TOOLS_PAGES_H

#include <cstdint>
#include <string>

class CTiffView;

namespace tvtool {

// How the files are read. By default the tool reads every bi-level image
// libtiff reads; --strict keeps the library's own fax/scanner profile, so
// that a file can be checked against it.
struct ReadProfile {
    bool strict = false;
};

// Sets the profile and the page (0-based) on a reader before it parses or
// opens a file.
void PreparePage(CTiffView& view, const ReadProfile& profile, std::uint32_t page);

// What a file's pages are, as far as the library can tell.
struct FileOutline {
    // Directories in the main chain; 0 when the file itself cannot be
    // read (firstResult says why).
    std::uint32_t pageCount = 0;
    std::uint32_t firstResult = 0;  // the result of parsing the first page
    bool byteOrderKnown = false;     // some page was read
    bool littleEndian = false;
};

// Parses the first page. When it is refused for a fault of its own (a tag,
// or an image the profile does not read), the following pages are tried
// until one can be read, so that the others of a mixed file are still found.
FileOutline OutlineFile(const std::string& path, const ReadProfile& profile);

// How messages name a page: the file alone when it has a single page,
// otherwise "FILE page N" with N counted from 1.
std::string PageLabel(const std::string& path, std::uint32_t page, std::uint32_t pageCount);

// The option every command takes; true when `arg` was it.
bool TakeProfileOption(const std::string& arg, ReadProfile& profile);

}  // namespace tvtool

#endif
