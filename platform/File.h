// Minimal file layer used by the reader: positioned, read-only access on a
// numeric handle.
#ifndef TIFFVIEW_PLATFORM_FILE_H
#define TIFFVIEW_PLATFORM_FILE_H

#include <cstdint>

namespace tvplatform {

// Opens `name` read-only for binary reading; returns -1 on failure, with
// errno telling why.
std::int32_t OpenRead(const char* name);
// Presents `size` bytes of the caller's memory as a read-only file: the
// handle works with every call below. The memory must stay valid until the
// handle is closed. Returns -1 when no handle can be had.
std::int32_t OpenMemory(const void* data, std::uint64_t size);
// Sets the absolute position. Positions are signed 32-bit numbers in the
// file format's tradition, so any position of 2^31 or more fails.
bool SeekTo(std::int32_t handle, std::uint32_t position);
// Reads up to `count` bytes and returns how many arrived (short only at the
// end of the file or on an error).
std::uint32_t ReadBytes(std::int32_t handle, void* buffer, std::uint32_t count);
// Reads up to `count` bytes at absolute `position` in one call, leaving the
// file position undefined; returns how many arrived. Positions of 2^31 or
// more read nothing, as SeekTo refuses them.
std::uint32_t ReadAt(std::int32_t handle, std::uint32_t position, void* buffer, std::uint32_t count);
// Size of the open file in bytes, or UINT64_MAX when it cannot be learned.
std::uint64_t FileSize(std::int32_t handle);
void CloseHandle(std::int32_t handle);

// A read-only view of an open file's bytes, for reading them in place
// instead of copying them out. A memory source's view is its own memory. A
// file's view is a mapping, made only when asked for: reading it after
// another process has shortened the file kills the process with SIGBUS, a
// risk that copying reads do not carry.
class FileView {
public:
    FileView() = default;
    ~FileView() { Close(); }
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    // Views the first `size` bytes of `handle` (a memory source's bytes, or
    // with `mapFiles` a mapping of the file); false, with no view, when that
    // cannot be had and reads must go through ReadAt.
    bool Open(std::int32_t handle, std::uint64_t size, bool mapFiles);
    void Close();
    const unsigned char* Data() const { return Bytes; }
    std::uint64_t Size() const { return Length; }

private:
    const unsigned char* Bytes = nullptr;
    std::uint64_t Length = 0;
    bool Mapped = false;
};

}  // namespace tvplatform

#endif
