// Group 3 strip decoder for the any-bilevel reader. Each line is decoded
// into its changing elements, each toggled into a line of 64-pixel words as
// it comes (fax/FaxToggles.h), from which GetLine renders the line. Damage is handled as
// libtiff handles it, so that both read the same pixels: a line is ended by
// a bad code, an EOL or the end of the data; runs that go past the width
// are dropped and the rest of the line is white; the next line is found by
// searching for the next EOL.
//
// Lines are read with the fax decoders' bit sources (fax/FaxBits.h): the
// fast one first, and again from the line's start with the careful one
// when the line comes within eight bytes of the end of the data. The
// careful source reads 0 bits past the end, as libtiff does: a code that
// starts within the data may end past it, and only a code that would start
// past it finds the data ended. Where one lookup takes two codes, both must
// lie within the data; otherwise they are read one by one.
#include "fax/FaxLines.h"

#include <algorithm>
#include <new>

#include "TiffViewCodes.h"
#include "decoder/RepeatedBytes.h"
#include "fax/FaxBits.h"
#include "fax/FaxCodes.h"
#include "fax/FaxSteps.h"
#include "fax/FaxToggles.h"

namespace {

using tvfax::CarefulBits;
using tvfax::FastBits;
using tvfax::FindB1;
using tvfax::FindB1Near;
using tvfax::kFastMinBytes;
using tvfax::LeadingZeros64;
using tvfax::RunCodeAt;
using tvfax::RunPairAt;
using tvfax::StepB1;
using tvfax::StepB1Near;

// Copies of the width after a reference line's last element: b1 and b2 may
// stand on them, and a pass code steps two further.
constexpr std::uint32_t kSentinels = 6;
// A 0 before each line's first element.
constexpr std::uint32_t kLeading = 1;
// Elements a line may hold beyond twice its width (empty runs at the end,
// the elements a cleanup adds) before it is refused as damaged.
constexpr std::uint32_t kSlack = 16;
// A line of more elements than this is damaged whatever its width: it
// bounds the working storage of very wide pages.
constexpr std::uint64_t kMostElements = std::uint64_t{1} << 22;
// Elements a line may hold past its capacity: a one-dimensional line that
// fills it may still record the run it was in when its data went wrong, and
// Finish adds up to two more.
constexpr std::uint32_t kPastCapacity = 3;
constexpr unsigned kEolZeros = 11;  // an EOL is eleven zeros and a one
// What of Group 4's end of block (two EOLs) is left once its first EOL has
// been read as a two-dimensional code: seven zeros, then four bits.
constexpr unsigned kEolInLineRest = 4;
constexpr unsigned kBlockEndRest = 13;
// How far past the width a line's elements may be toggled as they are
// decoded (into words that are never rendered): a vertical code reaches
// three pixels past it, a horizontal code's two terminating codes 126.
// Elements of runs read code by code (their make-up codes may reach any
// length) are toggled at the width.
constexpr std::uint64_t kToggleMargin = 128;
// Uncompressed mode is entered by an extension code with the value 111:
// "0000001" "111" in place of a two-dimensional mode code, "000000001" "111"
// in place of a one-dimensional run code.
constexpr unsigned kEnter2DBits = 10;
constexpr std::uint64_t kEnter2D = 0x00F;  // 0000001111
constexpr unsigned kEnter1DBits = 12;
constexpr std::uint64_t kEnter1D = 0x00F;  // 000000001111
// Inside it, a code is told by its leading zeros: 0..4 zeros and a 1 are
// that many white pixels and a black one, five zeros and a 1 five white
// pixels; 6..10 zeros and a 1 leave the mode after 0..4 white pixels, and
// the bit after that 1 is the colour of the run that follows (1 black).
constexpr unsigned kPatternMostZeros = 5;
constexpr unsigned kExitMostZeros = 10;

// The next `n` bits of a filled source (n at most 16).
template <class Source>
std::uint64_t NextBits(const Source& bits, unsigned n) {
    return bits.Acc >> (64 - n);
}

}  // namespace

CFaxLines::CFaxLines(std::uint32_t compression, bool twoDimensional, bool uncompressed)
    : Compression(compression),
      TwoDimensional((twoDimensional && compression == 3) || compression == 4),
      Group4(compression == 4),
      Uncompressed(uncompressed && compression != 2) {
    // The decoding loops read the shared tables at their fixed address.
    GetFaxTables();
    SolidRowsOffered = true;
}

CFaxLines::~CFaxLines() = default;

void CFaxLines::ClearToggles() {
    if (Toggles) std::fill(Toggles.get(), Toggles.get() + ToggleWords, std::uint64_t{0});
}

void CFaxLines::Reset() {
    if (Pending) ClearToggles();
    BitOffset = 0;
    EolPending = false;
    BlockEnded = false;
    DataEnded = false;
    ReachPastEnd = 0;
    StripStarted = false;
    NoEols = false;
    Pending = false;
    SpanCount = 0;
    if (!Usable) return;
    // libtiff starts every strip with the same buffer as the reference,
    // whichever the last strip's lines left it in: after a strip of an odd
    // number of swaps the buffers trade places, and each keeps its marks.
    if (RefRuns.Marks != MarkStore.get()) {
        KeepMarksFrom(RefRuns, 0);
        KeepMarksFrom(CurRuns, 0);
        std::swap(RefRuns, CurRuns);
    }
    // The first reference line of a strip is white: one run of the width,
    // then libtiff's empty one. It takes the place of the line before in
    // the reference's buffer, whose marks past it are kept first.
    KeepMarksFrom(RefRuns, 2);
    RefRuns.Marks[0] = 1;
    RefRuns.Marks[1] = 0;
    RefRuns.Line = nullptr;
    RefRuns.Written = 2;
    RefCount = 1;
    Ref[0] = Width;
    SetSentinels();
}

void CFaxLines::SetInvert(std::int32_t invert) { InvertMask = invert != 0 ? 0xFF : 0; }

