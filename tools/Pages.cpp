#include "Pages.h"

#include "TiffView.h"

namespace tvtool {

namespace {

// A fault of one directory, after which the next page may still be read;
// anything else concerns the file (header, directory chain) or the profile.
bool IsPageFault(std::uint32_t code) {
    const std::uint32_t kind = code & 0xFFu;
    return (code >> 24) == 0xF0u && ((kind >= 0x30 && kind <= 0x35) || (kind >= 0x40 && kind <= 0x43) ||
                                     (code & TV_CODE_MASK) == TV_ERR_NO_MEMORY);
}

// Refused pages tried before giving up on finding a readable one; each try
// reads the directory chain again.
constexpr std::uint32_t kMaxPagesTried = 1000;

}  // namespace

void PreparePage(CTiffView& view, const ReadProfile& profile, std::uint32_t page) {
    view.SetOptions(profile.strict ? 0u : TV_OPTION_ANY_BILEVEL);
    view.SelectPage(page);
}

FileOutline OutlineFile(const std::string& path, const ReadProfile& profile) {
    FileOutline outline;
    for (std::uint32_t page = 0; page < kMaxPagesTried; ++page) {
        CTiffView view;
        PreparePage(view, profile, page);
        const std::uint32_t rc = view.ParseFile(path.c_str(), 0);
        if (page == 0) outline.firstResult = rc;
        if (rc == TV_OK) {
            TiffInfo_t info;
            view.GetImageInfo(&info);
            outline.pageCount = view.GetPageCount() > page ? view.GetPageCount() : page + 1;
            outline.byteOrderKnown = true;
            outline.littleEndian = info.Intel != 0;
            view.CloseFile();
            return outline;
        }
        view.CloseFile();
        // Every page refused: the chain ends here.
        if ((rc & TV_CODE_MASK) == TV_ERR_PAGE_MISSING) {
            outline.pageCount = page;
            return outline;
        }
        if (!IsPageFault(rc)) break;
    }
    outline.pageCount = 0;
    return outline;
}

std::string PageLabel(const std::string& path, std::uint32_t page, std::uint32_t pageCount) {
    if (pageCount <= 1) return path;
    return path + " page " + std::to_string(page + 1);
}

bool TakeProfileOption(const std::string& arg, ReadProfile& profile) {
    if (arg != "--strict") return false;
    profile.strict = true;
    return true;
}

}  // namespace tvtool
