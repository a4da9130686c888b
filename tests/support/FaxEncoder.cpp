#include "support/FaxEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>

namespace faxenc {
namespace {

// Code words as transmitted, first bit first. Index = run length for the
// terminating codes, run / 64 - 1 for the make-up codes, (run - 1792) / 64
// for the extended make-up codes shared by both colours.
const char* const kWhiteTerm[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100",
};

const char* const kBlackTerm[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111",
};

const char* const kWhiteMakeup[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011",
};

const char* const kBlackMakeup[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101",
};

const char* const kExtendedMakeup[13] = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111",
};

const char* const kEol = "000000000001";
const char* const kPass = "0001";
const char* const kHorizontal = "001";
// Vertical mode codes for a1 - b1 = -3 .. +3.
const char* const kVertical[7] = {"0000010", "000010", "010", "1", "011", "000011", "0000011"};

// Uncompressed mode: its entrance codes (an extension code with the value
// 111), its image patterns by the white pixels before their black pixel
// (the last: five white pixels, no black one), and its exit codes by the
// white pixels before the exit; a colour bit follows an exit code.
const char* const kEnterUncompressed2D = "0000001111";
const char* const kEnterUncompressed1D = "000000001111";
const char* const kUncompressedPattern[6] = {"1", "01", "001", "0001", "00001", "000001"};
const char* const kUncompressedExit[5] = {"0000001", "00000001", "000000001", "0000000001", "00000000001"};

class BitWriter {
public:
    void Put(const char* code) {
        for (const char* p = code; *p != '\0'; ++p) PutBit(*p == '1');
    }
    void PutBit(bool bit) {
        if ((Bits & 7) == 0) Out.push_back(0);
        if (bit) Out.back() = static_cast<std::uint8_t>(Out.back() | (0x80u >> (Bits & 7)));
        ++Bits;
    }
    // 0 bits so that a following EOL ends on a byte boundary.
    void AlignForEol() {
        while (((Bits + 12) & 7) != 0) PutBit(false);
    }
    std::size_t Position() const { return Bits; }
    std::vector<std::uint8_t> Finish(bool reverseBits) {
        if (reverseBits) {
            for (std::uint8_t& b : Out) {
                std::uint8_t r = 0;
                for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r | (((b >> i) & 1u) << (7 - i)));
                b = r;
            }
        }
        return Out;
    }

private:
    std::vector<std::uint8_t> Out;
    std::size_t Bits = 0;
};

// One run of a colour: extended make-up codes of 2560 while they fit, one
// make-up code, then the terminating code (which may be for 0).
void PutRun(BitWriter& w, std::uint32_t run, bool black) {
    while (run >= 2560) {
        w.Put(kExtendedMakeup[12]);
        run -= 2560;
    }
    if (run >= 64) {
        const std::uint32_t makeup = run / 64 * 64;
        if (makeup >= 1792)
            w.Put(kExtendedMakeup[(makeup - 1792) / 64]);
        else
            w.Put(black ? kBlackMakeup[makeup / 64 - 1] : kWhiteMakeup[makeup / 64 - 1]);
        run -= makeup;
    }
    w.Put(black ? kBlackTerm[run] : kWhiteTerm[run]);
}

// Pixels of a line as 0/1 bytes, with one extra entry so searches can stop
// at `width` without a bounds test of their own.
std::vector<std::uint8_t> Unpack(const Line& line, std::uint32_t width) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(width) + 1, 0);
    for (std::uint32_t x = 0; x < width; ++x) px[x] = Pixel(line, x) ? 1 : 0;
    return px;
}

// First position >= from holding `colour`, or width.
std::uint32_t Find(const std::vector<std::uint8_t>& px, std::uint32_t width, std::uint32_t from, std::uint8_t colour) {
    std::uint32_t p = from;
    while (p < width && px[p] != colour) ++p;
    return p < width ? p : width;
}

void CheckRows(const Lines& rows, std::uint32_t width) {
    for (const Line& r : rows) {
        if (r.size() < LineBytes(width)) {
            std::fprintf(stderr, "faxenc: a row holds %zu bytes, width %u needs %zu\n", r.size(), width,
                         LineBytes(width));
            std::abort();
        }
    }
}

// The end of the stretch of `stretches` (may be null) that holds pixel x,
// or 0 when none does.
std::uint32_t StretchEnd(const std::vector<Stretch>* stretches, std::uint32_t x) {
    if (stretches == nullptr) return 0;
    for (const Stretch& s : *stretches) {
        if (s.From <= x && x < s.To) return s.To;
    }
    return 0;
}

