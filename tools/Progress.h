// A one-line progress bar on standard error, for batches on a terminal,
// and the reports of the files of a batch.
//
// Results (standard output) and diagnostics (standard error) are printed
// through the bar so that it is wiped first and redrawn after, whichever
// stream they go to; when disabled it prints the lines and nothing else.
// One bar covers every job of a batch: each file counts for its share,
// by the fraction of it done, whichever thread does it.
#ifndef TIFFVIEW_TOOLS_PROGRESS_H
#define TIFFVIEW_TOOLS_PROGRESS_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tvtool {

class Progress {
public:
    Progress(bool enabled, std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Item `index` (0-based), called `name`, has begun.
    void Start(std::size_t index, const std::string& name);
    // Fraction of item `index` done; redraws only when the bar would change.
    void Advance(std::size_t index, std::uint32_t done, std::uint32_t total);
    // Item `index` is done.
    void End(std::size_t index);
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

    std::mutex lock_;
    std::FILE* out_;
    bool enabled_;
    std::size_t total_;
    std::vector<unsigned> permille_;  // per item
    std::vector<std::string> names_;  // items begun and not ended
    std::uint64_t sum_ = 0;           // of permille_
    std::size_t ended_ = 0;
    bool drawn_ = false;
    unsigned columns_ = 80;
};

// What one file of a batch reports: straight through the bar, or, when
// files are done on several threads, kept until the file's turn comes so
// that reports appear in input order whatever finishes first.
class FileReport {
public:
    FileReport(Progress& progress, std::size_t index, bool direct)
        : progress_(progress), index_(index), direct_(direct) {}

    void Print(const std::string& text) { Add(false, text); }
    void Diagnose(const std::string& text) { Add(true, text); }
    void Advance(std::uint32_t done, std::uint32_t total) { progress_.Advance(index_, done, total); }
    // Prints what was kept, in order.
    void Replay();

private:
    void Add(bool diagnostic, const std::string& text);

    Progress& progress_;
    std::size_t index_;
    bool direct_;
    std::vector<std::pair<bool, std::string>> kept_;
};

// Whether `stream` is a terminal.
bool IsTerminal(std::FILE* stream);

// Runs job(index, report) for every index below `count` on `jobs` threads
// (in this thread when `jobs` is 1), then finish(index) in this thread, in
// index order, each after the file's report was printed. Files are begun
// in order and never more than a few ahead of the one finishing.
void RunBatch(std::size_t count, unsigned jobs, Progress& progress, const std::vector<std::string>& names,
              const std::function<void(std::size_t, FileReport&)>& job, const std::function<void(std::size_t)>& finish);

// The number of jobs when -j is not given: the processors this process may
// run on.
unsigned DefaultJobs();

}  // namespace tvtool

#endif
