// TIFF LZW (Compression 5) strip decoder.
#ifndef TIFFVIEW_DECODER_LZWDECODER_H
#define TIFFVIEW_DECODER_LZWDECODER_H

#include "decoder/TiffDecoder.h"

class CLzwDecoder : public CTiffDecoder {
public:
    CLzwDecoder();
    ~CLzwDecoder() override;
    void Reset() override;
    void SetInvert(std::int32_t invert) override;
    int SetWidth(std::uint32_t width) override;
    int Decode(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               std::uint32_t wanted, std::uint32_t& produced) override;
    std::uint32_t GetLine(std::uint8_t* line) override;
    void Discard(std::uint32_t count) override;
};

#endif
