#include "DirectoryWalker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace tvtool {

namespace {

constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::size_t kMaxPooledEntries = 1u << 20;

struct RawEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint8_t value[4];
};

class InputFile {
public:
    explicit InputFile(const std::string& path) {
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) {
            error_ = std::strerror(errno);
            return;
        }
        struct stat st;
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            error_ = "not a regular file";
            ::close(fd_);
            fd_ = -1;
            return;
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~InputFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }
    std::uint64_t Size() const { return size_; }

    // Reads exactly `length` bytes at `offset`; false when any of them lies
    // outside the file or the read comes up short.
    bool ReadAt(std::uint64_t offset, void* dest, std::size_t length) const {
        if (offset > size_ || length > size_ - offset) return false;
        auto* out = static_cast<unsigned char*>(dest);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t got = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string error_;
};

class Walker {
public:
    Walker(const InputFile& file, bool big) : file_(file), big_(big) {}

    std::uint16_t U16(const std::uint8_t* p) const {
        return big_ ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
    }
    std::uint32_t U32(const std::uint8_t* p) const {
        if (big_)
            return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
                   static_cast<std::uint32_t>(p[2]) << 8 | p[3];
        return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
               static_cast<std::uint32_t>(p[1]) << 8 | p[0];
    }

    const RawEntry* Find(std::uint16_t tag) const {
        for (const RawEntry& e : entries_)
            if (e.tag == tag) return &e;
        return nullptr;
    }

    // A single SHORT or LONG value held in the entry itself.
    bool Single(std::uint16_t tag, std::uint32_t& value) const {
        const RawEntry* e = Find(tag);
        if (e == nullptr || e->count != 1) return false;
        if (e->type == kShort) {
            value = U16(e->value);
            return true;
        }
        if (e->type == kLong) {
            value = U32(e->value);
            return true;
        }
        return false;
    }

    // A SHORT or LONG array, from the entry or from the offset it holds.
    bool Array(std::uint16_t tag, std::vector<std::uint32_t>& values, std::uint16_t& type, std::string& problem) const {
        const RawEntry* e = Find(tag);
        if (e == nullptr) {
            problem = "no entry";
            return false;
        }
        if (e->type != kShort && e->type != kLong) {
            problem = "field type " + std::to_string(e->type) + " is neither SHORT nor LONG";
            return false;
        }
        if (e->count == 0) {
            problem = "count 0";
            return false;
        }
        if (e->count > kMaxStripEntries) {
            problem = "count " + std::to_string(e->count) + " is beyond what the tool reads";
            return false;
        }
        type = e->type;
        const std::size_t unit = e->type == kShort ? 2 : 4;
        const std::size_t bytes = unit * e->count;
        std::vector<std::uint8_t> raw(bytes);
        if (bytes <= 4) {
            std::memcpy(raw.data(), e->value, bytes);
        } else {
            const std::uint32_t offset = U32(e->value);
            if (!file_.ReadAt(offset, raw.data(), bytes)) {
                problem = "values at offset " + std::to_string(offset) + " lie beyond the end of the file";
                return false;
            }
        }
        values.resize(e->count);
        for (std::uint32_t i = 0; i < e->count; ++i)
            values[i] = unit == 2 ? U16(&raw[i * 2]) : U32(&raw[i * 4]);
        return true;
    }

