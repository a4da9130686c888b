#include "core/Source.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/File.h"

namespace tvcore {

Source::~Source() = default;

namespace {

class FileSource final : public Source {
public:
    FileSource(int descriptor, std::uint64_t size, std::string name)
        : Source(size, std::move(name)), descriptor_(descriptor) {}
    ~FileSource() override {
        mapping_.Close();
        tvplatform::CloseHandle(descriptor_);
    }
    std::size_t ReadAt(std::uint64_t offset, void* dest, std::size_t count) override {
        if (view_ != nullptr) return CopyFromView(offset, dest, count);
        return tvplatform::ReadAt64(descriptor_, offset, dest, count);
    }
    bool Map() override {
        if (view_ == nullptr && mapping_.Open(descriptor_, size_)) view_ = mapping_.Data();
        return view_ != nullptr;
    }
    int Descriptor() const override { return descriptor_; }
    // A small file (a fax page is often a few kilobytes) is read whole at
    // once, one read instead of one for the header, each directory, each
    // table and each strip, and is then read as memory is. It is a copy,
    // which no later change to the file can spoil. A file that cannot be
    // read whole is read piece by piece as any other, so that its failure
    // shows where it would have.
    void HoldIfSmall() {
        if (size_ == 0 || size_ > kHeldBytes) return;
        const auto size = static_cast<std::size_t>(size_);
        held_.reset(new (std::nothrow) unsigned char[size]);
        if (held_ && tvplatform::ReadAt64(descriptor_, 0, held_.get(), size) == size) {
            view_ = held_.get();
        } else {
            held_.reset();
        }
    }

private:
    static constexpr std::uint64_t kHeldBytes = 64 * 1024;
    std::size_t CopyFromView(std::uint64_t offset, void* dest, std::size_t count) const {
        if (offset >= size_) return 0;
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
        if (got != 0) std::memcpy(dest, view_ + offset, got);
        return got;
    }

    int descriptor_;
    tvplatform::Mapping mapping_;
    std::unique_ptr<unsigned char[]> held_;
};

class MemorySource final : public Source {
public:
    MemorySource(const void* data, std::size_t size)
        : Source(data != nullptr ? size : 0, "<memory>") {
        view_ = static_cast<const unsigned char*>(data);
    }
    std::size_t ReadAt(std::uint64_t offset, void* dest, std::size_t count) override {
        if (offset >= size_) return 0;
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
        if (got != 0) std::memcpy(dest, view_ + offset, got);
        return got;
    }
};

class FunctionSource final : public Source {
public:
    FunctionSource(ReadFunction read, void* user, std::uint64_t size)
        : Source(size, "<read function>"), read_(read), user_(user) {}
    std::size_t ReadAt(std::uint64_t offset, void* dest, std::size_t count) override {
        if (offset >= size_) return 0;
        count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
        // The caller's function is trusted with the room, not with its answer.
        const std::size_t got = read_(user_, offset, dest, count);
        return got > count ? count : got;
    }

private:
    ReadFunction read_;
    void* user_;
};

// A source over `descriptor`, which it owns from here on (closed on every
// failure); `failure` is the errno to report when there is no descriptor.
template <class Name>
std::unique_ptr<Source> FileSourceOf(int descriptor, int failure, Name name, int& error) {
    error = 0;
    if (descriptor == -1) {
        error = errno != 0 ? errno : failure;
        return nullptr;
    }
    const std::uint64_t size = tvplatform::FileSize(descriptor);
    if (size == UINT64_MAX) error = errno != 0 ? errno : EIO;
    std::unique_ptr<FileSource> source;
    try {
        if (error == 0) source.reset(new FileSource(descriptor, size, name()));
    } catch (const std::bad_alloc&) {
        error = ENOMEM;
    }
    if (!source) {
        tvplatform::CloseHandle(descriptor);
        return nullptr;
    }
    source->HoldIfSmall();
    return source;
}

}  // namespace

std::unique_ptr<Source> OpenPath(const char* path, int& error) {
    return FileSourceOf(tvplatform::OpenRead(path), ENOENT, [&] { return std::string(path); }, error);
}

std::unique_ptr<Source> OpenDescriptor(int descriptor, int& error) {
    return FileSourceOf(tvplatform::Duplicate(descriptor), EBADF,
                        [&] { return "<descriptor " + std::to_string(descriptor) + ">"; }, error);
}

std::unique_ptr<Source> OpenMemory(const void* data, std::size_t size, int& error) {
    error = 0;
    std::unique_ptr<Source> source(new (std::nothrow) MemorySource(data, size));
    if (!source) error = ENOMEM;
    return source;
}

std::unique_ptr<Source> OpenReadFunction(ReadFunction read, void* user, std::uint64_t size, int& error) {
    error = 0;
    if (read == nullptr) {
        error = EINVAL;
        return nullptr;
    }
    std::unique_ptr<Source> source(new (std::nothrow) FunctionSource(read, user, size));
    if (!source) error = ENOMEM;
    return source;
}

}  // namespace tvcore
