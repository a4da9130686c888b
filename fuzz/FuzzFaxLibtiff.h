// Our fax decoding against libtiff's, through both readers.
//
// Header bytes: flags (bit 0 Group 4, else Group 3 one-dimensional with
// T4Options 4; bit 1 FillOrder 2), width (two bytes), rows; the rest is the
// strip. The image is a one-strip TIFF with every tag the strict profile
// wants (resolutions, LONG strip tables), kept in a memory file, read by
// libtiff (TIFFReadScanline, errors and warnings counted) and by CTiffView.
//
// Invariant (Group 4): whenever libtiff reads every line without reporting
// an error, CTiffView opens the file, reads every line without a fault and
// each line equals libtiff's.
//
// Group 3 one-dimensional strips are read by both but not compared: on
// damaged one-dimensional strips the two readers differ by this reader's
// own framing rules (EOLs, fill, a strip's rows counted against its codes),
// so that some strips libtiff reads without complaint fail to decode here;
// the decoder's own target checks its lines against the test encoder.
#ifndef TIFFVIEW_FUZZ_FUZZFAXLIBTIFF_H
#define TIFFVIEW_FUZZ_FUZZFAXLIBTIFF_H
#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "TiffView.h"

namespace tvfuzz {
namespace faxlibtiff_detail {

inline int g_libtiffComplaints = 0;

inline void CountComplaint(const char*, const char*, va_list) { ++g_libtiffComplaints; }

// A little-endian TIFF around one strip, tags in ascending order.
inline std::vector<std::uint8_t> OneStripTiff(const std::uint8_t* strip, std::uint32_t size, bool g4,
                                              std::uint16_t fillOrder, std::uint32_t width, std::uint32_t rows) {
    std::vector<std::uint8_t> f;
    auto u16 = [&f](std::uint32_t v) {
        f.push_back(static_cast<std::uint8_t>(v));
        f.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&u16](std::uint32_t v) {
        u16(v & 0xFFFFu);
        u16(v >> 16);
    };
    f = {'I', 'I', 42, 0};
    const std::uint32_t stripAt = 8;
    const std::uint32_t xresAt = stripAt + size + (size & 1);
    const std::uint32_t yresAt = xresAt + 8;
    const std::uint32_t ifdAt = yresAt + 8;
    u32(ifdAt);
    f.insert(f.end(), strip, strip + size);
    if (size & 1) f.push_back(0);
    u32(204);
    u32(1);
    u32(196);
    u32(1);
    struct Tag {
        std::uint16_t tag, type;
        std::uint32_t value;
    };
    std::vector<Tag> tags = {{256, 4, width},    {257, 4, rows},   {258, 3, 1},       {259, 3, g4 ? 4u : 3u},
                             {262, 3, 0},        {266, 3, fillOrder}, {273, 4, stripAt}, {277, 3, 1},
                             {278, 4, rows},     {279, 4, size},   {282, 5, xresAt},  {283, 5, yresAt}};
    if (!g4) tags.push_back({292, 4, 4});
    tags.push_back({296, 3, 2});
    u16(static_cast<std::uint32_t>(tags.size()));
    for (const Tag& t : tags) {
        u16(t.tag);
        u16(t.type);
        u32(1);
        if (t.type == 3) {
            u16(t.value);
            u16(0);
        } else {
            u32(t.value);
        }
    }
    u32(0);
    return f;
}

// libtiff's lines, packed, or false when it complained about anything.
inline bool ReadWithLibtiff(const char* path, std::uint32_t rows, std::vector<std::vector<std::uint8_t>>& lines) {
    g_libtiffComplaints = 0;
    TIFFErrorHandler oldError = TIFFSetErrorHandler(CountComplaint);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(CountComplaint);
    bool clean = false;
    if (TIFF* tif = TIFFOpen(path, "r")) {
        const tmsize_t size = TIFFScanlineSize(tif);
        clean = size > 0;
        for (std::uint32_t y = 0; clean && y < rows; ++y) {
            std::vector<std::uint8_t> line(static_cast<std::size_t>(size));
            clean = TIFFReadScanline(tif, line.data(), y, 0) == 1;
            lines.push_back(line);
        }
        TIFFClose(tif);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    return clean && g_libtiffComplaints == 0;
}

}  // namespace faxlibtiff_detail

inline void RunFaxLibtiff(const std::uint8_t* data, std::size_t size) {
    using namespace faxlibtiff_detail;
    static MemFile file;
    static LogSweeper logs;
    Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    const bool g4 = (flags & 1) != 0;
    const std::uint16_t fillOrder = (flags & 2) ? 2 : 1;
    const std::uint32_t width = 1 + in.U16() % 2600;
    const std::uint32_t rows = 1 + in.Byte() % 64;
    const std::uint32_t stripSize = static_cast<std::uint32_t>(in.RestSize());
    if (stripSize == 0) return;
    const std::vector<std::uint8_t> tiff = OneStripTiff(in.Rest(), stripSize, g4, fillOrder, width, rows);
    file.Write(tiff.data(), tiff.size());

    std::vector<std::vector<std::uint8_t>> theirs;
    const bool clean = ReadWithLibtiff(file.Path(), rows, theirs);

    CTiffView view;
    const std::uint32_t opened = view.OpenFile(file.Path());
    FUZZ_CHECK(!clean || !g4 || opened == TV_OK, "libtiff reads the file, OpenFile gives 0x%X", opened);
    if (opened == TV_OK) {
        const std::uint32_t lineBytes = (width + 7) / 8;
        GuardedLine line(lineBytes);
        for (std::uint32_t y = 0; y < rows; ++y) {
            line.Poison();
            const std::uint32_t result = view.ReadALine(line.Data());
            FUZZ_CHECK(line.GuardIntact(), "ReadALine wrote beyond line %u", y);
            if (!clean || !g4) {
                if (result == TV_ERR_DECODE) break;
                continue;
            }
            FUZZ_CHECK(result == TV_OK, "line %u of %u (width %u): libtiff reads it, ReadALine gives 0x%X", y, rows,
                       width, result);
            // Bits past the width are padding, whatever either side leaves there.
            const std::uint8_t keep = static_cast<std::uint8_t>(width % 8 == 0 ? 0xFF : 0xFF << (8 - width % 8));
            std::uint32_t differ = lineBytes;
            for (std::uint32_t i = 0; i < lineBytes && differ == lineBytes; ++i) {
                const std::uint8_t mask = i + 1 == lineBytes ? keep : 0xFF;
                if (((line.Data()[i] ^ theirs[y][i]) & mask) != 0) differ = i;
            }
            FUZZ_CHECK(differ == lineBytes, "line %u of %u (width %u) differs from libtiff's at byte %u", y, rows,
                       width, differ);
        }
        view.CloseFile();
    }
    logs.Sweep();
}

}  // namespace tvfuzz

#endif
