// Test-only CCITT encoders (ITU-T T.4 one-dimensional Modified Huffman with
// EOL codes, and T.6 two-dimensional Group 4), written independently of the
// library's decoder so that they can judge it. Lines are packed 1-bit rows,
// (width + 7) / 8 bytes, first pixel in bit 7 of byte 0, 1 = black; pad bits
// beyond the width are ignored.
//
// Also the line patterns the fax tests share: structured rows (all white,
// all black, alternating, long runs) and seeded random and document-like
// content.
#ifndef TIFFVIEW_TESTS_FAXENCODER_H
#define TIFFVIEW_TESTS_FAXENCODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace faxenc {

using Line = std::vector<std::uint8_t>;
using Lines = std::vector<Line>;

// Stretches of lines coded in uncompressed mode (T4Options or T6Options
// bit 1): for each line, pixels [From, To), in order and apart. A stretch
// is entered at the first pixel in it where the line's coding lets it be:
// in a two-dimensional line where any mode code could stand, in a
// one-dimensional line where a white run code would. It is left at its end,
// with the colour of the pixel there (white at the line's end).
struct Stretch {
    std::uint32_t From;
    std::uint32_t To;
};
using Stretches = std::vector<std::vector<Stretch>>;

struct Stream {
    std::vector<std::uint8_t> Bytes;
    // Bit position (from the start of Bytes) just after the last code of
    // each line; a line's pixels are fully determined by the bits before it.
    std::vector<std::size_t> LineEndBits;
    // Bit position where each line's first code starts (after the EOL that
    // precedes it, for T.4).
    std::vector<std::size_t> LineStartBits;
};

// T.6: every line coded two-dimensionally against the line above (an
// all-white line above the first). `eofb` appends the end-of-block mark
// (two EOLs). The stream is padded with 0 bits to a whole byte.
// `reverseBits` bit-reverses every output byte (TIFF FillOrder 2).
Stream EncodeG4Stream(const Lines& rows, std::uint32_t width, bool eofb, bool reverseBits = false,
                      const Stretches* uncompressed = nullptr);
std::vector<std::uint8_t> EncodeG4(const Lines& rows, std::uint32_t width, bool eofb, bool reverseBits = false,
                                   const Stretches* uncompressed = nullptr);

// T.4 one-dimensional: an EOL before every line, each EOL preceded by the
// fewest 0 fill bits that make it end on a byte boundary, so every line's
// codes start on a byte boundary. `rtc` appends the return-to-control mark
// (six EOLs, the first byte-aligned). Padded with 0 bits to a whole byte.
Stream EncodeG3Stream(const Lines& rows, std::uint32_t width, bool rtc, bool reverseBits = false,
                      const Stretches* uncompressed = nullptr);
std::vector<std::uint8_t> EncodeG3(const Lines& rows, std::uint32_t width, bool rtc, bool reverseBits = false,
                                   const Stretches* uncompressed = nullptr);

// T.4 one-dimensional without a single EOL, as some writers store it: the
// lines back to back, or each from a byte boundary when `alignRows`.
std::vector<std::uint8_t> EncodeG3WithoutEols(const Lines& rows, std::uint32_t width, bool alignRows);

// T.4 two-dimensional: an EOL and a tag bit before every line; every k-th
// line from the first is coded one-dimensionally (tag 1), the others
// against the line above (tag 0). `alignEols`: each EOL ends on a byte
// boundary (T4Options bit 2), else no fill at all. Padded to a whole byte.
std::vector<std::uint8_t> EncodeG3TwoDimensional(const Lines& rows, std::uint32_t width, std::uint32_t k,
                                                 bool alignEols, const Stretches* uncompressed = nullptr);

// Bytes per packed line.
inline std::size_t LineBytes(std::uint32_t width) { return (static_cast<std::size_t>(width) + 7) / 8; }

// Pixel access on packed lines (1 = black).
bool Pixel(const Line& line, std::uint32_t x);
void SetPixel(Line& line, std::uint32_t x, bool black);
// Clears the pad bits after `width` so lines compare equal to decoded ones.
void ClearPad(Line& line, std::uint32_t width);

// Deterministic generator (splitmix64) so every failure can be replayed
// from its seed.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : State(seed) {}
    std::uint64_t Next();
    // Uniform in [0, bound) for bound > 0.
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

private:
    std::uint64_t State;
};

// Line patterns.
Line WhiteLine(std::uint32_t width);
Line BlackLine(std::uint32_t width);
// Pixel x is black when (x / period) is odd, starting white; period 1 gives
// alternating pixels.
Line StripedLine(std::uint32_t width, std::uint32_t period, bool startBlack = false);
// Runs given explicitly, white first, alternating; the last run is cut or
// extended to end at `width`.
Line RunsLine(std::uint32_t width, const std::vector<std::uint32_t>& runs);
// Independent random pixels, each black with the given probability (0..100).
Line NoiseLine(std::uint32_t width, Rng& rng, std::uint32_t blackPercent);
// Runs of random lengths up to maxRun.
Line RandomRunsLine(std::uint32_t width, Rng& rng, std::uint32_t maxRun);

// Stretches for uncompressed mode, `height` lists of them: none, one at a
// line's start, in its middle or at its end, a few, or the whole line.
Stretches RandomStretches(std::uint32_t width, std::uint32_t height, Rng& rng);

// Named image shapes for table-driven tests. Each returns `height` lines.
enum class Content { White, Black, Alternating, Checker, Noise, Runs, LongRuns, Text, Halftone, Mixed };
const char* ContentName(Content c);
Lines MakeImage(Content c, std::uint32_t width, std::uint32_t height, std::uint64_t seed);

// First line where two images differ, or -1; with `detail` describing it
// (line number and first differing byte).
long FirstDifference(const Lines& expected, const Lines& actual, std::uint32_t width, std::string* detail);

}  // namespace faxenc

#endif
