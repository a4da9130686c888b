// Whole pages against libtiff's reading, through tiffview::Reader in its
// default profile: TIFF or BigTIFF, either byte order, strips or tiles, one
// or two pages, every integer tag written with a field type the input
// picks (signed ones, LONG8, IFD8, ...), compression none, PackBits, LZW or
// a fax coding, the chunks either raw input bytes (but for fax codings) or
// pixels the test encoders code.
//
// Input: flags, coding, width, length, rows per strip (or tile length),
// tile width, then one type byte per tag (below), then the chunks, each a
// length byte and that many bytes (raw) or the chunk's pixel rows (coded).
// Flags: bit 0 big-endian, 1 BigTIFF, 2 tiles, 3 chunks coded from pixels,
// 4 no PhotometricInterpretation, 5 PhotometricInterpretation 1, 6
// FillOrder 2, 7 a second page (the same directory again).
// Type byte: bits 0-3 pick the field type from kTypes; bit 6 writes a
// single-valued tag with its value twice; bit 7 leaves a tag out
// (RowsPerStrip, a tile size, FillOrder, T4Options, the byte counts).
//
// Invariant: wherever libtiff opens the page without an error and reads a
// line without an error or warning (strips by TIFFReadScanline, stopping at
// a strip's first complaint; tiles by TIFFReadTile, a line counting when
// every tile across it read cleanly), the reader opens the page, and gives
// that line with TV_OK (but for the fax decoders' allowances, below) and
// libtiff's pixels (PhotometricInterpretation as
// libtiff reports it, or as the library assumes it when absent). No crash,
// leak or undefined behaviour on any input.
#ifndef TIFFVIEW_FUZZ_FUZZPAGESLIBTIFF_H
#define TIFFVIEW_FUZZ_FUZZPAGESLIBTIFF_H
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "TiffViewReader.hpp"
#include "support/FaxEncoder.h"
#include "support/LzwEncoder.h"
#include "support/TypedTiff.h"

namespace tvfuzz {
namespace pages_detail {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kTypes[] = {3, 4, 1, 6, 8, 9, 16, 17, 13, 18, 3, 4, 3, 4, 3, 4};

// The tags whose type the input picks, in the order of the type bytes.
enum Slot { kWidthSlot, kLengthSlot, kBitsSlot, kCompressionSlot, kPhotometricSlot, kFillSlot, kRowsSlot,
            kTileWidthSlot, kTileLengthSlot, kSamplesSlot, kT4Slot, kOffsetsSlot, kCountsSlot, kSlots };

struct Coding {
    std::uint16_t compression;
    std::uint32_t t4Options;
};

constexpr Coding kCodings[] = {{1, 0}, {32773, 0}, {5, 0}, {2, 0}, {3, 4}, {3, 0}, {3, 1}, {3, 5}, {4, 0}};

// libtiff's view of a memory file.
struct Memory {
    const Bytes* bytes;
    toff_t at;
};

inline tmsize_t MemRead(thandle_t h, void* dest, tmsize_t n) {
    auto* m = static_cast<Memory*>(h);
    const toff_t size = m->bytes->size();
    const toff_t count = m->at >= size ? 0 : std::min<toff_t>(static_cast<toff_t>(n), size - m->at);
    if (count != 0) std::memcpy(dest, m->bytes->data() + m->at, count);
    m->at += count;
    return static_cast<tmsize_t>(count);
}
inline tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return -1; }
inline toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
    auto* m = static_cast<Memory*>(h);
    const toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->bytes->size();
    m->at = base + offset;
    return m->at;
}
inline int MemClose(thandle_t) { return 0; }
inline toff_t MemSize(thandle_t h) { return static_cast<Memory*>(h)->bytes->size(); }
inline int MemMap(thandle_t, void**, toff_t*) { return 0; }
inline void MemUnmap(thandle_t, void*, toff_t) {}

inline int g_complaints = 0;
inline void Complain(const char*, const char*, va_list) { ++g_complaints; }

// One page as libtiff reads it: rows with 1 = black, and which are clean.
struct TheirPage {
    bool opened = false;
    std::uint32_t width = 0;
    std::vector<Bytes> rows;
    std::vector<bool> clean;
};

inline void SetBit(Bytes& row, std::uint32_t x) { row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | (0x80u >> (x % 8))); }

