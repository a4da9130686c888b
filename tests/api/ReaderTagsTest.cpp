// Reader::tags against libtiff's reading of the same directories: the text
// tags, PageNumber and the resolutions of every page of every corpus file.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"

namespace {

const tiffview::TagEntry* FindEntry(const std::vector<tiffview::TagEntry>& entries, std::uint16_t tag) {
    for (const tiffview::TagEntry& e : entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

TEST(ReaderTags, AgreeWithLibtiffOnEveryCorpusPage) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(TIFFVIEW_CORPUS_DIR)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".tif" || ext == ".tiff") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    std::size_t compared = 0;
    for (const std::string& file : files) {
        tiffview::Reader reader;
        if (!reader.open(file, tiffview::Options().page(tiffview::Options::no_page))) continue;
        TIFF* tif = TIFFOpen(file.c_str(), "r");
        if (tif == nullptr) continue;
        for (std::uint32_t page = 0; page < reader.page_count() && TIFFSetDirectory(tif, static_cast<tdir_t>(page));
             ++page) {
            SCOPED_TRACE(file + " page " + std::to_string(page + 1));
            std::vector<tiffview::TagEntry> entries;
            ASSERT_TRUE(reader.tags(page, entries));
            for (std::uint16_t tag : {269, 270, 271, 272, 305, 306, 315, 316}) {
                char* text = nullptr;
                const tiffview::TagEntry* ours = FindEntry(entries, tag);
                if (TIFFGetField(tif, tag, &text) != 1 || text == nullptr) continue;
                ASSERT_NE(ours, nullptr) << tag;
                EXPECT_EQ(ours->text, std::string(text).substr(0, 256)) << tag;
                ++compared;
            }
            std::uint16_t number = 0;
            std::uint16_t total = 0;
            if (TIFFGetField(tif, TIFFTAG_PAGENUMBER, &number, &total) == 1) {
                const tiffview::TagEntry* ours = FindEntry(entries, TIFFTAG_PAGENUMBER);
                ASSERT_NE(ours, nullptr);
                EXPECT_EQ(ours->integers, (std::vector<std::int64_t>{number, total}));
                ++compared;
            }
            float resolution = 0;
            const tiffview::TagEntry* x = FindEntry(entries, TIFFTAG_XRESOLUTION);
            if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution) == 1 && x != nullptr && x->type == 5) {
                ASSERT_EQ(x->reals.size(), 1u);
                EXPECT_FLOAT_EQ(static_cast<float>(x->reals[0]), resolution);
                ++compared;
            }
        }
        TIFFClose(tif);
    }
    EXPECT_GT(compared, 100u);
}

}  // namespace
