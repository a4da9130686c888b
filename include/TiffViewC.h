/* tiffview's C interface: an opaque reader handle and plain functions, for
 * C programs and for bindings (ctypes, cffi). Accepted by C99 compilers.
 *
 *     tv_reader* reader = tv_reader_new();
 *     if (tv_open_file(reader, "scan.tif", 0, TV_PROFILE_ANY_BILEVEL) != 0) {
 *         fprintf(stderr, "%s\n", tv_message(reader));
 *     } else {
 *         tv_page_info info;
 *         tv_get_page_info(reader, &info);
 *         uint8_t* line = malloc(info.line_bytes);
 *         for (uint32_t y = 0; y < info.length; ++y) {
 *             uint32_t rc = tv_read_line(reader, line, info.line_bytes);
 *             if (tv_is_error(rc)) break;    // no line delivered
 *         }
 *         free(line);
 *     }
 *     tv_reader_free(reader);
 *
 * Result codes are those of TiffView.h (TVC_* below for C); every call that
 * returns one also leaves an English message for tv_message. */
#ifndef TIFFVIEW_TIFFVIEWC_H
#define TIFFVIEW_TIFFVIEWC_H

#include <stddef.h>
#include <stdint.h>

#ifndef TIFFVIEW_C_API
#define TIFFVIEW_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tv_reader tv_reader;

/* Profiles for tv_open_file / tv_open_memory. */
#define TV_PROFILE_ANY_BILEVEL 0
#define TV_PROFILE_STRICT 1

/* The commonest result codes; the full list is in TiffView.h. */
#define TVC_OK 0x00000000u
#define TVC_ERR_FILE_HANDLE 0xF0000001u
#define TVC_ERR_FILE_OPEN 0xF0000003u
#define TVC_ERR_PAGE_MISSING 0xF0000014u
#define TVC_ERR_NO_MEMORY 0xF0000050u
#define TVC_ERR_END_OF_IMAGE 0xF0000051u
#define TVC_ERR_DECODE 0xF0000052u
#define TVC_ERR_STRIP_SHORT 0xF0000053u
#define TVC_ERR_STRIP_LONG 0xF0000054u
#define TVC_ERR_LINE_SHORT 0xF0000055u
#define TVC_ERR_LINE_BUFFER 0xF0000056u
#define TVC_ERR_LINE_DAMAGED 0xF0000057u
/* Clears the tag or strip context of a code. */
#define TVC_CODE_MASK 0xFF0000FFu

typedef struct tv_page_info {
    uint32_t page_count;
    uint32_t page_index;
    uint32_t width;
    uint32_t length;
    size_t line_bytes; /* (width + 7) / 8 */
    uint32_t compression;
    uint32_t photometric;
    int little_endian;
    double x_resolution; /* 0 when the file gives none */
    double y_resolution;
    uint32_t resolution_unit;
    uint32_t fill_order;
    uint32_t orientation;
    uint32_t t4_options;
    uint32_t t6_options;
    int tiled;
    uint32_t rows_per_strip;
    uint32_t tile_width;
    uint32_t tile_length;
    uint32_t chunk_count; /* strips or tiles */
} tv_page_info;

/* NULL when out of memory. */
TIFFVIEW_C_API tv_reader* tv_reader_new(void);
/* Closes and frees; NULL is allowed. */
TIFFVIEW_C_API void tv_reader_free(tv_reader* reader);

/* Opens page `page` (from 0) of a file, or of `size` bytes of memory that
 * must stay valid while open. Closes what was open. */
TIFFVIEW_C_API uint32_t tv_open_file(tv_reader* reader, const char* path, uint32_t page, int profile);
TIFFVIEW_C_API uint32_t tv_open_memory(tv_reader* reader, const void* data, size_t size, uint32_t page, int profile);
/* Diagnostic logs go into `directory` from the next open on; NULL (the
 * default): none are written. */
TIFFVIEW_C_API void tv_set_log_directory(tv_reader* reader, const char* directory);
TIFFVIEW_C_API void tv_close(tv_reader* reader);

/* Fills `info` for the open page; TVC_ERR_FILE_HANDLE when none is open. */
TIFFVIEW_C_API uint32_t tv_get_page_info(const tv_reader* reader, tv_page_info* info);
/* Offset and stored bytes of strip or tile `index`; non-zero on success. */
TIFFVIEW_C_API int tv_get_chunk(const tv_reader* reader, uint32_t index, uint32_t* offset, uint32_t* byte_count);
/* Writes the next line, 8 pixels a byte, first pixel in bit 7, 1 = black,
 * into `line`, which must hold `size` >= line_bytes bytes. */
TIFFVIEW_C_API uint32_t tv_read_line(tv_reader* reader, uint8_t* line, size_t size);

/* The English message of the reader's last call (never NULL). */
TIFFVIEW_C_API const char* tv_message(const tv_reader* reader);
/* The English sentence of any code, without context. */
TIFFVIEW_C_API const char* tv_code_text(uint32_t code);
/* A line was delivered with a warning / no line was delivered. */
TIFFVIEW_C_API int tv_is_warning(uint32_t code);
TIFFVIEW_C_API int tv_is_error(uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