inline TheirPage ReadTheirs(const Bytes& file, std::uint32_t page) {
    TheirPage out;
    Memory memory{&file, 0};
    g_complaints = 0;
    TIFF* tif = TIFFClientOpen("fuzz", "rm", &memory, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
    if (tif == nullptr) return out;
    std::uint32_t width = 0, length = 0;
    std::uint16_t bits = 1, samples = 1, photometric = 0, compression = 1;
    const bool selected = TIFFSetDirectory(tif, static_cast<tdir_t>(page)) == 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    // Absent: the reading the library documents (fax codings min-is-white).
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        photometric = compression == 2 || compression == 3 || compression == 4 ? 0 : 1;
    }
    if (!selected || g_complaints != 0 || bits != 1 || samples != 1 || photometric > 1 || width == 0 ||
        length == 0 || static_cast<std::uint64_t>(width) * length > (1u << 20)) {
        TIFFClose(tif);
        return out;
    }
    out.opened = true;
    out.width = width;
    const std::uint32_t rowBytes = (width + 7) / 8;
    out.rows.assign(length, Bytes(rowBytes, 0));
    out.clean.assign(length, true);
    if (TIFFIsTiled(tif)) {
        std::uint32_t tw = 0, tl = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl);
        const tmsize_t tileSize = TIFFTileSize(tif);
        if (tw == 0 || tl == 0 || tileSize <= 0 || tileSize > (1 << 20)) {
            TIFFClose(tif);
            out.opened = false;
            return out;
        }
        Bytes tile(static_cast<std::size_t>(tileSize));
        const std::uint32_t tileRow = (tw + 7) / 8;
        for (std::uint32_t y0 = 0; y0 < length; y0 += tl) {
            for (std::uint32_t x0 = 0; x0 < width; x0 += tw) {
                std::fill(tile.begin(), tile.end(), 0);
                const int before = g_complaints;
                const bool read = TIFFReadTile(tif, tile.data(), x0, y0, 0, 0) > 0 && g_complaints == before;
                for (std::uint32_t y = y0; y < std::min(length, y0 + tl); ++y) {
                    if (!read) out.clean[y] = false;
                    for (std::uint32_t x = x0; x < std::min(width, x0 + tw); ++x) {
                        const std::uint32_t tx = x - x0;
                        if (tile[std::size_t{y - y0} * tileRow + tx / 8] & (0x80u >> (tx % 8))) SetBit(out.rows[y], x);
                    }
                }
            }
            if (y0 + tl < y0) break;
        }
    } else {
        const tmsize_t scanline = TIFFScanlineSize(tif);
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        if (rowsPerStrip == 0) rowsPerStrip = length;
        Bytes line(static_cast<std::size_t>(std::max<tmsize_t>(scanline, 1)));
        bool stripClean = true;
        for (std::uint32_t y = 0; y < length; ++y) {
            if (y % rowsPerStrip == 0) stripClean = true;
            std::fill(line.begin(), line.end(), 0);
            const int before = g_complaints;
            stripClean = TIFFReadScanline(tif, line.data(), y, 0) == 1 && g_complaints == before && stripClean;
            out.clean[y] = stripClean;
            std::memcpy(out.rows[y].data(), line.data(), std::min<std::size_t>(rowBytes, line.size()));
        }
    }
    if (photometric == 1) {
        for (Bytes& row : out.rows)
            for (std::uint8_t& b : row) b = static_cast<std::uint8_t>(~b);
    }
    TIFFClose(tif);
    return out;
}

inline std::uint8_t Reverse(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// PackBits, row by row as libtiff writes it.
inline void PackBitsRow(const std::uint8_t* row, std::size_t n, Bytes& out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        std::size_t literal = 1;
        while (i + literal < n && literal < 128 && (i + literal + 1 >= n || row[i + literal] != row[i + literal + 1])) {
            ++literal;
        }
        out.push_back(static_cast<std::uint8_t>(literal - 1));
        out.insert(out.end(), row + i, row + i + literal);
        i += literal;
    }
}

// A chunk of `rows` rows of `width` pixels from the input, coded.
inline Bytes CodeChunk(Cursor& in, const Coding& coding, std::uint32_t width, std::uint32_t rows, bool reversed) {
    const std::size_t rowBytes = (std::size_t{width} + 7) / 8;
    faxenc::Lines lines(rows, faxenc::Line(rowBytes, 0));
    for (auto& line : lines) {
        for (auto& b : line) b = in.Byte();
        faxenc::ClearPad(line, width);
    }
    Bytes out;
    switch (coding.compression) {
    case 1:
        for (const auto& line : lines) out.insert(out.end(), line.begin(), line.end());
        break;
    case 32773:
        for (const auto& line : lines) PackBitsRow(line.data(), line.size(), out);
        break;
    case 5: {
        Bytes all;
        for (const auto& line : lines) all.insert(all.end(), line.begin(), line.end());
        out = tvtest::LzwEncode(all);
        break;
    }
    case 4:
        out = faxenc::EncodeG4(lines, width, true);
        break;
    case 3:
        out = (coding.t4Options & 1) ? faxenc::EncodeG3TwoDimensional(lines, width, 2, (coding.t4Options & 4) != 0)
                                     : faxenc::EncodeG3(lines, width, true);
        break;
    default:  // modified Huffman has no encoder here: raw bytes
        for (const auto& line : lines) out.insert(out.end(), line.begin(), line.end());
        break;
    }
    if (reversed) {
        for (auto& b : out) b = Reverse(b);
    }
    return out;
}

