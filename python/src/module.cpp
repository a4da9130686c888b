// tiffview._tiffview: the extension under the tiffview package. It holds one
// tiffview::Reader per document and fills numpy arrays in bulk, with the GIL
// released; the Python layer (tiffview/__init__.py) shapes the API, raises
// the errors and issues the warnings.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "TiffView.h"
#include "TiffViewReader.hpp"

namespace py = pybind11;

namespace {

// Output pixels for every stored byte, 8 to a byte, first pixel (bit 7)
// first: one 8-byte copy per byte instead of a shift per pixel.
struct UnpackTables {
    alignas(8) std::uint8_t black[256][8];  // bool: 1 = black
    alignas(8) std::uint8_t grey[256][8];   // mode "L": 0 = black, 255 = white
    UnpackTables() {
        for (int b = 0; b < 256; ++b) {
            for (int i = 0; i < 8; ++i) {
                const bool set = (b >> (7 - i)) & 1;
                black[b][i] = set ? 1 : 0;
                grey[b][i] = set ? 0 : 255;
            }
        }
    }
};
const UnpackTables kTables;

enum Mode { kBool = 0, kGrey = 1, kPacked = 2 };

void UnpackRow(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, const std::uint8_t (*table)[8]) {
    const std::uint32_t full = width / 8;
    for (std::uint32_t i = 0; i < full; ++i) std::memcpy(dst + 8 * std::size_t{i}, table[src[i]], 8);
    if (const std::uint32_t rest = width % 8) std::memcpy(dst + 8 * std::size_t{full}, table[src[full]], rest);
}

// Rows decoded per call when they must be unpacked: enough to amortise a
// call, few enough that the packed rows stay in cache until unpacked.
constexpr std::uint32_t kChunkRows = 64;

using Outcome = std::tuple<std::uint32_t, std::string>;
using DamageList = std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>;

Outcome From(const tiffview::Result& r) { return Outcome(r.code(), r.ok() ? std::string() : r.message()); }

py::dict InfoDict(const tiffview::PageInfo& info) {
    py::dict d;
    d["page_count"] = info.page_count();
    d["index"] = info.page_index();
    d["width"] = info.width();
    d["height"] = info.length();
    d["line_bytes"] = info.line_bytes();
    d["compression"] = info.compression();
    d["photometric"] = info.photometric();
    d["little_endian"] = info.little_endian();
    d["x_resolution"] = info.x_resolution();
    d["y_resolution"] = info.y_resolution();
    d["resolution_unit"] = info.resolution_unit();
    d["fill_order"] = info.fill_order();
    d["orientation"] = info.orientation();
    d["t4_options"] = info.t4_options();
    d["t6_options"] = info.t6_options();
    d["tiled"] = info.tiled();
    d["rows_per_strip"] = info.rows_per_strip();
    d["tile_width"] = info.tile_width();
    d["tile_length"] = info.tile_length();
    d["chunks"] = info.chunks().size();
    return d;
}

constexpr std::uint16_t kAscii = 2;
// BYTE, SBYTE and UNDEFINED values go to Python as bytes.
bool ByteType(std::uint16_t type) { return type == 1 || type == 6 || type == 7; }

// One document: a reader, the buffer it reads when opened from memory, and
// a lock so that a document shared by threads is used by one at a time.
// Every method releases the GIL before taking the lock, so that a thread
// waiting for the lock never holds the GIL another needs.
class Document {
public:
    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() { ReleaseBuffer(); }

    Outcome OpenPath(const py::bytes& path, bool strict, const py::object& fax) {
        std::string p = path;
        Close();
        const tiffview::Options options = Options(strict, fax);
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        return From(reader_.open(std::filesystem::path(p), options));
    }

    Outcome OpenBuffer(const py::object& object, bool strict, const py::object& fax) {
        const tiffview::Options options = Options(strict, fax);
        Close();
        // A simple (contiguous) view; the exporter keeps the bytes in place
        // until it is released.
        if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
        hasView_ = true;
        const void* data = view_.buf;
        const std::size_t size = static_cast<std::size_t>(view_.len);
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        return From(reader_.open(data, size, options));
    }

    void Close() {
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            reader_.close();
        }
        ReleaseBuffer();
    }

