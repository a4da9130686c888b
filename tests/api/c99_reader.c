/* Built as C99 against TiffViewC.h: reads every line of every page of the
 * file named on the command line and prints "PAGES LINES". */
#include <stdio.h>
#include <stdlib.h>

#include "TiffViewC.h"

int main(int argc, char** argv) {
    tv_reader* reader = tv_reader_new();
    uint32_t pages = 1, page, lines = 0;
    if (argc != 2 || reader == NULL) return 2;
    for (page = 0; page < pages; ++page) {
        tv_page_info info;
        uint8_t* line;
        uint32_t y;
        tv_set_page(reader, page);
        if (tv_open_file(reader, argv[1]) != TVC_OK) {
            fprintf(stderr, "%s\n", tv_message(reader));
            tv_reader_free(reader);
            return 1;
        }
        info.size = sizeof info;
        tv_get_page_info(reader, &info);
        pages = info.page_count;
        line = (uint8_t*)malloc(info.line_bytes);
        for (y = 0; y < info.length && line != NULL; ++y) {
            if (tv_is_error(tv_read_line(reader, line, info.line_bytes))) break;
            ++lines;
        }
        free(line);
    }
    printf("%u %u\n", (unsigned)pages, (unsigned)lines);
    tv_reader_free(reader);
    return 0;
}
