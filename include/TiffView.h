// tiffview: line-by-line reader for bi-level (1 bit per pixel) TIFF images.
//
// A host creates one CTiffView per file, opens it, pulls packed lines
// ((Width + 7) / 8 bytes, first pixel in bit 7 of byte 0, 1 = black) and
// closes it. Every operation that can fail returns a 32-bit result code;
// TiffView_GetErrorString turns any code into its fixed message text.
#ifndef TIFFVIEW_TIFFVIEW_H
#define TIFFVIEW_TIFFVIEW_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TiffViewCodes.h"

// Reading options for CTiffView::SetOptions. Without any, the reader keeps
// its fax/scanner profile. TV_OPTION_ANY_BILEVEL reads every bi-level image
// libtiff reads: any page of the directory chain, TIFF's defaults for absent
// tags, SHORT or LONG tables, PackBits, tiles and FillOrder 2.
constexpr std::uint32_t TV_OPTION_ANY_BILEVEL = 0x1;
// TV_OPTION_MAP_FILE reads a file's strips through a memory mapping instead
// of copying them out with system calls: faster on large uncompressed or LZW
// strips, but if another process shortens the file while it is open, reading
// it kills the process with SIGBUS (as with any mapped file, libtiff's
// included). Without it a shortened file gives an error code. Pages read
// from memory are always read in place.
constexpr std::uint32_t TV_OPTION_MAP_FILE = 0x2;

struct TiffInfo_t {
    std::uint32_t Width;
    std::uint32_t Length;
    std::uint32_t Compression;
    std::uint16_t Intel;
    std::uint16_t PhotometricInterpretation;
    double XResolution;
    double YResolution;
};

// What GetPageInfo tells about the page parsed or opened last, beyond
// TiffInfo_t. The tables point into the reader and stay valid until it
// parses, opens, is assigned or is destroyed.
struct TiffPageInfo_t {
    std::uint32_t PageCount;        // directories in the file's main chain
    std::uint32_t PageIndex;        // the page described, from 0
    std::uint16_t ResolutionUnit;   // 1 none, 2 inch, 3 centimetre
    std::uint16_t FillOrder;        // 1 most significant bit first, 2 least
    std::uint16_t Orientation;      // 1..8 as stored; 1 when absent
    std::uint16_t Tiled;            // 1: the chunks are tiles, 0: strips
    std::uint32_t T4Options;
    std::uint32_t T6Options;
    std::uint32_t RowsPerStrip;     // strips: rows of each strip but the last
    std::uint32_t TileWidth;        // tiles only, 0 for strips
    std::uint32_t TileLength;
    std::uint32_t ChunkCount;       // strips, or tiles (row by row)
    const std::uint32_t* ChunkOffsets;
    const std::uint32_t* ChunkByteCounts;
};

union Version_t {
    std::uint8_t Byte[4];
    std::uint32_t Word;
};

extern "C" {
// Stores the library version 1.1.1.3 into the four bytes of `version`.
TIFFVIEW_API void TiffView_GetVersion(Version_t* version);
}

// One directory entry exactly as stored in the file (12 bytes).
struct TiffIFD_t {
    std::uint16_t Tag;
    std::uint16_t Type;
    std::uint32_t Count;
    unsigned char Value[4];
};
static_assert(sizeof(TiffIFD_t) == 12, "a directory entry is 12 bytes");

enum TiffIFDTag : std::uint16_t {
    Tag_ImageWidth = 256,
    Tag_ImageLength = 257,
    Tag_BitsPerSample = 258,
    Tag_Compression = 259,
    Tag_PhotometricInterpretation = 262,
    Tag_FillOrder = 266,
    Tag_Orientation = 274,
    Tag_StripOffsets = 273,
    Tag_SamplesPerPixel = 277,
    Tag_RowsPerStrip = 278,
    Tag_StripByteCounts = 279,
    Tag_XResolution = 282,
    Tag_YResolution = 283,
    Tag_PlanarConfiguration = 284,
    Tag_T4Options = 292,
    Tag_T6Options = 293,
    Tag_ResolutionUnit = 296,
    Tag_Predictor = 317,
    Tag_TileWidth = 322,
    Tag_TileLength = 323,
    Tag_TileOffsets = 324,
    Tag_TileByteCounts = 325,
};

