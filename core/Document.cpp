#include "core/Document.h"

#include <new>
#include <unordered_set>

#include "TiffViewCodes.h"
#include "core/Source.h"
#include "core/Tags.h"

namespace tvcore {

namespace {

constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint32_t kBigHeaderSize = 16;
constexpr std::uint32_t kEntrySize = 12;
constexpr std::uint32_t kBigEntrySize = 20;
constexpr std::uint16_t kClassicVersion = 42;
constexpr std::uint16_t kBigVersion = 43;
// The chain is followed at most this far; page numbers are 16-bit in
// practice and a longer chain is hostile.
constexpr std::uint32_t kMaxPages = 0xFFFF;
// A BigTIFF directory counts its entries in 64 bits; libtiff gives up on
// one claiming more than classic TIFF's 16 bits can, and so do we.
constexpr std::uint64_t kMaxEntries = 0xFFFF;
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
    case kTypeIfd:
        return 4;
    case kTypeLong8:
    case kTypeSLong8:
    case kTypeIfd8:
        return 8;
    default:
        return 0;
    }
}

bool Signed(std::uint16_t type) {
    return type == kTypeSByte || type == kTypeSShort || type == kTypeSLong || type == kTypeSLong8;
}

}  // namespace

std::uint32_t AssumedPhotometric(std::uint32_t compression) {
    // Fax codings define their runs as white first: their pages are
    // min-is-white; any other coding stores plain samples, read as grey
    // levels, min-is-black.
    return compression == 2 || compression == 3 || compression == 4 ? 0 : 1;
}

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

std::uint64_t Directory::U64(const unsigned char* p) const {
    const std::uint64_t first = U32(p);
    const std::uint64_t second = U32(p + 4);
    return little_ ? (first | second << 32) : (first << 32 | second);
}

bool Directory::Integer(const Entry& entry, std::uint64_t index, std::int64_t& value) const {
    const std::uint32_t size = TypeSize(entry.type);
    if (size == 0 || index >= entry.count) return false;
    unsigned char stored[8];
    const unsigned char* p = entry.value + size * index;
    if (entry.count > FieldSize() / size) {
        if (index > (UINT64_MAX - FieldOffset(entry)) / size ||
            !ReadAt(FieldOffset(entry) + size * index, stored, size)) {
            return false;
        }
        p = stored;
    }
    std::uint64_t bits = size == 1 ? p[0] : size == 2 ? U16(p) : size == 4 ? U32(p) : U64(p);
    if (Signed(entry.type) && size < 8 && (bits >> (8 * size - 1)) != 0) bits |= ~std::uint64_t{0} << (8 * size);
    if (!Signed(entry.type) && bits > static_cast<std::uint64_t>(INT64_MAX)) bits = INT64_MAX;
    value = static_cast<std::int64_t>(bits);
    return true;
}

std::uint32_t Directory::Single(std::uint16_t tag, std::uint32_t& value) const {
    const TagInfo* info = FindTag(tag);
    const Entry* entry = Find(tag);
    if (entry == nullptr) return TV_ERR_TAG_MISSING;
    if (info == nullptr || (info->lenient.types & TypeBit(entry->type)) == 0) return TV_ERR_TAG_TYPE;
    // libtiff reads BitsPerSample and Compression per sample, the first of
    // several values standing for a page of one sample.
    const bool perSample = tag == kBitsPerSample || tag == kCompression;
    if (entry->count != 1 && !(perSample && entry->count > 1)) return TV_ERR_TAG_COUNT;
    std::int64_t stored = 0;
    if (!Integer(*entry, 0, stored)) return TV_ERR_TAG_READ;
    if (stored < 0 || static_cast<std::uint64_t>(stored) > info->largest) return TV_ERR_TAG_VALUE;
    value = static_cast<std::uint32_t>(stored);
    return TV_OK;
}

bool Directory::ReadAt(std::uint64_t offset, void* dest, std::uint32_t bytes) const {
    const std::uint64_t size = source_->Size();
    if (offset > size || bytes > size - offset) return false;
    return source_->ReadAt(offset, dest, bytes) == bytes;
}

std::uint64_t Directory::SourceSize() const { return source_->Size(); }

