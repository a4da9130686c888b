// The whole reader on an arbitrary file image: parse, open, read every line,
// close; then read the same file again through a copy of the reader and
// demand the same lines and results.
//
// Invariants checked:
// - every result code is one the reader can produce at that step, with
//   context bits only where a tag number or strip index belongs;
// - the image description of an accepted file is one the reader accepts;
// - ReadALine never writes beyond LineByte (guard region behind the line);
// - a call that delivers no line is repeated by every later call, and after
//   Length lines the reader reports the end of the image;
// - reading is deterministic: a second pass, through a copy of the reader
//   that reads the file through a mapping (TV_OPTION_MAP_FILE), yields
//   identical bytes.
//
// The same file is then read with TV_OPTION_ANY_BILEVEL, page by page (the
// first few pages), under the same invariants but the uncompressed model,
// and each page once more from memory through tiffview::Reader's bulk read,
// which must deliver the same lines with the same codes.
//
// Images whose decoded size exceeds a few MB are parsed but not read, only to
// keep runs fast; the library itself checks them like any other.
#ifndef TIFFVIEW_FUZZ_FUZZREADER_H
#define TIFFVIEW_FUZZ_FUZZREADER_H
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "TiffView.h"
#include "TiffViewReader.hpp"
#include "core/Compressions.h"
#include "support/ReaderAccess.h"

namespace tvfuzz {
namespace reader_detail {

constexpr std::uint64_t kMaxDecodedBytes = 4u << 20;

inline bool KnownParseFailure(std::uint32_t code) {
    if ((code >> 24) != 0xF0) return false;
    const std::uint32_t kind = code & 0xFFu;
    const std::uint32_t context = (code >> 8) & 0xFFFFu;
    if (kind >= 0x30 && kind <= 0x35) {
        switch (context) {
        case Tag_ImageWidth: case Tag_ImageLength: case Tag_BitsPerSample: case Tag_Compression:
        case Tag_PhotometricInterpretation: case Tag_FillOrder: case Tag_StripOffsets:
        case Tag_SamplesPerPixel: case Tag_RowsPerStrip: case Tag_StripByteCounts: case Tag_XResolution:
        case Tag_YResolution: case Tag_PlanarConfiguration: case Tag_T4Options: case Tag_T6Options:
        case Tag_ResolutionUnit: case Tag_Predictor: case Tag_TileWidth: case Tag_TileLength:
        case Tag_TileOffsets: case Tag_TileByteCounts: case 320:
            return true;
        default:
            return false;
        }
    }
    if (context != 0) return false;
    switch (code) {
    case TV_ERR_FILE_OPEN: case TV_ERR_HEADER_SHORT: case TV_ERR_BYTE_ORDER: case TV_ERR_MAGIC:
    case TV_ERR_IFD_OFFSET_ZERO: case TV_ERR_FILE_SHORT: case TV_ERR_IFD_COUNT_READ: case TV_ERR_IFD_READ:
    case TV_ERR_SAMPLES_PER_PIXEL: case TV_ERR_BITS_PER_SAMPLE: case TV_ERR_COMPRESSION: case TV_ERR_PHOTOMETRIC:
    case TV_ERR_NO_MEMORY: case TV_ERR_PAGE_MISSING:
        return true;
    default:
        return false;
    }
}

// Strip failures carry the strip index (any 16-bit value) in bits 8..23.
inline bool StripFailure(std::uint32_t code) {
    const std::uint32_t kind = code & TV_CODE_MASK;
    return kind == TV_ERR_STRIP_SEEK || kind == TV_ERR_STRIP_READ;
}

inline bool LineDelivered(std::uint32_t code) {
    return code == TV_OK || TiffView_IsWarning(code);
}

struct Pass {
    std::uint32_t openResult = 0;
    std::uint64_t hash = 1469598103934665603ull;
    std::uint32_t lines = 0;
    void Mix(const std::uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
    }
    void Mix(std::uint32_t v) {
        std::uint8_t b[4];
        std::memcpy(b, &v, 4);
        Mix(b, 4);
    }
};

// What an uncompressed image must deliver, straight from the file's bytes:
// its strips joined into one run of lines, inverted for BlackIsZero; a line
// the strips do not fill is zero-filled at its end (not inverted) and
// reported short. Known only when every strip lies inside the file.
struct Uncompressed {
    bool known = false;
    std::vector<std::uint8_t> stream;
    bool invert = false;