class CTiffDecoder;
namespace tvcore {
class Source;
}

// Reader of one bi-level TIFF file at a time.
//
// Calling order: OpenFile(name), then ReadALine once per line (at most
// Length times), then CloseFile; or ParseFile(name, 0) and GetImageInfo to
// query an image without reading it. After a failed OpenFile, call
// CloseFile before opening again. The destructor closes an open file.
//
// Copies: a copy describes the same image (name, tags, strip table, fault
// record) but never shares the original's open file or decoder. A copy is
// always closed; call OpenFile(nullptr) on it to read the image again.
class TIFFVIEW_API CTiffView {
public:
    CTiffView();
    CTiffView(const CTiffView& other);
    virtual ~CTiffView();
    CTiffView& operator=(const CTiffView& other);

    // Opens `fileName` (or, when null, the name kept from the previous
    // call), reads and validates its directories. keepOpen 1 keeps the file
    // open and prepares the decoder; any other value closes it again.
    std::uint32_t ParseFile(const char* fileName, int keepOpen);
    // Parses the file and loads its first strip, ready for ReadALine.
    std::uint32_t OpenFile(const char* fileName);
    // Writes the next line, (Width + 7) / 8 bytes, into `line`.
    std::uint32_t ReadALine(unsigned char* line);
    // Writes a pending diagnostic log, closes the file, drops the decoder.
    void CloseFile();
    char* GetImageFileName();
    void GetImageInfo(TiffInfo_t* info);
    // Writes the diagnostic log of a pending strip fault to `path`.
    void LogFile(const char* path);

    // TV_OPTION_* bits for the following ParseFile/OpenFile calls; kept until
    // changed, and carried by copies.
    void SetOptions(std::uint32_t options);
    // The 0-based page the next ParseFile/OpenFile reads (0 by default).
    // Pages other than 0 need TV_OPTION_ANY_BILEVEL.
    void SelectPage(std::uint32_t page);
    // Directories in the main chain after a successful ParseFile/OpenFile;
    // 0 otherwise.
    std::uint32_t GetPageCount();
    // Describes the page parsed or opened last (zeros before that).
    void GetPageInfo(TiffPageInfo_t* info);
    // Where CloseFile writes this reader's diagnostic log: into `directory`
    // (made if missing, its parent must exist), or, when null, into
    // log/TiffParse/ beside the host executable (the default).
    void SetLogDirectory(const char* directory);
    // 0 turns this reader's diagnostic log off, anything else on (the default).
    void SetLogEnabled(int enabled);

protected:
    // Opens an image from a byte source of the library's own (a descriptor,
    // memory, a read function) instead of a file name: for the library's
    // other interfaces, whose strict profile is this class's. The source
    // must outlive the opening; its name becomes the file name when it
    // fits, as a file name would.
    std::uint32_t OpenSource(tvcore::Source& source);

private:
    struct Detail;

    std::uint32_t ReadByteOrder(unsigned char* header);
    std::uint32_t ReadFileHead();
    std::uint32_t ReadDirectoryChain();
    TiffIFD_t* FindIFD(TiffIFDTag tag);
    std::uint16_t GetU16(unsigned char* p);
    std::uint32_t GetU32(unsigned char* p);