int CFaxLines::SetWidth(std::uint32_t width) {
    Usable = false;
    Width = width;
    RowBytes = static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8);
    // At least the room libtiff gives a line, so that a line it decodes is
    // never refused here.
    const std::uint64_t libtiffRuns = (std::uint64_t{width} + 1 + 31) / 32 * 32 * 2;
    const std::uint64_t elements = std::min<std::uint64_t>(libtiffRuns + kSlack, kMostElements);
    Capacity = static_cast<std::uint32_t>(elements);
    ToggleWords = static_cast<std::size_t>((std::uint64_t{width} + kToggleMargin) / 64 + 1);
    const std::uint64_t lineRoom = elements + kPastCapacity + kSentinels;
    try {
        Store.reset(new std::uint64_t[3 * (kLeading + lineRoom)]);
        MarkStore.reset(new std::uint8_t[2 * lineRoom]());
        Toggles.reset(new std::uint64_t[ToggleWords]());
    } catch (const std::bad_alloc&) {
        Store.reset();
        MarkStore.reset();
        Toggles.reset();
        return 0;
    }
    RefRuns = RunMarks{MarkStore.get(), nullptr, 0};
    CurRuns = RunMarks{MarkStore.get() + lineRoom, nullptr, 0};
    // Each array starts one element early, at a 0 that is never written:
    // b1 may step back onto it (see Line2D).
    Ref = Store.get() + kLeading;
    Cur = Ref + lineRoom + kLeading;
    Spare = Cur + lineRoom + kLeading;
    Ref[-1] = 0;
    Cur[-1] = 0;
    Spare[-1] = 0;
    Usable = GetFaxTables().Valid;
    Reset();
    return Usable ? 1 : 0;
}

// Moves to the start of the next line: for Compression 3 past its EOL
// (after any fill), for Compression 2 to the next byte. Sets `skipped` when
// coded bits had to be stepped over to find the EOL.
template <class Source>
CFaxLines::Start CFaxLines::Sync(Source& bits, bool& skipped) const {
    if (!bits.Fill()) return Start::Careful;
    if (NoEols) {
        if (AlignedRows) bits.Consume(static_cast<unsigned>((8 - bits.Position() % 8) % 8));
        if (!bits.Fill()) return Start::Careful;
        return bits.AtEnd() || InputBits - bits.Position() <= TrailingZeros ? Start::NoLine : Start::Found;
    }
    if (Compression == 2) {
        bits.Consume(bits.ToByteBoundary());
        if (!bits.Fill()) return Start::Careful;
        return bits.AtEnd() ? Start::NoLine : Start::Found;
    }
    if (!EolPending) {
        // Step to eleven zeros: bits stepped over were not the EOL this line
        // should start with. No eleven zeros start before the last 1 seen,
        // so the step goes past it.
        for (;;) {
            if (!bits.Fill()) return Start::Careful;
            if (bits.Beyond(kEolZeros)) return Start::NoLine;
            const std::uint64_t window = NextBits(bits, kEolZeros);
            if (window == 0) break;
            skipped = true;
            bits.Consume(kEolZeros - static_cast<unsigned>(__builtin_ctzll(window)));
        }
    }
    // Any number of zeros (fill) up to the EOL's one. libtiff looks for it
    // a byte at a time from here, asking for eight bits each time: near the
    // end of the data, the byte that holds the 1 may run past it, and the 0
    // bits libtiff makes up for the rest are there for the codes after.
    const std::uint64_t zerosFrom = bits.Position();
    for (;;) {
        if (!bits.Fill()) return Start::Careful;
        if (bits.AtEnd()) return Start::NoLine;
        const unsigned zeros = LeadingZeros64(bits.Acc);
        if (zeros < bits.Held) {
            const std::uint64_t one = bits.Position() + zeros;
            bits.NeedFrom(zerosFrom + (one - zerosFrom) / 8 * 8, 8);
            // In two steps: the 1 may be the last of 64 held bits, and a
            // 64-bit shift is not defined.
            bits.Consume(zeros);
            bits.Consume(1);
            if (RowsAligned) {
                // The row's codes start at the next byte boundary.
                if (!bits.Fill()) return Start::Careful;
                bits.Consume(static_cast<unsigned>((8 - bits.Position() % 8) % 8));
            }
            return Start::Found;
        }
        bits.Consume(std::min(bits.Held, 32u));
    }
}

namespace {

// Whether the data holds an EOL anywhere: eleven zeros, then a one.
bool HoldsEol(const std::uint8_t* input, std::uint32_t length) {
    unsigned zeros = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        const unsigned byte = input[i];
        if (byte == 0) {
            zeros += 8;
            continue;
        }
        if (zeros + static_cast<unsigned>(__builtin_clz(byte) - 24) >= kEolZeros) return true;
        // The zeros after the byte's last one start the next run.
        zeros = static_cast<unsigned>(__builtin_ctz(byte));
    }
    return false;
}

// How many lines of a few a strip without EOLs starts with whose runs
// reach exactly the width, read back to back or from byte boundaries.
constexpr std::uint32_t kNoEolProbeLines = 32;

}  // namespace

// How many lines, of the first few, read whole with the given framing:
// back to back, or each from a byte boundary.
std::uint32_t CFaxLines::LinesReadWhole(const std::uint8_t* input, std::uint32_t length, bool aligned) {
    CarefulBits bits(nullptr, 0, input, length, false);
    bits.Refill();
    std::uint32_t lines = 0;
    while (lines < kNoEolProbeLines) {
        if (aligned) bits.Consume(static_cast<unsigned>((8 - bits.Position() % 8) % 8));
        bits.Fill();
        // Only fill bits left: the data ends here.
        if (bits.AtEnd() || std::uint64_t{length} * 8 - bits.Position() <= TrailingZeros) break;
        const End end = Line1D(bits);
        ClearToggles();
        if (end != End::Complete || CurCount == 0 || Cur[CurCount - 1] != Width) break;
        ++lines;
    }
    return lines;
}

// A one-dimensional Group 3 strip that holds no EOL at all, and whose first
// lines read whole without them, was written without EOLs: libtiff would
// look for them and read nothing. Its lines are read as written instead,
// back to back or from byte boundaries, whichever reads more of them whole.
// (Where fill bits and codes line up as an EOL would, the strip is read as
// libtiff reads it.)
void CFaxLines::StartStrip(const std::uint8_t* input, std::uint32_t length) {
    StripStarted = true;
    NoEols = false;
    if (Compression != 3 || TwoDimensional || HoldsEol(input, length)) return;
    // The zero bits that fill the last byte start no line.
    TrailingZeros = 0;
    for (std::uint32_t i = length; i-- > 0;) {
        if (input[i] != 0) {
            TrailingZeros += static_cast<unsigned>(__builtin_ctz(input[i]));
            break;
        }
        TrailingZeros += 8;
    }
    const std::uint32_t unaligned = LinesReadWhole(input, length, false);
    const std::uint32_t aligned = LinesReadWhole(input, length, true);
    AlignedRows = aligned > unaligned;
    NoEols = std::max(unaligned, aligned) >= 2;
}

