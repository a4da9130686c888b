// Code tables: layout of the run and mode code rows, the per-bit lookup
// tables derived from them, clash refusal, and agreement of the multi-bit
// fast tables with the bit-by-bit lookup on every bit pattern.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "fax/FaxCodes.h"
#include "fax/FaxDecoder.h"
#include "fax/FaxSteps.h"

namespace {

// The bit-by-bit lookup: one table read per bit, first match wins, fails
// after the table's longest code. `bits` holds the next bits, first in bit 31.
struct Match {
    unsigned row;
    unsigned length;  // bits examined when it failed (row 0)
};

Match BitwiseLookup(const std::uint8_t* table, unsigned maxBits, std::uint32_t bits) {
    std::uint32_t index = 1;
    for (unsigned n = 1; n <= maxBits; ++n) {
        index = 2 * index + ((bits >> (32 - n)) & 1u);
        if (table[index - 1] != 0) return {table[index - 1], n};
    }
    return {0, maxBits};
}

std::uint32_t BitsOf(const std::string& code) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '1') bits |= 0x80000000u >> i;
    }
    return bits;
}

struct Tables {
    std::vector<std::uint8_t> white = std::vector<std::uint8_t>(kWhiteTableSize, 0);
    std::vector<std::uint8_t> black = std::vector<std::uint8_t>(kBlackTableSize, 0);
    std::vector<std::uint8_t> mode = std::vector<std::uint8_t>(kModeTableSize, 0);
    bool Build(const FaxCode_t* runRows, const FaxCode_t* modeRows) {
        return BuildFaxLookupTables(runRows, kRunCodeRows, modeRows, kModeCodeRows, white.data(), black.data(),
                                    mode.data());
    }
};

// ---------------------------------------------------------------------------

TEST(FaxCodeRows, LayoutOfRunRows) {
    EXPECT_EQ(RunCodeTable[0].Value, 65535u);
    EXPECT_STREQ(RunCodeTable[0].Code, "");
    for (std::size_t row = 1; row <= 128; ++row) {
        EXPECT_EQ(RunCodeTable[row].Value, (row - 1) / 2) << "row " << row;
    }
    for (std::size_t row = 129; row <= 182; ++row) {
        EXPECT_EQ(RunCodeTable[row].Value, 64 * ((row - 129) / 2 + 1)) << "row " << row;
    }
    EXPECT_EQ(RunCodeTable[183].Value, 65534u);
    EXPECT_EQ(RunCodeTable[184].Value, 65534u);
    for (std::size_t row = 185; row <= 197; ++row) {
        EXPECT_EQ(RunCodeTable[row].Value, 1792 + 64 * (row - 185)) << "row " << row;
    }
}

struct SampleRow {
    std::size_t row;
    std::uint32_t value;
    const char* code;
};

TEST(FaxCodeRows, SampleRowsHoldTheStandardCodes) {
    const SampleRow samples[] = {
        {1, 0, "00110101"},         {2, 0, "0000110111"},     {3, 1, "000111"},       {4, 1, "010"},
        {129, 64, "11011"},         {130, 64, "0000001111"},  {181, 1728, "010011011"}, {182, 1728, "0000001100101"},
        {183, 65534, "000000000001"}, {184, 65534, "00000000000"}, {185, 1792, "00000001000"},
        {197, 2560, "000000011111"},
    };
    for (const SampleRow& s : samples) {
        EXPECT_EQ(RunCodeTable[s.row].Value, s.value) << "row " << s.row;
        EXPECT_STREQ(RunCodeTable[s.row].Code, s.code) << "row " << s.row;
    }
}

TEST(FaxCodeRows, ModeRows) {
    const char* const codes[kModeCodeRows] = {"",       "0001",    "001",    "1",       "011",     "000011",
                                              "0000011", "010",     "000010", "0000010", "0000001", "0000000"};
    for (std::size_t row = 0; row < kModeCodeRows; ++row) {
        EXPECT_EQ(ModeCodeTable[row].Value, row);
        EXPECT_STREQ(ModeCodeTable[row].Code, codes[row]) << "mode " << row;
    }
}

TEST(FaxCodeIndex, OneBitPlacedBeforeTheCode) {
    EXPECT_EQ(FaxCodeIndex("1"), 3);
    EXPECT_EQ(FaxCodeIndex("0"), 2);
    EXPECT_EQ(FaxCodeIndex("00110101"), 256 + 53);
    EXPECT_EQ(FaxCodeIndex("000000000001"), 4096 + 1);
    EXPECT_EQ(FaxCodeIndex(""), -1);
    EXPECT_EQ(FaxCodeIndex(nullptr), -1);
    EXPECT_EQ(FaxCodeIndex("01x"), -1);
    EXPECT_EQ(FaxCodeIndex(std::string(31, '1').c_str()), -1);
}

