// The C++17 interface. The default profile stands on the core: the source,
// its page list, the page's layout and the line engine. The strict profile
// is CTiffView's, reached through the class's own opening from a source.
#include "TiffViewReader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "TiffView.h"
#include "api/Messages.h"
#include "api/Values.h"
#include "core/Document.h"
#include "core/LineEngine.h"
#include "core/PageLayout.h"
#include "core/Source.h"
#include "core/TagValues.h"
#include "core/Tags.h"

namespace tiffview {

namespace {

// CTiffView, opened from one of the library's sources: the strict profile
// of the other interfaces.
class StrictView : public CTiffView {
public:
    using CTiffView::OpenSource;
};

std::shared_ptr<const PageInfo::Data> Describe(const tvcore::PageLayout& page) {
    auto data = std::make_shared<PageInfo::Data>();
    data->page = page;
    data->chunks.reserve(page.chunks.size());
    for (const tvcore::Chunk& chunk : page.chunks) data->chunks.push_back(Chunk{chunk.offset, chunk.byteCount});
    return data;
}

// The page CTiffView opened, told as the core tells its pages.
tvcore::PageLayout ClassicLayout(CTiffView& view) {
    TiffInfo_t image;
    view.GetImageInfo(&image);
    TiffPageInfo_t page;
    view.GetPageInfo(&page);
    tvcore::PageLayout layout;
    layout.pageCount = page.PageCount;
    layout.pageIndex = page.PageIndex;
    layout.width = image.Width;
    layout.length = image.Length;
    layout.compression = image.Compression;
    layout.photometric = image.PhotometricInterpretation;
    layout.littleEndian = image.Intel != 0;
    layout.xResolution = image.XResolution;
    layout.yResolution = image.YResolution;
    layout.resolutionUnit = page.ResolutionUnit;
    layout.fillOrder = page.FillOrder;
    layout.orientation = page.Orientation;
    layout.t4Options = page.T4Options;
    layout.t6Options = page.T6Options;
    layout.rowsPerStrip = page.RowsPerStrip;
    layout.tiled = page.Tiled != 0;
    layout.tileWidth = page.TileWidth;
    layout.tileLength = page.TileLength;
    layout.chunks.reserve(page.ChunkCount);
    for (std::uint32_t i = 0; i < page.ChunkCount; ++i) {
        layout.chunks.push_back(tvcore::Chunk{page.ChunkOffsets[i], page.ChunkByteCounts[i]});
    }
    return layout;
}

}  // namespace

struct Reader::Impl {
    Options options;
    std::unique_ptr<tvcore::Source> source;
    tvcore::Document document;
    bool documentOpen = false;
    // A raw fax stream whose page `layout` describes (even with no page open).
    bool rawPage = false;

    // The open page: read by the core, or, in the strict profile, by CTiffView.
    tvcore::PageLayout layout;
    std::unique_ptr<tvcore::LineEngine> engine;
    std::unique_ptr<StrictView> classic;
    std::uint32_t line = 0;  // lines the classic reader delivered (the engine counts its own)
    std::size_t lineBytes = 0;
    PageInfo info;
    // The lines delivered with a warning, as the core keeps them, and as
    // damage() hands them out.
    std::vector<tvcore::Damage> lineDamage;
    std::vector<Damage> damage;

    bool PageOpen() const { return engine != nullptr || classic != nullptr; }
    std::string SourceName() const { return source ? source->Name() : std::string("<none>"); }

    Result Fail(std::uint32_t code, int systemError = 0) const {
        const std::uint32_t page = options.page() == Options::no_page ? 0 : options.page();
        return Result(code, tvapi::DescribeResult(code, SourceName(), page, systemError), systemError);
    }

    // A page the core refuses; a refused compression is named.
    Result FailPage(std::uint32_t code, std::uint32_t page) const {
        if ((code & TV_CODE_MASK) != TV_ERR_COMPRESSION || !documentOpen) return Fail(code);
        const std::uint32_t compression = document.Summarize(page).compression;
        return Result(code, tvapi::DescribeRefusedCompression(SourceName(), page, compression));
    }

    void ClosePage() {
        engine.reset();
        classic.reset();
        line = 0;
        lineBytes = 0;
        info = PageInfo();
        lineDamage.clear();
        damage.clear();
    }

    void CloseAll() {
        ClosePage();
        documentOpen = false;
        rawPage = false;
        document = tvcore::Document();
        source.reset();
    }

    Result OpenSource(std::unique_ptr<tvcore::Source> opened, int error) {
        CloseAll();
        if (!opened) return Fail(error == ENOMEM ? TV_ERR_NO_MEMORY : TV_ERR_FILE_OPEN, error);
        source = std::move(opened);
        // The page list is the core's in both profiles; a source the core
        // cannot list is still the strict profile's to judge.
        documentOpen = document.Open(*source) == TV_OK;
        return OpenPage();
    }

