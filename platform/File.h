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

}  // namespace tvplatform

#endif
