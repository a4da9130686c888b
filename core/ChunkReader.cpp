#include "core/ChunkReader.h"

#include <algorithm>
#include <new>

#include "core/Source.h"

namespace tvcore {

bool ChunkReader::Open(Source& source, std::uint64_t largest, bool map) {
    Close();
    source_ = &source;
    size_ = source.Size();
    if (map) source.Map();
    view_ = source.View();
    if (view_ != nullptr) return true;
    // A chunk is never read past the end of the source, so no window needs
    // to be larger than the source.
    const std::uint64_t wanted = std::max<std::uint64_t>({std::min(largest, size_), std::min<std::uint64_t>(kWindowBytes, size_), 1});
    capacity_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, UINT32_MAX));
    window_.reset(new (std::nothrow) unsigned char[capacity_]);
    return window_ != nullptr;
}

void ChunkReader::Close() {
    source_ = nullptr;
    view_ = nullptr;
    window_.reset();
    capacity_ = 0;
    start_ = 0;
    held_ = 0;
}

const unsigned char* ChunkReader::Fetch(std::uint64_t offset, std::uint32_t count, std::uint32_t& got) {
    got = 0;
    if (view_ != nullptr) {
        // As a positioned read does: reading nothing succeeds wherever it starts.
        if (offset >= size_) return count == 0 ? view_ : nullptr;
        got = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, size_ - offset));
        return view_ + offset;
    }
    if (source_ == nullptr) return nullptr;
    if (offset >= start_ && offset - start_ <= held_) {
        const std::uint32_t inside = held_ - static_cast<std::uint32_t>(offset - start_);
        if (count <= inside || start_ + held_ == size_) {
            got = std::min(count, inside);
            return window_.get() + (offset - start_);
        }
    }
    start_ = offset;
    held_ = static_cast<std::uint32_t>(source_->ReadAt(offset, window_.get(), capacity_));
    got = std::min(count, held_);
    return got > 0 || count == 0 ? window_.get() : nullptr;
}

}  // namespace tvcore
