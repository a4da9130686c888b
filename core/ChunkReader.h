// How the stored bytes of strips and tiles are read, for every profile and
// interface. Where the source has its bytes in place (memory, or a file
// mapped on request) a chunk is read from there, with no system call and no
// copy. Otherwise one positioned read fills a window with the chunk asked
// for and as many of the bytes after it as the window holds, so chunks
// stored one after another, as writers store them, cost one read per window
// rather than one per chunk.
#ifndef TIFFVIEW_CORE_CHUNKREADER_H
#define TIFFVIEW_CORE_CHUNKREADER_H

#include <cstdint>
#include <memory>

namespace tvcore {

class Source;

class ChunkReader {
public:
    // Enough for small strips to come many to a read, little enough to stay
    // in the caches (larger windows measured slower).
    static constexpr std::uint32_t kWindowBytes = 64 * 1024;

    // Reads chunks of up to `largest` bytes from `source`, in place where it
    // can (mapping a file first when `map` is set). False when the window's
    // memory cannot be had.
    bool Open(Source& source, std::uint64_t largest, bool map);
    void Close();

    // The bytes at [offset, offset + count), or as many of them as the
    // source holds (`got` says how many); valid until the next Fetch. Null
    // only when not even those could be read. `count` must not exceed the
    // `largest` given to Open unless the bytes are in place.
    const unsigned char* Fetch(std::uint64_t offset, std::uint32_t count, std::uint32_t& got);

private:
    Source* source_ = nullptr;
    const unsigned char* view_ = nullptr;
    std::uint64_t size_ = 0;
    std::unique_ptr<unsigned char[]> window_;
    std::uint32_t capacity_ = 0;
    std::uint64_t start_ = 0;  // source offset of window_[0]
    std::uint32_t held_ = 0;   // bytes of the source in window_
};

}  // namespace tvcore

#endif