    Uncompressed() = default;
    Uncompressed(CTiffView& parsed, const TiffInfo_t& info, const std::uint8_t* data, std::size_t size) {
        if (info.Compression != 1) return;
        const CTiffViewTestAccess::State state = CTiffViewTestAccess::Snapshot(parsed);
        for (std::size_t i = 0; i < state.StripOffsets.size() && i < state.StripByteCounts.size(); ++i) {
            const std::uint64_t offset = state.StripOffsets[i], count = state.StripByteCounts[i];
            if (offset >= 0x80000000u || offset + count > size) return;
            stream.insert(stream.end(), data + offset, data + offset + count);
        }
        known = state.StripOffsets.size() == state.StripsPerImage;
        invert = info.PhotometricInterpretation == 1;
    }

    void Check(std::uint32_t y, std::size_t lineBytes, const std::uint8_t* line, std::uint32_t code) const {
        const std::uint64_t start = std::uint64_t{y} * lineBytes;
        std::size_t full = 0;
        for (std::size_t k = 0; k < lineBytes; ++k) {
            std::uint8_t want = 0;
            if (start + k < stream.size()) {
                want = invert ? static_cast<std::uint8_t>(~stream[start + k]) : stream[start + k];
                ++full;
            }
            FUZZ_CHECK(line[k] == want, "uncompressed line %u byte %zu is %02X, the file says %02X", y, k, line[k], want);
        }
        const std::uint32_t expected = full == lineBytes ? TV_OK : TV_ERR_LINE_SHORT;
        FUZZ_CHECK(code == expected, "uncompressed line %u (%zu of %zu bytes in the file) returned 0x%08X", y, full,
                   lineBytes, code);
    }
};

inline Pass ReadAll(CTiffView& view, const char* name, const TiffInfo_t& info, const Uncompressed& plain) {
    Pass pass;
    pass.openResult = view.OpenFile(name);
    if (pass.openResult != TV_OK) {
        FUZZ_CHECK(pass.openResult == TV_ERR_NO_MEMORY || StripFailure(pass.openResult),
                   "OpenFile after a successful parse returned 0x%08X", pass.openResult);
        // Nothing may be read from a reader whose opening failed.
        std::uint8_t probe[16];
        const std::uint32_t r = view.ReadALine(probe);
        FUZZ_CHECK(r == TV_ERR_FILE_HANDLE, "ReadALine after a failed OpenFile returned 0x%08X", r);
        view.CloseFile();
        return pass;
    }
    TiffInfo_t again;
    view.GetImageInfo(&again);
    FUZZ_CHECK(std::memcmp(&again, &info, sizeof info) == 0, "OpenFile describes the image differently than ParseFile");

    const std::size_t lineBytes = (static_cast<std::size_t>(info.Width) + 7) / 8;
    tvfuzz::GuardedLine line(lineBytes);
    std::uint32_t stop = TV_OK;
    for (std::uint32_t y = 0; y < info.Length; ++y) {
        line.Poison();
        const std::uint32_t r = view.ReadALine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "ReadALine wrote beyond LineByte %zu on line %u", lineBytes, y);
        pass.Mix(r);
        if (!LineDelivered(r)) {
            FUZZ_CHECK(r == TV_ERR_DECODE || StripFailure(r), "ReadALine returned 0x%08X on line %u", r, y);
            FUZZ_CHECK(!plain.known, "uncompressed line %u inside the file returned 0x%08X", y, r);
            stop = r;
            break;
        }
        if (plain.known) plain.Check(y, lineBytes, line.Data(), r);
        pass.Mix(line.Data(), lineBytes);
        ++pass.lines;
    }
    const std::uint32_t after = view.ReadALine(line.Data());
    FUZZ_CHECK(line.GuardIntact(), "ReadALine wrote beyond LineByte after the image");
    if (stop != TV_OK) {
        FUZZ_CHECK(after == stop, "after 0x%08X the next ReadALine returned 0x%08X", stop, after);
    } else {
        FUZZ_CHECK(after == TV_ERR_END_OF_IMAGE, "ReadALine after %u lines returned 0x%08X", info.Length, after);
    }
    view.CloseFile();
    const std::uint32_t closed = view.ReadALine(line.Data());
    FUZZ_CHECK(closed == TV_ERR_FILE_HANDLE, "ReadALine after CloseFile returned 0x%08X", closed);
    return pass;
}

// The page read whole, from memory, with the bulk call: the codes of its
// lines come from the damage list, the error that stopped it from the call.
inline Pass ReadBulk(const std::uint8_t* data, std::size_t size, std::uint32_t page, const TiffInfo_t& info) {
    Pass pass;
    tiffview::Reader reader;
    const tiffview::Result opened = reader.open(data, size, tiffview::Options().page(page));
    pass.openResult = opened.code();
    if (!opened) return pass;
    const std::size_t lineBytes = (static_cast<std::size_t>(info.Width) + 7) / 8;
    std::vector<std::uint8_t> image(lineBytes * info.Length + 1, 0xA5);
    const tiffview::Result read = reader.read_page(image.data(), image.size() - 1, static_cast<std::ptrdiff_t>(lineBytes));
    FUZZ_CHECK(image.back() == 0xA5, "the bulk read wrote beyond the page");
    std::vector<std::uint32_t> codes(reader.line_index(), TV_OK);
    for (const tiffview::Damage& d : reader.damage()) {
        FUZZ_CHECK(d.line_count > 0 && std::uint64_t{d.first_line} + d.line_count <= codes.size(),
                   "damage %u+%u beyond the %zu lines read", d.first_line, d.line_count, codes.size());
        for (std::uint32_t i = 0; i < d.line_count; ++i) codes[d.first_line + i] = d.code;
    }
    for (std::uint32_t y = 0; y < codes.size(); ++y) {
        pass.Mix(codes[y]);
        pass.Mix(image.data() + std::size_t{y} * lineBytes, lineBytes);
        ++pass.lines;
    }
    if (read.is_error()) pass.Mix(read.code());
    return pass;
}

}  // namespace reader_detail

