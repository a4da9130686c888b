// tiffview's C++17 interface: a movable reader with a hidden implementation,
// reading a file (a path of any length or a descriptor), a caller's memory or
// a caller's read function, page by page, a line at a time or many lines at
// once into the caller's buffer, whose size it checks.
//
//     tiffview::Reader reader;
//     tiffview::Result r = reader.open("scan.tif");
//     if (!r) { std::cerr << r.message() << '\n'; return 1; }
//     std::vector<std::uint8_t> line(reader.info().line_bytes());
//     while (reader.has_more_lines()) {
//         r = reader.read_line(line.data(), line.size());
//         if (r.is_warning()) std::cerr << r.message() << '\n';
//         if (!r) break;                 // no line delivered
//         // 8 pixels a byte, first pixel in bit 7, 1 = black
//     }
//
// By default every bi-level TIFF that libtiff reads is read;
// Profile::strict reads with the fax/scanner profile of CTiffView. No
// diagnostic log is written unless a log directory is given.
//
// Options, PageInfo and PageSummary keep their data out of sight, so that
// later releases can add to them without changing their layout.
#ifndef TIFFVIEW_TIFFVIEWREADER_HPP
#define TIFFVIEW_TIFFVIEWREADER_HPP

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TiffViewCodes.h"

namespace tiffview {

// The outcome of a call: one of TiffViewCodes.h's result codes (context
// bits included) and an English sentence naming the source, the page and
// the tag or strip concerned, with the system's reason where there is one.
class TIFFVIEW_API Result {
public:
    Result() = default;
    Result(std::uint32_t code, std::string message);

    std::uint32_t code() const noexcept { return code_; }
    // The code without its tag or strip context, to compare with TV_ERR_*.
    std::uint32_t kind() const noexcept;
    bool ok() const noexcept { return code_ == 0; }
    // A line was delivered, padded or trimmed (TV_ERR_STRIP_SHORT,
    // TV_ERR_STRIP_LONG, TV_ERR_LINE_SHORT, TV_ERR_LINE_DAMAGED).
    bool is_warning() const noexcept;
    bool is_error() const noexcept { return !ok() && !is_warning(); }
    // True unless the call failed: success or a warning.
    explicit operator bool() const noexcept { return !is_error(); }
    const std::string& message() const noexcept;
    // The system's errno behind a failure to open or read a source; 0
    // when there is none.
    int system_error() const noexcept { return systemError_; }

    Result(std::uint32_t code, std::string message, int systemError);

private:
    std::uint32_t code_ = 0;
    int systemError_ = 0;
    std::string message_;  // empty for success, which costs a line nothing
};

enum class Profile {
    any_bilevel,  // every bi-level TIFF libtiff reads, every page
    strict,       // the fax/scanner profile: first page, resolution required, ...
};

// How the lines of a raw fax stream are coded: modified Huffman (each row
// from a byte boundary, no EOLs, as TIFF's Compression 2), Group 3 one-
// dimensional, Group 3 with two-dimensional lines, Group 4.
enum class FaxCoding { mh, g3, g3_2d, g4 };

// A raw CCITT fax stream: fax data without a TIFF container, as fax
// software keeps it and as PDF's CCITTFaxDecode filter carries it. It is one
// page, described by these parameters, set one at a time:
//     tiffview::FaxStream().coding(tiffview::FaxCoding::g4).width(2480)
// Its lines are read as a TIFF page's are: damage is followed to the last
// line and reported line by line. A stream's own EndOfLine, EndOfBlock and
// DamagedRowsBeforeError need no setting: EOLs and the end of the block are
// found whatever they say, and reading never stops at damage.
class TIFFVIEW_API FaxStream {
public:
    FaxStream();
    ~FaxStream();
    FaxStream(const FaxStream& other);
    FaxStream& operator=(const FaxStream& other);
    FaxStream(FaxStream&& other) noexcept;
    FaxStream& operator=(FaxStream&& other) noexcept;

