#include "platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace tvplatform {

namespace {

// Memory sources get handles from this base up, far above any descriptor.
constexpr std::int32_t kMemoryHandleBase = 0x40000000;

struct MemorySource {
    const unsigned char* data = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    bool open = false;
};

// Handles are indexes into one table shared by every reader; a slot is
// reused once its handle is closed.
std::mutex& MemoryLock() {
    static std::mutex lock;
    return lock;
}
std::vector<MemorySource>& MemoryTable() {
    static std::vector<MemorySource> table;
    return table;
}

bool IsMemory(std::int32_t handle) { return handle >= kMemoryHandleBase; }

MemorySource* FindMemory(std::int32_t handle) {
    std::vector<MemorySource>& table = MemoryTable();
    const auto index = static_cast<std::size_t>(handle - kMemoryHandleBase);
    return index < table.size() && table[index].open ? &table[index] : nullptr;
}

}  // namespace

std::int32_t OpenMemory(const void* data, std::uint64_t size) {
    std::lock_guard<std::mutex> guard(MemoryLock());
    std::vector<MemorySource>& table = MemoryTable();
    std::size_t index = 0;
    while (index < table.size() && table[index].open) ++index;
    try {
        if (index == table.size()) table.emplace_back();
    } catch (...) {
        return -1;
    }
    table[index] = MemorySource{static_cast<const unsigned char*>(data), data != nullptr ? size : 0, 0, true};
    return kMemoryHandleBase + static_cast<std::int32_t>(index);
}

std::int32_t OpenRead(const char* name) {
    int fd;
    do {
        fd = ::open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    // Directories open read-only on POSIX but cannot be read as images.
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int reason = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

bool SeekTo(std::int32_t handle, std::uint32_t position) {
    if (position > 0x7FFFFFFFu) return false;
    if (IsMemory(handle)) {
        std::lock_guard<std::mutex> guard(MemoryLock());
        MemorySource* source = FindMemory(handle);
        if (source == nullptr) return false;
        // As with a file, a position past the end can be set; reads there get nothing.
        source->position = position;
        return true;
    }
    return ::lseek(handle, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position);
}

std::uint32_t ReadBytes(std::int32_t handle, void* buffer, std::uint32_t count) {
    if (IsMemory(handle)) {
        std::lock_guard<std::mutex> guard(MemoryLock());
        MemorySource* source = FindMemory(handle);
        if (source == nullptr || source->position >= source->size) return 0;
        const auto got = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, source->size - source->position));
        if (got != 0) std::memcpy(buffer, source->data + source->position, got);
        source->position += got;
        return got;
    }
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

std::uint32_t ReadAt(std::int32_t handle, std::uint32_t position, void* buffer, std::uint32_t count) {
    if (position > 0x7FFFFFFFu) return 0;
    if (IsMemory(handle)) {
        std::lock_guard<std::mutex> guard(MemoryLock());
        const MemorySource* source = FindMemory(handle);
        if (source == nullptr || position >= source->size) return 0;
        const auto got = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, source->size - position));
        if (got != 0) std::memcpy(buffer, source->data + position, got);
        return got;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        const ssize_t got = ::pread(handle, out + total, count - total, static_cast<off_t>(position) + total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::uint32_t>(got);
    }
    return total;
}

std::uint64_t FileSize(std::int32_t handle) {
    if (IsMemory(handle)) {
        std::lock_guard<std::mutex> guard(MemoryLock());
        const MemorySource* source = FindMemory(handle);
        return source != nullptr ? source->size : UINT64_MAX;
    }
    struct stat st;
    if (::fstat(handle, &st) != 0 || st.st_size < 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(st.st_size);
}

void CloseHandle(std::int32_t handle) {
    if (IsMemory(handle)) {
        std::lock_guard<std::mutex> guard(MemoryLock());
        if (MemorySource* source = FindMemory(handle)) *source = MemorySource{};
        return;
    }
    if (handle >= 0) ::close(handle);
}

bool FileView::Open(std::int32_t handle, std::uint64_t size, bool mapFiles) {
    Close();
    if (IsMemory(handle)) {
        std::lock_guard<std::mutex> guard(MemoryLock());
        const MemorySource* source = FindMemory(handle);
        if (source == nullptr || source->data == nullptr) return false;
        Bytes = source->data;
        Length = std::min(size, source->size);
        return true;
    }
    if (!mapFiles || size == 0 || size > SIZE_MAX) return false;
    void* mapped = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, handle, 0);
    if (mapped == MAP_FAILED) return false;
    Bytes = static_cast<const unsigned char*>(mapped);
    Length = size;
    Mapped = true;
    return true;
}

void FileView::Close() {
    if (Mapped) ::munmap(const_cast<unsigned char*>(Bytes), static_cast<std::size_t>(Length));
    Bytes = nullptr;
    Length = 0;
    Mapped = false;
}

}  // namespace tvplatform
