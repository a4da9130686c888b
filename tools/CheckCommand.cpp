// tiffview check: decode every line of every page of every file and report
// what the library said about each line.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Input.h"
#include "LogWatch.h"
#include "Memory.h"
#include "Progress.h"
#include "ToolText.h"

namespace tvtool {

namespace {

struct LineRun {
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t code;
};

std::string LineLabel(const LineRun& run) {
    if (run.first == run.last) return "line " + std::to_string(run.first);
    return "lines " + std::to_string(run.first) + "-" + std::to_string(run.last);
}

struct PageResult {
    bool clean = true;
    std::uint32_t delivered = 0;
    std::string report;  // lines indented by two spaces
};

struct CheckContext {
    const ReadOptions& options;
    LogWatch& logs;
    Progress& progress;
};

// Decodes one page of the file open in `reader` and reports each line
// whose result was not TV_OK, and any diagnostic log written when the page
// was closed. A page that needs more memory than allowed is refused before
// anything is allocated.
PageResult CheckPage(const InputFile& input, tiffview::Reader& reader, std::uint32_t page, std::uint32_t pageCount,
                     CheckContext& context) {
    const ReadOptions& options = context.options;
    context.logs.Mark();
    PageResult result;
    std::string refusal;
    const std::uint32_t opened = OpenWithinLimit(reader, input.Size(), options, page, LineSink::Check, refusal);
    if (opened != TV_OK || !refusal.empty()) {
        EndPage(reader);
        result.clean = false;
        result.report += opened != TV_OK ? "  cannot open: " + DescribeResult(opened) + "\n"
                                         : "  not decoded: " + refusal + "\n";
        return result;
    }
    std::vector<LineRun> runs;
    const tiffview::PageInfo& info = reader.info();
    const std::uint32_t length = info.length();
    const bool tiled = info.tiled();
    std::string stopped;
    std::vector<std::uint8_t> line(info.line_bytes());
    for (std::uint32_t y = 0; y < length; ++y) {
        const tiffview::Result read = reader.read_line(line.data(), line.size());
        const std::uint32_t code = read.code();
        if (code != TV_OK) {
            result.clean = false;
            if (!runs.empty() && runs.back().code == code && runs.back().last + 1 == y)
                runs.back().last = y;
            else
                runs.push_back(LineRun{y, y, code});
            if (read.is_error()) {
                // The reader repeats such a failure on every later call.
                stopped = "  reading stopped: lines " + std::to_string(y) + "-" + std::to_string(length - 1) +
                          " not delivered\n";
                break;
            }
        }
        ++result.delivered;
        // The bar counts thousandths of the whole file, pages alike.
        const std::uint64_t done = page * 1000ull + (y + 1ull) * 1000 / length;
        context.progress.Advance(static_cast<std::uint32_t>(done / pageCount), 1000);
    }
    // The strict profile writes the page's log as the page closes.
    EndPage(reader);
    for (const LineRun& run : runs)
        result.report += "  " + LineLabel(run) + ": " + DescribeResult(run.code, tiled) + "\n";
    result.report += stopped;

    const std::vector<std::string> newLogs = context.logs.NewLogs();
    for (const std::string& log : newLogs) result.report += "  diagnostic log written: " + log + "\n";
    if (!newLogs.empty()) result.clean = false;
    // Only the strict profile's reader writes logs, and only where told to,
    // so only then is their absence news.
    if (options.strict && context.logs.Enabled() && !result.clean && newLogs.empty() && length != 0)
        result.report += "  no diagnostic log written\n";
    return result;
}

std::string Indent(const std::string& text) {
    std::string out;
    std::string::size_type from = 0;
    while (from < text.size()) {
        const std::string::size_type end = text.find('\n', from);
        const std::string::size_type stop = end == std::string::npos ? text.size() : end + 1;
        out += "  " + text.substr(from, stop - from);
        from = stop;
    }
    return out;
}

// Decodes every page of one file; returns true when all are clean. The
// report goes through the progress bar as whole lines.
bool CheckFile(const std::string& name, CheckContext& context) {
    InputFile input;
    std::string error;
    if (!input.Open(name, error)) {
        context.progress.Print(input.Label() + ": FAILED\n  cannot open: " + error + "\n");
        return false;
    }
    const std::string& label = input.Label();
    tiffview::Reader reader;
    const FileOutline outline = OutlineFile(input, context.options, reader);
    if (outline.pageCount <= 1) {
        const PageResult only = CheckPage(input, reader, 0, 1, context);
        if (only.clean)
            context.progress.Print(label + ": OK (" + std::to_string(only.delivered) + " lines)\n");
        else
            context.progress.Print(label + ": FAILED\n" + only.report);
        return only.clean;
    }

    bool clean = true;
    std::uint64_t lines = 0;
    std::string report;
    for (std::uint32_t p = 0; p < outline.pageCount; ++p) {
        const PageResult result = CheckPage(input, reader, p, outline.pageCount, context);
        const std::string pageLabel = "  page " + std::to_string(p + 1) + ": ";
        if (result.clean)
            report += pageLabel + "OK (" + std::to_string(result.delivered) + " lines)\n";
        else
            report += pageLabel + "FAILED\n" + Indent(result.report);
        lines += result.delivered;
        clean = clean && result.clean;
    }
    if (clean)
        context.progress.Print(label + ": OK (" + std::to_string(outline.pageCount) + " pages, " +
                               std::to_string(lines) + " lines)\n");
    else
        context.progress.Print(label + ": FAILED\n" + report);
    return clean;
}

}  // namespace

int RunCheck(const Args& args, ReadOptions options) {
    enum class Bar { Auto, Always, Never } bar = Bar::Auto;
    Args files;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kCheckHelp, stdout);
            return kExitOk;
        }
        std::string error;
        const Taken taken = optionsDone ? Taken::No : TakeReadOption(args, i, options, error);
        if (taken == Taken::Error) return UsageError("check", error);
        if (taken == Taken::Yes) continue;
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--progress") {
            bar = Bar::Always;
        } else if (!optionsDone && arg == "--no-progress") {
            bar = Bar::Never;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return UsageError("check", "unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return UsageError("check", "no file given");
    const int stdinUse = CheckStandardInputUse("check", files);
    if (stdinUse != kExitOk) return stdinUse;
    const int logs = PrepareLogs("check", options);
    if (logs != kExitOk) return logs;

    const bool showBar = bar == Bar::Always || (bar == Bar::Auto && files.size() > 1 && IsTerminal(stderr));
    Progress progress(showBar, files.size());
    LogWatch watch(options.logDirectory);
    CheckContext context{options, watch, progress};
    std::size_t failed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        progress.Start(i, files[i] == kStandardStream ? kStandardInputLabel : files[i]);
        if (!CheckFile(files[i], context)) ++failed;
    }
    progress.Finish();
    if (files.size() > 1)
        std::printf("%zu files: %zu OK, %zu failed\n", files.size(), files.size() - failed, failed);
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace tvtool
