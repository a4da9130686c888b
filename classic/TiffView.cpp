// Reader object: construction, copying, opening and closing.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "TiffView.h"
#include "classic/Detail.h"
#include "core/Decoders.h"
#include "decoder/TiffDecoder.h"

namespace {

constexpr std::size_t kMaxFileName = 260;

}  // namespace

CTiffView::CTiffView()
    : FileHandle(-1),
      IFDSize(0),
      StripsPerImage(0),
      RowsPerStrip(0),
      Decoder(nullptr),
      Buffer(nullptr),
      Complete(0),
      LogPending(0),
      CurStrip(0),
      CurLine(0),
      UnuseByte(0),
      UnpackDiff(0),
      ErrorID(0),
      // Constructing a reader never throws: without its detail every
      // opening fails with TV_ERR_NO_MEMORY.
      Extra(new (std::nothrow) Detail()) {
    std::memset(FileName, 0, sizeof FileName);
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
    delete Extra;
}

bool CTiffView::IsOpen() const { return Extra != nullptr && Extra->source != nullptr; }

// Member-wise copy, except that the open file and the decoder stay with
// their owner: the copy is closed and takes its own tables.
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
    // The copy is closed: opening it reads its strips for itself.
    Buffer = nullptr;
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
    // Not open, so not readable: OpenFile(nullptr) starts the image again.
    FileHandle = -1;
    Decoder = nullptr;
    if (Extra != nullptr && other.Extra != nullptr) {
        Extra->options = other.Extra->options;
        Extra->selectedPage = other.Extra->selectedPage;
        Extra->pageCount = other.Extra->pageCount;
        Extra->pageIndex = other.Extra->pageIndex;
        Extra->orientation = other.Extra->orientation;
        Extra->tileWidth = other.Extra->tileWidth;
        Extra->tileLength = other.Extra->tileLength;
        Extra->logEnabled = other.Extra->logEnabled;
        Extra->logDirectory = other.Extra->logDirectory;
    }
}

std::uint32_t CTiffView::ParseFile(const char* fileName, int keepOpen) {
    if (IsOpen()) return TV_ERR_FILE_HANDLE;
    if (fileName != nullptr) {
        const std::size_t length = std::strlen(fileName);
        if (length > kMaxFileName) return TV_ERR_PATH_LENGTH;
        std::memcpy(FileName, fileName, length + 1);
    }
    if (FileName[0] == '\0') return TV_ERR_PATH_LENGTH;
    if (Extra == nullptr) return TV_ERR_NO_MEMORY;
    if (!Extra->AnyBilevel() && Extra->selectedPage != 0) return TV_ERR_PAGE_OPTION;

    Extra->lineGate = TV_ERR_FILE_HANDLE;
    Extra->pageCount = 0;
    int error = 0;
    Extra->owned = tvcore::OpenPath(FileName, error);
    if (!Extra->owned) return error == ENOMEM ? TV_ERR_NO_MEMORY : TV_ERR_FILE_OPEN;
    Extra->source = Extra->owned.get();
    Extra->position = 0;
    FileHandle = Extra->source->Descriptor();
    return ParseOpenFile(keepOpen);
}

std::uint32_t CTiffView::OpenSource(tvcore::Source& source) {
    if (IsOpen()) return TV_ERR_FILE_HANDLE;
    if (Extra == nullptr) return TV_ERR_NO_MEMORY;
    if (!Extra->AnyBilevel() && Extra->selectedPage != 0) return TV_ERR_PAGE_OPTION;
    // The source's name stands for the file name where it fits, so that
    // the diagnostic log names what it describes.
    const std::string& name = source.Name();
    const std::size_t kept = name.size() <= kMaxFileName ? name.size() : 0;
    std::memcpy(FileName, name.data(), kept);
    FileName[kept] = '\0';
    Extra->lineGate = TV_ERR_FILE_HANDLE;
    Extra->pageCount = 0;
    Extra->source = &source;
    Extra->position = 0;
    FileHandle = source.Descriptor();
    const std::uint32_t result = ParseOpenFile(1);
    return result != TV_OK ? result : StartReading();
}

