// Group 3 strip decoder for the any-bilevel reader. Each line is decoded
// into its changing elements and then rendered. Damage is handled as
// libtiff handles it, so that both read the same pixels: a line is ended by
// a bad code, an EOL or the end of the data; runs that go past the width
// are dropped and the rest of the line is white; the next line is found by
// searching for the next EOL.
#include "fax/Group3Lines.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "TiffView.h"
#include "fax/FaxCodes.h"

namespace {

// Copies of the width after a reference line's last element: b1 and b2 may
// stand on them, and a pass code steps two further.
constexpr std::uint32_t kSentinels = 6;
// Elements a line may hold beyond twice its width (empty runs at the end,
// the elements a cleanup adds) before it is refused as damaged.
constexpr std::uint32_t kSlack = 16;
// A line of more elements than this is damaged whatever its width: it
// bounds the working storage of very wide pages.
constexpr std::uint64_t kMostElements = std::uint64_t{1} << 22;
constexpr unsigned kEolZeros = 11;   // an EOL is eleven zeros and a one
constexpr unsigned kModeEolZeros = 7;  // seven zeros match no mode code

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap64(w);
#else
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
#endif
}

}  // namespace

// A bit cursor over the strip's input; bits past its end read as zeros and
// are never loaded from memory.
struct CGroup3Lines::Bits {
    const std::uint8_t* Data;
    std::uint64_t Bytes;
    std::uint64_t End;  // in bits
    std::uint64_t Pos;  // in bits

    // The next `n` (1..25) bits, first bit most significant.
    std::uint32_t Peek(unsigned n) const {
        const std::uint64_t byte = Pos >> 3;
        std::uint64_t w;
        if (byte + 8 <= Bytes) {
            w = LoadBigEndian64(Data + byte);
        } else {
            w = 0;
            for (unsigned i = 0; i < 8; ++i) w = (w << 8) | (byte + i < Bytes ? Data[byte + i] : 0u);
        }
        return static_cast<std::uint32_t>((w << (Pos & 7)) >> (64 - n));
    }
    bool Exhausted() const { return Pos >= End; }
    std::uint64_t Left() const { return Pos < End ? End - Pos : 0; }
};

CGroup3Lines::CGroup3Lines(std::uint32_t compression, bool twoDimensional)
    : Compression(compression), TwoDimensional(twoDimensional && compression == 3) {}

CGroup3Lines::~CGroup3Lines() = default;

void CGroup3Lines::Reset() {
    BitOffset = 0;
    EolPending = false;
    DataEnded = false;
    Pending = false;
    if (!Usable) return;
    // The first reference line of a strip is white.
    RefCount = 1;
    std::fill(Ref, Ref + 1 + kSentinels, std::uint64_t{Width});
}

void CGroup3Lines::SetInvert(std::int32_t invert) { InvertMask = invert != 0 ? 0xFF : 0; }

int CGroup3Lines::SetWidth(std::uint32_t width) {
    Usable = false;
    Width = width;
    RowBytes = static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8);
    const std::uint64_t elements = std::min<std::uint64_t>(std::uint64_t{width} * 2 + kSlack, kMostElements);
    Capacity = static_cast<std::uint32_t>(elements);
    try {
        Store.reset(new std::uint64_t[2 * (elements + kSentinels + 2)]);
    } catch (const std::bad_alloc&) {
        Store.reset();
        return 0;
    }
    Ref = Store.get();
    Cur = Store.get() + elements + kSentinels + 2;
    Usable = true;
    Reset();
    return 1;
}

// Finds the start of the next line: for Compression 3 past its EOL (after
// any fill), for Compression 2 at the next byte. False when the data ends
// first.
bool CGroup3Lines::Sync(Bits& bits) {
    SkippedData = false;
    if (Compression == 2) {
        bits.Pos = (bits.Pos + 7) & ~std::uint64_t{7};
        return !bits.Exhausted();
    }
    if (!EolPending) {
        // Slide bit by bit to eleven zeros: bits stepped over were not the
        // EOL this line should start with.
        for (;;) {
            if (bits.Left() < kEolZeros) return false;
            if (bits.Peek(kEolZeros) == 0) break;
            SkippedData = true;
            ++bits.Pos;
        }
    }
    EolPending = false;
    // Any number of zeros (fill) up to the EOL's one.
    for (;;) {
        if (bits.Exhausted()) return false;
        const std::uint32_t next = bits.Peek(24);
        if (next != 0) {
            bits.Pos += static_cast<std::uint64_t>(__builtin_clz(next) - 8) + 1;
            return !(bits.Pos > bits.End);
        }
        bits.Pos += 24;
    }
}

