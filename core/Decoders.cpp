#include "core/Decoders.h"

#include "decoder/LzwDecoder.h"
#include "decoder/PackBitsDecoder.h"
#include "fax/FaxDecoder.h"
#include "fax/FaxLines.h"

namespace tvcore {

namespace {

constexpr std::uint32_t kCompressionPackBits = 32773;

std::unique_ptr<CTiffDecoder> MakeStrict(const Coding& coding) {
    switch (coding.compression) {
    case 3:
    case 4:
        return std::make_unique<CFaxDecoder>(coding.compression, coding.fillOrder, coding.rowsPerStrip);
    case 5:
        return std::make_unique<CLzwDecoder>();
    default:
        return nullptr;
    }
}

std::unique_ptr<CTiffDecoder> MakeLenient(const Coding& coding) {
    switch (coding.compression) {
    case 2:
    case 3:
    case 4:
        // The fax codings follow libtiff on irregular and damaged data,
        // which needs the whole chunk at hand; the line engine hands it.
        return std::make_unique<CFaxLines>(coding.compression, (coding.t4Options & 1u) != 0);
    case 5:
        return std::make_unique<CLzwDecoder>();
    case kCompressionPackBits:
        return std::make_unique<CPackBitsDecoder>();
    default:
        return nullptr;
    }
}

}  // namespace

std::unique_ptr<CTiffDecoder> MakeDecoder(const Coding& coding, DecoderPolicy policy) {
    std::unique_ptr<CTiffDecoder> decoder = policy == DecoderPolicy::strict ? MakeStrict(coding) : MakeLenient(coding);
    if (decoder) decoder->SetInvert(coding.invert ? 1 : 0);
    return decoder;
}

}  // namespace tvcore