// Pages of the file read with TV_OPTION_ANY_BILEVEL.
inline void RunPageReader(tvfuzz::MemFile& file, const std::uint8_t* data, std::size_t size) {
    using namespace reader_detail;
    constexpr std::uint32_t kMaxPagesRead = 4;
    for (std::uint32_t page = 0; page < kMaxPagesRead; ++page) {
        CTiffView view;
        view.SetOptions(TV_OPTION_ANY_BILEVEL);
        view.SelectPage(page);
        const std::uint32_t parsed = view.ParseFile(file.Path(), 0);
        if (parsed != TV_OK) {
            FUZZ_CHECK(KnownParseFailure(parsed), "page %u: ParseFile returned 0x%08X", page, parsed);
            FUZZ_CHECK(view.GetPageCount() == 0, "page %u: a failed parse counts pages", page);
            return;
        }
        FUZZ_CHECK(view.GetPageCount() > page, "page %u parsed of %u pages", page, view.GetPageCount());
        TiffInfo_t info;
        view.GetImageInfo(&info);
        FUZZ_CHECK(info.Width > 0 && info.Length > 0, "accepted an empty page %ux%u", info.Width, info.Length);
        FUZZ_CHECK(tvcore::CompressionReadable(info.Compression), "accepted Compression %u", info.Compression);
        FUZZ_CHECK(info.PhotometricInterpretation <= 1 || info.PhotometricInterpretation == 3,
                   "accepted PhotometricInterpretation %u", info.PhotometricInterpretation);
        const std::uint64_t lineBytes = (std::uint64_t{info.Width} + 7) / 8;
        if (lineBytes * info.Length > kMaxDecodedBytes) continue;
        const Uncompressed unknown;
        const Pass first = ReadAll(view, file.Path(), info, unknown);
        CTiffView copy(view);
        copy.SetOptions(TV_OPTION_ANY_BILEVEL | TV_OPTION_MAP_FILE);
        const Pass second = ReadAll(copy, nullptr, info, unknown);
        FUZZ_CHECK(first.openResult == second.openResult && first.lines == second.lines && first.hash == second.hash,
                   "page %u: two readings differ", page);
        const Pass bulk = ReadBulk(data, size, page, info);
        FUZZ_CHECK(bulk.openResult == first.openResult && bulk.lines == first.lines && bulk.hash == first.hash,
                   "page %u: the bulk read (0x%08X, %u lines) differs from the line reads (0x%08X, %u lines)", page,
                   bulk.openResult, bulk.lines, first.openResult, first.lines);
        if (page + 1 >= view.GetPageCount()) return;
    }
}

