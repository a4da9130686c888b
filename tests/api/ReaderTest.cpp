// The C++ and C interfaces: moves, sources, checked buffers, messages, logs.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "TiffView.h"
#include "TiffViewC.h"
#include "TiffViewReader.hpp"
#include "core/Compressions.h"
#include "support/LzwEncoder.h"
#include "support/TestData.h"
#include "support/TiffBuilder.h"

namespace {

using tvtest::Bytes;

std::string Data(const std::string& name) { return std::string(TIFFVIEW_TESTDATA_DIR) + "/" + name; }

std::vector<Bytes> AllLines(tiffview::Reader& reader) {
    std::vector<Bytes> lines;
    Bytes line(reader.info().line_bytes());
    while (reader.has_more_lines()) {
        const tiffview::Result r = reader.read_line(line.data(), line.size());
        EXPECT_TRUE(r.ok()) << r.message();
        if (!r) break;
        lines.push_back(line);
    }
    return lines;
}

TEST(ModernReader, MovedReadersKeepReadingAndTheMovedFromOneIsEmpty) {
    tiffview::Reader first;
    ASSERT_TRUE(first.open(Data("pillow-g4-multi.tiff"), tiffview::Options().page(1)).ok());
    Bytes line(first.info().line_bytes());
    ASSERT_TRUE(first.read_line(line.data(), line.size()).ok());

    tiffview::Reader second(std::move(first));
    EXPECT_FALSE(first.is_open());
    EXPECT_EQ(first.read_line(line.data(), line.size()).code(), TV_ERR_FILE_HANDLE);
    EXPECT_EQ(second.line_index(), 1u);
    EXPECT_EQ(second.info().page_index(), 1u);

    // Readers relocated as a vector grows go on reading.
    std::vector<tiffview::Reader> readers;
    readers.push_back(std::move(second));
    for (int i = 0; i < 8; ++i) readers.emplace_back();
    EXPECT_EQ(AllLines(readers.front()).size(), readers.front().info().length() - 1);

    // A moved-from reader can open again.
    ASSERT_TRUE(first.open(Data("twelve-group4.tif")).ok());
    EXPECT_EQ(AllLines(first).size(), 4u);
}

TEST(ModernReader, MemoryAndPathGiveTheSameLinesOnEveryPage) {
    for (const char* name : {"pillow-multipage.tiff", "imgtiff-tiled-gray-i1.tif", "libtiff-testfax4.tiff"}) {
        const Bytes bytes = tvtest::ReadFileBytes(Data(name));
        tiffview::Reader fromFile, fromMemory;
        ASSERT_TRUE(fromFile.open(Data(name)).ok()) << name;
        for (std::uint32_t page = 0; page < fromFile.page_count(); ++page) {
            ASSERT_TRUE(fromFile.select_page(page).ok()) << name;
            ASSERT_TRUE(fromMemory.open(bytes.data(), bytes.size(), tiffview::Options().page(page)).ok());
            EXPECT_EQ(AllLines(fromFile), AllLines(fromMemory)) << name << " page " << page;
        }
    }
}

// Each page read line by line from its path, and as a whole through each
// of the other sources in turn: the same pixels, the same warnings (as
// ranges), and the same error where reading stops.
struct PageReading {
    Bytes pixels;
    std::vector<std::uint32_t> codes;  // one per line delivered, then the error if any
};

PageReading LineByLine(tiffview::Reader& reader) {
    PageReading out;
    Bytes line(reader.info().line_bytes());
    while (reader.has_more_lines()) {
        const tiffview::Result r = reader.read_line(line.data(), line.size());
        out.codes.push_back(r.code());
        if (!r) break;
        out.pixels.insert(out.pixels.end(), line.begin(), line.end());
    }
    return out;
}

PageReading Bulk(tiffview::Reader& reader, std::size_t padding) {
    PageReading out;
    const std::size_t stride = reader.info().line_bytes() + padding;  // rows apart, as in a padded image
    Bytes image(stride * reader.info().length());
    const tiffview::Result r = reader.read_page(image.data(), image.size(), static_cast<std::ptrdiff_t>(stride));
    out.codes.assign(reader.line_index(), TV_OK);
    for (const tiffview::Damage& d : reader.damage()) {
        for (std::uint32_t i = 0; i < d.line_count; ++i) out.codes[d.first_line + i] = d.code;
    }
    if (r.is_error()) out.codes.push_back(r.code());
    for (std::uint32_t y = 0; y < reader.line_index(); ++y) {
        out.pixels.insert(out.pixels.end(), image.begin() + y * stride, image.begin() + y * stride + reader.info().line_bytes());
    }
    return out;
}

std::size_t ReadAt(void* user, std::uint64_t offset, void* dest, std::size_t count) {
    const Bytes& bytes = *static_cast<const Bytes*>(user);
    if (offset >= bytes.size()) return 0;
    const std::size_t n = std::min<std::size_t>(count, bytes.size() - offset);
    std::memcpy(dest, bytes.data() + offset, n);
    return n;
}

TEST(ModernReader, EverySourceAndTheBulkReadGiveTheLinesReadOneByOne) {
    std::size_t pagesCompared = 0;
    for (const std::string& name : tvtest::TestDataTiffs()) {
        Bytes bytes = tvtest::ReadFileBytes(Data(name));
        tiffview::Reader byLine;
        byLine.open(Data(name));
        for (std::uint32_t page = 0; page < byLine.page_count(); ++page) {
            const tiffview::Options options = tiffview::Options().page(page).map_file(page % 2 == 1);
            if (!byLine.select_page(page)) continue;
            const PageReading expected = LineByLine(byLine);
            tiffview::Reader whole;
            const int fd = ::open(Data(name).c_str(), O_RDONLY);
            const tiffview::Result opened = pagesCompared % 3 == 0   ? whole.open(bytes.data(), bytes.size(), options)
                                            : pagesCompared % 3 == 1 ? whole.open_descriptor(fd, options)
                                                                     : whole.open(ReadAt, &bytes, bytes.size(), options);
            ::close(fd);
            ASSERT_TRUE(opened.ok()) << name << " page " << page << ": " << opened.message();
            const PageReading got = Bulk(whole, pagesCompared % 2 == 0 ? 0 : 3);
            EXPECT_EQ(got.codes, expected.codes) << name << " page " << page;
            EXPECT_TRUE(got.pixels == expected.pixels) << name << " page " << page;
            ++pagesCompared;
        }
    }
    EXPECT_GT(pagesCompared, 80u);
}

TEST(ModernReader, PagesAreListedWhenTheFirstIsRefused) {
    // An 8-bit cover page, then a bi-level page.
    tvtest::TiffBuilder b;
    const std::uint32_t grey = b.Append(Bytes(4, 0x80));
    const std::uint32_t bilevel = b.Append(Bytes(2, 0xF0));
    for (std::uint16_t bits : {8, 1}) {
        b.NewDirectory();
        b.AddShort(256, bits == 8 ? 2 : 16);
        b.AddShort(257, bits == 8 ? 2 : 1);
        b.AddShort(258, bits);
        b.AddShort(262, 0);
        b.AddShort(273, static_cast<std::uint16_t>(bits == 8 ? grey : bilevel));
        b.AddShort(279, bits == 8 ? 4 : 2);
    }
    const Bytes file = b.Build();
    tiffview::Reader reader;
    EXPECT_EQ(reader.open(file.data(), file.size()).code(), TV_ERR_BITS_PER_SAMPLE);
    EXPECT_FALSE(reader.is_open());
    ASSERT_EQ(reader.page_count(), 2u);
    EXPECT_FALSE(reader.page(0).bilevel());
    EXPECT_EQ(reader.page(0).bits_per_sample(), 8u);
    EXPECT_TRUE(reader.page(1).bilevel());
    EXPECT_EQ(reader.page(2).status(), TV_ERR_PAGE_MISSING);
    EXPECT_TRUE(reader.page(1).little_endian());
    tiffview::PageInfo described;
    EXPECT_EQ(reader.describe(0, described).code(), TV_ERR_BITS_PER_SAMPLE);
    ASSERT_TRUE(reader.describe(1, described).ok());
    EXPECT_EQ(described.width(), 16u);
    EXPECT_FALSE(reader.is_open()) << "describing opens no page";
    ASSERT_TRUE(reader.select_page(1).ok());
    Bytes line(2);
    EXPECT_TRUE(reader.read_line(line.data(), line.size()).ok());
    EXPECT_EQ(line, Bytes(2, 0xF0));
    reader.close_page();
    EXPECT_FALSE(reader.is_open());
    EXPECT_EQ(reader.page_count(), 2u) << "closing the page keeps the source";

    // Options::no_page opens the page list only.
    tiffview::Reader listOnly;
    EXPECT_TRUE(listOnly.open(file.data(), file.size(), tiffview::Options().page(tiffview::Options::no_page)).ok());
    EXPECT_FALSE(listOnly.is_open());
    EXPECT_EQ(listOnly.page_count(), 2u);
}

TEST(ModernReader, BulkReadsCheckTheirRoom) {
    tiffview::Reader reader;
    ASSERT_TRUE(reader.open(Data("twelve-group4.tif")).ok());  // 4 lines of 1 byte
    Bytes image(8);
    struct Case {
        std::size_t size;
        std::ptrdiff_t stride;
        std::uint32_t count;
    } refused[] = {{8, 0, 4}, {8, -1, 4}, {3, 1, 4}, {6, 2, 4}, {0, 1, 1}};
    for (const Case& c : refused) {
        EXPECT_EQ(reader.read_lines(image.data(), c.size, c.stride, c.count).code(), TV_ERR_LINE_BUFFER)
            << c.size << " " << c.stride << " " << c.count;
    }
    EXPECT_EQ(reader.line_index(), 0u) << "a refused buffer takes no line";
    EXPECT_TRUE(reader.read_lines(image.data(), 7, 2, 4).ok()) << "the last row needs only its own bytes";
    EXPECT_EQ(reader.read_lines(image.data(), 8, 2, 1).code(), TV_ERR_END_OF_IMAGE);
}

TEST(ModernReader, LineBuffersAreChecked) {
    tiffview::Reader reader;
    ASSERT_TRUE(reader.open(Data("twelve-group4.tif")).ok());
    Bytes line(reader.info().line_bytes());
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(reader.read_line(nullptr, 1).code(), TV_ERR_LINE_BUFFER);
    EXPECT_EQ(reader.read_line(line.data(), 0).code(), TV_ERR_LINE_BUFFER);
    EXPECT_EQ(reader.line_index(), 0u) << "a refused buffer takes no line";
    EXPECT_TRUE(reader.read_line(line.data(), line.size()).ok());
}

TEST(ModernReader, MessagesNameTheFileThePageTheTagAndTheSystemsReason) {
    tvtest::TempDir dir;
    const std::string deep = dir.Path() + "/" + std::string(120, 'a') + "/" + std::string(120, 'b') + "/" + std::string(120, 'c');
    std::filesystem::create_directories(deep);
    const std::string longName = deep + "/page.tif";
    tvtest::WriteFileBytes(longName, tvtest::ReadFileBytes(Data("twelve-group4.tif")));
    struct Case {
        std::string path;
        tiffview::Options options;
        std::uint32_t code;
        std::string contains;
    } cases[] = {
        {dir.File("missing.tif"), {}, TV_ERR_FILE_OPEN, "No such file or directory"},
        {dir.Path(), {}, TV_ERR_FILE_OPEN, "Is a directory"},
        {Data("twelve-group4.tif"), tiffview::Options().profile(tiffview::Profile::strict), TV_ERR_TAG_MISSING | 282u << 8,
         "tag 282 (XResolution)"},
        {Data("twelve-group4.tif"), tiffview::Options().page(7), TV_ERR_PAGE_MISSING, "page 7"},
        {longName, {}, TV_OK, "Success."},
    };
    for (const Case& c : cases) {
        tiffview::Reader reader;
        const tiffview::Result r = reader.open(c.path, c.options);
        EXPECT_EQ(r.code(), c.code) << r.message();
        EXPECT_NE(r.message().find(c.contains), std::string::npos) << r.message();
    }
}

// Every refusal of a compression names the scheme and why; the strict
// profile keeps its own sentence.
TEST(ModernReader, RefusedCompressionsAreNamed) {
    tvtest::TempDir dir;
    const std::string deflateRefusal = tvcore::CompressionReadable(8)
                                           ? ""
                                           : "Compression 8 (Deflate): this build has no Deflate decoder (libdeflate).";
    const struct {
        std::uint16_t compression;
        std::string message;  // "": the page opens
    } cases[] = {
        {34712, "Compression 34712 (JPEG 2000): not a bi-level coding."},
        {7, "Compression 7 (JPEG): not a bi-level coding."},
        {50000, "Compression 50000 (Zstandard): this library has no decoder for it."},
        {12345, "Compression 12345: not a compression scheme TIFF defines."},
        {8, deflateRefusal},
    };
    for (const auto& c : cases) {
        tvtest::BilevelLayout layout;
        layout.width = 16;
        layout.length = 2;
        layout.compression = c.compression;
        layout.strips = {{0x78, 0x9C, 0x63, 0x00, 0x82, 0xFF, 0x0F, 0x00, 0x03, 0x05, 0x01, 0xFF}};
        const std::string path = dir.Write("page.tif", tvtest::MakeBilevel(layout).Build());
        tiffview::Reader reader;
        const tiffview::Result r = reader.open(path);
        if (c.message.empty()) {
            EXPECT_TRUE(r.ok()) << r.message();
            continue;
        }
        EXPECT_EQ(r.code(), TV_ERR_COMPRESSION);
        EXPECT_EQ(r.message(), path + ": " + c.message);
        tiffview::PageInfo info;
        EXPECT_EQ(reader.describe(0, info).message(), path + ": " + c.message);
        const tiffview::Result strict = reader.open(path, tiffview::Options().profile(tiffview::Profile::strict));
        EXPECT_EQ(strict.code(), TV_ERR_COMPRESSION);
        EXPECT_NE(strict.message().find(TiffView_GetErrorText(TV_ERR_COMPRESSION)), std::string::npos) << strict.message();
        EXPECT_EQ(strict.message().find("Compression " + std::to_string(c.compression)), std::string::npos);
    }
    // Horizontal differencing means nothing for 1-bit samples: refused, as
    // libtiff refuses it, with Deflate as with LZW.
    if (tvcore::CompressionReadable(8)) {
        tvtest::BilevelLayout layout;
        layout.compression = 8;
        layout.strips = {{0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01}};
        tvtest::TiffBuilder builder = tvtest::MakeBilevel(layout);
        builder.AddShort(317, 2);
        tiffview::Reader reader;
        EXPECT_EQ(reader.open(dir.Write("predictor.tif", builder.Build())).code(), TV_ERR_TAG_VALUE | 317u << 8);
    }
}

TEST(ModernReader, SourcesThatCannotBeReadSayWhy) {
    tiffview::Reader reader;
    const tiffview::Result badDescriptor = reader.open_descriptor(-1);
    EXPECT_EQ(badDescriptor.code(), TV_ERR_FILE_OPEN);
    EXPECT_EQ(badDescriptor.system_error(), EBADF);
    EXPECT_NE(badDescriptor.message().find("Bad file descriptor"), std::string::npos) << badDescriptor.message();
    const tiffview::Result noFunction = reader.open(nullptr, nullptr, 100);
    EXPECT_EQ(noFunction.code(), TV_ERR_FILE_OPEN);
    EXPECT_NE(noFunction.message().find("Invalid argument"), std::string::npos) << noFunction.message();
    EXPECT_EQ(reader.open(nullptr, 0).code(), TV_ERR_HEADER_SHORT) << "no memory is an empty source";
    EXPECT_EQ(reader.page_count(), 0u);
}

TEST(ModernReader, EveryCodeHasItsOwnEnglishSentence) {
    const std::uint32_t codes[] = {
        TV_OK, TV_ERR_FILE_HANDLE, TV_ERR_PATH_LENGTH, TV_ERR_FILE_OPEN, TV_ERR_HEADER_SHORT, TV_ERR_BYTE_ORDER,
        TV_ERR_MAGIC, TV_ERR_IFD_OFFSET_ZERO, TV_ERR_PAGE_MISSING, TV_ERR_PAGE_OPTION, TV_ERR_FILE_SHORT,
        TV_ERR_IFD_COUNT_READ, TV_ERR_IFD_READ, TV_ERR_TAG_MISSING, TV_ERR_TAG_COUNT, TV_ERR_TAG_TYPE,
        TV_ERR_TAG_VALUE, TV_ERR_TAG_SEEK, TV_ERR_TAG_READ, TV_ERR_SAMPLES_PER_PIXEL, TV_ERR_BITS_PER_SAMPLE,
        TV_ERR_COMPRESSION, TV_ERR_PHOTOMETRIC, TV_ERR_NO_MEMORY, TV_ERR_END_OF_IMAGE, TV_ERR_DECODE,
        TV_ERR_STRIP_SHORT, TV_ERR_STRIP_LONG, TV_ERR_LINE_SHORT, TV_ERR_LINE_BUFFER, TV_ERR_LINE_DAMAGED,
        TV_ERR_ARGUMENT, TV_ERR_STRIP_SEEK, TV_ERR_STRIP_READ, 0xF0000099u};
    std::set<std::string> texts;
    for (std::uint32_t code : codes) texts.insert(TiffView_GetErrorText(code));
    EXPECT_EQ(texts.size(), std::size(codes));
    EXPECT_STREQ(TiffView_GetErrorText(TV_ERR_TAG_TYPE | 0x123400u), TiffView_GetErrorText(TV_ERR_TAG_TYPE));
}

std::size_t CountFiles(const std::string& directory) {
    std::size_t count = 0;
    if (DIR* d = opendir(directory.c_str())) {
        while (dirent* e = readdir(d)) count += e->d_name[0] != '.';
        closedir(d);
    }
    return count;
}

TEST(ModernReader, DiagnosticLogsOnlyWhereAsked) {
    // An LZW strip that decodes one row short: the strict profile logs it.
    tvtest::TempDir dir;
    tvtest::BilevelLayout layout;
    layout.width = 16;
    layout.length = 6;
    layout.rowsPerStrip = 3;
    layout.compression = 5;
    layout.strips = {tvtest::LzwEncode({1, 2, 3, 4}), tvtest::LzwEncode({5, 6, 7, 8, 9, 10})};
    const std::string image = dir.Write("short.tif", tvtest::MakeBilevel(layout).Build());
    for (bool asked : {false, true}) {
        const std::string logs = dir.File(asked ? "logs" : "none");
        const tiffview::Options options =
            tiffview::Options().profile(tiffview::Profile::strict).log_directory(asked ? logs : "");
        tiffview::Reader reader;
        ASSERT_TRUE(reader.open(image, options).ok());
        Bytes line(2);
        while (reader.has_more_lines() && reader.read_line(line.data(), line.size())) {
        }
        reader.close();
        EXPECT_EQ(CountFiles(logs), asked ? 1u : 0u);
    }
}

// Every field type in both byte orders, with values in the entry and past
// it; values outside the file and types without values come bare.
TEST(ModernReader, TagsGiveEveryEntryWithItsValues) {
    for (bool big : {false, true}) {
        tvtest::BilevelLayout layout;
        layout.bigEndian = big;
        layout.strips = {Bytes{0x80}};
        tvtest::TiffBuilder b = tvtest::MakeBilevel(layout);
        auto bits = [](float f) { std::uint32_t u; std::memcpy(&u, &f, 4); return u; };
        std::uint64_t d;
        const double tenth = 0.1;
        std::memcpy(&d, &tenth, 8);
        const auto hi = static_cast<std::uint32_t>(d >> 32), lo = static_cast<std::uint32_t>(d);
        // "ab\0z" in the entry itself; the builder writes the field in file order.
        b.AddEntry(269, tvtest::kAscii, 4, big ? 0x61620000u | 'z' : 0x7A006261u);
        b.AddEntry(305, tvtest::kAscii, 9, b.Append(Bytes{'t', 'i', 'f', 'f', 'v', 'i', 'e', 'w', 0}));
        b.AddEntry(297, tvtest::kShort, 3, b.AppendShorts({1, 3, 65535}));
        b.AddEntry(600, tvtest::kRational, 1, b.AppendRational(300, 8));
        b.AddEntry(601, 10, 1, b.AppendLongs({0xFFFFFFFDu, 4}));
        b.AddEntry(602, 8, 3, b.AppendShorts({0xFFFE, 5, 0x8000}));
        b.AddEntry(603, 9, 2, b.AppendLongs({0xFFFFFFFFu, 7}));
        b.AddEntry(604, 11, 2, b.AppendLongs({bits(1.5f), bits(-0.25f)}));
        b.AddEntry(605, 12, 1, b.AppendLongs(big ? std::vector<std::uint32_t>{hi, lo} : std::vector<std::uint32_t>{lo, hi}));
        b.AddEntry(606, 7, 5, b.Append(Bytes{0, 1, 2, 255, 'x'}));
        b.AddEntry(607, tvtest::kLong, 4, 0x7FFFFFF0u);  // past the end
        b.AddEntry(608, 99, 1, 0);                       // no such type
        const Bytes file = b.Build();

        tiffview::Reader reader;
        std::vector<tiffview::TagEntry> tags;
        EXPECT_EQ(reader.tags(0, tags).code(), TV_ERR_FILE_HANDLE);
        ASSERT_TRUE(reader.open(file.data(), file.size()).ok());
        EXPECT_EQ(reader.tags(1, tags).kind(), TV_ERR_PAGE_MISSING);
        ASSERT_TRUE(reader.tags(0, tags).ok());
        auto find = [&](std::uint16_t number) -> const tiffview::TagEntry& {
            static const tiffview::TagEntry kAbsent;
            for (const tiffview::TagEntry& t : tags) if (t.tag == number) return t;
            ADD_FAILURE() << "tag " << number << " missing";
            return kAbsent;
        };
        struct Expected {
            std::uint16_t number;
            std::uint64_t count;
            std::string text;
            std::vector<std::int64_t> integers;
            std::vector<double> reals;
            bool complete;
        };
        const Expected table[] = {
            {256, 1, "", {8}, {}, true},
            {269, 4, "ab", {}, {}, true},
            {305, 9, "tiffview", {}, {}, true},
            {297, 3, "", {1, 3, 65535}, {}, true},
            {600, 1, "", {}, {37.5}, true},
            {601, 1, "", {}, {-0.75}, true},
            {602, 3, "", {-2, 5, -32768}, {}, true},
            {603, 2, "", {-1, 7}, {}, true},
            {604, 2, "", {}, {1.5, -0.25}, true},
            {605, 1, "", {}, {0.1}, true},
            {606, 5, "", {0, 1, 2, 255, 'x'}, {}, true},
            {607, 4, "", {}, {}, false},
            {608, 1, "", {}, {}, false},
        };
        for (const Expected& e : table) {
            const tiffview::TagEntry& t = find(e.number);
            const std::string where = std::to_string(e.number) + (big ? " MM" : " II");
            EXPECT_EQ(t.count, e.count) << where;
            EXPECT_EQ(t.text, e.text) << where;
            EXPECT_EQ(t.integers, e.integers) << where;
            EXPECT_EQ(t.reals, e.reals) << where;
            EXPECT_EQ(t.complete, e.complete) << where;
        }
    }
}

TEST(CInterface, ReadsPagesFromMemoryWithMessages) {
    const Bytes bytes = tvtest::ReadFileBytes(Data("pillow-g4-multi.tiff"));
    tv_reader* reader = tv_reader_new();
    ASSERT_NE(reader, nullptr);
    tv_set_page(reader, 3);
    EXPECT_EQ(tv_open_memory(reader, bytes.data(), bytes.size()), TVC_ERR_PAGE_MISSING);
    EXPECT_NE(std::string(tv_message(reader)).find("page 3"), std::string::npos);
    EXPECT_EQ(tv_page_count(reader), 3u) << "the source stays open for its page list";
    ASSERT_EQ(tv_select_page(reader, 2), TVC_OK);
    tv_page_info info{};
    EXPECT_EQ(tv_get_page_info(reader, &info), TV_ERR_ARGUMENT) << "the struct's size must be set";
    info.size = sizeof info;
    ASSERT_EQ(tv_get_page_info(reader, &info), TVC_OK);
    EXPECT_EQ(info.page_count, 3u);
    std::uint64_t offset = 0, count = 0;
    EXPECT_EQ(tv_get_chunk(reader, 0, &offset, &count), 1);
    EXPECT_EQ(tv_get_chunk(reader, info.chunk_count, &offset, &count), 0);
    tv_close_page(reader);
    EXPECT_EQ(tv_get_page_info(reader, &info), TVC_ERR_FILE_HANDLE);
    ASSERT_EQ(tv_select_page(reader, 2), TVC_OK);
    Bytes line(info.line_bytes);
    EXPECT_EQ(tv_read_line(reader, line.data(), line.size() - 1), TVC_ERR_LINE_BUFFER);
    std::uint32_t y = 0;
    while (y < info.length && !tv_is_error(tv_read_line(reader, line.data(), line.size()))) ++y;
    EXPECT_EQ(y, info.length);
    EXPECT_EQ(tv_read_line(reader, line.data(), line.size()), TVC_ERR_END_OF_IMAGE);
    tv_reader_free(reader);
}

// A page without PhotometricInterpretation is described as assumed, in
// both structs; a caller built before the field was added keeps its size.
TEST(CInterface, AssumedPhotometricIsReported) {
    tvtest::TiffBuilder b;
    const std::uint32_t strip = b.Append(Bytes(2, 0xF0));
    b.NewDirectory();
    b.AddShort(256, 16);
    b.AddShort(257, 1);
    b.AddShort(273, static_cast<std::uint16_t>(strip));
    b.AddShort(279, 2);
    const Bytes file = b.Build();
    tv_reader* reader = tv_reader_new();
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(tv_open_memory(reader, file.data(), file.size()), TVC_OK);
    tv_page_info info{};
    info.size = sizeof info;
    ASSERT_EQ(tv_get_page_info(reader, &info), TVC_OK);
    EXPECT_EQ(info.photometric_assumed, 1);
    EXPECT_EQ(info.photometric, 1u) << "uncompressed: min-is-black";
    tv_page_summary summary{};
    summary.size = sizeof summary;
    ASSERT_EQ(tv_get_page_summary(reader, 0, &summary), TVC_OK);
    EXPECT_EQ(summary.photometric_assumed, 1);
    EXPECT_EQ(summary.photometric, 1u);
    tv_page_info older{};
    older.size = offsetof(tv_page_info, photometric_assumed);
    older.photometric_assumed = 7;
    ASSERT_EQ(tv_get_page_info(reader, &older), TVC_OK);
    EXPECT_EQ(older.photometric_assumed, 7) << "written past the caller's size";
    Bytes line(2);
    EXPECT_EQ(tv_read_line(reader, line.data(), line.size()), TVC_OK);
    EXPECT_EQ(line, Bytes(2, 0x0F));
    tv_reader_free(reader);
}

}  // namespace

