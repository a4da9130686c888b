// The any-bilevel Group 3 decoder on code streams spelt out bit by bit:
// lines that fill its working storage, and lines cut off by the end of
// their data.
#include <gtest/gtest.h>

#include <vector>

#include "FaxDecoderBits.h"
#include "support/FaxEncoder.h"
#include "TiffView.h"
#include "fax/FaxLines.h"

namespace {

using faxbits::BitWriter;
using faxbits::Bytes;

struct Line {
    Bytes pixels;
    std::uint32_t fault = 0;
    std::uint32_t produced = 0;
};

// Decodes `lines` lines of one strip as the page reader does.
std::vector<Line> DecodeStrip(CFaxLines& decoder, const Bytes& strip, std::uint32_t width, std::uint32_t lines) {
    const std::uint32_t rowBytes = (width + 7) / 8;
    std::vector<Line> out;
    std::uint32_t at = 0;
    decoder.Reset();
    for (std::uint32_t y = 0; y < lines; ++y) {
        std::uint32_t consumed = 0, produced = 0;
        const std::uint32_t left = static_cast<std::uint32_t>(strip.size()) - at;
        EXPECT_EQ(decoder.Decode(strip.data() + at, left, consumed, rowBytes, produced), 1);
        EXPECT_LE(consumed, left);
        at += consumed;
        Line line;
        line.produced = produced;
        line.pixels.assign(rowBytes, 0);
        decoder.GetLine(line.pixels.data());
        line.fault = decoder.LineFault();
        out.push_back(line);
    }
    return out;
}

// Empty runs fill a line's elements up to the decoder's capacity (the room
// libtiff gives a line, and 16), then a make-up code starts one more run that an early EOL
// cuts short: the line keeps that run and is made up to the width, all
// within its storage, and reads white; the next line is whole.
TEST(FaxLines, EmptyRunsUpToTheCapacityThenADamagedRun) {
    const std::uint32_t width = 100;
    const std::uint32_t capacity = (width + 1 + 31) / 32 * 32 * 2 + 16;
    BitWriter bits;
    bits.Put("0000 0000 0001");
    for (std::uint32_t run = 0; run < capacity; ++run) bits.Put(run % 2 == 0 ? "00110101" : "0000110111");
    bits.Put("11011");  // white 64
    bits.Put("0000 0000 0001");
    bits.Put("1000 11 11011 00011010");  // white 3, black 2, white 64 + 31
    bits.Put("0000 0000 0001");
    const Bytes strip = bits.Get();
    CFaxLines decoder(3, false);
    ASSERT_EQ(decoder.SetWidth(width), 1);
    // Twice, so that each of the two arrays of elements takes the line.
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<Line> lines = DecodeStrip(decoder, strip, width, 2);
        EXPECT_EQ(lines[0].pixels, Bytes((width + 7) / 8, 0)) << pass;
        EXPECT_NE(lines[0].fault, TV_OK) << pass;
        Bytes second((width + 7) / 8, 0);
        second[0] = 0x18;
        EXPECT_EQ(lines[1].pixels, second) << pass;
        EXPECT_EQ(lines[1].fault, TV_OK) << pass;
    }
}

// Lines whose data ends right after a whole code, before the line is
// complete: the line keeps its runs, is white to its end and is flagged as
// cut off by the end of the strip (not as damaged), and no line follows.
struct CutOffCase {
    const char* what;
    std::uint32_t compression;
    bool twoDimensional;
    BitWriter bits;          // a white line of 10 pixels, then the line cut off
    std::uint8_t firstByte;  // of the line cut off
};

TEST(FaxLines, LineCutOffAtTheEndOfItsData) {
    const CutOffCase cases[] = {
        {"modified Huffman", 2, false, BitWriter().Put("00111").Align().Put("000111 11"), 0x60},
        {"one-dimensional", 3, false, BitWriter().AlignedEol().Put("00111").AlignedEol().Put("000111 11"), 0x60},
        {"two-dimensional, in a horizontal code", 3, true,
         BitWriter().AlignedEol().Put("1 00111").AlignedEol().Put("0 001 0111"), 0x00},
    };
    const std::uint32_t width = 10;
    for (const CutOffCase& c : cases) {
        const Bytes strip = c.bits.Get();
        CFaxLines decoder(c.compression, c.twoDimensional);
        ASSERT_EQ(decoder.SetWidth(width), 1);
        const std::vector<Line> lines = DecodeStrip(decoder, strip, width, 3);
        EXPECT_EQ(lines[0].pixels, (Bytes{0x00, 0x00})) << c.what;
        EXPECT_EQ(lines[0].fault, TV_OK) << c.what;
        EXPECT_EQ(lines[1].pixels, (Bytes{c.firstByte, 0x00})) << c.what;
        EXPECT_EQ(lines[1].fault, TV_ERR_STRIP_SHORT) << c.what;
        EXPECT_EQ(lines[2].produced, 0u) << c.what;
    }
}

}  // namespace