// Reads and checks the directories of the source just opened.
std::uint32_t CTiffView::ParseOpenFile(int keepOpen) {
    const bool anyBilevel = Extra->AnyBilevel();
    std::uint32_t result;
    try {
        result = anyBilevel ? ReadAnyBilevelPage() : ReadFileHead();
    } catch (const std::bad_alloc&) {
        result = TV_ERR_NO_MEMORY;
    }
    if (result != TV_OK) {
        Extra->pageCount = 0;
        CloseFile();
        return result;
    }
    if (!anyBilevel) {
        Extra->pageIndex = 0;
        Extra->orientation = ReadOrientation();
        Extra->tileWidth = Extra->tileLength = 0;
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
    tvcore::Coding coding;
    coding.compression = Compression;
    coding.fillOrder = FillOrder;
    coding.rowsPerStrip = RowsPerStrip;
    coding.invert = PhotometricInterpretation == 1;
    try {
        Decoder = tvcore::MakeDecoder(coding, tvcore::DecoderPolicy::strict).release();
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
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
        Extra->lineGate = Extra->lines ? Detail::kCoreLines : TV_OK;
    } else {
        Extra->pageCount = 0;
    }
    return result;
}

// Sizes the strip reader, readies the decoder, clears the counters and the
// fault record, and loads the first strip; with the option, the core's line
// engine takes the page instead.
std::uint32_t CTiffView::PrepareReading() {
    CloseBuffer();
    if (Extra->AnyBilevel()) {
        LineCount = 0;
        LogPending = 0;
        try {
            Extra->lines.reset(new tvcore::LineEngine());
        } catch (const std::bad_alloc&) {
            return TV_ERR_NO_MEMORY;
        }
        return Extra->lines->Open(*Extra->source, Extra->layout, Extra->MapFile());
    }
    PackedByte = 0;
    MaxStripByte = 0;
    for (std::uint32_t count : StripByteCounts) {
        PackedByte += count;
        MaxStripByte = std::max(MaxStripByte, count);
    }
    // A strip larger than the whole file can never be read in full; its read
    // fails when its turn comes, so it does not get to size the buffer.
    BlockSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(MaxStripByte, Extra->source->Size()));
    if (!Extra->strips.Open(*Extra->source, BlockSize, Extra->MapFile())) return TV_ERR_NO_MEMORY;
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
    return ReadStripData();
}

void CTiffView::CloseFile() {
    if (Extra == nullptr) return;
    if (LogPending && !Extra->logEnabled) LogPending = 0;
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
    // The strips are read from the source: they go before it does.
    CloseBuffer();
    Extra->lines.reset();
    Extra->source = nullptr;
    Extra->owned.reset();
    FileHandle = -1;
    delete Decoder;
    Decoder = nullptr;
    Extra->lineGate = TV_ERR_FILE_HANDLE;
}

void CTiffView::CloseBuffer() {
    if (Extra != nullptr) Extra->strips.Close();
    Buffer = nullptr;
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

void CTiffView::SetOptions(std::uint32_t options) {
    if (Extra != nullptr) Extra->options = options;
}

void CTiffView::SelectPage(std::uint32_t page) {
    if (Extra != nullptr) Extra->selectedPage = page;
}

std::uint32_t CTiffView::GetPageCount() { return Extra != nullptr ? Extra->pageCount : 0; }

void CTiffView::GetPageInfo(TiffPageInfo_t* info) {
    const bool tiled = Extra != nullptr && Extra->tileWidth != 0;
    info->PageCount = GetPageCount();
    info->PageIndex = Extra != nullptr ? Extra->pageIndex : 0;
    info->ResolutionUnit = ResolutionUnit;
    info->FillOrder = FillOrder;
    info->Orientation = Extra != nullptr ? Extra->orientation : 1;
    info->Tiled = tiled ? 1 : 0;
    info->T4Options = T4Options;
    info->T6Options = T6Options;
    info->RowsPerStrip = tiled ? 0 : RowsPerStrip;
    info->TileWidth = tiled ? Extra->tileWidth : 0;
    info->TileLength = tiled ? Extra->tileLength : 0;
    info->ChunkCount = static_cast<std::uint32_t>(StripOffsets.size());
    info->ChunkOffsets = StripOffsets.empty() ? nullptr : StripOffsets.data();
    info->ChunkByteCounts = StripByteCounts.empty() ? nullptr : StripByteCounts.data();
}

void CTiffView::SetLogDirectory(const char* directory) {
    if (Extra == nullptr) return;
    try {
        Extra->logDirectory = directory != nullptr ? directory : "";
    } catch (const std::bad_alloc&) {
        Extra->logDirectory.clear();
    }
}

void CTiffView::SetLogEnabled(int enabled) {
    if (Extra != nullptr) Extra->logEnabled = enabled != 0;
}

extern "C" void TiffView_GetVersion(Version_t* version) {
    version->Byte[0] = 1;
    version->Byte[1] = 1;
    version->Byte[2] = 1;
    version->Byte[3] = 3;
}
