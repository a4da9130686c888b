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
#include "Signals.h"
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
    bool fatalWarnings = false;    // --fatal-warnings
};

// Pixel (x, y) of the upright image comes from row r, column c of the
// stored one, as TIFF's Orientation describes where the stored rows lie:
// 2-4 mirror the rows or their order, 5-8 make the stored rows columns.
void StoredPixel(std::uint16_t orientation, std::uint32_t width, std::uint32_t length, std::uint32_t x,
                 std::uint32_t y, std::uint32_t& r, std::uint32_t& c) {
    switch (orientation) {
    case 2: r = y; c = width - 1 - x; return;
    case 3: r = length - 1 - y; c = width - 1 - x; return;
    case 4: r = length - 1 - y; c = x; return;
    case 5: r = x; c = y; return;
    case 6: r = length - 1 - x; c = y; return;
    case 7: r = length - 1 - x; c = width - 1 - y; return;
    case 8: r = x; c = width - 1 - y; return;
    default: r = y; c = x; return;
    }
}

// Row `y` of the upright image of `page` (rows `stride` bytes apart).
void UprightRow(const std::uint8_t* page, std::size_t stride, std::uint16_t orientation, std::uint32_t width,
                std::uint32_t length, std::uint32_t y, std::uint32_t outWidth, std::uint8_t* row) {
    const std::size_t rowBytes = (std::size_t{outWidth} + 7) / 8;
    std::fill(row, row + rowBytes, std::uint8_t{0});
    if (orientation == 4) {
        std::copy(page + std::size_t{length - 1 - y} * stride, page + std::size_t{length - 1 - y} * stride + rowBytes,
                  row);
        return;
    }
    for (std::uint32_t x = 0; x < outWidth; ++x) {
        std::uint32_t r = 0;
        std::uint32_t c = 0;
        StoredPixel(orientation, width, length, x, y, r, c);
        if ((page[std::size_t{r} * stride + c / 8] >> (7 - c % 8)) & 1)
            row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
}

std::string Prefixed(const std::string& text) { return "tiffview convert: " + text + "\n"; }

class Converter {
public:
    Converter(const InputFile& input, tiffview::Reader& reader, const Settings& settings, std::uint32_t pageCount,
              FileReport& progress)
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
            if (!out.Open(target.path, What(target.pages), error)) return OutputError(target.path, error);
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
    std::vector<std::unique_ptr<OutputFile>> TakeFiles() { return std::move(files_); }

    // Drops every temporary not yet renamed.
    void Abandon() {
        for (const std::unique_ptr<OutputFile>& file : files_) file->Abandon();
    }

private:
    // "scan.tif", "scan.tif page 3", "scan.tif pages 1, 2, 4".
    std::string What(const std::vector<std::uint32_t>& pages) const {
        if (pageCount_ <= 1) return input_.Label();
        std::string text = input_.Label() + (pages.size() == 1 ? " page " : " pages ");
        for (std::size_t i = 0; i < pages.size(); ++i) text += (i == 0 ? "" : ", ") + std::to_string(pages[i] + 1);
        return text;
    }

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
        const std::uint16_t orientation =
            settings_.options.upright && info.orientation() >= 2 && info.orientation() <= 8 ? info.orientation() : 1;
        const bool turned = orientation >= 5;
        ImageHeader header;
        header.width = turned ? length : info.width();
        header.length = turned ? info.width() : length;
        SetDensity(info, header);
        if (turned) std::swap(header.xDotsPerMetre, header.yDotsPerMetre);

        std::unique_ptr<ImageWriter> writer = MakeImageWriter(settings_.format);
        started_ = true;
        if (!writer->Begin(stream, header)) return OutputError(target, writer->Error());
        const LineSink sink = settings_.format == ImageFormat::Png ? LineSink::Png : LineSink::Pbm;
        PageShape shape = ShapeOf(info);
        shape.orientation = orientation;
        const std::uint64_t need = PageMemoryNeed(shape, input_.Size(), settings_.options.strict, sink);
        // A page turned upright is read whole first (its need counts it).
        const std::uint32_t bandRows =
            orientation != 1 ? std::max<std::uint32_t>(length, 1) : BandRows(info, need, settings_.options.maxMemory);
        // Rows at least a byte apart, so that even a page the library
        // delivers with empty lines is read through a valid band.
        const std::size_t rowBytes = std::max<std::size_t>(lineBytes, 1);
        std::vector<std::uint8_t> band(rowBytes * bandRows);
        const auto stride = static_cast<std::ptrdiff_t>(rowBytes);
        while (reader_.has_more_lines()) {
            const std::uint32_t first = reader_.line_index();
            const tiffview::Result read = reader_.read_lines(band.data() + (orientation != 1 ? first * rowBytes : 0),
                                                             band.size() - (orientation != 1 ? first * rowBytes : 0),
                                                             stride, bandRows - (orientation != 1 ? first : 0));
            // Lines delivered before a failure are written as they came.
            const std::uint32_t delivered = reader_.line_index() - first;
            for (std::uint32_t i = 0; orientation == 1 && i < delivered; ++i) {
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
        if (orientation != 1) {
            std::vector<std::uint8_t> row((std::size_t{header.width} + 7) / 8 + 1);
            for (std::uint32_t y = 0; y < header.length; ++y) {
                UprightRow(band.data(), rowBytes, orientation, info.width(), length, y, header.width, row.data());
                if (!writer->WriteLine(row.data())) return OutputError(target, writer->Error());
            }
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
    FileReport& progress_;
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::vector<Warning> warnings_;
    std::uint64_t pagesTotal_ = 1;
    std::uint64_t pagesDone_ = 0;
    bool started_ = false;  // the current page's image has begun
};

// What is known of a file once its pages are chosen.
struct Choice {
    std::vector<std::uint32_t> pages;  // to be written, 0-based
    std::uint32_t pageCount = 0;
    // Several pages make several images (named apart, or one PBM after
    // another), even when only one of them is written.
    bool several = false;
    bool skipped = false;  // pages that are not bi-level were left out
};

// The pages of the file open in `reader`: with --page just that one,
// with --strict the first, otherwise all of them, less those that are not
// bi-level, which are named on standard error. Returns kExitOk, or the
// status of a file that cannot be read or has no page to write.
int ChoosePages(const InputFile& input, tiffview::Reader& reader, const Settings& settings, FileReport& progress,
                Choice& choice) {
    const std::string& label = input.Label();
    const std::uint32_t pageNumber = settings.pageNumber;
    const FileOutline outline = OutlineFile(input, settings.options, reader);
    const std::uint32_t pageCount = outline.pageCount;
    choice = Choice();
    choice.pageCount = pageCount;
    std::vector<std::uint32_t> asked;
    if (pageNumber == 0) {
        if (pageCount == 0) {
            progress.Diagnose(Prefixed(label + ": " + DescribeResult(outline.firstResult) +
                                       (outline.detail.empty() ? "" : " (" + outline.detail + ")")));
            return kExitFailed;
        }
        // The strict profile reads the first page only; the others are
        // noted, not failed.
        const std::uint32_t read = settings.options.strict ? 1 : pageCount;
        if (read < pageCount)
            progress.Diagnose(Prefixed(label + ": " + PageRange(2, pageCount) +
                                       " not read by the strict profile, which reads the first page only"));
        for (std::uint32_t p = 0; p < read; ++p) asked.push_back(p);
        choice.several = read > 1;
    } else if (pageNumber > pageCount) {
        // The library's own word on the page: missing, or not one the
        // profile reads, or the file's fault.
        const std::uint32_t rc = reader.select_page(pageNumber - 1).code();
        progress.Diagnose(Prefixed(label + " page " + std::to_string(pageNumber) + ": " + DescribeResult(rc)));
        if ((rc & TV_CODE_MASK) == TV_ERR_PAGE_MISSING && pageCount != 0)
            progress.Diagnose(
                Prefixed(label + " has " + std::to_string(pageCount) + (pageCount == 1 ? " page" : " pages")));
        return kExitFailed;
    } else {
        asked.push_back(pageNumber - 1);
    }
    for (std::uint32_t p : asked) {
        const std::string notBilevel = settings.options.strict ? std::string() : NotBilevel(reader, p);
        if (notBilevel.empty()) {
            choice.pages.push_back(p);
            continue;
        }
        choice.skipped = true;
        const std::string where = pageNumber != 0 ? label + " page " + std::to_string(pageNumber)
                                                  : PageLabel(label, p, pageCount);
        progress.Diagnose(Prefixed(where + ": skipped, not bi-level: " + notBilevel));
    }
    return choice.pages.empty() ? kExitSkipped : kExitOk;
}

// Every page to be written is opened and held against --max-memory before
// the first byte of output, so that a refused page leaves nothing behind,
// not even on standard output. A page named by --page is named so when it
// cannot be opened.
int CheckMemory(const InputFile& input, tiffview::Reader& reader, const Settings& settings, FileReport& progress,
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
            progress.Diagnose(Prefixed(named + ": " + DescribeOpenFailure(reader, page, rc, settings.options.strict)));
            return kExitFailed;
        }
        if (!refusal.empty()) {
            progress.Diagnose(Prefixed(where + ": " + refusal));
            return kExitFailed;
        }
    }
    return kExitOk;
}

// Where the pages go. A single image: OUT, or OUT's pattern with its
// number. Several: one file each, unless PBM output without a pattern,
// which holds them all one after another. Names made from a batch's input
// names are never patterns, whatever those names hold.
std::vector<Target> PlanTargets(const std::string& output, ImageFormat format, const Choice& choice,
                                bool patternAllowed) {
    const std::vector<std::uint32_t>& pages = choice.pages;
    const bool pattern = patternAllowed && output.find(kPattern) != std::string::npos;
    if (!choice.several)
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

// One input once its pages were read: its images are complete in their
// temporaries, waiting for their turn to be renamed, so that a batch
// renames (and reports) in input order whichever job finished first.
struct Pending {
    int status = kExitFailed;
    bool reachedCommit = false;  // everything was written to temporaries
    bool skipped = false;
    std::string label;
    std::vector<Target> targets;
    std::vector<std::unique_ptr<OutputFile>> files;
    std::vector<Warning> warnings;
    std::vector<std::string> logs;
};

// Reads one input and writes it to `output` ("-" for standard output,
// else a file name or pattern), as temporaries for files.
Pending ConvertFile(const std::string& name, const std::string& output, const Settings& settings,
                    FileReport& progress, bool patternAllowed) {
    Pending pending;
    InputFile input;
    std::string error;
    pending.label = name == kStandardStream ? kStandardInputLabel : name;
    if (!input.Open(name, error)) {
        progress.Diagnose(Prefixed(input.Label() + ": " + error));
        return pending;
    }
    pending.label = input.Label();
    tiffview::Reader reader;
    Choice choice;
    if ((pending.status = ChoosePages(input, reader, settings, progress, choice)) != kExitOk) return pending;
    pending.skipped = choice.skipped;
    const std::vector<std::uint32_t>& pages = choice.pages;
    const bool toStream = output == kStandardStream;
    if (toStream && settings.format == ImageFormat::Png && pages.size() > 1) {
        progress.Diagnose(Prefixed(input.Label() + " has " + std::to_string(pages.size()) +
                                   " pages and standard output takes a single PNG image: choose one with "
                                   "--page N, or write PBM, or name output files"));
        pending.status = kExitFailed;
        return pending;
    }
    if ((pending.status = CheckMemory(input, reader, settings, progress, pages, choice.pageCount)) != kExitOk)
        return pending;

    LogWatch logs(settings.options.logDirectory);
    logs.Mark();
    Converter converter(input, reader, settings, choice.pageCount, progress);
    if (toStream) {
        pending.status = converter.WriteStream(stdout, pages);
    } else {
        pending.targets = PlanTargets(output, settings.format, choice, patternAllowed);
        pending.status = converter.Write(pending.targets);
        if (pending.status != kExitOk) {
            converter.Abandon();
            progress.Diagnose(Prefixed(TargetList(pending.targets) + " not written"));
        }
    }
    pending.warnings = converter.Warnings();
    pending.files = converter.TakeFiles();
    pending.logs = logs.NewLogs();
    pending.reachedCommit = pending.status == kExitOk;
    return pending;
}

// Which input each output of a batch came from, so that two inputs of the
// same name in different directories do not overwrite each other.
using Claims = std::map<std::string, std::string>;

struct FileOutcome {
    int status = kExitOk;
    bool written = false;
    bool warned = false;
};

// Renames what ConvertFile wrote and reports its warnings. `claims` is
// null for a single input.
FileOutcome FinishFile(Pending& pending, const Settings& settings, Progress& progress, Claims* claims) {
    FileOutcome outcome;
    outcome.status = pending.status;
    auto abandon = [&] {
        for (const std::unique_ptr<OutputFile>& file : pending.files) file->Abandon();
    };
    if (!pending.reachedCommit) {
        abandon();
        return outcome;
    }
    const bool warned = !pending.warnings.empty() || !pending.logs.empty();
    for (const Warning& w : pending.warnings) {
        const std::string lines = w.first == w.last ? "line " + std::to_string(w.first)
                                                    : "lines " + std::to_string(w.first) + "-" + std::to_string(w.last);
        progress.Diagnose(Prefixed(w.where + ": warning: " + lines + ": " + DescribeResult(w.code, w.tiled)));
    }
    for (const std::string& log : pending.logs)
        progress.Diagnose(Prefixed(pending.label + ": diagnostic log written: " + log));
    if (warned && settings.fatalWarnings && !pending.targets.empty()) {
        abandon();
        progress.Diagnose(Prefixed(TargetList(pending.targets) + " not written: warnings are fatal (--fatal-warnings)"));
        outcome.status = kExitDamaged;
        return outcome;
    }
    if (claims != nullptr) {
        for (const Target& target : pending.targets) {
            const auto claimed = claims->find(target.path);
            if (claimed == claims->end()) continue;
            abandon();
            progress.Diagnose(Prefixed(pending.label + ": not converted: " + target.path +
                                       " was already written from " + claimed->second));
            outcome.status = kExitOutput;
            return outcome;
        }
    }
    for (std::size_t i = 0; i < pending.files.size(); ++i) {
        const std::string target = pending.files[i]->Target();
        std::string error;
        if (!pending.files[i]->Commit(error)) {
            progress.Diagnose(Prefixed("cannot write " + target + ": " + error));
            abandon();
            progress.Diagnose(Prefixed(TargetList(pending.targets, i) + " not written"));
            outcome.status = kExitOutput;
            return outcome;
        }
    }
    if (claims != nullptr)
        for (const Target& target : pending.targets) (*claims)[target.path] = pending.label;
    CountConvertedInput();
    outcome.written = true;
    outcome.warned = warned;
    outcome.status = pending.skipped ? kExitSkipped : warned && settings.fatalWarnings ? kExitDamaged : kExitOk;
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
    unsigned jobs = DefaultJobs();
    bool fatalWarnings = false;
    std::string orientation = "upright";
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kConvertHelp, stdout);
            return kExitOk;
        }
        std::string error;
        Taken taken = optionsDone ? Taken::No : TakeReadOption(args, i, options, error);
        if (taken == Taken::Error) return UsageError("convert", error);
        if (taken == Taken::Yes) continue;
        if (!optionsDone && (taken = TakeJobs(args, i, jobs, error)) != Taken::No) {
            if (taken == Taken::Error) return UsageError("convert", error);
            continue;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--fatal-warnings") {
            fatalWarnings = true;
        } else if (!optionsDone && arg.rfind("--orientation=", 0) == 0) {
            orientation = arg.substr(14);
        } else if (!optionsDone && (arg == "-o" || arg == "--output" || arg == "--format" || arg == "--page" ||
                                    arg == "--output-dir" || arg == "--orientation")) {
            if (i + 1 >= args.size()) return UsageError("convert", "option '" + arg + "' needs a value");
            const std::string& value = args[++i];
            if (arg == "--format") formatName = value;
            else if (arg == "--orientation") orientation = value;
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
    settings.fatalWarnings = fatalWarnings;
    if (orientation != "upright" && orientation != "stored")
        return UsageError("convert", "unknown orientation '" + orientation + "' (upright or stored)");
    settings.options.upright = orientation == "upright";
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

    // Logs are told apart by when they appear, so a run that may write
    // them converts one file at a time.
    if (!options.logDirectory.empty()) jobs = 1;
    const bool showBar = bar == Bar::Always || (bar == Bar::Auto && positional.size() > 1 && IsTerminal(stderr));
    Progress progress(showBar, positional.size());
    SetBatchSize(positional.size());
    std::vector<std::string> names;
    for (const std::string& file : positional) names.push_back(file == kStandardStream ? kStandardInputLabel : file);
    const std::string dir = !outputDirGiven ? std::string() : outputDir.back() == '/' ? outputDir : outputDir + "/";
    std::vector<Pending> pending(positional.size());
    Claims claims;
    int status = kExitOk;
    std::size_t converted = 0;
    std::size_t withWarnings = 0;
    RunBatch(
        positional.size(), jobs, progress, names,
        [&](std::size_t i, FileReport& report) {
            const std::string target = outputDirGiven ? dir + Stem(positional[i]) + Extension(settings.format) : output;
            pending[i] = ConvertFile(positional[i], target, settings, report, !outputDirGiven);
        },
        [&](std::size_t i) {
            const FileOutcome outcome = FinishFile(pending[i], settings, progress, outputDirGiven ? &claims : nullptr);
            pending[i] = Pending();
            if (outcome.written) ++converted;
            if (outcome.written && outcome.warned) ++withWarnings;
            status = Graver(status, outcome.status);
        });
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
