// tiffview: a command-line host for the tiffview library.
#include <cstdio>
#include <exception>
#include <string>

#include "Commands.h"
#include "TiffView.h"

namespace tvtool {

bool IsLineWarning(std::uint32_t code) {
    return code == TV_ERR_STRIP_SHORT || code == TV_ERR_STRIP_LONG || code == TV_ERR_LINE_SHORT;
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
    // Reading options may come before the command too: "tiffview --strict check ...".
    ReadProfile profile;
    int at = 1;
    while (at < argc && TakeProfileOption(argv[at], profile)) ++at;
    if (at >= argc) {
        std::fputs(kMainHelp, stderr);
        return kExitUsage;
    }
    const std::string command = argv[at];
    const Args args(argv + at + 1, argv + argc);
    if (IsHelpOption(command)) return Help(Args());
    if (command == "--version") return PrintVersion();
    if (command == "help") return Help(args);
    if (command == "info") return RunInfo(args, profile);
    if (command == "convert") return RunConvert(args, profile);
    if (command == "check") return RunCheck(args, profile);
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
