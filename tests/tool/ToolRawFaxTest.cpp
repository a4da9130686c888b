// Raw fax streams through the tool, against independent decoders: netpbm's
// g3topbm on what pbmtog3 writes, and poppler (pdfimages) on the CCITT
// images of PDF files, which pdfimages -ccitt also writes out as the
// NAME.ccitt and NAME.params pair the tool reads by itself. Each case is
// skipped when its programs are missing.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ImageFiles.h"
#include "ToolRunner.h"
#include "support/LibtiffImage.h"

namespace {

using tooltest::Describe;
using tooltest::RunTool;

bool Has(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0; }

bool Shell(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

// A one-page PDF showing one CCITT-coded image.
void WriteCcittPdf(const std::string& path, const tvtest::Bytes& stream, std::uint32_t width, std::uint32_t height,
                   int k, bool aligned, bool blackIs1) {
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "] /Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>");
    std::ostringstream image;
    image << "<< /Type /XObject /Subtype /Image /Width " << width << " /Height " << height
          << " /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode /DecodeParms << /K " << k
          << " /Columns " << width << " /Rows " << height << " /EncodedByteAlign " << (aligned ? "true" : "false")
          << " /BlackIs1 " << (blackIs1 ? "true" : "false") << " >> /Length " << stream.size() << " >>\nstream\n"
          << std::string(stream.begin(), stream.end()) << "\nendstream";
    objects.push_back(image.str());
    const std::string content = "q " + std::to_string(width) + " 0 0 " + std::to_string(height) + " 0 0 cm /Im0 Do Q";
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(path, std::ios::binary) << pdf;
}

// pbmtog3's output, plain, with EOLs aligned to 8 or 16 bits, and with the
// bits reversed, reads as g3topbm reads it.
TEST(RawFaxTool, PbmtoG3OutputReadsAsG3topbmReadsIt) {
    if (!Has("pbmtog3") || !Has("g3topbm")) GTEST_SKIP() << "netpbm missing";
    tvtest::TempDir dir;
    const std::uint32_t width = 301, length = 97;
    tvtest::WritePbm(dir.File("page.pbm"), width, tvtest::DocumentPage(width, length, 5));
    for (const std::string option : {"", "-align8", "-align16", "-reversebits"}) {
        const bool reversed = option == "-reversebits";
        const std::string g3 = dir.File("page" + option + ".g3"), truth = dir.File("truth" + option + ".pbm");
        ASSERT_TRUE(Shell("pbmtog3 " + option + " " + dir.File("page.pbm") + " > " + g3));
        ASSERT_TRUE(Shell(std::string("g3topbm ") + (reversed ? "-reversebits " : "") + g3 + " > " + truth)) << option;
        const tooltest::Picture theirs = tooltest::ReadPbm(truth);
        ASSERT_TRUE(theirs.ok) << option << ": " << theirs.problem;
        // pbmtog3 writes fax-wide rows.
        std::vector<std::string> args{"convert", "--raw", "g3", "--width", std::to_string(theirs.width)};
        if (reversed) args.insert(args.end(), {"--fill-order", "2"});
        args.insert(args.end(), {g3, "-o", dir.File("ours" + option + ".pbm")});
        const tooltest::RunResult r = RunTool(args);
        ASSERT_EQ(r.exitCode, 0) << option << Describe(r);
        const tooltest::Picture ours = tooltest::ReadPbm(dir.File("ours" + option + ".pbm"));
        ASSERT_TRUE(ours.ok) << ours.problem;
        EXPECT_EQ(ours.height, theirs.height) << option;
        EXPECT_EQ(tvtest::FirstDifference(ours.rows, theirs.rows), -1) << option;
    }
}

// CCITT images placed in PDF files (Group 4, and Group 3 one- and
// two-dimensional, aligned or not, BlackIs1 or not) and written out by
// pdfimages -ccitt read, as NAME.ccitt beside NAME.params, to the pixels
// poppler's own decoder gives them (pdfimages' PBM output).
TEST(RawFaxTool, PdfImagesReadAsPopplerDecodesThem) {
    if (!Has("pdfimages")) GTEST_SKIP() << "poppler-utils missing";
    tvtest::TempDir dir;
    const std::uint32_t width = 517, length = 143;
    const tvtest::Rows page = tvtest::DocumentPage(width, length, 9);
    const struct {
        const char* name;
        std::uint16_t compression;
        std::uint32_t t4;
        int k;
        bool aligned, blackIs1;
    } cases[] = {
        {"g4", COMPRESSION_CCITTFAX4, 0, -1, false, false},
        {"g4-black-is-1", COMPRESSION_CCITTFAX4, 0, -1, false, true},
        {"g3", COMPRESSION_CCITTFAX3, 0, 0, false, false},
        {"g3-aligned", COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, 0, true, false},
        {"g3-2d", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, 4, false, true},
    };
    for (const auto& c : cases) {
        tvtest::LibtiffOptions options;
        options.width = width;
        options.length = length;
        options.compression = c.compression;
        options.group3Options = c.t4;
        const std::string tiff = dir.File(std::string(c.name) + ".tif");
        tvtest::WriteWithLibtiff(tiff, options, page);
        const std::vector<tvtest::Bytes> strips = tvtest::RawStrips(tiff);
        ASSERT_EQ(strips.size(), 1u) << c.name;
        const std::string pdf = dir.File(std::string(c.name) + ".pdf");
        WriteCcittPdf(pdf, strips[0], width, length, c.k, c.aligned, c.blackIs1);
        const std::string stem = dir.File(c.name);
        ASSERT_TRUE(Shell("pdfimages -ccitt " + pdf + " " + stem)) << c.name;
        ASSERT_TRUE(Shell("pdfimages " + pdf + " " + stem + "-poppler")) << c.name;
        const tooltest::Picture theirs = tooltest::ReadPbm(stem + "-poppler-000.pbm");
        ASSERT_TRUE(theirs.ok) << c.name << ": " << theirs.problem;
        const tooltest::RunResult r = RunTool({"convert", stem + "-000.ccitt", "-o", stem + "-ours.pbm"});
        ASSERT_EQ(r.exitCode, 0) << c.name << Describe(r);
        const tooltest::Picture ours = tooltest::ReadPbm(stem + "-ours.pbm");
        ASSERT_TRUE(ours.ok) << ours.problem;
        EXPECT_EQ(ours.height, length) << c.name;
        EXPECT_EQ(tvtest::FirstDifference(ours.rows, theirs.rows), -1) << c.name;
        // Without BlackIs1 poppler's pixels are the picture coded.
        if (!c.blackIs1) {
            EXPECT_EQ(tvtest::FirstDifference(ours.rows, page), -1) << c.name;
        }
    }
}

// Usage: the describing options need --raw; a bad .params file is named.
TEST(RawFaxTool, RawOptionsAreChecked) {
    tvtest::TempDir dir;
    std::ofstream(dir.File("s.ccitt"), std::ios::binary) << "x";
    std::ofstream(dir.File("s.params")) << "-4 -X 100 -Q";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* phrase;
    } cases[] = {
        {{"convert", "--width", "10", "in", "-o", "out"}, 2, "give --raw first"},
        {{"convert", "--raw", "g5", "in", "-o", "out"}, 2, "'g5' is not a fax coding"},
        {{"convert", "--raw", "g4", "--fill-order", "3", "in", "-o", "out"}, 2, "--fill-order takes 1"},
        {{"info", dir.File("s.ccitt")}, 1, "s.params: '-Q' is no fax parameter"},
    };
    for (const auto& c : cases) {
        const tooltest::RunResult r = RunTool(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
        EXPECT_NE((r.err + r.out).find(c.phrase), std::string::npos) << c.phrase << Describe(r);
    }
}

}  // namespace
