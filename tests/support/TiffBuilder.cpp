#include "support/TiffBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tvtest {

void TiffBuilder::PutU16(std::uint8_t* p, std::uint16_t v) const {
    if (big_) {
        p[0] = static_cast<std::uint8_t>(v >> 8);
        p[1] = static_cast<std::uint8_t>(v);
    } else {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
}

void TiffBuilder::PutU32(std::uint8_t* p, std::uint32_t v) const {
    for (int i = 0; i < 4; ++i) {
        const int shift = big_ ? 24 - 8 * i : 8 * i;
        p[i] = static_cast<std::uint8_t>(v >> shift);
    }
}

std::uint32_t TiffBuilder::Append(const Bytes& bytes) {
    const auto offset = static_cast<std::uint32_t>(8 + data_.size());
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return offset;
}

std::uint32_t TiffBuilder::AppendLongs(const std::vector<std::uint32_t>& values) {
    Bytes bytes(values.size() * 4);
    for (std::size_t i = 0; i < values.size(); ++i) PutU32(&bytes[i * 4], values[i]);
    return Append(bytes);
}

std::uint32_t TiffBuilder::AppendShorts(const std::vector<std::uint16_t>& values) {
    Bytes bytes(values.size() * 2);
    for (std::size_t i = 0; i < values.size(); ++i) PutU16(&bytes[i * 2], values[i]);
    return Append(bytes);
}

std::uint32_t TiffBuilder::AppendRational(std::uint32_t numerator, std::uint32_t denominator) {
    return AppendLongs({numerator, denominator});
}

void TiffBuilder::AddShort(std::uint16_t tag, std::uint16_t value) {
    Entry e{tag, kShort, 1, {0, 0, 0, 0}};
    PutU16(e.value, value);
    if (dirs_.empty()) NewDirectory();
    dirs_.back().push_back(e);
}

void TiffBuilder::AddLong(std::uint16_t tag, std::uint32_t value) { AddEntry(tag, kLong, 1, value); }

void TiffBuilder::AddEntry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t field) {
    Entry e{tag, type, count, {0, 0, 0, 0}};
    PutU32(e.value, field);
    if (dirs_.empty()) NewDirectory();
    dirs_.back().push_back(e);
}

Entry* TiffBuilder::Find(std::uint16_t tag) {
    if (dirs_.empty()) return nullptr;
    for (Entry& e : dirs_.back()) {
        if (e.tag == tag) return &e;
    }
    return nullptr;
}

void TiffBuilder::Remove(std::uint16_t tag) {
    if (dirs_.empty()) return;
    auto& dir = dirs_.back();
    for (auto it = dir.begin(); it != dir.end(); ++it) {
        if (it->tag == tag) {
            dir.erase(it);
            return;
        }
    }
}

std::uint32_t TiffBuilder::DirectoryOffset(std::size_t index) const {
    std::uint32_t offset = static_cast<std::uint32_t>(8 + data_.size());
    for (std::size_t i = 0; i < index; ++i) offset += static_cast<std::uint32_t>(2 + 12 * dirs_[i].size() + 4);
    return offset;
}

Bytes TiffBuilder::Build() const {
    // Sized up front and filled in place (GCC 12 misreads growing inserts).
    Bytes out(DirectoryOffset(dirs_.size()));
    out[0] = out[1] = big_ ? 'M' : 'I';
    PutU16(&out[2], magic_);
    PutU32(&out[4], hasFirstOffset_ ? firstOffset_ : (dirs_.empty() ? 0 : DirectoryOffset(0)));
    std::copy(data_.begin(), data_.end(), out.begin() + 8);
    std::size_t at = 8 + data_.size();
    for (std::size_t d = 0; d < dirs_.size(); ++d) {
        const auto& dir = dirs_[d];
        PutU16(&out[at], static_cast<std::uint16_t>(dir.size()));
        at += 2;
        for (const Entry& e : dir) {
            PutU16(&out[at], e.tag);
            PutU16(&out[at + 2], e.type);
            PutU32(&out[at + 4], e.count);
            std::copy(e.value, e.value + 4, out.begin() + static_cast<std::ptrdiff_t>(at + 8));
            at += 12;
        }
        PutU32(&out[at], d + 1 < dirs_.size() ? DirectoryOffset(d + 1) : lastNext_);
        at += 4;
    }
    return out;
}

TiffBuilder MakeBilevel(const BilevelLayout& layout) {
    TiffBuilder b(layout.bigEndian);
    std::vector<std::uint32_t> offsets, counts;
    for (const Bytes& strip : layout.strips) {
        offsets.push_back(b.Append(strip));
        counts.push_back(static_cast<std::uint32_t>(strip.size()));
    }
    const std::uint32_t xres = b.AppendRational(layout.xNumerator, layout.xDenominator);
    const std::uint32_t yres = b.AppendRational(layout.yNumerator, layout.yDenominator);
    std::uint32_t offsetsField = offsets.empty() ? 0 : offsets[0];
    std::uint32_t countsField = counts.empty() ? 0 : counts[0];
    if (layout.strips.size() > 1) {
        offsetsField = b.AppendLongs(offsets);
        countsField = b.AppendLongs(counts);
    }
    b.NewDirectory();
    b.AddLong(256, layout.width);
    b.AddLong(257, layout.length);
    b.AddShort(258, 1);
    b.AddShort(259, layout.compression);
    b.AddShort(262, layout.photometric);
    b.AddEntry(273, kLong, static_cast<std::uint32_t>(layout.strips.size()), offsetsField);
    b.AddShort(277, 1);
    b.AddLong(278, layout.rowsPerStrip ? layout.rowsPerStrip : layout.length);
    b.AddEntry(279, kLong, static_cast<std::uint32_t>(layout.strips.size()), countsField);
    b.AddEntry(282, kRational, 1, xres);
    b.AddEntry(283, kRational, 1, yres);
    b.AddShort(296, 2);
    return b;
}

std::vector<Bytes> SplitRows(const std::vector<Bytes>& rows, std::uint32_t rowsPerStrip) {
    std::vector<Bytes> strips;
    for (std::size_t i = 0; i < rows.size(); i += rowsPerStrip) {
        Bytes strip;
        for (std::size_t r = i; r < rows.size() && r < i + rowsPerStrip; ++r) strip.insert(strip.end(), rows[r].begin(), rows[r].end());
        strips.push_back(strip);
    }
    return strips;
}

Bytes JoinRows(const std::vector<Bytes>& rows) {
    Bytes all;
    for (const Bytes& r : rows) all.insert(all.end(), r.begin(), r.end());
    return all;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tiffview-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = File(name);
    WriteFileBytes(path, bytes);
    return path;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace tvtest
