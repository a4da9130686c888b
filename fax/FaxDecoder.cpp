// CCITT fax strip decoder: T.4 one-dimensional lines with EOL codes for
// Compression 3, T.6 two-dimensional lines for Compression 4.
//
// A line is decoded into its changing elements (the pixel positions where
// runs end), so that b1 and b2 on the reference line are array lookups;
// each element is also toggled into a word array from which the line is
// rendered in one pass once it is complete. Runs of V0 codes, two short
// vertical codes and the two runs of a horizontal code are each taken with
// one lookup where they can be. Each line is first
// decoded with a bit source that loads eight input bytes at a time and
// needs no check for the end of the input; a line that comes within eight
// bytes of it is decoded again from its start with the careful source,
// which reads the bits of a carried line before the caller's input, makes
// up 0 bits past the end and lets each code check that it is whole.
#include "fax/FaxDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "TiffViewCodes.h"
#include "fax/FaxBits.h"
#include "fax/FaxCodes.h"
#include "fax/FaxSteps.h"

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

// Copies of where the reference line ends, after its last element: b1 may
// stop on the first two, and a pass code then reads two more for b2 and the
// next b1 (all at least the width, which ends the line).
constexpr std::uint64_t kSentinels = 6;
// Entries of an element array beyond the width: element 0, the elements a
// line may add at or past the width (two for a horizontal code, one more for
// an end of block or a pass to the end), and the sentinels, with margin.
constexpr std::uint64_t kPosSlack = 32;

// Skips the 0 bits at the source's position, `pos` bits into the input. When
// at least 11 of them are followed by a 1 (an EOL, after any fill), returns
// the position just past that 1, else 0. Leaves the source past the zeros.
// Sets `bail` when the fast source cannot see far enough.
template <class Source>
std::uint64_t FindEolEnd(Source& source, std::uint64_t pos, bool& bail) {
    for (std::uint64_t zeros = 0;;) {
        if (!source.Fill()) {
            bail = true;
            return 0;
        }
        const unsigned lead = LeadingZeros64(source.Acc);
        if (lead < source.Held) {
            zeros += lead;
            source.Consume(lead);
            return zeros >= 11 ? pos + zeros + 1 : 0;
        }
        // Every held bit is 0: fill, unless the input has run out.
        if (source.Exhausted()) {
            return 0;
        }
        const unsigned n = std::min(source.Held, 32u);
        source.Consume(n);
        zeros += n;
    }
}

// Lengths of the pass code "0001" and the horizontal code "001".
constexpr unsigned kPassBits = 4;
constexpr unsigned kHorizontalBits = 3;

// Vertical mode offsets by mode number, and where the next b1 candidate
// lies from b1: the element after it, or before it for a0 left of b1.
constexpr std::int64_t kVerticalOffset[kModeCodeRows] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3, 0, 0};
constexpr std::int64_t kVerticalStep[kModeCodeRows] = {0, 0, 0, 1, 1, 1, 1, -1, -1, -1, 0, 0};

}  // namespace

void CFaxDecoder::FreeWords::operator()(std::uint64_t* words) const { std::free(words); }

CFaxDecoder::CFaxDecoder(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t rowsPerStrip)
    : Compression(compression), FillOrder(fillOrder), RowsPerStrip(rowsPerStrip) {
    const FaxTables_t& tables = GetFaxTables();
    WhiteTable = tables.White;
    BlackTable = tables.Black;
    ModeTable = tables.Mode;
    Usable = tables.Valid;
    Reset();
}

CFaxDecoder::~CFaxDecoder() = default;

void CFaxDecoder::StartReference() {
    // The line above the first line of a strip is all white.
    if (Ref != nullptr) {
        Ref[0] = 0;
        for (std::uint64_t i = 1; i <= kSentinels; ++i) {
            Ref[i] = Width;
        }
    }
    RefCount = 0;
}

void CFaxDecoder::ClearToggles() {
    if (Toggles) {
        std::memset(Toggles.get(), 0, ToggleWords * sizeof(std::uint64_t));
    }
}

void CFaxDecoder::Reset() {
    if (LineComplete == 0) {
        ClearToggles();  // the suspended line is dropped
    }
    StripActive = 1;
    LineComplete = 1;
    LinesDone = 0;
    OutBytes = 0;
    OutBits = 0;
    BitOffset = 0;
    CarriedIn = 0;
    std::memset(CarryBuf, 0, sizeof CarryBuf);
    Saved = {0, 1, 0};
    EolTaken = true;
    StartReference();
}

void CFaxDecoder::SetInvert(std::int32_t invert) { Invert = invert; }