// Finds the next line, reads its tag bit where it has one, and decodes it.
template <class Source>
CFaxLines::End CFaxLines::DecodeLine(Source& bits, bool& skipped) {
    if (Group4) {
        // Lines follow each other with nothing between them, or from byte
        // boundaries.
        if (!bits.Fill()) return End::Careful;
        if (RowsAligned) {
            bits.Consume(static_cast<unsigned>((8 - bits.Position() % 8) % 8));
            if (!bits.Fill()) return End::Careful;
        }
        if (!bits.Need(kModeMaxBits)) return End::NoLine;
        const End end = Line2D(bits);
        if (end == End::Careful) return end;
        if (BlockEnded || end == End::EolInLine || end == End::Data) {
            // libtiff takes an EOL for the start of the end of block and
            // steps over the 13 bits it expects next, after that line and
            // every later one (and so after a line the data cut short).
            if (!bits.Fill()) return End::Careful;
            bits.Need(kBlockEndRest);
            bits.Consume(kBlockEndRest);
        }
        return end;
    }
    const Start start = Sync(bits, skipped);
    if (start != Start::Found) return start == Start::Careful ? End::Careful : End::NoLine;
    if (!TwoDimensional) return Line1D(bits);
    // The tag bit: 1 for a one-dimensional line, 0 for a two-dimensional one
    // (a 0 libtiff made up, too).
    if (!bits.Fill()) return End::Careful;
    if (!bits.Need(1)) return End::NoLine;
    const bool oneDimensional = NextBits(bits, 1) != 0;
    bits.Consume(1);
    return oneDimensional ? Line1D(bits) : Line2D(bits);
}

// One run code of the given colour, its value added to a0: Complete when
// it was read, with `open` set for a make-up code (the run goes on); stops
// at an EOL or a code that matches none (neither read), or where the data
// ends.
template <class Source>
inline CFaxLines::End CFaxLines::ReadCode(Source& bits, bool white, std::uint64_t& a0, bool& open) {
    if (!bits.Need(white ? kWhiteMaxBits : kBlackMaxBits)) return End::Data;
    unsigned length;
    std::uint32_t value;
    if (TV_FAX_RARELY(!RunCodeAt(bits.Acc, white, length, value))) {
        return NextBits(bits, kEolZeros) == 0 ? End::Eol : End::BadCode;
    }
    bits.Consume(length);
    a0 += value;
    open = value >= 64;
    return End::Complete;
}

// The codes of one run, make-up codes and then the terminating code that
// ends it (Complete once the run is whole), kept out of line for the
// two-dimensional loop's rare runs.
template <class Source>
TV_FAX_NOINLINE CFaxLines::End CFaxLines::ReadRunApart(Source& bits, bool white, std::uint64_t& a0) {
    for (;;) {
        if (!bits.Fill()) return End::Careful;
        bool open = false;
        const End code = ReadCode(bits, white, a0, open);
        if (code != End::Complete || !open) return code;
    }
}

namespace {

// libtiff drops a white run and the black run after it when both are
// empty, so the line after this one, if two-dimensional, finds its
// reference without them (its first changing element moves). The pixels
// stay: both elements toggled the same place. `out` is one past the black
// run's element, or, with `whiteAfter`, one past the white run's element
// that followed it. Returns the new end.
std::uint64_t* DropEmptyPair(const std::uint64_t* cur, std::uint64_t* out, bool whiteAfter) {
    std::uint64_t* const black = whiteAfter ? out - 2 : out - 1;
    if (black - cur < 1) return out;
    const std::uint64_t before = black - cur >= 2 ? black[-2] : 0;
    if (black[-1] != before || black[0] != before) return out;
    if (!whiteAfter) return out - 2;
    black[-1] = black[1];
    return black;
}

}  // namespace

// One line of one-dimensional codes: runs alternate white and black from
// pixel 0, and the line is whole once a run reaches the width.
//
// The strict decoder's CFaxDecoder::Line1D reads the same codes with the
// same lookups (fax/FaxSteps.h); why the two loops stay apart is told
// there: they part wherever a line goes wrong.
template <class Source>
TV_FAX_NOINLINE CFaxLines::End CFaxLines::Line1D(Source& source) {
    // Working on copies lets the compiler keep the source and the output
    // position in registers: stores into the element array could otherwise
    // alias them.
    Source bits = source;
    const std::uint64_t width = Width;
    std::uint64_t* const cur = Cur;
    std::uint64_t* const toggles = Toggles.get();
    // The next element's place, and the end of the places a line may fill.
    std::uint64_t* out = cur;
    const std::uint64_t* const roomEnd = cur + Capacity;
    std::uint64_t a0 = 0;
    // Where the run being read started: a make-up code leaves it open.
    std::uint64_t start = 0;
    bool white = true;
    End end;
    for (;;) {
        if (!bits.Fill()) return End::Careful;
        // Two terminating codes, the one that ends this run and the next
        // run's, in one lookup, when the line goes on after the first.
        const std::uint32_t pair = RunPairAt(bits.Acc, white);
        if (pair != 0) {
            const std::uint64_t first = a0 + FaxPairFirst(pair);
            if (TV_FAX_LIKELY(first < width && out + 1 < roomEnd && bits.Within(FaxPairLength(pair) + kBlackMaxBits))) {
                bits.Consume(FaxPairLength(pair));
                a0 = first + FaxPairSecond(pair);
                start = a0;
                out[0] = first;
                out[1] = a0;
                out += 2;
                ToggleFaxElement(toggles, first);
                ToggleFaxElement(toggles, a0);
                // (The pair tables hold runs of 1 to 63 pixels: an empty
                // black run, which libtiff drops, is read below.)
                if (a0 >= width) {
                    end = End::Complete;
                    break;
                }
                continue;
            }
        }
        // One code of the run. A make-up code leaves it open: its
        // terminating code may then come in a pair with the next run's.
        bool open = false;
        const End run = ReadCode(bits, white, a0, open);
        if (TV_FAX_LIKELY(run == End::Complete) && open) continue;
        if (TV_FAX_RARELY(run != End::Complete)) {
            // Uncompressed mode, where a run's first code would stand (its
            // entrance code takes a white run's place; no run code of
            // either colour starts so, so a black run's place is read
            // alike). Its exit code tells the colour of the run after it.
            if (run == End::BadCode && Uncompressed && a0 == start && NextBits(bits, kEnter1DBits) == kEnter1D) {
                bits.Consume(kEnter1DBits);
                // On copies, which leave the loop's own variables free to
                // stay in registers.
                Source runBits = bits;
                std::uint64_t* runOut = out;
                std::uint64_t runA0 = a0;
                const End pixels = UncompressedRun(runBits, runOut, runA0);
                bits = runBits;
                out = runOut;
                a0 = runA0;
                if (pixels == End::Complete) {
                    white = ((out - cur) & 1) == 0;
                    start = a0;
                    if (a0 < width) continue;
                }
                if (pixels == End::Careful) return pixels;
                end = pixels;
                break;
            }
            // libtiff reads an EOL's eleven zeros as a code of its own
            // (modified Huffman rows then align after them).
            if (run == End::Eol) bits.Consume(kEolZeros);
            // A run cut short keeps what its make-up codes gave it.
            if (a0 > start) {
                *out++ = a0;
                ToggleFaxElement(toggles, std::min(a0, width));
            }
            end = run;
            break;
        }
        if (TV_FAX_RARELY(out >= roomEnd)) {
            end = End::BadCode;
            break;
        }
        *out++ = a0;
        ToggleFaxElement(toggles, std::min(a0, width));
        if (a0 >= width) {
            end = End::Complete;
            break;
        }
        if (!white && TV_FAX_RARELY(a0 == start)) out = DropEmptyPair(cur, out, false);
        white = !white;
        start = a0;
    }
    source = bits;
    CurCount = static_cast<std::uint32_t>(out - cur);
    return end;
}