    bool ReadChain(std::uint32_t first, DirectoryFacts& facts) {
        std::set<std::uint32_t> visited;
        std::uint32_t offset = first;
        while (offset != 0) {
            if (!visited.insert(offset).second) {
                facts.chainLoops = true;
                break;
            }
            if (facts.directories == kMaxDirectories) {
                facts.problem = "more than " + std::to_string(kMaxDirectories) + " directories";
                return false;
            }
            std::uint8_t countBytes[2];
            if (!file_.ReadAt(offset, countBytes, 2)) {
                facts.problem = "directory at offset " + std::to_string(offset) + " lies beyond the end of the file";
                return false;
            }
            const std::uint16_t count = U16(countBytes);
            // Directories may overlap one another, so the file size alone does
            // not bound the pooled entries.
            if (entries_.size() + count > kMaxPooledEntries) {
                facts.problem = "more than " + std::to_string(kMaxPooledEntries) + " directory entries";
                return false;
            }
            std::vector<std::uint8_t> raw(static_cast<std::size_t>(count) * 12 + 4);
            if (!file_.ReadAt(static_cast<std::uint64_t>(offset) + 2, raw.data(), raw.size())) {
                facts.problem = "directory at offset " + std::to_string(offset) + " is cut short by the end of the file";
                return false;
            }
            for (std::uint16_t i = 0; i < count; ++i) {
                const std::uint8_t* p = &raw[static_cast<std::size_t>(i) * 12];
                RawEntry e;
                e.tag = U16(p);
                e.type = U16(p + 2);
                e.count = U32(p + 4);
                std::memcpy(e.value, p + 8, 4);
                entries_.push_back(e);
            }
            ++facts.directories;
            offset = U32(&raw[static_cast<std::size_t>(count) * 12]);
        }
        return true;
    }

private:
    const InputFile& file_;
    bool big_;
    std::vector<RawEntry> entries_;
};

}  // namespace

DirectoryFacts WalkDirectories(const std::string& path) {
    DirectoryFacts facts;
    try {
        InputFile file(path);
        if (!file.IsOpen()) {
            facts.problem = "cannot open: " + file.Error();
            return facts;
        }
        std::uint8_t header[8];
        if (!file.ReadAt(0, header, 8)) {
            facts.problem = "shorter than a TIFF header";
            return facts;
        }
        if (header[0] == 'I' && header[1] == 'I') {
            facts.bigEndian = false;
        } else if (header[0] == 'M' && header[1] == 'M') {
            facts.bigEndian = true;
        } else {
            facts.problem = "no TIFF byte-order mark";
            return facts;
        }
        Walker walker(file, facts.bigEndian);
        if (walker.U16(header + 2) != 42) {
            facts.problem = "not a classic TIFF file (identifier is not 42)";
            return facts;
        }
        if (!walker.ReadChain(walker.U32(header + 4), facts)) return facts;
        facts.ok = true;

        facts.hasRowsPerStrip = walker.Single(278, facts.rowsPerStrip);
        facts.hasLength = walker.Single(257, facts.length);
        facts.hasResolutionUnit = walker.Single(296, facts.resolutionUnit);
        facts.hasFillOrder = walker.Single(266, facts.fillOrder);
        facts.hasT4Options = walker.Single(292, facts.t4Options);
        facts.hasT6Options = walker.Single(293, facts.t6Options);

        std::vector<std::uint32_t> offsets;
        std::vector<std::uint32_t> counts;
        std::string problem;
        if (!walker.Array(273, offsets, facts.offsetsType, problem)) {
            facts.stripProblem = "StripOffsets: " + problem;
            return facts;
        }
        if (!walker.Array(279, counts, facts.countsType, problem)) {
            facts.stripProblem = "StripByteCounts: " + problem;
            return facts;
        }
        if (offsets.size() != counts.size()) {
            facts.stripProblem = "StripOffsets has " + std::to_string(offsets.size()) + " entries, StripByteCounts " +
                                 std::to_string(counts.size());
            return facts;
        }
        // Rows per strip as a reader sees them: the last strip holds what is
        // left; the TIFF default of 2^32 - 1 (or anything too large) means one
        // strip for the whole image.
        const std::uint64_t length = facts.hasLength ? facts.length : 0;
        std::uint64_t perStrip = facts.hasRowsPerStrip && facts.rowsPerStrip != 0 ? facts.rowsPerStrip : length;
        if (perStrip > length) perStrip = length;
        facts.strips.resize(offsets.size());
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            const std::uint64_t start = perStrip * i;
            const std::uint64_t rows = start >= length ? 0 : (length - start < perStrip ? length - start : perStrip);
            facts.strips[i] = StripEntry{offsets[i], counts[i], static_cast<std::uint32_t>(rows)};
        }
        facts.hasStrips = true;
    } catch (const std::exception&) {
        facts.ok = false;
        facts.problem = "out of memory";
    }
    return facts;
}

}  // namespace tvtool