int CFaxDecoder::SetWidth(std::uint32_t width) {
    LineBuf.reset();
    LineBufSize = 0;
    Fresh = 0;
    PosStore.reset();
    Ref = Cur = nullptr;
    PosCap = 0;
    Toggles.reset();
    ToggleWords = 0;
    if (!Usable) {
        return 0;
    }
    Width = width;
    // Neither buffer is cleared: the line buffer's delivered half reads as
    // white until rendered (Fresh), and elements are written before use.
    const std::size_t size = 2 * static_cast<std::size_t>((static_cast<std::uint64_t>(width) + 7) / 8);
    LineBuf.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    // Lines of more runs than kFaxMaxRuns fail, so wider lines grow the
    // arrays only as far as their input can fill them (see Reserve).
    const std::size_t cap = static_cast<std::size_t>(std::min<std::uint64_t>(width, kFaxMaxRuns) + kPosSlack);
    const std::size_t arrays = Compression == 4 ? 2 : 1;
    PosStore.reset(new (std::nothrow) std::uint64_t[arrays * cap]);
    // Elements lie below three widths (a horizontal code from below the
    // width adds two runs of at most the width each) and below the 16
    // pixels a line buffer holds per byte plus 16. They start all 0, which
    // calloc gives without touching pages it maps fresh.
    const std::uint64_t words = (3 * static_cast<std::uint64_t>(width) + 16) / 64 + 2;
    ToggleWords = static_cast<std::size_t>(words);
    Toggles.reset(static_cast<std::uint64_t*>(std::calloc(ToggleWords, sizeof(std::uint64_t))));
    if (!LineBuf || !PosStore || !Toggles) {
        LineBuf.reset();
        PosStore.reset();
        Toggles.reset();
        return 0;
    }
    LineBufSize = size;
    PosCap = cap;
    Cur = PosStore.get();
    Cur[0] = 0;
    if (Compression == 4) {
        Ref = PosStore.get() + cap;
    }
    StartReference();
    return 1;
}

bool CFaxDecoder::Reserve(std::uint64_t count) {
    // A line adds at most width + 2 elements that are not empty runs (their
    // positions rise, and all but the last two lie below the width), and
    // no more than its input has bits, so room for that beyond the elements
    // already there is all a line needs until its next empty run.
    const std::uint64_t need = count + LineRoom + kPosSlack;
    if (need <= PosCap) {
        return true;
    }
    const std::uint64_t cap = std::max<std::uint64_t>(need, 2 * static_cast<std::uint64_t>(PosCap));
    const std::size_t arrays = Ref != nullptr ? 2 : 1;
    std::unique_ptr<std::uint64_t[]> store(new (std::nothrow) std::uint64_t[arrays * cap]);
    if (!store) {
        return false;
    }
    std::uint64_t* cur = store.get();
    std::memcpy(cur, Cur, static_cast<std::size_t>(count + 1) * sizeof *cur);
    if (Ref != nullptr) {
        std::uint64_t* ref = store.get() + cap;
        std::memcpy(ref, Ref, static_cast<std::size_t>(RefCount + kSentinels + 1) * sizeof *ref);
        Ref = ref;
    }
    Cur = cur;
    PosStore = std::move(store);
    PosCap = static_cast<std::size_t>(cap);
    return true;
}

std::size_t CFaxDecoder::RoomFromOutBytes() const {
    return OutBytes < LineBufSize ? LineBufSize - OutBytes : 0;
}

bool CFaxDecoder::RenderLine(std::uint32_t count) {
    const std::size_t start = std::min<std::size_t>(OutBytes, LineBufSize);
    const std::size_t half = LineBufSize / 2;
    if (start > Fresh && Fresh < half) {
        // Bytes skipped since the last GetLine read as white.
        std::memset(LineBuf.get() + Fresh, 0, std::min(start, half) - Fresh);
        Fresh = start;
    }
    std::uint32_t bytes = 0;
    std::uint32_t bits = 0;
    const std::size_t capacity = LineBufSize - start;
    const bool fits = RenderFaxToggles(Toggles.get(), Cur[count], LineBuf.get() + start, capacity, bytes, bits);
    OutBytes = static_cast<std::uint32_t>(start + bytes);
    OutBits = bits;
    if (fits) {
        Fresh = std::max(Fresh, start + bytes + (bytes < capacity ? 1 : 0));
    }
    return fits;
}

