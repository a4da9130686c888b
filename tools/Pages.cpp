#include "Pages.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "Memory.h"
#include "TiffView.h"

namespace tvtool {

namespace {

// A fault of one directory, after which the next page may still be read;
// anything else concerns the file (header, directory chain) or the profile.
bool IsPageFault(std::uint32_t code) {
    const std::uint32_t kind = code & 0xFFu;
    return (code >> 24) == 0xF0u && ((kind >= 0x30 && kind <= 0x35) || (kind >= 0x40 && kind <= 0x43) ||
                                     (code & TV_CODE_MASK) == TV_ERR_NO_MEMORY);
}

// Refused pages tried before giving up on finding a readable one; each try
// reads the directory chain again.
constexpr std::uint32_t kMaxPagesTried = 1000;

// "--name VALUE" or "--name=VALUE": true when args[at] is one of them, with
// `value` set (empty and `missing` true when the separate value is absent).
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

}  // namespace

void PreparePage(CTiffView& view, const ReadOptions& options, std::uint32_t page) {
    view.SetOptions(options.strict ? 0u : TV_OPTION_ANY_BILEVEL);
    view.SelectPage(page);
    // The library's own default is a log tree beside the executable, which
    // after installation is PREFIX/bin/log: the tool only ever writes logs
    // where it was told to.
    if (options.logDirectory.empty()) {
        view.SetLogEnabled(0);
    } else {
        view.SetLogEnabled(1);
        view.SetLogDirectory(options.logDirectory.c_str());
    }
}

FileOutline OutlineFile(const std::string& path, const ReadOptions& options) {
    FileOutline outline;
    for (std::uint32_t page = 0; page < kMaxPagesTried; ++page) {
        CTiffView view;
        PreparePage(view, options, page);
        const std::uint32_t rc = view.ParseFile(path.c_str(), 0);
        if (page == 0) outline.firstResult = rc;
        if (rc == TV_OK) {
            TiffInfo_t info;
            view.GetImageInfo(&info);
            outline.pageCount = view.GetPageCount() > page ? view.GetPageCount() : page + 1;
            outline.byteOrderKnown = true;
            outline.littleEndian = info.Intel != 0;
            view.CloseFile();
            return outline;
        }
        view.CloseFile();
        // Every page refused: the chain ends here.
        if ((rc & TV_CODE_MASK) == TV_ERR_PAGE_MISSING) {
            outline.pageCount = page;
            return outline;
        }
        if (!IsPageFault(rc)) break;
    }
    outline.pageCount = 0;
    return outline;
}

std::string PageLabel(const std::string& file, std::uint32_t page, std::uint32_t pageCount) {
    if (pageCount <= 1) return file;
    return file + " page " + std::to_string(page + 1);
}

Taken TakeReadOption(const std::vector<std::string>& args, std::size_t& at, ReadOptions& options,
                     std::string& error) {
    if (args[at] == "--strict") {
        options.strict = true;
        return Taken::Yes;
    }
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