// One line of two-dimensional codes against the reference line Ref.
//
// The strict decoder's CFaxDecoder::Loop2D reads the same codes with the
// same steps (fax/FaxSteps.h); why the two loops stay apart is told there:
// past each code's lookup, the two handle it differently.
template <class Source>
TV_FAX_NOINLINE CFaxLines::End CFaxLines::Line2D(Source& source) {
    // Working on copies lets the compiler keep the source and the output
    // position in registers: stores into the element array could otherwise
    // alias them.
    Source bits = source;
    const FaxTables_t& tables = gFaxTables;
    const std::uint64_t width = Width;
    std::uint64_t* const cur = Cur;
    std::uint64_t* const toggles = Toggles.get();
    // The next element's place, and the last place from which two more
    // elements still leave room for one (the line is refused once fewer
    // than two places are left at the start of a code).
    std::uint64_t* out = cur;
    const std::uint64_t* const roomForPair = cur + Capacity - 3;
    std::uint64_t a0 = 0;
    // b1's candidate on the reference line; its parity there is the colour
    // at a0. It may stand on the 0 before the line's first element, which
    // the next step past a0 leaves at once.
    const std::uint64_t* b = Ref;
    End end;

    // A vertical code with b standing on b1: a1 is b1 moved by `shift`,
    // and the colour changes. False, with nothing changed, when a1 would
    // lie before a0 (b1 itself never does).
    auto vertical = [&](std::int64_t shift) TV_FAX_STEP {
        const std::uint64_t a1 = *b + static_cast<std::uint64_t>(shift);
        if (TV_FAX_RARELY(static_cast<std::int64_t>(a1 - a0) < 0)) return false;
        a0 = a1;
        *out++ = a0;
        ToggleFaxElement(toggles, a0);
        // The next b1 is of the other colour: the element after b1, or for
        // a1 left of b1 the one before it, which the next step moves on
        // from when it lies at or before a1.
        b += shift < 0 ? -1 : 1;
        return true;
    };
    // Two vertical codes found in one lookup (the second V0, VR1 or VL1),
    // or one alone, b on b1; the line may end after the first. False, with
    // nothing read, when the first cannot be taken; a second that cannot is
    // left unread.
    auto verticalPair = [&](const FaxVerticalPair_t& pair) TV_FAX_STEP {
        if (TV_FAX_RARELY(!vertical(pair.D1))) return false;
        if (a0 >= width || pair.Total == pair.First) {
            bits.Consume(pair.First);
            return true;
        }
        StepB1Near(b, a0);
        bits.Consume(vertical(pair.D2) ? pair.Total : pair.First);
        return true;
    };
    // An element of a run read code by code.
    auto addRunEnd = [&]() TV_FAX_STEP {
        *out++ = a0;
        ToggleFaxElement(toggles, std::min(a0, width));
    };
    // Records where a line cut short or ended by a pass code stands, when
    // that is past its last element (pass codes went over pixels of a0's
    // colour).
    auto keepA0 = [&]() TV_FAX_STEP {
        if (a0 > (out != cur ? out[-1] : 0)) addRunEnd();
    };
    // Pass codes, the first one read: a0 moves to b2. They come in runs
    // (below a line of many short runs): the next one is taken here while
    // the line goes on. Passing adds no element, so the room checked stays.
    auto passCodes = [&]() TV_FAX_STEP {
        for (;;) {
            a0 = b[1];
            b += 2;
            if (a0 >= width || !bits.Fill() || !bits.Within(kModeMaxBits) || (bits.Acc >> 60) != 1) return;
            bits.Consume(4);
            FindB1(b, a0, out != cur);
        }
    };
    // A horizontal code's two runs read code by code (make-up codes, runs
    // past the width, bits that are not all data). Complete when both are
    // whole; a run that meets the end of the data keeps where it stands,
    // even when it is empty.
    auto horizontalByCode = [&]() TV_FAX_STEP {
        End run = End::Complete;
        for (int r = 0; r < 2 && run == End::Complete; ++r) {
            // On copies, which leave the loop's own variables free to
            // stay in registers.
            Source runBits = bits;
            std::uint64_t runEnd = a0;
            run = ReadRunApart(runBits, ((out - cur) & 1) == 0, runEnd);
            bits = runBits;
            a0 = runEnd;
            if (run == End::Complete) addRunEnd();
        }
        if (TV_FAX_LIKELY(run == End::Complete) || run == End::Careful) return run;
        if (run == End::Data) {
            addRunEnd();
            return run;
        }
        keepA0();
        // libtiff's run tables hold the EOL as its eleven zeros: read as a
        // code that is no run, they are stepped over and the line ends as
        // at a bad code.
        if (run == End::Eol) bits.Consume(kEolZeros);
        return End::BadCode;
    };
    // A horizontal code's two runs, its code read: two terminating codes
    // of the two colours in one lookup. A horizontal code is often followed
    // by another (runs with no edges above them), taken here while the line
    // goes on and has room; one that needs more is read code by code.
    // Complete when the line goes on.
    auto horizontal = [&]() TV_FAX_STEP {
        const bool whiteFirst = ((out - cur) & 1) == 0;
        for (;;) {
            if (!bits.Fill()) return End::Careful;
            const std::uint32_t runs = RunPairAt(bits.Acc, whiteFirst);
            if (TV_FAX_RARELY(runs == 0 || !bits.Within(FaxPairLength(runs) + kBlackMaxBits))) break;
            bits.Consume(FaxPairLength(runs));
            const std::uint64_t first = a0 + FaxPairFirst(runs);
            a0 = first + FaxPairSecond(runs);
            out[0] = first;
            out[1] = a0;
            out += 2;
            ToggleFaxElement(toggles, first);
            ToggleFaxElement(toggles, a0);
            if (!(a0 < width && out <= roomForPair && bits.Fill() && bits.Within(kModeMaxBits) && (bits.Acc >> 61) == 1)) {
                return End::Complete;
            }
            bits.Consume(3);
        }
        return horizontalByCode();
    };

    // A white line below a white one, the commonest line of all, is one V0
    // code on b1 at the width.
    if (RefCount == 1) {
        if (!bits.Fill()) return End::Careful;
        if (bits.Need(kModeMaxBits) && (bits.Acc >> 63) != 0) {
            bits.Consume(1);
            vertical(0);
            source = bits;
            CurCount = 1;
            return End::Complete;
        }
    }
    for (;;) {
        if (a0 >= width) {
            keepA0();
            end = End::Complete;
            break;
        }
        FindB1Near(b, a0, out != cur);
#ifdef FAXDEBUG
        if (b < Ref - 1 || b > Ref + RefCount + kSentinels || *b > Width + 1 || b[-1] > Width + 1) { fprintf(stderr, "b at %ld of %u, a0 %lu\n", (long)(b - Ref), RefCount, (unsigned long)a0); abort(); }
#endif
        if (!bits.Fill()) return End::Careful;
        if (TV_FAX_RARELY(!bits.Need(kModeMaxBits))) {
            keepA0();
            end = End::Data;
            break;
        }
        const std::uint64_t acc = bits.Acc;
        // Two vertical codes at once (the second a short one), or one alone
        // (VL3 too, common on halftone lines); anything unusual is left to
        // the code by code path below. (Room for both elements also means
        // room for the one the check below asks.)
        const FaxVerticalPair_t& pair = kFaxVerticalCodes.At(acc);
        if (pair.Total != 0 && out < roomForPair && bits.Within(pair.Total + kModeMaxBits) &&
            TV_FAX_LIKELY(verticalPair(pair))) {
            continue;
        }
        if (TV_FAX_RARELY(out > roomForPair)) {
            end = End::BadCode;
            break;
        }
        // Pass ("0001") and horizontal ("001") codes, the commonest after
        // the short vertical ones, are told by their top bits; their 1 is
        // input (made-up bits are 0), so they are whole.
        unsigned mode;
        unsigned modeLength;
        if ((acc >> 61) == 1) {
            mode = kModeHorizontal;
            modeLength = 3;
        } else if ((acc >> 60) == 1) {
            mode = kModePass;
            modeLength = 4;
        } else {
            const std::uint16_t modeEntry = tables.FastMode[acc >> (64 - kModeMaxBits)];
            mode = FaxFastRow(modeEntry);
            modeLength = FaxFastLength(modeEntry);
        }
        if (TV_FAX_RARELY(mode >= kModeExtension)) {
            if (mode == kModeExtension && Uncompressed && NextBits(bits, kEnter2DBits) == kEnter2D) {
                bits.Consume(kEnter2DBits);
                const bool wasWhite = ((out - cur) & 1) == 0;
                // On copies, as above.
                Source runBits = bits;
                std::uint64_t* runOut = out;
                std::uint64_t runA0 = a0;
                const End pixels = UncompressedRun(runBits, runOut, runA0);
                bits = runBits;
                out = runOut;
                a0 = runA0;
                if (pixels == End::Careful) return pixels;
                if (pixels != End::Complete) {
                    end = pixels;
                    break;
                }
                // b must stand on a candidate of a0's colour, which the
                // exit code chose; every element before it lies at or
                // before a0, as before the first code.
                const bool white = ((out - cur) & 1) == 0;
                if (white != wasWhite) b += b < Ref ? 1 : -1;
                // A0 stands on a pixel now (b1 lies past it) unless nothing
                // was coded and the line still starts white.
                if (a0 < width && (a0 > 0 || out != cur)) StepB1(b, a0);
                continue;
            }
            bits.Consume(modeLength);
            end = EscapeIn2D(bits, mode, out, a0);
            break;
        }
        bits.Consume(modeLength);
        if (mode == kModeHorizontal) {
            const End runs = horizontal();
            if (TV_FAX_LIKELY(runs == End::Complete)) continue;
            if (runs == End::Careful) return runs;
            end = runs;
            break;
        }
        if (mode == kModePass) {
            passCodes();
            continue;
        }
        // VR1..VR3, VL1..VL3.
        const std::int64_t shift = mode <= kModeVR3 ? static_cast<std::int64_t>(mode - kModeV0)
                                                    : -static_cast<std::int64_t>(mode - kModeVR3);
        if (!vertical(shift)) {
            keepA0();
            end = End::BadCode;
            break;
        }
    }
    source = bits;
    CurCount = static_cast<std::uint32_t>(out - cur);
    return end;
}

