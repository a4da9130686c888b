// Bit sources of the fax decoders, which read codes first bit most
// significant through a 64-bit window (Acc): a fast source that loads eight
// input bytes at a time and never checks for the end of the input, and a
// careful one for the last bytes, which makes up 0 bits past the end.
//
// A decoder decodes each line with the fast source first; when that source
// cannot go on (its Fill fails within eight bytes of the input's end) the
// line is decoded again from its start with the careful source. Both hand
// out the same bits, so a line decodes the same either way.
#ifndef TIFFVIEW_FAX_FAXBITS_H
#define TIFFVIEW_FAX_FAXBITS_H

#include <cstdint>
#include <cstring>

#include "decoder/BitOrder.h"

#if defined(__GNUC__)
#define TV_FAX_RARELY(condition) __builtin_expect(!!(condition), 0)
#define TV_FAX_LIKELY(condition) __builtin_expect(!!(condition), 1)
// The decoding loops are kept out of their callers, so that their own
// state gets the registers.
#define TV_FAX_NOINLINE __attribute__((noinline))
// The named steps a decoding loop defines for itself (lambdas over its
// state) are inlined before the loop is optimised, so that they cost what
// the same code written out in place costs. Left to the later inlining, a
// step called once left CFaxLines::Line2D with 7% more instructions
// (GCC 12, -O2). The shared steps of fax/FaxSteps.h are small enough for
// the ordinary inlining, which measured no worse there.
#define TV_FAX_STEP __attribute__((always_inline))
#else
#define TV_FAX_RARELY(condition) (condition)
#define TV_FAX_LIKELY(condition) (condition)
#define TV_FAX_NOINLINE
#define TV_FAX_STEP
#endif

