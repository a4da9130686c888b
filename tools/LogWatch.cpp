#include "LogWatch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <utility>

namespace tvtool {

LogWatch::LogWatch(std::string directory) : dir_(std::move(directory)) {
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
}

void LogWatch::Mark() { marked_ = List(); }

std::vector<std::string> LogWatch::NewLogs() const {
    std::vector<std::string> found;
    for (const auto& [name, stamp] : List()) {
        auto before = marked_.find(name);
        if (before == marked_.end() || before->second != stamp) found.push_back(dir_ + "/" + name);
    }
    return found;
}

std::map<std::string, LogWatch::Stamp> LogWatch::List() const {
    std::map<std::string, Stamp> entries;
    if (dir_.empty()) return entries;
    DIR* d = ::opendir(dir_.c_str());
    if (d == nullptr) return entries;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::stat((dir_ + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        entries[name] = Stamp{static_cast<std::uint64_t>(st.st_ino), static_cast<std::int64_t>(st.st_size),
                              static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    }
    ::closedir(d);
    return entries;
}

}  // namespace tvtool
