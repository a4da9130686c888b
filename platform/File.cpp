#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvplatform {

std::int32_t OpenRead(const char* name) {
    int fd;
    do {
        fd = ::open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    // Directories open read-only on POSIX but cannot be read as images.
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SeekTo(std::int32_t handle, std::uint32_t position) {
    if (position > 0x7FFFFFFFu) return false;
    return ::lseek(handle, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position);
}

std::uint32_t ReadBytes(std::int32_t handle, void* buffer, std::uint32_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t got = ::read(handle, out + total, count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::uint32_t>(got);
    }
    return total;
}

std::uint64_t FileSize(std::int32_t handle) {
    struct stat st;
    if (::fstat(handle, &st) != 0 || st.st_size < 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(st.st_size);
}

void CloseHandle(std::int32_t handle) {
    if (handle >= 0) ::close(handle);
}

}  // namespace tvplatform