int CFaxDecoder::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                        std::uint32_t wanted, std::uint32_t& produced) {
    (void)wanted;  // one line per call, whatever is wanted
    consumed = 0;
    produced = 0;
    if (!Usable || !LineBuf) {
        return 0;
    }
    if (StripActive == 0) {
        // After an end of block the strip's remaining rows are white; they
        // count towards the strip's rows so that the reader moves on to the
        // next strip once the strip is complete.
        if (LinesDone < RowsPerStrip) {
            std::uint32_t bytes = 0;
            std::uint32_t bits = 0;
            RenderFaxToggles(Toggles.get(), Width, LineBuf.get(), LineBufSize, bytes, bits);
            Fresh = std::max<std::size_t>(Fresh, bytes + (bytes < LineBufSize ? 1 : 0));
            OutBytes = static_cast<std::uint32_t>(std::min<std::size_t>(std::size_t{OutBytes} + bytes, LineBufSize));
            OutBits = bits;
            ++LinesDone;
            RenderedFault = TV_OK;
            produced = static_cast<std::uint32_t>((static_cast<std::uint64_t>(Width) + 7) / 8);
        } else {
            consumed = inputLength;
        }
        return 1;
    }
    if (LinesDone >= RowsPerStrip) {
        // All rows of the strip are decoded: what follows (an end-of-block
        // mark, fill) is skipped.
        consumed = inputLength;
        StripActive = 0;
        return 1;
    }
    if (inputLength == 0) {
        return 1;
    }
    if (input == nullptr) {
        return 0;
    }
    return Compression == 4 ? Decode2D(input, inputLength, consumed, produced)
                            : Decode1D(input, inputLength, consumed, produced);
}

// One line of one-dimensional codes from the source's start: its elements
// into Cur[1..count], and where an EOL right after it ends (0 if none).
//
// The any-bilevel Group 3 decoder (CFaxLines::Line1D) reads the same
// codes with the same lookups (fax/FaxSteps.h) but keeps a loop of its own:
// the two part wherever a line goes wrong, which is most of either loop.
// Here a line is framed by the EOLs around it (one may open it, and one
// that cuts it short needs its 1 bit found), a code that is not whole in
// the input or a line too long for the line buffer fails the strip, every
// element is checked against the run limit and grows the arrays when it is
// an empty run, and a make-up code is followed by its terminating code
// through the loop's top (the pair lookup). There a line is ended, never
// failed, by the first bad code, EOL or end of the data, in a fixed array
// that refuses a line once full, and runs past the width are kept for the
// cleanup to drop. As policy hooks those differences would be a dozen
// small callbacks in a 100-line loop, each a branch the other profile pays
// for or a template twin of every line.
template <class Source>
TV_FAX_NOINLINE CFaxDecoder::Stop CFaxDecoder::Line1D(Source& source, Framing1D& framing) {
    bool bail = false;

    // An EOL may open the line. The fill before it is any number of 0 bits:
    // the fewest that end the EOL on a byte boundary, or whole bytes more,
    // as some writers add. Only 0 bits count as fill: a narrow line can be
    // coded in four bits right before its EOL, and those bits are the line.
    // So the EOL is there when the line starts with 11 or more zeros and a 1;
    // fewer zeros begin the line's first code, read from the line's start.
    {
        Source probe = source;
        const std::uint64_t end = FindEolEnd(probe, 0, bail);
        if (bail) {
            return Stop::Careful;
        }
        if (end != 0) {
            source = probe;
            source.Consume(1);
        }
        framing.openedByEol = end != 0;
    }

    const std::uint64_t width = Width;
    // A line that cannot fit into the line buffer is refused.
    const std::uint64_t roomPixels =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(RoomFromOutBytes()) * 8, 0xFFFFFFFFu);
    std::uint64_t* cur = Cur;
    std::uint64_t* const toggles = Toggles.get();
    std::uint64_t n = 0;
    std::uint64_t prev = 0;  // Cur[n]
    std::uint64_t linePos = 0;
    bool white = true;
    bool terminated = true;  // the last code ended a run (no make-up waiting)

    while (!(linePos >= width && terminated)) {
        if (!source.Fill()) {
            return Stop::Careful;
        }
        // Two short terminating codes in one lookup, when the line goes on
        // after the first; anything else is read code by code below.
        const std::uint32_t pair = RunPairAt(source.Acc, white);
        if (pair != 0) {
            const std::uint64_t first = linePos + FaxPairFirst(pair);
            const std::uint64_t second = first + FaxPairSecond(pair);
            if (TV_FAX_LIKELY(first < width && second <= roomPixels && !source.Beyond(FaxPairLength(pair)))) {
                source.Consume(FaxPairLength(pair));
                cur[n + 1] = first;
                cur[n + 2] = second;
                n += 2;
                ToggleFaxElement(toggles, first);
                ToggleFaxElement(toggles, second);
                linePos = second;
                prev = second;
                terminated = true;
                continue;
            }
        }
        unsigned len;
        std::uint32_t value;
        // Twelve 0 bits match no white code: fill before an EOL, or damage.
        if (TV_FAX_RARELY(!RunCodeAt(source.Acc, white, len, value))) {
            // An EOL before the line is complete: the line ends there and
            // the rest of it is white, as fax receivers take it. This also
            // ends a line that a make-up code filled without the
            // terminating code of 0 some writers leave out. The EOL is left
            // for the end of the line to take.
            Source probe = source;
            const std::uint64_t end = FindEolEnd(probe, source.Position(), bail);
            if (bail) {
                return Stop::Careful;
            }
            if (end == 0) {
                return Stop::Fail;
            }
            if (linePos > prev || !white) {
                // A run in progress (black, or a white make-up) ends here.
                if (n >= kFaxMaxRuns || (linePos == prev && !Reserve(n + 1))) {
                    return Stop::Fail;
                }
                cur = Cur;
                cur[++n] = linePos;
                ToggleFaxElement(toggles, linePos);
                prev = linePos;
                white = !white;
            }
            if (linePos < width) {
                // `white` is now the colour of the next run.
                if (!white) {
                    ToggleFaxElement(toggles, cur[n]);
                    cur[n] += width - linePos;
                    ToggleFaxElement(toggles, cur[n]);
                } else if (n < kFaxMaxRuns) {
                    cur[++n] = width;
                    ToggleFaxElement(toggles, width);
                } else {
                    return Stop::Fail;
                }
                linePos = width;
                framing.cutByEol = true;
            }
            terminated = true;
            break;
        }
        if (source.Beyond(len)) {
            return Stop::Fail;  // the line runs past the end of its input
        }
        source.Consume(len);
        linePos += value;
        if (linePos > roomPixels) {
            return Stop::Fail;
        }
        if (value < 64) {
            if (TV_FAX_RARELY(linePos == prev)) {
                // An empty run: the one kind of element that does not move
                // on, so the only one that needs room checked.
                if (n >= kFaxMaxRuns || !Reserve(n + 1)) {
                    return Stop::Fail;
                }
                cur = Cur;
            }
            cur[++n] = linePos;
            ToggleFaxElement(toggles, linePos);
            prev = linePos;
            white = !white;
            terminated = true;
        } else {
            terminated = false;
        }
    }
    if (n > kFaxMaxRuns) {
        return Stop::Fail;
    }
    framing.count = n;
    framing.overshoot = linePos > width;
    framing.lineEnd = source.Position();
    framing.eolEnd = FindEolEnd(source, framing.lineEnd, bail);
    return bail ? Stop::Careful : Stop::Line;
}

