// CCITT T.4 / T.6 code tables and the lookup tables derived from them.
//
// The code texts are the single source: the per-bit lookup tables (indexed
// by a code's index, a 1 bit placed before its bits) and the multi-bit fast
// tables the decoder actually reads are both built from them, once, and
// shared read-only by every decoder object.
#ifndef TIFFVIEW_FAX_FAXCODES_H
#define TIFFVIEW_FAX_FAXCODES_H

#include <cstddef>
#include <cstdint>

// One row of a code table: a value and its code, first transmitted bit first.
struct FaxCode_t {
    std::uint32_t Value;
    const char* Code;
};

constexpr std::size_t kRunCodeRows = 198;
constexpr std::size_t kModeCodeRows = 12;

// Rows 1..128 terminating codes (odd white, even black), 129..182 make-up
// codes (odd white, even black), 183 EOL (white), 184 eleven zeros (black),
// 185..197 extended make-up codes shared by both colours. Row 0 is unused.
extern const FaxCode_t RunCodeTable[kRunCodeRows];
// Row r is mode r: 1 pass, 2 horizontal, 3 V0, 4..6 VR1..VR3, 7..9 VL1..VL3,
// 10 extension prefix, 11 seven zeros. Row 0 is unused.
extern const FaxCode_t ModeCodeTable[kModeCodeRows];

constexpr std::uint32_t kFaxEolValue = 65534;   // end-of-line marker, counts as make-up
constexpr std::uint32_t kFaxEolRow = 183;       // white EOL row
constexpr std::uint32_t kFaxBlackEolRow = 184;  // black eleven-zero row
constexpr std::uint32_t kFaxSharedRowsFrom = 185;

constexpr unsigned kWhiteMaxBits = 12;
constexpr unsigned kBlackMaxBits = 13;
constexpr unsigned kModeMaxBits = 7;
constexpr std::size_t kWhiteTableSize = (std::size_t{1} << (kWhiteMaxBits + 1)) - 1;  // 8191
constexpr std::size_t kBlackTableSize = (std::size_t{1} << (kBlackMaxBits + 1)) - 1;  // 16383
constexpr std::size_t kModeTableSize = (std::size_t{1} << (kModeMaxBits + 1)) - 1;    // 255

// Modes (ModeCodeTable rows).
enum FaxMode : std::uint32_t {
    kModePass = 1,
    kModeHorizontal = 2,
    kModeV0 = 3,
    kModeVR1 = 4,
    kModeVR2 = 5,
    kModeVR3 = 6,
    kModeVL1 = 7,
    kModeVL2 = 8,
    kModeVL3 = 9,
    kModeExtension = 10,
    kModeZeros = 11,
};

// The index of a code text: start at 1, then double and add each bit.
// -1 for an empty text, a character other than '0'/'1', or more than 30 bits.
std::int32_t FaxCodeIndex(const char* code);

// Fills the three per-bit lookup tables (already zeroed by the caller, sizes
// kWhiteTableSize, kBlackTableSize, kModeTableSize) from code rows laid out
// like RunCodeTable and ModeCodeTable. Entry at index - 1 is the row number.
// Refuses (returns false) on any clash: two codes with the same index, a
// code that is a prefix of another in the same table, a code too long for
// its table, or a row number that does not fit an entry.
bool BuildFaxLookupTables(const FaxCode_t* runRows, std::size_t runRowCount, const FaxCode_t* modeRows,
                          std::size_t modeRowCount, std::uint8_t* whiteTable, std::uint8_t* blackTable,
                          std::uint8_t* modeTable);

// Fast table entry: (row << 4) | code length, or 0 when no code matches.
constexpr unsigned FaxFastRow(std::uint16_t entry) { return entry >> 4; }
constexpr unsigned FaxFastLength(std::uint16_t entry) { return entry & 15u; }

// Derives the fast table for one per-bit table: entry p (p read as the next
// `maxBits` bits, first bit most significant) holds what the bit-by-bit
// lookup finds on those bits. `fast` has 2^maxBits entries.
void BuildFaxFastTable(const std::uint8_t* table, unsigned maxBits, std::uint16_t* fast);

// Short run tables for the decoding loops: a code of at most kWhiteShortBits
// (white) or kBlackShortBits (black) bits is found with one small lookup
// that gives its run value directly; the longer codes (the long black
// terminating codes, the extended make-up codes, EOL) and the patterns that
// match no code read 0 there and go to the full fast tables.
constexpr unsigned kWhiteShortBits = 9;   // every white terminating and make-up code
constexpr unsigned kBlackShortBits = 10;  // black runs 0..18 and 64
// Short table entry: (run value << 4) | code length, or 0.
constexpr unsigned FaxShortValue(std::uint16_t entry) { return entry >> 4; }
constexpr unsigned FaxShortLength(std::uint16_t entry) { return entry & 15u; }

