// A tiny TIFF writer for tests: exact control over every byte of the header,
// the directories and the strips, including malformed ones.
#ifndef TIFFVIEW_TESTS_TIFFBUILDER_H
#define TIFFVIEW_TESTS_TIFFBUILDER_H

#include <cstdint>
#include <string>
#include <vector>

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

enum FieldType : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint8_t value[4];  // in file byte order
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : big_(bigEndian) {}

    bool BigEndian() const { return big_; }

    // Data blocks go right after the header, in the order appended; each
    // call returns the block's file offset.
    std::uint32_t Append(const Bytes& bytes);
    std::uint32_t AppendLongs(const std::vector<std::uint32_t>& values);
    std::uint32_t AppendShorts(const std::vector<std::uint16_t>& values);
    std::uint32_t AppendRational(std::uint32_t numerator, std::uint32_t denominator);

    // Directories are written after the data, chained in order.
    void NewDirectory() { dirs_.emplace_back(); }
    void AddShort(std::uint16_t tag, std::uint16_t value);
    void AddLong(std::uint16_t tag, std::uint32_t value);
    // An entry whose value field holds an offset (or any raw 32-bit number).
    void AddEntry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t field);
    // The entry with `tag` in the current directory, or null.
    Entry* Find(std::uint16_t tag);
    void Remove(std::uint16_t tag);

    // Overrides, for malformed files.
    void SetFirstOffset(std::uint32_t offset) { firstOffset_ = offset; hasFirstOffset_ = true; }
    void SetMagic(std::uint16_t magic) { magic_ = magic; }
    // The last directory's next-offset (0 by default).
    void SetLastNext(std::uint32_t offset) { lastNext_ = offset; }

    Bytes Build() const;
    // Offset at which directory `index` will be written by Build().
    std::uint32_t DirectoryOffset(std::size_t index) const;

    void PutU16(std::uint8_t* p, std::uint16_t v) const;
    void PutU32(std::uint8_t* p, std::uint32_t v) const;

private:
    bool big_;
    Bytes data_;
    std::vector<std::vector<Entry>> dirs_;
    std::uint16_t magic_ = 42;
    std::uint32_t firstOffset_ = 0;
    bool hasFirstOffset_ = false;
    std::uint32_t lastNext_ = 0;
};

// A bi-level image as our reader wants it: packed strips plus the tags.
struct BilevelLayout {
    std::uint32_t width = 8;
    std::uint32_t length = 1;
    std::uint32_t rowsPerStrip = 0;  // 0: all rows in one strip
    std::uint16_t compression = 1;
    std::uint16_t photometric = 0;
    std::vector<Bytes> strips;       // stored strip bytes
    bool bigEndian = false;
    std::uint32_t xNumerator = 204, xDenominator = 1;
    std::uint32_t yNumerator = 196, yDenominator = 1;
};

// Fills a builder with one directory describing `layout` (tags in ascending
// order, strip tables as LONG). Tests then edit entries before Build().
TiffBuilder MakeBilevel(const BilevelLayout& layout);

// Splits packed rows into strips of `rowsPerStrip` rows each.
std::vector<Bytes> SplitRows(const std::vector<Bytes>& rows, std::uint32_t rowsPerStrip);
// Concatenates all rows.
Bytes JoinRows(const std::vector<Bytes>& rows);

// A fresh temporary directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const;

private:
    std::string path_;
};

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

}  // namespace tvtest

#endif
