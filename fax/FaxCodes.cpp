// CCITT run-length and mode code tables (ITU-T T.4, also used by T.6), and
// the derivation of every lookup table from their code texts.
#include "fax/FaxCodes.h"

#include <cstring>

const FaxCode_t RunCodeTable[kRunCodeRows] = {
    {65535, ""},  // 0: unused
    {0, "00110101"},  // 1: white 0
    {0, "0000110111"},  // 2: black 0
    {1, "000111"},  // 3: white 1
    {1, "010"},  // 4: black 1
    {2, "0111"},  // 5: white 2
    {2, "11"},  // 6: black 2
    {3, "1000"},  // 7: white 3
    {3, "10"},  // 8: black 3
    {4, "1011"},  // 9: white 4
    {4, "011"},  // 10: black 4
    {5, "1100"},  // 11: white 5
    {5, "0011"},  // 12: black 5
    {6, "1110"},  // 13: white 6
    {6, "0010"},  // 14: black 6
    {7, "1111"},  // 15: white 7
    {7, "00011"},  // 16: black 7
    {8, "10011"},  // 17: white 8
    {8, "000101"},  // 18: black 8
    {9, "10100"},  // 19: white 9
    {9, "000100"},  // 20: black 9
    {10, "00111"},  // 21: white 10
    {10, "0000100"},  // 22: black 10
    {11, "01000"},  // 23: white 11
    {11, "0000101"},  // 24: black 11
    {12, "001000"},  // 25: white 12
    {12, "0000111"},  // 26: black 12
    {13, "000011"},  // 27: white 13
    {13, "00000100"},  // 28: black 13
    {14, "110100"},  // 29: white 14
    {14, "00000111"},  // 30: black 14
    {15, "110101"},  // 31: white 15
    {15, "000011000"},  // 32: black 15
    {16, "101010"},  // 33: white 16
    {16, "0000010111"},  // 34: black 16
    {17, "101011"},  // 35: white 17
    {17, "0000011000"},  // 36: black 17
    {18, "0100111"},  // 37: white 18
    {18, "0000001000"},  // 38: black 18
    {19, "0001100"},  // 39: white 19
    {19, "00001100111"},  // 40: black 19
    {20, "0001000"},  // 41: white 20
    {20, "00001101000"},  // 42: black 20
    {21, "0010111"},  // 43: white 21
    {21, "00001101100"},  // 44: black 21
    {22, "0000011"},  // 45: white 22
    {22, "00000110111"},  // 46: black 22
    {23, "0000100"},  // 47: white 23
    {23, "00000101000"},  // 48: black 23
    {24, "0101000"},  // 49: white 24
    {24, "00000010111"},  // 50: black 24
    {25, "0101011"},  // 51: white 25
    {25, "00000011000"},  // 52: black 25
    {26, "0010011"},  // 53: white 26
    {26, "000011001010"},  // 54: black 26
    {27, "0100100"},  // 55: white 27
    {27, "000011001011"},  // 56: black 27
    {28, "0011000"},  // 57: white 28
    {28, "000011001100"},  // 58: black 28
    {29, "00000010"},  // 59: white 29
    {29, "000011001101"},  // 60: black 29
    {30, "00000011"},  // 61: white 30
    {30, "000001101000"},  // 62: black 30
    {31, "00011010"},  // 63: white 31
    {31, "000001101001"},  // 64: black 31
    {32, "00011011"},  // 65: white 32
    {32, "000001101010"},  // 66: black 32
    {33, "00010010"},  // 67: white 33
    {33, "000001101011"},  // 68: black 33
    {34, "00010011"},  // 69: white 34
    {34, "000011010010"},  // 70: black 34
    {35, "00010100"},  // 71: white 35
    {35, "000011010011"},  // 72: black 35
    {36, "00010101"},  // 73: white 36
    {36, "000011010100"},  // 74: black 36
    {37, "00010110"},  // 75: white 37
    {37, "000011010101"},  // 76: black 37
    {38, "00010111"},  // 77: white 38
    {38, "000011010110"},  // 78: black 38
    {39, "00101000"},  // 79: white 39
    {39, "000011010111"},  // 80: black 39
    {40, "00101001"},  // 81: white 40
    {40, "000001101100"},  // 82: black 40
    {41, "00101010"},  // 83: white 41
    {41, "000001101101"},  // 84: black 41
    {42, "00101011"},  // 85: white 42
    {42, "000011011010"},  // 86: black 42
    {43, "00101100"},  // 87: white 43
    {43, "000011011011"},  // 88: black 43
    {44, "00101101"},  // 89: white 44
    {44, "000001010100"},  // 90: black 44
    {45, "00000100"},  // 91: white 45
    {45, "000001010101"},  // 92: black 45
    {46, "00000101"},  // 93: white 46
    {46, "000001010110"},  // 94: black 46
    {47, "00001010"},  // 95: white 47
    {47, "000001010111"},  // 96: black 47
    {48, "00001011"},  // 97: white 48
    {48, "000001100100"},  // 98: black 48
    {49, "01010010"},  // 99: white 49
    {49, "000001100101"},  // 100: black 49
    {50, "01010011"},  // 101: white 50
    {50, "000001010010"},  // 102: black 50
    {51, "01010100"},  // 103: white 51
    {51, "000001010011"},  // 104: black 51
    {52, "01010101"},  // 105: white 52
    {52, "000000100100"},  // 106: black 52
    {53, "00100100"},  // 107: white 53
    {53, "000000110111"},  // 108: black 53
    {54, "00100101"},  // 109: white 54
    {54, "000000111000"},  // 110: black 54
    {55, "01011000"},  // 111: white 55
    {55, "000000100111"},  // 112: black 55
    {56, "01011001"},  // 113: white 56
    {56, "000000101000"},  // 114: black 56
    {57, "01011010"},  // 115: white 57
    {57, "000001011000"},  // 116: black 57
    {58, "01011011"},  // 117: white 58
    {58, "000001011001"},  // 118: black 58
    {59, "01001010"},  // 119: white 59
    {59, "000000101011"},  // 120: black 59
    {60, "01001011"},  // 121: white 60
    {60, "000000101100"},  // 122: black 60
    {61, "00110010"},  // 123: white 61
    {61, "000001011010"},  // 124: black 61
    {62, "00110011"},  // 125: white 62
    {62, "000001100110"},  // 126: black 62
    {63, "00110100"},  // 127: white 63
    {63, "000001100111"},  // 128: black 63
    {64, "11011"},  // 129: white 64
    {64, "0000001111"},  // 130: black 64
    {128, "10010"},  // 131: white 128
    {128, "000011001000"},  // 132: black 128
    {192, "010111"},  // 133: white 192
    {192, "000011001001"},  // 134: black 192
    {256, "0110111"},  // 135: white 256
    {256, "000001011011"},  // 136: black 256
    {320, "00110110"},  // 137: white 320
    {320, "000000110011"},  // 138: black 320
    {384, "00110111"},  // 139: white 384
    {384, "000000110100"},  // 140: black 384
    {448, "01100100"},  // 141: white 448
    {448, "000000110101"},  // 142: black 448
    {512, "01100101"},  // 143: white 512
    {512, "0000001101100"},  // 144: black 512
    {576, "01101000"},  // 145: white 576
    {576, "0000001101101"},  // 146: black 576
    {640, "01100111"},  // 147: white 640
    {640, "0000001001010"},  // 148: black 640
    {704, "011001100"},  // 149: white 704
    {704, "0000001001011"},  // 150: black 704
    {768, "011001101"},  // 151: white 768
    {768, "0000001001100"},  // 152: black 768
    {832, "011010010"},  // 153: white 832
    {832, "0000001001101"},  // 154: black 832
    {896, "011010011"},  // 155: white 896
    {896, "0000001110010"},  // 156: black 896
    {960, "011010100"},  // 157: white 960
    {960, "0000001110011"},  // 158: black 960
    {1024, "011010101"},  // 159: white 1024
    {1024, "0000001110100"},  // 160: black 1024
    {1088, "011010110"},  // 161: white 1088
    {1088, "0000001110101"},  // 162: black 1088
    {1152, "011010111"},  // 163: white 1152
    {1152, "0000001110110"},  // 164: black 1152
    {1216, "011011000"},  // 165: white 1216
    {1216, "0000001110111"},  // 166: black 1216
    {1280, "011011001"},  // 167: white 1280
    {1280, "0000001010010"},  // 168: black 1280
    {1344, "011011010"},  // 169: white 1344
    {1344, "0000001010011"},  // 170: black 1344
    {1408, "011011011"},  // 171: white 1408
    {1408, "0000001010100"},  // 172: black 1408
    {1472, "010011000"},  // 173: white 1472
    {1472, "0000001010101"},  // 174: black 1472
    {1536, "010011001"},  // 175: white 1536
    {1536, "0000001011010"},  // 176: black 1536
    {1600, "010011010"},  // 177: white 1600
    {1600, "0000001011011"},  // 178: black 1600
    {1664, "011000"},  // 179: white 1664
    {1664, "0000001100100"},  // 180: black 1664
    {1728, "010011011"},  // 181: white 1728
    {1728, "0000001100101"},  // 182: black 1728
    {65534, "000000000001"},  // 183: white EOL
    {65534, "00000000000"},  // 184: black eleven zeros
    {1792, "00000001000"},  // 185: both 1792
    {1856, "00000001100"},  // 186: both 1856
    {1920, "00000001101"},  // 187: both 1920
    {1984, "000000010010"},  // 188: both 1984
    {2048, "000000010011"},  // 189: both 2048
    {2112, "000000010100"},  // 190: both 2112
    {2176, "000000010101"},  // 191: both 2176
    {2240, "000000010110"},  // 192: both 2240
    {2304, "000000010111"},  // 193: both 2304
    {2368, "000000011100"},  // 194: both 2368
    {2432, "000000011101"},  // 195: both 2432
    {2496, "000000011110"},  // 196: both 2496
    {2560, "000000011111"},  // 197: both 2560
};

