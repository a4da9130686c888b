// A one-line progress bar on standard error, for batches on a terminal.
// Results (standard output) and diagnostics (standard error) are printed
// through it so that the bar is wiped first and redrawn after, whichever
// stream they go to; when disabled it prints the lines and nothing else.
#ifndef TIFFVIEW_TOOLS_PROGRESS_H
#define TIFFVIEW_TOOLS_PROGRESS_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace tvtool {

class Progress {
public:
    Progress(bool enabled, std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Starts item `index` (0-based) called `name`.
    void Start(std::size_t index, const std::string& name);
    // Fraction of the current item done, in lines; redraws only when the
    // bar would change.
    void Advance(std::uint32_t done, std::uint32_t total);
    // Prints `text` (which ends in a newline) above the bar: a result on
    // standard output, a diagnostic on standard error.
    void Print(const std::string& text) { PrintTo(stdout, text); }
    void Diagnose(const std::string& text) { PrintTo(stderr, text); }
    // Wipes the bar for good.
    void Finish();

private:
    void PrintTo(std::FILE* stream, const std::string& text);
    void Draw();
    void Wipe();

    std::FILE* out_;
    bool enabled_;
    std::size_t total_;
    std::size_t index_ = 0;
    std::string name_;
    unsigned permille_ = 0;
    bool drawn_ = false;
    unsigned columns_ = 80;
};

// Whether `stream` is a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace tvtool

#endif
