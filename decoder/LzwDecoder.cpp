// Placeholder until the LZW decoder lands: refuses every strip.
#include "decoder/LzwDecoder.h"

CLzwDecoder::CLzwDecoder() = default;
CLzwDecoder::~CLzwDecoder() = default;
void CLzwDecoder::Reset() {}
void CLzwDecoder::SetInvert(std::int32_t) {}
int CLzwDecoder::SetWidth(std::uint32_t) { return 1; }
int CLzwDecoder::Decode(const std::uint8_t*, std::uint32_t, std::uint32_t& consumed, std::uint32_t,
                        std::uint32_t& produced) {
    consumed = 0;
    produced = 0;
    return 0;
}
std::uint32_t CLzwDecoder::GetLine(std::uint8_t*) { return 0; }
void CLzwDecoder::Discard(std::uint32_t) {}
