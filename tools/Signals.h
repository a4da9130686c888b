// What happens to output files when the tool is stopped by a signal.
//
// A conversion writes each output to a hidden temporary file first. When
// SIGINT (Ctrl-C), SIGTERM (kill, timeout) or SIGHUP (a closed terminal)
// ends the tool, the temporaries that are complete are renamed to their
// targets, the one still being written is removed, standard error says
// which is which, and the tool dies of the same signal, so the shell still
// sees how it ended.
//
// The signals are blocked in every thread and taken by one thread of their
// own (sigwait), so the clean-up is ordinary code that can take the
// registry's lock, and conversions on several threads are safe.
#ifndef TIFFVIEW_TOOLS_SIGNALS_H
#define TIFFVIEW_TOOLS_SIGNALS_H

#include <cstddef>
#include <mutex>
#include <string>

namespace tvtool {

// Blocks the three signals that were not ignored when the tool started
// (nohup and background jobs ignore some on purpose) and starts the thread
// that takes them. Call before any other thread is started.
void InstallCleanupHandlers();

// Held while the registry changes together with the file system (a
// temporary created and registered, renamed and dropped), so that the
// clean-up never sees one without the other.
std::unique_lock<std::mutex> LockRegistry();

// Adds or drops a temporary file; call with LockRegistry held. `what`
// names what it holds for the report ("scan.tif page 3"). False when out
// of memory.
bool RegisterTemporary(const std::string& path, const std::string& target, const std::string& what);
void UnregisterTemporary(const std::string& path);
// The temporary holds its whole content: on a signal it is kept.
void MarkTemporaryComplete(const std::string& path);

// Counts an input whose outputs are all in place, for the report made on
// a signal ("after converting 3 of 10 files"); `total` is the batch's size.
void SetBatchSize(std::size_t total);
void CountConvertedInput();

}  // namespace tvtool

#endif
