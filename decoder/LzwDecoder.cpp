// TIFF LZW strip decoder.
//
// Strings are written straight into the output ring, so no decoding stack
// is needed. As long as the table is consistent with what was written, the
// string of a code is a byte-for-byte repeat of output produced earlier
// (the previous code's string followed by one more byte), so it is copied
// from there in blocks; otherwise, or when the earlier copy has left the
// ring, the string is walked through its prefix chain from its last byte
// back to its first. Both ways write the same bytes.
#include "decoder/LzwDecoder.h"

#include <cstring>
#include <new>

namespace {

// Block size of the string copy; a copy may write up to one block minus
// one byte of scratch beyond the string's end, into free ring space.
constexpr std::uint32_t CopyBlock = 16;

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#elif !(defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
    v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
#endif
    return v;
}

inline std::uint32_t RoundToBlock(std::uint32_t n) { return (n + CopyBlock - 1) & ~(CopyBlock - 1); }

}  // namespace

CLzwDecoder::CLzwDecoder()
    : FirstChar(0),
      BitBuffer(0),
      BitCount(0),
      OldCode(NoCode),
      NextCode(FirstFree),
      MaxCode(511),
      CodeMask(0xFF800000u),
      Prefix(),
      Suffix(),
      StrLen(),
      CodeWidth(9),
      Invert(0),
      OutBuf(nullptr),
      OutHead(0),
      OutTail(0),
      LineSize(0),
      RingBytes(0),
      RingMask(0),
      Where(),
      PrevPos(0),
      Tangled(true) {
    Reset();
}

CLzwDecoder::~CLzwDecoder() { delete[] OutBuf; }

void CLzwDecoder::ClearTable() {
    CodeWidth = 9;
    MaxCode = 511;
    CodeMask = 0xFF800000u;
    NextCode = FirstFree;
    OldCode = NoCode;
    std::memset(StrLen, 0, sizeof StrLen);
    // Every string the stream can reach from here on is defined anew.
    Tangled = false;
}

void CLzwDecoder::Reset() {
    ClearTable();
    BitBuffer = 0;
    BitCount = 0;
    for (std::uint32_t code = 0; code < FirstFree; ++code) Prefix[code] = NoCode;
}

void CLzwDecoder::SetInvert(std::int32_t invert) { Invert = invert; }

int CLzwDecoder::SetWidth(std::uint32_t width) {
    delete[] OutBuf;
    OutBuf = nullptr;
    RingBytes = 0;
    RingMask = 0;
    OutHead = 0;
    OutTail = 0;
    const std::uint64_t lineSize = (static_cast<std::uint64_t>(width) + 7) / 8;
    LineSize = static_cast<std::uint32_t>(lineSize);
    // Undelivered output stays below one line when a decode call starts, and
    // a call stops once the line is complete; one line plus the longest
    // string plus slack therefore never catches up with undelivered bytes.
    std::uint64_t ring = MinRingSize;
    while (ring < lineSize + 2 * CodeRoom) ring <<= 1;
    // Left uninitialised: a byte is only ever delivered after being
    // written, and a very wide ring is not touched beyond what is used.
    OutBuf = new (std::nothrow) std::uint8_t[ring];
    if (OutBuf == nullptr) return 0;
    RingBytes = static_cast<std::uint32_t>(ring);
    RingMask = ring - 1;
    // Earlier string positions refer to the old ring.
    Tangled = true;
    return 1;
}

void CLzwDecoder::CopyString(std::uint64_t from, std::uint64_t to, std::uint32_t length) {
    const std::uint8_t* src = OutBuf + (from & RingMask);
    std::uint8_t* dst = OutBuf + (to & RingMask);
    // The string's source ends at or before the destination's start, so
    // block-wise forward copying never reads a string byte it has already
    // overwritten; a block may still overlap the next one's destination (a
    // string shorter than a block), hence memmove, which the compiler turns
    // into one load and one store per block.
    for (std::uint32_t i = 0; i < length; i += CopyBlock) std::memmove(dst + i, src + i, CopyBlock);
}

