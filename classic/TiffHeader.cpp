// TIFF header, directory chain and entry lookup.
#include <cstring>
#include <unordered_set>

#include "TiffView.h"
#include "classic/Detail.h"

namespace {

constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint32_t kEntrySize = 12;
// The pooled table is counted in 16 bits.
constexpr std::uint32_t kMaxPooledEntries = 0xFFFF;
// Every useful directory holds at least one entry, so a chain longer than
// the table can hold entries is hostile; the cap also bounds the loop guard.
constexpr std::size_t kMaxDirectories = 0xFFFF;

}  // namespace

std::uint16_t CTiffView::GetU16(unsigned char* p) {
    std::uint16_t value = Intel ? static_cast<std::uint16_t>(p[0] | (p[1] << 8))
                                : static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    // Rewritten in host order so that a second read needs no conversion.
    std::memcpy(p, &value, sizeof value);
    return value;
}

std::uint32_t CTiffView::GetU32(unsigned char* p) {
    std::uint32_t value = Intel ? (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                   std::uint32_t(p[3]) << 24)
                                : (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
                                   std::uint32_t(p[3]));
    std::memcpy(p, &value, sizeof value);
    return value;
}

TiffIFD_t* CTiffView::FindIFD(TiffIFDTag tag) {
    for (std::uint32_t i = 0; i < IFDNum; ++i) {
        if (IFDList[i].Tag == tag) return &IFDList[i];
    }
    return nullptr;
}

// Reads the 8-byte header into `header` and takes the byte order from it.
std::uint32_t CTiffView::ReadByteOrder(unsigned char* header) {
    if (Extra->Read(header, kHeaderSize) < kHeaderSize) return TV_ERR_HEADER_SHORT;
    if (header[0] == 'I' && header[1] == 'I') {
        Intel = 1;
    } else if (header[0] == 'M' && header[1] == 'M') {
        Intel = 0;
    } else {
        return TV_ERR_BYTE_ORDER;
    }
    return TV_OK;
}

std::uint32_t CTiffView::ReadFileHead() {
    unsigned char header[kHeaderSize];
    const std::uint32_t order = ReadByteOrder(header);
    if (order != TV_OK) return order;
    if (GetU16(header + 2) != 42) return TV_ERR_MAGIC;

    IFDNum = 0;
    IFDOffset = GetU32(header + 4);
    std::uint32_t result = ReadDirectoryChain();
    if (result != TV_OK) return result;
    if (IFDNum == 0) return TV_ERR_IFD_OFFSET_ZERO;

    for (std::uint32_t i = 0; i < IFDNum; ++i) {
        TiffIFD_t& entry = IFDList[i];
        entry.Tag = GetU16(reinterpret_cast<unsigned char*>(&entry.Tag));
        entry.Type = GetU16(reinterpret_cast<unsigned char*>(&entry.Type));
        entry.Count = GetU32(reinterpret_cast<unsigned char*>(&entry.Count));
    }

    using Reader = std::uint32_t (CTiffView::*)();
    static constexpr Reader kFirstReaders[] = {
        &CTiffView::IFD_ImageWidth,     &CTiffView::IFD_ImageLength,     &CTiffView::IFD_Compression,
        &CTiffView::IFD_PhotometricInterpretation, &CTiffView::IFD_RowsPerStrip, &CTiffView::IFD_StripOffsets,
        &CTiffView::IFD_StripByteCounts, &CTiffView::IFD_XResolution,    &CTiffView::IFD_YResolution,
        &CTiffView::IFD_ResolutionUnit, &CTiffView::IFD_SamplesPerPixel, &CTiffView::IFD_BitsPerSample,
    };
    for (Reader reader : kFirstReaders) {
        result = (this->*reader)();
        if (result != TV_OK) return result;
    }
    // Only WhiteIsZero and BlackIsZero are bi-level; checked before the
    // compression so that a colour image reports its photometric value.
    if (PhotometricInterpretation > 1) return TV_ERR_PHOTOMETRIC;
    if (Compression != 1 && Compression != 3 && Compression != 4 && Compression != 5) return TV_ERR_COMPRESSION;

    static constexpr Reader kLastReaders[] = {
        &CTiffView::IFD_FillOrder, &CTiffView::IFD_PlanarConfiguration, &CTiffView::IFD_Predictor,
        &CTiffView::IFD_T4Options, &CTiffView::IFD_T6Options,
    };
    for (Reader reader : kLastReaders) {
        result = (this->*reader)();
        if (result != TV_OK) return result;
    }
    return TV_OK;
}

// Follows the directory chain from IFDOffset and pools every entry in
// IFDList, first directory first. Entries stay in file byte order here.
std::uint32_t CTiffView::ReadDirectoryChain() {
    // A chain that comes back to a directory already read would never end.
    std::unordered_set<std::uint32_t> visited;
    while (IFDOffset != 0) {
        if (visited.size() >= kMaxDirectories || !visited.insert(IFDOffset).second) return TV_ERR_IFD_READ;
        if (!Extra->Seek(IFDOffset)) return TV_ERR_FILE_SHORT;

        unsigned char countBytes[2];
        if (Extra->Read(countBytes, 2) < 2) return TV_ERR_IFD_COUNT_READ;
        const std::uint32_t count = GetU16(countBytes);
        if (IFDNum + count > kMaxPooledEntries) return TV_ERR_IFD_READ;

        if (IFDNum + count > IFDSize) {
            // Grow only to what the directories have shown so far; a count
            // that the file cannot back fails on the read below.
            IFDList.resize(IFDNum + count);
            IFDSize = static_cast<std::uint16_t>(IFDNum + count);
        }
        const std::uint32_t bytes = count * kEntrySize;
        if (Extra->Read(IFDList.data() + IFDNum, bytes) < bytes) return TV_ERR_IFD_READ;
        IFDNum = static_cast<std::uint16_t>(IFDNum + count);

        unsigned char next[4];
        if (Extra->Read(next, 4) < 4) return TV_ERR_HEADER_SHORT;
        IFDOffset = GetU32(next);
    }
    Extra->pageCount = static_cast<std::uint32_t>(visited.size());
    return TV_OK;
}

// Orientation only describes the image, so it is looked up without the
// checks of the tags the reader depends on: anything but one SHORT is 1.
// Read from the stored bytes, leaving the entry as it is.
std::uint16_t CTiffView::ReadOrientation() {
    const TiffIFD_t* entry = FindIFD(Tag_Orientation);
    if (entry == nullptr || entry->Type != 3 || entry->Count != 1) return 1;
    const unsigned char* p = entry->Value;
    return static_cast<std::uint16_t>(Intel ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]));
}