// The codes of uncompressed mode, its entrance code read, up to and with
// its exit code: the pixels they give become elements from a0 on, and the
// exit code's colour bit the colour at a0. Complete once it is left (a0
// may then stand at the width); otherwise the line ends where the pixels
// read so far leave it: BadCode for a code of none of its forms, pixels
// past the width, or a line with no room for more elements (each code adds
// at most two, and the line keeps one more), Data where the data ends.
template <class Source>
TV_FAX_NOINLINE CFaxLines::End CFaxLines::UncompressedRun(Source& source, std::uint64_t*& outAt,
                                                          std::uint64_t& a0At) {
    Source bits = source;
    std::uint64_t* out = outAt;
    std::uint64_t a0 = a0At;
    std::uint64_t* const cur = Cur;
    std::uint64_t* const toggles = Toggles.get();
    const std::uint64_t width = Width;
    const std::uint64_t* const roomForPair = cur + Capacity - 2;
    bool black = ((out - cur) & 1) != 0;
    // Pixels of one colour from a0: a run of the other colour ends there.
    auto pixels = [&](bool ofBlack, std::uint64_t count) {
        if (count == 0) return;
        if (black != ofBlack) {
            *out++ = a0;
            ToggleFaxElement(toggles, a0);
            black = ofBlack;
        }
        a0 += count;
    };
    End end;
    for (;;) {
        if (!bits.Fill()) return End::Careful;
        // A code that starts within the data is read, any bits of it past
        // the end as 0 (its line is then cut off); asking for no more than
        // one bit leaves where libtiff would find the data ended as it was.
        if (!bits.Need(1)) {
            end = End::Data;
            break;
        }
        // At least 16 bits are held: the zeros and the bit after a code's 1.
        const unsigned zeros = LeadingZeros64(bits.Acc);
        if (zeros > kExitMostZeros || out > roomForPair) {
            // Zeros that run to the end of the data are where it ended.
            end = zeros > kExitMostZeros && bits.Beyond(kExitMostZeros + 1) ? End::Data : End::BadCode;
            break;
        }
        if (zeros <= kPatternMostZeros) {
            const unsigned blackPixels = zeros < kPatternMostZeros ? 1 : 0;
            if (a0 + zeros + blackPixels > width) {
                end = End::BadCode;
                break;
            }
            bits.Consume(zeros + 1);
            pixels(false, zeros);
            pixels(true, blackPixels);
            continue;
        }
        const unsigned whites = zeros - (kPatternMostZeros + 1);
        if (a0 + whites > width) {
            end = End::BadCode;
            break;
        }
        const bool nextBlack = ((bits.Acc >> (62 - zeros)) & 1) != 0;
        bits.Consume(zeros + 2);
        pixels(false, whites);
        if (nextBlack != black) {
            *out++ = a0;
            ToggleFaxElement(toggles, a0);
        }
        end = End::Complete;
        break;
    }
    // A line that ends here keeps its pixels up to a0, and so does one
    // whose last pixels were coded here: its last run ends at the width.
    if ((end != End::Complete || a0 >= width) && a0 > (out != cur ? out[-1] : 0)) {
        *out++ = a0;
        ToggleFaxElement(toggles, a0);
    }
    source = bits;
    outAt = out;
    a0At = a0;
    return end;
}