// Group 3 one-dimensional data written without any EOL is read from the
// data, back to back or from byte boundaries, whichever its lines follow.
// Byte-aligned rows whose fill and codes line up somewhere as an EOL would
// are read as libtiff reads them, so the aligned pages here are rows whose
// codes never put eleven zeros together: each starts with a short white run
// coded from a 1 bit.
TEST(FaxLines, StripsWithoutEolsAreReadFromTheData) {
    const std::uint32_t width = 333;
    faxenc::Lines aligning;
    for (std::uint32_t y = 0; y < 40; ++y) aligning.push_back(faxenc::RunsLine(width, {3 + y % 5, 10 + y % 7}));
    const struct {
        const char* what;
        faxenc::Lines page;
        bool aligned;
    } cases[] = {
        {"text", faxenc::MakeImage(faxenc::Content::Text, width, 40, 7), false},
        {"noise", faxenc::MakeImage(faxenc::Content::Noise, width, 40, 7), false},
        {"mixed", faxenc::MakeImage(faxenc::Content::Mixed, width, 40, 7), false},
        {"runs, rows byte-aligned", aligning, true},
    };
    for (const auto& c : cases) {
        const Bytes strip = faxenc::EncodeG3WithoutEols(c.page, width, c.aligned);
        CFaxLines decoder(3, false);
        ASSERT_EQ(decoder.SetWidth(width), 1);
        const std::vector<Line> lines = DecodeStrip(decoder, strip, width, 41);
        for (std::uint32_t y = 0; y < 40; ++y) {
            faxenc::Line expected = c.page[y];
            faxenc::ClearPad(expected, width);
            EXPECT_EQ(lines[y].pixels, expected) << c.what << " line " << y;
            EXPECT_EQ(lines[y].fault, TV_OK) << c.what << " line " << y;
        }
        // Past the data: nothing.
        EXPECT_EQ(lines[40].produced, 0u) << c.what;
    }
}

