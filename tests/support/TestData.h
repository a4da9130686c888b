// The TIFF files kept in the tests' data folder.
#ifndef TIFFVIEW_TESTS_SUPPORT_TESTDATA_H
#define TIFFVIEW_TESTS_SUPPORT_TESTDATA_H

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tvtest {

// Names (not paths) of the .tif and .tiff files in TIFFVIEW_TESTDATA_DIR,
// sorted.
inline std::vector<std::string> TestDataTiffs() {
    std::vector<std::string> files;
    if (DIR* dir = opendir(TIFFVIEW_TESTDATA_DIR)) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.find(".tif") != std::string::npos) files.push_back(name);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace tvtest

#endif