int CFaxDecoder::Decode1D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                          std::uint32_t& produced) {
    const bool reverse = FillOrder == 2;
    LineRoom = std::min<std::uint64_t>(std::uint64_t{Width} + 2, std::uint64_t{length} * 8 + 2);
    if (!Reserve(0)) {
        return 0;
    }
    Framing1D framing;
    Stop stop = Stop::Careful;
    if (length >= kFastMinBytes) {
        if (reverse) {
            FastBits<true> source(input, length);
            stop = Line1D(source, framing);
        } else {
            FastBits<false> source(input, length);
            stop = Line1D(source, framing);
        }
    }
    if (stop == Stop::Careful) {
        ClearToggles();
        framing = Framing1D{};
        CarefulBits source(nullptr, 0, input, length, reverse);
        source.Refill();
        stop = Line1D(source, framing);
    }
    if (stop != Stop::Line) {
        ClearToggles();
        return 0;
    }
    if (!RenderLine(static_cast<std::uint32_t>(framing.count))) {
        return 0;
    }
    // Lines are told apart by their EOLs alone: a line not opened by one is
    // wherever the previous line's codes left off, a guess that may be out
    // of step; a line an EOL cut short is white where its codes are missing,
    // and one whose runs go past the width was not coded for it.
    const bool inStep = EolTaken || framing.openedByEol;
    RenderedFault = inStep && !framing.cutByEol && !framing.overshoot ? TV_OK : TV_ERR_LINE_DAMAGED;
    // One-dimensional lines count towards the strip's rows like
    // two-dimensional ones, so that whatever follows the last row (a
    // return-to-control mark, fill) is skipped instead of decoded as a line.
    ++LinesDone;
    // The line is taken together with the byte-aligned EOL that follows it:
    // with the fewest fill bits, the EOL ends in the second byte after the
    // line's last whole byte, or in the third. Writers that add whole bytes
    // of fill put it further on, so where an EOL ending on a byte boundary
    // does follow, the line runs to its end instead.
    const std::uint64_t pos = framing.lineEnd;
    std::uint64_t lineBytes = pos / 8 + (pos % 8 <= 4 ? 2 : 3);
    // An EOL that does not end on a byte boundary is not taken whole, so
    // the next line starts inside it or past it, out of step.
    EolTaken = framing.eolEnd != 0 && framing.eolEnd % 8 == 0;
    if (EolTaken) {
        lineBytes = framing.eolEnd / 8;
    }
    consumed = static_cast<std::uint32_t>(std::min<std::uint64_t>(lineBytes, length));
    produced = OutBytes + (OutBits > 0 ? 1 : 0);
    return 1;
}

