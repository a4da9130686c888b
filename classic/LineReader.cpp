// Strip loading and line delivery of the strict profile.
//
// Why this is not the core's line engine: the strict profile reads a page's
// strips as one stream of decoded bytes and keeps its own account of them
// (a line may straddle two uncompressed strips; a strip that decodes short
// is credited and logged, a surplus discarded), and that account is the
// classic class's published state: its members and its diagnostic log
// report it. The core's engine reads each chunk to exactly its own rows, as
// libtiff does. Both fetch strips through the core's ChunkReader and take
// their decoder from the core's one factory.
#include <algorithm>
#include <cstring>

#include "TiffView.h"
#include "classic/Detail.h"
#include "decoder/CopyBlocks.h"
#include "decoder/TiffDecoder.h"

namespace {

// File positions are signed 32-bit numbers in the format's tradition.
constexpr std::uint32_t kLargestPosition = 0x7FFFFFFFu;

// Strip-read failures of multi-strip images carry the strip index.
constexpr std::uint32_t WithStrip(std::uint32_t code, std::uint32_t strip) {
    return code | ((strip & 0xFFFFu) << 8);
}

}  // namespace

std::uint32_t CTiffView::ReadStripData() {
    if (Complete == 1) return TV_ERR_END_OF_IMAGE;
    const std::uint32_t strip = StripsRead;
    const bool single = StripsPerImage == 1;
    const std::uint32_t context = single ? 0 : strip;
    BlockPos = 0;
    if (single) {
        StripUnpackByte = 0;
        StripByte = Length * LineByte;
    } else if (Decoder != nullptr) {
        Decoder->Reset();
    }
    BlockEnd = StripByteCounts[strip];
    // Positions the platform cannot seek to fail as seeks.
    if (StripOffsets[strip] > kLargestPosition) return WithStrip(TV_ERR_STRIP_SEEK, context);
    // The buffer is never larger than the file, so a strip that does not
    // fit cannot be read in full.
    if (BlockEnd > BlockSize) return WithStrip(TV_ERR_STRIP_READ, context);
    std::uint32_t got = 0;
    Buffer = Extra->strips.Fetch(StripOffsets[strip], BlockEnd, got);
    if (Buffer == nullptr || got < BlockEnd) return WithStrip(TV_ERR_STRIP_READ, context);
    Extra->stripCredited = false;
    if (single) {
        StripOffset = BlockEnd;
        Complete = 1;
        return TV_OK;
    }
    StripsRead = strip + 1;
    if (StripsRead == StripsPerImage) {
        Complete = 1;
        StripByte = (Length - strip * RowsPerStrip) * LineByte;
    }
    StripUnpackByte = 0;
    return TV_OK;
}

std::uint32_t CTiffView::ReadALine(unsigned char* line) {
    const std::uint32_t gate = Extra != nullptr ? Extra->lineGate : TV_ERR_FILE_HANDLE;
    if (gate != TV_OK) {
        if (gate != Detail::kCoreLines) return gate;
        // A page read with the option: the core delivers its lines.
        const std::uint32_t result = Extra->lines->ReadLine(line);
        LineCount = Extra->lines->LineIndex();
        return result;
    }
    if (LineCount >= Length) return TV_ERR_END_OF_IMAGE;
    if (Compression == 1 && LineByte < BlockEnd - BlockPos) {
        // The common case of uncompressed data: the line lies inside the
        // current strip without using it up, so no strip is due.
        CopyRowBytes(line, Buffer + BlockPos, LineByte, PhotometricInterpretation == 1);
        BlockPos += LineByte;
        ++LineCount;
        return TV_OK;
    }
    const std::uint32_t result = Compression == 1 ? ReadUncompressedLine(line) : ReadDecodedLine(line);
    if (result == TV_ERR_DECODE || (result & 0xFFu) == (TV_ERR_STRIP_SEEK & 0xFFu) ||
        (result & 0xFFu) == (TV_ERR_STRIP_READ & 0xFFu)) {
        // The reading position is lost; every later call reports the same.
        Extra->lineGate = result;
    }
    return result;
}

