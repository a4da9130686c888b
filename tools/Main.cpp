// tiffview: a command-line host for the tiffview library.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>

#include "Commands.h"
#include "Input.h"
#include "Signals.h"
#include "TiffView.h"

namespace tvtool {

int CheckStandardInputUse(const std::string& command, const Args& files) {
    std::size_t uses = 0;
    for (const std::string& file : files) uses += file == kStandardStream ? 1 : 0;
    if (uses > 1) return UsageError(command, "standard input ('-') can be named only once");
    if (uses == 1 && ::isatty(STDIN_FILENO) == 1)
        return UsageError(command, "standard input is a terminal: pipe or redirect a TIFF file into it");
    return kExitOk;
}

int PrepareLogs(const std::string& command, const ReadOptions& options) {
    std::string error;
    if (PrepareLogDirectory(options, error)) return kExitOk;
    std::fprintf(stderr, "tiffview %s: %s\n", command.c_str(), error.c_str());
    return kExitOutput;
}

int Graver(int a, int b) {
    constexpr int kOrder[] = {kExitOk, kExitDamaged, kExitSkipped, kExitFailed, kExitOutput, kExitUsage};
    auto rank = [&](int status) {
        for (int i = 0; i < 6; ++i)
            if (kOrder[i] == status) return i;
        return 6;
    };
    return rank(a) >= rank(b) ? a : b;
}

Taken TakeJobs(const Args& args, std::size_t& at, unsigned& jobs, std::string& error) {
    const std::string& arg = args[at];
    std::string value;
    if (arg == "-j" || arg == "--jobs") {
        if (at + 1 >= args.size()) {
            error = "option '" + arg + "' needs a number";
            return Taken::Error;
        }
        value = args[++at];
    } else if (arg.rfind("--jobs=", 0) == 0) {
        value = arg.substr(7);
    } else if (arg.size() > 2 && arg.compare(0, 2, "-j") == 0) {
        value = arg.substr(2);
    } else {
        return Taken::No;
    }
    unsigned long n = 0;
    bool ok = !value.empty() && value.size() <= 4;
    for (char c : value) ok = ok && c >= '0' && c <= '9';
    if (ok) n = std::stoul(value);
    if (!ok || n == 0 || n > 1024) {
        error = "'" + value + "' is not a number of jobs (1 to 1024)";
        return Taken::Error;
    }
    jobs = static_cast<unsigned>(n);
    return Taken::Yes;
}

namespace {

int PrintVersion() {
    Version_t version;
    TiffView_GetVersion(&version);
    std::printf("tiffview %u.%u.%u.%u (library %u.%u.%u.%u)\n", TIFFVIEW_TOOL_VERSION_PARTS,
                version.Byte[0], version.Byte[1], version.Byte[2], version.Byte[3]);
    return kExitOk;
}

int Help(const Args& args) {
    if (args.empty()) {
        std::fputs(kMainHelp, stdout);
        return kExitOk;
    }
    if (args.size() > 1) return UsageError("help", "one command at a time");
    if (args[0] == "info") std::fputs(kInfoHelp, stdout);
    else if (args[0] == "convert") std::fputs(kConvertHelp, stdout);
    else if (args[0] == "check") std::fputs(kCheckHelp, stdout);
    else return UsageError("help", "unknown command '" + args[0] + "'");
    return kExitOk;
}

int Run(int argc, char** argv) {
    const Args all(argv + 1, argv + argc);
    // Reading options may come before the command too: "tiffview --strict check ...".
    ReadOptions options;
    std::size_t at = 0;
    for (; at < all.size(); ++at) {
        std::string error;
        const Taken taken = TakeReadOption(all, at, options, error);
        if (taken == Taken::Error) return UsageError("", error);
        if (taken == Taken::No) break;
    }
    if (at >= all.size()) {
        std::fputs(kMainHelp, stderr);
        return kExitUsage;
    }
    const std::string& command = all[at];
    const Args args(all.begin() + static_cast<long>(at) + 1, all.end());
    if (IsHelpOption(command)) return Help(Args());
    if (command == "--version") return PrintVersion();
    if (command == "help") return Help(args);
    InstallCleanupHandlers();
    if (command == "info") return RunInfo(args, options);
    if (command == "convert") return RunConvert(args, options);
    if (command == "check") return RunCheck(args, options);
    if (!command.empty() && command[0] == '-') return UsageError("", "unknown option '" + command + "'");
    return UsageError("", "unknown command '" + command + "'");
}

}  // namespace
}  // namespace tvtool

int main(int argc, char** argv) {
    try {
        return tvtool::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "tiffview: %s\n", e.what());
        return tvtool::kExitFailed;
    }
}