// Pixels [x, to) in uncompressed mode, its entrance code written, then its
// exit code and the colour of pixel `to` (white at the width).
void PutUncompressed(BitWriter& w, const std::vector<std::uint8_t>& px, std::uint32_t width, std::uint32_t x,
                     std::uint32_t to) {
    for (;;) {
        std::uint32_t whites = 0;
        while (whites < 5 && x + whites < to && px[x + whites] == 0) ++whites;
        if (whites == 5) {
            w.Put(kUncompressedPattern[5]);
            x += 5;
        } else if (x + whites < to) {
            w.Put(kUncompressedPattern[whites]);
            x += whites + 1;
        } else {
            w.Put(kUncompressedExit[whites]);
            w.PutBit(to < width && px[to] == 1);
            return;
        }
    }
}

// One line coded two-dimensionally against `ref` (T.4 2D / T.6).
void Put2DLine(BitWriter& w, const std::vector<std::uint8_t>& cur, const std::vector<std::uint8_t>& ref,
               std::uint32_t width, const std::vector<Stretch>* stretches) {
    // a0 starts on an imaginary white pixel before the line; `start` is
    // the first position a search may look at (a0 + 1, or 0 at the start).
    bool atStart = true;
    std::uint32_t a0 = 0;
    std::uint8_t colour = 0;
    while (atStart || a0 < width) {
        // Uncompressed mode codes the pixels from a0 (from 0 at the start)
        // and leaves a0 on the pixel after them, which has the colour the
        // exit code gives.
        const std::uint32_t here = atStart ? 0 : a0;
        const std::uint32_t to = here < width ? StretchEnd(stretches, here) : 0;
        if (to != 0) {
            w.Put(kEnterUncompressed2D);
            PutUncompressed(w, cur, width, here, to);
            a0 = to;
            colour = to < width ? cur[to] : 0;
            atStart = false;
            continue;
        }
        const std::uint32_t start = atStart ? 0 : a0 + 1;
        const std::uint8_t other = static_cast<std::uint8_t>(1 - colour);
        const std::uint32_t a1 = Find(cur, width, start, other);
        const std::uint32_t a2 = a1 < width ? Find(cur, width, a1 + 1, colour) : width;
        // b1: the first change on the reference line after a0 towards
        // the colour opposite a0's. If the reference already has that
        // colour at `start`, the run it belongs to began at or before a0
        // and does not count.
        std::uint32_t b1 = Find(ref, width, start, other);
        const std::uint8_t before = start == 0 ? 0 : ref[start - 1];
        if (b1 == start && b1 < width && before == other) b1 = Find(ref, width, Find(ref, width, b1, colour), other);
        const std::uint32_t b2 = b1 < width ? Find(ref, width, b1 + 1, colour) : width;
        if (b2 < a1) {
            w.Put(kPass);
            a0 = b2;
        } else if (a1 + 3 >= b1 && b1 + 3 >= a1) {
            w.Put(kVertical[static_cast<int>(a1) - static_cast<int>(b1) + 3]);
            a0 = a1;
            colour = other;
        } else {
            w.Put(kHorizontal);
            PutRun(w, a1 - (atStart ? 0 : a0), colour == 1);
            PutRun(w, a2 - a1, other == 1);
            a0 = a2;
        }
        atStart = false;
    }
}

// One line of one-dimensional runs.
void Put1DLine(BitWriter& w, const std::vector<std::uint8_t>& px, std::uint32_t width,
               const std::vector<Stretch>* stretches) {
    std::uint32_t x = 0;
    std::uint8_t colour = 0;
    // A line always starts with a white run, of length 0 when the first
    // pixel is black; a zero-width line is a single white run of 0.
    do {
        // Uncompressed mode in place of a white run; the run after it has
        // the colour its exit code gives.
        const std::uint32_t to = colour == 0 && x < width ? StretchEnd(stretches, x) : 0;
        if (to != 0) {
            w.Put(kEnterUncompressed1D);
            PutUncompressed(w, px, width, x, to);
            x = to;
            colour = to < width ? px[to] : 0;
            continue;
        }
        const std::uint32_t end = Find(px, width, x, static_cast<std::uint8_t>(1 - colour));
        PutRun(w, end - x, colour == 1);
        x = end;
        colour = static_cast<std::uint8_t>(1 - colour);
    } while (x < width);
}

