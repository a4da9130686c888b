/* tiffview's C interface: an opaque reader handle and plain functions, for
 * C programs and for bindings (ctypes, cffi). Accepted by C99 compilers.
 *
 *     tv_reader* reader = tv_reader_new();
 *     if (reader == NULL) return 1;
 *     if (tv_open_file(reader, "scan.tif") != TVC_OK) {
 *         fprintf(stderr, "%s\n", tv_message(reader));
 *     } else {
 *         tv_page_info info;
 *         info.size = sizeof info;
 *         tv_get_page_info(reader, &info);
 *         uint8_t* line = malloc(info.line_bytes);
 *         for (uint32_t y = 0; line != NULL && y < info.length; ++y) {
 *             uint32_t rc = tv_read_line(reader, line, info.line_bytes);
 *             if (tv_is_error(rc)) break;    // no line delivered
 *         }
 *         free(line);
 *     }
 *     tv_reader_free(reader);
 *
 * Result codes are those of TiffViewCodes.h (TVC_* below for C); every call
 * that returns one also leaves an English message for tv_message. Options
 * are set one at a time on the reader and hold for the opens that follow;
 * the structs the library fills carry their own size, so that later
 * releases can add fields without breaking callers built before. */
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

/* Profiles for tv_set_profile. */
#define TV_PROFILE_ANY_BILEVEL 0
#define TV_PROFILE_STRICT 1

/* The commonest result codes; the full list is in TiffViewCodes.h. */
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

/* The open page. Set `size` to sizeof(tv_page_info) before the call. */
typedef struct tv_page_info {
    size_t size;
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
    int photometric_assumed; /* no PhotometricInterpretation: 0 for fax codings, else 1 assumed */
} tv_page_info;

/* What one page of the source is, known also for pages that cannot be
 * read. Set `size` to sizeof(tv_page_summary) before the call. */
typedef struct tv_page_summary {
    size_t size;
    uint32_t status; /* TVC_OK, or why its directory cannot be read */
    uint32_t width;
    uint32_t length;
    uint32_t bits_per_sample;
    uint32_t samples_per_pixel;
    uint32_t compression;
    uint32_t photometric;
    int tiled;
    int bilevel; /* one sample of one bit */
    int photometric_assumed; /* as in tv_page_info */
} tv_page_summary;

/* The caller's read function: up to `count` bytes at `offset` into `dest`;
 * returns how many it wrote. */
typedef size_t (*tv_read_function)(void* user, uint64_t offset, void* dest, size_t count);

/* NULL when out of memory. */
TIFFVIEW_C_API tv_reader* tv_reader_new(void);
/* Closes and frees; NULL is allowed. */
TIFFVIEW_C_API void tv_reader_free(tv_reader* reader);

/* Options for the opens that follow. */
TIFFVIEW_C_API void tv_set_profile(tv_reader* reader, int profile);
/* The page to open, from 0; TV_NO_PAGE opens the source and its page
 * list only. */
#define TV_NO_PAGE 0xFFFFFFFFu
TIFFVIEW_C_API void tv_set_page(tv_reader* reader, uint32_t page);
/* Non-zero: read files through a memory mapping (faster on large
 * uncompressed strips; a file shortened by another process while open
 * kills the process with SIGBUS). */
TIFFVIEW_C_API void tv_set_map_file(tv_reader* reader, int map);
/* Diagnostic logs (strict profile) go into `directory`; NULL (the
 * default): none are written. */
TIFFVIEW_C_API void tv_set_log_directory(tv_reader* reader, const char* directory);

/* A raw CCITT fax stream (no TIFF container, one page), as fax software
 * keeps it and as PDF's CCITTFaxDecode filter carries it. Set `size` to
 * sizeof(tv_fax_stream); tv_fax_stream_init fills in the defaults. */
