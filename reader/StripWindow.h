// A window onto the file through which strips (and tiles) are read: one
// positioned read fetches the strip asked for and as many of the bytes after
// it as the window holds, so strips stored one after another, as writers
// store them, cost one system call per window rather than one per strip.
// Where the file can be viewed in place (a memory source, or a mapped file
// when the caller asks for mapping) strips are read from the view, with no
// system call and no copy.
#ifndef TIFFVIEW_READER_STRIPWINDOW_H
#define TIFFVIEW_READER_STRIPWINDOW_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/File.h"

class CStripWindow {
public:
    // Enough for small strips to come many to a read, little enough to stay
    // in the caches.
    static constexpr std::uint32_t kPreferredBytes = 64 * 1024;

    // Sizes the window for strips of up to `largest` bytes in a file of
    // `fileSize` bytes; false when the memory cannot be had.
    bool Reserve(std::uint32_t largest, std::uint64_t fileSize) {
        if (View.Data() != nullptr) return true;
        const std::uint64_t preferred = std::min<std::uint64_t>(kPreferredBytes, fileSize);
        Capacity = static_cast<std::uint32_t>(std::max<std::uint64_t>({largest, preferred, 1}));
        Storage.reset(new (std::nothrow) unsigned char[Capacity]);
        Held = 0;
        return Storage != nullptr;
    }

    // The `count` bytes at `offset`, valid until the next Fetch; null when
    // the file holds fewer. `count` must not exceed the reserved size.
    const unsigned char* Fetch(std::int32_t file, std::uint32_t offset, std::uint32_t count) {
        if (View.Data() != nullptr) {
            // As a positioned read does: reading nothing succeeds wherever
            // it starts, and positions of 2^31 or more give nothing.
            if (count == 0) return View.Data();
            if (offset > kLargestPosition || count > View.Size() || offset > View.Size() - count) return nullptr;
            return View.Data() + offset;
        }
        if (offset >= Start && offset - Start <= Held && count <= Held - (offset - Start)) {
            return Storage.get() + (offset - Start);
        }
        Start = offset;
        Held = tvplatform::ReadAt(file, offset, Storage.get(), Capacity);
        return Held >= count ? Storage.get() : nullptr;
    }

    // Reads from a view of the file from now on, where one can be had (see
    // tvplatform::FileView); call before Reserve.
    void ViewFile(std::int32_t file, std::uint64_t fileSize, bool mapFiles) { View.Open(file, fileSize, mapFiles); }

private:
    static constexpr std::uint32_t kLargestPosition = 0x7FFFFFFF;
    tvplatform::FileView View;
    std::unique_ptr<unsigned char[]> Storage;
    std::uint32_t Capacity = 0;
    std::uint32_t Start = 0;  // file offset of Storage[0]
    std::uint32_t Held = 0;   // bytes of the file in Storage
};

#endif
