// TIFF LZW strip decoder.
//
// Strings are written straight into one flat output buffer. As long as the
// table is consistent with what was written, the string of a code is a
// byte-for-byte repeat of output produced earlier (the previous code's
// string followed by one more byte), so it is copied from there in blocks:
// the table keeps each string's length and where it was written. The
// single-byte strings live in front of the output, so a code of any kind is
// one copy. Everything unusual (Clear, End, the code being defined right
// now, a code whose earlier copy has left the buffer) leaves the fast loop
// for a general step; a table that may disagree with the output has every
// string walked through its prefix chain instead, from its last byte back
// to its first, exactly as the chain says.
#include "decoder/LzwDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

namespace {

// Offset of the first decoded byte: the 256 single-byte strings come first.
constexpr std::int64_t Origin = 256;
// Free buffer space that must remain before a code is decoded: the longest
// string one code can add (a 4096-step chain plus one byte) and the slack
// of the block-wise string copy, which reads and writes whole blocks.
constexpr std::int64_t CodeRoom = 4096 + 1 + 64;
// The smallest buffer: strips of ordinary pages never fill it, so it only
// slides for images stored as a few very large strips.
constexpr std::uint64_t MinBuffer = 256 * 1024;
// Lines up to this size get a buffer of at least two lines, so a slide
// frees a good part of it; wider lines keep to one line and the room one
// call needs, so the largest widths cost little more memory than a line.
constexpr std::uint64_t RoomyLine = std::uint64_t{1} << 26;

constexpr std::uint32_t Block = 16;

// The code loop's steps are written once and must be expanded in place;
// its rare branches are marked so, which lays the common path out straight.
#if defined(__GNUC__)
#define TIFFVIEW_ALWAYS_INLINE __attribute__((always_inline))
#define TIFFVIEW_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define TIFFVIEW_LIKELY(x) __builtin_expect(!!(x), 1)
#else
#define TIFFVIEW_ALWAYS_INLINE
#define TIFFVIEW_UNLIKELY(x) (x)
#define TIFFVIEW_LIKELY(x) (x)
#endif

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

// Copies a string of `length` bytes whose source ends at or before the
// destination's start, in whole blocks: up to one block minus one byte of
// scratch is written beyond the string and read beyond the source. A
// block's source may run into bytes this copy has already written (a string
// shorter than a block, close behind), but only into its scratch part, so
// forward block order never spoils a string byte; each block is a move,
// which the compiler turns into one load and one store. (Wider or paired
// blocks measured slower: more bytes in flight beyond short strings.)
TIFFVIEW_ALWAYS_INLINE inline void CopyString(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t length) {
    std::memmove(dst, src, Block);
    for (std::uint32_t i = Block; i < length; i += Block) std::memmove(dst + i, src + i, Block);
}

}  // namespace

CLzwDecoder::CLzwDecoder()
    : Len(),
      Where(),
      Prefix(),
      Suffix(),
      BitBuffer(0),
      BitCount(0),
      OldCode(NoCode),
      NextCode(FirstFree),
      WidthLimit(511),
      CodeWidth(9),
      FirstChar(0),
      Tangled(true),
      Invert(0),
      LineSize(0),
      Buf(nullptr),
      Cap(0),
      RoomLimit(0),
      History(0),
      Head(0),
      Tail(0),
      PrevPos(0),
      Base(0) {
    // The single-byte strings get their place when there is a buffer.
    for (std::uint32_t code = 0; code < 256; ++code) Len[code] = 1;
    // A call's set-up costs about what a sparse row takes to decode: rows
    // are decoded eight a call, a few kilobytes, which the buffer holds
    // with room to spare (its room for a code is checked all the same).
    RowsAhead = 8;
    Reset();
}

CLzwDecoder::~CLzwDecoder() { delete[] Buf; }

void CLzwDecoder::ClearTable() {
    // Entries from NextCode on are not defined whatever they still hold:
    // nothing reads their length or position without comparing the code
    // with NextCode first, so they need no clearing.
    CodeWidth = 9;
    WidthLimit = 511;
    NextCode = FirstFree;
    OldCode = NoCode;
    // Every string the stream can reach from here on is defined anew.
    Tangled = false;
}

// Moves the undelivered bytes to the front. Only when no history is needed:
// right after a Clear or Reset nothing refers to earlier output.
void CLzwDecoder::Compact() {
    const std::int64_t shift = Tail - Origin;
    if (shift <= 0) return;
    std::memmove(Buf + Origin, Buf + Tail, static_cast<std::size_t>(Head - Tail));
    Head -= shift;
    Tail = Origin;
    PrevPos -= shift;
    Base += static_cast<std::uint64_t>(shift);
}

