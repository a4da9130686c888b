// The C++17 interface over CTiffView: sources of any kind, English messages
// with their context, checked line buffers.
#include "TiffViewReader.hpp"

#include <cerrno>
#include <cstring>

#include "TiffView.h"
#include "api/Source.h"
#include "platform/File.h"

// Opens CTiffView on a handle the caller opened (a path of any length, or
// memory), which the plain interface cannot: its names are at most 260
// bytes and always files.
class CTiffViewSource {
public:
    static std::uint32_t Open(CTiffView& view, std::int32_t handle) {
        if (view.FileHandle != -1) {
            tvplatform::CloseHandle(handle);
            return TV_ERR_FILE_HANDLE;
        }
        if ((view.Options & TV_OPTION_ANY_BILEVEL) == 0 && view.SelectedPage != 0) {
            tvplatform::CloseHandle(handle);
            return TV_ERR_PAGE_OPTION;
        }
        view.Reading = 0;
        view.PageCount = 0;
        view.FileHandle = handle;
        const std::uint32_t result = view.ParseOpenFile(1);
        return result != TV_OK ? result : view.StartReading();
    }
};

namespace tiffview {

Result::Result(std::uint32_t code, std::string message) : code_(code), message_(std::move(message)) {}

std::uint32_t Result::kind() const noexcept { return code_ & TV_CODE_MASK; }

bool Result::is_warning() const noexcept { return TiffView_IsWarning(code_); }

struct Reader::Impl {
    CTiffView view;
    Options options;
    // The source, kept so that another page can be opened.
    std::filesystem::path path;
    const void* data = nullptr;
    std::size_t size = 0;
    bool fromMemory = false;

    bool open = false;
    std::uint32_t line = 0;
    PageInfo info;

    std::string SourceName() const { return fromMemory ? std::string("<memory>") : path.string(); }

    Result Fail(std::uint32_t code, int systemError = 0) {
        return Result(code, tvapi::DescribeResult(code, SourceName(), options.page, systemError));
    }

    void Describe() {
        TiffInfo_t image;
        view.GetImageInfo(&image);
        TiffPageInfo_t page;
        view.GetPageInfo(&page);
        info = PageInfo{};
        info.page_count = page.PageCount;
        info.page_index = page.PageIndex;
        info.width = image.Width;
        info.length = image.Length;
        info.line_bytes = (static_cast<std::size_t>(image.Width) + 7) / 8;
        info.compression = image.Compression;
        info.photometric = image.PhotometricInterpretation;
        info.little_endian = image.Intel != 0;
        info.x_resolution = image.XResolution;
        info.y_resolution = image.YResolution;
        info.resolution_unit = page.ResolutionUnit;
        info.fill_order = page.FillOrder;
        info.orientation = page.Orientation;
        info.t4_options = page.T4Options;
        info.t6_options = page.T6Options;
        info.tiled = page.Tiled != 0;
        info.rows_per_strip = page.RowsPerStrip;
        info.tile_width = page.TileWidth;
        info.tile_length = page.TileLength;
        info.chunks.resize(page.ChunkCount);
        for (std::uint32_t i = 0; i < page.ChunkCount; ++i) {
            info.chunks[i] = Chunk{page.ChunkOffsets[i], page.ChunkByteCounts[i]};
        }
    }

    Result Open() {
        view.CloseFile();
        open = false;
        line = 0;
        info = PageInfo{};
        view.SetOptions(options.profile == Profile::any_bilevel ? TV_OPTION_ANY_BILEVEL : 0);
        view.SelectPage(options.page);
        if (options.log_directory.empty()) {
            view.SetLogEnabled(0);
        } else {
            view.SetLogEnabled(1);
            view.SetLogDirectory(options.log_directory.c_str());
        }
        const std::int32_t handle =
            fromMemory ? tvplatform::OpenMemory(data, size) : tvplatform::OpenRead(path.c_str());
        if (handle == -1) return Fail(fromMemory ? TV_ERR_NO_MEMORY : TV_ERR_FILE_OPEN, fromMemory ? 0 : errno);
        const std::uint32_t result = CTiffViewSource::Open(view, handle);
        if (result != TV_OK) {
            view.CloseFile();
            return Fail(result);
        }
        open = true;
        Describe();
        return Result();
    }
};

Reader::Reader() : impl_(std::make_unique<Impl>()) {}
Reader::~Reader() = default;
Reader::Reader(Reader&& other) noexcept = default;
Reader& Reader::operator=(Reader&& other) noexcept = default;

Result Reader::open(const std::filesystem::path& path, const Options& options) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->options = options;
    impl_->path = path;
    impl_->fromMemory = false;
    impl_->data = nullptr;
    impl_->size = 0;
    return impl_->Open();
}

Result Reader::open(const void* data, std::size_t size, const Options& options) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->options = options;
    impl_->path.clear();
    impl_->fromMemory = true;
    impl_->data = data;
    impl_->size = size;
    return impl_->Open();
}

Result Reader::select_page(std::uint32_t page) {
    if (!impl_ || (!impl_->fromMemory && impl_->path.empty())) {
        return Result(TV_ERR_FILE_HANDLE, "No file or memory was opened in this reader, so there is no page to select.");
    }
    impl_->options.page = page;
    return impl_->Open();
}

void Reader::close() noexcept {
    if (!impl_) return;
    impl_->view.CloseFile();
    impl_->open = false;
    impl_->info = PageInfo{};
}

bool Reader::is_open() const noexcept { return impl_ && impl_->open; }

const PageInfo& Reader::info() const noexcept {
    static const PageInfo kNothing;
    return impl_ ? impl_->info : kNothing;
}

std::uint32_t Reader::line_index() const noexcept { return impl_ ? impl_->line : 0; }

Result Reader::read_line(std::uint8_t* dest, std::size_t size) {
    if (!is_open()) return Result(TV_ERR_FILE_HANDLE, "No file is open in this reader; open one first.");
    if (dest == nullptr || size < impl_->info.line_bytes) {
        return Result(TV_ERR_LINE_BUFFER, tvapi::DescribeLineBuffer(impl_->SourceName(), size, impl_->info.line_bytes));
    }
    const std::uint32_t code = impl_->view.ReadALine(dest);
    const Result result = code == TV_OK ? Result() : impl_->Fail(code);
    if (result) ++impl_->line;
    return result;
}

}  // namespace tiffview
