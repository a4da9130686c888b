// An output file that appears under its final name only once it is
// complete: it is written to a temporary file in the target's directory
// (so the final rename stays on one file system and is atomic) and renamed
// on Commit. Anything not committed is removed, so a failed conversion
// never leaves a half-written image or a stray temporary behind, not even
// when a signal stops the tool (Signals.h).
#ifndef TIFFVIEW_TOOLS_OUTPUTFILE_H
#define TIFFVIEW_TOOLS_OUTPUTFILE_H

#include <cstdio>
#include <string>

namespace tvtool {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file beside `target`; `what` names its content
    // for the report made on a signal. On failure `error` says why, in
    // terms of the target.
    bool Open(const std::string& target, const std::string& what, std::string& error);
    std::FILE* Stream() const { return stream_; }
    // Flushes, syncs and closes the temporary, which stays until Commit or
    // Abandon (or, on a signal, is renamed as complete): a conversion of many pages keeps one file open at a time
    // and renames them all only when every page is complete.
    bool Close(std::string& error);
    // Closes the temporary if still open, then renames it to the target.
    bool Commit(std::string& error);
    // Closes and removes the temporary; safe to call at any time.
    void Abandon();

    const std::string& TemporaryPath() const { return temp_; }
    const std::string& Target() const { return target_; }

private:
    // Unlinks the temporary and drops it from the signal handler's list.
    void Remove();

    std::string target_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
};

}  // namespace tvtool

#endif
