// Writers for the converted image, fed one packed line at a time (1 = black,
// first pixel in the most significant bit), so that a page is never held
// whole in memory.
#ifndef TIFFVIEW_TOOLS_IMAGEWRITER_H
#define TIFFVIEW_TOOLS_IMAGEWRITER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tvtool {

enum class ImageFormat { Pbm, Png };

struct ImageHeader {
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    // Pixel density, when known, in dots per metre (PNG keeps it).
    double xDotsPerMetre = 0;
    double yDotsPerMetre = 0;
};

class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    virtual bool Begin(std::FILE* out, const ImageHeader& header) = 0;
    // `line` holds (width + 7) / 8 bytes; bits past the width are ignored.
    virtual bool WriteLine(const std::uint8_t* line) = 0;
    virtual bool Finish() = 0;
    // Why the last call failed.
    virtual std::string Error() const = 0;
};

// Whether this build of the tool can write PNG.
bool PngAvailable();

// A writer for `format`, or null when this build cannot write it.
std::unique_ptr<ImageWriter> MakeImageWriter(ImageFormat format);

const char* FormatName(ImageFormat format);

}  // namespace tvtool

#endif
