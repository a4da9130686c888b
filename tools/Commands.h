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
    kExitOk = 0,      // everything asked for was done, no file had a fault
    kExitFailed = 1,  // a file could not be read, or decoded with faults
    kExitUsage = 2,   // wrong usage: unknown command or option, missing argument
    kExitOutput = 3,  // an output file could not be written
};

using Args = std::vector<std::string>;

// `profile` holds the options given before the command; each command also
// takes them among its own.
int RunInfo(const Args& args, ReadProfile profile);
int RunConvert(const Args& args, ReadProfile profile);
int RunCheck(const Args& args, ReadProfile profile);

extern const char kMainHelp[];
extern const char kInfoHelp[];
extern const char kConvertHelp[];
extern const char kCheckHelp[];

// Prints "tiffview <command>: <message>" and a pointer to the help on
// standard error; returns kExitUsage.
int UsageError(const std::string& command, const std::string& message);

bool IsHelpOption(const std::string& arg);

// Whether a line came with a warning only (the line was still delivered
// in full or padded), as opposed to a failure that ends reading.
bool IsLineWarning(std::uint32_t code);

}  // namespace tvtool

#endif