std::uint32_t Document::Open(Source& source) {
    source_ = &source;
    pages_.clear();
    big_ = false;
    unsigned char header[kBigHeaderSize];
    if (source.ReadAt(0, header, kHeaderSize) < kHeaderSize) return TV_ERR_HEADER_SHORT;
    if (header[0] == 'I' && header[1] == 'I') {
        little_ = true;
    } else if (header[0] == 'M' && header[1] == 'M') {
        little_ = false;
    } else {
        return TV_ERR_BYTE_ORDER;
    }
    Directory raw(source, little_);
    const std::uint32_t version = raw.U16(header + 2);
    std::uint64_t offset = 0;
    if (version == kClassicVersion) {
        offset = raw.U32(header + 4);
    } else if (version == kBigVersion) {
        // Offsets are 8 bytes, and the header says so; libtiff reads no other size.
        if (raw.U16(header + 4) != 8 || raw.U16(header + 6) != 0) return TV_ERR_MAGIC;
        if (source.ReadAt(kHeaderSize, header + kHeaderSize, 8) < 8) return TV_ERR_HEADER_SHORT;
        big_ = true;
        raw = Directory(source, little_, true);
        offset = raw.U64(header + kHeaderSize);
    } else {
        return TV_ERR_MAGIC;
    }
    if (offset == 0) return TV_ERR_IFD_OFFSET_ZERO;
    if (offset > kLargestClassicPosition && offset >= source.Size()) return TV_ERR_FILE_SHORT;
    const std::uint32_t countSize = big_ ? 8 : 2;
    const std::uint32_t entrySize = big_ ? kBigEntrySize : kEntrySize;
    const std::uint32_t linkSize = big_ ? 8 : 4;
    std::unordered_set<std::uint64_t> visited;
    try {
        while (offset != 0 && pages_.size() < kMaxPages && visited.insert(offset).second) {
            unsigned char bytes[8];
            const std::uint64_t count = offset <= UINT64_MAX - countSize && source.ReadAt(offset, bytes, countSize) == countSize
                                            ? (big_ ? raw.U64(bytes) : raw.U16(bytes))
                                            : UINT64_MAX;
            if (count > kMaxEntries) {
                if (pages_.empty()) return TV_ERR_IFD_COUNT_READ;
                break;
            }
            pages_.push_back(Place{offset, static_cast<std::uint32_t>(count)});
            const std::uint64_t entries = countSize + entrySize * count;
            if (offset > UINT64_MAX - entries - linkSize) break;
            const std::uint64_t next = offset + entries;
            if (source.ReadAt(next, bytes, linkSize) < linkSize) break;
            offset = big_ ? raw.U64(bytes) : raw.U32(bytes);
        }
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    return TV_OK;
}

std::uint32_t Document::ReadDirectory(std::uint32_t index, Directory& directory) const {
    directory = Directory(*source_, little_, big_);
    if (index >= pages_.size()) return TV_ERR_PAGE_MISSING;
    const Place& place = pages_[index];
    const std::uint32_t entrySize = big_ ? kBigEntrySize : kEntrySize;
    const std::uint32_t bytes = place.entries * entrySize;
    std::vector<unsigned char> raw;
    try {
        raw.resize(bytes);
        if (source_->ReadAt(place.offset + (big_ ? 8 : 2), raw.data(), bytes) < bytes) return TV_ERR_IFD_READ;
        directory.entries.resize(place.entries);
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    for (std::uint32_t i = 0; i < place.entries; ++i) {
        const unsigned char* p = raw.data() + std::size_t{i} * entrySize;
        Entry& entry = directory.entries[i];
        entry.tag = static_cast<std::uint16_t>(directory.U16(p));
        entry.type = static_cast<std::uint16_t>(directory.U16(p + 2));
        entry.count = big_ ? directory.U64(p + 4) : directory.U32(p + 4);
        const unsigned char* field = p + (big_ ? 12 : 8);
        for (std::uint32_t k = 0; k < directory.FieldSize(); ++k) entry.value[k] = field[k];
    }
    return TV_OK;
}

PageSummary Document::Summarize(std::uint32_t index) const {
    PageSummary summary;
    Directory directory(*source_, little_, big_);
    summary.status = ReadDirectory(index, directory);
    if (summary.status != TV_OK) return summary;
    // Values as the page reader takes them: an unreadable one is left at its default.
    auto value = [&](TagNumber tag, std::uint32_t& into) {
        std::uint32_t v = 0;
        if (directory.Single(tag, v) == TV_OK) into = v;
    };
    summary.compression = Tag(kCompression).fallback;
    value(kImageWidth, summary.width);
    value(kImageLength, summary.length);
    value(kBitsPerSample, summary.bitsPerSample);
    value(kSamplesPerPixel, summary.samplesPerPixel);
    value(kCompression, summary.compression);
    summary.photometricAssumed = directory.Single(kPhotometric, summary.photometric) != TV_OK;
    if (summary.photometricAssumed) summary.photometric = AssumedPhotometric(summary.compression);
    summary.tiled = directory.Find(kTileWidth) != nullptr || directory.Find(kTileLength) != nullptr;
    return summary;
}

}  // namespace tvcore