    std::uint32_t PageCount() {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(mutex_);
        return reader_.page_count();
    }

    py::dict Summary(std::uint32_t index) {
        tiffview::PageSummary s;
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            s = reader_.page(index);
        }
        py::dict d;
        d["status"] = s.status();
        d["width"] = s.width();
        d["height"] = s.length();
        d["bits_per_sample"] = s.bits_per_sample();
        d["samples_per_pixel"] = s.samples_per_pixel();
        d["compression"] = s.compression();
        d["photometric"] = s.photometric();
        d["tiled"] = s.tiled();
        d["bilevel"] = s.bilevel();
        return d;
    }

    py::tuple Describe(std::uint32_t index) {
        tiffview::PageInfo info;
        tiffview::Result r;
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            r = reader_.describe(index, info);
        }
        if (!r.ok()) return py::make_tuple(r.code(), r.message(), py::none());
        return py::make_tuple(0u, std::string(), InfoDict(info));
    }

    py::tuple Tags(std::uint32_t index) {
        std::vector<tiffview::TagEntry> tags;
        tiffview::Result r;
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            r = reader_.tags(index, tags, UINT32_MAX);
        }
        py::list out;
        for (const tiffview::TagEntry& t : tags) {
            py::object value;
            if (t.type == kAscii) {
                value = py::bytes(t.text);
            } else if (ByteType(t.type)) {
                std::string bytes(t.integers.size(), '\0');
                for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(t.integers[i] & 0xFF);
                value = py::bytes(bytes);
            } else if (!t.reals.empty()) {
                py::tuple v(t.reals.size());
                for (std::size_t i = 0; i < t.reals.size(); ++i) v[i] = py::float_(t.reals[i]);
                value = v;
            } else {
                py::tuple v(t.integers.size());
                for (std::size_t i = 0; i < t.integers.size(); ++i) v[i] = py::int_(static_cast<long long>(t.integers[i]));
                value = v;
            }
            out.append(py::make_tuple(t.tag, t.type, t.count, value));
        }
        return py::make_tuple(r.code(), r.ok() ? std::string() : r.message(), out);
    }

    // Rows [start, stop) of page `index` into `out`: packed rows, or one
    // byte a pixel. Returns the outcome and the damaged lines among them.
    py::tuple Read(std::uint32_t index, std::uint32_t start, std::uint32_t stop, int mode, py::array out) {
        if (out.ndim() != 2 || out.itemsize() != 1 || !out.writeable() || out.strides(1) != 1 || out.strides(0) <= 0) {
            throw py::value_error("out must be a writable 2-D array of 1-byte items with contiguous rows");
        }
        if (stop < start) throw py::value_error("stop before start");
        const auto rows = static_cast<std::uint32_t>(out.shape(0));
        if (rows != stop - start) throw py::value_error("out has the wrong number of rows");
        std::uint8_t* const base = static_cast<std::uint8_t*>(out.mutable_data());
        const std::ptrdiff_t stride = out.strides(0);
        const std::size_t columns = static_cast<std::size_t>(out.shape(1));
        Outcome outcome;
        DamageList damage;
        {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(mutex_);
            outcome = ReadLocked(index, start, stop, mode, base, stride, columns, damage);
        }
        return py::make_tuple(std::get<0>(outcome), std::get<1>(outcome), damage);
    }

