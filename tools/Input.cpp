#include "Input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "ToolText.h"

namespace tvtool {

const char kStandardInputLabel[] = "(standard input)";

namespace {

// Offsets in a TIFF file are 32-bit: nothing past 4 GiB can be part of one,
// so a stream is not held in memory beyond that.
constexpr std::uint64_t kLargestTiff = 0xFFFFFFFFull;

std::string OpenFailure(int systemError) {
    return DescribeResult(TV_ERR_FILE_OPEN) + " (" + std::strerror(systemError) + ")";
}

}  // namespace

InputFile::~InputFile() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool InputFile::Open(const std::string& name, std::string& error) {
    error.clear();
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
        ownsFd_ = true;
    }
    fd_ = fd;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error = OpenFailure(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = OpenFailure(EISDIR);
        return false;
    }
    // Pipes, FIFOs and terminals cannot be read at random positions.
    if (!S_ISREG(st.st_mode)) return CopyIntoMemory(fd, error);
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool InputFile::CopyIntoMemory(int from, std::string& error) {
    const std::size_t kBlock = 1 << 16;
    std::uint64_t size = 0;
    for (;;) {
        try {
            bytes_.resize(static_cast<std::size_t>(size) + kBlock);
        } catch (const std::bad_alloc&) {
            error = "cannot hold " + label_ + " in memory: " + std::strerror(ENOMEM);
            break;
        }
        const ssize_t got = ::read(from, bytes_.data() + size, kBlock);
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
    }
    if (!error.empty()) {
        std::vector<unsigned char>().swap(bytes_);
        return false;
    }
    bytes_.resize(static_cast<std::size_t>(size));
    bytes_.shrink_to_fit();
    inMemory_ = true;
    size_ = size;
    return true;
}

tiffview::Result InputFile::OpenIn(tiffview::Reader& reader, const tiffview::Options& options) const {
    if (inMemory_) return reader.open(bytes_.data(), bytes_.size(), options);
    return reader.open_descriptor(fd_, options);
}

}  // namespace tvtool
