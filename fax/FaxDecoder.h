// CCITT Group 3 one-dimensional (Compression 3) and Group 4 (Compression 4)
// strip decoder.
#ifndef TIFFVIEW_FAX_FAXDECODER_H
#define TIFFVIEW_FAX_FAXDECODER_H

#include "decoder/TiffDecoder.h"

class CFaxDecoder : public CTiffDecoder {
public:
    CFaxDecoder(std::uint32_t compression, std::uint32_t fillOrder, std::uint32_t rowsPerStrip);
    ~CFaxDecoder() override;
    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;
};

#endif
