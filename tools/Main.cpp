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