// A raw fax stream opens as one page whatever the source; parameters no
// stream can have, and a stream without a line, are refused.
TEST(ModernReader, RawFaxStreamsOpenAsOnePage) {
    const Bytes g4 = tvtest::ReadFileBytes(Data("golang-ccitt-bw-gopher.ccitt_group4"));
    const tiffview::FaxStream stream = tiffview::FaxStream().pdf_k(-1).width(153);
    tiffview::Reader reader;
    ASSERT_TRUE(reader.open(g4.data(), g4.size(), tiffview::Options().raw_fax(stream)).ok());
    EXPECT_EQ(reader.page_count(), 1u);
    EXPECT_EQ(reader.info().compression(), 4u);
    EXPECT_EQ(reader.info().length(), 55u);
    EXPECT_EQ(reader.page(0).width(), 153u);
    std::vector<tiffview::TagEntry> tags;
    EXPECT_TRUE(reader.tags(0, tags).ok());
    EXPECT_TRUE(tags.empty());
    EXPECT_EQ(reader.select_page(1).kind(), TV_ERR_PAGE_MISSING);

    const struct {
        tiffview::FaxStream stream;
        std::size_t bytes;
        std::uint32_t code;
    } refused[] = {
        {tiffview::FaxStream().width(0), g4.size(), TV_ERR_ARGUMENT},
        {tiffview::FaxStream().width(1u << 30), g4.size(), TV_ERR_ARGUMENT},
        {stream, 0, TV_ERR_FILE_SHORT},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(reader.open(g4.data(), r.bytes, tiffview::Options().raw_fax(r.stream)).kind(), r.code);
    }
    // Given rows of an empty stream are white, each with a warning.
    ASSERT_TRUE(reader.open(g4.data(), 0, tiffview::Options().raw_fax(tiffview::FaxStream(stream).rows(3))).ok());
    std::vector<std::uint8_t> page(3 * reader.info().line_bytes(), 0xAA);
    EXPECT_TRUE(reader.read_page(page.data(), page.size(), static_cast<std::ptrdiff_t>(reader.info().line_bytes())).is_warning());
    EXPECT_EQ(page, std::vector<std::uint8_t>(page.size(), 0));
}

