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

// A page's verdict, in rising gravity.
enum class Verdict { Ok, Damaged, Skipped, Failed };

const char* VerdictWord(Verdict v) {
    switch (v) {
    case Verdict::Ok: return "OK";
    case Verdict::Damaged: return "DAMAGED";
    case Verdict::Skipped: return "SKIPPED";
    case Verdict::Failed: return "FAILED";
    }
    return "FAILED";
}

struct PageResult {
    Verdict verdict = Verdict::Ok;
    std::uint32_t delivered = 0;
    std::string report;  // lines indented by two spaces
};

struct CheckContext {
    const ReadOptions& options;
    LogWatch& logs;
};

// Decodes one page of the file open in `reader` and reports each line
// whose result was not TV_OK, and any diagnostic log written when the page
// was closed. A page that needs more memory than allowed is refused before
// anything is allocated; a page that is not bi-level is skipped.
PageResult CheckPage(const InputFile& input, tiffview::Reader& reader, std::uint32_t page, std::uint32_t pageCount,
                     CheckContext& context, FileReport& out) {
    const ReadOptions& options = context.options;
    PageResult result;
    const std::string notBilevel = options.strict ? std::string() : NotBilevel(reader, page);
    if (!notBilevel.empty()) {
        result.verdict = Verdict::Skipped;
        result.report = "  not bi-level: " + notBilevel + "\n";
        return result;
    }
    context.logs.Mark();
    std::string refusal;
    const std::uint32_t opened = OpenWithinLimit(reader, input.Size(), options, page, LineSink::Check, refusal);
    if (opened != TV_OK || !refusal.empty()) {
        EndPage(reader);
        result.verdict = Verdict::Failed;
        result.report += opened != TV_OK ? "  cannot open: " + DescribeOpenFailure(reader, page, opened, options.strict) + "\n"
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
            if (result.verdict == Verdict::Ok) result.verdict = Verdict::Damaged;
            if (!runs.empty() && runs.back().code == code && runs.back().last + 1 == y)
                runs.back().last = y;
            else
                runs.push_back(LineRun{y, y, code});
            if (read.is_error()) {
                // The reader repeats such a failure on every later call.
                result.verdict = Verdict::Failed;
                stopped = "  reading stopped: lines " + std::to_string(y) + "-" + std::to_string(length - 1) +
                          " not delivered\n";
                break;
            }
        }
        ++result.delivered;
        // The bar counts thousandths of the whole file, pages alike.
        const std::uint64_t done = page * 1000ull + (y + 1ull) * 1000 / length;
        out.Advance(static_cast<std::uint32_t>(done / pageCount), 1000);
    }
    // The strict profile writes the page's log as the page closes.
    EndPage(reader);
    for (const LineRun& run : runs)
        result.report += "  " + LineLabel(run) + ": " + DescribeResult(run.code, tiled) + "\n";
    result.report += stopped;

    const std::vector<std::string> newLogs = context.logs.NewLogs();
    for (const std::string& log : newLogs) result.report += "  diagnostic log written: " + log + "\n";
    // A log is written for a strip that decoded to the wrong size: its
    // lines were delivered, so the page is damaged, not unreadable.
    if (!newLogs.empty() && result.verdict == Verdict::Ok) result.verdict = Verdict::Damaged;
    // Only the strict profile's reader writes logs, and only where told to,
    // so only then is their absence news.
    if (options.strict && context.logs.Enabled() && result.verdict != Verdict::Ok && newLogs.empty() &&
        length != 0)
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

int StatusOf(Verdict v) {
    switch (v) {
    case Verdict::Ok: return kExitOk;
    case Verdict::Damaged: return kExitDamaged;
    case Verdict::Skipped: return kExitSkipped;
    case Verdict::Failed: return kExitFailed;
    }
    return kExitFailed;
}

