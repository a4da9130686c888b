// tiffview's C++17 interface: a movable reader with a hidden implementation,
// reading a path of any length or a caller's memory, page by page, a line
// at a time into a buffer whose size it checks.
//
//     tiffview::Reader reader;
//     tiffview::Result r = reader.open("scan.tif");
//     if (!r) { std::cerr << r.message() << '\n'; return 1; }
//     std::vector<std::uint8_t> line(reader.info().line_bytes);
//     while (reader.has_more_lines()) {
//         r = reader.read_line(line.data(), line.size());
//         if (r.is_warning()) std::cerr << r.message() << '\n';
//         if (!r) break;                 // no line delivered
//         // 8 pixels a byte, first pixel in bit 7, 1 = black
//     }
//
// By default every bi-level TIFF that libtiff reads is read
// (TV_OPTION_ANY_BILEVEL); Profile::strict reads with the fax/scanner
// profile of CTiffView. No diagnostic log is written unless a log
// directory is given.
#ifndef TIFFVIEW_TIFFVIEWREADER_HPP
#define TIFFVIEW_TIFFVIEWREADER_HPP

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#ifndef TIFFVIEW_API
#define TIFFVIEW_API __attribute__((visibility("default")))
#endif

namespace tiffview {

// The outcome of a call: one of TiffView.h's result codes (context bits
// included) and an English sentence naming the file, the page and the tag
// or strip concerned, with the system's reason where there is one.
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
    const std::string& message() const noexcept { return message_; }

private:
    std::uint32_t code_ = 0;
    std::string message_ = "Success.";
};

// One strip or tile as stored.
struct Chunk {
    std::uint32_t offset = 0;
    std::uint32_t byte_count = 0;
};

// The page open in a reader.
struct PageInfo {
    std::uint32_t page_count = 0;
    std::uint32_t page_index = 0;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::size_t line_bytes = 0;  // (width + 7) / 8
    std::uint32_t compression = 0;
    std::uint16_t photometric = 0;
    bool little_endian = false;
    double x_resolution = 0.0;   // 0 when the file gives none
    double y_resolution = 0.0;
    std::uint16_t resolution_unit = 2;
    std::uint16_t fill_order = 1;
    std::uint16_t orientation = 1;
    std::uint32_t t4_options = 0;
    std::uint32_t t6_options = 0;
    bool tiled = false;
    std::uint32_t rows_per_strip = 0;  // strips
    std::uint32_t tile_width = 0;      // tiles
    std::uint32_t tile_length = 0;
    std::vector<Chunk> chunks;
};

enum class Profile {
    any_bilevel,  // every bi-level TIFF libtiff reads, every page
    strict,       // the fax/scanner profile: first page, resolution required, ...
};

struct Options {
    Profile profile = Profile::any_bilevel;
    std::uint32_t page = 0;  // from 0
    // Diagnostic logs of strips decoded wrongly (strict profile) go here;
    // empty: none are written.
    std::filesystem::path log_directory;
};

class TIFFVIEW_API Reader {
public:
    Reader();
    ~Reader();
    Reader(Reader&& other) noexcept;
    Reader& operator=(Reader&& other) noexcept;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens a file, or `size` bytes of memory that must stay valid while
    // the reader is open; closes whatever was open before.
    Result open(const std::filesystem::path& path, const Options& options = {});
    Result open(const void* data, std::size_t size, const Options& options = {});
    // Opens another page of the same source (the options kept).
    Result select_page(std::uint32_t page);
    void close() noexcept;

    bool is_open() const noexcept;
    // The open page; a default PageInfo when nothing is open.
    const PageInfo& info() const noexcept;
    std::uint32_t page_count() const noexcept { return info().page_count; }
    // Index of the line read_line delivers next.
    std::uint32_t line_index() const noexcept;
    bool has_more_lines() const noexcept { return is_open() && line_index() < info().length; }

    // Writes the next line into `dest`, which must hold info().line_bytes.
    Result read_line(std::uint8_t* dest, std::size_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tiffview

#endif