const FaxCode_t ModeCodeTable[kModeCodeRows] = {
    {0, ""},          // unused
    {1, "0001"},      // pass
    {2, "001"},       // horizontal
    {3, "1"},         // V0
    {4, "011"},       // VR1
    {5, "000011"},    // VR2
    {6, "0000011"},   // VR3
    {7, "010"},       // VL1
    {8, "000010"},    // VL2
    {9, "0000010"},   // VL3
    {10, "0000001"},  // extension prefix
    {11, "0000000"},  // seven zeros
};

std::int32_t FaxCodeIndex(const char* code) {
    if (code == nullptr || code[0] == '\0') {
        return -1;
    }
    std::int32_t index = 1;
    for (std::size_t i = 0; code[i] != '\0'; ++i) {
        if (i >= 30 || (code[i] != '0' && code[i] != '1')) {
            return -1;
        }
        index = index * 2 + (code[i] == '1' ? 1 : 0);
    }
    return index;
}

namespace {

// Places one code; refuses an unusable text, an index beyond the table or
// an index already taken.
bool PlaceCode(std::uint8_t* table, std::size_t tableSize, const char* code, std::size_t row) {
    const std::int32_t index = FaxCodeIndex(code);
    if (index < 2 || static_cast<std::size_t>(index) > tableSize || row == 0 || row > 255) {
        return false;
    }
    std::uint8_t& entry = table[static_cast<std::size_t>(index) - 1];
    if (entry != 0) {
        return false;
    }
    entry = static_cast<std::uint8_t>(row);
    return true;
}

// A table is prefix-free when no proper prefix of a placed code is itself a
// placed code; walking each entry's ancestors (index / 2) finds every prefix.
bool PrefixFree(const std::uint8_t* table, std::size_t tableSize) {
    for (std::size_t position = 0; position < tableSize; ++position) {
        if (table[position] == 0) {
            continue;
        }
        for (std::size_t index = (position + 1) / 2; index >= 2; index /= 2) {
            if (table[index - 1] != 0) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool BuildFaxLookupTables(const FaxCode_t* runRows, std::size_t runRowCount, const FaxCode_t* modeRows,
                          std::size_t modeRowCount, std::uint8_t* whiteTable, std::uint8_t* blackTable,
                          std::uint8_t* modeTable) {
    for (std::size_t row = 1; row < runRowCount; ++row) {
        const char* code = runRows[row].Code;
        if (row >= kFaxSharedRowsFrom) {
            if (!PlaceCode(whiteTable, kWhiteTableSize, code, row) ||
                !PlaceCode(blackTable, kBlackTableSize, code, row)) {
                return false;
            }
        } else if (row % 2 == 1) {
            if (!PlaceCode(whiteTable, kWhiteTableSize, code, row)) {
                return false;
            }
        } else if (!PlaceCode(blackTable, kBlackTableSize, code, row)) {
            return false;
        }
    }
    for (std::size_t row = 1; row < modeRowCount; ++row) {
        if (!PlaceCode(modeTable, kModeTableSize, modeRows[row].Code, row)) {
            return false;
        }
    }
    return PrefixFree(whiteTable, kWhiteTableSize) && PrefixFree(blackTable, kBlackTableSize) &&
           PrefixFree(modeTable, kModeTableSize);
}

void BuildFaxFastTable(const std::uint8_t* table, unsigned maxBits, std::uint16_t* fast) {
    const std::uint32_t patterns = std::uint32_t{1} << maxBits;
    for (std::uint32_t pattern = 0; pattern < patterns; ++pattern) {
        std::uint16_t entry = 0;
        std::uint32_t index = 1;
        for (unsigned length = 1; length <= maxBits; ++length) {
            index = index * 2 + ((pattern >> (maxBits - length)) & 1u);
            const std::uint8_t row = table[index - 1];
            if (row != 0) {
                entry = static_cast<std::uint16_t>((row << 4) | length);
                break;
            }
        }
        fast[pattern] = entry;
    }
}

namespace {

}  // namespace

FaxTables_t gFaxTables;

namespace {

// The short table of one colour: the fast table of `bits` bits, with each
// found row replaced by its run value. Every value of a code that short
// fits beside its length in 16 bits.
void BuildShortTable(const std::uint8_t* table, unsigned bits, const std::uint32_t* runValue,
                     std::uint16_t* shortTable) {
    std::uint16_t fast[std::size_t{1} << kBlackShortBits];
    BuildFaxFastTable(table, bits, fast);
    for (std::uint32_t pattern = 0; pattern < (std::uint32_t{1} << bits); ++pattern) {
        const std::uint16_t entry = fast[pattern];
        shortTable[pattern] =
            entry == 0 ? 0 : static_cast<std::uint16_t>((runValue[FaxFastRow(entry)] << 4) | FaxFastLength(entry));
    }
}

// The pair table whose first run has the colour `whiteFirst` says: every
// two terminating codes of runs 1..63, first of that colour, whose bits fit
// into kPairBits, fill the patterns they start (codes are prefix-free, so
// no pattern starts with two different pairs).
void BuildPairTable(bool whiteFirst, std::uint32_t* pairs) {
    // The terminating codes of runs 1..63 (rows 3..128) as bits and lengths.
    std::uint32_t bits[129] = {};
    unsigned lengths[129] = {};
    for (std::size_t row = 3; row <= 128; ++row) {
        const std::int32_t index = FaxCodeIndex(RunCodeTable[row].Code);
        if (index > 0) {
            // An index is the code's bits after a leading 1.
            lengths[row] = 31u - static_cast<unsigned>(__builtin_clz(static_cast<unsigned>(index)));
            bits[row] = static_cast<std::uint32_t>(index) ^ (1u << lengths[row]);
        }
    }
    const std::size_t firstFrom = whiteFirst ? 3 : 4;
    for (std::size_t first = firstFrom; first <= 128; first += 2) {
        for (std::size_t second = firstFrom == 3 ? 4 : 3; second <= 128; second += 2) {
            const unsigned length = lengths[first] + lengths[second];
            if (lengths[first] == 0 || lengths[second] == 0 || length > kPairBits) {
                continue;
            }
            const std::uint32_t both = (bits[first] << lengths[second]) | bits[second];
            const std::uint32_t entry =
                length | (RunCodeTable[first].Value << 8) | (RunCodeTable[second].Value << 16);
            const std::uint32_t from = both << (kPairBits - length);
            const std::uint32_t to = (both + 1) << (kPairBits - length);
            for (std::uint32_t p = from; p < to; ++p) {
                pairs[p] = entry;
            }
        }
    }
}

bool BuildSharedTables() {
    FaxTables_t& t = gFaxTables;
    std::memset(&t, 0, sizeof t);
    t.Valid = BuildFaxLookupTables(RunCodeTable, kRunCodeRows, ModeCodeTable, kModeCodeRows, t.White, t.Black,
                                   t.Mode);
    BuildFaxFastTable(t.White, kWhiteMaxBits, t.FastWhite);
    BuildFaxFastTable(t.Black, kBlackMaxBits, t.FastBlack);
    BuildFaxFastTable(t.Mode, kModeMaxBits, t.FastMode);
    // Two-dimensional decoding relies on every bit pattern starting with a
    // mode code.
    for (std::uint16_t entry : t.FastMode) {
        t.Valid = t.Valid && entry != 0;
    }
    for (std::size_t row = 0; row < kRunCodeRows; ++row) {
        t.RunValue[row] = RunCodeTable[row].Value;
    }
    BuildShortTable(t.White, kWhiteShortBits, t.RunValue, t.ShortWhite);
    BuildShortTable(t.Black, kBlackShortBits, t.RunValue, t.ShortBlack);
    BuildPairTable(true, t.PairWhiteBlack);
    BuildPairTable(false, t.PairBlackWhite);
    return true;
}

}  // namespace

const FaxTables_t& GetFaxTables() {
    static const bool built = BuildSharedTables();
    (void)built;
    return gFaxTables;
}
