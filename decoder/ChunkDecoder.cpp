#include "decoder/ChunkDecoder.h"

#include <cstring>
#include <new>

#include "TiffViewCodes.h"

CChunkDecoder::CChunkDecoder(std::uint32_t rowsPerChunk) : RowsPerChunk(rowsPerChunk == 0 ? 1 : rowsPerChunk) {}

CChunkDecoder::~CChunkDecoder() = default;

void CChunkDecoder::Reset() {
    Size = Pos = 0;
    DamagedFrom = SIZE_MAX;
    DeliveredFault = 0;
    Started = false;
}

void CChunkDecoder::SetInvert(std::int32_t invert) { InvertMask = invert == 1 ? 0xFF : 0; }

int CChunkDecoder::SetWidth(std::uint32_t width) {
    Out.reset();
    Capacity = NeedBytes = 0;
    Reset();
    RowBytes = static_cast<std::uint32_t>((std::uint64_t{width} + 7) / 8);
    WidthPixels = width;
    const std::uint64_t need = std::uint64_t{RowBytes} * RowsPerChunk;
    if (need > MaxChunkBytes) return 0;
    NeedBytes = static_cast<std::size_t>(need);
    // Left uninitialised: only bytes a decoding wrote are ever delivered,
    // and pages of a large strip cost nothing until they are.
    Out.reset(new (std::nothrow) std::uint8_t[NeedBytes + Slack]);
    if (!Out) return 0;
    Capacity = NeedBytes + Slack;
    return Prepare() ? 1 : 0;
}

int CChunkDecoder::Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                          std::uint32_t /*wanted*/, std::uint32_t& produced) {
    consumed = produced = 0;
    if (Started || !Out) return 1;
    Started = true;
    std::size_t damaged = SIZE_MAX;
    const std::size_t decoded = DecodeChunk(input, inputLength, Out.get(), Capacity, damaged);
    // One byte past the rows is enough to tell that the chunk holds more.
    Size = decoded < NeedBytes + 1 ? decoded : NeedBytes + 1;
    DamagedFrom = damaged;
    consumed = inputLength;
    produced = static_cast<std::uint32_t>(Size);
    return 1;
}

std::uint32_t CChunkDecoder::GetLine(std::uint8_t* line) {
    const std::size_t left = Size - Pos;
    const std::uint32_t n = left < RowBytes ? static_cast<std::uint32_t>(left) : RowBytes;
    const std::uint8_t* src = Out.get() + Pos;
    if (InvertMask != 0) {
        for (std::uint32_t i = 0; i < n; ++i) line[i] = static_cast<std::uint8_t>(~src[i]);
    } else if (n != 0) {
        std::memcpy(line, src, n);
    }
    DeliveredFault = DamagedFrom < Pos + RowBytes ? TV_ERR_LINE_DAMAGED : 0;
    Pos += n;
    return n;
}

void CChunkDecoder::Discard(std::uint32_t count) {
    const std::size_t held = Size - Pos;
    Size -= count < held ? count : held;
}
