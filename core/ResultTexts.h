// Names of the result codes, beside their texts (TiffViewCodes.h).
#ifndef TIFFVIEW_CORE_RESULTTEXTS_H
#define TIFFVIEW_CORE_RESULTTEXTS_H

#include <cstdint>

#include "TiffViewCodes.h"

namespace tvcore {

// The constant's name of a result code ("TV_ERR_TAG_MISSING"), looked up
// after masking off the context bits; "unknown" for values the library
// never produces.
const char* CodeName(std::uint32_t code);

}  // namespace tvcore

#endif