    std::uint32_t ReadTag(TiffIFDTag tag, std::uint32_t& value);
    template <typename Member>
    std::uint32_t ReadInto(TiffIFDTag tag, Member& member);
    std::uint32_t ReadValueArray(TiffIFDTag tag, std::uint32_t offset, void* dest, std::uint32_t bytes);
    std::uint32_t ReadStripTable(TiffIFDTag tag, std::vector<std::uint32_t>& table);
    std::uint32_t ReadResolution(TiffIFDTag tag, double& member);
    std::uint32_t IFD_ImageWidth();
    std::uint32_t IFD_ImageLength();
    std::uint32_t IFD_Compression();
    std::uint32_t IFD_PhotometricInterpretation();
    std::uint32_t IFD_RowsPerStrip();
    std::uint32_t IFD_StripOffsets();
    std::uint32_t IFD_StripByteCounts();
    std::uint32_t IFD_XResolution();
    std::uint32_t IFD_YResolution();
    std::uint32_t IFD_ResolutionUnit();
    std::uint32_t IFD_SamplesPerPixel();
    std::uint32_t IFD_BitsPerSample();
    std::uint32_t IFD_FillOrder();
    std::uint32_t IFD_PlanarConfiguration();
    std::uint32_t IFD_Predictor();
    std::uint32_t IFD_T4Options();
    std::uint32_t IFD_T6Options();

    std::uint16_t ReadOrientation();
    std::uint32_t ParseOpenFile(int keepOpen);
    std::uint32_t ReadAnyBilevelPage();
    std::uint32_t CreateDecoder();
    std::uint32_t StartReading();
    std::uint32_t PrepareReading();
    std::uint32_t ReadStripData();
    std::uint32_t LoadStripsWhileUsedUp();
    std::uint32_t ReadUncompressedLine(unsigned char* line);
    std::uint32_t ReadDecodedLine(unsigned char* line);
    void LogError();
    void CloseBuffer();
    void CopyFrom(const CTiffView& other);
    bool IsOpen() const;

    void GetLogPath(std::string& path);
    void CreateSaveDir(std::string& path);

    char FileName[261];
    std::int32_t FileHandle;
    std::uint32_t IFDOffset;
    std::uint16_t IFDNum;
    std::uint16_t IFDSize;
    std::vector<TiffIFD_t> IFDList;
    std::uint32_t Width;
    std::uint32_t Length;
    std::uint32_t Compression;
    std::uint16_t Intel;
    std::uint16_t PhotometricInterpretation;
    double XResolution;
    double YResolution;
    std::uint16_t ResolutionUnit;
    std::uint16_t FillOrder;
    std::uint16_t PlanarConfiguration;
    std::uint16_t Predictor;
    std::uint32_t T4Options;
    std::uint32_t T6Options;
    std::uint32_t StripsPerImage;
    std::uint32_t RowsPerStrip;
    std::vector<std::uint32_t> StripOffsets;
    std::vector<std::uint32_t> StripByteCounts;
    CTiffDecoder* Decoder;
    std::uint32_t LineByte;
    std::uint32_t StripByte;
    std::uint32_t PackedByte;
    std::uint32_t MaxStripByte;
    const unsigned char* Buffer;  // the current strip's bytes (held by the strip reader)
    std::uint32_t BlockSize;
    std::uint32_t StripsRead;
    std::uint32_t StripOffset;
    std::int32_t Complete;
    std::uint32_t LineCount;
    std::uint32_t BufferedByte;
    std::uint32_t UnpackedByte;
    std::uint32_t BlockPos;
    std::uint32_t StripUnpackByte;
    std::uint32_t BlockEnd;
    std::int32_t LogPending;
    std::uint32_t CurStrip;
    std::uint32_t CurLine;
    std::uint32_t UnuseByte;
    std::int32_t UnpackDiff;
    std::uint32_t ErrorID;

    // Everything beyond the classic data model (the byte source and strip
    // reader, the reading options, the page read with TV_OPTION_ANY_BILEVEL,
    // the log settings), behind one pointer so that it can grow without
    // changing the class's layout.
    Detail* Extra;

    // Lets the test suite swap in a scripted decoder; not used by the library.
    friend class CTiffViewTestAccess;
};

#endif