CGroup3Lines::End CGroup3Lines::Line1D(Bits& source) {
    // Working on copies lets the compiler keep the cursor and the count in
    // registers: stores into the element array could otherwise alias them.
    Bits bits = source;
    std::uint32_t count = 0;
    std::uint64_t* const cur = Cur;
    struct WriteBack {
        Bits& to;
        const Bits& from;
        std::uint32_t& countTo;
        const std::uint32_t& countFrom;
        ~WriteBack() {
            to = from;
            countTo = countFrom;
        }
    } writeBack{source, bits, CurCount, count};
    const FaxTables_t& tables = GetFaxTables();
    std::uint64_t a0 = 0;
    std::uint32_t colour = 0;
    for (;;) {
        std::uint64_t start = a0;
        for (;;) {
            if (bits.Exhausted()) {
                if (a0 > start) cur[count++] = a0;
                return End::Data;
            }
            const std::uint16_t entry = colour == 0 ? tables.FastWhite[bits.Peek(kWhiteMaxBits)]
                                                    : tables.FastBlack[bits.Peek(kBlackMaxBits)];
            const unsigned row = FaxFastRow(entry);
            if (entry == 0 || row == kFaxEolRow || row == kFaxBlackEolRow) {
                if (a0 > start) cur[count++] = a0;
                return bits.Peek(kEolZeros) == 0 ? End::Eol : End::BadCode;
            }
            bits.Pos += FaxFastLength(entry);
            const std::uint32_t value = tables.RunValue[row];
            a0 += value;
            if (value < 64) break;
        }
        if (count >= Capacity) return End::BadCode;
        cur[count++] = a0;
        if (a0 >= Width) return End::Complete;
        colour ^= 1u;
    }
}

CGroup3Lines::End CGroup3Lines::Line2D(Bits& source) {
    // Working on copies lets the compiler keep the cursor and the count in
    // registers: stores into the element array could otherwise alias them.
    Bits bits = source;
    std::uint32_t count = 0;
    std::uint64_t* const cur = Cur;
    struct WriteBack {
        Bits& to;
        const Bits& from;
        std::uint32_t& countTo;
        const std::uint32_t& countFrom;
        ~WriteBack() {
            to = from;
            countTo = countFrom;
        }
    } writeBack{source, bits, CurCount, count};
    const FaxTables_t& tables = GetFaxTables();
    const std::uint64_t* e = Ref;
    std::uint64_t a0 = 0;
    std::uint32_t colour = 0;
    std::uint32_t k = 0;  // b1 is e[k]; k's parity is the colour at a0
    while (a0 < Width) {
        // b1 is the first changing element past a0 of the other colour;
        // before the line's first element libtiff takes it as it stands.
        if (count > 0) {
            while (e[k] <= a0 && e[k] < Width) k += 2;
        }
        if (bits.Exhausted()) {
            if (a0 > (count ? cur[count - 1] : 0)) cur[count++] = a0;
            return End::Data;
        }
        if (count + 2 >= Capacity) return End::BadCode;
        const std::uint16_t entry = tables.FastMode[bits.Peek(kModeMaxBits)];
        const unsigned mode = FaxFastRow(entry);
        if (entry == 0 || mode == kModeZeros || mode == kModeExtension) {
            if (a0 > (count ? cur[count - 1] : 0)) cur[count++] = a0;
            return bits.Peek(kModeEolZeros) == 0 ? End::Eol : End::BadCode;
        }
        bits.Pos += FaxFastLength(entry);
        const std::uint64_t b1 = e[k];
        if (mode == kModePass) {
            a0 = e[k + 1];
            k += 2;
            continue;
        }
        if (mode == kModeHorizontal) {
            for (int r = 0; r < 2; ++r) {
                const std::uint32_t c = colour ^ static_cast<std::uint32_t>(r);
                for (;;) {
                    if (bits.Exhausted()) {
                        cur[count++] = a0;
                        return End::Data;
                    }
                    const std::uint16_t run = c == 0 ? tables.FastWhite[bits.Peek(kWhiteMaxBits)]
                                                     : tables.FastBlack[bits.Peek(kBlackMaxBits)];
                    const unsigned row = FaxFastRow(run);
                    if (run == 0 || row == kFaxEolRow || row == kFaxBlackEolRow) {
                        if (a0 > (count ? cur[count - 1] : 0)) cur[count++] = a0;
                        return bits.Peek(kEolZeros) == 0 ? End::Eol : End::BadCode;
                    }
                    bits.Pos += FaxFastLength(run);
                    const std::uint32_t value = tables.RunValue[row];
                    a0 += value;
                    if (value < 64) break;
                }
                cur[count++] = a0;
            }
            continue;
        }
        // Vertical: a1 lies within three pixels of b1.
        const std::int64_t shift = mode <= kModeVR3 ? static_cast<std::int64_t>(mode - kModeV0)
                                                    : -static_cast<std::int64_t>(mode - kModeVR3);
        if (shift < 0 && b1 < a0 + static_cast<std::uint64_t>(-shift)) {
            if (a0 > (count ? cur[count - 1] : 0)) cur[count++] = a0;
            return End::BadCode;
        }
        a0 = static_cast<std::uint64_t>(static_cast<std::int64_t>(b1) + shift);
        cur[count++] = a0;
        colour ^= 1u;
        if (k > 0 && e[k - 1] > a0) {
            --k;
        } else {
            ++k;
        }
    }
    if (a0 > (count ? cur[count - 1] : 0)) cur[count++] = a0;
    return End::Complete;
}