private:
    // The default profile opens the page list only, so that a file whose
    // first page is refused (an 8-bit cover page) still opens; pages open
    // when read. The strict profile reads the first page alone and judges
    // it when the file opens.
    // A raw fax stream comes as (coding, width, rows, byte_aligned,
    // black_is_1, lsb_first), coding 0 to 3 for mh, g3, g3-2d and g4.
    static tiffview::Options Options(bool strict, const py::object& fax) {
        tiffview::Options options;
        if (strict) {
            options.profile(tiffview::Profile::strict);
        } else {
            options.page(tiffview::Options::no_page);
        }
        if (!fax.is_none()) {
            const auto t = fax.cast<std::tuple<unsigned, std::uint32_t, std::uint32_t, bool, bool, bool>>();
            static const tiffview::FaxCoding kCodings[] = {tiffview::FaxCoding::mh, tiffview::FaxCoding::g3,
                                                           tiffview::FaxCoding::g3_2d, tiffview::FaxCoding::g4};
            if (std::get<0>(t) > 3) throw py::value_error("no such fax coding");
            options.raw_fax(tiffview::FaxStream()
                                .coding(kCodings[std::get<0>(t)])
                                .width(std::get<1>(t))
                                .rows(std::get<2>(t))
                                .byte_aligned(std::get<3>(t))
                                .black_is_1(std::get<4>(t))
                                .lsb_first(std::get<5>(t)));
            options.page(tiffview::Options::no_page);
        }
        return options;
    }

    void ReleaseBuffer() {
        if (hasView_) {
            PyBuffer_Release(&view_);
            hasView_ = false;
        }
    }

    Outcome Fail(const tiffview::Result& r) {
        // The next read opens the page afresh rather than going on from
        // wherever this one stopped.
        reader_.close_page();
        return From(r);
    }

    Outcome ReadLocked(std::uint32_t index, std::uint32_t start, std::uint32_t stop, int mode, std::uint8_t* base,
                       std::ptrdiff_t stride, std::size_t columns, DamageList& damage) {
        // Lines come in order: a page already past `start` is opened again.
        if (!reader_.is_open() || reader_.info().page_index() != index || reader_.line_index() > start) {
            const tiffview::Result r = reader_.select_page(index);
            if (!r) return Fail(r);
        }
        const tiffview::PageInfo& info = reader_.info();
        const std::uint32_t width = info.width();
        const std::size_t lineBytes = info.line_bytes();
        if (stop > info.length()) throw std::out_of_range("rows past the end of the page");
        if (columns != (mode == kPacked ? lineBytes : std::size_t{width})) {
            throw std::invalid_argument("out has the wrong number of columns");
        }
        scratch_.resize(std::max<std::size_t>(lineBytes, 1) * kChunkRows);
        tiffview::Result r;
        while (reader_.line_index() < start) {
            const std::uint32_t n = std::min(kChunkRows, start - reader_.line_index());
            r = reader_.read_lines(scratch_.data(), scratch_.size(), static_cast<std::ptrdiff_t>(lineBytes), n);
            if (!r) return Fail(r);
        }
        tiffview::Result first;  // the first warning among the rows asked for
        if (mode == kPacked && stop > start) {
            const std::size_t size = static_cast<std::size_t>(stride) * (stop - start - 1) + lineBytes;
            first = reader_.read_lines(base, size, stride, stop - start);
            if (!first) return Fail(first);
            // The bits past the last pixel are not defined by the reader (an
            // inverted page sets them); numpy users expect them clear, as
            // numpy.packbits leaves them.
            if (const std::uint32_t used = width % 8) {
                const auto keep = static_cast<std::uint8_t>(0xFF00u >> used);
                for (std::uint32_t y = 0; y < stop - start; ++y) base[y * stride + static_cast<std::ptrdiff_t>(lineBytes) - 1] &= keep;
            }
        } else {
            const std::uint8_t(*table)[8] = mode == kBool ? kTables.black : kTables.grey;
            for (std::uint32_t y = start; y < stop;) {
                const std::uint32_t n = std::min(kChunkRows, stop - y);
                r = reader_.read_lines(scratch_.data(), scratch_.size(), static_cast<std::ptrdiff_t>(lineBytes), n);
                if (!r) return Fail(r);
                if (r.is_warning() && first.ok()) first = r;
                for (std::uint32_t i = 0; i < n; ++i) {
                    UnpackRow(scratch_.data() + i * lineBytes, base + static_cast<std::ptrdiff_t>(y - start + i) * stride,
                              width, table);
                }
                y += n;
            }
        }
        for (const tiffview::Damage& d : reader_.damage()) {
            const std::uint32_t from = std::max(d.first_line, start);
            const std::uint32_t to = std::min(d.first_line + d.line_count, stop);
            if (from < to) damage.emplace_back(from, to - from, d.code);
        }
        return From(first);
    }

    std::mutex mutex_;
    tiffview::Reader reader_;
    Py_buffer view_{};
    bool hasView_ = false;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace

