#include "Pages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "Input.h"
#include "Memory.h"
#include "ToolText.h"
#include "core/Compressions.h"

namespace tvtool {

bool TakeValue(const std::vector<std::string>& args, std::size_t& at, const std::string& name, std::string& value,
               bool& missing) {
    const std::string& arg = args[at];
    missing = false;
    if (arg == name) {
        if (at + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++at];
        return true;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

tiffview::Options LibraryOptions(const ReadOptions& options) {
    tiffview::Options library;
    library.profile(options.strict ? tiffview::Profile::strict : tiffview::Profile::any_bilevel);
    library.map_file(options.map);
    // Logs are written only where the tool was told to put them.
    library.log_directory(options.logDirectory);
    return library;
}

FileOutline OutlineFile(const InputFile& input, const ReadOptions& options, tiffview::Reader& reader) {
    FileOutline outline;
    tiffview::Options library = LibraryOptions(options);
    std::optional<tiffview::FaxStream> stream;
    if (!RawStreamFor(options.raw, input.Label(), stream, outline.detail)) {
        outline.firstResult = TV_ERR_ARGUMENT;
        return outline;
    }
    if (stream) library.raw_fax(*stream);
    outline.rawFax = stream.has_value();
    // No page is opened yet: each is weighed against --max-memory first.
    const tiffview::Result opened = input.OpenIn(reader, library.page(tiffview::Options::no_page));
    outline.pageCount = reader.page_count();
    if (outline.pageCount != 0) return outline;
    // No page list: the first page's own result says why, unless the
    // strict profile reads what the page list cannot walk. A source that
    // did not even open has its own reason.
    const tiffview::Result first = reader.select_page(0);
    outline.firstResult = first.kind() == TV_ERR_FILE_HANDLE ? opened.code() : first.code();
    if (first.ok()) outline.pageCount = reader.info().page_count();
    return outline;
}

void EndPage(tiffview::Reader& reader) { reader.close_page(); }

std::string PageLabel(const std::string& file, std::uint32_t page, std::uint32_t pageCount) {
    if (pageCount <= 1) return file;
    return file + " page " + std::to_string(page + 1);
}

std::string NotBilevel(const tiffview::Reader& reader, std::uint32_t page) {
    const tiffview::PageSummary summary = reader.page(page);
    if (summary.status() != TV_OK || summary.bilevel()) return std::string();
    const std::uint32_t bits = summary.bits_per_sample();
    const std::uint32_t samples = summary.samples_per_pixel();
    return std::to_string(bits) + (bits == 1 ? " bit" : " bits") + " per sample, " + std::to_string(samples) +
           (samples == 1 ? " sample" : " samples") + " per pixel, compression " +
           std::to_string(summary.compression()) + " (" + CompressionName(summary.compression()) + ")";
}

std::string DescribeOpenFailure(const tiffview::Reader& reader, std::uint32_t page, std::uint32_t code, bool strict) {
    std::string text = DescribeResult(code);
    if ((code & TV_CODE_MASK) != TV_ERR_COMPRESSION || strict) return text;
    const tiffview::PageSummary summary = reader.page(page);
    if (summary.status() == TV_OK) text += " " + tvcore::DescribeRefusedCompression(summary.compression());
    return text;
}

std::string PageRange(std::uint32_t first, std::uint32_t last) {
    if (first == last) return "page " + std::to_string(first);
    return "pages " + std::to_string(first) + "-" + std::to_string(last);
}

Taken TakeReadOption(const std::vector<std::string>& args, std::size_t& at, ReadOptions& options,
                     std::string& error) {
    if (args[at] == "--strict") {
        options.strict = true;
        return Taken::Yes;
    }
    if (args[at] == "--map") {
        options.map = true;
        return Taken::Yes;
    }
    const Taken raw = TakeRawFaxOption(args, at, options.raw, error);
    if (raw != Taken::No) return raw;
    std::string value;
    bool missing = false;
    if (TakeValue(args, at, "--max-memory", value, missing)) {
        if (missing) {
            error = "option '--max-memory' needs a value";
            return Taken::Error;
        }
        if (!ParseByteCount(value, options.maxMemory)) {
            error = "'" + value + "' is not a byte count for --max-memory (a number, optionally with K, M or G)";
            return Taken::Error;
        }
        return Taken::Yes;
    }
    if (TakeValue(args, at, "--log-dir", value, missing)) {
        if (missing || value.empty()) {
            error = "option '--log-dir' needs a directory";
            return Taken::Error;
        }
        options.logDirectory = value;
        return Taken::Yes;
    }
    return Taken::No;
}

bool PrepareLogDirectory(const ReadOptions& options, std::string& error) {
    const std::string& dir = options.logDirectory;
    if (dir.empty()) return true;
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = "cannot use log directory " + dir + ": " + std::strerror(ENOTDIR);
        return false;
    }
    if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot create log directory " + dir + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tvtool