// The buffer is full in the middle of a table: slide the undelivered bytes
// and as much recent history as is worth keeping to the front. Strings
// whose earlier copy falls off are walked once when next used and copied
// from there on. False when no code fits even then.
bool CLzwDecoder::MakeRoom() {
    std::int64_t keep = std::max(Origin, Head - History);
    keep = std::min(keep, Tail);
    if (OldCode != NoCode) keep = std::min(keep, PrevPos);
    const std::int64_t shift = keep - Origin;
    if (shift > 0) {
        std::memmove(Buf + Origin, Buf + keep, static_cast<std::size_t>(Head - keep));
        Head -= shift;
        Tail -= shift;
        PrevPos -= shift;
        Base += static_cast<std::uint64_t>(shift);
        const std::uint8_t* const kept = Buf + keep;
        const std::uint32_t made = std::min(NextCode, TableSize);
        for (std::uint32_t code = FirstFree; code < made; ++code) {
            const std::uint8_t* const at = Where[code];
            Where[code] = at != nullptr && at >= kept ? at - shift : nullptr;
        }
    }
    return Head <= RoomLimit;
}

void CLzwDecoder::Reset() {
    ClearTable();
    BitBuffer = 0;
    BitCount = 0;
    if (Buf != nullptr) Compact();
}

void CLzwDecoder::SetInvert(std::int32_t invert) { Invert = invert; }

int CLzwDecoder::SetWidth(std::uint32_t width) {
    // Every string position refers to the old buffer.
    std::fill(Where, Where + TableSize + 1, nullptr);
    delete[] Buf;
    Buf = nullptr;
    Cap = RoomLimit = History = 0;
    Head = Tail = PrevPos = 0;
    Base = 0;
    const std::uint64_t lineSize = (static_cast<std::uint64_t>(width) + 7) / 8;
    LineSize = static_cast<std::uint32_t>(lineSize);
    // Undelivered output stays below one line when a decode call starts, and
    // a call stops once the line is complete, so one line, the longest
    // string and a code's room always fit after the buffer has slid.
    std::uint64_t size = lineSize <= RoomyLine ? std::max(MinBuffer, Origin + 2 * lineSize + 4 * CodeRoom)
                                               : Origin + lineSize + 4097 + 2 * CodeRoom;
    size = (size + 63) & ~std::uint64_t{63};
    // Left uninitialised: a byte is only ever delivered or copied into a
    // string after being written, and a wide buffer is not touched beyond
    // what is used.
    Buf = new (std::nothrow) std::uint8_t[size];
    if (Buf == nullptr) return 0;
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        Buf[byte] = static_cast<std::uint8_t>(byte);
        Where[byte] = Buf + byte;
    }
    Cap = static_cast<std::int64_t>(size);
    RoomLimit = Cap - CodeRoom;
    History = (Cap - Origin) / 4;
    Head = Tail = PrevPos = Origin;
    // Earlier string positions refer to the old buffer.
    Tangled = true;
    return 1;
}

int CLzwDecoder::WalkString(std::int64_t end, std::uint32_t code) {
    // A chain longer than the string's length writes before the string's
    // start; such bytes in front of the output belong to lines already
    // delivered and are left alone.
    std::int64_t at = end;
    std::uint32_t steps = 0;
    while (code > EndCode && code < TableSize) {
        if (at >= Origin) Buf[at] = Suffix[code];
        --at;
        // No consistent chain is this long: the table loops.
        if (++steps == TableSize) return 0;
        code = Prefix[code];
    }
    const auto byte = static_cast<std::uint8_t>(code);
    if (at >= Origin) Buf[at] = byte;
    FirstChar = byte;
    return 1;
}

void CLzwDecoder::AddEntry() {
    // A table that is full without a Clear code stays as it is: the stream
    // goes on with 12-bit codes of the existing strings.
    if (NextCode >= TableSize) return;
    const std::uint32_t oldLength = Length(OldCode);
    Prefix[NextCode] = static_cast<std::uint16_t>(OldCode);
    Suffix[NextCode] = FirstChar;
    Len[NextCode] = static_cast<std::uint16_t>(oldLength + 1);
    Where[NextCode] = Buf + PrevPos;
    if (++NextCode == WidthLimit && CodeWidth < 12) {
        ++CodeWidth;
        WidthLimit = CodeWidth < 12 ? (1u << CodeWidth) - 1 : TableSize;
    }
}

