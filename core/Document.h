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

// One directory entry, its numbers in host order; the value field as stored:
// four bytes in classic TIFF, eight in BigTIFF (the rest zero), holding the
// values when they fit, else their offset.
struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    unsigned char value[8] = {};
};

// A page's directory: its entries and the means to read their values.
class Directory {
public:
    Directory(Source& source, bool littleEndian, bool bigTiff = false)
        : source_(&source), little_(littleEndian), big_(bigTiff) {}

    const Entry* Find(std::uint16_t tag) const;
    std::uint32_t U16(const unsigned char* p) const;
    std::uint32_t U32(const unsigned char* p) const;
    std::uint64_t U64(const unsigned char* p) const;
    // Bytes in an entry's value field: 4, or 8 in BigTIFF.
    std::uint32_t FieldSize() const { return big_ ? 8 : 4; }
    // The offset an entry's value field holds when its values do not fit.
    std::uint64_t FieldOffset(const Entry& entry) const { return big_ ? U64(entry.value) : U32(entry.value); }
    // Value `index` of an entry of any integer type (BYTE, SHORT, LONG,
    // LONG8, their signed kinds, IFD, IFD8), sign-extended where signed (an
    // unsigned LONG8 beyond INT64_MAX reads as INT64_MAX, out of any tag's
    // range); false when the entry holds no such value.
    bool Integer(const Entry& entry, std::uint64_t index, std::int64_t& value) const;
    // A single-valued tag as libtiff reads it, by the tag's lenient rule:
    // one value of an accepted integer type, from 0 to the tag's largest
    // (BitsPerSample and Compression: the first of one or more).
    // TV_OK; TV_ERR_TAG_MISSING when absent; TV_ERR_TAG_TYPE, _COUNT,
    // _READ or _VALUE (out of range) when present but unreadable.
    std::uint32_t Single(std::uint16_t tag, std::uint32_t& value) const;
    // Reads `bytes` bytes at `offset`, which must lie inside the source
    // (values may start inside the header, as libtiff reads them).
    bool ReadAt(std::uint64_t offset, void* dest, std::uint32_t bytes) const;
    std::uint64_t SourceSize() const;

    std::vector<Entry> entries;

private:
    Source* source_;
    bool little_;
    bool big_;
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
    // No PhotometricInterpretation: `photometric` is the one assumed, as
    // PageLayout assumes it.
    bool photometricAssumed = false;
    bool tiled = false;
    // One sample of one bit: a page the library is made for.
    bool Bilevel() const { return status == 0 && bitsPerSample == 1 && samplesPerPixel == 1; }
};

// The PhotometricInterpretation of a page that gives none, by its
// compression: min-is-white (0) for the fax codings, else min-is-black (1).
std::uint32_t AssumedPhotometric(std::uint32_t compression);

class Document {
public:
    // Reads the header (classic TIFF, or BigTIFF: version 43, 8-byte
    // offsets) and walks the chain. A loop or an unreadable link
    // ends the chain after the pages found so far, as libtiff counts them;
    // only the first directory must be reachable.
    std::uint32_t Open(Source& source);

    std::uint32_t PageCount() const { return static_cast<std::uint32_t>(pages_.size()); }
    bool LittleEndian() const { return little_; }
    bool BigTiff() const { return big_; }
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
    bool big_ = false;
    std::vector<Place> pages_;
};

}  // namespace tvcore

#endif
