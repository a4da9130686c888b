// The C interface: a thin shell over tiffview::Reader.
#include "TiffViewC.h"

#include <new>
#include <string>

#include "TiffView.h"
#include "TiffViewReader.hpp"

struct tv_reader {
    tiffview::Reader reader;
    std::filesystem::path logDirectory;
    std::string message = "Success.";
};

namespace {

tiffview::Options MakeOptions(const tv_reader* reader, std::uint32_t page, int profile) {
    tiffview::Options options;
    options.profile = profile == TV_PROFILE_STRICT ? tiffview::Profile::strict : tiffview::Profile::any_bilevel;
    options.page = page;
    options.log_directory = reader->logDirectory;
    return options;
}

std::uint32_t Keep(tv_reader* reader, const tiffview::Result& result) {
    try {
        reader->message = result.message();
    } catch (...) {
        reader->message.clear();
    }
    return result.code();
}

}  // namespace

extern "C" {

tv_reader* tv_reader_new(void) { return new (std::nothrow) tv_reader(); }

void tv_reader_free(tv_reader* reader) { delete reader; }

uint32_t tv_open_file(tv_reader* reader, const char* path, uint32_t page, int profile) {
    if (reader == nullptr) return TV_ERR_FILE_HANDLE;
    if (path == nullptr) return Keep(reader, tiffview::Result(TV_ERR_PATH_LENGTH, "No file name was given."));
    try {
        return Keep(reader, reader->reader.open(path, MakeOptions(reader, page, profile)));
    } catch (const std::bad_alloc&) {
        return Keep(reader, tiffview::Result(TV_ERR_NO_MEMORY, TiffView_GetErrorText(TV_ERR_NO_MEMORY)));
    }
}

uint32_t tv_open_memory(tv_reader* reader, const void* data, size_t size, uint32_t page, int profile) {
    if (reader == nullptr) return TV_ERR_FILE_HANDLE;
    try {
        return Keep(reader, reader->reader.open(data, size, MakeOptions(reader, page, profile)));
    } catch (const std::bad_alloc&) {
        return Keep(reader, tiffview::Result(TV_ERR_NO_MEMORY, TiffView_GetErrorText(TV_ERR_NO_MEMORY)));
    }
}

void tv_set_log_directory(tv_reader* reader, const char* directory) {
    if (reader == nullptr) return;
    try {
        reader->logDirectory = directory != nullptr ? directory : "";
    } catch (...) {
        reader->logDirectory.clear();
    }
}

void tv_close(tv_reader* reader) {
    if (reader != nullptr) reader->reader.close();
}

uint32_t tv_get_page_info(const tv_reader* reader, tv_page_info* info) {
    if (reader == nullptr || info == nullptr || !reader->reader.is_open()) return TV_ERR_FILE_HANDLE;
    const tiffview::PageInfo& p = reader->reader.info();
    *info = tv_page_info{};
    info->page_count = p.page_count;
    info->page_index = p.page_index;
    info->width = p.width;
    info->length = p.length;
    info->line_bytes = p.line_bytes;
    info->compression = p.compression;
    info->photometric = p.photometric;
    info->little_endian = p.little_endian ? 1 : 0;
    info->x_resolution = p.x_resolution;
    info->y_resolution = p.y_resolution;
    info->resolution_unit = p.resolution_unit;
    info->fill_order = p.fill_order;
    info->orientation = p.orientation;
    info->t4_options = p.t4_options;
    info->t6_options = p.t6_options;
    info->tiled = p.tiled ? 1 : 0;
    info->rows_per_strip = p.rows_per_strip;
    info->tile_width = p.tile_width;
    info->tile_length = p.tile_length;
    info->chunk_count = static_cast<uint32_t>(p.chunks.size());
    return TV_OK;
}

int tv_get_chunk(const tv_reader* reader, uint32_t index, uint32_t* offset, uint32_t* byte_count) {
    if (reader == nullptr || !reader->reader.is_open() || index >= reader->reader.info().chunks.size()) return 0;
    const tiffview::Chunk& chunk = reader->reader.info().chunks[index];
    if (offset != nullptr) *offset = chunk.offset;
    if (byte_count != nullptr) *byte_count = chunk.byte_count;
    return 1;
}

uint32_t tv_read_line(tv_reader* reader, uint8_t* line, size_t size) {
    if (reader == nullptr) return TV_ERR_FILE_HANDLE;
    try {
        return Keep(reader, reader->reader.read_line(line, size));
    } catch (const std::bad_alloc&) {
        return Keep(reader, tiffview::Result(TV_ERR_NO_MEMORY, TiffView_GetErrorText(TV_ERR_NO_MEMORY)));
    }
}

const char* tv_message(const tv_reader* reader) { return reader != nullptr ? reader->message.c_str() : ""; }

const char* tv_code_text(uint32_t code) { return TiffView_GetErrorText(code); }

int tv_is_warning(uint32_t code) { return TiffView_IsWarning(code) ? 1 : 0; }

int tv_is_error(uint32_t code) { return code != TV_OK && !tv_is_warning(code) ? 1 : 0; }

}  // extern "C"
