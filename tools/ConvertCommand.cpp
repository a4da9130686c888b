// tiffview convert: decode a page, or every page, of one file or of many,
// and write it as PBM or PNG to files or to standard output.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "ImageWriter.h"
#include "Input.h"
#include "LogWatch.h"
#include "Memory.h"
#include "OutputFile.h"
#include "Progress.h"
#include "ToolText.h"

namespace tvtool {

namespace {

constexpr char kPattern[] = "%d";
constexpr char kStandardOutputLabel[] = "standard output";

bool EndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool ParseFormat(const std::string& name, ImageFormat& format) {
    if (name == "pbm") {
        format = ImageFormat::Pbm;
        return true;
    }
    if (name == "png") {
        format = ImageFormat::Png;
        return true;
    }
    return false;
}

const char* Extension(ImageFormat format) { return format == ImageFormat::Png ? ".png" : ".pbm"; }

// A page number as the user counts, from 1.
bool ParsePageNumber(const std::string& text, std::uint32_t& number) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value == 0 || value > 0xFFFFFFFFu) return false;
    number = static_cast<std::uint32_t>(value);
    return true;
}

// The file for page `number` (from 1): OUT with every "%d" replaced by the
// number when OUT is a pattern, otherwise with "-number" before the extension (a dot in
// the directory part or leading the file name starts none).
std::string PageTarget(const std::string& out, std::uint32_t number, bool pattern) {
    const std::string digits = std::to_string(number);
    if (pattern) {
        std::string name;
        for (std::string::size_type i = 0; i < out.size();) {
            if (out.compare(i, 2, kPattern) == 0) {
                name += digits;
                i += 2;
            } else {
                name += out[i++];
            }
        }
        return name;
    }
    const std::string::size_type slash = out.rfind('/');
    const std::string::size_type base = slash == std::string::npos ? 0 : slash + 1;
    const std::string::size_type dot = out.rfind('.');
    if (dot == std::string::npos || dot <= base) return out + "-" + digits;
    return out.substr(0, dot) + "-" + digits + out.substr(dot);
}

// An input's file name without its directory and its last extension:
// "scans/a.tif" -> "a", ".hidden" -> ".hidden".
std::string Stem(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string::size_type dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

// Pixel density for the PNG header, when the page states it in a real unit.
void SetDensity(const tiffview::PageInfo& page, ImageHeader& header) {
    const std::uint32_t unit = page.resolution_unit();
    const double perMetre = unit == 2 ? 1 / 0.0254 : unit == 3 ? 100.0 : 0.0;
    header.xDotsPerMetre = page.x_resolution() * perMetre;
    header.yDotsPerMetre = page.y_resolution() * perMetre;
}

// The most a page's rows take in one read. A page is read whole when it
// fits here and within what --max-memory leaves beside the page's other
// needs; otherwise in bands of as many rows as do.
constexpr std::uint64_t kLargestBand = 64ull << 20;

std::uint32_t BandRows(const tiffview::PageInfo& info, std::uint64_t need, std::uint64_t limit) {
    const std::uint64_t line = std::max<std::uint64_t>(info.line_bytes(), 1);
    // The need counts one line of the tool's own; the band takes its place.
    std::uint64_t room = limit == 0 || need > limit ? kLargestBand : std::min(kLargestBand, limit - need + line);
    const std::uint64_t rows = std::min<std::uint64_t>(room / line, info.length());
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(rows, 1));
}

struct Warning {
    std::string where;
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t code;
    bool tiled;
};

// One output file and the pages (0-based) it holds, in order.
struct Target {
    std::string path;
    std::vector<std::uint32_t> pages;
};

// What the command line asked for, shared by every input.
struct Settings {
    ReadOptions options;
    ImageFormat format = ImageFormat::Pbm;
    std::uint32_t pageNumber = 0;  // 0: every page
};

std::string Prefixed(const std::string& text) { return "tiffview convert: " + text + "\n"; }

