#include "platform/Paths.h"

#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace tvplatform {

namespace {

// readlink() truncates silently and never terminates, so the link is read
// into ever larger buffers until it fits with room to spare. The kernel
// refuses to report paths anywhere near this long; the cap only guarantees
// that the loop ends.
constexpr std::size_t ExecutablePathLimit = 1u << 20;

}  // namespace

bool ExecutablePath(std::string& path) {
    path.clear();
    try {
        std::string buffer(256, '\0');
        for (;;) {
            ssize_t got = ::readlink("/proc/self/exe", &buffer[0], buffer.size());
            if (got < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (static_cast<std::size_t>(got) < buffer.size()) {
                buffer.resize(static_cast<std::size_t>(got));
                path.swap(buffer);
                return !path.empty();
            }
            if (buffer.size() >= ExecutablePathLimit) return false;
            buffer.assign(buffer.size() * 2, '\0');
        }
    } catch (...) {
        path.clear();
        return false;
    }
}

LocalTime LocalNow() {
    LocalTime result{0, 0, 0, 0, 0, 0, 0};
    struct timespec now;
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return result;
    std::time_t seconds = now.tv_sec;
    struct tm local;
    if (::localtime_r(&seconds, &local) == nullptr) return result;
    result.Year = local.tm_year + 1900;
    result.Month = local.tm_mon + 1;
    result.Day = local.tm_mday;
    result.Hour = local.tm_hour;
    result.Minute = local.tm_min;
    result.Second = local.tm_sec;
    result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
}

EntryKind LookUpEntry(const char* path) {
    struct stat st;
    if (::lstat(path, &st) != 0) return EntryKind::Missing;
    if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
    // A link to a directory serves as that directory; any other link (also
    // a dangling one) is an entry in the way.
    if (S_ISLNK(st.st_mode) && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return EntryKind::Directory;
    return EntryKind::Other;
}

void MakeRemovable(const char* path) {
    // chmod follows links; only a file that is itself in the way is touched,
    // never the target of a link.
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISREG(st.st_mode)) ::chmod(path, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
}

void RemoveEntry(const char* path) { ::unlink(path); }

void MakeDirectory(const char* path) { ::mkdir(path, 0777); }

}  // namespace tvplatform
