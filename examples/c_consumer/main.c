/* Reads every line of a bi-level TIFF through the C interface and prints
 * the page size, the lines read and the black pixels, in the same words as
 * the C++ consumer. Plain C99. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <TiffViewC.h>

int main(int argc, char** argv) {
    tv_reader* reader;
    tv_page_info info;
    uint8_t* line;
    uint32_t lines = 0, rc, x;
    unsigned long black = 0;
    int status = 0;

    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE.tif\n", argv[0]);
        return 2;
    }
    reader = tv_reader_new();
    if (reader == NULL) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    if (tv_open_file(reader, argv[1]) != TVC_OK) {
        fprintf(stderr, "%s\n", tv_message(reader));
        tv_reader_free(reader);
        return 1;
    }
    info.size = sizeof info;
    tv_get_page_info(reader, &info);
    /* One byte more than needed for a zero-width page, where malloc(0) may
     * return NULL. */
    line = (uint8_t*)malloc(info.line_bytes + 1);
    if (line == NULL) {
        fprintf(stderr, "out of memory\n");
        tv_reader_free(reader);
        return 1;
    }
    while (lines < info.length) {
        rc = tv_read_line(reader, line, info.line_bytes);
        if (tv_is_warning(rc)) fprintf(stderr, "%s\n", tv_message(reader));
        if (tv_is_error(rc)) {
            fprintf(stderr, "%s\n", tv_message(reader));
            status = 1;
            break;
        }
        ++lines;
        /* 8 pixels a byte, first pixel in bit 7, 1 = black. */
        for (x = 0; x < info.width; ++x) black += (line[x / 8] >> (7 - x % 8)) & 1u;
    }
    free(line);
    tv_reader_free(reader);
    if (status == 0)
        printf("%u x %u, %u lines, %lu black pixels\n", (unsigned)info.width, (unsigned)info.length,
               (unsigned)lines, black);
    return status;
}