// The codes of one two-dimensional line, from where `line` stands, into
// Cur; stops at the line's end, an end of block, a code that is not whole
// in the input (Suspend, with the line as it stood before that code and
// where the code starts), bad data, or when the fast source cannot go on.
//
// The any-bilevel decoder's CFaxLines::Line2D reads the same codes with
// the same steps on b1 and the same lookups (fax/FaxSteps.h), but each
// code's handling differs past the lookup, so the loops stay apart: here a
// line may stop at any code for want of input and go on in the next call
// from the state it left (a horizontal code's runs are undone to suspend),
// an end-of-block mark and the extension code end the line, a run that
// is negative or longer than the line fails the strip, and an empty run
// may grow the arrays. There a line always has its strip at hand, is cut
// short (never failed) at the first EOL or bad code, keeps runs past the
// width for its cleanup to drop, and lives in a fixed array.
template <class Source>
TV_FAX_NOINLINE CFaxDecoder::Stop CFaxDecoder::Loop2D(Source& caller, LineState& line, std::uint64_t& codeStart, bool& extension) {
    // The loop reads a copy of the source, which the compiler can keep in
    // registers (it cannot tell the caller's from the element arrays). It
    // is handed back where the line ends or suspends; a failed line or one
    // left to the careful source has no use for the position.
    Source source = caller;
    const std::uint16_t* const fastMode = gFaxTables.FastMode;
    const std::uint16_t* const fastWhite = gFaxTables.FastWhite;

    const std::uint64_t width = Width;
    // b1's candidate on the reference line (element K), kept as a pointer:
    // one register fewer than the array and an index.
    const std::uint64_t* b = Ref + line.K;
    std::uint64_t* cur = Cur;
    std::uint64_t* const toggles = Toggles.get();
    std::uint64_t a0 = line.A0;
    std::uint64_t n = line.N;
    // The last element; a0 - prev are the pixels of a0's colour that pass
    // codes have passed over and the next run starts with.
    std::uint64_t prev = cur[n];
    Stop stop;

    // Room for the empty run the next element makes (the other elements
    // have theirs, see Reserve); false when the run count would pass its
    // limit or the arrays cannot grow. Growing moves both arrays.
    auto roomForEmptyRun = [&]() TV_FAX_STEP {
        const std::ptrdiff_t at = b - Ref;
        if (n >= kFaxMaxRuns || !Reserve(n + 1)) {
            return false;
        }
        cur = Cur;
        b = Ref + at;
        return true;
    };
    // Whether the run from the last element to one at `target` may be
    // added: one test for an empty run, one longer than the line and a
    // negative one (a vertical code before the line or before the last
    // element); an empty run needs room.
    auto runFits = [&](std::uint64_t target) TV_FAX_STEP {
        const std::uint64_t run = target - prev;
        if (TV_FAX_LIKELY(run - 1 < width)) {
            return true;
        }
        return run == 0 && roomForEmptyRun();
    };
    // A vertical code with b standing on b1: a1 is b1 moved by `d`, a0
    // moves to it, and b steps by `step` towards the next b1, which is of
    // the other colour (the element after b1, or before it for a1 left of
    // b1). False when the run up to a1 does not fit.
    auto vertical = [&](std::int64_t d, std::ptrdiff_t step) TV_FAX_STEP {
        const std::uint64_t target = *b + static_cast<std::uint64_t>(d);
        if (TV_FAX_RARELY(!runFits(target))) {
            return false;
        }
        cur[++n] = target;
        ToggleFaxElement(toggles, target);
        prev = target;
        a0 = target;
        // A negative step at element 0 has failed above.
        b += step;
        return true;
    };
    // Two short terminating codes after `skip` bits of `bits`, a horizontal
    // code's two runs, taken when both end within the line and the bits are
    // input; else false with nothing read.
    auto runPair = [&](std::uint64_t bits, unsigned skip) TV_FAX_STEP {
        const std::uint32_t pair = RunPairAt(bits, (n & 1u) == 0);
        const std::uint64_t first = a0 + FaxPairFirst(pair);
        const std::uint64_t second = first + FaxPairSecond(pair);
        const unsigned length = skip + FaxPairLength(pair);
        // a0 is never left of prev, so neither run alone then outgrows the
        // line: the rare pair that fails only this goes code by code, to
        // the same end.
        if (pair == 0 || second - prev > width || source.Beyond(length)) {
            return false;
        }
        source.Consume(length);
        cur[n + 1] = first;
        cur[n + 2] = second;
        n += 2;
        ToggleFaxElement(toggles, first);
        ToggleFaxElement(toggles, second);
        a0 = second;
        prev = second;
        return true;
    };
    // Pass codes, the first one's bits known to be input: a0 moves to b2.
    // They come in runs (below a line of many short runs): the next one is
    // taken here while the line goes on and its bits are input. False when
    // b2 lies before a0 (a damaged reference).
    auto passCodes = [&]() TV_FAX_STEP {
        for (;;) {
            source.Consume(kPassBits);
            FindB1(b, a0, n > 0);
            const std::uint64_t b2 = b[1];
            if (b2 < a0) {
                return false;
            }
            a0 = b2;
            b += 2;
            if (a0 >= width || !source.Fill() || (source.Acc >> 60) != 1 || source.Beyond(kPassBits)) {
                return true;
            }
        }
    };
    // A horizontal code's two runs read code by code from `hStart` (where
    // the code starts), a0 at `a0Start` and `nStart` elements before it:
    // make-up codes, a run of 0 or past the width, bits not all input.
    // Stop::Line when both are read; a code not whole in the input suspends
    // the line before the horizontal code, whose runs are undone.
    auto horizontalByCode = [&](std::uint64_t hStart, std::uint64_t a0Start, std::uint64_t nStart) TV_FAX_STEP {
        for (int r = 0; r < 2; ++r) {
            const bool white = (n & 1u) == 0;
            for (;;) {
                if (!source.Fill()) {
                    return Stop::Careful;
                }
                unsigned codeLen;
                std::uint32_t value;
                const bool code = RunCodeAt<true>(source.Acc, white, codeLen, value);
                // Bits beyond the input read as 0, and may be what matches
                // no code or what makes one.
                if (TV_FAX_RARELY(!code || source.Incomplete(codeLen))) {
                    if (!code && !source.Incomplete(white ? kWhiteMaxBits : kBlackMaxBits)) {
                        return Stop::Fail;
                    }
                    for (std::uint64_t i = nStart + 1; i <= n; ++i) {
                        ToggleFaxElement(toggles, cur[i]);
                    }
                    line = {a0Start, static_cast<std::uint64_t>(b - Ref), nStart};
                    codeStart = hStart;
                    caller = source;
                    return Stop::Suspend;
                }
                source.Consume(codeLen);
                a0 += value;
                if (value < 64) {
                    if (TV_FAX_RARELY(!runFits(a0))) {
                        return Stop::Fail;
                    }
                    cur[++n] = a0;
                    ToggleFaxElement(toggles, a0);
                    prev = a0;
                    break;
                }
                // Includes an EOL met inside a run: the run can only outgrow the line.
                if (TV_FAX_RARELY(a0 - prev > width)) {
                    return Stop::Fail;
                }
            }
        }
        return Stop::Line;
    };
    // The extension prefix or seven 0s: the rest of the line is one run,
    // starting after the last element (what passes left behind is lost).
    auto restOfLineOneRun = [&]() TV_FAX_STEP {
        if (n >= kFaxMaxRuns) {
            return false;
        }
        cur[++n] = prev + (width - a0);
        prev = cur[n];
        ToggleFaxElement(toggles, prev);
        a0 = width;
        extension = true;
        return true;
    };

    for (;;) {
        if (a0 >= width) {
            stop = Stop::Line;
            break;
        }
        if (!source.Fill()) {
            return Stop::Careful;
        }
        const std::uint64_t acc = source.Acc;
        // Two vertical codes at once, or one alone, each as the vertical
        // modes below; the line may end after the first. Bits not all input
        // are left to the code-by-code path, which suspends where it must.
        const FaxVerticalPair_t& pair = kFaxVerticalCodes.At(acc);
        if (pair.Total != 0 && !source.Beyond(pair.Total)) {
            FindB1Near(b, a0, n > 0);
            // b1 steps back for a0 left of it, else on.
            if (TV_FAX_RARELY(!vertical(pair.D1, pair.D1 < 0 ? -1 : 1))) {
                return Stop::Fail;
            }
            if (a0 >= width || pair.Total == pair.First) {
                source.Consume(pair.First);
                continue;
            }
            StepB1Near(b, a0);
            if (TV_FAX_RARELY(!vertical(pair.D2, pair.D2 < 0 ? -1 : 1))) {
                return Stop::Fail;
            }
            source.Consume(pair.Total);
            continue;
        }
        // Pass ("0001") and horizontal ("001") codes, the commonest after
        // the short vertical ones on ruled or boxed pages, are told apart by
        // their top bits alone; the table below takes every other code.
        const std::uint64_t top4 = acc >> 60;
        if (top4 == 1) {
            if (TV_FAX_RARELY(source.Incomplete(kPassBits))) {
                codeStart = source.Position();
                stop = Stop::Suspend;
                break;
            }
            if (!passCodes()) {
                return Stop::Fail;
            }
            continue;
        }
        if ((top4 >> 1) == 1) {
            if (TV_FAX_RARELY(source.Incomplete(kHorizontalBits))) {
                codeStart = source.Position();
                stop = Stop::Suspend;
                break;
            }
            const std::uint64_t hStart = source.Position();
            const std::uint64_t a0Start = a0;
            const std::uint64_t nStart = n;
            // Fill left at least 16 bits: the pair lookup needs 13 with the
            // code; the code-by-code path fills for itself.
            source.Consume(kHorizontalBits);
            if (TV_FAX_LIKELY(runPair(source.Acc, 0))) {
                // Horizontal codes come in runs (runs with no edges above
                // them): the next ones, while they are two short terminating
                // codes of the same colours, are taken here; any other is
                // left where it starts, to the loop's top.
                while (a0 < width && source.Fill() && (source.Acc >> 61) == 1 &&
                       runPair(source.Acc << kHorizontalBits, kHorizontalBits)) {
                }
                continue;
            }
            const Stop runs = horizontalByCode(hStart, a0Start, nStart);
            if (TV_FAX_RARELY(runs != Stop::Line)) {
                return runs;
            }
            continue;
        }
        // The mode codes cover every bit pattern, so this always matches.
        const std::uint16_t modeEntry = fastMode[acc >> (64 - kModeMaxBits)];
        const unsigned len = FaxFastLength(modeEntry);
        const std::uint32_t mode = FaxFastRow(modeEntry);
        if (TV_FAX_RARELY(mode >= kModeExtension)) {
            // End-of-block check: a white lookup here matches a non-EOL code
            // unless the bits start with eight 0s, so only then is it made.
            if ((acc >> 56) == 0) {
                const std::uint16_t white = fastWhite[acc >> (64 - kWhiteMaxBits)];
                if (white == 0) {
                    // Bits beyond the input read as 0 and may be what fails here.
                    if (!source.Incomplete(kWhiteMaxBits)) {
                        return Stop::Fail;
                    }
                    codeStart = source.Position();
                    stop = Stop::Suspend;
                    break;
                }
                if (FaxFastRow(white) == kFaxEolRow) {
                    stop = Stop::Block;
                    break;
                }
            }
        }
        // A code that ends exactly at the end of the input is whole; only one
        // that needs bits beyond it waits for more input.
        if (TV_FAX_RARELY(source.Incomplete(len))) {
            codeStart = source.Position();
            stop = Stop::Suspend;
            break;
        }

        if (TV_FAX_LIKELY(mode == kModeV0)) {
            // V0 codes, the commonest, are single 1 bits: a run of them is
            // taken at once, up to the line's end. Only the first needed
            // its lookup (and, from the careful source, to be input: the
            // 1 bits after it are input too, made-up bits being 0s).
            // At most 63 at once: consuming 64 bits would be a 64-bit shift.
            const unsigned ones = std::min(LeadingZeros64(~acc), source.Held & 63u);
            unsigned used = 0;
            do {
                FindB1Near(b, a0, n > 0);
                if (TV_FAX_RARELY(!vertical(0, 1))) {
                    return Stop::Fail;
                }
                ++used;
            } while (used < ones && a0 < width);
            source.Consume(used);
            continue;
        }
        source.Consume(len);
        if (TV_FAX_LIKELY(mode - kModeVR1 <= kModeVL3 - kModeVR1)) {
            // The other vertical modes; at the start of a line b1 stays put.
            FindB1Near(b, a0, n > 0);
            if (TV_FAX_RARELY(!vertical(kVerticalOffset[mode], kVerticalStep[mode]))) {
                return Stop::Fail;
            }
            continue;
        }
        if (!restOfLineOneRun()) {
            return Stop::Fail;
        }
    }
    line = {a0, static_cast<std::uint64_t>(b - Ref), n};
    caller = source;
    return stop;
}