// Brings the line to exactly the width: runs reaching past it are dropped,
// and what is missing is white.
void CGroup3Lines::Finish(End end) {
    std::uint64_t a0 = CurCount > 0 ? Cur[CurCount - 1] : 0;
    if (end == End::Complete && a0 == Width) return;
    while (a0 > Width && CurCount > 0) {
        --CurCount;
        a0 = CurCount > 0 ? Cur[CurCount - 1] : 0;
    }
    if (a0 < Width) {
        if (CurCount % 2 == 1) Cur[CurCount++] = a0;
        Cur[CurCount++] = Width;
    }
}

// Renders the delivered line (Ref, once Decode has swapped it in) into
// `out`, RowBytes bytes: white bytes `fill`, black ones its complement.
void CGroup3Lines::Render(std::uint8_t* out) const {
    const std::uint8_t fill = InvertMask;
    std::memset(out, fill, RowBytes);
    for (std::uint32_t i = 1; i < RefCount; i += 2) {
        const std::uint64_t from = Ref[i - 1];
        const std::uint64_t to = std::min<std::uint64_t>(Ref[i], Width);
        if (to <= from) continue;
        const std::uint64_t firstByte = from >> 3, lastByte = (to - 1) >> 3;
        const unsigned head = 0xFFu >> (from & 7);
        const unsigned tail = (0xFFu << (7 - ((to - 1) & 7))) & 0xFFu;
        if (firstByte == lastByte) {
            out[firstByte] = static_cast<std::uint8_t>(out[firstByte] ^ (head & tail));
            continue;
        }
        out[firstByte] = static_cast<std::uint8_t>(out[firstByte] ^ head);
        const std::uint64_t middle = lastByte - firstByte - 1;
        std::uint8_t* p = out + firstByte + 1;
        const std::uint8_t black = static_cast<std::uint8_t>(~fill);
        if (middle > 16) {
            std::memset(p, black, static_cast<std::size_t>(middle));
        } else {
            for (std::uint64_t k = 0; k < middle; ++k) p[k] = black;
        }
        out[lastByte] = static_cast<std::uint8_t>(fill ^ tail);
    }
}

int CGroup3Lines::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                         std::uint32_t wanted, std::uint32_t& produced) {
    consumed = produced = 0;
    if (!Usable) return 0;
    if (wanted == 0 || Pending || DataEnded) return 1;
    Bits bits{input, inputLength, std::uint64_t{inputLength} * 8, BitOffset};
    if (bits.Pos >= bits.End || !Sync(bits)) {
        DataEnded = true;
        consumed = inputLength;
        BitOffset = 0;
        return 1;
    }
    bool twoD = false;
    if (TwoDimensional) {
        if (bits.Exhausted()) {
            DataEnded = true;
            consumed = inputLength;
            BitOffset = 0;
            return 1;
        }
        twoD = bits.Peek(1) == 0;
        ++bits.Pos;
    }
    const End end = twoD ? Line2D(bits) : Line1D(bits);
    const bool exact = end == End::Complete && CurCount > 0 && Cur[CurCount - 1] == Width;
    Finish(end);
    EolPending = end == End::Eol;
    PendingFault = end == End::Data ? TV_ERR_STRIP_SHORT : (exact && !SkippedData ? TV_OK : TV_ERR_LINE_DAMAGED);
    // The line is the next one's reference, followed by its sentinels.
    std::swap(Ref, Cur);
    RefCount = CurCount;
    std::fill(Ref + RefCount, Ref + RefCount + kSentinels, std::uint64_t{Width});
    Pending = true;
    produced = RowBytes;
    if (bits.Pos >= bits.End) {
        if (end == End::Data) DataEnded = true;
        consumed = inputLength;
        BitOffset = 0;
        if (bits.Pos > bits.End) DataEnded = true;
    } else {
        consumed = static_cast<std::uint32_t>(bits.Pos >> 3);
        BitOffset = static_cast<std::uint32_t>(bits.Pos & 7);
    }
    return 1;
}

std::uint32_t CGroup3Lines::GetLine(std::uint8_t* line) {
    if (!Pending) {
        DeliveredFault = TV_OK;
        return 0;
    }
    Render(line);
    Pending = false;
    DeliveredFault = PendingFault;
    return RowBytes;
}

void CGroup3Lines::Discard(std::uint32_t count) {
    if (count > 0) Pending = false;
}