int CLzwDecoder::WriteString(std::uint64_t end, std::uint32_t code) {
    std::uint32_t i = 0;
    while (code > EndCode && code < TableSize) {
        OutBuf[(end - i) & RingMask] = Suffix[code];
        // No consistent chain is this long: the table loops.
        if (++i == TableSize) return 0;
        code = Prefix[code];
    }
    const auto byte = static_cast<std::uint8_t>(code);
    OutBuf[(end - i) & RingMask] = byte;
    FirstChar = byte;
    return 1;
}

// Called once per code from Decode's loop only; kept inline there.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline int CLzwDecoder::ProcessCode(std::uint32_t code) {
    if (code == ClearCode) {
        ClearTable();
        return 1;
    }
    const std::uint64_t head = OutHead;
    if (OldCode == NoCode) {
        // First code of a table: only single bytes make sense here; anything
        // else is written as its low byte and leaves the table suspect.
        const auto byte = static_cast<std::uint8_t>(code);
        OutBuf[head & RingMask] = byte;
        FirstChar = byte;
        OldCode = code;
        PrevPos = head;
        OutHead = head + 1;
        if (code > 255) Tangled = true;
        return 1;
    }

    // A string may be copied from an earlier occurrence that is still
    // whole in the ring and not in the way of this copy's scratch bytes,
    // and when neither range runs over the ring's end.
    auto copyable = [this, head](std::uint64_t from, std::uint32_t length) {
        const std::uint32_t span = RoundToBlock(length);
        return !Tangled && head - from + span + CopyBlock <= RingBytes &&
               (from & RingMask) + span <= RingBytes && (head & RingMask) + span <= RingBytes;
    };

    std::uint32_t length;
    if (code < NextCode) {
        length = StrLen[code] + 1u;
        if (code < 256) {
            const auto byte = static_cast<std::uint8_t>(code);
            OutBuf[head & RingMask] = byte;
            FirstChar = byte;
        } else if (copyable(Where[code], length)) {
            // Taken from the source: reading it back from the destination
            // would wait for the block store just made.
            FirstChar = OutBuf[Where[code] & RingMask];
            CopyString(Where[code], head, length);
        } else if (!WriteString(head + length - 1, code)) {
            return 0;
        }
    } else {
        // The code is not defined yet (in a sound stream it is NextCode, the
        // entry being made right now): the previous string followed by its
        // own first byte.
        const std::uint32_t previous = StrLen[OldCode] + 1u;
        length = previous + 1;
        const std::uint8_t first = FirstChar;
        if (copyable(PrevPos, length)) {
            CopyString(PrevPos, head, previous);
            OutBuf[(head + previous) & RingMask] = first;
        } else {
            OutBuf[(head + previous) & RingMask] = first;
            if (!WriteString(head + previous - 1, OldCode)) return 0;
        }
        // Beyond NextCode the next entry's prefix is an undefined code.
        if (code > NextCode) Tangled = true;
    }

    // A table that is full without a Clear code stays as it is: the stream
    // goes on with 12-bit codes of the existing strings.
    if (NextCode < TableSize) {
        Prefix[NextCode] = static_cast<std::uint16_t>(OldCode);
        Suffix[NextCode] = FirstChar;
        StrLen[NextCode] = static_cast<std::uint16_t>(StrLen[OldCode] + 1u);
        Where[NextCode] = PrevPos;
        ++NextCode;
        if (NextCode == MaxCode && CodeWidth < 12) {
            ++CodeWidth;
            MaxCode = (1u << CodeWidth) - 1;
            CodeMask = MaxCode << (32 - CodeWidth);
        }
    }
    OldCode = code;
    PrevPos = head;
    OutHead = head + length;
    return 1;
}

