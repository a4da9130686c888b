#include "Input.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TiffView.h"
#include "ToolText.h"

namespace tvtool {

const char kStandardInputLabel[] = "(standard input)";

namespace {

// The longest name CTiffView takes.
constexpr std::size_t kLibraryNameLimit = 260;
// Offsets in a TIFF file are 32-bit: nothing past 4 GiB can be part of one.
constexpr std::uint64_t kLargestTiff = 0xFFFFFFFFull;

std::string OpenFailure(int systemError) {
    return DescribeResult(TV_ERR_FILE_OPEN) + " (" + std::strerror(systemError) + ")";
}

// A file that lives in memory only and has no name in any directory.
int AnonymousFile() {
#ifdef MFD_CLOEXEC
    const int fd = ::memfd_create("tiffview-input", MFD_CLOEXEC);
    if (fd >= 0) return fd;
#endif
#ifdef O_TMPFILE
    // Older kernels: an unnamed file in the temporary directory, which
    // disappears with its last descriptor just the same.
    const char* dir = std::getenv("TMPDIR");
    return ::open(dir != nullptr && *dir != '\0' ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#else
    errno = ENOSYS;
    return -1;
#endif
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

InputFile::~InputFile() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool InputFile::Open(const std::string& name, std::string& error) {
    error.clear();
    name_ = name;
    const bool standard = name == kStandardStream;
    label_ = standard ? std::string(kStandardInputLabel) : name;
    int fd = STDIN_FILENO;
    if (!standard) {
        do {
            fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            error = OpenFailure(errno);
            return false;
        }
        fd_ = fd;
        ownsFd_ = true;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = OpenFailure(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = OpenFailure(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        // Pipes, FIFOs and terminals cannot be read at random positions.
        if (!CopyIntoMemory(fd, error)) return false;
        return NameForLibrary(error);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    if (!standard && name.size() <= kLibraryNameLimit) {
        // The library opens the name itself, and its diagnostic logs name it.
        libraryPath_ = name;
        return true;
    }
    if (standard) fd_ = fd;
    return NameForLibrary(error);
}

bool InputFile::CopyIntoMemory(int from, std::string& error) {
    const int memory = AnonymousFile();
    if (memory < 0) {
        error = "cannot hold " + label_ + " in memory: " + std::strerror(errno);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    std::uint64_t size = 0;
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + label_ + ": " + std::strerror(errno);
            break;
        }
        if (got == 0) break;
        size += static_cast<std::uint64_t>(got);
        if (size > kLargestTiff) {
            error = label_ + " is larger than 4 GiB, more than a TIFF file can address";
            break;
        }
        if (!WriteAll(memory, buffer.data(), static_cast<std::size_t>(got))) {
            error = "cannot hold " + label_ + " in memory: " + std::strerror(errno);
            break;
        }
    }
    if (!error.empty()) {
        ::close(memory);
        return false;
    }
    if (ownsFd_) ::close(fd_);
    fd_ = memory;
    ownsFd_ = true;
    size_ = size;
    return true;
}

bool InputFile::NameForLibrary(std::string& error) {
    libraryPath_ = "/proc/self/fd/" + std::to_string(fd_);
    if (::access(libraryPath_.c_str(), R_OK) == 0) return true;
    const int reason = errno;
    if (name_.size() > kLibraryNameLimit)
        error = DescribeResult(TV_ERR_PATH_LENGTH) + " (without /proc/self/fd the tool cannot pass it on)";
    else
        error = "cannot pass " + label_ + " to the library: /proc/self/fd is not available (" +
                std::strerror(reason) + ")";
    return false;
}

}  // namespace tvtool