int CFaxDecoder::Decode2D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                          std::uint32_t& produced) {
    const bool reverse = FillOrder == 2;
    LineRoom = std::min<std::uint64_t>(std::uint64_t{Width} + 2, (std::uint64_t{CarriedIn} + length) * 8 + 2);
    // The arrays rarely need to grow: Reserve is called only when they may.
    const std::uint64_t held = LineComplete != 0 ? 0 : Saved.N;
    if (held + LineRoom + kPosSlack > PosCap && !Reserve(held)) {
        return 0;
    }
    std::uint64_t codeStart = 0;
    bool extension = false;
    LineState line = {0, 1, 0};
    if (CarriedIn == 0 && LineComplete != 0 && length >= kFastMinBytes) {
        Stop stop;
        std::uint64_t position;
        if (reverse) {
            FastBits<true> source(input, length);
            source.Fill();
            source.Consume(BitOffset);
            stop = Loop2D(source, line, codeStart, extension);
            position = source.Position();
        } else {
            FastBits<false> source(input, length);
            source.Fill();
            source.Consume(BitOffset);
            stop = Loop2D(source, line, codeStart, extension);
            position = source.Position();
        }
        if (stop != Stop::Careful) {
            return Finish2D(stop, position, line, codeStart, extension, input, length, consumed, produced);
        }
        line = {0, 1, 0};
        extension = false;
        ClearToggles();
    }
    CarefulBits source(CarryBuf, CarriedIn, input, length, reverse);
    source.Refill();
    source.Consume(BitOffset);
    if (LineComplete == 0) {
        line = Saved;
    }
    const Stop stop = Loop2D(source, line, codeStart, extension);
    return Finish2D(stop, source.Position(), line, codeStart, extension, input, length, consumed, produced);
}