// The stretches of line y, or null.
const std::vector<Stretch>* StretchesOf(const Stretches* uncompressed, std::size_t y) {
    return uncompressed != nullptr && y < uncompressed->size() ? &(*uncompressed)[y] : nullptr;
}

}  // namespace

Stream EncodeG4Stream(const Lines& rows, std::uint32_t width, bool eofb, bool reverseBits,
                      const Stretches* uncompressed) {
    CheckRows(rows, width);
    BitWriter w;
    Stream s;
    std::vector<std::uint8_t> ref(static_cast<std::size_t>(width) + 1, 0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const std::vector<std::uint8_t> cur = Unpack(rows[y], width);
        s.LineStartBits.push_back(w.Position());
        Put2DLine(w, cur, ref, width, StretchesOf(uncompressed, y));
        s.LineEndBits.push_back(w.Position());
        ref = cur;
    }
    if (eofb) {
        w.Put(kEol);
        w.Put(kEol);
    }
    s.Bytes = w.Finish(reverseBits);
    return s;
}

std::vector<std::uint8_t> EncodeG4(const Lines& rows, std::uint32_t width, bool eofb, bool reverseBits,
                                   const Stretches* uncompressed) {
    return EncodeG4Stream(rows, width, eofb, reverseBits, uncompressed).Bytes;
}

Stream EncodeG3Stream(const Lines& rows, std::uint32_t width, bool rtc, bool reverseBits,
                      const Stretches* uncompressed) {
    CheckRows(rows, width);
    BitWriter w;
    Stream s;
    for (std::size_t y = 0; y < rows.size(); ++y) {
        w.AlignForEol();
        w.Put(kEol);
        s.LineStartBits.push_back(w.Position());
        Put1DLine(w, Unpack(rows[y], width), width, StretchesOf(uncompressed, y));
        s.LineEndBits.push_back(w.Position());
    }
    if (rtc) {
        w.AlignForEol();
        for (int i = 0; i < 6; ++i) w.Put(kEol);
    }
    s.Bytes = w.Finish(reverseBits);
    return s;
}

std::vector<std::uint8_t> EncodeG3(const Lines& rows, std::uint32_t width, bool rtc, bool reverseBits,
                                   const Stretches* uncompressed) {
    return EncodeG3Stream(rows, width, rtc, reverseBits, uncompressed).Bytes;
}

std::vector<std::uint8_t> EncodeG3WithoutEols(const Lines& rows, std::uint32_t width, bool alignRows) {
    CheckRows(rows, width);
    BitWriter w;
    for (const Line& row : rows) {
        if (alignRows) {
            while ((w.Position() & 7) != 0) w.PutBit(false);
        }
        Put1DLine(w, Unpack(row, width), width, nullptr);
    }
    return w.Finish(false);
}

std::vector<std::uint8_t> EncodeG3TwoDimensional(const Lines& rows, std::uint32_t width, std::uint32_t k,
                                                 bool alignEols, const Stretches* uncompressed) {
    CheckRows(rows, width);
    BitWriter w;
    std::vector<std::uint8_t> ref;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::uint8_t> cur = Unpack(rows[i], width);
        if (alignEols) w.AlignForEol();
        w.Put(kEol);
        const bool oneDimensional = i % k == 0;
        w.PutBit(oneDimensional);
        if (oneDimensional) {
            Put1DLine(w, cur, width, StretchesOf(uncompressed, i));
        } else {
            Put2DLine(w, cur, ref, width, StretchesOf(uncompressed, i));
        }
        ref = cur;
    }
    return w.Finish(false);
}

bool Pixel(const Line& line, std::uint32_t x) { return (line[x / 8] >> (7 - x % 8)) & 1u; }

void SetPixel(Line& line, std::uint32_t x, bool black) {
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (x % 8));
    if (black)
        line[x / 8] = static_cast<std::uint8_t>(line[x / 8] | mask);
    else
        line[x / 8] = static_cast<std::uint8_t>(line[x / 8] & ~mask);
}

void ClearPad(Line& line, std::uint32_t width) {
    if (width % 8 != 0 && !line.empty())
        line[width / 8] = static_cast<std::uint8_t>(line[width / 8] & (0xFF00u >> (width % 8)));
}

