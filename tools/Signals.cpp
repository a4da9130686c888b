#include "Signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace tvtool {

namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct Temporary {
    std::string path;
    std::string target;
    std::string what;
    bool complete = false;
};

std::mutex g_lock;
std::vector<Temporary> g_temporaries;
std::size_t g_batchSize = 0;
std::size_t g_converted = 0;
sigset_t g_handled;

const char* SignalName(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

// Keeps what is complete, removes what is not, says so, and ends the
// process by `signal`. Runs with the registry locked, so no other thread
// starts or finishes a file meanwhile.
[[noreturn]] void CleanUpAndDie(int signal) {
    std::unique_lock<std::mutex> hold(g_lock);
    std::string report;
    if (!g_temporaries.empty() || g_converted != 0) {
        report = std::string("tiffview convert: stopped by ") + SignalName(signal);
        if (g_batchSize > 1)
            report += " after converting " + std::to_string(g_converted) + " of " + std::to_string(g_batchSize) +
                      " files";
        report += "\n";
    }
    for (const Temporary& t : g_temporaries) {
        if (t.complete && ::rename(t.path.c_str(), t.target.c_str()) == 0) {
            report += "tiffview convert: written: " + t.target + " (" + t.what + ")\n";
        } else {
            ::unlink(t.path.c_str());
            report += "tiffview convert: not written: " + t.target + " (" + t.what + "), " +
                      (t.complete ? "could not be renamed" : "incomplete") + "\n";
        }
    }
    if (!report.empty()) {
        std::fflush(stdout);
        const ssize_t ignored = ::write(STDERR_FILENO, report.data(), report.size());
        (void)ignored;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    // Only this thread takes the signal, and by its default action.
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);  // not reached
}

void WaitForSignals() {
    for (;;) {
        int signal = 0;
        if (::sigwait(&g_handled, &signal) == 0) CleanUpAndDie(signal);
    }
}

}  // namespace

void InstallCleanupHandlers() {
    sigemptyset(&g_handled);
    for (int s : kCleanupSignals) {
        struct sigaction old;
        if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        sigaddset(&g_handled, s);
    }
    // Every thread started from here on inherits the mask.
    ::pthread_sigmask(SIG_BLOCK, &g_handled, nullptr);
    std::thread(WaitForSignals).detach();
}

std::unique_lock<std::mutex> LockRegistry() { return std::unique_lock<std::mutex>(g_lock); }

bool RegisterTemporary(const std::string& path, const std::string& target, const std::string& what) {
    try {
        g_temporaries.push_back(Temporary{path, target, what, false});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void UnregisterTemporary(const std::string& path) {
    for (std::size_t i = 0; i < g_temporaries.size(); ++i) {
        if (g_temporaries[i].path != path) continue;
        g_temporaries.erase(g_temporaries.begin() + static_cast<long>(i));
        return;
    }
}

void MarkTemporaryComplete(const std::string& path) {
    for (Temporary& t : g_temporaries)
        if (t.path == path) t.complete = true;
}

void SetBatchSize(std::size_t total) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_batchSize = total;
}

void CountConvertedInput() {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_converted;
}

}  // namespace tvtool
