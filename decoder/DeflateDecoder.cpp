#include "decoder/DeflateDecoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <climits>
#include <new>

struct CDeflateDecoder::Zlib {
    z_stream z{};
    bool ready = false;
    ~Zlib() {
        if (ready) inflateEnd(&z);
    }
};

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
    std::size_t used = 0;
    std::size_t written = 0;
    switch (libdeflate_zlib_decompress_ex(Inflater, input, inputLength, out, room, &used, &written)) {
    case LIBDEFLATE_SUCCESS:
        return written;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        // The stream goes on past the room, which holds every row and more:
        // what did not fit began past the rows (the room has space past them
        // for the longest piece libdeflate writes whole).
        return room;
    default:
        return InflateRows(input, inputLength, out, damagedFrom);
    }
}

std::size_t CDeflateDecoder::InflateRows(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* out,
                                         std::size_t& damagedFrom) {
    if (!Stream) {
        Stream.reset(new (std::nothrow) Zlib);
        if (!Stream) return 0;
    }
    z_stream& z = Stream->z;
    if (!Stream->ready) {
        if (inflateInit(&z) != Z_OK) return 0;
        Stream->ready = true;
    } else if (inflateReset(&z) != Z_OK) {
        return 0;
    }
    const std::size_t rowBytes = Rows() != 0 ? Need() / Rows() : 0;
    if (rowBytes == 0 || rowBytes > UINT_MAX) return 0;
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = static_cast<uInt>(inputLength < UINT_MAX ? inputLength : UINT_MAX);
    for (std::size_t y = 0; y < Rows(); ++y) {
        z.next_out = out + y * rowBytes;
        z.avail_out = static_cast<uInt>(rowBytes);
        bool failed = false;
        do {
            const int state = inflate(&z, Z_PARTIAL_FLUSH);
            if (state == Z_STREAM_END) break;
            if (state != Z_OK) {
                failed = true;
                break;
            }
        } while (z.avail_out > 0);
        const std::size_t filled = rowBytes - z.avail_out;
        if (failed && filled == rowBytes) {
            damagedFrom = y * rowBytes;
            return (y + 1) * rowBytes;
        }
        if (failed || filled < rowBytes) return y * rowBytes + filled;
    }
    return Need();
}
