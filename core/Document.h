// A TIFF file as a list of pages: the header is read and the directory chain
// walked once when the document opens, so every page is known by its place
// whether or not it can be read, and the page count never depends on any
// one page. A page's entries are read when it is asked for.
#ifndef TIFFVIEW_CORE_DOCUMENT_H
#define TIFFVIEW_CORE_DOCUMENT_H

#include <cstdint>
#include <vector>

namespace tvcore {

class Source;

// One directory entry, its numbers in host order; the value field as stored
// (the first four bytes hold a value that fits, else the offset of the
// values).
struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    unsigned char value[4] = {};
};

// A page's directory: its entries and the means to read their values.
class Directory {
public:
    Directory(Source& source, bool littleEndian) : source_(&source), little_(littleEndian) {}

    const Entry* Find(std::uint16_t tag) const;
    std::uint32_t U16(const unsigned char* p) const;
    std::uint32_t U32(const unsigned char* p) const;
    // Value `index` of an integer entry (BYTE, SHORT, LONG and their signed
    // kinds read as their bits); false when the entry holds no such value.
    bool Integer(const Entry& entry, std::uint32_t index, std::uint32_t& value) const;
    // Reads `bytes` bytes at `offset`, which must lie inside the source past
    // the header.
    bool ReadAt(std::uint64_t offset, void* dest, std::uint32_t bytes) const;
    std::uint64_t SourceSize() const;

    std::vector<Entry> entries;

private:
    Source* source_;
    bool little_;
};

// What a page is, as far as its entries tell without reading its tables.
struct PageSummary {
    std::uint32_t status = 0;  // TV_OK, or why its directory cannot be read
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t bitsPerSample = 1;
    std::uint32_t samplesPerPixel = 1;
    std::uint32_t compression = 1;
    std::uint32_t photometric = 0;
    bool tiled = false;
    // One sample of one bit: a page the library is made for.
    bool Bilevel() const { return status == 0 && bitsPerSample == 1 && samplesPerPixel == 1; }
};

class Document {
public:
    // Reads the header and walks the chain. A loop or an unreadable link
    // ends the chain after the pages found so far, as libtiff counts them;
    // only the first directory must be reachable.
    std::uint32_t Open(Source& source);

    std::uint32_t PageCount() const { return static_cast<std::uint32_t>(pages_.size()); }
    bool LittleEndian() const { return little_; }
    Source& GetSource() const { return *source_; }

    // Reads page `index`'s entries into `directory`; TV_ERR_PAGE_MISSING
    // past the last page, TV_ERR_IFD_READ when they cannot be read.
    std::uint32_t ReadDirectory(std::uint32_t index, Directory& directory) const;
    PageSummary Summarize(std::uint32_t index) const;

private:
    struct Place {
        std::uint64_t offset;
        std::uint32_t entries;
    };
    Source* source_ = nullptr;
    bool little_ = true;
    std::vector<Place> pages_;
};

}  // namespace tvcore

#endif
