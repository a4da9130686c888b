// Reads a bi-level TIFF with tiffview and prints its size and the number of
// black pixels: a minimal host of the library.
#include <TiffView.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.tif\n", argv[0]);
        return 2;
    }
    Version_t version;
    TiffView_GetVersion(&version);
    std::printf("tiffview %u.%u.%u.%u\n", version.Byte[0], version.Byte[1], version.Byte[2], version.Byte[3]);

    CTiffView reader;
    std::uint32_t rc = reader.OpenFile(argv[1]);
    if (rc != TV_OK) {
        std::fprintf(stderr, "%s: cannot open, result 0x%08X\n", argv[1], static_cast<unsigned>(rc));
        reader.CloseFile();
        return 1;
    }
    TiffInfo_t info;
    reader.GetImageInfo(&info);
    std::vector<unsigned char> line((info.Width + 7) / 8);
    unsigned long black = 0;
    std::uint32_t lines = 0;
    for (std::uint32_t y = 0; y < info.Length; ++y) {
        rc = reader.ReadALine(line.data());
        if (rc != TV_OK) {
            std::fprintf(stderr, "%s: line %u: result 0x%08X\n", argv[1], static_cast<unsigned>(y),
                         static_cast<unsigned>(rc));
            reader.CloseFile();
            return 1;
        }
        ++lines;
        for (std::uint32_t x = 0; x < info.Width; ++x)
            black += (line[x / 8] >> (7 - x % 8)) & 1u;
    }
    reader.CloseFile();
    std::printf("%u x %u, %u lines, %lu black pixels\n", static_cast<unsigned>(info.Width),
                static_cast<unsigned>(info.Length), static_cast<unsigned>(lines), black);
    return 0;
}