int CLzwDecoder::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                        std::uint32_t wanted, std::uint32_t& produced) {
    produced = 0;
    if (inputLength == 0) {
        consumed = 0;
        return 1;
    }
    if (OutBuf == nullptr) {
        consumed = 0;
        return 0;
    }

    // Bits are gathered in a 64-bit register, several bytes at a time. Bytes
    // loaded ahead of need are simply not counted: a byte counts as taken
    // once a code has used any of its bits, or when the input is used up.
    std::uint64_t acc = static_cast<std::uint64_t>(BitBuffer) << 32;
    std::uint32_t bits = BitCount;
    const std::uint8_t* p = input;
    const std::uint8_t* const end = input + inputLength;
    const std::uint64_t startHead = OutHead;
    bool tookCode = false;
    bool usedUp = false;

    for (;;) {
        const std::uint32_t width = CodeWidth;
        if (bits < width) {
            if (end - p >= 8) {
                // The bits below the counted ones belong to the next bytes,
                // so a later load of those bytes sets them to the same values.
                acc |= LoadBigEndian64(p) >> bits;
                const std::uint32_t take = (63 - bits) >> 3;
                p += take;
                bits += take * 8;
            } else {
                while (bits <= 56 && p < end) {
                    acc |= static_cast<std::uint64_t>(*p++) << (56 - bits);
                    bits += 8;
                }
            }
            if (bits < width) {
                usedUp = true;
                break;
            }
        }
        // Never let a string overrun bytes not yet delivered, whatever the
        // caller wants: stop and let GetLine make room.
        if (OutHead - OutTail > RingBytes - CodeRoom) {
            if (!tookCode) {
                consumed = 0;
                return 1;
            }
            break;
        }
        const auto code = static_cast<std::uint32_t>(acc >> (64 - width));
        acc <<= width;
        bits -= width;
        tookCode = true;
        if (code == EndCode) {
            Reset();
            consumed = inputLength;
            produced = static_cast<std::uint32_t>(OutHead - startHead);
            return 1;
        }
        if (!ProcessCode(code)) {
            produced = static_cast<std::uint32_t>(OutHead - startHead);
            return 0;
        }
        if (OutHead - startHead >= wanted) break;
    }

    produced = static_cast<std::uint32_t>(OutHead - startHead);
    if (usedUp) {
        // Input used up: every byte is taken and the partial code waits.
        consumed = inputLength;
    } else {
        // Stopped after a code: the byte holding its last bit is taken and
        // that byte's unused bits are kept.
        const std::uint64_t used = static_cast<std::uint64_t>(p - input) * 8 - bits;
        const std::uint64_t taken = (used + 7) / 8;
        consumed = static_cast<std::uint32_t>(taken);
        bits = static_cast<std::uint32_t>(taken * 8 - used);
    }
    BitCount = bits;
    BitBuffer = bits == 0 ? 0 : static_cast<std::uint32_t>(acc >> 32) & ~(0xFFFFFFFFu >> bits);
    return 1;
}

std::uint32_t CLzwDecoder::GetLine(std::uint8_t* line) {
    const std::uint64_t pending = OutHead - OutTail;
    const std::uint32_t n = pending < LineSize ? static_cast<std::uint32_t>(pending) : LineSize;
    if (n == 0) return 0;
    const auto at = static_cast<std::uint32_t>(OutTail & RingMask);
    const std::uint32_t first = RingBytes - at < n ? RingBytes - at : n;
    std::memcpy(line, OutBuf + at, first);
    std::memcpy(line + first, OutBuf, n - first);
    if (Invert == 1) {
        std::uint32_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, line + i, sizeof word);
            word = ~word;
            std::memcpy(line + i, &word, sizeof word);
        }
        for (; i < n; ++i) line[i] = static_cast<std::uint8_t>(~line[i]);
    }
    OutTail += n;
    return n;
}

void CLzwDecoder::Discard(std::uint32_t count) {
    // The reader discards the surplus of a strip that decoded too long, and
    // that surplus is the newest output: the oldest bytes still held belong
    // to the line being delivered. Never more than is held, or stale ring
    // bytes would come back as output.
    const std::uint64_t pending = OutHead - OutTail;
    OutHead -= count < pending ? count : pending;
    // Table strings may have been copied from the dropped bytes, which new
    // output now overwrites: walk chains until the next Clear or Reset.
    if (count != 0) Tangled = true;
}
