#include "decoder/TiffDecoder.h"

CTiffDecoder::~CTiffDecoder() = default;