PYBIND11_MODULE(_tiffview, m) {
    m.doc() = "The compiled core of the tiffview package; use the tiffview package itself.";

    py::class_<Document>(m, "Document")
        .def(py::init<>())
        .def("open_path", &Document::OpenPath, py::arg("path"), py::arg("strict"), py::arg("fax") = py::none())
        .def("open_buffer", &Document::OpenBuffer, py::arg("buffer"), py::arg("strict"), py::arg("fax") = py::none())
        .def("close", &Document::Close)
        .def("page_count", &Document::PageCount)
        .def("summary", &Document::Summary, py::arg("index"))
        .def("describe", &Document::Describe, py::arg("index"))
        .def("tags", &Document::Tags, py::arg("index"))
        .def("read", &Document::Read, py::arg("index"), py::arg("start"), py::arg("stop"), py::arg("mode"),
             py::arg("out"));

    m.def("error_text", [](std::uint32_t code) { return std::string(TiffView_GetErrorText(code)); }, py::arg("code"),
          "The English sentence for a result code, without its context.");
    m.def("is_warning", [](std::uint32_t code) { return TiffView_IsWarning(code); }, py::arg("code"));

    py::dict codes;
    codes["TV_OK"] = TV_OK;
#define TIFFVIEW_CODE(name) codes[#name] = name;
    TIFFVIEW_CODE(TV_ERR_FILE_HANDLE)
    TIFFVIEW_CODE(TV_ERR_PATH_LENGTH)
    TIFFVIEW_CODE(TV_ERR_FILE_OPEN)
    TIFFVIEW_CODE(TV_ERR_HEADER_SHORT)
    TIFFVIEW_CODE(TV_ERR_BYTE_ORDER)
    TIFFVIEW_CODE(TV_ERR_MAGIC)
    TIFFVIEW_CODE(TV_ERR_IFD_OFFSET_ZERO)
    TIFFVIEW_CODE(TV_ERR_PAGE_MISSING)
    TIFFVIEW_CODE(TV_ERR_PAGE_OPTION)
    TIFFVIEW_CODE(TV_ERR_FILE_SHORT)
    TIFFVIEW_CODE(TV_ERR_IFD_COUNT_READ)
    TIFFVIEW_CODE(TV_ERR_IFD_READ)
    TIFFVIEW_CODE(TV_ERR_TAG_MISSING)
    TIFFVIEW_CODE(TV_ERR_TAG_COUNT)
    TIFFVIEW_CODE(TV_ERR_TAG_TYPE)
    TIFFVIEW_CODE(TV_ERR_TAG_VALUE)
    TIFFVIEW_CODE(TV_ERR_TAG_SEEK)
    TIFFVIEW_CODE(TV_ERR_TAG_READ)
    TIFFVIEW_CODE(TV_ERR_SAMPLES_PER_PIXEL)
    TIFFVIEW_CODE(TV_ERR_BITS_PER_SAMPLE)
    TIFFVIEW_CODE(TV_ERR_COMPRESSION)
    TIFFVIEW_CODE(TV_ERR_PHOTOMETRIC)
    TIFFVIEW_CODE(TV_ERR_NO_MEMORY)
    TIFFVIEW_CODE(TV_ERR_END_OF_IMAGE)
    TIFFVIEW_CODE(TV_ERR_DECODE)
    TIFFVIEW_CODE(TV_ERR_STRIP_SHORT)
    TIFFVIEW_CODE(TV_ERR_STRIP_LONG)
    TIFFVIEW_CODE(TV_ERR_LINE_SHORT)
    TIFFVIEW_CODE(TV_ERR_LINE_BUFFER)
    TIFFVIEW_CODE(TV_ERR_LINE_DAMAGED)
    TIFFVIEW_CODE(TV_ERR_ARGUMENT)
    TIFFVIEW_CODE(TV_ERR_STRIP_SEEK)
    TIFFVIEW_CODE(TV_ERR_STRIP_READ)
#undef TIFFVIEW_CODE
    m.attr("codes") = codes;
    m.attr("CODE_MASK") = TV_CODE_MASK;
    Version_t version;
    TiffView_GetVersion(&version);
    m.attr("version") = std::to_string(version.Byte[0]) + "." + std::to_string(version.Byte[1]) + "." +
                        std::to_string(version.Byte[2]) + "." + std::to_string(version.Byte[3]);
}