// ---------------------------------------------------------------------------
// The per-bit tables.

TEST(FaxLookupTables, CountsOfCodesPerTable) {
    Tables t;
    ASSERT_TRUE(t.Build(RunCodeTable, ModeCodeTable));
    auto nonzero = [](const std::vector<std::uint8_t>& v) {
        std::size_t n = 0;
        for (std::uint8_t e : v) n += e != 0;
        return n;
    };
    EXPECT_EQ(nonzero(t.white), 105u);
    EXPECT_EQ(nonzero(t.black), 105u);
    EXPECT_EQ(nonzero(t.mode), 11u);
}

TEST(FaxLookupTables, DecoderTablesAreTheDerivedOnes) {
    Tables t;
    ASSERT_TRUE(t.Build(RunCodeTable, ModeCodeTable));
    CFaxDecoder decoder(4, 1, 1);
    EXPECT_EQ(std::memcmp(decoder.GetWhiteTable(), t.white.data(), kWhiteTableSize), 0);
    EXPECT_EQ(std::memcmp(decoder.GetBlackTable(), t.black.data(), kBlackTableSize), 0);
    EXPECT_EQ(std::memcmp(decoder.GetModeTable(), t.mode.data(), kModeTableSize), 0);
}

TEST(FaxLookupTables, PositionsOfKnownCodes) {
    CFaxDecoder decoder(4, 1, 1);
    EXPECT_EQ(decoder.GetWhiteTable()[308], 1);       // "00110101": white run 0
    EXPECT_EQ(decoder.GetModeTable()[2], 3);          // "1": V0
    EXPECT_EQ(decoder.GetWhiteTable()[4096], 183);    // EOL
    EXPECT_EQ(decoder.GetBlackTable()[2047], 184);    // eleven 0s
    EXPECT_EQ(decoder.GetWhiteTable()[2047], 0);      // eleven 0s are no white code
    EXPECT_EQ(decoder.GetBlackTable()[4096], 0);      // EOL is no black code
    EXPECT_EQ(decoder.GetWhiteTable()[2048 + 8 - 1], 185);  // 1792 in both tables
    EXPECT_EQ(decoder.GetBlackTable()[2048 + 8 - 1], 185);
}

// Sum of 2^-length over a table's codes, in units of 2^-13.
std::uint32_t KraftSum(const std::vector<std::uint8_t>& table) {
    std::uint32_t sum = 0;
    for (std::size_t pos = 0; pos < table.size(); ++pos) {
        if (table[pos] == 0) continue;
        unsigned length = 0;
        for (std::size_t index = pos + 1; index > 1; index /= 2) ++length;
        sum += 1u << (13 - length);
    }
    return sum;
}

TEST(FaxLookupTables, CodeSetsCoverAllButTheZeroPrefixes) {
    // The white codes cover every bit string except those starting with
    // eight 0s (of which only EOL is a code); the black codes likewise, with
    // the eleven-0 code instead of EOL. A wrong or missing code shows here.
    Tables t;
    ASSERT_TRUE(t.Build(RunCodeTable, ModeCodeTable));
    EXPECT_EQ(KraftSum(t.white), 8192u - 32u + 2u);
    EXPECT_EQ(KraftSum(t.black), 8192u - 32u + 4u);
    EXPECT_EQ(KraftSum(t.mode), 8192u);
}

struct KnownLookup {
    const char* what;
    int table;  // 0 white, 1 black, 2 mode
    const char* bits;
    unsigned row;
    unsigned length;
};

TEST(FaxLookupTables, BitwiseLookupCases) {
    const KnownLookup cases[] = {
        {"white run 0", 0, "00110101", 1, 8},
        {"V0 at once", 2, "1", 3, 1},
        {"EOL as white", 0, "000000000001", 183, 12},
        {"EOL bits as black", 1, "000000000001", 184, 11},
        {"extension prefix", 2, "0000001111", 10, 7},
        {"seven zeros", 2, "0000000", 11, 7},
        {"thirteen zeros white", 0, "0000000000000", 0, 12},
        {"thirteen zeros black", 1, "0000000000000", 184, 11},
        {"eight zeros then not EOL", 0, "000000001000", 0, 12},
        {"black 1728", 1, "0000001100101", 182, 13},
    };
    CFaxDecoder decoder(4, 1, 1);
    const std::uint8_t* tables[] = {decoder.GetWhiteTable(), decoder.GetBlackTable(), decoder.GetModeTable()};
    const unsigned maxBits[] = {kWhiteMaxBits, kBlackMaxBits, kModeMaxBits};
    for (const KnownLookup& c : cases) {
        const Match m = BitwiseLookup(tables[c.table], maxBits[c.table], BitsOf(c.bits));
        EXPECT_EQ(m.row, c.row) << c.what;
        EXPECT_EQ(m.length, c.length) << c.what;
    }
}

