#include "core/TagValues.h"

#include <cstring>
#include <new>

#include "TiffViewCodes.h"
#include "core/Document.h"
#include "core/Tags.h"

namespace tvcore {

namespace {

// Values are read through Directory::Integer alone, which knows where an
// entry keeps its values (in the entry or at its offset). Wider values are
// read as the same bytes seen as more, narrower integers: a RATIONAL as two
// LONGs, a DOUBLE as two LONGs, text as BYTEs. The bytes stay the same, so
// the entry's values stay where they are.
struct View {
    Entry entry;
    std::uint32_t perValue;  // integers of the view per value
};

bool MakeView(const Entry& entry, std::uint16_t type, std::uint32_t perValue, View& view) {
    if (entry.count > UINT64_MAX / perValue) return false;
    view.entry = entry;
    view.entry.type = type;
    view.entry.count = entry.count * perValue;
    view.perValue = perValue;
    return true;
}

// The FLOAT or DOUBLE whose IEEE bits these are.
double FromBits(std::uint64_t bits, bool single) {
    if (single) {
        const std::uint32_t narrow = static_cast<std::uint32_t>(bits);
        float f;
        std::memcpy(&f, &narrow, sizeof f);
        return f;
    }
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void ReadValues(const Directory& directory, bool littleEndian, const Entry& entry, std::uint32_t maxValues,
                TagValue& out) {
    const std::uint64_t wanted = entry.count < maxValues ? entry.count : maxValues;
    out.complete = wanted == entry.count;
    View view{};
    std::int64_t bits = 0;
    switch (entry.type) {
    case kTypeAscii:
    case kTypeUndefined:
        if (!MakeView(entry, kTypeByte, 1, view)) break;
        for (std::uint64_t i = 0; i < wanted; ++i) {
            if (!directory.Integer(view.entry, i, bits)) {
                out.complete = false;
                return;
            }
            if (entry.type == kTypeAscii) {
                if (bits == 0) return;  // the text ends at its NUL
                out.text += static_cast<char>(static_cast<unsigned char>(bits));
            } else {
                out.integers.push_back(bits);
            }
        }
        return;
    case kTypeByte:
    case kTypeSByte:
    case kTypeShort:
    case kTypeSShort:
    case kTypeLong:
    case kTypeSLong:
    case kTypeIfd:
    case kTypeLong8:
    case kTypeSLong8:
    case kTypeIfd8:
        for (std::uint64_t i = 0; i < wanted; ++i) {
            if (!directory.Integer(entry, i, bits)) {
                out.complete = false;
                return;
            }
            out.integers.push_back(bits);
        }
        return;
    case kTypeRational:
    case kTypeSRational:
        if (!MakeView(entry, entry.type == kTypeRational ? kTypeLong : kTypeSLong, 2, view)) break;
        for (std::uint64_t i = 0; i < wanted; ++i) {
            std::int64_t numerator = 0;
            std::int64_t denominator = 0;
            if (!directory.Integer(view.entry, 2 * i, numerator) ||
                !directory.Integer(view.entry, 2 * i + 1, denominator)) {
                out.complete = false;
                return;
            }
            // The view's LONGs or SLONGs come signed as the rational is.
            const double n = static_cast<double>(numerator);
            const double d = static_cast<double>(denominator);
            out.reals.push_back(d == 0 ? 0.0 : n / d);
        }
        return;
    case kTypeFloat:
    case kTypeDouble: {
        const bool single = entry.type == kTypeFloat;
        if (!MakeView(entry, kTypeLong, single ? 1 : 2, view)) break;
        for (std::uint64_t i = 0; i < wanted; ++i) {
            std::int64_t first = 0;
            std::int64_t second = 0;
            if (!directory.Integer(view.entry, view.perValue * i, first) ||
                (!single && !directory.Integer(view.entry, 2 * i + 1, second))) {
                out.complete = false;
                return;
            }
            // The two LONGs of a DOUBLE come in the file's byte order:
            // little-endian files store the low word first.
            const std::uint64_t high = static_cast<std::uint64_t>(littleEndian ? second : first);
            const std::uint64_t low = static_cast<std::uint64_t>(littleEndian ? first : second);
            out.reals.push_back(FromBits(single ? static_cast<std::uint64_t>(first) : (high << 32 | low), single));
        }
        return;
    }
    default:
        break;
    }
    // A type with no values this listing reads, or too many to address.
    out.complete = entry.count == 0;
}

}  // namespace

std::uint32_t ReadTagValues(const Document& document, std::uint32_t index, std::uint32_t maxValues,
                            std::vector<TagValue>& values) {
    values.clear();
    Directory directory(document.GetSource(), document.LittleEndian(), document.BigTiff());
    const std::uint32_t status = document.ReadDirectory(index, directory);
    if (status != TV_OK) return status;
    try {
        values.reserve(directory.entries.size());
        for (const Entry& entry : directory.entries) {
            TagValue value;
            value.tag = entry.tag;
            value.type = entry.type;
            value.count = entry.count;
            ReadValues(directory, document.LittleEndian(), entry, maxValues, value);
            values.push_back(std::move(value));
        }
    } catch (const std::bad_alloc&) {
        values.clear();
        return TV_ERR_NO_MEMORY;
    }
    return TV_OK;
}

}  // namespace tvcore
