// Removing temporary output files when the tool is stopped by a signal.
//
// A conversion writes each output to a hidden temporary file first. When
// SIGINT (Ctrl-C), SIGTERM (kill, timeout) or SIGHUP (a closed terminal)
// ends the tool, the handler unlinks every temporary still registered and
// then dies of the same signal, so the shell still sees how the tool ended.
#ifndef TIFFVIEW_TOOLS_SIGNALS_H
#define TIFFVIEW_TOOLS_SIGNALS_H

#include <signal.h>

#include <string>

namespace tvtool {

// Installs the handler for those of the three signals that were not ignored
// when the tool started (nohup and background jobs ignore some on purpose).
void InstallCleanupHandlers();

// Holds the three signals back for its lifetime, so that creating a
// temporary and registering it, or renaming it and dropping it from the
// registry, happen as one step as far as the handler can tell.
class SignalGuard {
public:
    SignalGuard();
    ~SignalGuard();
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

private:
    sigset_t previous_;
};

// Adds or drops a temporary file the handler removes; call inside a
// SignalGuard. RegisterTemporary returns false when out of memory.
bool RegisterTemporary(const std::string& path);
void UnregisterTemporary(const std::string& path);

}  // namespace tvtool

#endif
