// tiffview check: decode every line of every file and report what the
// library said about each line.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "LogWatch.h"
#include "Progress.h"
#include "TiffView.h"
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

// Decodes one file; returns true when it is clean. The report goes through
// `progress` as whole lines.
bool CheckFile(const std::string& path, LogWatch& logs, Progress& progress) {
    logs.Mark();
    std::string report;
    bool clean = true;
    std::vector<LineRun> runs;
    std::uint32_t delivered = 0;
    std::uint32_t length = 0;
    std::string stopped;
    {
        CTiffView view;
        const std::uint32_t rc = view.OpenFile(path.c_str());
        if (rc != TV_OK) {
            clean = false;
            report += "  cannot open: " + DescribeResult(rc) + "\n";
        } else {
            TiffInfo_t info;
            view.GetImageInfo(&info);
            length = info.Length;
            std::vector<std::uint8_t> line((static_cast<std::size_t>(info.Width) + 7) / 8);
            for (std::uint32_t y = 0; y < info.Length; ++y) {
                const std::uint32_t code = view.ReadALine(line.data());
                if (code != TV_OK) {
                    clean = false;
                    if (!runs.empty() && runs.back().code == code && runs.back().last + 1 == y)
                        runs.back().last = y;
                    else
                        runs.push_back(LineRun{y, y, code});
                    if (!IsLineWarning(code)) {
                        // The reader repeats such a failure on every later call.
                        stopped = "  reading stopped: lines " + std::to_string(y) + "-" +
                                  std::to_string(info.Length - 1) + " not delivered\n";
                        break;
                    }
                }
                ++delivered;
                progress.Advance(y + 1, info.Length);
            }
        }
        view.CloseFile();
    }
    for (const LineRun& run : runs) report += "  " + LineLabel(run) + ": " + DescribeResult(run.code) + "\n";
    report += stopped;

    const std::vector<std::string> newLogs = logs.NewLogs();
    for (const std::string& log : newLogs) report += "  diagnostic log written: " + log + "\n";
    if (!newLogs.empty()) clean = false;

    if (clean) {
        progress.Print(path + ": OK (" + std::to_string(delivered) + " lines)\n");
    } else {
        if (newLogs.empty() && length != 0) report += "  no diagnostic log written\n";
        progress.Print(path + ": FAILED\n" + report);
    }
    return clean;
}

}  // namespace

int RunCheck(const Args& args) {
    enum class Bar { Auto, Always, Never } bar = Bar::Auto;
    Args files;
    bool optionsDone = false;
    for (const std::string& arg : args) {
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kCheckHelp, stdout);
            return kExitOk;
        }
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

    const bool showBar = bar == Bar::Always || (bar == Bar::Auto && files.size() > 1 && IsTerminal(stdout));
    Progress progress(stdout, showBar, files.size());
    LogWatch logs;
    std::size_t failed = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        progress.Start(i, files[i]);
        if (!CheckFile(files[i], logs, progress)) ++failed;
    }
    progress.Finish();
    if (files.size() > 1)
        std::printf("%zu files: %zu OK, %zu failed\n", files.size(), files.size() - failed, failed);
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace tvtool