inline bool SameLine(const std::uint8_t* ours, const Bytes& theirs, std::uint32_t width) {
    const std::size_t n = (std::size_t{width} + 7) / 8;
    const std::uint8_t keep = static_cast<std::uint8_t>(width % 8 == 0 ? 0xFF : 0xFF << (8 - width % 8));
    for (std::size_t i = 0; i < n; ++i) {
        if (((ours[i] ^ theirs[i]) & (i + 1 == n ? keep : 0xFF)) != 0) return false;
    }
    return true;
}

}  // namespace pages_detail

inline void RunPagesLibtiff(const std::uint8_t* data, std::size_t size) {
    using namespace pages_detail;
    Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    const bool bigEndian = flags & 1, bigTiff = flags & 2, tiled = flags & 4, coded = flags & 8;
    const bool noPhotometric = flags & 16, reversed = flags & 64, twoPages = flags & 128;
    const std::uint8_t codingByte = in.Byte();
    // Raw fax strips against libtiff are fuzz_fax_libtiff's; here fax data
    // is always coded from pixels.
    const Coding coding = kCodings[codingByte % (coded ? sizeof kCodings / sizeof kCodings[0] : 3)];
    const std::uint32_t width = 1 + in.Byte() % 128;
    const std::uint32_t length = 1 + in.Byte() % 40;
    const std::uint8_t rowsByte = in.Byte();
    const std::uint8_t tileByte = in.Byte();
    std::uint8_t types[kSlots];
    for (auto& t : types) t = in.Byte();
    auto type = [&](Slot slot) { return kTypes[types[slot] & 15]; };
    auto omitted = [&](Slot slot) { return (types[slot] & 0x80) != 0; };

    // Tiles 16 to 64 wide and long (multiples of 16 as TIFF asks, but for
    // bit 6 of the tile byte), strips of 1 to `length` rows.
    std::uint32_t tileWidth = 16 * (1 + tileByte % 4), tileLength = 16 * (1 + rowsByte % 4);
    if (tileByte & 64) tileWidth = 1 + tileByte % 40;
    if (rowsByte & 64) tileLength = 1 + rowsByte % 40;
    const std::uint32_t rowsPerStrip = 1 + rowsByte % length;
    const std::uint32_t chunkWidth = tiled ? tileWidth : width;
    const std::uint32_t chunkRows = tiled ? tileLength : rowsPerStrip;
    const std::uint32_t across = tiled ? (width + tileWidth - 1) / tileWidth : 1;
    const std::uint32_t down = (length + chunkRows - 1) / chunkRows;

    tvtest::TypedTiff tiff(bigEndian, bigTiff);
    std::vector<std::int64_t> offsets, counts;

    for (std::uint32_t c = 0; c < across * down; ++c) {
        const std::uint32_t rows = tiled ? chunkRows : std::min(chunkRows, length - (c * chunkRows));
        Bytes chunk;
        if (coded) {
            chunk = CodeChunk(in, coding, chunkWidth, rows, reversed);
        } else {
            const std::uint32_t n = in.Byte();
            for (std::uint32_t i = 0; i < n && in.RestSize() > 0; ++i) chunk.push_back(in.Byte());
        }
        offsets.push_back(static_cast<std::int64_t>(tiff.Data(chunk)));
        counts.push_back(static_cast<std::int64_t>(chunk.size()));
    }
    const int pages = twoPages ? 2 : 1;
    for (int p = 0; p < pages; ++p) {
        tiff.NewPage();
        // A single value, or for bit 6 of its type byte the value twice.
        auto single = [&](std::uint16_t tag, Slot slot, std::int64_t value) {
            tiff.Tag(tag, type(slot), (types[slot] & 0x40) ? std::vector<std::int64_t>{value, value}
                                                           : std::vector<std::int64_t>{value});
        };
        single(256, kWidthSlot, width);
        single(257, kLengthSlot, length);
        single(258, kBitsSlot, 1);
        single(259, kCompressionSlot, coding.compression);
        if (!noPhotometric) single(262, kPhotometricSlot, (flags & 32) ? 1 : 0);
        if (reversed && !omitted(kFillSlot)) single(266, kFillSlot, 2);
        tiff.Tag(tiled ? 324 : 273, type(kOffsetsSlot), offsets);
        single(277, kSamplesSlot, 1);
        if (!omitted(kRowsSlot)) single(278, kRowsSlot, tiled ? tileLength : rowsPerStrip);
        if (!omitted(kCountsSlot)) tiff.Tag(tiled ? 325 : 279, type(kCountsSlot), counts);
        if (coding.compression == 3 && !omitted(kT4Slot)) single(292, kT4Slot, coding.t4Options);
        if (tiled && !omitted(kTileWidthSlot)) single(322, kTileWidthSlot, tileWidth);
        if (tiled && !omitted(kTileLengthSlot)) single(323, kTileLengthSlot, tileLength);
    }
    const Bytes file = tiff.Build();
    // To look at a failing input's file: FUZZ_PAGES_DUMP=out.tif fuzz_pages_libtiff crash-...
    if (const char* dump = std::getenv("FUZZ_PAGES_DUMP")) {
        if (FILE* out = std::fopen(dump, "wb")) {
            std::fwrite(file.data(), 1, file.size(), out);
            std::fclose(out);
        }
    }

    for (int p = 0; p < pages; ++p) {
        const TIFFErrorHandler oldError = TIFFSetErrorHandler(Complain);
        const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(Complain);
        const TheirPage theirs = ReadTheirs(file, static_cast<std::uint32_t>(p));
        TIFFSetErrorHandler(oldError);
        TIFFSetWarningHandler(oldWarning);
        const bool anyClean = theirs.opened && std::find(theirs.clean.begin(), theirs.clean.end(), true) != theirs.clean.end();
        tiffview::Reader reader;
        const tiffview::Result opened = reader.open(file.data(), file.size(), tiffview::Options().page(static_cast<std::uint32_t>(p)));
        FUZZ_CHECK(!anyClean || opened.code() == TV_OK, "page %d: libtiff reads lines, open gives 0x%X (%s)", p,
                   opened.code(), opened.message().c_str());
        if (!opened) continue;
        const tiffview::PageInfo& info = reader.info();
        if (anyClean) {
            FUZZ_CHECK(info.width() == theirs.width && info.length() == theirs.rows.size(),
                       "page %d: %ux%u, libtiff %ux%zu", p, info.width(), info.length(), theirs.width, theirs.rows.size());
        }
        GuardedLine line(info.line_bytes());
        for (std::uint32_t y = 0; y < info.length(); ++y) {
            line.Poison();
            const tiffview::Result r = reader.read_line(line.Data(), info.line_bytes());
            FUZZ_CHECK(line.GuardIntact(), "read_line wrote beyond line %u", y);
            if (anyClean && theirs.clean[y]) {
                // The fax decoders' own allowances (see FuzzFaxLibtiff.h): a
                // Group 3 line whose EOL was found by stepping over coded
                // bits, which libtiff steps over without a word; and a
                // chunk's last line whose last code the chunk's end cut off,
                // read with the missing bits as 0s as libtiff reads it. And
                // the library's own: a strip's last line says that data
                // beyond the strip's rows was dropped (libtiff drops it
                // without a word).
                const bool fax = info.compression() >= 2 && info.compression() <= 4;
                const std::uint32_t rows = info.tiled() ? info.tile_length() : info.rows_per_strip();
                const bool lastOfChunk = rows == 0 || (y + 1) % rows == 0 || y + 1 == info.length();
                // A fax line libtiff completes with made-up 0 bits, the last
                // it reads before its data runs out, is partly made up.
                const bool libtiffRunsOut = y + 1 >= info.length() || !theirs.clean[y + 1];
                const bool allowed = r.code() == TV_OK ||
                                     (info.compression() == 3 && r.code() == TV_ERR_LINE_DAMAGED) ||
                                     (fax && (lastOfChunk || libtiffRunsOut) && r.code() == TV_ERR_STRIP_SHORT) ||
                                     (!info.tiled() && lastOfChunk && r.code() == TV_ERR_STRIP_LONG);
                FUZZ_CHECK(allowed, "page %d line %u of %u: libtiff reads it, read_line gives 0x%X", p, y,
                           info.length(), r.code());
                FUZZ_CHECK(SameLine(line.Data(), theirs.rows[y], theirs.width), "page %d line %u of %u differs from libtiff's", p,
                           y, info.length());
            }
            if (!r && !r.is_warning()) break;
        }
    }
}

}  // namespace tvfuzz

#endif