    Result OpenPage() {
        ClosePage();
        if (options.raw_fax() != nullptr) return OpenRawPage();
        if (options.page() == Options::no_page) return documentOpen ? Result() : OpenCorePage();
        return options.profile() == Profile::strict ? OpenStrictPage() : OpenCorePage();
    }

    // A raw fax stream: its one page, described by its parameters. The page
    // stays described while the source is open, as a TIFF file's pages do.
    Result OpenRawPage() {
        documentOpen = false;
        rawPage = false;
        const std::uint32_t page = options.page();
        if (page == Options::no_page || page > 0) {
            std::uint32_t result = ReadRaw();
            if (result == TV_OK && page != Options::no_page) result = TV_ERR_PAGE_MISSING;
            return result == TV_OK ? Result() : Fail(result);
        }
        std::uint32_t result = ReadRaw();
        if (result == TV_OK) {
            engine = std::make_unique<tvcore::LineEngine>();
            result = engine->Open(*source, layout, options.map_file());
        }
        if (result != TV_OK) {
            engine.reset();
            return Fail(result);
        }
        info = PageInfo(Describe(layout));
        lineBytes = info.line_bytes();
        return Result();
    }

    std::uint32_t ReadRaw() {
        const std::uint32_t result = tvcore::ReadRawFaxLayout(*source, CoreRawFax(*options.raw_fax()), layout);
        rawPage = result == TV_OK;
        return result;
    }

    Result OpenCorePage() {
        // The chain was walked when the source opened; only a source whose
        // chain cannot be walked is asked again, for its reason.
        std::uint32_t result = documentOpen ? TV_OK : document.Open(*source);
        if (result == TV_OK) result = tvcore::ReadPageLayout(document, options.page(), layout);
        if (result == TV_OK) {
            engine = std::make_unique<tvcore::LineEngine>();
            result = engine->Open(*source, layout, options.map_file());
        }
        if (result != TV_OK) {
            engine.reset();
            return FailPage(result, options.page() == Options::no_page ? 0 : options.page());
        }
        info = PageInfo(Describe(layout));
        lineBytes = info.line_bytes();
        return Result();
    }

    Result OpenStrictPage() {
        classic = std::make_unique<StrictView>();
        classic->SetOptions(options.map_file() ? TV_OPTION_MAP_FILE : 0);
        classic->SelectPage(options.page());
        const std::filesystem::path& logs = options.log_directory();
        classic->SetLogEnabled(logs.empty() ? 0 : 1);
        if (!logs.empty()) classic->SetLogDirectory(logs.c_str());
        const std::uint32_t result = classic->OpenSource(*source);
        if (result != TV_OK) {
            classic->CloseFile();
            classic.reset();
            return Fail(result);
        }
        info = PageInfo(Describe(ClassicLayout(*classic)));
        lineBytes = info.line_bytes();
        return Result();
    }

    std::uint32_t LineIndex() const { return engine ? engine->LineIndex() : line; }

    // One line from whichever reader has the page; the line counts when
    // it was delivered.
    std::uint32_t ReadLine(std::uint8_t* dest) {
        if (engine) return engine->ReadLine(dest);
        const std::uint32_t code = classic->ReadALine(dest);
        if (code == TV_OK || TiffView_IsWarning(code)) ++line;
        return code;
    }

    void Record(std::uint32_t lineIndex, std::uint32_t code) {
        if (!TiffView_IsWarning(code)) return;
        tvcore::AddDamage(lineDamage, lineIndex, code);
        Publish(lineDamage.size() - 1);
    }

    // Brings damage() up to date from range `from` of lineDamage on; the
    // ranges before it are as they were.
    void Publish(std::size_t from) {
        damage.resize(lineDamage.size());
        for (std::size_t i = from; i < lineDamage.size(); ++i) {
            const tvcore::Damage& d = lineDamage[i];
            damage[i] = Damage{d.firstLine, d.lineCount, d.code};
        }
    }
};

Reader::Reader() : impl_(std::make_unique<Impl>()) {}
Reader::~Reader() = default;
Reader::Reader(Reader&& other) noexcept = default;
Reader& Reader::operator=(Reader&& other) noexcept = default;

Result Reader::open(const std::filesystem::path& path, const Options& options) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->options = options;
    int error = 0;
    auto source = tvcore::OpenPath(path.c_str(), error);
    if (!source) {
        impl_->CloseAll();
        const std::uint32_t code = error == ENOMEM ? TV_ERR_NO_MEMORY : TV_ERR_FILE_OPEN;
        return Result(code, tvapi::DescribeResult(code, path.string(), options.page(), error), error);
    }
    return impl_->OpenSource(std::move(source), 0);
}

