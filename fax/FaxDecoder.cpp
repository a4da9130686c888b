// Placeholder until the fax decoder lands: refuses every strip.
#include "fax/FaxDecoder.h"

CFaxDecoder::CFaxDecoder(std::uint32_t, std::uint32_t, std::uint32_t) {}
CFaxDecoder::~CFaxDecoder() = default;
void CFaxDecoder::Reset() {}
void CFaxDecoder::SetInvert(std::int32_t) {}
int CFaxDecoder::SetWidth(std::uint32_t) { return 1; }
int CFaxDecoder::Decode(const std::uint8_t*, std::uint32_t, std::uint32_t& consumed, std::uint32_t,
                        std::uint32_t& produced) {
    consumed = 0;
    produced = 0;
    return 0;
}
std::uint32_t CFaxDecoder::GetLine(std::uint8_t*) { return 0; }
void CFaxDecoder::Discard(std::uint32_t) {}
