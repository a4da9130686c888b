#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace tvtool {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

Progress::Progress(bool enabled, std::size_t total) : out_(stderr), enabled_(enabled), total_(total) {
    if (!enabled_) return;
    struct winsize size;
    if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) columns_ = size.ws_col;
}

Progress::~Progress() { Finish(); }

void Progress::Start(std::size_t index, const std::string& name) {
    index_ = index;
    name_ = name;
    permille_ = 0;
    Draw();
}

void Progress::Advance(std::uint32_t done, std::uint32_t total) {
    if (!enabled_ || total == 0) return;
    const unsigned permille = static_cast<unsigned>(static_cast<std::uint64_t>(done) * 1000 / total);
    if (permille / 10 == permille_ / 10) return;
    permille_ = permille;
    Draw();
}

void Progress::PrintTo(std::FILE* stream, const std::string& text) {
    const bool wasDrawn = drawn_;
    Wipe();
    std::fputs(text.c_str(), stream);
    // The text must reach a shared terminal before the bar comes back.
    std::fflush(stream);
    if (wasDrawn) Draw();
}

void Progress::Finish() {
    Wipe();
    enabled_ = false;
}

void Progress::Draw() {
    if (!enabled_ || total_ == 0) return;
    // Files finished plus the fraction of the current one.
    const std::uint64_t overall = (static_cast<std::uint64_t>(index_) * 1000 + permille_) / total_;
    char counter[64];
    std::snprintf(counter, sizeof counter, " %zu/%zu ", index_ + 1, total_);
    const unsigned cells = 30;
    const unsigned filled = static_cast<unsigned>(overall * cells / 1000);
    std::string line = "[";
    line.append(filled, '#');
    line.append(cells - filled, '-');
    line += ']';
    line += counter;
    // The name is cut from the left, where long paths differ least.
    std::string name = name_;
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

}  // namespace tvtool
