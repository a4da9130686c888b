#include "Progress.h"

#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <condition_variable>
#include <exception>
#include <memory>
#include <thread>

namespace tvtool {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

Progress::Progress(bool enabled, std::size_t total)
    : out_(stderr), enabled_(enabled), total_(total), permille_(total, 0), names_(total) {
    if (!enabled_) return;
    struct winsize size;
    if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) columns_ = size.ws_col;
}

Progress::~Progress() { Finish(); }

void Progress::Start(std::size_t index, const std::string& name) {
    std::lock_guard<std::mutex> hold(lock_);
    if (index >= total_) return;
    names_[index] = name;
    Draw();
}

void Progress::Advance(std::size_t index, std::uint32_t done, std::uint32_t total) {
    if (!enabled_ || total == 0 || index >= total_) return;
    std::lock_guard<std::mutex> hold(lock_);
    const unsigned permille = static_cast<unsigned>(static_cast<std::uint64_t>(done) * 1000 / total);
    if (permille / 10 == permille_[index] / 10) return;
    sum_ = sum_ - permille_[index] + permille;
    permille_[index] = permille;
    Draw();
}

void Progress::End(std::size_t index) {
    std::lock_guard<std::mutex> hold(lock_);
    if (index >= total_) return;
    sum_ = sum_ - permille_[index] + 1000;
    permille_[index] = 1000;
    names_[index].clear();
    ++ended_;
    Draw();
}

void Progress::PrintTo(std::FILE* stream, const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    const bool wasDrawn = drawn_;
    Wipe();
    std::fputs(text.c_str(), stream);
    // The text must reach a shared terminal before the bar comes back.
    std::fflush(stream);
    if (wasDrawn) Draw();
}

void Progress::Finish() {
    std::lock_guard<std::mutex> hold(lock_);
    Wipe();
    enabled_ = false;
}

void Progress::Draw() {
    if (!enabled_ || total_ == 0) return;
    const std::uint64_t overall = sum_ / total_;
    // The counter names the first file not yet done, as one job would.
    std::size_t current = 0;
    while (current < total_ && permille_[current] == 1000) ++current;
    std::string name = current < total_ ? names_[current] : std::string();
    char counter[64];
    std::snprintf(counter, sizeof counter, " %zu/%zu ", current < total_ ? current + 1 : total_, total_);
    const unsigned cells = 30;
    const unsigned filled = static_cast<unsigned>(overall * cells / 1000);
    std::string line = "[";
    line.append(filled, '#');
    line.append(cells - filled, '-');
    line += ']';
    line += counter;
    // The name is cut from the left, where long paths differ least.
    const std::size_t room = columns_ > line.size() + 1 ? columns_ - line.size() - 1 : 0;
    if (name.size() > room) name = room > 3 ? "..." + name.substr(name.size() - (room - 3)) : std::string();
    line += name;
    std::fprintf(out_, "\r\033[K%s", line.c_str());
    std::fflush(out_);
    drawn_ = true;
}

void Progress::Wipe() {
    if (!enabled_ || !drawn_) return;
    std::fputs("\r\033[K", out_);
    drawn_ = false;
}

void FileReport::Add(bool diagnostic, const std::string& text) {
    if (direct_) {
        if (diagnostic) progress_.Diagnose(text);
        else progress_.Print(text);
        return;
    }
    kept_.emplace_back(diagnostic, text);
}

void FileReport::Replay() {
    for (const auto& item : kept_) {
        if (item.first) progress_.Diagnose(item.second);
        else progress_.Print(item.second);
    }
    kept_.clear();
}

namespace {

// A file whose job threw (out of memory) is reported as the job's own
// failure, the same way on any number of jobs; the job's result stays as
// it was before it began, which the commands make a failure.
void RunJob(const std::function<void(std::size_t, FileReport&)>& job, std::size_t index, FileReport& report) {
    try {
        job(index, report);
    } catch (const std::exception& e) {
        report.Diagnose(std::string("tiffview: ") + e.what() + "\n");
    }
}

}  // namespace

void RunBatch(std::size_t count, unsigned jobs, Progress& progress, const std::vector<std::string>& names,
              const std::function<void(std::size_t, FileReport&)>& job, const std::function<void(std::size_t)>& finish) {
    if (jobs <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            progress.Start(i, names[i]);
            FileReport report(progress, i, true);
            RunJob(job, i, report);
            progress.End(i);
            finish(i);
        }
        return;
    }
    // Files begun but not yet finished in order: bounded, so that kept
    // reports and finished temporaries waiting for their turn stay few.
    const std::size_t window = 4 * std::size_t{jobs};
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0;      // the next file to begin
    std::size_t finished = 0;  // files finished in order
    std::vector<std::unique_ptr<FileReport>> reports(count);
    std::vector<bool> done(count, false);
    auto worker = [&] {
        for (;;) {
            std::size_t index;
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return next >= count || next < finished + window; });
                if (next >= count) return;
                index = next++;
                reports[index] = std::make_unique<FileReport>(progress, index, false);
            }
            progress.Start(index, names[index]);
            RunJob(job, index, *reports[index]);
            progress.End(index);
            {
                std::lock_guard<std::mutex> hold(lock);
                done[index] = true;
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < jobs && t < count; ++t) threads.emplace_back(worker);
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_ptr<FileReport> report;
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return done[i]; });
            report = std::move(reports[i]);
        }
        report->Replay();
        finish(i);
        {
            std::lock_guard<std::mutex> hold(lock);
            finished = i + 1;
        }
        changed.notify_all();
    }
    for (std::thread& t : threads) t.join();
}

unsigned DefaultJobs() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return static_cast<unsigned>(n);
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

}  // namespace tvtool