    // FaxCoding::g3 by default.
    FaxStream& coding(FaxCoding coding);
    FaxCoding coding() const noexcept;
    // The coding as PDF's K gives it: below 0 Group 4, 0 Group 3, above 0
    // Group 3 with two-dimensional lines.
    FaxStream& pdf_k(int k);
    // Pixels a row (PDF's Columns); 1728 by default.
    FaxStream& width(std::uint32_t columns);
    std::uint32_t width() const noexcept;
    // Rows of the page; 0 (the default): as many as the stream holds, up to
    // the end of its block (EOFB, RTC) or of its data.
    FaxStream& rows(std::uint32_t rows);
    std::uint32_t rows() const noexcept;
    // Each row (Group 4, modified Huffman) or EOL (Group 3) starts at a byte
    // boundary (PDF's EncodedByteAlign).
    FaxStream& byte_aligned(bool aligned);
    bool byte_aligned() const noexcept;
    // PDF's BlackIs1: the lines come out complemented, the stream's black
    // runs as 0 bits, as a PDF reader shows them with the default Decode.
    FaxStream& black_is_1(bool black_is_1);
    bool black_is_1() const noexcept;
    // Bits filled from each byte's least significant bit (FillOrder 2).
    FaxStream& lsb_first(bool lsb_first);
    bool lsb_first() const noexcept;

private:
    struct Data;
    std::unique_ptr<Data> data_;
};

// How a reader reads, set one option at a time:
//     reader.open(path, tiffview::Options().profile(tiffview::Profile::strict));
class TIFFVIEW_API Options {
public:
    Options();
    ~Options();
    Options(const Options& other);
    Options& operator=(const Options& other);
    Options(Options&& other) noexcept;
    Options& operator=(Options&& other) noexcept;

    Options& profile(Profile profile);
    Profile profile() const noexcept;
    // The page to open, from 0 (0 by default); no_page opens the source and
    // its page list only.
    static constexpr std::uint32_t no_page = 0xFFFFFFFFu;
    Options& page(std::uint32_t page);
    std::uint32_t page() const noexcept;
    // Read a file's strips through a memory mapping instead of copying them
    // out: faster on large uncompressed strips, but if another process
    // shortens the file while it is open, reading it kills the process with
    // SIGBUS. Off by default. Memory is always read in place.
    Options& map_file(bool map);
    bool map_file() const noexcept;
    // Diagnostic logs of strips decoded wrongly (strict profile) go here;
    // empty (the default): none are written.
    Options& log_directory(const std::filesystem::path& directory);
    const std::filesystem::path& log_directory() const noexcept;
    // Read the source as a raw fax stream of one page instead of a TIFF
    // file, whatever the profile; tiff() goes back to TIFF (the default).
    Options& raw_fax(const FaxStream& stream);
    Options& tiff();
    // The stream's parameters; null when the source is read as TIFF.
    const FaxStream* raw_fax() const noexcept;

private:
    struct Data;
    std::unique_ptr<Data> data_;
};

// One strip or tile as stored.
struct Chunk {
    std::uint64_t offset = 0;
    std::uint64_t byte_count = 0;
};

// The page open in a reader.
class TIFFVIEW_API PageInfo {
public:
    PageInfo();
    ~PageInfo();
    PageInfo(const PageInfo& other);
    PageInfo& operator=(const PageInfo& other);

    std::uint32_t page_count() const noexcept;
    std::uint32_t page_index() const noexcept;
    std::uint32_t width() const noexcept;
    std::uint32_t length() const noexcept;
    std::size_t line_bytes() const noexcept;  // (width + 7) / 8
    std::uint32_t compression() const noexcept;
    std::uint16_t photometric() const noexcept;
    // The page gives no PhotometricInterpretation (or one that cannot be
    // read): photometric() is assumed, 0 for the fax codings, else 1.
    bool photometric_assumed() const noexcept;
    bool little_endian() const noexcept;
    double x_resolution() const noexcept;  // 0 when the file gives none
    double y_resolution() const noexcept;
    std::uint16_t resolution_unit() const noexcept;  // 1 none, 2 inch, 3 centimetre
    std::uint16_t fill_order() const noexcept;
    std::uint16_t orientation() const noexcept;      // 1..8 as stored
    std::uint32_t t4_options() const noexcept;
    std::uint32_t t6_options() const noexcept;
    bool tiled() const noexcept;
    std::uint32_t rows_per_strip() const noexcept;   // strips
    std::uint32_t tile_width() const noexcept;       // tiles
    std::uint32_t tile_length() const noexcept;
    const std::vector<Chunk>& chunks() const noexcept;

    struct Data;
    explicit PageInfo(std::shared_ptr<const Data> data);

private:
    std::shared_ptr<const Data> data_;
};

// What one page of the source is, read from its directory without its
// tables; known for every page, also those that cannot be read.
class TIFFVIEW_API PageSummary {
public:
    PageSummary();
    ~PageSummary();
    PageSummary(const PageSummary& other);
    PageSummary& operator=(const PageSummary& other);

