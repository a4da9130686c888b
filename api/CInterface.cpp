// The C interface: a thin shell over tiffview::Reader.
#include "TiffViewC.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "TiffViewCodes.h"
#include "TiffViewReader.hpp"

static_assert(TV_NO_PAGE == tiffview::Options::no_page, "one value for no page");

struct tv_reader {
    tiffview::Reader reader;
    tiffview::Options options;
    std::string message = "Success.";
};

namespace {

std::uint32_t Keep(tv_reader* reader, const tiffview::Result& result) {
    try {
        reader->message = result.message();
    } catch (...) {
        reader->message.clear();
    }
    return result.code();
}

// Runs `call` (which returns a Result), turning a failed allocation into a
// code: no exception crosses into C.
template <class Call>
std::uint32_t Guarded(tv_reader* reader, Call call) {
    if (reader == nullptr) return TV_ERR_ARGUMENT;
    try {
        return Keep(reader, call());
    } catch (const std::bad_alloc&) {
        return Keep(reader, tiffview::Result(TV_ERR_NO_MEMORY, TiffView_GetErrorText(TV_ERR_NO_MEMORY)));
    }
}

// Copies as much of `full` as the caller's struct, of `size` bytes, holds.
template <class Struct>
std::uint32_t Fill(Struct* out, const Struct& full) {
    if (out == nullptr || out->size < sizeof out->size) return TV_ERR_ARGUMENT;
    const std::size_t size = std::min(out->size, sizeof full);
    std::memcpy(reinterpret_cast<unsigned char*>(out) + sizeof out->size,
                reinterpret_cast<const unsigned char*>(&full) + sizeof full.size, size - sizeof full.size);
    return TV_OK;
}

}  // namespace

