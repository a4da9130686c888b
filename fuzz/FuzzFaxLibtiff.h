// Our fax decoding against libtiff's, through both readers.
//
// Header bytes: flags, width (two bytes), rows; the rest is the strip.
// Flags: bit 0 Group 4, else a Group 3 coding chosen by bits 2-4 (0
// one-dimensional with byte-aligned EOLs, 1 one-dimensional, 2
// two-dimensional, 3 two-dimensional with byte-aligned EOLs, 4 modified
// Huffman, others as 0); bit 1 FillOrder 2; bit 5 read with
// TV_OPTION_ANY_BILEVEL; bit 6, with bit 5, then read once more with
// uncompressed mode allowed (bit 1 of T4Options or T6Options added), which
// libtiff cannot read: every line must be delivered, OK or with a warning,
// and none written beyond. The image is a one-strip TIFF with every tag the
// strict profile wants (resolutions, LONG strip tables), kept in a memory
// file, read by libtiff (TIFFReadScanline, errors and warnings counted) and
// by CTiffView.
//
// Invariants: with the option, every line is delivered, and every line
// libtiff delivers (with or without a complaint) is equal to it. Whenever
// libtiff reads every line without a complaint:
// - with the option, and for Group 4 in the strict profile: CTiffView opens
//   the file and reads every line, each equal to libtiff's, without a fault
//   but for TV_ERR_LINE_DAMAGED on a Group 3 line whose EOL was found by
//   stepping over coded bits (libtiff steps over them without a word), and
//   TV_ERR_STRIP_SHORT on the last line when the strip ends inside its
//   last code (libtiff reads the missing bits as 0s; so does the option,
//   while the strict profile's line need not equal libtiff's);
// - strict Group 3 one-dimensional: every line delivered with TV_OK before
//   the first line delivered with a warning equals libtiff's. Only strips
//   that open with an EOL are compared: a strip's first line may lack its
//   EOL, and libtiff then drops it where this reader keeps it. After a
//   warning the two may be a row apart: to find a damaged EOL libtiff skips
//   to the next one without a word, dropping the line between, where this
//   reader warns about that line and goes on in step.
#ifndef TIFFVIEW_FUZZ_FUZZFAXLIBTIFF_H
#define TIFFVIEW_FUZZ_FUZZFAXLIBTIFF_H
#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "OneStripTiff.h"
#include "TiffView.h"

namespace tvfuzz {
namespace faxlibtiff_detail {

inline int g_libtiffComplaints = 0;

inline void CountComplaint(const char*, const char*, va_list) { ++g_libtiffComplaints; }

// True when the strip's bits start with an EOL after any 0 bits.
inline bool OpensWithEol(const std::uint8_t* strip, std::uint32_t size, bool reversed) {
    unsigned zeros = 0;
    for (std::uint32_t i = 0; i < size; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const int at = reversed ? 7 - bit : bit;
            if ((strip[i] >> at) & 1) return zeros >= 11;
            ++zeros;
        }
    }
    return false;
}

struct Coding {
    std::uint32_t compression;
    std::uint32_t t4Options;
};

inline Coding CodingOf(std::uint8_t flags) {
    if (flags & 1) return {4, 0};
    switch ((flags >> 2) & 7) {
        case 1: return {3, 0};
        case 2: return {3, 1};
        case 3: return {3, 5};
        case 4: return {2, 0};
        default: return {3, 4};
    }
}

// libtiff's lines, packed, and which of them it delivered (it goes on past
// damage); false when it complained about anything or failed a line.
inline bool ReadWithLibtiff(const char* path, std::uint32_t rows, std::vector<std::vector<std::uint8_t>>& lines,
                            std::vector<bool>& delivered) {
    g_libtiffComplaints = 0;
    TIFFErrorHandler oldError = TIFFSetErrorHandler(CountComplaint);
    TIFFErrorHandler oldWarning = TIFFSetWarningHandler(CountComplaint);
    bool clean = false;
    if (TIFF* tif = TIFFOpen(path, "r")) {
        const tmsize_t size = TIFFScanlineSize(tif);
        clean = size > 0;
        for (std::uint32_t y = 0; size > 0 && y < rows; ++y) {
            std::vector<std::uint8_t> line(static_cast<std::size_t>(size));
            delivered.push_back(TIFFReadScanline(tif, line.data(), y, 0) == 1);
            clean = clean && delivered.back();
            lines.push_back(line);
        }
        TIFFClose(tif);
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    return clean && g_libtiffComplaints == 0;
}

// Whether line `y` of ours equals libtiff's; bits past the width are
// padding, whatever either side leaves there.
inline bool SameLine(const std::uint8_t* ours, const std::vector<std::uint8_t>& theirs, std::uint32_t width) {
    const std::uint32_t lineBytes = (width + 7) / 8;
    const std::uint8_t keep = static_cast<std::uint8_t>(width % 8 == 0 ? 0xFF : 0xFF << (8 - width % 8));
    for (std::uint32_t i = 0; i < lineBytes; ++i) {
        const std::uint8_t mask = i + 1 == lineBytes ? keep : 0xFF;
        if (((ours[i] ^ theirs[i]) & mask) != 0) return false;
    }
    return true;
}

// The strip read again from a page that allows uncompressed mode.
inline void ReadAllowingUncompressed(const std::uint8_t* strip, std::uint32_t size, const Coding& coding,
                                     std::uint16_t fillOrder, std::uint32_t width, std::uint32_t rows) {
    static MemFile file;
    const std::vector<std::uint8_t> tiff = OneStripTiff(strip, size, coding.compression, coding.t4Options | 2u,
                                                        fillOrder, width, rows, 2u);
    file.Write(tiff.data(), tiff.size());
    CTiffView view;
    view.SetLogEnabled(0);
    view.SetOptions(TV_OPTION_ANY_BILEVEL);
    if (view.OpenFile(file.Path()) != TV_OK) return;
    GuardedLine line((width + 7) / 8);
    for (std::uint32_t y = 0; y < rows; ++y) {
        line.Poison();
        const std::uint32_t result = view.ReadALine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "ReadALine wrote beyond line %u, uncompressed mode allowed", y);
        FUZZ_CHECK(result == TV_OK || TiffView_IsWarning(result),
                   "line %u of %u, uncompressed mode allowed: ReadALine gives 0x%X", y, rows, result);
    }
    view.CloseFile();
}

}  // namespace faxlibtiff_detail