class Converter {
public:
    Converter(const InputFile& input, tiffview::Reader& reader, const Settings& settings, std::uint32_t pageCount,
              Progress& progress)
        : input_(input), reader_(reader), settings_(settings), pageCount_(pageCount), progress_(progress) {}

    // Writes every target to its temporary file; on failure reports it and
    // returns the exit status (Abandon then removes what was written).
    int Write(const std::vector<Target>& targets) {
        files_.clear();
        pagesTotal_ = 0;
        for (const Target& target : targets) pagesTotal_ += target.pages.size();
        pagesDone_ = 0;
        for (const Target& target : targets) {
            files_.push_back(std::make_unique<OutputFile>());
            OutputFile& out = *files_.back();
            std::string error;
            if (!out.Open(target.path, error)) return OutputError(target.path, error);
            for (std::uint32_t page : target.pages) {
                const int rc = WritePage(out.Stream(), target.path, page);
                if (rc != kExitOk) return rc;
            }
            if (!out.Close(error)) return OutputError(target.path, error);
        }
        return kExitOk;
    }

    // Writes the pages one image after another to `stream`, which cannot be
    // taken back: nothing is written before the first page is open, and a
    // failure later is reported together with what the stream then holds.
    int WriteStream(std::FILE* stream, const std::vector<std::uint32_t>& pages) {
        pagesTotal_ = pages.size();
        pagesDone_ = 0;
        for (std::uint32_t page : pages) {
            const int rc = WritePage(stream, kStandardOutputLabel, page);
            if (rc != kExitOk) {
                if (started_) {
                    progress_.Diagnose(Prefixed(std::string(kStandardOutputLabel) + ": the image of " +
                                                PageLabel(input_.Label(), page, pageCount_) +
                                                " is cut short; what came before it is complete"));
                } else if (pagesDone_ > 0) {
                    progress_.Diagnose(Prefixed(std::string(kStandardOutputLabel) + ": holds the first " +
                                                std::to_string(pagesDone_) + " of " + std::to_string(pages.size()) +
                                                " pages only"));
                }
                return rc;
            }
            if (std::fflush(stream) != 0) return OutputError(kStandardOutputLabel, std::strerror(errno));
        }
        return kExitOk;
    }

    // Renames every finished temporary to its target; returns how many
    // were renamed, all of them unless a rename failed (reported).
    std::size_t Commit() {
        for (std::size_t i = 0; i < files_.size(); ++i) {
            const std::string target = files_[i]->Target();
            std::string error;
            if (!files_[i]->Commit(error)) {
                OutputError(target, error);
                return i;
            }
        }
        return files_.size();
    }

    const std::vector<Warning>& Warnings() const { return warnings_; }

