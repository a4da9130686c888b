// Raw fax streams on the command line: --raw CODING and the options that
// describe such a stream, and the pair pdfimages -ccitt writes (NAME.ccitt
// with NAME.params beside it), which is read without options.
#ifndef TIFFVIEW_TOOLS_RAWFAXINPUT_H
#define TIFFVIEW_TOOLS_RAWFAXINPUT_H

#include <optional>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"

namespace tvtool {

enum class Taken;

struct RawFaxOptions {
    bool raw = false;  // --raw given: every input is such a stream
    tiffview::FaxStream stream;
};

// --raw mh|g3|g3-2d|g4, then --width N, --rows N, --fill-order 1|2,
// --black-is-1, --byte-aligned. A describing option before --raw is an
// error: without it the inputs are TIFF files.
Taken TakeRawFaxOption(const std::vector<std::string>& args, std::size_t& at, RawFaxOptions& options,
                       std::string& error);

// Parameters as pdfimages -ccitt writes them, in fax2tiff's options: -1,
// -2 or -4 (Group 3, Group 3 with two-dimensional lines, Group 4), -A or
// -P (rows byte-aligned or not), -X COLUMNS, -H ROWS, -W or -B (BlackIs1
// or not), -M or -L (bits most or least significant first). False, with
// `error` naming the word, for anything else.
bool ParseFaxParams(const std::string& text, tiffview::FaxStream& stream, std::string& error);

// How `path` is read: as the stream the command line describes, as the
// stream its NAME.params describes when it is NAME.ccitt, or (nullopt) as
// a TIFF file. False, with `error`, when the .params file cannot be read.
bool RawStreamFor(const RawFaxOptions& options, const std::string& path, std::optional<tiffview::FaxStream>& stream,
                  std::string& error);

}  // namespace tvtool

#endif