// ---------------------------------------------------------------------------
// Derivation refuses clashing texts.

TEST(FaxLookupBuild, AcceptsTheStandardTexts) {
    Tables t;
    EXPECT_TRUE(t.Build(RunCodeTable, ModeCodeTable));
    EXPECT_TRUE(GetFaxTables().Valid);
}

struct Clash {
    const char* what;
    bool modeTable;
    std::size_t row;
    const char* code;
};

TEST(FaxLookupBuild, RefusesClashes) {
    const Clash clashes[] = {
        {"white code given twice", false, 3, "00110101"},
        {"black code given twice", false, 4, "0000110111"},
        {"white code that prefixes another", false, 3, "001101"},
        {"white code extending another", false, 3, "01110"},  // "0111" is white 2
        {"shared code clashing with a black code", false, 185, "010"},
        {"white code longer than 12 bits", false, 183, "0000000000001"},
        {"empty code", false, 7, ""},
        {"mode code given twice", true, 4, "1"},
        {"mode code that prefixes another", true, 1, "00"},
    };
    for (const Clash& c : clashes) {
        std::array<FaxCode_t, kRunCodeRows> runs;
        std::array<FaxCode_t, kModeCodeRows> modes;
        std::copy(std::begin(RunCodeTable), std::end(RunCodeTable), runs.begin());
        std::copy(std::begin(ModeCodeTable), std::end(ModeCodeTable), modes.begin());
        (c.modeTable ? modes[c.row] : runs[c.row]).Code = c.code;
        Tables t;
        EXPECT_FALSE(t.Build(runs.data(), modes.data())) << c.what;
    }
}

// ---------------------------------------------------------------------------
// Fast tables against the bit-by-bit lookup.

TEST(FaxFastTables, AgreeWithBitwiseLookupOnEveryPattern) {
    // Every bit pattern of the longest code's length: the fast entry must
    // name the row and length the bitwise walk finds, or fail where it fails.
    // Codes shorter than the pattern are covered by all their extensions.
    const FaxTables_t& t = GetFaxTables();
    struct Which {
        const char* name;
        const std::uint8_t* table;
        const std::uint16_t* fast;
        unsigned maxBits;
    };
    const Which all[] = {{"white", t.White, t.FastWhite, kWhiteMaxBits},
                         {"black", t.Black, t.FastBlack, kBlackMaxBits},
                         {"mode", t.Mode, t.FastMode, kModeMaxBits}};
    for (const Which& w : all) {
        std::size_t matched = 0;
        for (std::uint32_t p = 0; p < (1u << w.maxBits); ++p) {
            const Match m = BitwiseLookup(w.table, w.maxBits, p << (32 - w.maxBits));
            const std::uint16_t e = w.fast[p];
            ASSERT_EQ(FaxFastRow(e), m.row) << w.name << " pattern " << p;
            if (m.row != 0) {
                ASSERT_EQ(FaxFastLength(e), m.length) << w.name << " pattern " << p;
                ++matched;
            } else {
                ASSERT_EQ(e, 0) << w.name << " pattern " << p;
            }
        }
        EXPECT_GT(matched, 0u) << w.name;
    }
}

TEST(FaxFastTables, EveryCodeFoundAtItsOwnLength) {
    const FaxTables_t& t = GetFaxTables();
    for (std::size_t row = 1; row < kRunCodeRows; ++row) {
        const std::string code = RunCodeTable[row].Code;
        const bool inWhite = row >= kFaxSharedRowsFrom || row % 2 == 1;
        const bool inBlack = row >= kFaxSharedRowsFrom || row % 2 == 0;
        if (inWhite) {
            const std::uint16_t e = t.FastWhite[BitsOf(code) >> (32 - kWhiteMaxBits)];
            EXPECT_EQ(FaxFastRow(e), row);
            EXPECT_EQ(FaxFastLength(e), code.size());
        }
        if (inBlack) {
            const std::uint16_t e = t.FastBlack[BitsOf(code) >> (32 - kBlackMaxBits)];
            EXPECT_EQ(FaxFastRow(e), row);
            EXPECT_EQ(FaxFastLength(e), code.size());
        }
        EXPECT_EQ(t.RunValue[row], RunCodeTable[row].Value);
    }
    for (std::size_t row = 1; row < kModeCodeRows; ++row) {
        const std::string code = ModeCodeTable[row].Code;
        const std::uint16_t e = t.FastMode[BitsOf(code) >> (32 - kModeMaxBits)];
        EXPECT_EQ(FaxFastRow(e), row);
        EXPECT_EQ(FaxFastLength(e), code.size());
    }
}

