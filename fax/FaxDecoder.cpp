// CCITT fax strip decoder: T.4 one-dimensional lines with EOL codes for
// Compression 3, T.6 two-dimensional lines for Compression 4.
#include "fax/FaxDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "fax/FaxCodes.h"

#if defined(__GNUC__)
#define TV_FAX_RARELY(condition) __builtin_expect(!!(condition), 0)
#define TV_FAX_LIKELY(condition) __builtin_expect(!!(condition), 1)
#else
#define TV_FAX_RARELY(condition) (condition)
#define TV_FAX_LIKELY(condition) (condition)
#endif

namespace {

// Room behind the last reference run: one closing run plus the zero runs that
// the pass and vertical modes may still step over once b1 has reached the
// end of the line (see AdoptReferenceLine).
constexpr std::uint32_t kRunSlack = 4;

struct ReverseTable {
    std::uint8_t Bytes[256];
    constexpr ReverseTable() : Bytes() {
        for (unsigned b = 0; b < 256; ++b) {
            unsigned r = 0;
            for (unsigned bit = 0; bit < 8; ++bit) {
                r |= ((b >> bit) & 1u) << (7 - bit);
            }
            Bytes[b] = static_cast<std::uint8_t>(r);
        }
    }
};
constexpr ReverseTable kReverse;

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return __builtin_bswap64(w);
#else
    std::uint64_t w = 0;
    for (int i = 0; i < 8; ++i) {
        w = (w << 8) | p[i];
    }
    return w;
#endif
}

inline void StoreBigEndian64(std::uint8_t* p, std::uint64_t w) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    w = __builtin_bswap64(w);
    std::memcpy(p, &w, 8);
#else
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(w);
        w >>= 8;
    }
#endif
}

// Reverses the bit order inside each of the eight bytes (FillOrder 2).
inline std::uint64_t ReverseBitsInBytes(std::uint64_t w) {
    w = ((w >> 1) & 0x5555555555555555ull) | ((w & 0x5555555555555555ull) << 1);
    w = ((w >> 2) & 0x3333333333333333ull) | ((w & 0x3333333333333333ull) << 2);
    w = ((w >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((w & 0x0F0F0F0F0F0F0F0Full) << 4);
    return w;
}

// Bits of the available input (the carried bytes of a suspended line, then
// the caller's input), next bit in bit 63 of Acc. Bytes past the end of the
// input are never loaded: they read as 0 bits, and the line decoders compare
// every code's extent with the available bits before trusting it.
//
// Acc may hold, below its Held counted bits, a copy of the stream bits that
// follow (left by the 8-byte load); every later load ORs the same bits into
// the same places, so they never disturb it.
class BitReader {
public:
    BitReader(const std::uint8_t* carry, std::uint32_t carryLength, const std::uint8_t* input,
              std::uint32_t inputLength, bool reverse)
        : Reverse(reverse) {
        if (carryLength > 0) {
            P = carry;
            End = carry + carryLength;
            Next = input;
            NextEnd = input + inputLength;
        } else {
            P = input;
            End = input + inputLength;
        }
    }

    std::uint64_t Acc = 0;
    unsigned Held = 0;  // counted bits in Acc; 64 once the input is exhausted
    // Bits of input loaded into Acc, and 0 bits made up once the input ran
    // out. While nothing is made up, every counted bit of Acc is input.
    std::uint64_t Loaded = 0;
    std::uint64_t Phantom = 0;

    // Bits consumed since the first input byte.
    std::uint64_t Position() const { return Loaded + Phantom - Held; }
    // Whether Acc may hold bits beyond the input.
    bool Exhausted() const { return Phantom != 0; }

    // Tops Acc up to at least 56 bits. Called only with Held <= 56.
    void Refill() {
        if (End - P >= 8) {
            std::uint64_t w = LoadBigEndian64(P);
            if (Reverse) {
                w = ReverseBitsInBytes(w);
            }
            Acc |= w >> Held;
            const unsigned bytes = (63 - Held) >> 3;
            P += bytes;
            Loaded += 8 * bytes;
            Held |= 56;
            return;
        }
        RefillSlow();
    }

    void Consume(unsigned n) {
        Acc <<= n;
        Held -= n;
    }

private:
    void RefillSlow() {
        while (Held <= 56) {
            if (P == End) {
                if (Next != nullptr) {
                    P = Next;
                    End = NextEnd;
                    Next = nullptr;
                    if (End - P >= 8) {
                        Refill();
                        return;
                    }
                    continue;
                }
                // Nothing left: the rest of the stream is missing and reads as 0.
                Phantom += 64 - Held;
                Held = 64;
                return;
            }
            std::uint8_t b = *P++;
            if (Reverse) {
                b = kReverse.Bytes[b];
            }
            Acc |= static_cast<std::uint64_t>(b) << (56 - Held);
            Held += 8;
            Loaded += 8;
        }
    }

    const std::uint8_t* P = nullptr;
    const std::uint8_t* End = nullptr;
    const std::uint8_t* Next = nullptr;
    const std::uint8_t* NextEnd = nullptr;
    bool Reverse;
};

inline void FillBytes(std::uint8_t* out, std::uint8_t value, std::uint64_t count) {
    if (count >= 32) {
        std::memset(out, value, static_cast<std::size_t>(count));
        return;
    }
    const std::uint64_t word = value != 0 ? ~std::uint64_t{0} : 0;
    while (count >= 8) {
        std::memcpy(out, &word, 8);
        out += 8;
        count -= 8;
    }
    while (count > 0) {
        *out++ = value;
        --count;
    }
}

// Vertical mode offsets by mode number.
constexpr int kVerticalOffset[kModeCodeRows] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3, 0, 0};

}  // namespace

