// TV_OPTION_MAP_FILE: strips read through a mapping of the file give the
// same lines and codes as strips copied out with positioned reads, for every
// file in the test data (damaged and truncated ones among them), in both
// profiles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TiffView.h"
#include "support/TestData.h"

namespace {

// Everything a reader reports for a file: the opening code, then each
// line's code and bytes up to the first failure.
std::vector<std::string> Transcript(const std::string& path, std::uint32_t options) {
    CTiffView view;
    view.SetLogEnabled(0);
    view.SetOptions(options);
    std::vector<std::string> out;
    const std::uint32_t opened = view.OpenFile(path.c_str());
    out.push_back("open " + std::to_string(opened));
    if (opened != TV_OK) return out;
    TiffInfo_t info{};
    view.GetImageInfo(&info);
    std::string line((info.Width + 7) / 8, '\0');
    for (std::uint32_t y = 0; y < info.Length; ++y) {
        const std::uint32_t code = view.ReadALine(reinterpret_cast<unsigned char*>(&line[0]));
        out.push_back(std::to_string(code) + " " + line);
        if (code != TV_OK && !TiffView_IsWarning(code)) break;
    }
    view.CloseFile();
    return out;
}

TEST(MappedReading, EveryDataFileReadsAsWithCopyingReads) {
    const std::vector<std::string> files = tvtest::TestDataTiffs();
    ASSERT_GT(files.size(), 40u);
    for (const std::string& file : files) {
        const std::string path = std::string(TIFFVIEW_TESTDATA_DIR) + "/" + file;
        for (const std::uint32_t profile : {0u, TV_OPTION_ANY_BILEVEL}) {
            EXPECT_EQ(Transcript(path, profile | TV_OPTION_MAP_FILE), Transcript(path, profile))
                << file << " with options " << profile;
        }
    }
}

}  // namespace
