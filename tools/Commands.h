// The tool's commands and what they share: exit codes, help texts and the
// handling of wrong usage.
#ifndef TIFFVIEW_TOOLS_COMMANDS_H
#define TIFFVIEW_TOOLS_COMMANDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "Pages.h"

namespace tvtool {

// Exit status of every command.
enum ExitCode : int {
    kExitOk = 0,       // everything asked for was done
    kExitFailed = 1,   // a file or page could not be read, or needs more
                       // memory than --max-memory allows
    kExitUsage = 2,    // wrong usage: unknown command or option, missing argument
    kExitOutput = 3,   // an output file could not be written
    kExitDamaged = 4,  // every page read, some lines with warnings (check, or
                       // convert --fatal-warnings)
    kExitSkipped = 5,  // pages that are not bi-level were skipped, the others read
};

// The status of a run of several files or pages: the gravest of theirs,
// in the order 3, 1, 5, 4, 0 (usage errors end a run before it starts).
int Graver(int a, int b);

using Args = std::vector<std::string>;

// `options` holds the reading options given before the command; each
// command also takes them among its own.
int RunInfo(const Args& args, ReadOptions options);
int RunConvert(const Args& args, ReadOptions options);
int RunCheck(const Args& args, ReadOptions options);

extern const char kMainHelp[];
extern const char kInfoHelp[];
extern const char kConvertHelp[];
extern const char kCheckHelp[];

// Prints "tiffview <command>: <message>" and a pointer to the help on
// standard error; returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

bool IsHelpOption(const std::string& arg);

// Standard input ("-") can be read once, and not from a terminal, where a
// user would be left waiting; returns kExitOk or a usage error's status.
int CheckStandardInputUse(const std::string& command, const Args& files);

// Prepares the --log-dir directory; returns kExitOk or, after saying why
// on standard error, kExitOutput.
int PrepareLogs(const std::string& command, const ReadOptions& options);

// Takes -j N, -jN, --jobs N or --jobs=N at args[at]; Error: `error` says
// what is wrong.
Taken TakeJobs(const Args& args, std::size_t& at, unsigned& jobs, std::string& error);


}  // namespace tvtool

#endif