inline void RunFaxLibtiff(const std::uint8_t* data, std::size_t size) {
    using namespace faxlibtiff_detail;
    static MemFile file;
    Cursor in(data, size);
    const std::uint8_t flags = in.Byte();
    const Coding coding = CodingOf(flags);
    const std::uint16_t fillOrder = (flags & 2) ? 2 : 1;
    const bool anyBilevel = (flags & 32) != 0;
    const std::uint32_t width = 1 + in.U16() % 2600;
    const std::uint32_t rows = 1 + in.Byte() % 64;
    const std::uint32_t stripSize = static_cast<std::uint32_t>(in.RestSize());
    if (stripSize == 0) return;
    const std::vector<std::uint8_t> tiff =
        OneStripTiff(in.Rest(), stripSize, coding.compression, coding.t4Options, fillOrder, width, rows);
    file.Write(tiff.data(), tiff.size());

    std::vector<std::vector<std::uint8_t>> theirs;
    std::vector<bool> delivered;
    const bool clean = ReadWithLibtiff(file.Path(), rows, theirs, delivered);
    // Which of our lines must equal libtiff's: all of them, or those given as OK.
    const bool strict1D = !anyBilevel && coding.compression == 3 && (coding.t4Options & 1) == 0;
    const bool everyLine = clean && (anyBilevel || coding.compression == 4);
    const bool inStepLines = clean && strict1D && OpensWithEol(in.Rest(), stripSize, fillOrder == 2);

    CTiffView view;
    view.SetLogEnabled(0);
    view.SetOptions(anyBilevel ? TV_OPTION_ANY_BILEVEL : 0);
    const std::uint32_t opened = view.OpenFile(file.Path());
    FUZZ_CHECK(!everyLine || opened == TV_OK, "libtiff reads the file, OpenFile gives 0x%X", opened);
    if (opened != TV_OK) return;
    GuardedLine line((width + 7) / 8);
    bool okLines = inStepLines;
    for (std::uint32_t y = 0; y < rows; ++y) {
        line.Poison();
        const std::uint32_t result = view.ReadALine(line.Data());
        FUZZ_CHECK(line.GuardIntact(), "ReadALine wrote beyond line %u", y);
        // Where libtiff reads every line cleanly, only the last can have had
        // its last code cut off by the end of the strip (libtiff reads the
        // missing bits as 0s): with the option it is read so too, with a
        // warning; the strict profile does not make up bits, and warns.
        const bool cutOff = y + 1 == rows && result == TV_ERR_STRIP_SHORT;
        if (everyLine) {
            const bool skipped = coding.compression == 3 && result == TV_ERR_LINE_DAMAGED;
            FUZZ_CHECK(result == TV_OK || skipped || cutOff,
                       "line %u of %u (width %u): libtiff reads it, ReadALine gives 0x%X", y, rows, width, result);
        }
        // With the option every line is delivered, and each one libtiff
        // delivers, damaged or not, has libtiff's pixels.
        if (anyBilevel) {
            FUZZ_CHECK(result == TV_OK || TiffView_IsWarning(result), "line %u of %u: ReadALine gives 0x%X", y, rows,
                       result);
        }
        const bool libtiffLine = y < delivered.size() && delivered[y];
        const bool mustEqual = anyBilevel ? libtiffLine : everyLine ? !cutOff : (okLines && result == TV_OK);
        if (mustEqual && !SameLine(line.Data(), theirs[y], width)) {
            FUZZ_CHECK(false, "line %u of %u (width %u, code 0x%X) differs from libtiff's", y, rows, width, result);
        }
        if (result != TV_OK && !TiffView_IsWarning(result)) break;
        okLines = okLines && result == TV_OK;
    }
    view.CloseFile();
    if (anyBilevel && (flags & 64) != 0) ReadAllowingUncompressed(in.Rest(), stripSize, coding, fillOrder, width, rows);
}

}  // namespace tvfuzz

#endif