namespace {

// Pages coded with stretches of uncompressed mode (at lines' starts, in
// their middles, at their ends, a few, whole lines) read back exactly when
// the page allows the mode, in every coding that has it; read as libtiff
// reads them (the mode refused) they are not.
TEST(FaxLines, UncompressedModeReadsBackWhatWasCoded) {
    enum class Coding { G3OneDimensional, G3TwoDimensional, G4 };
    const std::uint32_t height = 24;
    int pages = 0;
    for (Coding coding : {Coding::G3OneDimensional, Coding::G3TwoDimensional, Coding::G4}) {
        for (faxenc::Content content : {faxenc::Content::Text, faxenc::Content::Noise, faxenc::Content::Mixed,
                                        faxenc::Content::Runs, faxenc::Content::Checker}) {
            for (std::uint32_t width : {1u, 5u, 61u, 333u, 1728u}) {
                for (std::uint64_t seed = 1; seed <= 3; ++seed) {
                    const faxenc::Lines page = faxenc::MakeImage(content, width, height, seed * 31 + width);
                    faxenc::Rng rng(seed * 977 + width);
                    const faxenc::Stretches stretches = faxenc::RandomStretches(width, height, rng);
                    Bytes strip;
                    if (coding == Coding::G3OneDimensional) {
                        strip = faxenc::EncodeG3(page, width, false, false, &stretches);
                    } else if (coding == Coding::G3TwoDimensional) {
                        strip = faxenc::EncodeG3TwoDimensional(page, width, 4, seed % 2 == 0, &stretches);
                    } else {
                        strip = faxenc::EncodeG4(page, width, seed % 2 == 0, false, &stretches);
                    }
                    const std::uint32_t compression = coding == Coding::G4 ? 4 : 3;
                    const bool twoDimensional = coding == Coding::G3TwoDimensional;
                    const std::string what = std::string(faxenc::ContentName(content)) + " coding " +
                                             std::to_string(static_cast<int>(coding)) + " width " +
                                             std::to_string(width) + " seed " + std::to_string(seed);
                    CFaxLines allowed(compression, twoDimensional, true);
                    ASSERT_EQ(allowed.SetWidth(width), 1);
                    const std::vector<Line> lines = DecodeStrip(allowed, strip, width, height);
                    for (std::uint32_t y = 0; y < height; ++y) {
                        ASSERT_EQ(lines[y].pixels, page[y]) << what << " line " << y;
                        ASSERT_EQ(lines[y].fault, TV_OK) << what << " line " << y;
                    }
                    CFaxLines refused(compression, twoDimensional, false);
                    ASSERT_EQ(refused.SetWidth(width), 1);
                    const std::vector<Line> asLibtiff = DecodeStrip(refused, strip, width, height);
                    std::uint32_t damaged = 0;
                    for (const Line& line : asLibtiff) damaged += line.fault != TV_OK ? 1 : 0;
                    EXPECT_GT(damaged, 0u) << what;
                    ++pages;
                }
            }
        }
    }
    EXPECT_EQ(pages, 3 * 5 * 5 * 3);
}

// Uncompressed mode that goes wrong damages its line, which keeps the
// pixels read before the damage, and the next line is read (damaged too
// when the codes left unread had to be stepped over to find its EOL);
// where the data ends inside it the line is cut off. Lines of 10 pixels.
TEST(FaxLines, DamagedUncompressedMode) {
    const struct {
        const char* what;
        std::uint32_t compression;
        bool allowed;
        BitWriter bits;
        Bytes first;                 // the line's pixels
        std::uint32_t fault;         // its warning
        bool second;                 // whether a line follows (white, 10 pixels)
        std::uint32_t secondFault;   // and its warning
    } cases[] = {
        {"an EOL inside it", 3, true,
         BitWriter().AlignedEol().Put("000000001111 1").AlignedEol().Put("00111"), {0x80, 0x00},
         TV_ERR_LINE_DAMAGED, true, TV_OK},
        {"twelve zeros inside it", 3, true,
         BitWriter().AlignedEol().Put("000000001111 01 000000000000").AlignedEol().Put("00111"), {0x40, 0x00},
         TV_ERR_LINE_DAMAGED, true, TV_OK},
        {"pixels past the width", 3, true,
         BitWriter().AlignedEol().Put("000000001111 0001 000001 01").AlignedEol().Put("00111"), {0x10, 0x00},
         TV_ERR_LINE_DAMAGED, true, TV_ERR_LINE_DAMAGED},
        {"white past the width at its exit", 3, true,
         BitWriter().AlignedEol().Put("000000001111 000001 1 0000 00000000001 0").AlignedEol().Put("00111"),
         {0x04, 0x00}, TV_ERR_LINE_DAMAGED, true, TV_ERR_LINE_DAMAGED},
        {"the data ending inside it", 3, true, BitWriter().AlignedEol().Put("000000001111 001 01"),
         {0x28, 0x00}, TV_ERR_STRIP_SHORT, false, 0},
        {"Group 4, the data ending inside it", 4, true, BitWriter().Put("0000001111 1 1 01"), {0xD0, 0x00},
         TV_ERR_STRIP_SHORT, true, TV_ERR_STRIP_SHORT},
        {"a page without the mode", 3, false,
         BitWriter().AlignedEol().Put("000000001111 1 0000001 0 00110101").AlignedEol().Put("00111"),
         {0x00, 0x00}, TV_ERR_LINE_DAMAGED, true, TV_ERR_LINE_DAMAGED},
        // The line after it reads on from the extension code ("111": V0).
        {"Group 4, a page without the mode", 4, false, BitWriter().Put("0000001111 1 0000001 0 1"), {0x00, 0x00},
         TV_ERR_LINE_DAMAGED, true, TV_OK},
    };
    const std::uint32_t width = 10;
    for (const auto& c : cases) {
        CFaxLines decoder(c.compression, false, c.allowed);
        ASSERT_EQ(decoder.SetWidth(width), 1);
        const std::vector<Line> lines = DecodeStrip(decoder, c.bits.Get(), width, 2);
        EXPECT_EQ(lines[0].pixels, c.first) << c.what;
        EXPECT_EQ(lines[0].fault, c.fault) << c.what;
        if (c.second) {
            EXPECT_EQ(lines[1].pixels, Bytes(2, 0)) << c.what;
            EXPECT_EQ(lines[1].fault, c.secondFault) << c.what;
        } else {
            EXPECT_EQ(lines[1].produced, 0u) << c.what;
        }
    }
}

}  // namespace
