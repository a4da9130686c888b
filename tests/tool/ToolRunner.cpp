#include "tool/ToolRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "TiffView.h"

namespace tooltest {

namespace {

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Reads every open descriptor until all are at end or the deadline passes,
// writing `input` to `inputFd` (when not -1) as the child takes it.
bool Drain(std::vector<int> fds, std::vector<std::string*> sinks, double deadline, int inputFd = -1,
           const std::string& input = std::string()) {
    std::size_t written = 0;
    if (inputFd != -1 && input.empty()) {
        close(inputFd);
        inputFd = -1;
    }
    while (!fds.empty() || inputFd != -1) {
        const double left = deadline - Now();
        if (left <= 0) {
            if (inputFd != -1) close(inputFd);
            return false;
        }
        std::vector<pollfd> polls;
        for (int fd : fds) polls.push_back(pollfd{fd, POLLIN, 0});
        if (inputFd != -1) polls.push_back(pollfd{inputFd, POLLOUT, 0});
        const int ready = poll(polls.data(), polls.size(), static_cast<int>(left * 1000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (inputFd != -1 && polls.back().revents != 0) {
            const ssize_t put = write(inputFd, input.data() + written, input.size() - written);
            if (put > 0) written += static_cast<std::size_t>(put);
            // Done, or the child closed its end: either way no more input.
            if (written == input.size() || (put < 0 && errno != EINTR && errno != EAGAIN)) {
                close(inputFd);
                inputFd = -1;
            }
        }
        for (std::size_t i = fds.size(); i-- > 0;) {
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
    int inPipe[2] = {-1, -1};
    if (options.pipeInput) {
        if (pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        // A child that leaves input unread makes writes fail with EPIPE
        // instead of ending the test program.
        signal(SIGPIPE, SIG_IGN);
    }
    int master = -1;
    const double start = Now();
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
        // The tool gets the default action whatever the test program set.
        signal(SIGPIPE, SIG_DFL);
        if (options.pipeInput) {
            dup2(inPipe[0], 0);
        } else {
            const int in = open(options.inputFile.empty() ? "/dev/null" : options.inputFile.c_str(), O_RDONLY);
            if (in >= 0) dup2(in, 0);
        }
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
    if (options.pipeInput) {
        close(inPipe[0]);
        // A child that stops reading early must not block the test.
        fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    }
    bool finished;
    if (options.onTerminal) {
        finished = Drain({master}, {&result.out}, deadline, inPipe[1], options.input);
    } else {
        close(outPipe[1]);
        close(errPipe[1]);
        finished = Drain({outPipe[0], errPipe[0]}, {&result.out, &result.err}, deadline, inPipe[1], options.input);
    }
    if (!finished) {
        result.timedOut = true;
        kill(pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.seconds = Now() - start;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

namespace {

// VmHWM of a process that is still there, in kB; 0 when unknown.
long HighWaterKb(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    std::fclose(status);
    return kb;
}

std::string FileText(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

}  // namespace

RunResult MeasureTool(const std::vector<std::string>& args, int timeoutSeconds) {
    char dir[] = "/tmp/tiffview-measure-XXXXXX";
    if (mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
    const std::string outPath = std::string(dir) + "/out";
    const std::string errPath = std::string(dir) + "/err";
    std::vector<std::string> argvStrings{ToolPath()};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(&s[0]);
    argv.push_back(nullptr);

    const double start = Now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // A sanitizer's leak check attaches to the process with ptrace,
        // which this one already does.
        const char* asan = getenv("ASAN_OPTIONS");
        const std::string options = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execv(argvStrings[0].c_str(), argv.data());
        _exit(127);
    }
    RunResult result;
    const double deadline = start + timeoutSeconds;
    bool execSeen = false;
    int status = 0;
    for (;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) {
            if (Now() > deadline) {
                result.timedOut = true;
                kill(pid, SIGKILL);
            }
            const timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
            continue;
        }
        if (got < 0 || WIFEXITED(status) || WIFSIGNALED(status)) break;
        int deliver = 0;
        if (WSTOPSIG(status) == SIGTRAP && (status >> 16) == PTRACE_EVENT_EXIT) {
            // Stopped on its way out, its memory still mapped.
            result.peakRssKb = HighWaterKb(pid);
        } else if (WSTOPSIG(status) == SIGTRAP && (status >> 16) == 0 && !execSeen) {
            // The stop after exec: from here on, stop again at the exit.
            ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
            execSeen = true;
        } else {
            deliver = WSTOPSIG(status);
        }
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(deliver)));
    }
    result.seconds = Now() - start;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = FileText(outPath);
    result.err = FileText(errPath);
    std::filesystem::remove_all(dir);
    return result;
}

BackgroundTool::BackgroundTool(const std::vector<std::string>& args, bool keepError) {
    int errorFd = -1;
    if (keepError) {
        char name[] = "/tmp/tiffview-test-err-XXXXXX";
        errorFd = mkstemp(name);
        if (errorFd < 0) throw std::runtime_error("mkstemp failed");
        errorFile_ = name;
    }
    std::vector<std::string> argvStrings{ToolPath()};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(errorFd >= 0 ? errorFd : devnull, 2);
        }
        // The test's own signal settings must not leak into the child.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
        execv(argvStrings[0].c_str(), argv.data());
        _exit(127);
    }
    if (errorFd >= 0) close(errorFd);
}

BackgroundTool::~BackgroundTool() {
    if (!errorFile_.empty()) unlink(errorFile_.c_str());
    if (ended_) return;
    kill(pid_, SIGKILL);
    Wait();
}

std::string BackgroundTool::Error() const {
    std::string text;
    if (errorFile_.empty()) return text;
    FILE* f = fopen(errorFile_.c_str(), "rb");
    if (f == nullptr) return text;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

void BackgroundTool::Signal(int signal) const {
    if (!ended_) kill(pid_, signal);
}

bool BackgroundTool::Stop() {
    if (ended_) return false;
    kill(pid_, SIGSTOP);
    int status = 0;
    while (waitpid(pid_, &status, WUNTRACED) < 0 && errno == EINTR) {
    }
    if (WIFSTOPPED(status)) return true;
    ended_ = true;
    status_ = status;
    return false;
}

int BackgroundTool::Wait() {
    if (ended_) return status_;
    while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    return status_;
}

std::string CopyToolInto(const std::string& directory) {
    const std::string copy = directory + "/tiffview";
    std::filesystem::copy_file(ToolPath(), copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    return copy;
}

std::string Sentence(std::uint32_t code) { return TiffView_GetErrorText(code); }

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