    // TV_OK, or why the page's directory cannot be read.
    std::uint32_t status() const noexcept;
    std::uint32_t width() const noexcept;
    std::uint32_t length() const noexcept;
    std::uint32_t bits_per_sample() const noexcept;
    std::uint32_t samples_per_pixel() const noexcept;
    std::uint32_t compression() const noexcept;
    std::uint32_t photometric() const noexcept;
    // As PageInfo::photometric_assumed.
    bool photometric_assumed() const noexcept;
    bool tiled() const noexcept;
    // The file's byte order (every page shares it).
    bool little_endian() const noexcept;
    // One sample of one bit: a page of the kind this library reads.
    bool bilevel() const noexcept;

    struct Data;
    explicit PageSummary(std::shared_ptr<const Data> data);

private:
    std::shared_ptr<const Data> data_;
};

// Lines delivered with a warning: `line_count` lines from `first_line`,
// all with `code`.
struct Damage {
    std::uint32_t first_line = 0;
    std::uint32_t line_count = 0;
    std::uint32_t code = 0;
};

// One entry of a page's directory with its values, as `Reader::tags` lists
// them: every tag, also those the library does not read.
struct TagEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;         // TIFF field type (2 ASCII, 3 SHORT, 5 RATIONAL, ...)
    std::uint64_t count = 0;        // values stored
    std::string name;               // the TIFF name; empty for a tag the library does not name
    std::string text;               // ASCII, up to its first NUL
    std::vector<std::int64_t> integers;  // BYTE, SHORT, LONG, their signed kinds, UNDEFINED bytes
    std::vector<double> reals;      // RATIONAL, SRATIONAL, FLOAT, DOUBLE
    bool complete = true;           // false when values were left out (too many, or unreadable)
};

// The caller's read function: fills `dest` with up to `count` bytes at
// `offset` and returns how many it wrote (fewer only at the end or on an
// error).
using ReadFunction = std::size_t (*)(void* user, std::uint64_t offset, void* dest, std::size_t count);

class TIFFVIEW_API Reader {
public:
    Reader();
    ~Reader();
    Reader(Reader&& other) noexcept;
    Reader& operator=(Reader&& other) noexcept;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens a source and the page `options` selects; closes whatever was
    // open before. When the source opens but the page is refused, the
    // source stays open: page_count() and page() describe its pages and
    // select_page() opens another.
    Result open(const std::filesystem::path& path, const Options& options = Options());
    // `size` bytes of memory that must stay valid while the reader is open.
    Result open(const void* data, std::size_t size, const Options& options = Options());
    // A file open in `descriptor`; the reader reads through a duplicate, so
    // the caller may close its own at once.
    Result open_descriptor(int descriptor, const Options& options = Options());
    // `size` bytes read through `read`, called with `user`.
    Result open(ReadFunction read, void* user, std::uint64_t size, const Options& options = Options());
    // Opens another page of the same source (Options::no_page: none).
    Result select_page(std::uint32_t page);
    // Closes the page, keeping the source and its page list open.
    void close_page() noexcept;
    void close() noexcept;

    // Whether a page is open for reading.
    bool is_open() const noexcept;
    // Pages in the source's directory chain; 0 when no source is open.
    std::uint32_t page_count() const noexcept;
    // What page `index` is; a default summary past the last page.
    PageSummary page(std::uint32_t index) const;
    // Describes page `index` as info() would once it is open, reading its
    // directory and tables but preparing nothing for decoding.
    Result describe(std::uint32_t index, PageInfo& info) const;
    // Every entry of page `index`'s directory, in stored order, with up to
    // `max_values` values (or characters) each.
    Result tags(std::uint32_t index, std::vector<TagEntry>& entries, std::uint32_t max_values = 256) const;
    // The open page; a default PageInfo when none is open.
    const PageInfo& info() const noexcept;
    // Index of the line read_line delivers next.
    std::uint32_t line_index() const noexcept;
    bool has_more_lines() const noexcept;

    // Writes the next line into `dest`, which must hold info().line_bytes().
    Result read_line(std::uint8_t* dest, std::size_t size);
    // Reads up to `count` lines (fewer at the end of the page), line i at
    // dest + i * stride; `size` is the room at `dest`, checked against the
    // lines asked for. Lines with warnings are listed in damage(); the
    // result is a warning when any line of this call had one, an error when
    // reading stopped (line_index() tells where).
    Result read_lines(std::uint8_t* dest, std::size_t size, std::ptrdiff_t stride, std::uint32_t count);
    // The rest of the page, rows at `stride`.
    Result read_page(std::uint8_t* dest, std::size_t size, std::ptrdiff_t stride);
    // The lines of the open page delivered with a warning so far.
    const std::vector<Damage>& damage() const noexcept;

    struct Impl;

private:
    Result read_line_checked(std::uint8_t* dest, std::size_t size);
    std::unique_ptr<Impl> impl_;
};

}  // namespace tiffview

#endif
