#include "decoder/DeflateDecoder.h"

#include <libdeflate.h>

#include <cstring>

namespace {

// zlib's stream header: method 8 with a window of at most 32 KiB, the check
// bits, and no preset dictionary.
bool HeaderValid(const std::uint8_t* p, std::size_t length) {
    if (length < 2) return false;
    const unsigned cmf = p[0];
    const unsigned flg = p[1];
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0 && (flg & 0x20) == 0;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

CDeflateDecoder::CDeflateDecoder(std::uint32_t rowsPerChunk) : CChunkDecoder(rowsPerChunk) {}

CDeflateDecoder::~CDeflateDecoder() {
    if (Inflater != nullptr) libdeflate_free_decompressor(Inflater);
}

bool CDeflateDecoder::Prepare() {
    if (Inflater == nullptr) Inflater = libdeflate_alloc_decompressor();
    return Inflater != nullptr;
}

std::size_t CDeflateDecoder::DecodeChunk(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                                         std::size_t room, std::size_t& damagedFrom) {
    if (!HeaderValid(input, inputLength)) return 0;
    // The raw stream is inflated and its checksum judged here, as zlib
    // judges it: only once the stream's end is reached.
    const std::uint8_t* deflate = input + 2;
    const std::size_t length = inputLength - 2;
    std::size_t used = 0;
    std::size_t written = 0;
    const libdeflate_result result =
        libdeflate_deflate_decompress_ex(Inflater, deflate, length, out, room, &used, &written);
    if (result == LIBDEFLATE_SUCCESS) {
        // zlib meets the checksum only when the stream ends within the
        // rows read (it never looks past the last row it is asked for),
        // and only when all four of its bytes are there.
        if (written <= Need() && length - used >= 4 &&
            BigEndian32(deflate + used) != libdeflate_adler32(1, out, written) && written != 0) {
            damagedFrom = written - 1;
        }
        return written;
    }
    // The stream goes on past the room: every row is there.
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) return room;
    return GoodPrefix(deflate, length, out, room);
}

std::size_t CDeflateDecoder::GoodPrefix(const std::uint8_t* deflate, std::size_t length, std::uint8_t* out,
                                        std::size_t room) {
    // With room r the stream either runs out of room (it holds at least r
    // good bytes) or meets the damage; the answer turns once, from the
    // one to the other, as r grows.
    std::size_t low = 0;    // runs out of room (room 0 always does, or meets the damage at once)
    std::size_t high = room;  // meets the damage
    std::size_t used = 0;
    std::size_t written = 0;
    if (libdeflate_deflate_decompress_ex(Inflater, deflate, length, out, 0, &used, &written) !=
        LIBDEFLATE_INSUFFICIENT_SPACE) {
        return 0;
    }
    while (high - low > 1) {
        const std::size_t mid = low + (high - low) / 2;
        if (libdeflate_deflate_decompress_ex(Inflater, deflate, length, out, mid, &used, &written) ==
            LIBDEFLATE_INSUFFICIENT_SPACE) {
            low = mid;
        } else {
            high = mid;
        }
    }
    // Decoded once more with the room that meets the damage: the bytes
    // before it are as coded (exactly `high` of them when the damage is a
    // bad code; a match reaching too far back is refused only after it is
    // known to fit, so a few bytes before `high` may then be left unset). What lies past them is cleared, so that a
    // damaged chunk always reads the same.
    std::memset(out, 0, room);
    libdeflate_deflate_decompress_ex(Inflater, deflate, length, out, high, &used, &written);
    return high;
}