#define TV_FAX_MH 0    /* modified Huffman: rows from byte boundaries, no EOLs */
#define TV_FAX_G3 1    /* Group 3 one-dimensional (PDF's K = 0) */
#define TV_FAX_G3_2D 2 /* Group 3 with two-dimensional lines (K > 0) */
#define TV_FAX_G4 3    /* Group 4 (K < 0) */
typedef struct tv_fax_stream {
    size_t size;
    uint32_t coding;   /* TV_FAX_...; TV_FAX_G3 by default */
    uint32_t width;    /* PDF's Columns; 1728 by default */
    uint32_t rows;     /* 0 (default): up to the end of the block (EOFB, RTC) or of the data */
    int byte_aligned;  /* PDF's EncodedByteAlign */
    int black_is_1;    /* PDF's BlackIs1: lines complemented */
    int lsb_first;     /* bits filled from each byte's least significant bit */
} tv_fax_stream;
TIFFVIEW_C_API void tv_fax_stream_init(tv_fax_stream* stream);
/* Read the sources opened after this as `stream` describes them; NULL:
 * as TIFF files again (the default). TVC_OK, or TV_ERR_ARGUMENT for a
 * coding that is none of the above or a struct of an unknown size. */
TIFFVIEW_C_API uint32_t tv_set_fax_stream(tv_reader* reader, const tv_fax_stream* stream);

/* Opens a source and the page set with tv_set_page; closes what was open.
 * When the source opens but the page is refused, the source stays open:
 * tv_page_count and tv_get_page_summary describe its pages, and
 * tv_select_page opens another. */
TIFFVIEW_C_API uint32_t tv_open_file(tv_reader* reader, const char* path);
/* `size` bytes of memory that must stay valid while open. */
TIFFVIEW_C_API uint32_t tv_open_memory(tv_reader* reader, const void* data, size_t size);
/* A file open in `descriptor`, read through a duplicate. */
TIFFVIEW_C_API uint32_t tv_open_descriptor(tv_reader* reader, int descriptor);
TIFFVIEW_C_API uint32_t tv_open_read_function(tv_reader* reader, tv_read_function read, void* user, uint64_t size);
/* Opens another page of the open source. */
TIFFVIEW_C_API uint32_t tv_select_page(tv_reader* reader, uint32_t page);
/* Closes the page, keeping the source and its page list open. */
TIFFVIEW_C_API void tv_close_page(tv_reader* reader);
TIFFVIEW_C_API void tv_close(tv_reader* reader);

/* Pages in the source's directory chain; 0 when none is open. */
TIFFVIEW_C_API uint32_t tv_page_count(const tv_reader* reader);
TIFFVIEW_C_API uint32_t tv_get_page_summary(const tv_reader* reader, uint32_t index, tv_page_summary* summary);
/* Fills `info` for the open page; TVC_ERR_FILE_HANDLE when none is open. */
TIFFVIEW_C_API uint32_t tv_get_page_info(const tv_reader* reader, tv_page_info* info);
/* Offset and stored bytes of strip or tile `index`; non-zero on success. */
TIFFVIEW_C_API int tv_get_chunk(const tv_reader* reader, uint32_t index, uint64_t* offset, uint64_t* byte_count);

/* Writes the next line, 8 pixels a byte, first pixel in bit 7, 1 = black,
 * into `line`, which must hold `size` >= line_bytes bytes. */
TIFFVIEW_C_API uint32_t tv_read_line(tv_reader* reader, uint8_t* line, size_t size);
/* Reads up to `count` lines, line i at dest + i * stride, into the `size`
 * bytes at `dest`. A warning when some line had one (tv_damage_count), an
 * error when reading stopped (tv_line_index tells where). */
TIFFVIEW_C_API uint32_t tv_read_lines(tv_reader* reader, uint8_t* dest, size_t size, ptrdiff_t stride,
                                      uint32_t count);
/* Index of the line read next. */
TIFFVIEW_C_API uint32_t tv_line_index(const tv_reader* reader);
/* Lines of the open page delivered with a warning, as ranges. */
TIFFVIEW_C_API size_t tv_damage_count(const tv_reader* reader);
TIFFVIEW_C_API int tv_get_damage(const tv_reader* reader, size_t index, uint32_t* first_line, uint32_t* line_count,
                                 uint32_t* code);

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
