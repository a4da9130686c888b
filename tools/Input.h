// An input file as the commands take it: a path of any length, or "-" for
// standard input, opened once by the tool so that a failure names the
// system's reason ("No such file or directory", "Permission denied", ...).
//
// A regular file is handed to the library as the descriptor the tool
// opened, so the file read is the one that was checked. Standard input and
// pipes cannot be read at random positions: they are read whole into memory
// first, and the library reads that memory.
#ifndef TIFFVIEW_TOOLS_INPUT_H
#define TIFFVIEW_TOOLS_INPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "TiffViewReader.hpp"

namespace tvtool {

// The name that stands for standard input on the command line.
constexpr char kStandardStream[] = "-";

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `name`; on failure `error` holds the whole message (result code,
    // its name, the library's sentence and the system's reason).
    bool Open(const std::string& name, std::string& error);

    // Opens the input in `reader`: the descriptor, or the memory holding
    // what standard input or a pipe gave.
    tiffview::Result OpenIn(tiffview::Reader& reader, const tiffview::Options& options) const;

    // How messages and reports name the input: the path as given, or
    // "(standard input)".
    const std::string& Label() const { return label_; }
    // Size in bytes, which bounds the strip buffer the library needs.
    std::uint64_t Size() const { return size_; }

private:
    bool CopyIntoMemory(int from, std::string& error);

    int fd_ = -1;
    bool ownsFd_ = false;
    bool inMemory_ = false;
    std::vector<unsigned char> bytes_;
    std::string label_;
    std::uint64_t size_ = 0;
};

// The label of standard input.
extern const char kStandardInputLabel[];

}  // namespace tvtool

#endif