// An extension code or seven zeros (an EOL) inside a two-dimensional line,
// its seven bits read, ends the line as libtiff ends it: from the line's
// last element on, the line takes the colour at a0 up to the distance pass
// codes moved a0 past that element, which is left at the line's end in the
// other colour. After seven zeros the next four bits are read too.
template <class Source>
CFaxLines::End CFaxLines::EscapeIn2D(Source& bits, unsigned mode, std::uint64_t*& out, std::uint64_t a0) {
    const std::uint64_t last = out != Cur ? out[-1] : 0;
    const std::uint64_t passed = a0 - last;
    // The run to the width less `passed`, then (when pass codes moved a0)
    // the passed run, then what libtiff's cleanup of a line short of the
    // width adds: an empty run when the next would be black, and a white
    // run, both past the width and so empty.
    *out = Width - passed;
    ToggleFaxElement(Toggles.get(), *out++);
    if (passed > 0) *out++ = Width;
    if ((out - Cur) % 2 == 1) *out++ = Width;
    *out++ = Width;
    CurCount = static_cast<std::uint32_t>(out - Cur);
    if (mode != kModeZeros) return End::BadCode;
    if (!bits.Fill()) return End::Careful;
    if (!bits.Need(kEolInLineRest)) return End::Data;
    bits.Consume(kEolInLineRest);
    return End::EolInLine;
}

// Brings the line to exactly the width: runs reaching past it are dropped,
// and what is missing is white.
// Returns the first element it wrote (CurCount when it wrote none).
std::uint32_t CFaxLines::Finish(End end) {
    std::uint64_t a0 = CurCount > 0 ? Cur[CurCount - 1] : 0;
    if (end == End::Complete && a0 == Width) return CurCount;
    while (a0 > Width && CurCount > 0) {
        --CurCount;
        a0 = CurCount > 0 ? Cur[CurCount - 1] : 0;
    }
    const std::uint32_t kept = CurCount;
    if (a0 < Width) {
        // A line cut short in a black run ends it where it stands.
        if (CurCount % 2 == 1) {
            Cur[CurCount++] = a0;
            ToggleFaxElement(Toggles.get(), a0);
        }
        Cur[CurCount++] = Width;
    }
    return kept;
}

// Notes which of the runs ending at Cur[from..to) are empty, in the
// marks of Cur's buffer.
void CFaxLines::MarkRuns(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t i = from; i < to; ++i) {
        CurRuns.Marks[i] = Cur[i] != Cur[static_cast<std::ptrdiff_t>(i) - 1] ? 1 : 0;
    }
}

// A line is about to take the place of the last line of a buffer, writing
// its indices below `from`: the marks of the last line's that stay to be
// seen (its runs from `from` on, and the empty run that ended it) are
// written out while its elements are still there.
void CFaxLines::KeepMarksFrom(RunMarks& runs, std::uint32_t from) const {
    if (runs.Line == nullptr) return;
    const std::uint64_t* const line = runs.Line;
    const std::uint32_t end = runs.Written - 1;  // the line's element count
    for (std::uint32_t i = from; i < end; ++i) {
        runs.Marks[i] = line[i] != line[static_cast<std::ptrdiff_t>(i) - 1] ? 1 : 0;
    }
    if (from <= end) runs.Marks[end] = 0;
    runs.Line = nullptr;
}

// The copies of the width after the reference line. The second stands
// where libtiff reads the run an older line left: past the width when that
// run is not empty. The reference line's own marks end before it (its
// empty last run), so the buffer's written marks hold that run's.
inline void CFaxLines::SetSentinels() {
    std::uint64_t* const after = Ref + RefCount;
    for (std::uint32_t i = 0; i < kSentinels; ++i) after[i] = Width;
    after[1] += RefRuns.Marks[RefCount + 1];
}

// The line just decoded becomes the next one's reference, followed by its
// sentinels; a Group 4 strip whose block has ended keeps the reference it
// had. The next line is decoded into the spare array, the one neither
// buffer's last line is in; the line it replaces in its buffer becomes the
// spare.
void CFaxLines::AdvanceLines() {
    std::uint64_t* const decodedLine = Cur;
    Cur = Spare;
    if (!BlockEnded) {
        Spare = Ref;
        Ref = decodedLine;
        std::swap(RefRuns, CurRuns);
        RefCount = CurCount;
        SetSentinels();
    } else {
        Spare = decodedLine;
    }
}

// Lines of one colour below a reference line the same, taken as Decode
// takes each, but without their toggles (the caller writes them). In Group
// 4 they repeat the reference with V0 codes: a white line (b1 stands at the
// width) is one, a 1 bit; a black line two, one on b1 at pixel 0 and one at
// the width, read as a pair (RepeatedReferences). In the other codings they
// are coded with the same bits as the solid lines before them
// (RepeatedLines).
std::uint32_t CFaxLines::TakeSolidRows(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                       std::uint32_t& consumed, std::uint8_t& fill) {
    consumed = 0;
    fill = 0;
    const bool white = RefCount == 1;
    const bool black = RefCount == 2 && Ref[0] == 0;
    if (!Usable || Pending || DataEnded || BlockEnded || RowsAligned || !(white || black) || Width == 0 ||
        inputLength == 0 || most == 0) {
        return 0;
    }
    if (!StripStarted) StartStrip(input, inputLength);
    std::uint64_t position = BitOffset;
    const std::uint32_t taken = Group4 ? RepeatedReferences(input, inputLength, most, white, position)
                                       : RepeatedLines(input, inputLength, most, position);
    if (taken == 0) return 0;
    consumed = static_cast<std::uint32_t>(position >> 3);
    BitOffset = static_cast<std::uint32_t>(position & 7);
    TakeSolidLines(white, taken);
    // A white line is all 0s, complemented all 1s; a black one the reverse.
    fill = static_cast<std::uint8_t>(white ? InvertMask : ~InvertMask);
    return taken;
}