    // Drops every temporary not yet renamed.
    void Abandon() {
        for (const std::unique_ptr<OutputFile>& file : files_) file->Abandon();
    }

private:
    int WritePage(std::FILE* stream, const std::string& target, std::uint32_t page) {
        started_ = false;
        const std::string where = PageLabel(input_.Label(), page, pageCount_);
        const tiffview::Result opened = reader_.select_page(page);
        if (!opened) {
            progress_.Diagnose(Prefixed(where + ": " + DescribeResult(opened.code())));
            return kExitFailed;
        }
        const tiffview::PageInfo& info = reader_.info();
        const std::uint32_t length = info.length();
        const bool tiled = info.tiled();
        const std::size_t lineBytes = info.line_bytes();
        ImageHeader header;
        header.width = info.width();
        header.length = length;
        SetDensity(info, header);

        std::unique_ptr<ImageWriter> writer = MakeImageWriter(settings_.format);
        started_ = true;
        if (!writer->Begin(stream, header)) return OutputError(target, writer->Error());
        const LineSink sink = settings_.format == ImageFormat::Png ? LineSink::Png : LineSink::Pbm;
        const std::uint64_t need = PageMemoryNeed(ShapeOf(info), input_.Size(), settings_.options.strict, sink);
        const std::uint32_t bandRows = BandRows(info, need, settings_.options.maxMemory);
        // Rows at least a byte apart, so that even a page the library
        // delivers with empty lines is read through a valid band.
        const std::size_t rowBytes = std::max<std::size_t>(lineBytes, 1);
        std::vector<std::uint8_t> band(rowBytes * bandRows);
        const auto stride = static_cast<std::ptrdiff_t>(rowBytes);
        while (reader_.has_more_lines()) {
            const std::uint32_t first = reader_.line_index();
            const tiffview::Result read = reader_.read_lines(band.data(), band.size(), stride, bandRows);
            // Lines delivered before a failure are written as they came.
            const std::uint32_t delivered = reader_.line_index() - first;
            for (std::uint32_t i = 0; i < delivered; ++i) {
                if (!writer->WriteLine(band.data() + static_cast<std::size_t>(i) * rowBytes))
                    return OutputError(target, writer->Error());
            }
            if (read.is_error()) {
                progress_.Diagnose(Prefixed(where + ": line " + std::to_string(reader_.line_index()) + ": " +
                                            DescribeResult(read.code(), tiled)));
                return kExitFailed;
            }
            if (delivered == 0) {
                // Never silently short: a page must end with its last line.
                progress_.Diagnose(Prefixed(where + ": line " + std::to_string(first) + ": no line delivered"));
                return kExitFailed;
            }
            progress_.Advance(static_cast<std::uint32_t>(
                                  (pagesDone_ * 1000 + std::uint64_t{reader_.line_index()} * 1000 / length) /
                                  pagesTotal_),
                              1000);
        }
        for (const tiffview::Damage& d : reader_.damage())
            warnings_.push_back(Warning{where, d.first_line, d.first_line + d.line_count - 1, d.code, tiled});
        // Closing the page frees its decoder and lets the strict profile
        // write its diagnostic log.
        EndPage(reader_);
        if (!writer->Finish()) return OutputError(target, writer->Error());
        started_ = false;
        ++pagesDone_;
        return kExitOk;
    }

    int OutputError(const std::string& target, const std::string& error) {
        progress_.Diagnose(Prefixed("cannot write " + target + ": " + error));
        return kExitOutput;
    }

    const InputFile& input_;
    tiffview::Reader& reader_;
    const Settings& settings_;
    std::uint32_t pageCount_;
    Progress& progress_;
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::vector<Warning> warnings_;
    std::uint64_t pagesTotal_ = 1;
    std::uint64_t pagesDone_ = 0;
    bool started_ = false;  // the current page's image has begun
};

// The pages of the file open in `reader`: with --page just that one,
// otherwise all of them. Returns kExitOk, or the status of a file that
// cannot be read.
int ChoosePages(const InputFile& input, tiffview::Reader& reader, const Settings& settings, Progress& progress,
                std::vector<std::uint32_t>& pages, std::uint32_t& pageCount) {
    const std::string& label = input.Label();
    const std::uint32_t pageNumber = settings.pageNumber;
    const FileOutline outline = OutlineFile(input, settings.options, reader);
    pageCount = outline.pageCount;
    pages.clear();
    if (pageNumber == 0) {
        if (pageCount == 0) {
            progress.Diagnose(Prefixed(label + ": " + DescribeResult(outline.firstResult)));
            return kExitFailed;
        }
        for (std::uint32_t p = 0; p < pageCount; ++p) pages.push_back(p);
        return kExitOk;
    }
    if (pageNumber > pageCount) {
        // The library's own word on the page: missing, or not one the
        // profile reads, or the file's fault.
        const std::uint32_t rc = reader.select_page(pageNumber - 1).code();
        progress.Diagnose(Prefixed(label + " page " + std::to_string(pageNumber) + ": " + DescribeResult(rc)));
        if ((rc & TV_CODE_MASK) == TV_ERR_PAGE_MISSING && pageCount != 0)
            progress.Diagnose(
                Prefixed(label + " has " + std::to_string(pageCount) + (pageCount == 1 ? " page" : " pages")));
        return kExitFailed;
    }
    pages.push_back(pageNumber - 1);
    return kExitOk;
}

