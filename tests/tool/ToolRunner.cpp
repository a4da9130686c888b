#include "tool/ToolRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tooltest {

namespace {

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Reads every open descriptor until all are at end or the deadline passes.
bool Drain(std::vector<int> fds, std::vector<std::string*> sinks, double deadline) {
    while (!fds.empty()) {
        const double left = deadline - Now();
        if (left <= 0) return false;
        std::vector<pollfd> polls;
        for (int fd : fds) polls.push_back(pollfd{fd, POLLIN, 0});
        const int ready = poll(polls.data(), polls.size(), static_cast<int>(left * 1000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        for (std::size_t i = polls.size(); i-- > 0;) {
            if (polls[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(polls[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                // End of output (a pseudo-terminal reports EIO once the child is gone).
                close(polls[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
                sinks.erase(sinks.begin() + static_cast<long>(i));
            }
        }
    }
    return true;
}

}  // namespace

std::string ToolPath() { return TIFFVIEW_TOOL_PATH; }

bool ToolHasPng() { return TIFFVIEW_TOOL_HAS_PNG != 0; }

RunResult RunTool(const std::vector<std::string>& args, const RunOptions& options) {
    const std::string program = options.program.empty() ? ToolPath() : options.program;
    std::vector<std::string> argvStrings;
    argvStrings.push_back(program);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(&s[0]);
    argv.push_back(nullptr);

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int master = -1;
    pid_t pid;
    if (options.onTerminal) {
        pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid < 0) {
            RunResult none;
            none.noTerminal = true;
            return none;
        }
    } else {
        if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        pid = fork();
    }
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!options.onTerminal) {
            dup2(outPipe[1], 1);
            dup2(errPipe[1], 2);
        }
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(127);
        if (options.fileSizeLimit != 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }

    RunResult result;
    const double deadline = Now() + options.timeoutSeconds;
    bool finished;
    if (options.onTerminal) {
        finished = Drain({master}, {&result.out}, deadline);
    } else {
        close(outPipe[1]);
        close(errPipe[1]);
        finished = Drain({outPipe[0], errPipe[0]}, {&result.out, &result.err}, deadline);
    }
    if (!finished) {
        result.timedOut = true;
        kill(pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

std::string CopyToolInto(const std::string& directory) {
    const std::string copy = directory + "/tiffview";
    std::filesystem::copy_file(ToolPath(), copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    return copy;
}

std::string Describe(const RunResult& r) {
    return "exit " + std::to_string(r.exitCode) + (r.signal ? ", signal " + std::to_string(r.signal) : "") +
           (r.timedOut ? ", timed out" : "") + "\n--- stdout:\n" + r.out + "--- stderr:\n" + r.err;
}

bool HasRuntimeComplaint(const std::string& text) {
    return text.find("Sanitizer") != std::string::npos || text.find("runtime error") != std::string::npos ||
           text.find("terminate called") != std::string::npos;
}

std::vector<std::string> ListFiles(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(directory, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tooltest
