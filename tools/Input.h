// An input file as the commands take it: a path of any length, or "-" for
// standard input, opened once by the tool so that a failure names the
// system's reason ("No such file or directory", "Permission denied", ...).
//
// The library reads files by name, and names of at most 260 bytes. Inputs
// it cannot name directly (standard input, pipes, longer paths) are handed
// to it as /proc/self/fd/N: standard input and pipes are first read whole
// into an anonymous in-memory file, so nothing is written to disk and
// nothing is left behind however the tool ends.
#ifndef TIFFVIEW_TOOLS_INPUT_H
#define TIFFVIEW_TOOLS_INPUT_H

#include <cstdint>
#include <string>

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

    // How messages and reports name the input: the path as given, or
    // "(standard input)".
    const std::string& Label() const { return label_; }
    // What the library is given to open.
    const std::string& LibraryPath() const { return libraryPath_; }
    // Size in bytes, which bounds the strip buffer the library needs.
    std::uint64_t Size() const { return size_; }

private:
    bool CopyIntoMemory(int from, std::string& error);
    bool NameForLibrary(std::string& error);

    int fd_ = -1;
    bool ownsFd_ = false;
    std::string name_;
    std::string label_;
    std::string libraryPath_;
    std::uint64_t size_ = 0;
};

// The label of standard input.
extern const char kStandardInputLabel[];

}  // namespace tvtool

#endif