// Every page to be written is opened and held against --max-memory before
// the first byte of output, so that a refused page leaves nothing behind,
// not even on standard output. A page named by --page is named so when it
// cannot be opened.
int CheckMemory(const InputFile& input, tiffview::Reader& reader, const Settings& settings, Progress& progress,
                const std::vector<std::uint32_t>& pages, std::uint32_t pageCount) {
    const LineSink sink = settings.format == ImageFormat::Png ? LineSink::Png : LineSink::Pbm;
    for (std::uint32_t page : pages) {
        std::string refusal;
        const std::uint32_t rc = OpenWithinLimit(reader, input.Size(), settings.options, page, sink, refusal);
        EndPage(reader);
        const std::string where = PageLabel(input.Label(), page, pageCount);
        if (rc != TV_OK) {
            const std::string named =
                settings.pageNumber != 0 ? input.Label() + " page " + std::to_string(settings.pageNumber) : where;
            progress.Diagnose(Prefixed(named + ": " + DescribeResult(rc)));
            return kExitFailed;
        }
        if (!refusal.empty()) {
            progress.Diagnose(Prefixed(where + ": " + refusal));
            return kExitFailed;
        }
    }
    return kExitOk;
}

// Where the pages go. One page: OUT, or OUT's pattern with its number.
// Several: one file each, unless PBM output without a pattern, which holds
// them all one after another. Names made from a batch's input names are
// never patterns, whatever those names hold.
std::vector<Target> PlanTargets(const std::string& output, ImageFormat format,
                                const std::vector<std::uint32_t>& pages, bool patternAllowed) {
    const bool pattern = patternAllowed && output.find(kPattern) != std::string::npos;
    if (pages.size() == 1)
        return {Target{pattern ? PageTarget(output, pages[0] + 1, true) : output, pages}};
    if (format == ImageFormat::Pbm && !pattern) return {Target{output, pages}};
    std::vector<Target> targets;
    for (std::uint32_t page : pages) targets.push_back(Target{PageTarget(output, page + 1, pattern), {page}});
    return targets;
}

// Names targets[from..] for a message.
std::string TargetList(const std::vector<Target>& targets, std::size_t from = 0) {
    const std::size_t n = targets.size() - from;
    if (n == 1) return targets[from].path;
    return targets[from].path + " ... " + targets.back().path + " (" + std::to_string(n) + " files)";
}

struct FileOutcome {
    int status = kExitOk;
    bool written = false;
};

// Which input each output of a batch came from, so that two inputs of the
// same name in different directories do not overwrite each other.
using Claims = std::map<std::string, std::string>;