Result Reader::open(const void* data, std::size_t size, const Options& options) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->options = options;
    int error = 0;
    auto source = tvcore::OpenMemory(data, size, error);
    return impl_->OpenSource(std::move(source), error);
}

Result Reader::open_descriptor(int descriptor, const Options& options) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->options = options;
    int error = 0;
    auto source = tvcore::OpenDescriptor(descriptor, error);
    return impl_->OpenSource(std::move(source), error);
}

Result Reader::open(ReadFunction read, void* user, std::uint64_t size, const Options& options) {
    if (!impl_) impl_ = std::make_unique<Impl>();
    impl_->options = options;
    int error = 0;
    auto source = tvcore::OpenReadFunction(read, user, size, error);
    return impl_->OpenSource(std::move(source), error);
}

Result Reader::select_page(std::uint32_t page) {
    if (!impl_ || !impl_->source) {
        return Result(TV_ERR_FILE_HANDLE, "No file or memory was opened in this reader, so there is no page to select.");
    }
    impl_->options.page(page);
    return impl_->OpenPage();
}

void Reader::close_page() noexcept {
    if (impl_) impl_->ClosePage();
}

void Reader::close() noexcept {
    if (impl_) impl_->CloseAll();
}

bool Reader::is_open() const noexcept { return impl_ && impl_->PageOpen(); }

std::uint32_t Reader::page_count() const noexcept {
    if (impl_ && impl_->rawPage) return 1;
    return impl_ && impl_->documentOpen ? impl_->document.PageCount() : 0;
}

PageSummary Reader::page(std::uint32_t index) const {
    if (impl_ && impl_->rawPage) {
        if (index != 0) return PageSummary();
        const tvcore::PageLayout& layout = impl_->layout;
        auto data = std::make_shared<PageSummary::Data>();
        data->summary.width = layout.width;
        data->summary.length = layout.length;
        data->summary.compression = layout.compression;
        data->summary.photometric = layout.photometric;
        return PageSummary(std::move(data));
    }
    if (!impl_ || !impl_->documentOpen || index >= impl_->document.PageCount()) return PageSummary();
    auto data = std::make_shared<PageSummary::Data>();
    data->summary = impl_->document.Summarize(index);
    data->littleEndian = impl_->document.LittleEndian();
    return PageSummary(std::move(data));
}

Result Reader::describe(std::uint32_t index, PageInfo& info) const {
    if (impl_ && impl_->rawPage) {
        if (index != 0) return Result(TV_ERR_PAGE_MISSING, tvapi::DescribeResult(TV_ERR_PAGE_MISSING, impl_->SourceName(), index, 0));
        info = PageInfo(Describe(impl_->layout));
        return Result();
    }
    if (!impl_ || !impl_->documentOpen) {
        return Result(TV_ERR_FILE_HANDLE, "No file or memory with a page list is open in this reader.");
    }
    tvcore::PageLayout layout;
    const std::uint32_t code = tvcore::ReadPageLayout(impl_->document, index, layout);
    if (code != TV_OK) {
        if ((code & TV_CODE_MASK) == TV_ERR_COMPRESSION) {
            const std::uint32_t compression = impl_->document.Summarize(index).compression;
            return Result(code, tvapi::DescribeRefusedCompression(impl_->SourceName(), index, compression));
        }
        return Result(code, tvapi::DescribeResult(code, impl_->SourceName(), index, 0));
    }
    info = PageInfo(Describe(layout));
    return Result();
}

Result Reader::tags(std::uint32_t index, std::vector<TagEntry>& entries, std::uint32_t max_values) const {
    entries.clear();
    // A raw stream's page has no tags.
    if (impl_ && impl_->rawPage && index == 0) return Result();
    if (!impl_ || !impl_->documentOpen) {
        return Result(TV_ERR_FILE_HANDLE, "No file or memory with a page list is open in this reader.");
    }
    std::vector<tvcore::TagValue> values;
    const std::uint32_t code = tvcore::ReadTagValues(impl_->document, index, max_values, values);
    if (code != TV_OK) return Result(code, tvapi::DescribeResult(code, impl_->SourceName(), index, 0));
    entries.reserve(values.size());
    for (tvcore::TagValue& value : values) {
        TagEntry entry;
        entry.tag = value.tag;
        entry.type = value.type;
        entry.count = value.count;
        if (tvcore::FindTag(value.tag) != nullptr) entry.name = tvcore::TagName(value.tag);
        entry.text = std::move(value.text);
        entry.integers = std::move(value.integers);
        entry.reals = std::move(value.reals);
        entry.complete = value.complete;
        entries.push_back(std::move(entry));
    }
    return Result();
}