TEST(FaxFastTables, WhiteLookupOnlyFailsOrFindsEolAfterEightZeros) {
    // The decoder skips its end-of-block white lookup unless the next eight
    // bits are 0: everywhere else the lookup matches a code other than EOL.
    const FaxTables_t& t = GetFaxTables();
    for (std::uint32_t p = 1u << 4; p < (1u << kWhiteMaxBits); ++p) {
        const std::uint16_t e = t.FastWhite[p];
        ASSERT_NE(e, 0) << "pattern " << p;
        ASSERT_NE(FaxFastRow(e), kFaxEolRow) << "pattern " << p;
    }
}

// ---------------------------------------------------------------------------
// The decoder's short run tables and horizontal pair tables, against the
// bit-by-bit lookup on every pattern of their length.

TEST(FaxShortTables, HoldEveryCodeThatFitsWithItsValue) {
    const FaxTables_t& t = GetFaxTables();
    struct Which {
        const char* name;
        const std::uint8_t* table;
        unsigned maxBits;
        const std::uint16_t* shortTable;
        unsigned bits;
    };
    const Which all[] = {{"white", t.White, kWhiteMaxBits, t.ShortWhite, kWhiteShortBits},
                         {"black", t.Black, kBlackMaxBits, t.ShortBlack, kBlackShortBits}};
    for (const Which& w : all) {
        std::size_t found = 0;
        for (std::uint32_t p = 0; p < (1u << w.bits); ++p) {
            const Match m = BitwiseLookup(w.table, w.maxBits, p << (32 - w.bits));
            const std::uint16_t e = w.shortTable[p];
            if (m.row != 0 && m.length <= w.bits) {
                ASSERT_EQ(FaxShortLength(e), m.length) << w.name << " pattern " << p;
                ASSERT_EQ(FaxShortValue(e), RunCodeTable[m.row].Value) << w.name << " pattern " << p;
                ++found;
            } else {
                ASSERT_EQ(e, 0) << w.name << " pattern " << p;
            }
        }
        EXPECT_GT(found, (1u << w.bits) / 2) << w.name;
    }
}

TEST(FaxPairTables, HoldTwoTerminatingRunsOfAtLeastOnePixelThatFit) {
    const FaxTables_t& t = GetFaxTables();
    for (bool whiteFirst : {true, false}) {
        const std::uint32_t* pairs = whiteFirst ? t.PairWhiteBlack : t.PairBlackWhite;
        const std::uint8_t* firstTable = whiteFirst ? t.White : t.Black;
        const std::uint8_t* secondTable = whiteFirst ? t.Black : t.White;
        std::size_t found = 0;
        for (std::uint32_t p = 0; p < (1u << kPairBits); ++p) {
            const std::uint32_t bits = p << (32 - kPairBits);
            const Match first = BitwiseLookup(firstTable, kBlackMaxBits, bits);
            const Match second =
                first.row != 0 ? BitwiseLookup(secondTable, kBlackMaxBits, bits << first.length) : Match{0, 0};
            const bool terminating = first.row != 0 && second.row != 0 && first.row <= 128 && second.row <= 128;
            const bool fits = first.length + second.length <= kPairBits;
            if (terminating && fits && RunCodeTable[first.row].Value > 0 && RunCodeTable[second.row].Value > 0) {
                ASSERT_EQ(FaxPairLength(pairs[p]), first.length + second.length) << whiteFirst << " pattern " << p;
                ASSERT_EQ(FaxPairFirst(pairs[p]), RunCodeTable[first.row].Value) << whiteFirst << " pattern " << p;
                ASSERT_EQ(FaxPairSecond(pairs[p]), RunCodeTable[second.row].Value) << whiteFirst << " pattern " << p;
                ++found;
            } else {
                ASSERT_EQ(pairs[p], 0u) << whiteFirst << " pattern " << p;
            }
        }
        EXPECT_GT(found, (1u << kPairBits) / 2) << whiteFirst;
    }
}

