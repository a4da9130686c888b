#include "platform/File.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tvplatform {

namespace {

// Directories open read-only on POSIX but cannot be read as images: `fd`
// back, or -1 (closed, errno set) for a directory.
int RefuseDirectory(int fd) {
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int reason = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

}  // namespace

std::int32_t OpenRead(const char* name) {
    int fd;
    do {
        fd = ::open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return RefuseDirectory(fd);
}

std::int32_t Duplicate(std::int32_t descriptor) {
    if (descriptor < 0) {
        errno = EBADF;
        return -1;
    }
    return RefuseDirectory(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0));
}

std::size_t ReadAt64(std::int32_t descriptor, std::uint64_t position, void* buffer, std::size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const std::uint64_t at = position + total;
        if (at > static_cast<std::uint64_t>(INT64_MAX)) break;
        const ssize_t got = ::pread(descriptor, out + total, count - total, static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

std::uint64_t FileSize(std::int32_t descriptor) {
    struct stat st;
    if (::fstat(descriptor, &st) != 0 || st.st_size < 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(st.st_size);
}

void CloseHandle(std::int32_t descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

bool Mapping::Open(std::int32_t descriptor, std::uint64_t size) {
    Close();
    if (size == 0 || size > SIZE_MAX) return false;
    void* mapped = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, descriptor, 0);
    if (mapped == MAP_FAILED) return false;
    Bytes = static_cast<const unsigned char*>(mapped);
    Length = static_cast<std::size_t>(size);
    return true;
}

void Mapping::Close() {
    if (Bytes != nullptr) ::munmap(const_cast<unsigned char*>(Bytes), Length);
    Bytes = nullptr;
    Length = 0;
}

}  // namespace tvplatform