extern "C" {

tv_reader* tv_reader_new(void) { return new (std::nothrow) tv_reader(); }

void tv_reader_free(tv_reader* reader) { delete reader; }

void tv_set_profile(tv_reader* reader, int profile) {
    if (reader != nullptr)
        reader->options.profile(profile == TV_PROFILE_STRICT ? tiffview::Profile::strict : tiffview::Profile::any_bilevel);
}

void tv_set_page(tv_reader* reader, uint32_t page) {
    if (reader != nullptr) reader->options.page(page);
}

void tv_fax_stream_init(tv_fax_stream* stream) {
    if (stream == nullptr) return;
    *stream = tv_fax_stream{};
    stream->size = sizeof *stream;
    stream->coding = TV_FAX_G3;
    stream->width = tiffview::FaxStream().width();
}

uint32_t tv_set_fax_stream(tv_reader* reader, const tv_fax_stream* stream) {
    if (reader == nullptr) return TV_ERR_FILE_HANDLE;
    if (stream == nullptr) {
        reader->options.tiff();
        return TV_OK;
    }
    // Every member so far is read; a struct smaller than the first
    // version's is no struct of ours.
    if (stream->size < offsetof(tv_fax_stream, lsb_first) + sizeof stream->lsb_first) return TV_ERR_ARGUMENT;
    static const tiffview::FaxCoding kCodings[] = {tiffview::FaxCoding::mh, tiffview::FaxCoding::g3,
                                                   tiffview::FaxCoding::g3_2d, tiffview::FaxCoding::g4};
    if (stream->coding >= sizeof kCodings / sizeof kCodings[0]) return TV_ERR_ARGUMENT;
    reader->options.raw_fax(tiffview::FaxStream()
                                .coding(kCodings[stream->coding])
                                .width(stream->width)
                                .rows(stream->rows)
                                .byte_aligned(stream->byte_aligned != 0)
                                .black_is_1(stream->black_is_1 != 0)
                                .lsb_first(stream->lsb_first != 0));
    return TV_OK;
}

void tv_set_map_file(tv_reader* reader, int map) {
    if (reader != nullptr) reader->options.map_file(map != 0);
}

void tv_set_log_directory(tv_reader* reader, const char* directory) {
    if (reader == nullptr) return;
    try {
        reader->options.log_directory(directory != nullptr ? directory : "");
    } catch (...) {
        reader->options.log_directory({});
    }
}

uint32_t tv_open_file(tv_reader* reader, const char* path) {
    return Guarded(reader, [&] {
        if (path == nullptr) return tiffview::Result(TV_ERR_PATH_LENGTH, "No file name was given.");
        return reader->reader.open(path, reader->options);
    });
}

uint32_t tv_open_memory(tv_reader* reader, const void* data, size_t size) {
    return Guarded(reader, [&] { return reader->reader.open(data, size, reader->options); });
}

uint32_t tv_open_descriptor(tv_reader* reader, int descriptor) {
    return Guarded(reader, [&] { return reader->reader.open_descriptor(descriptor, reader->options); });
}

uint32_t tv_open_read_function(tv_reader* reader, tv_read_function read, void* user, uint64_t size) {
    return Guarded(reader, [&] { return reader->reader.open(read, user, size, reader->options); });
}

uint32_t tv_select_page(tv_reader* reader, uint32_t page) {
    return Guarded(reader, [&] {
        reader->options.page(page);
        return reader->reader.select_page(page);
    });
}

void tv_close_page(tv_reader* reader) {
    if (reader != nullptr) reader->reader.close_page();
}

void tv_close(tv_reader* reader) {
    if (reader != nullptr) reader->reader.close();
}

uint32_t tv_page_count(const tv_reader* reader) { return reader != nullptr ? reader->reader.page_count() : 0; }

uint32_t tv_get_page_summary(const tv_reader* reader, uint32_t index, tv_page_summary* summary) {
    if (reader == nullptr) return TV_ERR_ARGUMENT;
    try {
        const tiffview::PageSummary p = reader->reader.page(index);
        tv_page_summary full{};
        full.size = sizeof full;
        full.status = p.status();
        full.width = p.width();
        full.length = p.length();
        full.bits_per_sample = p.bits_per_sample();
        full.samples_per_pixel = p.samples_per_pixel();
        full.compression = p.compression();
        full.photometric = p.photometric();
        full.tiled = p.tiled() ? 1 : 0;
        full.bilevel = p.bilevel() ? 1 : 0;
        full.photometric_assumed = p.photometric_assumed() ? 1 : 0;
        const std::uint32_t filled = Fill(summary, full);
        return filled != TV_OK ? filled : (index < reader->reader.page_count() ? TV_OK : TV_ERR_PAGE_MISSING);
    } catch (const std::bad_alloc&) {
        return TV_ERR_NO_MEMORY;
    }
}

uint32_t tv_get_page_info(const tv_reader* reader, tv_page_info* info) {
    if (reader == nullptr || info == nullptr) return TV_ERR_ARGUMENT;
    if (!reader->reader.is_open()) return TV_ERR_FILE_HANDLE;
    const tiffview::PageInfo& p = reader->reader.info();
    tv_page_info full{};
    full.size = sizeof full;
    full.page_count = p.page_count();
    full.page_index = p.page_index();
    full.width = p.width();
    full.length = p.length();
    full.line_bytes = p.line_bytes();
    full.compression = p.compression();
    full.photometric = p.photometric();
    full.little_endian = p.little_endian() ? 1 : 0;
    full.x_resolution = p.x_resolution();
    full.y_resolution = p.y_resolution();
    full.resolution_unit = p.resolution_unit();
    full.fill_order = p.fill_order();
    full.orientation = p.orientation();
    full.t4_options = p.t4_options();
    full.t6_options = p.t6_options();
    full.tiled = p.tiled() ? 1 : 0;
    full.rows_per_strip = p.rows_per_strip();
    full.tile_width = p.tile_width();
    full.tile_length = p.tile_length();
    full.chunk_count = static_cast<uint32_t>(p.chunks().size());
    full.photometric_assumed = p.photometric_assumed() ? 1 : 0;
    return Fill(info, full);
}

int tv_get_chunk(const tv_reader* reader, uint32_t index, uint64_t* offset, uint64_t* byte_count) {
    if (reader == nullptr || !reader->reader.is_open() || index >= reader->reader.info().chunks().size()) return 0;
    const tiffview::Chunk& chunk = reader->reader.info().chunks()[index];
    if (offset != nullptr) *offset = chunk.offset;
    if (byte_count != nullptr) *byte_count = chunk.byte_count;
    return 1;
}

uint32_t tv_read_line(tv_reader* reader, uint8_t* line, size_t size) {
    return Guarded(reader, [&] { return reader->reader.read_line(line, size); });
}

uint32_t tv_read_lines(tv_reader* reader, uint8_t* dest, size_t size, ptrdiff_t stride, uint32_t count) {
    return Guarded(reader, [&] { return reader->reader.read_lines(dest, size, stride, count); });
}

uint32_t tv_line_index(const tv_reader* reader) { return reader != nullptr ? reader->reader.line_index() : 0; }

size_t tv_damage_count(const tv_reader* reader) { return reader != nullptr ? reader->reader.damage().size() : 0; }

int tv_get_damage(const tv_reader* reader, size_t index, uint32_t* first_line, uint32_t* line_count, uint32_t* code) {
    if (reader == nullptr || index >= reader->reader.damage().size()) return 0;
    const tiffview::Damage& d = reader->reader.damage()[index];
    if (first_line != nullptr) *first_line = d.first_line;
    if (line_count != nullptr) *line_count = d.line_count;
    if (code != nullptr) *code = d.code;
    return 1;
}

const char* tv_message(const tv_reader* reader) { return reader != nullptr ? reader->message.c_str() : ""; }

const char* tv_code_text(uint32_t code) { return TiffView_GetErrorText(code); }

int tv_is_warning(uint32_t code) { return TiffView_IsWarning(code) ? 1 : 0; }

int tv_is_error(uint32_t code) { return code != TV_OK && !tv_is_warning(code) ? 1 : 0; }

}  // extern "C"