TEST(CInterface, ReadsRawFaxStreams) {
    const Bytes g3 = tvtest::ReadFileBytes(Data("golang-ccitt-bw-gopher-inverted-aligned.ccitt_group3"));
    tv_reader* reader = tv_reader_new();
    ASSERT_NE(reader, nullptr);
    tv_fax_stream stream;
    tv_fax_stream_init(&stream);
    EXPECT_EQ(stream.width, 1728u);
    stream.width = 153;
    stream.byte_aligned = 1;
    stream.black_is_1 = 1;
    stream.coding = 9;
    EXPECT_EQ(tv_set_fax_stream(reader, &stream), TV_ERR_ARGUMENT);
    stream.coding = TV_FAX_G3;
    ASSERT_EQ(tv_set_fax_stream(reader, &stream), TVC_OK);
    ASSERT_EQ(tv_open_memory(reader, g3.data(), g3.size()), TVC_OK) << tv_message(reader);
    tv_page_info info;
    info.size = sizeof info;
    tv_get_page_info(reader, &info);
    EXPECT_EQ(info.width, 153u);
    EXPECT_EQ(info.length, 55u);
    // The picture the TIFF holds (the interop tests hold the stream to it).
    tiffview::Reader tiff;
    ASSERT_TRUE(tiff.open(Data("golang-bw-gopher_ccittGroup4.tiff")).ok());
    std::vector<std::uint8_t> ours(info.line_bytes), theirs(info.line_bytes);
    for (std::uint32_t y = 0; y < info.length; ++y) {
        ASSERT_EQ(tv_read_line(reader, ours.data(), ours.size()), TVC_OK);
        ASSERT_TRUE(tiff.read_line(theirs.data(), theirs.size()).ok());
        EXPECT_EQ(ours, theirs) << "line " << y;
    }
    // Back to TIFF: the stream is no TIFF file.
    EXPECT_EQ(tv_set_fax_stream(reader, nullptr), TVC_OK);
    EXPECT_NE(tv_open_memory(reader, g3.data(), g3.size()), TVC_OK);
    tv_reader_free(reader);
}
