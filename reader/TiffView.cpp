// Reader object: construction, copying, opening and closing.
#include <algorithm>
#include <cstring>
#include <new>

#include "TiffView.h"
#include "decoder/LzwDecoder.h"
#include "fax/FaxDecoder.h"
#include "platform/File.h"
#include "reader/PageLines.h"
#include "reader/StripWindow.h"

namespace {

constexpr std::size_t kMaxFileName = 260;

}  // namespace

CTiffView::CTiffView()
    : FileHandle(-1),
      IFDSize(0),
      StripsPerImage(0),
      RowsPerStrip(0),
      Decoder(nullptr),
      Complete(0),
      LogPending(0),
      CurStrip(0),
      CurLine(0),
      UnuseByte(0),
      UnpackDiff(0),
      ErrorID(0),
      Reading(0),
      ReadFault(TV_OK),
      StripCredited(0),
      Options(0),
      SelectedPage(0),
      PageCount(0),
      PageIndex(0),
      Orientation(1),
      PageInvert(0),
      TileWidth(0),
      TileLength(0),
      PageLines(nullptr),
      LogEnabled(1) {
    std::memset(FileName, 0, sizeof FileName);
    Block = nullptr;
    // The remaining members are written before they are read; they are
    // zeroed anyway so that a copy of a fresh reader copies defined values.
    IFDOffset = 0;
    IFDNum = 0;
    Width = Length = Compression = 0;
    Intel = PhotometricInterpretation = 0;
    XResolution = YResolution = 0.0;
    ResolutionUnit = FillOrder = PlanarConfiguration = Predictor = 0;
    T4Options = T6Options = 0;
    LineByte = StripByte = PackedByte = MaxStripByte = BlockSize = 0;
    StripsRead = StripOffset = LineCount = BufferedByte = UnpackedByte = 0;
    BlockPos = StripUnpackByte = BlockEnd = 0;
}

CTiffView::CTiffView(const CTiffView& other) : CTiffView() { CopyFrom(other); }

CTiffView& CTiffView::operator=(const CTiffView& other) {
    if (this != &other) {
        CloseFile();
        CopyFrom(other);
    }
    return *this;
}

CTiffView::~CTiffView() {
    CloseFile();
    CloseBuffer();
    IFDList.clear();
    IFDSize = 0;
}

// Member-wise copy, except that the open file and the decoder stay with
// their owner: the copy is closed and takes its own tables and buffer.
void CTiffView::CopyFrom(const CTiffView& other) {
    std::memcpy(FileName, other.FileName, sizeof FileName);
    IFDOffset = other.IFDOffset;
    IFDNum = other.IFDNum;
    IFDSize = other.IFDSize;
    IFDList = other.IFDList;
    Width = other.Width;
    Length = other.Length;
    Compression = other.Compression;
    Intel = other.Intel;
    PhotometricInterpretation = other.PhotometricInterpretation;
    XResolution = other.XResolution;
    YResolution = other.YResolution;
    ResolutionUnit = other.ResolutionUnit;
    FillOrder = other.FillOrder;
    PlanarConfiguration = other.PlanarConfiguration;
    Predictor = other.Predictor;
    T4Options = other.T4Options;
    T6Options = other.T6Options;
    StripsPerImage = other.StripsPerImage;
    RowsPerStrip = other.RowsPerStrip;
    StripOffsets = other.StripOffsets;
    StripByteCounts = other.StripByteCounts;
    LineByte = other.LineByte;
    StripByte = other.StripByte;
    PackedByte = other.PackedByte;
    MaxStripByte = other.MaxStripByte;
    // The copy is closed: opening it sizes a window of its own.
    Window.reset();
    Block = nullptr;
    BlockSize = other.BlockSize;
    StripsRead = other.StripsRead;
    StripOffset = other.StripOffset;
    Complete = other.Complete;
    LineCount = other.LineCount;
    BufferedByte = other.BufferedByte;
    UnpackedByte = other.UnpackedByte;
    BlockPos = other.BlockPos;
    StripUnpackByte = other.StripUnpackByte;
    BlockEnd = other.BlockEnd;
    LogPending = other.LogPending;
    CurStrip = other.CurStrip;
    CurLine = other.CurLine;
    UnuseByte = other.UnuseByte;
    UnpackDiff = other.UnpackDiff;
    ErrorID = other.ErrorID;
    Options = other.Options;
    SelectedPage = other.SelectedPage;
    PageCount = other.PageCount;
    PageIndex = other.PageIndex;
    Orientation = other.Orientation;
    PageInvert = other.PageInvert;
    TileWidth = other.TileWidth;
    TileLength = other.TileLength;
    LogEnabled = other.LogEnabled;
    LogDirectory = other.LogDirectory;
    // Not open, so not readable: OpenFile(nullptr) starts the image again.
    FileHandle = -1;
    Decoder = nullptr;
    PageLines = nullptr;
    Reading = 0;
    ReadFault = TV_OK;
    StripCredited = 0;
}

