// Reads every line of a bi-level TIFF through tiffview::Reader and prints
// the library version, the page size, the lines read and the black pixels:
// a minimal host of the installed library.
#include <TiffView.h>        // TiffView_GetVersion
#include <TiffViewReader.hpp>

#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.tif\n", argv[0]);
        return 2;
    }
    // Printed so that a consumer picking up a stale libtiffview shows it.
    Version_t version;
    TiffView_GetVersion(&version);
    std::printf("tiffview %u.%u.%u.%u\n", version.Byte[0], version.Byte[1], version.Byte[2], version.Byte[3]);

    tiffview::Reader reader;
    tiffview::Result r = reader.open(argv[1]);
    if (!r) {
        std::fprintf(stderr, "%s\n", r.message().c_str());
        return 1;
    }
    const tiffview::PageInfo& info = reader.info();
    std::vector<std::uint8_t> line(info.line_bytes());
    std::uint32_t lines = 0;
    unsigned long black = 0;
    while (reader.has_more_lines()) {
        r = reader.read_line(line.data(), line.size());
        if (r.is_warning())
            std::fprintf(stderr, "%s\n", r.message().c_str());
        if (!r) {
            std::fprintf(stderr, "%s\n", r.message().c_str());
            return 1;
        }
        ++lines;
        // 8 pixels a byte, first pixel in bit 7, 1 = black; padding bits of
        // the last byte are not pixels.
        for (std::uint32_t x = 0; x < info.width(); ++x)
            black += (line[x / 8] >> (7 - x % 8)) & 1u;
    }
    std::printf("%u x %u, %u lines, %lu black pixels\n", static_cast<unsigned>(info.width()),
                static_cast<unsigned>(info.length()), static_cast<unsigned>(lines), black);
    return 0;
}
