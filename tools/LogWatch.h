// Noticing the diagnostic logs the library writes into the directory given
// with --log-dir, when a reader with a recorded strip fault is closed. Logs
// are named after the time to the millisecond; two logs within one
// millisecond share a name and the later overwrites the earlier, so a log
// shows up either as a new name or as a changed file.
#ifndef TIFFVIEW_TOOLS_LOGWATCH_H
#define TIFFVIEW_TOOLS_LOGWATCH_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tvtool {

class LogWatch {
public:
    // Watches `directory`; an empty one holds no logs.
    explicit LogWatch(std::string directory);

    bool Enabled() const { return !dir_.empty(); }

    // Remembers what is in the directory now.
    void Mark();
    // Paths (the directory as given, then the name) of the files that
    // appeared or changed since Mark().
    std::vector<std::string> NewLogs() const;

private:
    struct Stamp {
        std::uint64_t inode;
        std::int64_t size;
        std::int64_t modifiedNs;
        bool operator!=(const Stamp& o) const {
            return inode != o.inode || size != o.size || modifiedNs != o.modifiedNs;
        }
    };
    std::map<std::string, Stamp> List() const;

    std::string dir_;
    std::map<std::string, Stamp> marked_;
};

}  // namespace tvtool

#endif