std::uint32_t CTiffView::ParseFile(const char* fileName, int keepOpen) {
    if (FileHandle != -1) return TV_ERR_FILE_HANDLE;
    if (fileName != nullptr) {
        const std::size_t length = std::strlen(fileName);
        if (length > kMaxFileName) return TV_ERR_PATH_LENGTH;
        std::memcpy(FileName, fileName, length + 1);
    }
    if (FileName[0] == '\0') return TV_ERR_PATH_LENGTH;
    const bool anyBilevel = (Options & TV_OPTION_ANY_BILEVEL) != 0;
    if (!anyBilevel && SelectedPage != 0) return TV_ERR_PAGE_OPTION;

    Reading = 0;
    PageCount = 0;
    FileHandle = tvplatform::OpenRead(FileName);
    if (FileHandle == -1) return TV_ERR_FILE_OPEN;
    return ParseOpenFile(keepOpen);
}

// Reads and checks the directories of the file open in FileHandle.
std::uint32_t CTiffView::ParseOpenFile(int keepOpen) {
    const bool anyBilevel = (Options & TV_OPTION_ANY_BILEVEL) != 0;
    std::uint32_t result;
    try {
        result = anyBilevel ? ReadPageHead() : ReadFileHead();
    } catch (const std::bad_alloc&) {
        result = TV_ERR_NO_MEMORY;
    }
    if (result != TV_OK) {
        PageCount = 0;
        CloseFile();
        return result;
    }
    if (!anyBilevel) {
        PageIndex = 0;
        Orientation = ReadOrientation();
        PageInvert = PhotometricInterpretation == 1 ? 1 : 0;
        TileWidth = TileLength = 0;
    }
    if (keepOpen != 1) {
        CloseFile();
        return TV_OK;
    }
    // Pages read with the option make their decoder when they are opened.
    result = anyBilevel ? TV_OK : CreateDecoder();
    if (result != TV_OK) CloseFile();
    return result;
}

// The decoder the compression asks for, told whether to complement its
// output; uncompressed images have none.
std::uint32_t CTiffView::CreateDecoder() {
    delete Decoder;
    Decoder = nullptr;
    try {
        if (Compression == 3 || Compression == 4) {
            Decoder = new CFaxDecoder(Compression, FillOrder, RowsPerStrip);
        } else if (Compression == 5) {
            Decoder = new CLzwDecoder();
        }
    } catch (const std::bad_alloc&) {
        Decoder = nullptr;
        return TV_ERR_NO_MEMORY;
    }
    if (Decoder != nullptr) Decoder->SetInvert(PhotometricInterpretation == 1 ? 1 : 0);
    return TV_OK;
}

std::uint32_t CTiffView::OpenFile(const char* fileName) {
    const std::uint32_t result = ParseFile(fileName, 1);
    if (result != TV_OK) return result;
    return StartReading();
}

std::uint32_t CTiffView::StartReading() {
    const std::uint32_t result = PrepareReading();
    if (result == TV_OK) {
        Reading = 1;
    } else {
        PageCount = 0;
    }
    return result;
}

