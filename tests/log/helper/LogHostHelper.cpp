// A stand-in host program for the log tests. The log tree is placed beside
// the executable of the process, so the tests copy this program into a
// scratch directory and run it there.
//
//   LogHostHelper exe                 prints the executable path as learned
//   LogHostHelper path                prints the log path of a fresh reader
//   LogHostHelper close IMAGE N       opens IMAGE (a one-strip compressed
//                                     image), lets its strip decode to N
//                                     bytes, reads one line and closes
//                                     (twice)
//   LogHostHelper orphan IMAGE N      the same, but deletes its own
//                                     executable and directory first, so the
//                                     log tree cannot be created
//
// "close" and "orphan" print "handle H" (the open file's handle), the
// result of the read, then the state after CloseFile as
// "after handle H pending P decoder D fd F" (F: 1 while the image file's
// descriptor is still open).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/Paths.h"
#include "support/ReaderAccess.h"

namespace {

int Close(const char* image, std::uint32_t produce, bool orphan) {
    CTiffView view;
    std::uint32_t result = view.OpenFile(image);
    if (result != TV_OK) {
        std::printf("open failed %08X\n", static_cast<unsigned>(result));
        return 2;
    }
    auto* decoder = new CScriptedDecoder;
    decoder->Script.push_back({UINT32_MAX, produce});
    CTiffViewTestAccess::SwapDecoder(view, decoder);

    std::int32_t handle = CTiffViewTestAccess::Snapshot(view).FileHandle;
    std::vector<unsigned char> line(CTiffViewTestAccess::Snapshot(view).LineByte + 1u);
    result = view.ReadALine(line.data());
    std::printf("handle %d\nread %08X\n", handle, static_cast<unsigned>(result));

    if (orphan) {
        std::string exe;
        tvplatform::ExecutablePath(exe);
        std::string dir = exe.substr(0, exe.rfind('/'));
        if (::unlink(exe.c_str()) != 0 || ::rmdir(dir.c_str()) != 0) {
            std::printf("cannot remove %s\n", dir.c_str());
            return 3;
        }
    }

    view.CloseFile();
    // Logged once: closing again has nothing to write.
    view.CloseFile();
    CTiffViewTestAccess::State after = CTiffViewTestAccess::Snapshot(view);
    int open = ::fcntl(handle, F_GETFD) != -1 ? 1 : 0;
    std::printf("after handle %d pending %d decoder %d fd %d\n", after.FileHandle, after.LogPending,
                CTiffViewTestAccess::Decoder(view) != nullptr ? 1 : 0, open);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "exe") == 0) {
        std::string exe;
        bool ok = tvplatform::ExecutablePath(exe);
        std::printf("%d %s\n", ok ? 1 : 0, exe.c_str());
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "path") == 0) {
        CTiffView view;
        std::printf("%s\n", CTiffViewTestAccess::LogPath(view).c_str());
        return 0;
    }
    if (argc >= 4 && (std::strcmp(argv[1], "close") == 0 || std::strcmp(argv[1], "orphan") == 0)) {
        return Close(argv[2], static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10)),
                     argv[1][0] == 'o');
    }
    std::fprintf(stderr, "usage: %s exe | path | close IMAGE N | orphan IMAGE N\n", argv[0]);
    return 1;
}
