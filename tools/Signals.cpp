#include "Signals.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tvtool {

namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The registry is a plain C array so that the handler reads nothing but
// pointers and bytes; it is only changed while the signals are held back,
// so the handler never sees it half-updated.
char** g_paths = nullptr;
std::size_t g_count = 0;
std::size_t g_capacity = 0;

extern "C" void RemoveTemporariesAndDie(int signal) {
    // unlink, sigaction's SIG_DFL reset and raise are async-signal-safe.
    for (std::size_t i = 0; i < g_count; ++i) ::unlink(g_paths[i]);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    // Pending until the handler returns and the mask is restored; then the
    // default action ends the process with this signal.
    ::raise(signal);
}

sigset_t CleanupSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kCleanupSignals) sigaddset(&set, s);
    return set;
}

}  // namespace

void InstallCleanupHandlers() {
    for (int s : kCleanupSignals) {
        struct sigaction old;
        if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = RemoveTemporariesAndDie;
        // A second signal during the clean-up waits until it is done.
        action.sa_mask = CleanupSet();
        ::sigaction(s, &action, nullptr);
    }
}

SignalGuard::SignalGuard() {
    const sigset_t set = CleanupSet();
    ::sigprocmask(SIG_BLOCK, &set, &previous_);
}

SignalGuard::~SignalGuard() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }

bool RegisterTemporary(const std::string& path) {
    if (g_count == g_capacity) {
        const std::size_t capacity = g_capacity == 0 ? 8 : g_capacity * 2;
        void* grown = std::realloc(g_paths, capacity * sizeof(char*));
        if (grown == nullptr) return false;
        g_paths = static_cast<char**>(grown);
        g_capacity = capacity;
    }
    char* copy = static_cast<char*>(std::malloc(path.size() + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, path.c_str(), path.size() + 1);
    g_paths[g_count++] = copy;
    return true;
}

void UnregisterTemporary(const std::string& path) {
    for (std::size_t i = 0; i < g_count; ++i) {
        if (path != g_paths[i]) continue;
        std::free(g_paths[i]);
        g_paths[i] = g_paths[--g_count];
        return;
    }
}

}  // namespace tvtool