// Converts one input to `output` ("-" for standard output, else a file name
// or pattern). `claims` is null for a single input.
FileOutcome ConvertFile(const std::string& name, const std::string& output, const Settings& settings,
                        Progress& progress, Claims* claims) {
    FileOutcome outcome;
    outcome.status = kExitFailed;
    InputFile input;
    std::string error;
    if (!input.Open(name, error)) {
        progress.Diagnose(Prefixed(input.Label() + ": " + error));
        return outcome;
    }
    tiffview::Reader reader;
    std::vector<std::uint32_t> pages;
    std::uint32_t pageCount = 0;
    if ((outcome.status = ChoosePages(input, reader, settings, progress, pages, pageCount)) != kExitOk)
        return outcome;
    const bool toStream = output == kStandardStream;
    if (toStream && settings.format == ImageFormat::Png && pages.size() > 1) {
        progress.Diagnose(Prefixed(input.Label() + " has " + std::to_string(pages.size()) +
                                   " pages and standard output takes a single PNG image: choose one with "
                                   "--page N, or write PBM, or name output files"));
        outcome.status = kExitFailed;
        return outcome;
    }
    if ((outcome.status = CheckMemory(input, reader, settings, progress, pages, pageCount)) != kExitOk)
        return outcome;

    LogWatch logs(settings.options.logDirectory);
    logs.Mark();
    Converter converter(input, reader, settings, pageCount, progress);
    if (toStream) {
        outcome.status = converter.WriteStream(stdout, pages);
        if (outcome.status != kExitOk) return outcome;
    } else {
        const std::vector<Target> targets = PlanTargets(output, settings.format, pages, claims == nullptr);
        if (claims != nullptr) {
            for (const Target& target : targets) {
                const auto claimed = claims->find(target.path);
                if (claimed == claims->end()) continue;
                progress.Diagnose(Prefixed(input.Label() + ": not converted: " + target.path +
                                           " was already written from " + claimed->second));
                outcome.status = kExitOutput;
                return outcome;
            }
        }
        outcome.status = converter.Write(targets);
        if (outcome.status != kExitOk) {
            converter.Abandon();
            progress.Diagnose(Prefixed(TargetList(targets) + " not written"));
            return outcome;
        }
        const std::size_t renamed = converter.Commit();
        if (renamed < targets.size()) {
            converter.Abandon();
            progress.Diagnose(Prefixed(TargetList(targets, renamed) + " not written"));
            outcome.status = kExitOutput;
            return outcome;
        }
        if (claims != nullptr)
            for (const Target& target : targets) (*claims)[target.path] = input.Label();
    }
    outcome.written = true;

    for (const Warning& w : converter.Warnings()) {
        const std::string lines = w.first == w.last ? "line " + std::to_string(w.first)
                                                    : "lines " + std::to_string(w.first) + "-" + std::to_string(w.last);
        progress.Diagnose(Prefixed(w.where + ": warning: " + lines + ": " + DescribeResult(w.code, w.tiled)));
    }
    const std::vector<std::string> newLogs = logs.NewLogs();
    for (const std::string& log : newLogs)
        progress.Diagnose(Prefixed(input.Label() + ": diagnostic log written: " + log));
    outcome.status = converter.Warnings().empty() && newLogs.empty() ? kExitOk : kExitFailed;
    return outcome;
}

// Creates the batch's output directory when it is missing (not its parents).
bool PrepareOutputDirectory(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    int reason = ENOTDIR;
    if (::stat(dir.c_str(), &st) != 0) {
        if (::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) return true;
        reason = errno;
    }
    std::fprintf(stderr, "tiffview convert: cannot use output directory %s: %s\n", dir.c_str(),
                 std::strerror(reason));
    return false;
}

}  // namespace