bool RenderFaxRuns(const std::uint32_t* runs, std::uint32_t count, std::uint8_t* dest, std::size_t capacity,
                   std::uint32_t& bytes, std::uint32_t& bits) {
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        total += runs[i];
    }
    if (total > static_cast<std::uint64_t>(capacity) * 8) {
        bytes = 0;
        bits = 0;
        return false;
    }
    // The line's bytes, and the trailing partial byte when there is room,
    // start white. Black runs are gathered in a 64-pixel word held in a
    // register and written once per word, big end first; a word reaching
    // past the line's bytes is written only up to them.
    const std::uint64_t whole = total / 8;
    const std::uint64_t limit = whole < capacity ? whole + 1 : whole;
    std::memset(dest, 0, static_cast<std::size_t>(limit));
    auto flush = [dest, limit](std::uint64_t word, std::uint64_t value) {
        const std::uint64_t at = word * 8;
        if (at + 8 <= limit) {
            StoreBigEndian64(dest + at, value);
        } else {
            for (std::uint64_t i = 0; at + i < limit; ++i) {
                dest[at + i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
            }
        }
    };
    constexpr std::uint64_t kAll = ~std::uint64_t{0};
    std::uint64_t x = 0;
    std::uint64_t word = 0;    // index of the 64-pixel word being gathered
    std::uint64_t pixels = 0;  // its black pixels, first pixel in bit 63
    const std::uint32_t pairs = count / 2;
    for (std::uint32_t k = 0; k < pairs; ++k) {
        x += runs[2 * k];
        const std::uint64_t v = runs[2 * k + 1];
        if (v == 0) {
            continue;
        }
        const std::uint64_t end = x + v;
        if ((x >> 6) != word) {
            if (pixels != 0) {
                flush(word, pixels);
            }
            word = x >> 6;
            pixels = 0;
        }
        const std::uint64_t lastWord = (end - 1) >> 6;
        const std::uint64_t head = kAll >> (x & 63);
        const std::uint64_t tail = (end & 63) != 0 ? ~(kAll >> (end & 63)) : kAll;
        if (lastWord == word) {
            pixels |= head & tail;
        } else {
            flush(word, pixels | head);
            FillBytes(dest + 8 * (word + 1), 0xFF, 8 * (lastWord - word - 1));
            word = lastWord;
            pixels = tail;
        }
        x = end;
    }
    if (pixels != 0) {
        flush(word, pixels);
    }
    bytes = static_cast<std::uint32_t>(whole);
    bits = static_cast<std::uint32_t>(total % 8);
    return true;
}

