// The value types of the C++ interface, their data kept out of sight.
#include "TiffViewReader.hpp"
#include "api/Values.h"

namespace tiffview {

Result::Result(std::uint32_t code, std::string message) : code_(code), message_(std::move(message)) {}

Result::Result(std::uint32_t code, std::string message, int systemError)
    : code_(code), systemError_(systemError), message_(std::move(message)) {}

std::uint32_t Result::kind() const noexcept { return code_ & TV_CODE_MASK; }

bool Result::is_warning() const noexcept { return TiffView_IsWarning(code_); }

const std::string& Result::message() const noexcept {
    static const std::string kSuccess = "Success.";
    return message_.empty() && code_ == TV_OK ? kSuccess : message_;
}

Options::Options() : data_(std::make_unique<Data>()) {}
Options::~Options() = default;
Options::Options(const Options& other) : data_(std::make_unique<Data>(*other.data_)) {}
Options& Options::operator=(const Options& other) {
    if (this != &other) *data_ = *other.data_;
    return *this;
}
// A moved-from Options is left with the defaults, never without data.
Options::Options(Options&& other) noexcept : data_(std::move(other.data_)) { other.data_.reset(new Data()); }
Options& Options::operator=(Options&& other) noexcept {
    if (this != &other) std::swap(data_, other.data_);
    return *this;
}

Options& Options::profile(Profile profile) {
    data_->profile = profile;
    return *this;
}
Profile Options::profile() const noexcept { return data_->profile; }
Options& Options::page(std::uint32_t page) {
    data_->page = page;
    return *this;
}
std::uint32_t Options::page() const noexcept { return data_->page; }
Options& Options::map_file(bool map) {
    data_->mapFile = map;
    return *this;
}
bool Options::map_file() const noexcept { return data_->mapFile; }
Options& Options::log_directory(const std::filesystem::path& directory) {
    data_->logDirectory = directory;
    return *this;
}
const std::filesystem::path& Options::log_directory() const noexcept { return data_->logDirectory; }
Options& Options::raw_fax(const FaxStream& stream) {
    data_->rawFax = stream;
    return *this;
}
Options& Options::tiff() {
    data_->rawFax.reset();
    return *this;
}
const FaxStream* Options::raw_fax() const noexcept { return data_->rawFax ? &*data_->rawFax : nullptr; }

FaxStream::FaxStream() : data_(std::make_unique<Data>()) {}
FaxStream::~FaxStream() = default;
FaxStream::FaxStream(const FaxStream& other) : data_(std::make_unique<Data>(*other.data_)) {}
FaxStream& FaxStream::operator=(const FaxStream& other) {
    if (this != &other) *data_ = *other.data_;
    return *this;
}
FaxStream::FaxStream(FaxStream&& other) noexcept : data_(std::move(other.data_)) { other.data_.reset(new Data()); }
FaxStream& FaxStream::operator=(FaxStream&& other) noexcept {
    if (this != &other) std::swap(data_, other.data_);
    return *this;
}
FaxStream& FaxStream::coding(FaxCoding coding) {
    data_->coding = coding;
    return *this;
}
FaxCoding FaxStream::coding() const noexcept { return data_->coding; }
FaxStream& FaxStream::pdf_k(int k) { return coding(k < 0 ? FaxCoding::g4 : k == 0 ? FaxCoding::g3 : FaxCoding::g3_2d); }
FaxStream& FaxStream::width(std::uint32_t columns) {
    data_->width = columns;
    return *this;
}
std::uint32_t FaxStream::width() const noexcept { return data_->width; }
FaxStream& FaxStream::rows(std::uint32_t rows) {
    data_->rows = rows;
    return *this;
}
std::uint32_t FaxStream::rows() const noexcept { return data_->rows; }
FaxStream& FaxStream::byte_aligned(bool aligned) {
    data_->byteAligned = aligned;
    return *this;
}
bool FaxStream::byte_aligned() const noexcept { return data_->byteAligned; }
FaxStream& FaxStream::black_is_1(bool black_is_1) {
    data_->blackIs1 = black_is_1;
    return *this;
}
bool FaxStream::black_is_1() const noexcept { return data_->blackIs1; }
FaxStream& FaxStream::lsb_first(bool lsb_first) {
    data_->lsbFirst = lsb_first;
    return *this;
}
bool FaxStream::lsb_first() const noexcept { return data_->lsbFirst; }

tvcore::RawFax CoreRawFax(const FaxStream& stream) {
    tvcore::RawFax fax;
    switch (stream.coding()) {
    case FaxCoding::mh: fax.compression = 2; break;
    case FaxCoding::g3: fax.compression = 3; break;
    case FaxCoding::g3_2d:
        fax.compression = 3;
        fax.twoDimensional = true;
        break;
    case FaxCoding::g4: fax.compression = 4; break;
    }
    fax.width = stream.width();
    fax.rows = stream.rows();
    fax.byteAligned = stream.byte_aligned();
    fax.blackIs1 = stream.black_is_1();
    fax.lsbFirst = stream.lsb_first();
    return fax;
}

namespace {

const std::shared_ptr<const PageInfo::Data>& NoPage() {
    static const std::shared_ptr<const PageInfo::Data> nothing = [] {
        auto data = std::make_shared<PageInfo::Data>();
        data->page.littleEndian = false;
        data->page.compression = 0;
        return data;
    }();
    return nothing;
}

const std::shared_ptr<const PageSummary::Data>& NoSummary() {
    static const std::shared_ptr<const PageSummary::Data> nothing = [] {
        auto data = std::make_shared<PageSummary::Data>();
        data->summary.status = TV_ERR_PAGE_MISSING;
        return data;
    }();
    return nothing;
}

}  // namespace

PageInfo::PageInfo() : data_(NoPage()) {}
PageInfo::PageInfo(std::shared_ptr<const Data> data) : data_(data ? std::move(data) : NoPage()) {}
PageInfo::~PageInfo() = default;
PageInfo::PageInfo(const PageInfo& other) = default;
PageInfo& PageInfo::operator=(const PageInfo& other) = default;

std::uint32_t PageInfo::page_count() const noexcept { return data_->page.pageCount; }
std::uint32_t PageInfo::page_index() const noexcept { return data_->page.pageIndex; }
std::uint32_t PageInfo::width() const noexcept { return data_->page.width; }
std::uint32_t PageInfo::length() const noexcept { return data_->page.length; }
std::size_t PageInfo::line_bytes() const noexcept { return data_->page.LineBytes(); }
std::uint32_t PageInfo::compression() const noexcept { return data_->page.compression; }
std::uint16_t PageInfo::photometric() const noexcept { return data_->page.photometric; }
bool PageInfo::photometric_assumed() const noexcept { return data_->page.photometricAssumed; }
bool PageInfo::little_endian() const noexcept { return data_->page.littleEndian; }
double PageInfo::x_resolution() const noexcept { return data_->page.xResolution; }
double PageInfo::y_resolution() const noexcept { return data_->page.yResolution; }
std::uint16_t PageInfo::resolution_unit() const noexcept { return data_->page.resolutionUnit; }
std::uint16_t PageInfo::fill_order() const noexcept { return data_->page.fillOrder; }
std::uint16_t PageInfo::orientation() const noexcept { return data_->page.orientation; }
std::uint32_t PageInfo::t4_options() const noexcept { return data_->page.t4Options; }
std::uint32_t PageInfo::t6_options() const noexcept { return data_->page.t6Options; }
bool PageInfo::tiled() const noexcept { return data_->page.tiled; }
std::uint32_t PageInfo::rows_per_strip() const noexcept { return data_->page.rowsPerStrip; }
std::uint32_t PageInfo::tile_width() const noexcept { return data_->page.tileWidth; }
std::uint32_t PageInfo::tile_length() const noexcept { return data_->page.tileLength; }
const std::vector<Chunk>& PageInfo::chunks() const noexcept { return data_->chunks; }

PageSummary::PageSummary() : data_(NoSummary()) {}
PageSummary::PageSummary(std::shared_ptr<const Data> data) : data_(data ? std::move(data) : NoSummary()) {}
PageSummary::~PageSummary() = default;
PageSummary::PageSummary(const PageSummary& other) = default;
PageSummary& PageSummary::operator=(const PageSummary& other) = default;

std::uint32_t PageSummary::status() const noexcept { return data_->summary.status; }
std::uint32_t PageSummary::width() const noexcept { return data_->summary.width; }
std::uint32_t PageSummary::length() const noexcept { return data_->summary.length; }
std::uint32_t PageSummary::bits_per_sample() const noexcept { return data_->summary.bitsPerSample; }
std::uint32_t PageSummary::samples_per_pixel() const noexcept { return data_->summary.samplesPerPixel; }
std::uint32_t PageSummary::compression() const noexcept { return data_->summary.compression; }
std::uint32_t PageSummary::photometric() const noexcept { return data_->summary.photometric; }
bool PageSummary::photometric_assumed() const noexcept { return data_->summary.photometricAssumed; }
bool PageSummary::tiled() const noexcept { return data_->summary.tiled; }
bool PageSummary::little_endian() const noexcept { return data_->littleEndian; }
bool PageSummary::bilevel() const noexcept { return data_->summary.Bilevel(); }

}  // namespace tiffview