int CFaxDecoder::Finish2D(Stop stop, std::uint64_t position, LineState line, std::uint64_t codeStart,
                          bool extension, const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                          std::uint32_t& produced) {
    // Elements that are not empty runs are not counted as they are added;
    // a line holding more runs than allowed fails here, whatever stopped it.
    if (stop == Stop::Fail || line.N > kFaxMaxRuns) {
        ClearToggles();
        return 0;
    }
    const std::uint32_t carried = CarriedIn;
    const std::uint64_t width = Width;
    std::uint64_t* const cur = Cur;
    std::uint64_t* const toggles = Toggles.get();
    std::uint64_t n = line.N;

    if (stop == Stop::Suspend) {
        const std::uint64_t available = static_cast<std::uint64_t>(carried) + length;
        // A code that starts past the input (after one read with 0 bits for
        // the missing ones) leaves nothing to carry.
        const bool pastInput = codeStart / 8 >= available;
        const std::uint64_t first = pastInput ? available : codeStart / 8;
        const std::uint64_t keep = available - first;
        if (keep > kFaxCarryBytes) {
            ClearToggles();
            return 0;  // a code too long to carry into the next call
        }
        std::uint8_t kept[kFaxCarryBytes];
        for (std::uint64_t i = 0; i < keep; ++i) {
            const std::uint64_t at = first + i;
            kept[i] = at < carried ? CarryBuf[at] : input[at - carried];
        }
        std::memcpy(CarryBuf, kept, static_cast<std::size_t>(keep));
        CarriedIn = static_cast<std::uint32_t>(keep);
        BitOffset = pastInput ? 0 : static_cast<std::uint32_t>(codeStart % 8);
        Saved = line;
        LineComplete = 0;
        consumed = length;
        produced = 0;
        return 1;
    }

    if (stop == Stop::Block) {
        // The end-of-block mark is left unread; the rest of the line is
        // white, from the last element on.
        if ((n & 1u) != 0) {
            ToggleFaxElement(toggles, cur[n]);
            cur[n] += width - line.A0;
        } else {
            if (n >= kFaxMaxRuns) {
                ClearToggles();
                return 0;
            }
            cur[n + 1] = cur[n] + (width - line.A0);
            ++n;
        }
        ToggleFaxElement(toggles, cur[n]);
        StripActive = 0;
        RenderedFault = TV_OK;
    } else if (!extension && line.A0 > cur[n]) {
        // A pass code took a0 to the end of the line (b2 at or past it): the
        // pixels it passed over keep a0's colour up to b2.
        if (n >= kFaxMaxRuns) {
            ClearToggles();
            return 0;
        }
        cur[n + 1] = line.A0;
        ++n;
        ToggleFaxElement(toggles, line.A0);
    }

    // Bits before the new input were reported as consumed by the call that
    // carried them.
    const std::uint64_t carriedBits = static_cast<std::uint64_t>(carried) * 8;
    std::uint64_t b = position > carriedBits ? position - carriedBits : 0;
    CarriedIn = 0;
    LineComplete = 1;
    BitOffset = (stop == Stop::Line && extension) ? 0 : static_cast<std::uint32_t>(b % 8);
    if (b > std::uint64_t{length} * 8) {
        // The line's last code ran past the input, read as 0 bits: the
        // input is used up, and the line is partly made up.
        b = std::uint64_t{length} * 8;
        BitOffset = 0;
        RenderedFault = TV_ERR_STRIP_SHORT;
    }
    ++LinesDone;
    if (!RenderLine(static_cast<std::uint32_t>(n))) {
        return 0;
    }
    // The line becomes the reference for the next one. A line that stops
    // short of the width (corrupt data) is taken to have its further
    // changing elements at the width.
    const std::uint64_t end = std::max(cur[n], width);
    for (std::uint64_t i = 1; i <= kSentinels; ++i) {
        cur[n + i] = end;
    }
    std::swap(Ref, Cur);
    RefCount = static_cast<std::uint32_t>(n);
    consumed = static_cast<std::uint32_t>(b / 8);
    produced = OutBytes + (OutBits > 0 ? 1 : 0);
    return 1;
}

std::uint32_t CFaxDecoder::GetLine(std::uint8_t* line) {
    if (!LineBuf) {
        return 0;
    }
    const std::size_t n = LineBufSize / 2;
    if (Fresh < n) {
        std::memset(LineBuf.get() + Fresh, 0, n - Fresh);
    }
    if (Invert != 0) {
        for (std::size_t i = 0; i < n; ++i) {
            line[i] = static_cast<std::uint8_t>(~LineBuf[i]);
        }
    } else {
        std::memcpy(line, LineBuf.get(), n);
    }
    Fresh = 0;
    OutBytes = 0;
    DeliveredFault = RenderedFault;
    RenderedFault = TV_OK;
    return static_cast<std::uint32_t>(n);
}

void CFaxDecoder::Discard(std::uint32_t count) { (void)count; }