// One code of any kind but End, with Head at most RoomLimit.
int CLzwDecoder::Step(std::uint32_t code) {
    if (code == ClearCode) {
        ClearTable();
        // A cheap moment to move back to the front: no history is needed.
        // Only when that frees more than it copies, so Clear codes in a row
        // cost nothing.
        if (Head - Origin > History && Tail - Origin >= Head - Tail) Compact();
        return 1;
    }
    const std::int64_t head = Head;
    if (OldCode == NoCode) {
        // First code of a table: only single bytes make sense here; anything
        // else is written as its low byte and leaves the table suspect.
        const auto byte = static_cast<std::uint8_t>(code);
        Buf[head] = byte;
        FirstChar = byte;
        OldCode = code;
        PrevPos = head;
        Head = head + 1;
        if (code > 255) Tangled = true;
        return 1;
    }

    std::int64_t length;
    if (code < NextCode) {
        length = Len[code];
        if (!Tangled && Where[code] != nullptr) {
            FirstChar = *Where[code];
            CopyString(Buf + head, Where[code], static_cast<std::uint32_t>(length));
        } else {
            if (!WalkString(head + length - 1, code)) return 0;
            // The walk wrote a true copy: later uses copy it from here.
            if (!Tangled) Where[code] = Buf + head;
        }
    } else {
        // The code is not defined yet (in a sound stream it is NextCode, the
        // entry being made right now): the previous string followed by its
        // own first byte.
        const std::int64_t previous = Length(OldCode);
        length = previous + 1;
        const std::uint8_t first = FirstChar;
        if (!Tangled) {
            // After the copy: its scratch bytes may land on this one.
            CopyString(Buf + head, Buf + PrevPos, static_cast<std::uint32_t>(previous));
            Buf[head + previous] = first;
        } else {
            Buf[head + previous] = first;
            if (!WalkString(head + previous - 1, OldCode)) return 0;
        }
        // Beyond NextCode the next entry's prefix is an undefined code.
        if (code > NextCode) Tangled = true;
    }
    AddEntry();
    OldCode = code;
    PrevPos = head;
    Head = head + length;
    return 1;
}

// The fast loop, for a consistent table, at least 8 input bytes and room
// for a code: decodes codes until the output reaches `stop` or fewer than 8
// input bytes are left after `safe`, and hands back (returns) the first
// code it does not handle itself, its bits taken; NoCode when it stopped
// without one. Expanded in Decode, which measured faster than a call.
TIFFVIEW_ALWAYS_INLINE inline std::uint32_t CLzwDecoder::FastCodes(std::uint64_t& accRef, std::uint32_t& bitsRef,
                                                                   const std::uint8_t*& pRef, const std::uint8_t* safe,
                                                                   const std::uint8_t* stop) {
    std::uint64_t acc = accRef;
    std::uint32_t bits = bitsRef;
    const std::uint8_t* p = pRef;
    // The tables are reached through `this`, one register for all, and
    // strings by pointer, so the loop needs no buffer base.
    std::uint32_t width = CodeWidth;
    std::uint32_t next = NextCode;
    std::uint32_t limit = WidthLimit;
    std::uint32_t old = OldCode;
    std::uint32_t oldLength = Length(old);
    std::uint8_t* out = Buf + Head;
    std::uint32_t code = NoCode;
    // One code; false when it is left to the general step. The previous
    // string ends where this one starts, so its position needs no register
    // of its own.
    auto one = [&](auto mayWiden) TIFFVIEW_ALWAYS_INLINE -> bool {
        const auto c = static_cast<std::uint32_t>(acc >> (64 - width));
        const std::uint8_t* from = Where[c];
        std::uint32_t n = Len[c];
        std::uint8_t* const prev = out - oldLength;
        std::uint8_t first;
        // Clear and End have no position either.
        if (TIFFVIEW_UNLIKELY(c >= next || from == nullptr)) {
            if (c != next) {
                code = c;
                return false;
            }
            // The entry being made: the previous string and its own first
            // byte, which directly follows it.
            n = oldLength + 1;
            first = *prev;
            CopyString(out, prev, oldLength);
            out[oldLength] = first;
        } else {
            // Taken from the source: reading it back from the destination
            // would wait for the block store.
            first = *from;
            CopyString(out, from, n);
        }
        acc <<= width;
        bits -= width;
        Prefix[next] = static_cast<std::uint16_t>(old);
        Suffix[next] = first;
        Len[next] = static_cast<std::uint16_t>(oldLength + 1);
        Where[next] = prev;
        ++next;
        if (decltype(mayWiden)::value && next >= limit) {
            if (width < 12) {
                ++width;
                limit = width < 12 ? (1u << width) - 1 : TableSize;
            } else {
                next = TableSize;  // full: later entries go to the spare slot
            }
        }
        old = c;
        oldLength = n;
        out += n;
        return true;
    };
    do {
        // At least 56 bits after this: four codes' worth.
        acc |= LoadBigEndian64(p) >> bits;
        p += (63 - bits) >> 3;
        bits |= 56;
        // Four codes that cannot reach the next width change need no test
        // for it.
        if (next + 4 < limit) {
            const std::false_type no;
            if (!one(no) || out >= stop || !one(no) || out >= stop || !one(no) || out >= stop || !one(no)) break;
        } else {
            const std::true_type yes;
            if (!one(yes) || out >= stop || !one(yes) || out >= stop || !one(yes) || out >= stop || !one(yes)) break;
        }
    } while (out < stop && p <= safe);
    if (code != NoCode) {
        acc <<= width;
        bits -= width;
    }
    CodeWidth = width;
    NextCode = next;
    WidthLimit = limit;
    OldCode = old;
    Head = out - Buf;
    PrevPos = Head - oldLength;
    FirstChar = Buf[PrevPos];
    accRef = acc;
    bitsRef = bits;
    pRef = p;
    return code;
}

