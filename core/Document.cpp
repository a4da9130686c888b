#include "core/Document.h"

#include <new>
#include <unordered_set>

#include "TiffViewCodes.h"
#include "core/Source.h"
#include "core/Tags.h"

namespace tvcore {

namespace {

constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint32_t kEntrySize = 12;
// The chain is followed at most this far; page numbers are 16-bit in
// practice and a longer chain is hostile.
constexpr std::uint32_t kMaxPages = 0xFFFF;
// Classic TIFF positions were signed 32-bit numbers in the format's
// tradition: a first directory beyond them that the file does not hold is
// reported as out of reach rather than unreadable.
constexpr std::uint64_t kLargestClassicPosition = 0x7FFFFFFFu;

std::uint32_t TypeSize(std::uint16_t type) {
    switch (type) {
    case kTypeByte:
    case kTypeSByte:
        return 1;
    case kTypeShort:
    case kTypeSShort:
        return 2;
    case kTypeLong:
    case kTypeSLong:
        return 4;
    default:
        return 0;
    }
}

}  // namespace

const Entry* Directory::Find(std::uint16_t tag) const {
    for (const Entry& entry : entries) {
        if (entry.tag == tag) return &entry;
    }
    return nullptr;
}

std::uint32_t Directory::U16(const unsigned char* p) const {
    return little_ ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
}

std::uint32_t Directory::U32(const unsigned char* p) const {
    return little_ ? (U16(p) | U16(p + 2) << 16) : (U16(p) << 16 | U16(p + 2));
}

bool Directory::Integer(const Entry& entry, std::uint32_t index, std::uint32_t& value) const {
    const std::uint32_t size = TypeSize(entry.type);
    if (size == 0 || index >= entry.count) return false;
    unsigned char stored[4];
    const unsigned char* p = entry.value + size * index;
    if (std::uint64_t{size} * entry.count > 4) {
        if (!ReadAt(U32(entry.value) + std::uint64_t{size} * index, stored, size)) return false;
        p = stored;
    }
    value = size == 1 ? p[0] : size == 2 ? U16(p) : U32(p);
    return true;
}

bool Directory::ReadAt(std::uint64_t offset, void* dest, std::uint32_t bytes) const {
    const std::uint64_t size = source_->Size();
    if (offset < kHeaderSize || offset > size || bytes > size - offset) return false;
    return source_->ReadAt(offset, dest, bytes) == bytes;
}

std::uint64_t Directory::SourceSize() const { return source_->Size(); }

std::uint32_t Document::Open(Source& source) {
    source_ = &source;
    pages_.clear();
    unsigned char header[kHeaderSize];
    if (source.ReadAt(0, header, kHeaderSize) < kHeaderSize) return TV_ERR_HEADER_SHORT;
    if (header[0] == 'I' && header[1] == 'I') {
        little_ = true;
    } else if (header[0] == 'M' && header[1] == 'M') {
        little_ = false;
    } else {
        return TV_ERR_BYTE_ORDER;
    }
    const Directory raw(source, little_);
    if (raw.U16(header + 2) != 42) return TV_ERR_MAGIC;

    std::uint64_t offset = raw.U32(header + 4);
    if (offset == 0) return TV_ERR_IFD_OFFSET_ZERO;
    if (offset > kLargestClassicPosition && offset >= source.Size()) return TV_ERR_FILE_SHORT;
    std::unordered_set<std::uint64_t> visited;
    try {
        while (offset != 0 && pages_.size() < kMaxPages && visited.insert(offset).second) {
            unsigned char bytes[4];
            if (source.ReadAt(offset, bytes, 2) < 2) {
                if (pages_.empty()) return TV_ERR_IFD_COUNT_READ;
                break;
            }
            const std::uint32_t count = raw.U16(bytes);
            pages_.push_back(Place{offset, count});
            const std::uint64_t next = offset + 2 + std::uint64_t{kEntrySize} * count;
            if (source.ReadAt(next, bytes, 4) < 4) break;
            offset = raw.U32(bytes);
        }
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    return TV_OK;
}

std::uint32_t Document::ReadDirectory(std::uint32_t index, Directory& directory) const {
    directory = Directory(*source_, little_);
    if (index >= pages_.size()) return TV_ERR_PAGE_MISSING;
    const Place& place = pages_[index];
    const std::uint32_t bytes = place.entries * kEntrySize;
    std::vector<unsigned char> raw;
    try {
        raw.resize(bytes);
        if (source_->ReadAt(place.offset + 2, raw.data(), bytes) < bytes) return TV_ERR_IFD_READ;
        directory.entries.resize(place.entries);
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    for (std::uint32_t i = 0; i < place.entries; ++i) {
        const unsigned char* p = raw.data() + std::size_t{i} * kEntrySize;
        Entry& entry = directory.entries[i];
        entry.tag = static_cast<std::uint16_t>(directory.U16(p));
        entry.type = static_cast<std::uint16_t>(directory.U16(p + 2));
        entry.count = directory.U32(p + 4);
        for (int k = 0; k < 4; ++k) entry.value[k] = p[8 + k];
    }
    return TV_OK;
}

PageSummary Document::Summarize(std::uint32_t index) const {
    PageSummary summary;
    Directory directory(*source_, little_);
    summary.status = ReadDirectory(index, directory);
    if (summary.status != TV_OK) return summary;
    auto value = [&](TagNumber tag, std::uint32_t& into) {
        const Entry* entry = directory.Find(tag);
        std::uint32_t v = 0;
        if (entry != nullptr && entry->count >= 1 && directory.Integer(*entry, 0, v)) into = v;
    };
    summary.compression = Tag(kCompression).fallback;
    value(kImageWidth, summary.width);
    value(kImageLength, summary.length);
    value(kBitsPerSample, summary.bitsPerSample);
    value(kSamplesPerPixel, summary.samplesPerPixel);
    value(kCompression, summary.compression);
    value(kPhotometric, summary.photometric);
    summary.tiled = directory.Find(kTileWidth) != nullptr;
    return summary;
}

}  // namespace tvcore