// Pair tables for the horizontal mode: the kPairBits bits after its code,
// when they start with two terminating codes of at least one pixel each
// (white then black, or black then white), give both runs at once.
constexpr unsigned kPairBits = 10;
// Pair entry: code lengths together | first run << 8 | second run << 16, or 0.
constexpr unsigned FaxPairLength(std::uint32_t entry) { return entry & 31u; }
constexpr unsigned FaxPairFirst(std::uint32_t entry) { return (entry >> 8) & 255u; }
constexpr unsigned FaxPairSecond(std::uint32_t entry) { return entry >> 16; }

// The vertical codes at the start of seven bits, which text and halftone
// lines are mostly made of: two of them where the second is a short one (V0
// "1", VR1 "011", VL1 "010"), else any one alone (also VR2 "000011", VL2
// "000010", VR3 "0000011", VL3 "0000010"), with their lengths and offsets;
// a total of 0 where the bits start with no vertical code.
struct FaxVerticalPair_t {
    std::uint8_t First;  // length of the first code
    std::uint8_t Total;  // length of both, or First when it is alone
    std::int8_t D1;
    std::int8_t D2;
};
struct FaxVerticalCodes_t {
    static constexpr unsigned kIndexBits = 7;
    FaxVerticalPair_t Entry[1u << kIndexBits];
    // The vertical code at the start of the `bits` low bits of p: V0, VR1
    // or VL1, and with `wide` the longer ones that fit.
    static constexpr bool CodeAt(unsigned p, unsigned bits, unsigned& length, int& d, bool wide) {
        if (bits >= 1 && ((p >> (bits - 1)) & 1u) != 0) {
            length = 1;
            d = 0;
            return true;
        }
        if (bits >= 3 && ((p >> (bits - 3)) & 7u) >= 2) {
            length = 3;
            d = ((p >> (bits - 3)) & 1u) != 0 ? 1 : -1;
            return true;
        }
        for (unsigned n = 6; wide && n <= 7 && n <= bits; ++n) {
            // "000001" + sign for VR2/VL2, "0000001" + sign for VR3/VL3.
            if (((p >> (bits - n)) & ((1u << n) - 1)) >> 1 == 1) {
                length = n;
                d = static_cast<int>(n) - 4;
                if (((p >> (bits - n)) & 1u) == 0) d = -d;
                return true;
            }
        }
        return false;
    }
    constexpr FaxVerticalCodes_t() : Entry() {
        for (unsigned p = 0; p < (1u << kIndexBits); ++p) {
            unsigned first = 0;
            unsigned second = 0;
            int d1 = 0;
            int d2 = 0;
            const bool one = CodeAt(p, kIndexBits, first, d1, true);
            const bool both = one && first < kIndexBits &&
                              CodeAt(p & ((1u << (kIndexBits - first)) - 1), kIndexBits - first, second, d2, false);
            Entry[p].First = static_cast<std::uint8_t>(one ? first : 0);
            Entry[p].Total = static_cast<std::uint8_t>(both ? first + second : one ? first : 0);
            Entry[p].D1 = static_cast<std::int8_t>(one ? d1 : 0);
            Entry[p].D2 = static_cast<std::int8_t>(both ? d2 : 0);
        }
    }
    const FaxVerticalPair_t& At(std::uint64_t acc) const { return Entry[acc >> (64 - kIndexBits)]; }
};
inline constexpr FaxVerticalCodes_t kFaxVerticalCodes;

struct FaxTables_t {
    std::uint8_t White[kWhiteTableSize];
    std::uint8_t Black[kBlackTableSize];
    std::uint8_t Mode[kModeTableSize];
    std::uint16_t FastWhite[std::size_t{1} << kWhiteMaxBits];
    std::uint16_t FastBlack[std::size_t{1} << kBlackMaxBits];
    std::uint16_t FastMode[std::size_t{1} << kModeMaxBits];
    std::uint32_t RunValue[kRunCodeRows];  // RunCodeTable values by row
    std::uint16_t ShortWhite[std::size_t{1} << kWhiteShortBits];
    std::uint16_t ShortBlack[std::size_t{1} << kBlackShortBits];
    std::uint32_t PairWhiteBlack[std::size_t{1} << kPairBits];
    std::uint32_t PairBlackWhite[std::size_t{1} << kPairBits];
    bool Valid;                            // false if the code texts clashed
};

// The shared tables, built on first use (thread-safe, no heap allocation).
const FaxTables_t& GetFaxTables();
// The same object, for decoding loops that run only after GetFaxTables()
// has been called (a decoder calls it when it is made): read at a fixed
// address, its tables need no registers.
extern FaxTables_t gFaxTables;

#endif
