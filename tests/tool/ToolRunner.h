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
    long peakRssKb = 0;       // the tool's own peak resident memory (MeasureTool only)
    double seconds = 0;       // wall time from start to exit
};

struct RunOptions {
    std::string program;          // default: the tiffview built with the tests
    std::string workingDirectory; // default: the test's own
    // Largest file the child may write (RLIMIT_FSIZE), 0 for no limit; the
    // child ignores SIGXFSZ, so writes beyond it fail with EFBIG.
    std::uint64_t fileSizeLimit = 0;
    bool onTerminal = false;      // standard output and error on a pseudo-terminal
    int timeoutSeconds = 120;
    // Standard input: /dev/null by default; these bytes through a pipe when
    // pipeInput is set; or the file inputFile, opened as a redirection does.
    bool pipeInput = false;
    std::string input;
    std::string inputFile;
};

RunResult RunTool(const std::vector<std::string>& args, const RunOptions& options = RunOptions());

// Runs the tool (standard input /dev/null, output collected through files)
// and measures its own peak resident memory: the high-water mark of its
// address space just before it exits, which a child's ru_maxrss cannot
// give because that also counts the forked copy of this test program.
RunResult MeasureTool(const std::vector<std::string>& args, int timeoutSeconds = 60);

// The tool running in the background, its output thrown away (standard
// error kept when `keepError`), for tests that signal it part-way.
class BackgroundTool {
public:
    explicit BackgroundTool(const std::vector<std::string>& args, bool keepError = false);
    ~BackgroundTool();
    BackgroundTool(const BackgroundTool&) = delete;
    BackgroundTool& operator=(const BackgroundTool&) = delete;

    void Signal(int signal) const;
    // Stops the child and waits until it is stopped; false when it ended
    // first (its status is then kept for Wait).
    bool Stop();
    // Waits for the end; the wait status as waitpid gives it.
    int Wait();
    // What the tool wrote on standard error so far (with keepError).
    std::string Error() const;

private:
    std::string errorFile_;
    int pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

// The tiffview program under test.
std::string ToolPath();

// Copies the tool into `directory` (so that a log the library wrote beside
// its executable would show there) and returns the copy's path.
std::string CopyToolInto(const std::string& directory);

// Whether this build of the tool writes PNG.
bool ToolHasPng();

// Failure text for gtest messages: exit code, signal and both streams.
std::string Describe(const RunResult& r);

// The library's English sentence for a result code, as the tool prints it.
std::string Sentence(std::uint32_t code);

// Whether a sanitizer or the C++ runtime complained in `text`.
bool HasRuntimeComplaint(const std::string& text);

// Files directly inside `directory`, sorted by name.
std::vector<std::string> ListFiles(const std::string& directory);

}  // namespace tooltest

#endif