// Group 4 lines that repeat a solid reference line: a run of 1 bits from
// `position` (bits from `input`), one a white line, two a black one.
// Before each mode code libtiff asks for seven bits (see CarefulBits::Need),
// and a pair is read at once only when the bits asked for after it are
// there too: a line whose codes end that far before the end of the input is
// read without making any bits up, by either source, and as a pair.
// `position` moves on past the lines taken; returns how many.
std::uint32_t CFaxLines::RepeatedReferences(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                            bool white, std::uint64_t& position) const {
    const unsigned lineBits = white ? 1 : 2;
    const unsigned room = lineBits - 1 + kModeMaxBits + (white ? 0 : 1);
    const std::uint64_t inputBits = std::uint64_t{inputLength} * 8;
    if (inputBits < position + room) return 0;
    const std::uint64_t lastStart = inputBits - room;
    std::uint32_t taken = 0;
    while (taken < most && position <= lastStart) {
        // At most 57 bits from a byte boundary, any of them past the input
        // read as 0s (which end the run).
        const std::uint32_t at = static_cast<std::uint32_t>(position >> 3);
        std::uint64_t word = 0;
        if (inputLength - at >= 8) {
            word = tvfax::LoadBigEndian64(input + at);
        } else {
            for (std::uint32_t i = at; i < inputLength; ++i) word |= std::uint64_t{input[i]} << (56 - 8 * (i - at));
        }
        word <<= position & 7;
        const std::uint64_t starts = (lastStart - position) / lineBits + 1;  // lines that may start from here
        const unsigned window = static_cast<unsigned>(64 - (position & 7)) / lineBits;
        const unsigned span = static_cast<unsigned>(std::min<std::uint64_t>({window, starts, std::uint64_t{most} - taken}));
        const unsigned lines = std::min(LeadingZeros64(~word) / lineBits, span);
        taken += lines;
        position += std::uint64_t{lines} * lineBits;
        if (lines < span) break;
    }
    return taken;
}

namespace {

// How many bits from bit `offset` of `input` on equal the bits `distance`
// bytes before them, looking no further than byte `limit` (exclusive).
std::uint64_t RepeatingBits(const std::uint8_t* input, unsigned offset, std::uint64_t distance, std::uint64_t limit) {
    if (limit == 0) return 0;
    const std::uint8_t* const earlier = input - distance;
    const unsigned firstDiff = static_cast<unsigned>((input[0] ^ earlier[0]) & (0xFFu >> offset));
    if (firstDiff != 0) return static_cast<unsigned>(__builtin_clz(firstDiff)) - 24 - offset;
    const std::uint64_t n = 1 + RepeatedBytes(input + 1, distance, limit - 1);  // whole bytes equal
    std::uint64_t bits = 8 * n - offset;
    if (n < limit) bits += static_cast<unsigned>(__builtin_clz(static_cast<unsigned>(input[n] ^ earlier[n]))) - 24;
    return bits;
}

// Lines in a repeating group looked for: writers that code every k-th line
// one-dimensionally repeat a blank line's codes every k lines.
constexpr std::uint32_t kMostPeriod = 4;

}  // namespace

// Remembers the line just read.
void CFaxLines::KeepSpan(const LineSpan& span) {
    if (SpanCount == kSpans) {
        std::copy(Spans + 1, Spans + kSpans, Spans);
        --SpanCount;
    }
    Spans[SpanCount++] = span;
}

// Group 3 and modified Huffman lines that repeat solid lines. A line's
// decoding depends on its bits and on the state before it: the reference
// line, whether an EOL is pending, where in a byte it starts. When the last
// p lines read are solid lines of one colour, read whole as coded, and so
// is the line before them, the state before each of them is the state the
// lines after them start from: lines coded with the same bits again, whole
// bytes on, are the same lines. (A one-dimensional blank line repeats every
// line; a two-dimensional coding with a one-dimensional line every k lines
// repeats every k.) Lines are taken where Decode would read them with the
// fast source: far from the end of the input, where no bits are made up.
// `position` is where the lines start in bits from `input`, and moves on
// past those taken; returns how many.
std::uint32_t CFaxLines::RepeatedLines(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t most,
                                       std::uint64_t& position) {
    if (SpanCount == 0) return 0;
    const int solid = RefCount == 1 ? 1 : 2;
    const LineSpan& latest = Spans[SpanCount - 1];
    const std::uint64_t latestEnd = latest.Offset + latest.Bits;
    if (latest.At + latestEnd / 8 != input || latestEnd % 8 != position) return 0;
    const std::uint64_t limit = inputLength - std::min<std::uint32_t>(inputLength, 1 + kFastMinBytes);
    // The remembered lines follow each other; a group is the last p of them.
    std::uint64_t groupBits = 0;
    for (std::uint32_t period = 1; period <= kMostPeriod && period < SpanCount; ++period) {
        const LineSpan* const group = Spans + SpanCount - period;
        groupBits += group[0].Bits;
        if (group[0].Solid != solid || group[-1].Solid != solid) return 0;
        if (groupBits == 0 || groupBits % 8 != 0) continue;
        const std::uint64_t groupBytes = groupBits / 8;
        // Line m repeats line m % p of the group, m / p + 1 groups on: it
        // is there while the input repeats itself a group's bytes on.
        const std::uint64_t repeating = RepeatingBits(input, static_cast<unsigned>(position), groupBytes, limit);
        std::uint32_t taken = 0;
        std::uint64_t bits = 0;
        while (taken < most && bits + group[taken % period].Bits <= repeating) {
            bits += group[taken % period].Bits;
            ++taken;
        }
        if (taken == 0) continue;
        LineSpan model[kMostPeriod];  // copied: KeepSpan moves the remembered lines
        std::copy(group, group + period, model);
        for (std::uint32_t m = taken > kSpans ? taken - kSpans : 0; m < taken; ++m) {
            const LineSpan& line = model[m % period];
            KeepSpan(LineSpan{line.At + (m / period + 1) * groupBytes, line.Offset, line.Bits, solid});
        }
        position += bits;
        return taken;
    }
    return 0;
}

// `count` solid lines, each the same as the reference line, taken as Decode
// takes each: the same elements in the next of the three arrays in turn,
// whose sentinels take the marks of the buffer it stands for, the two
// buffers taking turns. From the third line on every array holds such a
// line, and the whole state repeats every six lines (three arrays, two
// buffers).
void CFaxLines::TakeSolidLines(bool white, std::uint32_t count) {
    const std::uint32_t steps = count <= 8 ? count : 3 + (count - 3) % 6;
    for (std::uint32_t i = 0; i < steps; ++i) {
        CurCount = white ? 1 : 2;
        Cur[0] = white ? Width : 0;
        Cur[1] = Width;
        if (TwoDimensional) {
            KeepMarksFrom(CurRuns, CurCount + 1);
            CurRuns.Line = Cur;
            CurRuns.Written = CurCount + 1;
        }
        AdvanceLines();
    }
    EolPending = false;
    BlockEndLine = false;
    PendingFault = TV_OK;
    DeliveredFault = TV_OK;
}