int CLzwDecoder::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                        std::uint32_t wanted, std::uint32_t& produced) {
    produced = 0;
    if (inputLength == 0) {
        consumed = 0;
        return 1;
    }
    if (Buf == nullptr) {
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
    const std::uint64_t startPos = Base + static_cast<std::uint64_t>(Head);
    // The call stops after the code that reaches this stream position.
    const std::uint64_t goal = startPos + wanted;
    bool tookCode = false;
    bool usedUp = false;

    for (;;) {
        std::uint32_t code;
        if (!Tangled && OldCode != NoCode && end - p >= 8 && Head <= RoomLimit) {
            // The fast loop: runs while at least 8 input bytes are left
            // and room and wanted allow, and hands back any code it does
            // not handle itself.
            const std::uint64_t goalOffset = goal - Base;
            const std::int64_t stopAt = goalOffset < static_cast<std::uint64_t>(RoomLimit + 1)
                                            ? static_cast<std::int64_t>(goalOffset)
                                            : RoomLimit + 1;
            code = FastCodes(acc, bits, p, end - 8, Buf + stopAt);
            tookCode = true;
            if (code == NoCode) {
                if (Base + static_cast<std::uint64_t>(Head) >= goal) break;
                continue;
            }
        } else {
            const std::uint32_t width = CodeWidth;
            if (bits < width) {
                if (end - p >= 8) {
                    // The bits below the counted ones belong to the next
                    // bytes, so a later load of those bytes sets them to
                    // the same values.
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
            // Never let a string overrun bytes not yet delivered, whatever
            // the caller wants: stop and let GetLine make room.
            if (Head > RoomLimit && !MakeRoom()) {
                if (!tookCode) {
                    consumed = 0;
                    return 1;
                }
                break;
            }
            code = static_cast<std::uint32_t>(acc >> (64 - width));
            acc <<= width;
            bits -= width;
            tookCode = true;
        }
        if (code == EndCode) {
            produced = static_cast<std::uint32_t>(Base + static_cast<std::uint64_t>(Head) - startPos);
            Reset();
            consumed = inputLength;
            return 1;
        }
        if (!Step(code)) {
            produced = static_cast<std::uint32_t>(Base + static_cast<std::uint64_t>(Head) - startPos);
            return 0;
        }
        if (Base + static_cast<std::uint64_t>(Head) >= goal) break;
    }

    produced = static_cast<std::uint32_t>(Base + static_cast<std::uint64_t>(Head) - startPos);
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
    const std::int64_t pending = Head - Tail;
    const std::uint32_t n = pending < LineSize ? static_cast<std::uint32_t>(pending) : LineSize;
    if (n == 0) return 0;
    std::memcpy(line, Buf + Tail, n);
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
    Tail += n;
    return n;
}

void CLzwDecoder::Discard(std::uint32_t count) {
    // The reader discards the surplus of a strip that decoded too long, and
    // that surplus is the newest output: the oldest bytes still held belong
    // to the line being delivered. Never more than is held, or stale bytes
    // would come back as output.
    const std::int64_t pending = Head - Tail;
    Head -= count < pending ? count : pending;
    // Table strings may have been copied from the dropped bytes, which new
    // output now overwrites: walk chains until the next Clear or Reset.
    if (count != 0) Tangled = true;
}
