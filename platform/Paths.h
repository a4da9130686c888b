// Platform services for the diagnostic log: where the host executable lives,
// the local wall-clock time, and the few directory operations needed to
// make sure a log directory exists. None of them reports more than the
// caller needs, and none throws.
#ifndef TIFFVIEW_PLATFORM_PATHS_H
#define TIFFVIEW_PLATFORM_PATHS_H

#include <string>

namespace tvplatform {

// Separates the directories of a path on this platform. It is a single-byte
// ASCII character that never occurs inside a multi-byte character of the
// usual encodings (UTF-8 continuation bytes are 0x80..0xBF, GBK trail bytes
// 0x40..0xFE), so a plain byte search finds only real separators.
constexpr char PathSeparator = '/';

// Full path of the host process's executable (not of this library's module),
// whatever its length. Returns false and leaves `path` empty when the path
// cannot be learned.
bool ExecutablePath(std::string& path);

// Local (not UTC) wall-clock time, as a calendar date with milliseconds.
struct LocalTime {
    int Year;         // e.g. 2009
    int Month;        // 1..12
    int Day;          // 1..31
    int Hour;         // 0..23
    int Minute;       // 0..59
    int Second;       // 0..59 (60 during a leap second)
    int Millisecond;  // 0..999
};
// Reads the clock once. On failure every field is 0.
LocalTime LocalNow();

enum class EntryKind {
    Missing,    // nothing of that name
    Directory,  // a directory, or a symbolic link that leads to one
    Other,      // a plain file or anything else that is not a directory
};
// Looks up exactly the entry `path` names; no pattern matching.
EntryKind LookUpEntry(const char* path);

// Gives a plain file owner read and write permission so that it can be
// removed; symbolic links and non-files are left alone. Result not reported.
void MakeRemovable(const char* path);
// Removes a non-directory entry. Result not reported.
void RemoveEntry(const char* path);
// Creates one directory level; the parent must exist. Result not reported.
void MakeDirectory(const char* path);

}  // namespace tvplatform

#endif
