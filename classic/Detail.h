// What CTiffView keeps beyond its classic data model: the byte source the
// image is read from, the strip reader, the reading options, and the page
// the core reads for it with TV_OPTION_ANY_BILEVEL.
#ifndef TIFFVIEW_CLASSIC_DETAIL_H
#define TIFFVIEW_CLASSIC_DETAIL_H

#include <cstdint>
#include <memory>
#include <string>

#include "TiffView.h"
#include "core/ChunkReader.h"
#include "core/Document.h"
#include "core/LineEngine.h"
#include "core/PageLayout.h"
#include "core/Source.h"

struct CTiffView::Detail {
    // The source being read: opened by name (owned), or handed over by
    // another interface (borrowed); null while no image is open.
    std::unique_ptr<tvcore::Source> owned;
    tvcore::Source* source = nullptr;
    // The position of the directory and tag reads, which go one after the
    // other as a file's reads do.
    std::uint64_t position = 0;
    tvcore::ChunkReader strips;

    // Not part of the logged state. What ReadALine does before anything
    // else, in one word that the common case tests once: TV_OK, read a line
    // of the strict profile; kCoreLines, the core reads the page; any other
    // value is returned as it is: TV_ERR_FILE_HANDLE until a successful
    // OpenFile, then the failure that stopped reading, returned again by
    // every later call of the same opening.
    static constexpr std::uint32_t kCoreLines = 1;
    std::uint32_t lineGate = TV_ERR_FILE_HANDLE;
    // Whether the strip being decoded was found short and its missing bytes
    // already credited, so that using up its input again moves on instead
    // of counting twice.
    bool stripCredited = false;

    std::uint32_t options = 0;
    std::uint32_t selectedPage = 0;
    std::uint32_t pageCount = 0;
    std::uint32_t pageIndex = 0;
    std::uint16_t orientation = 1;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileLength = 0;

    // With TV_OPTION_ANY_BILEVEL the core reads the page.
    tvcore::Document document;
    tvcore::PageLayout layout;
    std::unique_ptr<tvcore::LineEngine> lines;

    bool logEnabled = true;
    std::string logDirectory;

    bool AnyBilevel() const { return (options & TV_OPTION_ANY_BILEVEL) != 0; }
    bool MapFile() const { return (options & TV_OPTION_MAP_FILE) != 0; }

    // Positioned reads in the classic tradition: positions are signed
    // 32-bit numbers, so setting one of 2^31 or more fails; a position past
    // the end can be set, and reading there gets nothing.
    bool Seek(std::uint32_t to) {
        if (to > 0x7FFFFFFFu) return false;
        position = to;
        return true;
    }
    std::uint32_t Read(void* dest, std::uint32_t count) {
        const std::size_t got = source->ReadAt(position, dest, count);
        position += got;
        return static_cast<std::uint32_t>(got);
    }
};

#endif
