#include "core/Decoders.h"

#if defined(TIFFVIEW_WITH_DEFLATE) && TIFFVIEW_WITH_DEFLATE
#include "decoder/DeflateDecoder.h"
#endif
#if defined(TIFFVIEW_WITH_JBIG) && TIFFVIEW_WITH_JBIG
#include "decoder/JbigDecoder.h"
#endif
#include "decoder/LzwDecoder.h"
#include "decoder/PackBitsDecoder.h"
#include "fax/FaxDecoder.h"
#include "fax/FaxLines.h"

namespace tvcore {

namespace {

[[maybe_unused]] constexpr std::uint32_t kCompressionDeflate = 8;
constexpr std::uint32_t kCompressionPackBits = 32773;
[[maybe_unused]] constexpr std::uint32_t kCompressionOldDeflate = 32946;
constexpr std::uint32_t kCompressionJbig = 34661;

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
    case 4: {
        // The fax codings follow libtiff on irregular and damaged data,
        // which needs the whole chunk at hand; the line engine hands it.
        // Bit 1 of T4Options (Group 3) or T6Options (Group 4) allows
        // uncompressed mode, which libtiff cannot read.
        const std::uint32_t options = coding.compression == 4 ? coding.t6Options : coding.t4Options;
        auto fax = std::make_unique<CFaxLines>(coding.compression, (coding.t4Options & 1u) != 0,
                                               coding.compression != 2 && (options & 2u) != 0);
        fax->SetRowsByteAligned(coding.faxRowsAligned);
        return fax;
    }
    case 5:
        return std::make_unique<CLzwDecoder>();
    case kCompressionPackBits:
        return std::make_unique<CPackBitsDecoder>();
#if defined(TIFFVIEW_WITH_DEFLATE) && TIFFVIEW_WITH_DEFLATE
    case kCompressionDeflate:
    case kCompressionOldDeflate:
        return std::make_unique<CDeflateDecoder>(coding.rowsPerStrip);
#endif
#if defined(TIFFVIEW_WITH_JBIG) && TIFFVIEW_WITH_JBIG
    case kCompressionJbig:
        return std::make_unique<CJbigDecoder>(coding.rowsPerStrip, coding.fillOrder);
#endif
    default:
        return nullptr;
    }
}

}  // namespace

bool ReadsFillOrderItself(std::uint32_t compression) { return compression == kCompressionJbig; }

std::unique_ptr<CTiffDecoder> MakeDecoder(const Coding& coding, DecoderPolicy policy) {
    std::unique_ptr<CTiffDecoder> decoder = policy == DecoderPolicy::strict ? MakeStrict(coding) : MakeLenient(coding);
    if (decoder) decoder->SetInvert(coding.invert ? 1 : 0);
    return decoder;
}

}  // namespace tvcore
