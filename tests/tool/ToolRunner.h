// Runs the tiffview program as a user would: a child process with its own
// arguments, standard output and error captured, and its exit status.
#ifndef TIFFVIEW_TESTS_TOOL_TOOLRUNNER_H
#define TIFFVIEW_TESTS_TOOL_TOOLRUNNER_H

#include <cstdint>
#include <string>
#include <vector>

namespace tooltest {

struct RunResult {
    int exitCode = -1;   // exit status, or -1 when the child did not exit normally
    int signal = 0;      // the signal that ended the child, if any
    bool timedOut = false;
    bool noTerminal = false;  // a pseudo-terminal was asked for and none could be had
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string program;          // default: the tiffview built with the tests
    std::string workingDirectory; // default: the test's own
    // Largest file the child may write (RLIMIT_FSIZE), 0 for no limit; the
    // child ignores SIGXFSZ, so writes beyond it fail with EFBIG.
    std::uint64_t fileSizeLimit = 0;
    bool onTerminal = false;      // standard output and error on a pseudo-terminal
    int timeoutSeconds = 120;
};

RunResult RunTool(const std::vector<std::string>& args, const RunOptions& options = RunOptions());

// The tiffview program under test.
std::string ToolPath();

// Copies the tool into `directory` (so that its diagnostic logs land in
// <directory>/log/TiffParse) and returns the copy's path.
std::string CopyToolInto(const std::string& directory);

// Whether this build of the tool writes PNG.
bool ToolHasPng();

// Failure text for gtest messages: exit code, signal and both streams.
std::string Describe(const RunResult& r);

// Whether a sanitizer or the C++ runtime complained in `text`.
bool HasRuntimeComplaint(const std::string& text);

// Files directly inside `directory`, sorted by name.
std::vector<std::string> ListFiles(const std::string& directory);

}  // namespace tooltest

#endif
