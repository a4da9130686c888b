// Steps both fax decoders take the same way, whatever they do when a line
// goes wrong: looking up run codes (alone or two at once) and moving b1
// along the reference line. Each is small enough to inline into the
// decoding loops, where it costs what the code written out in place did.
#ifndef TIFFVIEW_FAX_FAXSTEPS_H
#define TIFFVIEW_FAX_FAXSTEPS_H

#include <cstdint>

#include "fax/FaxBits.h"
#include "fax/FaxCodes.h"

namespace tvfax {
namespace {

// The run code of the given colour that the top bits of `acc` (at least 13
// of them filled) start with: true with its length and run value, or false
// when they start an EOL (eleven zeros) or no code at all. With
// EolIsMakeUp, an EOL (or eleven zeros) reads as a make-up code of
// kFaxEolValue pixels instead, as the Group 4 decoder takes it inside a
// horizontal code's run. Codes of up to 9 (white) or 10 (black) bits,
// nearly all of a page's, take one small lookup; the rest the full tables.
template <bool EolIsMakeUp = false>
inline bool RunCodeAt(std::uint64_t acc, bool white, unsigned& length, std::uint32_t& value) {
    const FaxTables_t& tables = gFaxTables;
    const std::uint16_t shortEntry = white ? tables.ShortWhite[acc >> (64 - kWhiteShortBits)]
                                           : tables.ShortBlack[acc >> (64 - kBlackShortBits)];
    if (TV_FAX_LIKELY(shortEntry != 0)) {
        length = FaxShortLength(shortEntry);
        value = FaxShortValue(shortEntry);
        return true;
    }
    const std::uint16_t entry =
        white ? tables.FastWhite[acc >> (64 - kWhiteMaxBits)] : tables.FastBlack[acc >> (64 - kBlackMaxBits)];
    const unsigned row = FaxFastRow(entry);
    if (entry == 0 || (!EolIsMakeUp && (row == kFaxEolRow || row == kFaxBlackEolRow))) {
        return false;
    }
    length = FaxFastLength(entry);
    value = tables.RunValue[row];
    return true;
}

// Two terminating codes, a run of the given colour and one of the other,
// that the top kPairBits bits of `acc` start with (see FaxPairLength), or 0.
inline std::uint32_t RunPairAt(std::uint64_t acc, bool whiteFirst) {
    const std::uint64_t index = acc >> (64 - kPairBits);
    return whiteFirst ? gFaxTables.PairWhiteBlack[index] : gFaxTables.PairBlackWhite[index];
}

// b1 is the first changing element of the reference line past a0 whose
// colour is the opposite of a0's. `b` stands on a candidate of the right
// colour (its parity in the array), so it moves two elements at a time; the
// copies of the line's end after its last element stop it there.
inline void StepB1(const std::uint64_t*& b, std::uint64_t a0) {
    while (*b <= a0) {
        b += 2;
    }
}

// The same where b1 is mostly where b stands or one step on, as after a
// vertical code: that one step is taken without a branch (the branch, its
// outcome all but random, was mispredicted so often on scanned pages that
// Group 4 decoded 20% faster without it), the loop only for more. After
// pass codes, b already stands two on, and the plain loop is faster.
inline void StepB1Near(const std::uint64_t*& b, std::uint64_t a0) {
    b += *b <= a0 ? 2 : 0;
    while (TV_FAX_RARELY(*b <= a0)) {
        b += 2;
    }
}

// The same, except at a line's start (no element decoded yet), where b1 is
// taken as it stands: a0 is then the imaginary element before pixel 0, left
// of every element, even one at pixel 0.
inline void FindB1(const std::uint64_t*& b, std::uint64_t a0, bool lineStarted) {
    if (TV_FAX_LIKELY(lineStarted)) {
        StepB1(b, a0);
    }
}

// FindB1 where b1 is mostly near (see StepB1Near).
inline void FindB1Near(const std::uint64_t*& b, std::uint64_t a0, bool lineStarted) {
    if (TV_FAX_LIKELY(lineStarted)) {
        StepB1Near(b, a0);
    }
}

}  // namespace
}  // namespace tvfax

#endif
