#include "ImageWriter.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

#ifdef TIFFVIEW_TOOL_HAVE_PNG
#include <png.h>
#endif

namespace tvtool {

namespace {

std::size_t LineBytes(std::uint32_t width) { return (static_cast<std::size_t>(width) + 7) / 8; }

// The padding bits after the last pixel of a line, cleared so that the
// same picture always gives the same file.
std::uint8_t LastByteMask(std::uint32_t width) {
    const unsigned used = width % 8;
    return used == 0 ? 0xFF : static_cast<std::uint8_t>(0xFF << (8 - used));
}

// Netpbm P4: 1 = black, rows padded to whole bytes, exactly the library's
// line layout.
class PbmWriter : public ImageWriter {
public:
    bool Begin(std::FILE* out, const ImageHeader& header) override {
        out_ = out;
        width_ = header.width;
        row_.assign(LineBytes(width_), 0);
        if (std::fprintf(out_, "P4\n%u %u\n", static_cast<unsigned>(header.width),
                         static_cast<unsigned>(header.length)) < 0)
            return Fail();
        return true;
    }
    bool WriteLine(const std::uint8_t* line) override {
        if (row_.empty()) return true;
        std::memcpy(row_.data(), line, row_.size());
        row_.back() &= LastByteMask(width_);
        if (std::fwrite(row_.data(), 1, row_.size(), out_) != row_.size()) return Fail();
        return true;
    }
    bool Finish() override { return std::fflush(out_) == 0 || Fail(); }
    std::string Error() const override { return error_; }

private:
    bool Fail() {
        error_ = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }

    std::FILE* out_ = nullptr;
    std::uint32_t width_ = 0;
    std::vector<std::uint8_t> row_;
    std::string error_;
};

#ifdef TIFFVIEW_TOOL_HAVE_PNG

// libpng reports errors by longjmp; every call into it happens in a member
// function whose only locals are trivial, so no destructor is skipped.
class PngWriter : public ImageWriter {
public:
    ~PngWriter() override {
        if (png_ != nullptr) png_destroy_write_struct(&png_, &info_);
    }

    bool Begin(std::FILE* out, const ImageHeader& header) override {
        width_ = header.width;
        row_.assign(LineBytes(width_), 0);
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, &PngWriter::OnError, &PngWriter::OnWarning);
        if (png_ == nullptr) return Fail("cannot set up the PNG encoder");
        info_ = png_create_info_struct(png_);
        if (info_ == nullptr) return Fail("cannot set up the PNG encoder");
        if (setjmp(png_jmpbuf(png_))) return false;
        png_init_io(png_, out);
        // The default limits are for reading untrusted files; a fax page
        // written by this tool may be wider than a million pixels.
        png_set_user_limits(png_, 0x7FFFFFFF, 0x7FFFFFFF);
        png_set_IHDR(png_, info_, header.width, header.length, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (header.xDotsPerMetre > 0 && header.yDotsPerMetre > 0 && header.xDotsPerMetre < 4e9 &&
            header.yDotsPerMetre < 4e9)
            png_set_pHYs(png_, info_, static_cast<png_uint_32>(header.xDotsPerMetre + 0.5),
                         static_cast<png_uint_32>(header.yDotsPerMetre + 0.5), PNG_RESOLUTION_METER);
        png_write_info(png_, info_);
        return true;
    }

    bool WriteLine(const std::uint8_t* line) override {
        // PNG grey level 0 is black, the opposite of the library's lines.
        for (std::size_t i = 0; i < row_.size(); ++i) row_[i] = static_cast<std::uint8_t>(~line[i]);
        if (!row_.empty()) row_.back() &= LastByteMask(width_);
        if (setjmp(png_jmpbuf(png_))) return false;
        png_write_row(png_, row_.data());
        return true;
    }

    bool Finish() override {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_write_end(png_, info_);
        return true;
    }

    std::string Error() const override {
        if (!error_.empty()) return error_;
        if (hasPending_) return pending_;
        return "PNG encoder failed";
    }

private:
    static void OnError(png_structp png, png_const_charp message) {
        auto* self = static_cast<PngWriter*>(png_get_error_ptr(png));
        // Only a fixed-size copy here: this frame is left by longjmp.
        std::strncpy(self->pending_, message, sizeof self->pending_ - 1);
        self->pending_[sizeof self->pending_ - 1] = '\0';
        self->hasPending_ = true;
        png_longjmp(png, 1);
    }
    static void OnWarning(png_structp, png_const_charp) {}

    bool Fail(const char* message) {
        error_ = message;
        return false;
    }

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::uint32_t width_ = 0;
    std::vector<std::uint8_t> row_;
    std::string error_;
    char pending_[256] = {};
    bool hasPending_ = false;
};

#endif

}  // namespace

bool PngAvailable() {
#ifdef TIFFVIEW_TOOL_HAVE_PNG
    return true;
#else
    return false;
#endif
}

std::unique_ptr<ImageWriter> MakeImageWriter(ImageFormat format) {
    switch (format) {
    case ImageFormat::Pbm:
        return std::make_unique<PbmWriter>();
    case ImageFormat::Png:
#ifdef TIFFVIEW_TOOL_HAVE_PNG
        return std::make_unique<PngWriter>();
#else
        return nullptr;
#endif
    }
    return nullptr;
}

const char* FormatName(ImageFormat format) { return format == ImageFormat::Png ? "PNG" : "PBM"; }

}  // namespace tvtool