std::uint64_t Rng::Next() {
    State += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = State;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Line WhiteLine(std::uint32_t width) { return Line(LineBytes(width), 0x00); }

Line BlackLine(std::uint32_t width) {
    Line l(LineBytes(width), 0xFF);
    ClearPad(l, width);
    return l;
}

Line StripedLine(std::uint32_t width, std::uint32_t period, bool startBlack) {
    Line l = WhiteLine(width);
    for (std::uint32_t x = 0; x < width; ++x) SetPixel(l, x, ((x / period) % 2 == 1) != startBlack);
    return l;
}

Line RunsLine(std::uint32_t width, const std::vector<std::uint32_t>& runs) {
    Line l = WhiteLine(width);
    std::uint32_t x = 0;
    bool black = false;
    for (std::size_t i = 0; i < runs.size() && x < width; ++i) {
        const std::uint32_t end = i + 1 == runs.size() ? width : std::min(width, x + runs[i]);
        for (; x < end; ++x) SetPixel(l, x, black);
        black = !black;
    }
    return l;
}

Line NoiseLine(std::uint32_t width, Rng& rng, std::uint32_t blackPercent) {
    Line l = WhiteLine(width);
    for (std::uint32_t x = 0; x < width; ++x) SetPixel(l, x, rng.Below(100) < blackPercent);
    return l;
}

Line RandomRunsLine(std::uint32_t width, Rng& rng, std::uint32_t maxRun) {
    Line l = WhiteLine(width);
    std::uint32_t x = 0;
    bool black = rng.Below(2) == 1;
    while (x < width) {
        const std::uint32_t run = 1 + rng.Below(maxRun);
        const std::uint32_t end = std::min(width, x + run);
        for (; x < end; ++x) SetPixel(l, x, black);
        black = !black;
    }
    return l;
}

Stretches RandomStretches(std::uint32_t width, std::uint32_t height, Rng& rng) {
    Stretches all(height);
    if (width == 0) return all;
    for (std::vector<Stretch>& line : all) {
        const std::uint32_t length = 1 + rng.Below(std::min<std::uint32_t>(width, 1 + rng.Below(60)));
        switch (rng.Below(6)) {
            case 0: break;
            case 1: line.push_back({0, length}); break;
            case 2: line.push_back({width - length, width}); break;
            case 3: {
                const std::uint32_t from = rng.Below(width - length + 1);
                line.push_back({from, from + length});
                break;
            }
            case 4: {
                // A few, apart, anywhere.
                std::uint32_t x = rng.Below(std::min<std::uint32_t>(width, 20));
                while (x < width && line.size() < 6) {
                    const std::uint32_t to = std::min(width, x + 1 + rng.Below(30));
                    line.push_back({x, to});
                    x = to + 1 + rng.Below(width / 4 + 1);
                }
                break;
            }
            default: line.push_back({0, width}); break;
        }
    }
    return all;
}

const char* ContentName(Content c) {
    switch (c) {
        case Content::White: return "white";
        case Content::Black: return "black";
        case Content::Alternating: return "alternating";
        case Content::Checker: return "checker";
        case Content::Noise: return "noise";
        case Content::Runs: return "runs";
        case Content::LongRuns: return "longruns";
        case Content::Text: return "text";
        case Content::Halftone: return "halftone";
        case Content::Mixed: return "mixed";
    }
    return "?";
}

namespace {

// A page of "text": bands of glyph-like blobs made of short strokes, with
// margins and blank leading between bands, the way scanned letters look
// to a run-length coder (many short runs, vertically correlated).
Lines TextPage(std::uint32_t width, std::uint32_t height, Rng& rng) {
    Lines page(height, WhiteLine(width));
    const std::uint32_t margin = width / 12;
    const std::uint32_t band = 10 + rng.Below(14);
    const std::uint32_t leading = 4 + rng.Below(10);
    for (std::uint32_t top = margin / 2; top + band < height; top += band + leading) {
        std::uint32_t x = margin;
        while (x + 12 < width - margin / 2 + 1 && x + 12 <= width) {
            const std::uint32_t gw = 4 + rng.Below(8);
            if (rng.Below(9) == 0) {  // word gap
                x += gw;
                continue;
            }
            // Strokes: a few vertical and horizontal bars inside the glyph box.
            const std::uint32_t strokes = 2 + rng.Below(3);
            for (std::uint32_t s = 0; s < strokes; ++s) {
                const bool vertical = rng.Below(2) == 0;
                const std::uint32_t thick = 1 + rng.Below(3);
                if (vertical) {
                    const std::uint32_t cx = x + rng.Below(gw);
                    const std::uint32_t y0 = top + rng.Below(band / 2);
                    const std::uint32_t y1 = std::min(top + band, y0 + band / 2 + rng.Below(band / 2 + 1));
                    for (std::uint32_t y = y0; y < y1; ++y)
                        for (std::uint32_t t = 0; t < thick && cx + t < width; ++t) SetPixel(page[y], cx + t, true);
                } else {
                    const std::uint32_t cy = top + rng.Below(band);
                    for (std::uint32_t t = 0; t < thick && cy + t < height; ++t)
                        for (std::uint32_t px = x; px < x + gw && px < width; ++px) SetPixel(page[cy + t], px, true);
                }
            }
            x += gw + 1 + rng.Below(3);
        }
    }
    return page;
}

// Ordered-dither of a smooth field: grey areas become dense short runs that
// repeat from line to line with small shifts.
Lines HalftonePage(std::uint32_t width, std::uint32_t height, Rng& rng) {
    static const std::uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    Lines page(height, WhiteLine(width));
    const std::uint32_t cx = rng.Below(width + 1), cy = rng.Below(height + 1);
    const std::uint32_t scale = 8 + rng.Below(64);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t dx = x > cx ? x - cx : cx - x, dy = y > cy ? y - cy : cy - y;
            const std::uint32_t level = ((dx + dy) / scale) % 17;
            bool black = level > kBayer[y % 4][x % 4];
            if (rng.Below(64) == 0) black = !black;
            SetPixel(page[y], x, black);
        }
    }
    return page;
}

}  // namespace