CFaxDecoder::CFaxDecoder(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t rowsPerStrip)
    : Compression(compression), FillOrder(fillOrder), RowsPerStrip(rowsPerStrip) {
    const FaxTables_t& tables = GetFaxTables();
    WhiteTable = tables.White;
    BlackTable = tables.Black;
    ModeTable = tables.Mode;
    const std::size_t perArray = static_cast<std::size_t>(kFaxMaxRuns) + kRunSlack;
    const std::size_t total = Compression == 4 ? 2 * perArray : perArray;
    RunStore.reset(new (std::nothrow) std::uint32_t[total]());
    if (RunStore) {
        if (Compression == 4) {
            RefRuns = RunStore.get();
            CurRuns = RunStore.get() + perArray;
        } else {
            Runs1D = RunStore.get();
        }
    }
    Usable = tables.Valid && RunStore != nullptr;
    Reset();
}

CFaxDecoder::~CFaxDecoder() = default;

void CFaxDecoder::Reset() {
    StripActive = 1;
    LineComplete = 1;
    LinesDone = 0;
    OutBytes = 0;
    OutBits = 0;
    BitOffset = 0;
    RefCount = 0;
    CurCount = 0;
    CarriedIn = 0;
    std::memset(CarryBuf, 0, sizeof CarryBuf);
    SavedA0 = SavedB1 = SavedPending = 0;
    SavedRefPos = SavedCurPos = 0;
}

void CFaxDecoder::SetInvert(std::int32_t invert) { Invert = invert; }

int CFaxDecoder::SetWidth(std::uint32_t width) {
    LineBuf.reset();
    LineBufSize = 0;
    if (!Usable) {
        return 0;
    }
    Width = width;
    const std::size_t size = 2 * static_cast<std::size_t>((static_cast<std::uint64_t>(width) + 7) / 8);
    LineBuf.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]());
    if (!LineBuf) {
        return 0;
    }
    LineBufSize = size;
    return 1;
}

std::size_t CFaxDecoder::RoomFromOutBytes() const {
    return OutBytes < LineBufSize ? LineBufSize - OutBytes : 0;
}

bool CFaxDecoder::RenderLine(const std::uint32_t* runs, std::uint32_t count) {
    const std::size_t start = std::min<std::size_t>(OutBytes, LineBufSize);
    std::uint32_t bytes = 0;
    std::uint32_t bits = 0;
    const bool fits = RenderFaxRuns(runs, count, LineBuf.get() + start, LineBufSize - start, bytes, bits);
    OutBytes = static_cast<std::uint32_t>(start + bytes);
    OutBits = bits;
    LastPixels = static_cast<std::uint64_t>(bytes) * 8 + bits;
    return fits;
}

