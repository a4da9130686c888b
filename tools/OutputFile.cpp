#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Signals.h"

namespace tvtool {

namespace {

std::string DirectoryOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a newly created file would get: 0666 less the umask, which can
// only be read by setting it, so it is read once (files are created with
// mkstemp's 0600 and then given this mode, so a thread creating one
// meanwhile is not affected).
mode_t NewFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& target, const std::string& what, std::string& error) {
    Abandon();
    if (target.empty() || target.back() == '/') {
        error = "not a file name";
        return false;
    }
    struct stat st;
    mode_t mode = NewFileMode();
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = "is a directory";
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            // Devices and pipes cannot be replaced by a rename.
            error = "exists and is not a regular file";
            return false;
        }
        // Replacing a file keeps its permissions.
        mode = st.st_mode & 07777;
    }

    std::string pattern = DirectoryOf(target) + "/." + BaseOf(target) + ".tiffview-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd;
    {
        // A signal between creating the temporary and registering it would
        // leave it behind.
        const auto guard = LockRegistry();
        fd = ::mkstemp(name.data());
        if (fd < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (!RegisterTemporary(name.data(), target, what)) {
            ::close(fd);
            ::unlink(name.data());
            error = std::strerror(ENOMEM);
            return false;
        }
    }
    temp_ = name.data();
    target_ = target;
    if (::fchmod(fd, mode) != 0) {
        // Not fatal: the file is still written, with the temporary's mode.
    }
    stream_ = ::fdopen(fd, "wb");
    if (stream_ == nullptr) {
        error = std::strerror(errno);
        ::close(fd);
        Remove();
        return false;
    }
    return true;
}

bool OutputFile::Close(std::string& error) {
    if (stream_ == nullptr) {
        error = "not open";
        return false;
    }
    bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    int saved = errno;
    if (ok && ::fsync(::fileno(stream_)) != 0) {
        ok = false;
        saved = errno;
    }
    if (std::fclose(stream_) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    stream_ = nullptr;
    if (!ok) {
        error = std::strerror(saved != 0 ? saved : EIO);
        Remove();
        return false;
    }
    const auto guard = LockRegistry();
    MarkTemporaryComplete(temp_);
    return true;
}

bool OutputFile::Commit(std::string& error) {
    if (stream_ != nullptr && !Close(error)) return false;
    if (temp_.empty()) {
        error = "not open";
        return false;
    }
    const auto guard = LockRegistry();
    const bool ok = ::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        error = std::strerror(errno);
        ::unlink(temp_.c_str());
    }
    UnregisterTemporary(temp_);
    temp_.clear();
    return ok;
}

void OutputFile::Abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    Remove();
}

void OutputFile::Remove() {
    if (temp_.empty()) return;
    const auto guard = LockRegistry();
    ::unlink(temp_.c_str());
    UnregisterTemporary(temp_);
    temp_.clear();
}

}  // namespace tvtool
