// A small TIFF or BigTIFF writer whose every tag is written with the field
// type the caller names: the integer types TIFF 6.0 lists, the signed ones,
// and BigTIFF's LONG8, SLONG8 and IFD8 (also inside classic files, where
// readers meet them too). Header-only, so that the fuzz targets share it.
// Layout: header, data blocks in the order added, then each directory
// followed by the values that do not fit in its entries; tags sorted.
#ifndef TIFFVIEW_TESTS_TYPEDTIFF_H
#define TIFFVIEW_TESTS_TYPEDTIFF_H

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tvtest {

class TypedTiff {
public:
    TypedTiff(bool bigEndian, bool bigTiff) : big_(bigEndian), bigTiff_(bigTiff) {}

    // Size in bytes of one value of `type`; 0 for types this writer does not write.
    static std::uint32_t TypeSize(std::uint16_t type) {
        switch (type) {
        case 1: case 6: case 7: return 1;      // BYTE, SBYTE, UNDEFINED
        case 3: case 8: return 2;              // SHORT, SSHORT
        case 4: case 9: case 13: return 4;     // LONG, SLONG, IFD
        case 16: case 17: case 18: return 8;   // LONG8, SLONG8, IFD8
        default: return 0;
        }
    }

    std::uint32_t HeaderSize() const { return bigTiff_ ? 16 : 8; }

    // Appends a data block (a strip or tile) and returns its file offset.
    std::uint64_t Data(const std::vector<std::uint8_t>& bytes) {
        const std::uint64_t at = HeaderSize() + data_.size();
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return at;
    }

    void NewPage() { pages_.emplace_back(); }

    // A tag with `values`, each written as `type` (truncated to its size).
    void Tag(std::uint16_t tag, std::uint16_t type, const std::vector<std::int64_t>& values) {
        if (pages_.empty()) NewPage();
        pages_.back().push_back(Field{tag, type, values.size(), values, false, 0});
    }
    // An entry written exactly as given: count and the value field (an
    // offset or the values themselves), whatever they point at.
    void RawTag(std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::uint64_t field) {
        if (pages_.empty()) NewPage();
        pages_.back().push_back(Field{tag, type, count, {}, true, field});
    }
    void Remove(std::uint16_t tag) {
        if (pages_.empty()) return;
        auto& page = pages_.back();
        page.erase(std::remove_if(page.begin(), page.end(), [tag](const Field& f) { return f.tag == tag; }),
                   page.end());
    }

    std::vector<std::uint8_t> Build() const {
        std::vector<std::uint8_t> out(HeaderSize(), 0);
        out[0] = out[1] = big_ ? 'M' : 'I';
        Put(out, 2, bigTiff_ ? 43 : 42, 2);
        if (bigTiff_) Put(out, 4, 8, 2);
        out.insert(out.end(), data_.begin(), data_.end());
        const std::uint32_t word = bigTiff_ ? 8 : 4;
        std::size_t link = bigTiff_ ? 8 : 4;  // where the next directory's offset goes
        for (const auto& unsorted : pages_) {
            auto page = unsorted;
            std::stable_sort(page.begin(), page.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
            if (out.size() % 2) out.push_back(0);
            Put(out, link, out.size(), word);
            const std::size_t dir = out.size();
            const std::size_t entry = bigTiff_ ? 20 : 12;
            const std::uint32_t countSize = bigTiff_ ? 8 : 2;
            out.resize(dir + countSize + page.size() * entry + word, 0);
            Put(out, dir, page.size(), countSize);
            link = out.size() - word;
            for (std::size_t i = 0; i < page.size(); ++i) {
                const Field& f = page[i];
                const std::size_t at = dir + countSize + i * entry;
                Put(out, at, f.tag, 2);
                Put(out, at + 2, f.type, 2);
                Put(out, at + 4, f.count, word);
                const std::size_t field = at + 4 + word;
                if (f.raw) {
                    Put(out, field, f.field, word);
                    continue;
                }
                const std::uint32_t size = TypeSize(f.type);
                std::size_t valuesAt = field;
                if (size * f.values.size() > word) {
                    if (out.size() % 2) out.push_back(0);
                    valuesAt = out.size();
                    Put(out, field, valuesAt, word);
                    out.resize(out.size() + size * f.values.size(), 0);
                }
                for (std::size_t v = 0; v < f.values.size(); ++v) {
                    Put(out, valuesAt + v * size, static_cast<std::uint64_t>(f.values[v]), size);
                }
            }
        }
        return out;
    }

private:
    struct Field {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint64_t count;
        std::vector<std::int64_t> values;
        bool raw;
        std::uint64_t field;
    };

    void Put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, std::uint32_t size) const {
        for (std::uint32_t i = 0; i < size; ++i) {
            const std::uint32_t shift = 8 * (big_ ? size - 1 - i : i);
            out[at + i] = static_cast<std::uint8_t>(value >> shift);
        }
    }

    bool big_;
    bool bigTiff_;
    std::vector<std::uint8_t> data_;
    std::vector<std::vector<Field>> pages_;
};

}  // namespace tvtest

#endif
