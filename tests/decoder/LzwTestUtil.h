// Helpers shared by the LZW decoder tests.
#ifndef TIFFVIEW_TESTS_DECODER_LZWTESTUTIL_H
#define TIFFVIEW_TESTS_DECODER_LZWTESTUTIL_H

#include <cstdint>
#include <random>
#include <vector>

#include "decoder/LzwDecoder.h"

namespace lzwtest {

using Bytes = std::vector<std::uint8_t>;

// Everything the decoder holds undelivered, one GetLine at a time.
inline Bytes Drain(CLzwDecoder& decoder) {
    Bytes out;
    // Large enough for any line the tests use; allocated once.
    static std::vector<std::uint8_t> line(1 << 20);
    for (;;) {
        const std::uint32_t n = decoder.GetLine(line.data());
        if (n == 0) return out;
        out.insert(out.end(), line.begin(), line.begin() + n);
    }
}

// Feeds `input` the way a reader would, except that the input arrives in
// pieces of 1..maxChunk bytes (0: all of it at once) and each call wants
// 1..maxWanted bytes; everything decoded is drained after each call.
// Returns false when a Decode call fails or stops making progress.
inline bool DecodeInPieces(CLzwDecoder& decoder, const Bytes& input, std::mt19937& rng, std::uint32_t maxChunk,
                           std::uint32_t maxWanted, Bytes& out) {
    std::size_t pos = 0;
    std::size_t chunkEnd = 0;
    int idle = 0;
    while (pos < input.size()) {
        if (pos == chunkEnd) {
            const std::size_t piece = maxChunk == 0 ? input.size() : 1 + rng() % maxChunk;
            chunkEnd = pos + piece < input.size() ? pos + piece : input.size();
        }
        const std::uint32_t wanted = 1 + rng() % maxWanted;
        std::uint32_t consumed = 0xDEADBEEF, produced = 0xDEADBEEF;
        const auto length = static_cast<std::uint32_t>(chunkEnd - pos);
        if (!decoder.Decode(input.data() + pos, length, consumed, wanted, produced)) return false;
        if (consumed > length) return false;
        const Bytes got = Drain(decoder);
        if (got.size() != produced) return false;
        out.insert(out.end(), got.begin(), got.end());
        pos += consumed;
        idle = consumed == 0 ? idle + 1 : 0;
        if (idle > 2) return false;
    }
    return true;
}

// The reader's loop over one strip: per line, Decode until a line's worth
// is held or the input is used up, then GetLine. Lines are concatenated.
inline bool DecodeLines(CLzwDecoder& decoder, const Bytes& input, std::uint32_t lineSize, std::size_t lines,
                        Bytes& out) {
    std::size_t pos = 0;
    std::uint32_t buffered = 0;
    Bytes line(lineSize);
    for (std::size_t y = 0; y < lines; ++y) {
        while (buffered < lineSize && pos < input.size()) {
            std::uint32_t consumed = 0, produced = 0;
            if (!decoder.Decode(input.data() + pos, static_cast<std::uint32_t>(input.size() - pos), consumed,
                                lineSize - buffered, produced))
                return false;
            pos += consumed;
            buffered += produced;
            if (pos < input.size()) break;
        }
        const std::uint32_t n = decoder.GetLine(line.data());
        if (n != (buffered < lineSize ? buffered : lineSize)) return false;
        out.insert(out.end(), line.begin(), line.begin() + n);
        buffered -= n;
    }
    return true;
}

inline Bytes RandomBytes(std::size_t n, std::mt19937& rng, unsigned alphabet = 256) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng() % alphabet);
    return b;
}

}  // namespace lzwtest

#endif