void CFaxDecoder::AdoptReferenceLine(std::uint32_t count, std::uint64_t total) {
    std::swap(RefRuns, CurRuns);
    RefCount = count;
    // A reference line that stops short of the width (corrupt data) would
    // leave b1 stuck below a0; its changing elements beyond the last run are
    // taken to be at the width instead. The zero runs after that keep every
    // further changing element there, so b1 can always reach the width
    // within the array.
    RefRuns[count] = total < Width ? static_cast<std::uint32_t>(Width - total) : 0;
    for (std::uint32_t i = 1; i < kRunSlack; ++i) {
        RefRuns[count + i] = 0;
    }
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
            const std::uint32_t whiteRun = Width;
            std::uint32_t bytes = 0;
            std::uint32_t bits = 0;
            RenderFaxRuns(&whiteRun, 1, LineBuf.get(), LineBufSize, bytes, bits);
            OutBytes = static_cast<std::uint32_t>(std::min<std::size_t>(std::size_t{OutBytes} + bytes, LineBufSize));
            OutBits = bits;
            ++LinesDone;
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

namespace {

// Skips the 0 bits at the reader's position, `pos` bits into the input. When
// at least 11 of them are followed by a 1 (an EOL, after any fill), returns
// the position just past that 1, else 0. Leaves the reader past the zeros.
std::uint64_t FindEolEnd(BitReader& reader, std::uint64_t pos) {
    for (std::uint64_t zeros = 0;;) {
        if (reader.Held < 16) {
            reader.Refill();
        }
        const unsigned lead = reader.Acc == 0 ? 64u : static_cast<unsigned>(__builtin_clzll(reader.Acc));
        if (lead < reader.Held) {
            zeros += lead;
            reader.Consume(lead);
            return zeros >= 11 ? pos + zeros + 1 : 0;
        }
        // Every held bit is 0: fill, unless the input has run out.
        if (reader.Exhausted()) {
            return 0;
        }
        const unsigned n = std::min(reader.Held, 32u);
        reader.Consume(n);
        zeros += n;
    }
}

}  // namespace

int CFaxDecoder::Decode1D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                          std::uint32_t& produced) {
    const FaxTables_t& tables = GetFaxTables();
    const std::uint16_t* const fastWhite = tables.FastWhite;
    const std::uint16_t* const fastBlack = tables.FastBlack;
    const std::uint32_t* const runValue = tables.RunValue;

    BitReader reader(nullptr, 0, input, length, FillOrder == 2);
    reader.Refill();
    const std::uint64_t availBits = static_cast<std::uint64_t>(length) * 8;
    std::uint64_t pos = 0;

    const std::uint64_t width = Width;
    // A line that cannot fit into the line buffer is refused.
    const std::uint64_t roomPixels =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(RoomFromOutBytes()) * 8, 0xFFFFFFFFu);
    std::uint32_t* const runs = Runs1D;
    std::uint32_t count = 0;
    std::uint64_t linePos = 0;
    std::uint64_t pending = 0;
    bool white = true;
    bool terminated = true;  // the last code ended a run (no make-up waiting)

    // An EOL may open the line. The fill before it is any number of 0 bits:
    // the fewest that end the EOL on a byte boundary, or whole bytes more,
    // as some writers add. Only 0 bits count as fill: a narrow line can be
    // coded in four bits right before its EOL, and those bits are the line.
    // So the EOL is there when the line starts with 11 or more zeros and a 1;
    // fewer zeros begin the line's first code, read from the line's start.
    {
        BitReader probe = reader;
        const std::uint64_t eolEnd = FindEolEnd(probe, pos);
        if (eolEnd != 0) {
            reader = probe;
            reader.Consume(1);
            pos = eolEnd;
        }
    }

    while (!(linePos >= width && terminated)) {
        if (reader.Held < 16) {
            reader.Refill();
        }
        const std::uint16_t entry =
            white ? fastWhite[reader.Acc >> (64 - kWhiteMaxBits)] : fastBlack[reader.Acc >> (64 - kBlackMaxBits)];
        const std::uint32_t row = FaxFastRow(entry);
        // Twelve 0 bits match no white code: fill before an EOL, or damage.
        if (TV_FAX_RARELY(entry == 0 || row == kFaxEolRow || row == kFaxBlackEolRow)) {
            // An EOL before the line is complete: the line ends there and
            // the rest of it is white, as fax receivers take it. This also
            // ends a line that a make-up code filled without the
            // terminating code of 0 some writers leave out. The EOL is left
            // for the end of the line to take.
            BitReader probe = reader;
            if (FindEolEnd(probe, pos) == 0) {
                return 0;
            }
            if (pending > 0 || !white) {
                // A run in progress (black, or a white make-up) ends here.
                if (count >= kFaxMaxRuns) {
                    return 0;
                }
                runs[count++] = static_cast<std::uint32_t>(pending);
                pending = 0;
                white = !white;
            }
            if (linePos < width) {
                // `white` is now the colour of the next run.
                if (!white) {
                    runs[count - 1] += static_cast<std::uint32_t>(width - linePos);
                } else if (count < kFaxMaxRuns) {
                    runs[count++] = static_cast<std::uint32_t>(width - linePos);
                } else {
                    return 0;
                }
                linePos = width;
            }
            terminated = true;
            break;
        }
        const unsigned len = FaxFastLength(entry);
        if (pos + len > availBits) {
            return 0;  // the line runs past the end of its input
        }
        reader.Consume(len);
        pos += len;
        const std::uint32_t value = runValue[row];
        linePos += value;
        if (linePos > roomPixels) {
            return 0;
        }
        if (value < 64) {
            if (count >= kFaxMaxRuns) {
                return 0;
            }
            runs[count++] = static_cast<std::uint32_t>(value + pending);
            pending = 0;
            white = !white;
            terminated = true;
        } else {
            pending += value;
            terminated = false;
        }
    }

    if (!RenderLine(runs, count)) {
        return 0;
    }
    // One-dimensional lines count towards the strip's rows like
    // two-dimensional ones, so that whatever follows the last row (a
    // return-to-control mark, fill) is skipped instead of decoded as a line.
    ++LinesDone;
    // The line is taken together with the byte-aligned EOL that follows it:
    // with the fewest fill bits, the EOL ends in the second byte after the
    // line's last whole byte, or in the third. Writers that add whole bytes
    // of fill put it further on, so where an EOL ending on a byte boundary
    // does follow, the line runs to its end instead.
    const std::uint64_t q = pos / 8;
    std::uint64_t lineBytes = q + (pos % 8 <= 4 ? 2 : 3);
    const std::uint64_t eolEnd = FindEolEnd(reader, pos);
    if (eolEnd != 0 && eolEnd % 8 == 0) {
        lineBytes = eolEnd / 8;
    }
    consumed = static_cast<std::uint32_t>(std::min<std::uint64_t>(lineBytes, length));
    produced = OutBytes + (OutBits > 0 ? 1 : 0);
    return 1;
}