namespace {
// What a reader without a page describes.
const PageInfo kNoPageInfo;
}  // namespace

const PageInfo& Reader::info() const noexcept { return impl_ ? impl_->info : kNoPageInfo; }

std::uint32_t Reader::line_index() const noexcept { return impl_ ? impl_->LineIndex() : 0; }

bool Reader::has_more_lines() const noexcept { return is_open() && line_index() < info().length(); }

namespace {

// Everything but a clean line of a page the core reads: kept out of
// read_line, whose common case then needs no stack frame to speak of.
__attribute__((noinline)) Result LineOutcome(Reader::Impl& impl, std::uint32_t index, std::uint32_t code) {
    impl.Record(index, code);
    return impl.Fail(code);
}

}  // namespace

Result Reader::read_line(std::uint8_t* dest, std::size_t size) {
    Impl* const page = impl_.get();
    if (page != nullptr && page->engine && dest != nullptr && size >= page->lineBytes) {
        const std::uint32_t index = page->engine->LineIndex();
        const std::uint32_t code = page->engine->ReadLine(dest);
        if (code == TV_OK) return Result();
        return LineOutcome(*page, index, code);
    }
    return read_line_checked(dest, size);
}

Result Reader::read_line_checked(std::uint8_t* dest, std::size_t size) {
    if (!is_open()) return Result(TV_ERR_FILE_HANDLE, "No page is open in this reader; open one first.");
    Impl& impl = *impl_;
    if (dest == nullptr || size < impl.lineBytes) {
        return Result(TV_ERR_LINE_BUFFER, tvapi::DescribeLineBuffer(impl.SourceName(), size, impl.lineBytes));
    }
    const std::uint32_t index = impl.LineIndex();
    const std::uint32_t code = impl.ReadLine(dest);
    return code == TV_OK ? Result() : LineOutcome(impl, index, code);
}

Result Reader::read_lines(std::uint8_t* dest, std::size_t size, std::ptrdiff_t stride, std::uint32_t count) {
    if (!is_open()) return Result(TV_ERR_FILE_HANDLE, "No page is open in this reader; open one first.");
    Impl& impl = *impl_;
    const std::size_t lineBytes = impl.lineBytes;
    const std::uint32_t length = impl.info.length();
    const std::uint32_t left = length - std::min(impl.LineIndex(), length);
    count = std::min(count, left);
    if (count == 0) return left > 0 ? Result() : impl.Fail(TV_ERR_END_OF_IMAGE);
    // Every row asked for must lie inside the caller's room, rows apart.
    const bool rowsApart = stride > 0 && static_cast<std::size_t>(stride) >= lineBytes;
    const bool fits = dest != nullptr && rowsApart && size >= lineBytes &&
                      (count - 1) <= (size - lineBytes) / static_cast<std::size_t>(stride);
    if (!fits) {
        return Result(TV_ERR_LINE_BUFFER, tvapi::DescribeLineBuffer(impl.SourceName(), size, lineBytes * count));
    }
    std::uint32_t firstWarning = TV_OK;
    if (impl.engine) {
        const std::uint32_t first = impl.engine->LineIndex();
        // The last range may grow with this call's first lines.
        const std::size_t from = impl.lineDamage.empty() ? 0 : impl.lineDamage.size() - 1;
        std::uint32_t delivered = 0;
        const std::uint32_t code = impl.engine->ReadLines(dest, stride, count, delivered, &impl.lineDamage);
        impl.Publish(from);
        for (std::size_t i = from; i < impl.lineDamage.size() && firstWarning == TV_OK; ++i) {
            const tvcore::Damage& d = impl.lineDamage[i];
            if (d.firstLine + d.lineCount > first) firstWarning = d.code;
        }
        if (code != TV_OK) return impl.Fail(code);
    } else {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t index = impl.line;
            const std::uint32_t code = impl.ReadLine(dest + static_cast<std::ptrdiff_t>(i) * stride);
            if (code != TV_OK && !TiffView_IsWarning(code)) return impl.Fail(code);
            impl.Record(index, code);
            if (firstWarning == TV_OK) firstWarning = code;
        }
    }
    return firstWarning == TV_OK ? Result() : impl.Fail(firstWarning);
}

Result Reader::read_page(std::uint8_t* dest, std::size_t size, std::ptrdiff_t stride) {
    const std::uint32_t length = info().length();
    return read_lines(dest, size, stride, length - std::min(line_index(), length));
}

const std::vector<Damage>& Reader::damage() const noexcept {
    static const std::vector<Damage> kNone;
    return impl_ ? impl_->damage : kNone;
}

}  // namespace tiffview