TEST(FaxVerticalTable, HoldsTheVerticalCodesTheModeLookupReads) {
    // For each pattern of the index bits: two vertical codes where the
    // second is short (V0, VR1, VL1), else any one that fits alone.
    const FaxTables_t& t = GetFaxTables();
    constexpr unsigned kBits = FaxVerticalCodes_t::kIndexBits;
    auto vertical = [](const Match& m, int& d) {
        if (m.row < kModeV0 || m.row > kModeVL3) return false;
        d = m.row <= kModeVR3 ? static_cast<int>(m.row - kModeV0) : -static_cast<int>(m.row - kModeVR3);
        return true;
    };
    for (std::uint32_t p = 0; p < (1u << kBits); ++p) {
        const std::uint32_t bits = p << (32 - kBits);
        const Match first = BitwiseLookup(t.Mode, kModeMaxBits, bits);
        int d1 = 0;
        int d2 = 0;
        const bool one = vertical(first, d1) && first.length <= kBits;
        const Match second = one ? BitwiseLookup(t.Mode, kModeMaxBits, bits << first.length) : Match{0, 0};
        const bool both = one && vertical(second, d2) && d2 * d2 <= 1 && first.length + second.length <= kBits;
        const FaxVerticalPair_t& e = kFaxVerticalCodes.Entry[p];
        if (one) {
            ASSERT_EQ(e.First, first.length) << "pattern " << p;
            ASSERT_EQ(e.Total, both ? first.length + second.length : first.length) << "pattern " << p;
            ASSERT_EQ(e.D1, d1) << "pattern " << p;
            ASSERT_EQ(e.D2, both ? d2 : 0) << "pattern " << p;
        } else {
            ASSERT_EQ(e.Total, 0) << "pattern " << p;
        }
    }
}

// ---------------------------------------------------------------------------
// The decoding loops' shared steps.

TEST(FaxSteps, RunCodeAtFindsWhatTheBitwiseLookupFindsOnEveryPattern) {
    const FaxTables_t& t = GetFaxTables();
    constexpr unsigned kBits = kBlackMaxBits;  // the longest run code
    for (bool white : {true, false}) {
        const std::uint8_t* table = white ? t.White : t.Black;
        const unsigned maxBits = white ? kWhiteMaxBits : kBlackMaxBits;
        for (std::uint32_t p = 0; p < (1u << kBits); ++p) {
            const Match m = BitwiseLookup(table, maxBits, p << (32 - kBits));
            const std::uint64_t acc = std::uint64_t{p} << (64 - kBits);
            const bool eol = m.row == kFaxEolRow || m.row == kFaxBlackEolRow;
            for (bool eolIsMakeUp : {false, true}) {
                unsigned length = 0;
                std::uint32_t value = 0;
                const bool found = eolIsMakeUp ? tvfax::RunCodeAt<true>(acc, white, length, value)
                                               : tvfax::RunCodeAt(acc, white, length, value);
                const bool expected = m.row != 0 && (eolIsMakeUp || !eol);
                ASSERT_EQ(found, expected) << white << " " << eolIsMakeUp << " pattern " << p;
                if (expected) {
                    ASSERT_EQ(length, m.length) << white << " pattern " << p;
                    ASSERT_EQ(value, RunCodeTable[m.row].Value) << white << " pattern " << p;
                }
            }
        }
    }
}

TEST(FaxSteps, B1StepsToTheFirstCandidatePastA0ExceptAtTheLineStart) {
    // A reference line starting black (its first run is empty), then
    // elements at 10, 20, 30, and the copies of its end.
    const std::uint64_t ref[] = {0, 0, 10, 20, 30, 40, 40, 40, 40, 40};
    struct Case {
        std::size_t from;
        std::uint64_t a0;
        bool started;
        std::size_t to;
    };
    const Case cases[] = {
        {1, 0, false, 1},   // line start: b1 is the empty run's end at 0
        {1, 0, true, 3},    // past a0 = 0, two elements on (same colour)
        {2, 9, true, 2},    // already past a0
        {2, 10, true, 4},   // on a0: moves on
        {2, 25, true, 4},   // between: the next candidate past it
        {3, 35, true, 5},   // onto the line's end
        {5, 39, true, 5},   // the end's copies stop it
        {4, 39, false, 4},  // not started: stays even when behind a0
    };
    for (const Case& c : cases) {
        const std::uint64_t* b = ref + c.from;
        tvfax::FindB1(b, c.a0, c.started);
        EXPECT_EQ(static_cast<std::size_t>(b - ref), c.to) << c.from << " " << c.a0 << " " << c.started;
        if (c.started) {
            const std::uint64_t* stepped = ref + c.from;
            tvfax::StepB1(stepped, c.a0);
            EXPECT_EQ(stepped, b);
        }
    }
}

}  // namespace