// Sizes the strip buffer, readies the decoder, clears the counters and the
// fault record, and loads the first strip.
std::uint32_t CTiffView::PrepareReading() {
    CloseBuffer();
    if ((Options & TV_OPTION_ANY_BILEVEL) != 0) return PreparePageLines();
    PackedByte = 0;
    MaxStripByte = 0;
    for (std::uint32_t count : StripByteCounts) {
        PackedByte += count;
        MaxStripByte = std::max(MaxStripByte, count);
    }
    // A strip larger than the whole file can never be read in full; its read
    // fails when its turn comes, so it does not get to size the buffer.
    const std::uint64_t fileSize = tvplatform::FileSize(FileHandle);
    BlockSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(MaxStripByte, fileSize));
    Window.reset(new (std::nothrow) CStripWindow());
    if (!Window) return TV_ERR_NO_MEMORY;
    Window->ViewFile(FileHandle, fileSize, (Options & TV_OPTION_MAP_FILE) != 0);
    if (!Window->Reserve(BlockSize, fileSize)) return TV_ERR_NO_MEMORY;
    if (Decoder != nullptr) {
        if (Decoder->SetWidth(Width) == 0) return TV_ERR_NO_MEMORY;
        Decoder->Reset();
    }
    StripsRead = 0;
    StripOffset = 0;
    Complete = 0;
    LineCount = 0;
    BufferedByte = 0;
    UnpackedByte = Compression == 1 ? PackedByte : 0;
    BlockPos = 0;
    BlockEnd = 0;
    StripUnpackByte = 0;
    LogPending = 0;
    CurStrip = 0;
    CurLine = 0;
    UnuseByte = 0;
    UnpackDiff = 0;
    ErrorID = 0;
    ReadFault = TV_OK;
    return ReadStripData();
}

void CTiffView::CloseFile() {
    if (LogPending && !LogEnabled) LogPending = 0;
    if (LogPending) {
        try {
            std::string path;
            GetLogPath(path);
            LogFile(path.c_str());
        } catch (...) {
            // The log is best effort; closing must go on whatever happens.
        }
        LogPending = 0;
    }
    // The strips' window may view the file: it goes before the file does.
    CloseBuffer();
    if (FileHandle != -1) {
        tvplatform::CloseHandle(FileHandle);
        FileHandle = -1;
    }
    delete Decoder;
    Decoder = nullptr;
    delete PageLines;
    PageLines = nullptr;
    Reading = 0;
}

void CTiffView::CloseBuffer() {
    Window.reset();
    Block = nullptr;
}

char* CTiffView::GetImageFileName() { return FileName; }

void CTiffView::GetImageInfo(TiffInfo_t* info) {
    info->Width = Width;
    info->Length = Length;
    info->Compression = Compression;
    info->Intel = Intel;
    info->PhotometricInterpretation = PhotometricInterpretation;
    info->XResolution = XResolution;
    info->YResolution = YResolution;
}

// Lines of a page read with the option: strips or tiles, each yielding its
// own rows. The strict reader's counters and fault record are not used.
std::uint32_t CTiffView::PreparePageLines() {
    LineCount = 0;
    LogPending = 0;
    ReadFault = TV_OK;
    PageGeometry geometry;
    geometry.width = Width;
    geometry.length = Length;
    geometry.compression = Compression;
    geometry.fillOrder = FillOrder;
    geometry.t4Options = T4Options;
    geometry.invert = PageInvert != 0;
    geometry.mapFile = (Options & TV_OPTION_MAP_FILE) != 0;
    geometry.chunkWidth = TileWidth != 0 ? TileWidth : Width;
    geometry.chunkRows = RowsPerStrip;
    geometry.chunksAcross = TileWidth != 0 ? (Width - 1) / TileWidth + 1 : 1;
    geometry.offsets = &StripOffsets;
    geometry.byteCounts = &StripByteCounts;
    try {
        PageLines = new CPageLines();
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
    return PageLines->Open(FileHandle, geometry);
}

void CTiffView::SetOptions(std::uint32_t options) { Options = options; }

void CTiffView::SelectPage(std::uint32_t page) { SelectedPage = page; }

std::uint32_t CTiffView::GetPageCount() { return PageCount; }

void CTiffView::GetPageInfo(TiffPageInfo_t* info) {
    info->PageCount = PageCount;
    info->PageIndex = PageIndex;
    info->ResolutionUnit = ResolutionUnit;
    info->FillOrder = FillOrder;
    info->Orientation = Orientation;
    info->Tiled = TileWidth != 0 ? 1 : 0;
    info->T4Options = T4Options;
    info->T6Options = T6Options;
    info->RowsPerStrip = TileWidth != 0 ? 0 : RowsPerStrip;
    info->TileWidth = TileWidth;
    info->TileLength = TileLength;
    info->ChunkCount = static_cast<std::uint32_t>(StripOffsets.size());
    info->ChunkOffsets = StripOffsets.empty() ? nullptr : StripOffsets.data();
    info->ChunkByteCounts = StripByteCounts.empty() ? nullptr : StripByteCounts.data();
}

void CTiffView::SetLogDirectory(const char* directory) {
    LogDirectory = directory != nullptr ? directory : "";
}

void CTiffView::SetLogEnabled(int enabled) { LogEnabled = enabled != 0 ? 1 : 0; }