int RunConvert(const Args& args, ReadOptions options) {
    Args positional;
    std::string output;
    std::string outputDir;
    std::string formatName;
    std::string pageText;
    bool pageGiven = false;
    bool outputGiven = false;
    bool outputDirGiven = false;
    enum class Bar { Auto, Always, Never } bar = Bar::Auto;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kConvertHelp, stdout);
            return kExitOk;
        }
        std::string error;
        const Taken taken = optionsDone ? Taken::No : TakeReadOption(args, i, options, error);
        if (taken == Taken::Error) return UsageError("convert", error);
        if (taken == Taken::Yes) continue;
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "-o" || arg == "--output" || arg == "--format" || arg == "--page" ||
                                    arg == "--output-dir")) {
            if (i + 1 >= args.size()) return UsageError("convert", "option '" + arg + "' needs a value");
            const std::string& value = args[++i];
            if (arg == "--format") formatName = value;
            else if (arg == "--page") pageText = value;
            else if (arg == "--output-dir") outputDir = value;
            else output = value;
            pageGiven = pageGiven || arg == "--page";
            outputGiven = outputGiven || arg == "-o" || arg == "--output";
            outputDirGiven = outputDirGiven || arg == "--output-dir";
        } else if (!optionsDone && arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
            outputGiven = true;
        } else if (!optionsDone && arg.rfind("--output-dir=", 0) == 0) {
            outputDir = arg.substr(13);
            outputDirGiven = true;
        } else if (!optionsDone && arg.rfind("--format=", 0) == 0) {
            formatName = arg.substr(9);
        } else if (!optionsDone && arg.rfind("--page=", 0) == 0) {
            pageText = arg.substr(7);
            pageGiven = true;
        } else if (!optionsDone && arg == "--progress") {
            bar = Bar::Always;
        } else if (!optionsDone && arg == "--no-progress") {
            bar = Bar::Never;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return UsageError("convert", "unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) return UsageError("convert", "no input file given");
    if (outputDirGiven) {
        if (outputGiven) return UsageError("convert", "-o and --output-dir cannot be combined");
        if (outputDir.empty()) return UsageError("convert", "option '--output-dir' needs a directory");
        for (const std::string& input : positional)
            if (input == kStandardStream)
                return UsageError("convert", "standard input has no name to write under --output-dir: use -o OUT");
    } else {
        // The older form names the output as a second operand.
        if (positional.size() == 2 && !outputGiven) {
            output = positional[1];
            positional.pop_back();
        } else if (positional.size() > 1) {
            return UsageError("convert", "several input files need --output-dir DIR (one input with -o OUT)");
        }
        if (output.empty()) return UsageError("convert", "no output file given (use -o OUT, or - for standard output)");
    }
    Settings settings;
    settings.options = options;
    if (pageGiven && !ParsePageNumber(pageText, settings.pageNumber))
        return UsageError("convert", "'" + pageText + "' is not a page number (pages count from 1)");

    const bool toStream = output == kStandardStream;
    if (!formatName.empty()) {
        if (!ParseFormat(formatName, settings.format))
            return UsageError("convert", "unknown format '" + formatName + "' (pbm or png)");
    } else if (outputDirGiven || toStream) {
        settings.format = ImageFormat::Pbm;
    } else if (EndsWith(output, ".png")) {
        settings.format = ImageFormat::Png;
    } else if (!EndsWith(output, ".pbm")) {
        return UsageError("convert", "cannot tell the format from '" + output + "': use .pbm or .png, or --format");
    }
    if (!MakeImageWriter(settings.format)) {
        std::fprintf(stderr, "tiffview convert: %s output is not available: this tiffview was built without libpng\n",
                     FormatName(settings.format));
        return kExitUsage;
    }
    // Like compressors, the tool keeps binary image data off a terminal.
    if (toStream && ::isatty(STDOUT_FILENO) == 1)
        return UsageError("convert", "standard output is a terminal: redirect or pipe it, or use -o FILE");
    const int stdinUse = CheckStandardInputUse("convert", positional);
    if (stdinUse != kExitOk) return stdinUse;
    const int logs = PrepareLogs("convert", options);
    if (logs != kExitOk) return logs;
    if (outputDirGiven && !PrepareOutputDirectory(outputDir)) return kExitOutput;

    const bool showBar = bar == Bar::Always || (bar == Bar::Auto && positional.size() > 1 && IsTerminal(stderr));
    Progress progress(showBar, positional.size());
    if (!outputDirGiven) {
        progress.Start(0, positional[0] == kStandardStream ? kStandardInputLabel : positional[0]);
        const FileOutcome outcome = ConvertFile(positional[0], output, settings, progress, nullptr);
        progress.Finish();
        return outcome.status;
    }

    const std::string dir = outputDir.back() == '/' ? outputDir : outputDir + "/";
    Claims claims;
    int status = kExitOk;
    std::size_t converted = 0;
    std::size_t withWarnings = 0;
    for (std::size_t i = 0; i < positional.size(); ++i) {
        progress.Start(i, positional[i]);
        const std::string target = dir + Stem(positional[i]) + Extension(settings.format);
        const FileOutcome outcome = ConvertFile(positional[i], target, settings, progress, &claims);
        if (outcome.written) ++converted;
        if (outcome.written && outcome.status != kExitOk) ++withWarnings;
        if (outcome.status > status) status = outcome.status;
    }
    progress.Finish();
    if (positional.size() > 1) {
        std::string summary = std::to_string(positional.size()) + " files: " + std::to_string(converted) + " converted";
        if (withWarnings != 0) summary += " (" + std::to_string(withWarnings) + " with warnings)";
        summary += ", " + std::to_string(positional.size() - converted) + " failed\n";
        progress.Print(summary);
    }
    return status;
}

}  // namespace tvtool