int CFaxDecoder::Decode2D(const std::uint8_t* input, std::uint32_t length, std::uint32_t& consumed,
                          std::uint32_t& produced) {
    const FaxTables_t& tables = GetFaxTables();
    const std::uint16_t* const fastWhite = tables.FastWhite;
    const std::uint16_t* const fastBlack = tables.FastBlack;
    const std::uint16_t* const fastMode = tables.FastMode;
    const std::uint32_t* const runValue = tables.RunValue;

    if (RefCount == 0) {
        // The line above the first line of a strip is all white.
        RefRuns[0] = Width;
        for (std::uint32_t i = 1; i <= kRunSlack; ++i) {
            RefRuns[i] = 0;
        }
        RefCount = 1;
    }

    const std::uint32_t carried = CarriedIn;
    BitReader reader(CarryBuf, carried, input, length, FillOrder == 2);
    reader.Refill();
    reader.Consume(BitOffset);
    const std::uint64_t availBits = (static_cast<std::uint64_t>(carried) + length) * 8;
    // A code of n bits is whole when the input holds n more bits. While the
    // reader has made up no bits, every code looked up after a refill (at
    // least 16 bits held) lies inside the input, so positions are worked
    // out only once the input has run out.
    auto beyondInput = [&reader, availBits](unsigned n) {
        return reader.Exhausted() && reader.Position() + n > availBits;
    };

    const std::uint64_t width = Width;
    std::uint32_t* const cur = CurRuns;
    const std::uint32_t* const ref = RefRuns;
    std::uint64_t a0;
    std::uint64_t b1;
    std::uint64_t pending;
    std::uint32_t refPos;
    std::uint32_t curPos;
    if (LineComplete != 0) {
        a0 = 0;
        b1 = ref[0];
        refPos = 1;
        curPos = 0;
        pending = 0;
    } else {
        a0 = SavedA0;
        b1 = SavedB1;
        refPos = SavedRefPos;
        curPos = SavedCurPos;
        pending = SavedPending;
    }

    // Moves b1 to the first changing element of the opposite colour beyond
    // a0, two elements at a time; at the start of a line b1 stays put. Only
    // used while a0 < width: b1 then stops below the width or at the
    // reference line's end, whose closing run reaches the width.
#define TV_FAX_ADVANCE_B1()                                                    \
    do {                                                                       \
        if (curPos > 0) {                                                      \
            while (b1 <= a0) {                                                 \
                b1 += static_cast<std::uint64_t>(ref[refPos]) + ref[refPos + 1]; \
                refPos += 2;                                                   \
            }                                                                  \
        }                                                                      \
    } while (0)

    enum class Stop { Line, Block, Suspend, Fail };
    Stop stop = Stop::Fail;
    bool endedByExtension = false;
    std::uint64_t codeStart = 0;  // first bit of the code a suspension rereads
    for (;;) {
        if (a0 >= width) {
            stop = Stop::Line;
            break;
        }
        if (reader.Held < 16) {
            reader.Refill();
        }
        const std::uint64_t acc = reader.Acc;
        // End-of-block check: a white lookup here matches a non-EOL code
        // unless the bits start with eight 0s, so only then is it made.
        if (TV_FAX_RARELY((acc >> 56) == 0)) {
            const std::uint16_t white = fastWhite[acc >> (64 - kWhiteMaxBits)];
            if (white == 0) {
                // Bits beyond the input read as 0 and may be what fails here.
                stop = beyondInput(kWhiteMaxBits) ? Stop::Suspend : Stop::Fail;
                codeStart = reader.Position();
                break;
            }
            if (FaxFastRow(white) == kFaxEolRow) {
                stop = Stop::Block;
                break;
            }
        }
        // The mode codes cover every bit pattern, so this always matches.
        const std::uint16_t modeEntry = fastMode[acc >> (64 - kModeMaxBits)];
        const unsigned len = FaxFastLength(modeEntry);
        // A code that ends exactly at the end of the input is whole; only one
        // that needs bits beyond it waits for more input.
        if (TV_FAX_RARELY(beyondInput(len))) {
            stop = Stop::Suspend;
            codeStart = reader.Position();
            break;
        }
        reader.Consume(len);
        const std::uint32_t mode = FaxFastRow(modeEntry);

        if (TV_FAX_LIKELY(mode - kModeV0 <= kModeVL3 - kModeV0)) {
            // Vertical modes, the great majority: one path for all seven,
            // with b1's step forward (d >= 0) or back (d < 0) chosen
            // without a branch.
            TV_FAX_ADVANCE_B1();
            const std::int64_t d = kVerticalOffset[mode];
            const std::int64_t target = static_cast<std::int64_t>(b1) + d;
            const std::int64_t run = target - static_cast<std::int64_t>(a0) + static_cast<std::int64_t>(pending);
            if (TV_FAX_RARELY(static_cast<std::uint64_t>(run) > width || curPos >= kFaxMaxRuns)) {
                goto done;  // a negative run compares as huge: fails
            }
            cur[curPos++] = static_cast<std::uint32_t>(run);
            pending = 0;
            a0 = static_cast<std::uint64_t>(target);
            const std::uint32_t back = d < 0 ? 1u : 0u;
            if (TV_FAX_RARELY(refPos < back)) {
                goto done;
            }
            const std::uint32_t at = refPos - back;
            const std::uint64_t step = ref[at];
            b1 = back != 0 ? b1 - step : b1 + step;
            refPos = at + 1 - back;
            continue;
        }
        switch (mode) {
        case kModeHorizontal: {
            const std::uint64_t hStart = reader.Position() - len;
            const std::uint64_t a0Start = a0;
            const std::uint64_t pendingStart = pending;
            const std::uint32_t curStart = curPos;
            bool white = (curPos & 1u) == 0;
            for (int r = 0; r < 2; ++r, white = !white) {
                for (;;) {
                    if (reader.Held < 16) {
                        reader.Refill();
                    }
                    // The colour alternates from code to code: selected without a branch.
                    const std::uint16_t* const table = white ? fastWhite : fastBlack;
                    const unsigned maxBits = white ? kWhiteMaxBits : kBlackMaxBits;
                    const std::uint16_t entry = table[reader.Acc >> (64 - maxBits)];
                    const unsigned codeLen = FaxFastLength(entry);
                    if (TV_FAX_RARELY(entry == 0 || beyondInput(codeLen))) {
                        if (entry != 0 || beyondInput(maxBits)) {
                            // The whole horizontal code is read again from its start.
                            a0 = a0Start;
                            pending = pendingStart;
                            curPos = curStart;
                            stop = Stop::Suspend;
                            codeStart = hStart;
                        }
                        goto done;
                    }
                    reader.Consume(codeLen);
                    const std::uint32_t value = runValue[FaxFastRow(entry)];
                    a0 += value;
                    if (value < 64) {
                        const std::uint64_t run = value + pending;
                        pending = 0;
                        if (TV_FAX_RARELY(run > width || curPos >= kFaxMaxRuns)) {
                            goto done;
                        }
                        cur[curPos++] = static_cast<std::uint32_t>(run);
                        break;
                    }
                    // Includes an EOL met inside a run: the run can only outgrow the line.
                    pending += value;
                    if (TV_FAX_RARELY(pending > width)) {
                        goto done;
                    }
                }
            }
            if (a0 < width) {
                TV_FAX_ADVANCE_B1();
            }
            break;
        }
        case kModePass: {
            TV_FAX_ADVANCE_B1();
            const std::uint64_t b2 = b1 + ref[refPos];
            ++refPos;
            if (b2 < a0) {
                goto done;
            }
            pending += b2 - a0;
            a0 = b2;
            b1 = b2 + ref[refPos];
            ++refPos;
            break;
        }
        default: {
            // Extension prefix or seven 0s: the rest of the line is one run.
            if (curPos >= kFaxMaxRuns) {
                goto done;
            }
            cur[curPos++] = static_cast<std::uint32_t>(width - a0);
            a0 = width;
            endedByExtension = true;
            break;
        }
        }
    }
done:
#undef TV_FAX_ADVANCE_B1

    if (stop == Stop::Fail) {
        return 0;
    }

    if (stop == Stop::Suspend) {
        const std::uint64_t first = codeStart / 8;
        const std::uint64_t available = static_cast<std::uint64_t>(carried) + length;
        const std::uint64_t keep = available - first;
        if (keep > kFaxCarryBytes) {
            return 0;  // a code too long to carry into the next call
        }
        std::uint8_t kept[kFaxCarryBytes];
        for (std::uint64_t i = 0; i < keep; ++i) {
            const std::uint64_t at = first + i;
            kept[i] = at < carried ? CarryBuf[at] : input[at - carried];
        }
        std::memcpy(CarryBuf, kept, static_cast<std::size_t>(keep));
        CarriedIn = static_cast<std::uint32_t>(keep);
        BitOffset = static_cast<std::uint32_t>(codeStart % 8);
        SavedA0 = a0;
        SavedB1 = b1;
        SavedPending = pending;
        SavedRefPos = refPos;
        SavedCurPos = curPos;
        CurCount = curPos;
        LineComplete = 0;
        consumed = length;
        produced = 0;
        return 1;
    }

    if (stop == Stop::Block) {
        // The end-of-block mark is left unread; the rest of the line is white.
        if ((curPos & 1u) != 0) {
            cur[curPos - 1] += static_cast<std::uint32_t>(width - a0);
        } else {
            if (curPos >= kFaxMaxRuns) {
                return 0;
            }
            cur[curPos++] = static_cast<std::uint32_t>(width - a0);
        }
        StripActive = 0;
    }

    // Bits before the new input were reported as consumed by the call that
    // carried them.
    const std::uint64_t carriedBits = static_cast<std::uint64_t>(carried) * 8;
    const std::uint64_t pos = reader.Position();
    const std::uint64_t b = pos > carriedBits ? pos - carriedBits : 0;
    CarriedIn = 0;
    LineComplete = 1;
    BitOffset =
        (stop == Stop::Line && endedByExtension) ? 0
                                                                                       : static_cast<std::uint32_t>(b % 8);
    ++LinesDone;
    CurCount = curPos;
    if (!RenderLine(cur, curPos)) {
        return 0;
    }
    AdoptReferenceLine(curPos, LastPixels);
    CurCount = 0;
    consumed = static_cast<std::uint32_t>(b / 8);
    produced = OutBytes + (OutBits > 0 ? 1 : 0);
    return 1;
}

std::uint32_t CFaxDecoder::GetLine(std::uint8_t* line) {
    if (!LineBuf) {
        return 0;
    }
    const std::size_t n = LineBufSize / 2;
    if (Invert != 0) {
        for (std::size_t i = 0; i < n; ++i) {
            line[i] = static_cast<std::uint8_t>(~LineBuf[i]);
        }
    } else {
        std::memcpy(line, LineBuf.get(), n);
    }
    std::memset(LineBuf.get(), 0, n);
    OutBytes = 0;
    return static_cast<std::uint32_t>(n);
}

void CFaxDecoder::Discard(std::uint32_t count) { (void)count; }