// Renders the delivered line into `out`, RowBytes bytes, from the toggles
// of its elements, and clears them. Toggles at or past the width (of the
// runs Finish drops, and of the width itself) change no pixel; the words
// past the width's are never read, and are left as they are.
void CFaxLines::Render(std::uint8_t* out) {
    std::uint64_t* const toggles = Toggles.get();
    std::uint32_t bytes = 0;
    std::uint32_t bits = 0;
    // The bits past the width stay 0, complemented pages or not.
    RenderFaxToggles(toggles, Width, out, RowBytes, bytes, bits, PendingFrom, PendingTo, InvertMask != 0);
}

int CFaxLines::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                         std::uint32_t wanted, std::uint32_t& produced) {
    consumed = produced = 0;
    if (!Usable) return 0;
    if (wanted == 0 || Pending) return 1;
    BlockEndLine = true;
    if (DataEnded) return RowPastData(produced);
    if (!StripStarted) StartStrip(input, inputLength);
    InputBits = std::uint64_t{inputLength} * 8;
    const unsigned entryOffset = BitOffset;
    End end = End::Careful;
    bool skipped = false;  // the EOL search stepped over coded bits
    std::uint64_t position = 0;
    if (inputLength >= kFastMinBytes) {
        FastBits<false> bits(input, inputLength);
        bits.Fill();
        bits.Consume(BitOffset);
        end = DecodeLine(bits, skipped);
        position = bits.Position();
    }
    if (end == End::Careful) {
        ClearToggles();
        skipped = false;
        CarefulBits bits(nullptr, 0, input, inputLength, false);
        bits.SetReach(ReachPastEnd);
        bits.Refill();
        bits.Consume(BitOffset);
        end = DecodeLine(bits, skipped);
        position = bits.Position();
        ReachPastEnd = bits.ReachPastEnd();
    }
    const std::uint64_t endBits = std::uint64_t{inputLength} * 8;
    if (end == End::NoLine) {
        SpanCount = 0;
        DataEnded = true;
        consumed = inputLength;
        BitOffset = 0;
        return RowPastData(produced);
    }
    // An EOL right where the width is reached ends a whole line: a make-up
    // code that fills the line may come without the terminating code of 0.
    const bool whole = end == End::Complete || end == End::Eol;
    const bool exact = whole && CurCount > 0 && Cur[CurCount - 1] == Width;
    // The line's marks are written out only when Finish drops runs that
    // went past the width: libtiff's buffer keeps those, which the line's
    // elements then no longer show.
    // One-dimensional codings never read a reference line, nor its marks.
    const std::uint32_t decoded = CurCount;
    const bool drops = decoded > 0 && Cur[decoded - 1] > Width;
    if (drops && TwoDimensional) MarkRuns(0, decoded);
    // A line whole at the width, as nearly all are, needs no finishing.
    const std::uint32_t rewritten = end == End::Complete && decoded > 0 && Cur[decoded - 1] == Width ? decoded : Finish(end);
    // Elements come in order, so the line's toggles below the width lie
    // from its first element to its last before the width.
    PendingFrom = Cur[0];
    PendingTo = CurCount >= 2 ? Cur[CurCount - 2] : Cur[0];
    // libtiff ends every line with an empty run.
    if (TwoDimensional) {
        const std::uint32_t written = std::max(decoded, CurCount + 1);
        KeepMarksFrom(CurRuns, written);
        if (drops) {
            MarkRuns(rewritten, CurCount);
            CurRuns.Marks[CurCount] = 0;
            CurRuns.Line = nullptr;
        } else {
            CurRuns.Line = Cur;
        }
        CurRuns.Written = written;
    }
    EolPending = end == End::Eol || end == End::EolInLine;
    const bool blockWasEnded = BlockEnded;
    if (Group4 && end == End::EolInLine) BlockEnded = true;
    // A line whose last code ran past the data (read with 0 bits for the
    // missing ones) is partly made up, like one the data cut short. Group 4
    // lines after an EOL are read out of step with libtiff's idea of them.
    // A Group 4 line that is nothing but an EOL starts the end of block:
    // the data ended before the strip's rows did.
    const bool blockEnd = Group4 && end == End::EolInLine && Cur[0] == Width;
    BlockEndLine = blockEnd || blockWasEnded;
    // A line that went wrong once libtiff had to make up bits past the
    // data's end went wrong for want of data.
    const bool madeUp = ReachPastEnd > 0 && end != End::Complete;
    const bool ranOut = end == End::Data || position > endBits || blockEnd || madeUp;
    PendingFault = ranOut ? TV_ERR_STRIP_SHORT
                          : (exact && !skipped && !blockWasEnded ? TV_OK : TV_ERR_LINE_DAMAGED);
    // Group 3 and modified Huffman solid lines are remembered in a row (any
    // other line ends the row) for RepeatedLines to find them coded again.
    if (!Group4) {
        const bool asCoded = end == End::Complete && PendingFault == TV_OK;
        const int solid = !asCoded ? 0 : CurCount == 1 ? 1 : CurCount == 2 && Cur[0] == 0 ? 2 : 0;
        if (solid != 0) {
            KeepSpan(LineSpan{input, entryOffset, position - entryOffset, solid});
        } else {
            SpanCount = 0;
        }
    }
    AdvanceLines();
    Pending = true;
    produced = RowBytes;
    if (position >= endBits) {
        if (end == End::Data || position > endBits) DataEnded = true;
        consumed = inputLength;
        BitOffset = 0;
    } else {
        consumed = static_cast<std::uint32_t>(position >> 3);
        BitOffset = static_cast<std::uint32_t>(position & 7);
    }
    return 1;
}

// libtiff reads a Group 4 strip's rows past the end of its data as white
// runs (of the other codings it delivers none): so does this, and they are
// complemented with the rest of a BlackIsZero page.
int CFaxLines::RowPastData(std::uint32_t& produced) {
    if (Group4) {
        Pending = true;
        PendingFrom = PendingTo = Width;  // nothing toggled: white
        PendingFault = TV_ERR_STRIP_SHORT;
        produced = RowBytes;
    }
    return 1;
}

std::uint32_t CFaxLines::GetLine(std::uint8_t* line) {
    if (!Pending) {
        DeliveredFault = TV_OK;
        return 0;
    }
    Render(line);
    Pending = false;
    DeliveredFault = PendingFault;
    return RowBytes;
}

void CFaxLines::Discard(std::uint32_t count) {
    if (count == 0 || !Pending) return;
    ClearToggles();
    Pending = false;
}