namespace tvfax {
// Each file that decodes gets its own copy: the sources' internal linkage
// lets the compiler specialise the decoding loops built on them.
namespace {

// Inputs shorter than this are decoded with the careful source straight away.
inline constexpr std::uint32_t kFastMinBytes = 16;


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

inline unsigned LeadingZeros64(std::uint64_t w) {
    return w == 0 ? 64u : static_cast<unsigned>(__builtin_clzll(w));
}

// Reverses the bit order inside each of the eight bytes (FillOrder 2).
inline std::uint64_t ReverseBitsInBytes(std::uint64_t w) {
    w = ((w >> 1) & 0x5555555555555555ull) | ((w & 0x5555555555555555ull) << 1);
    w = ((w >> 2) & 0x3333333333333333ull) | ((w & 0x3333333333333333ull) << 2);
    w = ((w >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((w & 0x0F0F0F0F0F0F0F0Full) << 4);
    return w;
}

// Both sources keep the next bit in bit 63 of Acc and Held counted bits.
// Below them Acc may hold a copy of the stream bits that follow (left by an
// 8-byte load); every later load ORs the same bits into the same places.

// The fast source: one contiguous input of at least kFastMinBytes, loaded
// eight bytes at a time. Fill fails, rather than read past the input, once
// fewer than eight bytes are left to load; every bit it hands out is input.
template <bool Reverse>
class FastBits {
public:
    FastBits(const std::uint8_t* input, std::uint32_t length)
        : Base(input), P(input), Last(input + length - 8) {}

    std::uint64_t Acc = 0;
    unsigned Held = 0;

    // Makes at least 16 bits available; false when that needs bytes within
    // eight of the input's end.
    bool Fill() {
        if (TV_FAX_LIKELY(Held >= 16)) {
            return true;
        }
        if (TV_FAX_RARELY(P > Last)) {
            return false;
        }
        std::uint64_t w = LoadBigEndian64(P);
        if (Reverse) {
            w = ReverseBitsInBytes(w);
        }
        Acc |= w >> Held;
        P += (63 - Held) >> 3;
        Held |= 56;
        return true;
    }
    void Consume(unsigned n) {
        Acc <<= n;
        Held -= n;
    }
    static constexpr bool Beyond(unsigned) { return false; }
    static constexpr bool Incomplete(unsigned) { return false; }
    // Far from the input's end, libtiff's view of it (see CarefulBits) and
    // this one agree.
    static constexpr bool Need(unsigned) { return true; }
    static constexpr bool NeedFrom(std::uint64_t, unsigned) { return true; }
    static constexpr bool Within(unsigned) { return true; }
    // Bits to the next byte boundary.
    unsigned ToByteBoundary() const { return static_cast<unsigned>((8 - Position() % 8) % 8); }
    static constexpr bool Exhausted() { return false; }
    // After a Fill that succeeded, bits of the input are always held.
    static constexpr bool AtEnd() { return false; }
    std::uint64_t Position() const { return static_cast<std::uint64_t>(P - Base) * 8 - Held; }

private:
    const std::uint8_t* Base;
    const std::uint8_t* P;
    const std::uint8_t* Last;
};

// The careful source: the carried bytes of a suspended line, then the
// caller's input. Bytes past the end are never loaded: they read as 0 bits,
// and a code checks with Beyond that it lies within the input.
class CarefulBits {
public:
    CarefulBits(const std::uint8_t* carry, std::uint32_t carryLength, const std::uint8_t* input,
                std::uint32_t inputLength, bool reverse)
        : AvailBits((static_cast<std::uint64_t>(carryLength) + inputLength) * 8), Reverse(reverse) {
        Reach = AvailBits;
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
    unsigned Held = 0;  // 64 once the input is exhausted

    bool Fill() {
        if (Held < 16) {
            Refill();
        }
        return true;
    }
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
    // Bits consumed since the first available byte.
    std::uint64_t Position() const { return Loaded + Phantom - Held; }
    // Whether Acc may hold bits beyond the input.
    bool Exhausted() const { return Phantom != 0; }
    // Whether a code of n bits at the current position needs bits beyond
    // the input. While no bits are made up, every held bit is input.
    bool Beyond(unsigned n) const { return Exhausted() && Position() + n > AvailBits; }
    // Whether every bit of the input has been read.
    bool AtEnd() const { return Position() >= AvailBits; }
    // Whether a code of n bits at the current position cannot be read
    // whole: it needs bits beyond the input.
    bool Incomplete(unsigned n) const { return Beyond(n); }

    // libtiff's view of the input's end, which the decoders that follow
    // libtiff keep: before a code it asks for n bits, and once the input is
    // used up it makes up the missing ones as 0 bits. The made-up bits
    // stay available to later codes; only when every one of them has been
    // read does a code find the data ended. Reach is where they end.
    std::uint64_t Reach = 0;
    void SetReach(std::int64_t pastEnd) { Reach = static_cast<std::uint64_t>(static_cast<std::int64_t>(AvailBits) + pastEnd); }
    std::int64_t ReachPastEnd() const { return static_cast<std::int64_t>(Reach - AvailBits); }
    // False where libtiff finds the data ended before a code of n bits.
    bool Need(unsigned n) { return NeedFrom(Position(), n); }
    // The same asked at an earlier position `at`, for bits libtiff asks for
    // in steps that this source takes at once.
    bool NeedFrom(std::uint64_t at, unsigned n) {
        if (at + n <= Reach) return true;
        if (at == Reach) return false;
        Reach = at + n;
        return true;
    }
    // Whether n bits from here lie within what libtiff has available, so
    // that codes read there need not ask (see Need).
    bool Within(unsigned n) const { return Position() + n <= Reach; }
    // Bits to the next byte boundary as libtiff counts it: from where the
    // bits it has made available end (a whole byte, until it makes some up).
    unsigned ToByteBoundary() const { return static_cast<unsigned>((Reach - Position()) % 8); }

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
                b = tvbits::kReverse.Bytes[b];
            }
            Acc |= static_cast<std::uint64_t>(b) << (56 - Held);
            Held += 8;
            Loaded += 8;
        }
    }

    std::uint64_t Loaded = 0;   // bits of input loaded into Acc
    std::uint64_t Phantom = 0;  // 0 bits made up once the input ran out
    std::uint64_t AvailBits;
    const std::uint8_t* P = nullptr;
    const std::uint8_t* End = nullptr;
    const std::uint8_t* Next = nullptr;
    const std::uint8_t* NextEnd = nullptr;
    bool Reverse;
};

}  // namespace
}  // namespace tvfax

#endif
