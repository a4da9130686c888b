// Where state logs go: <executable's directory>/log/TiffParse/, one file per
// log, named after the local time to the millisecond.
#include <cstdio>

#include "TiffView.h"
#include "classic/Detail.h"
#include "platform/Paths.h"

void CTiffView::GetLogPath(std::string& path) {
    try {
        // The executable's path is read whole, however long, into the
        // growable string: there is no fixed-size buffer to overrun, and a
        // cut-off path would point the log tree at the wrong directory.
        // When it cannot be learned at all there is no log: an empty path
        // opens nothing, and no directories are scattered into whatever the
        // current directory happens to be.
        if (!Extra->logDirectory.empty()) {
            // A directory chosen by the host holds the logs directly.
            path = Extra->logDirectory;
            if (tvplatform::LookUpEntry(path.c_str()) == tvplatform::EntryKind::Missing) {
                tvplatform::MakeDirectory(path.c_str());
            }
        } else {
            if (!tvplatform::ExecutablePath(path)) {
                path.clear();
                return;
            }
            std::string::size_type separator = path.rfind(tvplatform::PathSeparator);
            if (separator == std::string::npos)
                path.clear();
            else
                path.erase(separator + 1);

            path += "log";
            CreateSaveDir(path);
            path += tvplatform::PathSeparator;
            path += "TiffParse";
            CreateSaveDir(path);
        }

        tvplatform::LocalTime now = tvplatform::LocalNow();
        // Seven int fields of at most 11 characters each plus the fixed
        // text: the buffer cannot be too small even for absurd values.
        char name[128];
        std::snprintf(name, sizeof name, "%c%4d%02d%02d_%02d%02d%02d_%03d.log", tvplatform::PathSeparator, now.Year,
                      now.Month, now.Day, now.Hour, now.Minute, now.Second, now.Millisecond);
        path += name;
    } catch (...) {
        // Out of memory while closing a reader: no log, and nothing thrown
        // out of CloseFile or the destructor. An empty path opens nothing.
        path.clear();
    }
}

void CTiffView::CreateSaveDir(std::string& path) {
    const char* name = path.c_str();
    switch (tvplatform::LookUpEntry(name)) {
    case tvplatform::EntryKind::Missing:
        tvplatform::MakeDirectory(name);
        break;
    case tvplatform::EntryKind::Directory:
        // An existing directory and the logs in it are kept as they are.
        break;
    case tvplatform::EntryKind::Other:
        // A file of that name stands in the way: it gives way to an empty
        // directory even when it is read-only.
        tvplatform::MakeRemovable(name);
        tvplatform::RemoveEntry(name);
        tvplatform::MakeDirectory(name);
        break;
    }
}
