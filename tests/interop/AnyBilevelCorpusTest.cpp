// The real-world corpus (tests/data, origins in tests/data/SOURCES.md) read
// with TV_OPTION_ANY_BILEVEL, page by page, against libtiff: every page that
// libtiff decodes as 1-bit without error must read identically, with every
// line TV_OK, except the pages listed below: libtiff warns on some of their
// lines, and ours read the same pixels with the warning code given.
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "TiffView.h"
#include "support/LibtiffImage.h"
#include "support/TestData.h"

namespace {

using tvtest::Rows;

// Pages whose lines libtiff reads with warnings only: the pixels must be
// identical and the first line that is not TV_OK must carry `code`. Where
// libtiff reads nothing but white lines, `reference` names the image to
// compare with instead ("" when there is none: the lines must then all
// read whole).
struct Exception {
    const char* file;
    std::uint32_t page;
    std::uint32_t code;
    const char* reason;
    const char* reference = nullptr;
};

const char kEarlyEol[] = "Group 3 lines ended early by their EOL: white to the end, as libtiff fills them";
const char kNoEols[] = "Group 3 data without EOLs: libtiff finds no line start and reads white lines; read from the data";
const char kEarlyBlockEnd[] =
    "Group 4 end of block before the last row: white rows after it, each of which libtiff's scanline reading warns about";

const Exception kExceptions[] = {
    {"libtiff-testfax3_bug54_1dnoEOL.tif", 0, TV_OK, kNoEols, "libtiff-refs-o-testfax3_bug54_1dnoEOL.tiff"},
    {"twelve-ccitt_tolessrows.tif", 0, TV_ERR_STRIP_SHORT, kEarlyBlockEnd},
    {"twelve-g3aoe.tif", 0, TV_ERR_LINE_DAMAGED, kEarlyEol},
    {"twelve-incorrect-compression-rle-as-g3.tif", 0, TV_OK, kNoEols, ""},
};

const Exception* FindException(const std::string& file, std::uint32_t page) {
    for (const Exception& e : kExceptions) {
        if (file == e.file && page == e.page) return &e;
    }
    return nullptr;
}

struct PageReading {
    std::uint32_t opened = TV_OK;
    std::uint32_t pages = 0;
    std::uint32_t firstFault = TV_OK;
    Rows rows;
};

PageReading ReadPage(const std::string& path, std::uint32_t page) {
    PageReading out;
    CTiffView view;
    view.SetOptions(TV_OPTION_ANY_BILEVEL);
    view.SelectPage(page);
    out.opened = view.OpenFile(path.c_str());
    if (out.opened == TV_OK) {
        out.pages = view.GetPageCount();
        TiffInfo_t info;
        view.GetImageInfo(&info);
        std::vector<std::uint8_t> line((info.Width + 7) / 8);
        for (std::uint32_t y = 0; y < info.Length; ++y) {
            const std::uint32_t r = view.ReadALine(line.data());
            if (r != TV_OK && out.firstFault == TV_OK) out.firstFault = r;
            if (r == TV_ERR_DECODE || (r & 0xFFu) >= 0x60u) break;
            out.rows.push_back(line);
        }
        tvtest::ClearPadding(out.rows, info.Width);
    }
    view.CloseFile();
    return out;
}

TEST(AnyBilevelCorpus, EveryPageLibtiffDecodesCleanlyReadsIdentically) {
    const std::vector<std::string> files = tvtest::TestDataTiffs();
    ASSERT_GE(files.size(), 80u);
    std::map<const Exception*, bool> seen;
    int identical = 0;
    for (const std::string& file : files) {
        const std::string path = std::string(TIFFVIEW_TESTDATA_DIR) + "/" + file;
        const std::uint32_t libtiffPages = tvtest::ReadPageWithLibtiff(path, 0).pages;
        for (std::uint32_t page = 0; page < std::max(1u, libtiffPages); ++page) {
            const tvtest::LibtiffPage truth = tvtest::ReadPageWithLibtiff(path, page);
            const PageReading ours = ReadPage(path, page);
            const std::string where = file + " page " + std::to_string(page);
            char code[16];
            std::snprintf(code, sizeof code, "%08X", ours.opened != TV_OK ? ours.opened : ours.firstFault);
            std::printf("  %-70s libtiff %-8s ours %s\n", where.c_str(),
                        truth.clean ? "clean" : truth.opened ? "errors" : "refuses", code);
            if (const Exception* e = FindException(file, page)) {
                seen[e] = true;
                EXPECT_EQ(ours.opened, TV_OK) << where;
                EXPECT_EQ(ours.firstFault, e->code) << where << ": " << e->reason;
                if (e->reference == nullptr) {
                    EXPECT_EQ(tvtest::FirstDifference(ours.rows, truth.rows), -1) << where;
                } else if (*e->reference != '\0') {
                    const std::string reference = std::string(TIFFVIEW_TESTDATA_DIR) + "/" + e->reference;
                    EXPECT_EQ(tvtest::FirstDifference(ours.rows, tvtest::ReadPageWithLibtiff(reference, 0).rows), -1)
                        << where << " against " << e->reference;
                }
                continue;
            }
            if (!truth.clean) continue;
            ASSERT_EQ(ours.opened, TV_OK) << where;
            if (libtiffPages > 0) {
                EXPECT_EQ(ours.pages, libtiffPages) << where;
            }
            EXPECT_EQ(ours.firstFault, TV_OK) << where;
            EXPECT_EQ(tvtest::FirstDifference(ours.rows, truth.rows), -1) << where;
            ++identical;
        }
    }
    EXPECT_EQ(seen.size(), std::size(kExceptions)) << "an exception names a page the corpus does not have";
    std::printf("  %d pages identical to libtiff, %zu more with warnings where libtiff warns\n", identical,
                seen.size());
}

}  // namespace