Lines MakeImage(Content c, std::uint32_t width, std::uint32_t height, std::uint64_t seed) {
    Rng rng(seed);
    Lines img;
    img.reserve(height);
    switch (c) {
        case Content::White:
            img.assign(height, WhiteLine(width));
            break;
        case Content::Black:
            img.assign(height, BlackLine(width));
            break;
        case Content::Alternating:
            for (std::uint32_t y = 0; y < height; ++y) img.push_back(StripedLine(width, 1, false));
            break;
        case Content::Checker:
            for (std::uint32_t y = 0; y < height; ++y) img.push_back(StripedLine(width, 1, y % 2 == 1));
            break;
        case Content::Noise:
            for (std::uint32_t y = 0; y < height; ++y) img.push_back(NoiseLine(width, rng, 1 + rng.Below(99)));
            break;
        case Content::Runs:
            for (std::uint32_t y = 0; y < height; ++y) img.push_back(RandomRunsLine(width, rng, 1 + rng.Below(200)));
            break;
        case Content::LongRuns:
            for (std::uint32_t y = 0; y < height; ++y) img.push_back(RandomRunsLine(width, rng, 2000 + rng.Below(8000)));
            break;
        case Content::Text:
            img = TextPage(width, height, rng);
            break;
        case Content::Halftone:
            img = HalftonePage(width, height, rng);
            break;
        case Content::Mixed: {
            const Lines text = TextPage(width, height, rng);
            for (std::uint32_t y = 0; y < height; ++y) {
                switch (rng.Below(6)) {
                    case 0: img.push_back(WhiteLine(width)); break;
                    case 1: img.push_back(BlackLine(width)); break;
                    case 2: img.push_back(NoiseLine(width, rng, rng.Below(101))); break;
                    case 3: img.push_back(RandomRunsLine(width, rng, 1 + rng.Below(3000))); break;
                    case 4: img.push_back(StripedLine(width, 1 + rng.Below(9), rng.Below(2) == 1)); break;
                    default: img.push_back(text[y]); break;
                }
            }
            break;
        }
    }
    for (Line& l : img) ClearPad(l, width);
    return img;
}

long FirstDifference(const Lines& expected, const Lines& actual, std::uint32_t width, std::string* detail) {
    const std::size_t n = LineBytes(width);
    const std::size_t lines = std::max(expected.size(), actual.size());
    for (std::size_t y = 0; y < lines; ++y) {
        if (y >= expected.size() || y >= actual.size()) {
            if (detail) *detail = "line " + std::to_string(y) + " missing on one side";
            return static_cast<long>(y);
        }
        Line e = expected[y], a = actual[y];
        e.resize(n, 0);
        a.resize(n, 0);
        ClearPad(e, width);
        ClearPad(a, width);
        for (std::size_t i = 0; i < n; ++i) {
            if (e[i] != a[i]) {
                if (detail) {
                    char buf[160];
                    std::snprintf(buf, sizeof buf, "line %zu byte %zu: expected 0x%02X got 0x%02X", y, i, e[i], a[i]);
                    *detail = buf;
                }
                return static_cast<long>(y);
            }
        }
    }
    return -1;
}

}  // namespace faxenc