// Decodes every page of one file and reports it as whole lines; returns
// the file's verdict.
Verdict CheckFile(const std::string& name, CheckContext& context, FileReport& out) {
    InputFile input;
    std::string error;
    if (!input.Open(name, error)) {
        out.Print(input.Label() + ": FAILED\n  cannot open: " + error + "\n");
        return Verdict::Failed;
    }
    const std::string& label = input.Label();
    tiffview::Reader reader;
    const FileOutline outline = OutlineFile(input, context.options, reader);
    if (!outline.detail.empty()) {
        out.Print(label + ": FAILED\n  cannot open: " + DescribeResult(outline.firstResult) + " (" + outline.detail + ")\n");
        return Verdict::Failed;
    }
    // The strict profile reads the first page alone: the others are noted,
    // not failed.
    const std::uint32_t checked = context.options.strict && outline.pageCount > 1 ? 1 : outline.pageCount;
    const std::string unread = checked < outline.pageCount
                                   ? PageRange(2, outline.pageCount) +
                                         ": not read by the strict profile, which reads the first page only"
                                   : std::string();
    if (outline.pageCount <= 1 || checked == 1) {
        const PageResult only = CheckPage(input, reader, 0, 1, context, out);
        const std::string lines = std::to_string(only.delivered) + " lines";
        if (only.verdict == Verdict::Ok && unread.empty())
            out.Print(label + ": OK (" + lines + ")\n");
        else if (only.verdict == Verdict::Ok)
            out.Print(label + ": OK (page 1, " + lines + "; " + unread + ")\n");
        else if (unread.empty())
            out.Print(label + ": " + VerdictWord(only.verdict) + "\n" + only.report);
        else
            out.Print(label + ": " + VerdictWord(only.verdict) + "\n  page 1: " + VerdictWord(only.verdict) + "\n" +
                      Indent(only.report) + "  " + unread + "\n");
        return only.verdict;
    }

    Verdict worst = Verdict::Ok;
    std::uint64_t lines = 0;
    std::string report;
    for (std::uint32_t p = 0; p < outline.pageCount; ++p) {
        const PageResult result = CheckPage(input, reader, p, outline.pageCount, context, out);
        const std::string pageLabel = "  page " + std::to_string(p + 1) + ": ";
        if (result.verdict == Verdict::Ok)
            report += pageLabel + "OK (" + std::to_string(result.delivered) + " lines)\n";
        else
            report += pageLabel + VerdictWord(result.verdict) + "\n" + Indent(result.report);
        lines += result.delivered;
        if (result.verdict > worst) worst = result.verdict;
    }
    if (worst == Verdict::Ok)
        out.Print(label + ": OK (" + std::to_string(outline.pageCount) + " pages, " + std::to_string(lines) +
                  " lines)\n");
    else
        out.Print(label + ": " + VerdictWord(worst) + "\n" + report);
    return worst;
}

}  // namespace

int RunCheck(const Args& args, ReadOptions options) {
    enum class Bar { Auto, Always, Never } bar = Bar::Auto;
    unsigned jobs = DefaultJobs();
    Args files;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kCheckHelp, stdout);
            return kExitOk;
        }
        std::string error;
        Taken taken = optionsDone ? Taken::No : TakeReadOption(args, i, options, error);
        if (taken == Taken::Error) return UsageError("check", error);
        if (taken == Taken::Yes) continue;
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (taken = TakeJobs(args, i, jobs, error)) != Taken::No) {
            if (taken == Taken::Error) return UsageError("check", error);
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

    // Logs are told apart by when they appear, so a run that may write
    // them reads one file at a time.
    if (!options.logDirectory.empty()) jobs = 1;

    const bool showBar = bar == Bar::Always || (bar == Bar::Auto && files.size() > 1 && IsTerminal(stderr));
    Progress progress(showBar, files.size());
    LogWatch watch(options.logDirectory);
    CheckContext context{options, watch};
    // A job that cannot finish leaves its file failed.
    std::vector<Verdict> verdicts(files.size(), Verdict::Failed);
    std::vector<std::string> names;
    for (const std::string& file : files) names.push_back(file == kStandardStream ? kStandardInputLabel : file);
    RunBatch(
        files.size(), jobs, progress, names,
        [&](std::size_t i, FileReport& out) {
            // Without a log directory the watch sees nothing; each job
            // still keeps its own.
            LogWatch ownWatch(options.logDirectory);
            CheckContext own{options, ownWatch};
            verdicts[i] = CheckFile(files[i], jobs == 1 ? context : own, out);
        },
        [](std::size_t) {});
    progress.Finish();
    std::size_t count[4] = {0, 0, 0, 0};
    int status = kExitOk;
    for (Verdict v : verdicts) {
        ++count[static_cast<int>(v)];
        status = Graver(status, StatusOf(v));
    }
    if (files.size() > 1) {
        std::string summary = std::to_string(files.size()) + " files: " + std::to_string(count[0]) + " OK";
        if (count[1] != 0) summary += ", " + std::to_string(count[1]) + " damaged";
        if (count[2] != 0) summary += ", " + std::to_string(count[2]) + " with skipped pages";
        summary += ", " + std::to_string(count[3]) + " failed\n";
        std::fputs(summary.c_str(), stdout);
    }
    return status;
}

}  // namespace tvtool
