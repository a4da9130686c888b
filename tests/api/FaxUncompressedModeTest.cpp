// Fax pages whose T4Options or T6Options allow uncompressed mode (bit 1),
// coded with stretches of it by the test encoder, read through
// tiffview::Reader's default profile: every line as coded, with no warning.
// libtiff cannot read such pages, so the encoder is the judge.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TiffView.h"
#include "TiffViewReader.hpp"
#include "support/FaxEncoder.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;

enum class Coding { G3OneDimensional, G3TwoDimensional, G4 };

// One strip of `rows`, coded with uncompressed mode where `stretches` say.
Bytes CodeStrip(Coding coding, const faxenc::Lines& rows, std::uint32_t width, const faxenc::Stretches& stretches) {
    switch (coding) {
        case Coding::G3OneDimensional: return faxenc::EncodeG3(rows, width, false, false, &stretches);
        case Coding::G3TwoDimensional: return faxenc::EncodeG3TwoDimensional(rows, width, 2, true, &stretches);
        case Coding::G4: break;
    }
    return faxenc::EncodeG4(rows, width, true, false, &stretches);
}

TEST(FaxUncompressedMode, PagesThatAllowItReadAsCoded) {
    const std::uint32_t width = 203;
    const std::uint32_t length = 40;
    for (Coding coding : {Coding::G3OneDimensional, Coding::G3TwoDimensional, Coding::G4}) {
        for (faxenc::Content content : {faxenc::Content::Text, faxenc::Content::Noise, faxenc::Content::Mixed}) {
            for (std::uint32_t rowsPerStrip : {length, 7u}) {
                const faxenc::Lines page = faxenc::MakeImage(content, width, length, rowsPerStrip);
                faxenc::Rng rng(static_cast<std::uint64_t>(content) * 131 + rowsPerStrip);
                const faxenc::Stretches stretches = faxenc::RandomStretches(width, length, rng);
                tvtest::BilevelLayout layout;
                layout.width = width;
                layout.length = length;
                layout.rowsPerStrip = rowsPerStrip;
                layout.compression = coding == Coding::G4 ? 4 : 3;
                for (std::uint32_t top = 0; top < length; top += rowsPerStrip) {
                    const std::uint32_t bottom = std::min(length, top + rowsPerStrip);
                    const faxenc::Lines rows(page.begin() + top, page.begin() + bottom);
                    const faxenc::Stretches own(stretches.begin() + top, stretches.begin() + bottom);
                    layout.strips.push_back(CodeStrip(coding, rows, width, own));
                }
                tvtest::TiffBuilder file = tvtest::MakeBilevel(layout);
                // T4Options or T6Options, in tag order before ResolutionUnit.
                file.Remove(296);
                if (coding == Coding::G4) {
                    file.AddLong(293, 2);
                } else {
                    file.AddLong(292, coding == Coding::G3TwoDimensional ? 3 : 2);
                }
                file.AddShort(296, 2);
                const Bytes bytes = file.Build();
                const std::string what = std::string(faxenc::ContentName(content)) + " coding " +
                                         std::to_string(static_cast<int>(coding)) + " rows per strip " +
                                         std::to_string(rowsPerStrip);

                tiffview::Reader reader;
                ASSERT_TRUE(reader.open(bytes.data(), bytes.size())) << what;
                Bytes line(faxenc::LineBytes(width));
                for (std::uint32_t y = 0; y < length; ++y) {
                    const tiffview::Result r = reader.read_line(line.data(), line.size());
                    ASSERT_EQ(r.code(), TV_OK) << what << " line " << y << ": " << r.message();
                    // Photometric 0: white is 0, as the encoder's lines have it.
                    faxenc::ClearPad(line, width);
                    ASSERT_EQ(line, page[y]) << what << " line " << y;
                }
            }
        }
    }
}

}  // namespace