// Loads strips until unused bytes are at hand or the image is complete;
// empty strips are passed over.
std::uint32_t CTiffView::LoadStripsWhileUsedUp() {
    while (BlockPos >= BlockEnd && Complete == 0) {
        const std::uint32_t result = ReadStripData();
        if (result != TV_OK) return result;
    }
    return TV_OK;
}

// Uncompressed strips are one continuous run of lines; a line may straddle
// two strips. The next strip is loaded as soon as the current one is used up,
// so its failure is reported by the line that used it up.
std::uint32_t CTiffView::ReadUncompressedLine(unsigned char* line) {
    const bool invert = PhotometricInterpretation == 1;
    std::uint32_t filled = 0;
    for (;;) {
        const std::uint32_t result = LoadStripsWhileUsedUp();
        if (result != TV_OK) return result;
        if (filled == LineByte) break;
        if (BlockPos >= BlockEnd) {
            // The strips hold fewer bytes than the image's lines need.
            std::memset(line + filled, 0, LineByte - filled);
            ++LineCount;
            return TV_ERR_LINE_SHORT;
        }
        const std::uint32_t count = std::min(LineByte - filled, BlockEnd - BlockPos);
        CopyRowBytes(line + filled, Buffer + BlockPos, count, invert);
        filled += count;
        BlockPos += count;
    }
    ++LineCount;
    return TV_OK;
}

std::uint32_t CTiffView::ReadDecodedLine(unsigned char* line) {
    std::uint32_t lineResult = TV_OK;
    while (BufferedByte < LineByte) {
        const std::uint32_t available = BlockEnd - BlockPos;
        std::uint32_t consumed = 0;
        std::uint32_t produced = 0;
        if (Decoder->Decode(Buffer + BlockPos, available, consumed, LineByte - BufferedByte, produced) == 0 ||
            consumed > available) {
            return TV_ERR_DECODE;
        }
        UnpackedByte += produced;
        StripUnpackByte += produced;
        BufferedByte += produced;
        BlockPos += consumed;
        if (BlockPos < BlockEnd) break;

        // The strip's input is used up: it must have yielded exactly its rows.
        if (StripUnpackByte == StripByte || Extra->stripCredited) {
            if (Complete == 1) break;
            const std::uint32_t result = ReadStripData();
            if (result != TV_OK) return result;
            continue;
        }
        LogError();
        lineResult = ErrorID;
        if (UnpackDiff < 0) {
            // The missing bytes are credited, not decoded: the next lines are
            // delivered zero-filled from them.
            BufferedByte += static_cast<std::uint32_t>(-static_cast<std::int64_t>(UnpackDiff));
            Extra->stripCredited = true;
            break;
        }
        const std::uint32_t surplus = static_cast<std::uint32_t>(UnpackDiff);
        // A strip can overshoot by more than is still undelivered (the lines
        // already taken from it); the count of held bytes never goes below 0.
        BufferedByte = BufferedByte > surplus ? BufferedByte - surplus : 0;
        Decoder->Discard(surplus);
        if (Complete == 1) break;
        const std::uint32_t result = ReadStripData();
        if (result != TV_OK) return result;
        lineResult = TV_OK;
    }
    const std::uint32_t delivered = Decoder->GetLine(line);
    if (delivered < LineByte) {
        std::memset(line + delivered, 0, LineByte - delivered);
        if (lineResult == TV_OK) lineResult = TV_ERR_LINE_SHORT;
    }
    if (lineResult == TV_OK) lineResult = Decoder->LineFault();
    BufferedByte = BufferedByte > LineByte ? BufferedByte - LineByte : 0;
    ++LineCount;
    return lineResult;
}

void CTiffView::LogError() {
    LogPending = 1;
    CurStrip = StripsRead > 0 ? StripsRead - 1 : 0;
    UnuseByte = BufferedByte;
    CurLine = LineCount;
    UnpackDiff = static_cast<std::int32_t>(StripUnpackByte - StripByte);
    ErrorID = UnpackDiff < 0 ? TV_ERR_STRIP_SHORT : TV_ERR_STRIP_LONG;
}