// One input through the target, in the strict profile and then page by
// page with TV_OPTION_ANY_BILEVEL; a broken invariant goes to tvfuzz::Fail.
// sweepLogs removes the state logs written beside the executable afterwards.
inline void RunStrictReader(tvfuzz::MemFile& file, const std::uint8_t* data, std::size_t size);

inline void RunReader(const std::uint8_t* data, std::size_t size, bool sweepLogs = true) {
    static tvfuzz::MemFile file;
    static tvfuzz::LogSweeper logs;
    file.Write(data, size);
    RunStrictReader(file, data, size);
    RunPageReader(file, data, size);
    if (sweepLogs) logs.Sweep();
}

inline void RunStrictReader(tvfuzz::MemFile& file, const std::uint8_t* data, std::size_t size) {
    using namespace reader_detail;

    CTiffView view;
    const std::uint32_t parsed = view.ParseFile(file.Path(), 0);
    if (parsed != TV_OK) {
        FUZZ_CHECK(KnownParseFailure(parsed), "ParseFile returned 0x%08X", parsed);
        return;
    }
    TiffInfo_t info;
    view.GetImageInfo(&info);
    FUZZ_CHECK(info.Width > 0 && info.Length > 0, "accepted an empty image %ux%u", info.Width, info.Length);
    FUZZ_CHECK(info.Compression == 1 || info.Compression == 3 || info.Compression == 4 || info.Compression == 5,
               "accepted Compression %u", info.Compression);
    FUZZ_CHECK(info.PhotometricInterpretation <= 1, "accepted PhotometricInterpretation %u",
               info.PhotometricInterpretation);
    FUZZ_CHECK(info.Intel == (data[0] == 'I' ? 1 : 0), "Intel %u for a file starting with %c", info.Intel, data[0]);

    const std::uint64_t lineBytes = (std::uint64_t{info.Width} + 7) / 8;
    if (lineBytes * info.Length > kMaxDecodedBytes) return;

    const Uncompressed plain(view, info, data, size);
    const Pass first = ReadAll(view, file.Path(), info, plain);

    // A closed copy reads the same file again by the kept name.
    CTiffView copy(view);
    copy.SetOptions(TV_OPTION_MAP_FILE);
    const Pass second = ReadAll(copy, nullptr, info, plain);
    FUZZ_CHECK(first.openResult == second.openResult, "OpenFile gave 0x%08X, then 0x%08X", first.openResult,
               second.openResult);
    FUZZ_CHECK(first.lines == second.lines && first.hash == second.hash,
               "two readings of one file differ (%u and %u lines)", first.lines, second.lines);
}

}  // namespace tvfuzz

#endif
