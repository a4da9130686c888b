// Where a TIFF's bytes come from: a file named by a path of any length, a
// descriptor, the caller's memory, or the caller's read function. Offsets
// are 64-bit. A source that holds its bytes in memory (a memory source, or a
// file mapped on request) also offers them in place, so that strips are read
// without a copy; ChunkReader decides how each read is served.
#ifndef TIFFVIEW_CORE_SOURCE_H
#define TIFFVIEW_CORE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tvcore {

class Source {
public:
    virtual ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Bytes in the source.
    std::uint64_t Size() const { return size_; }
    // Reads up to `count` bytes at `offset` and returns how many arrived:
    // fewer only at the end of the source or on an error.
    virtual std::size_t ReadAt(std::uint64_t offset, void* dest, std::size_t count) = 0;
    // The source's bytes in place, or null when they must be read.
    const unsigned char* View() const { return view_; }
    // Makes a file's bytes viewable through a read-only mapping. Reading a
    // mapping after another process has shortened the file kills the
    // process with SIGBUS, which copying reads do not risk, so it is done
    // only on request. False when there is no view to be had.
    virtual bool Map() { return view_ != nullptr; }
    // The descriptor of a file source, -1 for the others.
    virtual int Descriptor() const { return -1; }
    // How messages name the source: the path, or a description.
    const std::string& Name() const { return name_; }

protected:
    Source(std::uint64_t size, std::string name) : size_(size), name_(std::move(name)) {}
    const unsigned char* view_ = nullptr;
    std::uint64_t size_ = 0;
    std::string name_;
};

// The caller's read function: fills `dest` with up to `count` bytes at
// `offset` and returns how many it wrote.
using ReadFunction = std::size_t (*)(void* user, std::uint64_t offset, void* dest, std::size_t count);

// Each returns null when the source cannot be had, with `error` set to the
// system's reason (an errno value; ENOMEM when memory ran out).
std::unique_ptr<Source> OpenPath(const char* path, int& error);
// Reads through a duplicate of `descriptor`, which the caller keeps and may
// close at once.
std::unique_ptr<Source> OpenDescriptor(int descriptor, int& error);
// `size` bytes at `data`, which must stay valid while the source is open.
std::unique_ptr<Source> OpenMemory(const void* data, std::size_t size, int& error);
std::unique_ptr<Source> OpenReadFunction(ReadFunction read, void* user, std::uint64_t size, int& error);

}  // namespace tvcore

#endif
