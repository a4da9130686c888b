// tiffview convert: decode a page, or every page, and write it as PBM or PNG.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "ImageWriter.h"
#include "LogWatch.h"
#include "OutputFile.h"
#include "TiffView.h"
#include "ToolText.h"

namespace tvtool {

namespace {

constexpr char kPattern[] = "%d";

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
// number, or, without one, with "-number" before the extension (a dot in
// the directory part or leading the file name starts none).
std::string PageTarget(const std::string& out, std::uint32_t number) {
    const std::string digits = std::to_string(number);
    if (out.find(kPattern) != std::string::npos) {
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

// Pixel density for the PNG header, when the page states it in a real unit.
void SetDensity(const TiffInfo_t& info, const TiffPageInfo_t& page, ImageHeader& header) {
    const std::uint32_t unit = page.ResolutionUnit;
    const double perMetre = unit == 2 ? 1 / 0.0254 : unit == 3 ? 100.0 : 0.0;
    header.xDotsPerMetre = info.XResolution * perMetre;
    header.yDotsPerMetre = info.YResolution * perMetre;
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

class Converter {
public:
    Converter(const std::string& input, const ReadProfile& profile, ImageFormat format, std::uint32_t pageCount)
        : input_(input), profile_(profile), format_(format), pageCount_(pageCount) {}

    // Writes every target to its temporary file; on failure reports it and
    // returns the exit status (Abandon then removes what was written).
    int Write(const std::vector<Target>& targets) {
        files_.clear();
        for (const Target& target : targets) {
            files_.push_back(std::make_unique<OutputFile>());
            OutputFile& out = *files_.back();
            std::string error;
            if (!out.Open(target.path, error)) return OutputError(target.path, error);
            for (std::uint32_t page : target.pages) {
                const int rc = WritePage(out, target.path, page);
                if (rc != kExitOk) return rc;
            }
            if (!out.Close(error)) return OutputError(target.path, error);
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
    int WritePage(OutputFile& out, const std::string& target, std::uint32_t page) {
        const std::string where = PageLabel(input_, page, pageCount_);
        CTiffView view;
        PreparePage(view, profile_, page);
        std::uint32_t rc = view.OpenFile(input_.c_str());
        if (rc != TV_OK) {
            std::fprintf(stderr, "tiffview convert: %s: %s\n", where.c_str(), DescribeResult(rc).c_str());
            view.CloseFile();
            return kExitFailed;
        }
        TiffInfo_t info;
        view.GetImageInfo(&info);
        TiffPageInfo_t pageInfo;
        view.GetPageInfo(&pageInfo);
        ImageHeader header;
        header.width = info.Width;
        header.length = info.Length;
        SetDensity(info, pageInfo, header);

        std::unique_ptr<ImageWriter> writer = MakeImageWriter(format_);
        if (!writer->Begin(out.Stream(), header)) {
            view.CloseFile();
            return OutputError(target, writer->Error());
        }
        std::vector<std::uint8_t> line((static_cast<std::size_t>(info.Width) + 7) / 8);
        for (std::uint32_t y = 0; y < info.Length; ++y) {
            rc = view.ReadALine(line.data());
            if (rc != TV_OK && !IsLineWarning(rc)) {
                std::fprintf(stderr, "tiffview convert: %s: line %u: %s\n", where.c_str(), static_cast<unsigned>(y),
                             DescribeResult(rc, pageInfo.Tiled != 0).c_str());
                view.CloseFile();
                return kExitFailed;
            }
            if (rc != TV_OK) AddWarning(where, y, rc, pageInfo.Tiled != 0);
            if (!writer->WriteLine(line.data())) {
                view.CloseFile();
                return OutputError(target, writer->Error());
            }
        }
        view.CloseFile();
        if (!writer->Finish()) return OutputError(target, writer->Error());
        return kExitOk;
    }

    void AddWarning(const std::string& where, std::uint32_t line, std::uint32_t code, bool tiled) {
        if (!warnings_.empty() && warnings_.back().where == where && warnings_.back().code == code &&
            warnings_.back().last + 1 == line)
            warnings_.back().last = line;
        else
            warnings_.push_back(Warning{where, line, line, code, tiled});
    }

    static int OutputError(const std::string& target, const std::string& error) {
        std::fprintf(stderr, "tiffview convert: cannot write %s: %s\n", target.c_str(), error.c_str());
        return kExitOutput;
    }

    std::string input_;
    ReadProfile profile_;
    ImageFormat format_;
    std::uint32_t pageCount_;
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::vector<Warning> warnings_;
};

// The pages of the file: with --page just that one (checked by parsing it),
// otherwise all of them. Returns kExitOk, or the status of a file that
// cannot be read.
int ChoosePages(const std::string& input, const ReadProfile& profile, std::uint32_t pageNumber,
                std::vector<std::uint32_t>& pages, std::uint32_t& pageCount) {
    pages.clear();
    if (pageNumber == 0) {
        const FileOutline outline = OutlineFile(input, profile);
        if (outline.pageCount == 0) {
            std::fprintf(stderr, "tiffview convert: %s: %s\n", input.c_str(),
                         DescribeResult(outline.firstResult).c_str());
            return kExitFailed;
        }
        pageCount = outline.pageCount;
        for (std::uint32_t p = 0; p < pageCount; ++p) pages.push_back(p);
        return kExitOk;
    }
    CTiffView view;
    PreparePage(view, profile, pageNumber - 1);
    const std::uint32_t rc = view.ParseFile(input.c_str(), 0);
    pageCount = view.GetPageCount();
    view.CloseFile();
    if (rc != TV_OK) {
        std::fprintf(stderr, "tiffview convert: %s page %u: %s\n", input.c_str(), static_cast<unsigned>(pageNumber),
                     DescribeResult(rc).c_str());
        if ((rc & TV_CODE_MASK) == TV_ERR_PAGE_MISSING) {
            const std::uint32_t count = OutlineFile(input, profile).pageCount;
            if (count != 0)
                std::fprintf(stderr, "tiffview convert: %s has %u page%s\n", input.c_str(),
                             static_cast<unsigned>(count), count == 1 ? "" : "s");
        }
        return kExitFailed;
    }
    pages.push_back(pageNumber - 1);
    return kExitOk;
}

// Where the pages go. One page: OUT, or OUT's pattern with its number.
// Several: one file each, unless PBM output without a pattern, which holds
// them all one after another.
std::vector<Target> PlanTargets(const std::string& output, ImageFormat format,
                                const std::vector<std::uint32_t>& pages) {
    const bool pattern = output.find(kPattern) != std::string::npos;
    if (pages.size() == 1)
        return {Target{pattern ? PageTarget(output, pages[0] + 1) : output, pages}};
    if (format == ImageFormat::Pbm && !pattern) return {Target{output, pages}};
    std::vector<Target> targets;
    for (std::uint32_t page : pages) targets.push_back(Target{PageTarget(output, page + 1), {page}});
    return targets;
}

// Names targets[from..] for a message.
std::string TargetList(const std::vector<Target>& targets, std::size_t from = 0) {
    const std::size_t n = targets.size() - from;
    if (n == 1) return targets[from].path;
    return targets[from].path + " ... " + targets.back().path + " (" + std::to_string(n) + " files)";
}

}  // namespace

int RunConvert(const Args& args, ReadProfile profile) {
    Args positional;
    std::string output;
    std::string formatName;
    std::string pageText;
    bool pageGiven = false;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kConvertHelp, stdout);
            return kExitOk;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "-o" || arg == "--output" || arg == "--format" || arg == "--page")) {
            if (i + 1 >= args.size()) return UsageError("convert", "option '" + arg + "' needs a value");
            (arg == "--format" ? formatName : arg == "--page" ? pageText : output) = args[++i];
            pageGiven = pageGiven || arg == "--page";
        } else if (!optionsDone && arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
        } else if (!optionsDone && arg.rfind("--format=", 0) == 0) {
            formatName = arg.substr(9);
        } else if (!optionsDone && arg.rfind("--page=", 0) == 0) {
            pageText = arg.substr(7);
            pageGiven = true;
        } else if (!optionsDone && TakeProfileOption(arg, profile)) {
            continue;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return UsageError("convert", "unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) return UsageError("convert", "no input file given");
    // The older form names the output as a second operand.
    if (positional.size() == 2 && output.empty()) output = positional[1];
    else if (positional.size() > 1) return UsageError("convert", "one input file at a time");
    if (output.empty()) return UsageError("convert", "no output file given (use -o OUT)");
    const std::string& input = positional[0];
    std::uint32_t pageNumber = 0;  // 0: every page
    if (pageGiven && !ParsePageNumber(pageText, pageNumber))
        return UsageError("convert", "'" + pageText + "' is not a page number (pages count from 1)");

    ImageFormat format = ImageFormat::Pbm;
    if (!formatName.empty()) {
        if (!ParseFormat(formatName, format))
            return UsageError("convert", "unknown format '" + formatName + "' (pbm or png)");
    } else if (EndsWith(output, ".png")) {
        format = ImageFormat::Png;
    } else if (!EndsWith(output, ".pbm")) {
        return UsageError("convert", "cannot tell the format from '" + output + "': use .pbm or .png, or --format");
    }
    if (!MakeImageWriter(format)) {
        std::fprintf(stderr, "tiffview convert: %s output is not available: this tiffview was built without libpng\n",
                     FormatName(format));
        return kExitUsage;
    }

    std::vector<std::uint32_t> pages;
    std::uint32_t pageCount = 0;
    const int chosen = ChoosePages(input, profile, pageNumber, pages, pageCount);
    if (chosen != kExitOk) return chosen;
    const std::vector<Target> targets = PlanTargets(output, format, pages);

    LogWatch logs;
    logs.Mark();
    Converter converter(input, profile, format, pageCount);
    const int rc = converter.Write(targets);
    if (rc != kExitOk) {
        converter.Abandon();
        std::fprintf(stderr, "tiffview convert: %s not written\n", TargetList(targets).c_str());
        return rc;
    }
    const std::size_t renamed = converter.Commit();
    if (renamed < targets.size()) {
        converter.Abandon();
        std::fprintf(stderr, "tiffview convert: %s not written\n", TargetList(targets, renamed).c_str());
        return kExitOutput;
    }

    for (const Warning& w : converter.Warnings()) {
        const std::string lines = w.first == w.last ? "line " + std::to_string(w.first)
                                                    : "lines " + std::to_string(w.first) + "-" + std::to_string(w.last);
        std::fprintf(stderr, "tiffview convert: %s: warning: %s: %s\n", w.where.c_str(), lines.c_str(),
                     DescribeResult(w.code, w.tiled).c_str());
    }
    const std::vector<std::string> newLogs = logs.NewLogs();
    for (const std::string& log : newLogs)
        std::fprintf(stderr, "tiffview convert: %s: diagnostic log written: %s\n", input.c_str(), log.c_str());
    return converter.Warnings().empty() && newLogs.empty() ? kExitOk : kExitFailed;
}

}  // namespace tvtool
