// Minimal file layer under the byte sources: positioned, read-only access on
// a descriptor, and read-only mappings.
#ifndef TIFFVIEW_PLATFORM_FILE_H
#define TIFFVIEW_PLATFORM_FILE_H

#include <cstddef>
#include <cstdint>

namespace tvplatform {

// Opens `name` read-only for binary reading; returns -1 on failure, with
// errno telling why (a directory opens, and fails with EISDIR).
std::int32_t OpenRead(const char* name);
// A descriptor of its own for the file `descriptor` reads; -1 on failure.
std::int32_t Duplicate(std::int32_t descriptor);
// Reads up to `count` bytes at `position` and returns how many arrived
// (short only at the end of the file or on an error).
std::size_t ReadAt64(std::int32_t descriptor, std::uint64_t position, void* buffer, std::size_t count);
// Size of the open file in bytes, or UINT64_MAX when it cannot be learned.
std::uint64_t FileSize(std::int32_t descriptor);
void CloseHandle(std::int32_t descriptor);

// A read-only mapping of a file's first bytes.
class Mapping {
public:
    Mapping() = default;
    ~Mapping() { Close(); }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    // Maps the first `size` bytes of `descriptor`; false when it cannot.
    bool Open(std::int32_t descriptor, std::uint64_t size);
    void Close();
    const unsigned char* Data() const { return Bytes; }

private:
    const unsigned char* Bytes = nullptr;
    std::size_t Length = 0;
};

}  // namespace tvplatform

#endif
