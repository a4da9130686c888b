// Helpers shared by the fuzz targets: a byte cursor over the fuzzer's input,
// a line buffer with a guard region behind it, an in-memory file for the
// reader to open by name, and clean-up of the diagnostic logs the reader
// writes beside the executable.
#ifndef TIFFVIEW_FUZZ_FUZZSUPPORT_H
#define TIFFVIEW_FUZZ_FUZZSUPPORT_H

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// An invariant of the library that must hold on any input.
#define FUZZ_CHECK(cond, ...) \
    ((cond) ? static_cast<void>(0) : ::tvfuzz::Fail(__FILE__, __LINE__, #cond, __VA_ARGS__))

namespace tvfuzz {

// Where a broken invariant is reported. Unset (the fuzzers), the reason goes
// to stderr and the process aborts, which the fuzzer records as a crash; the
// regression replay test installs a handler that turns it into a test
// failure (the handler must not return).
inline void (*FailHandler)(const std::string& reason) = nullptr;

[[noreturn]] inline void Fail(const char* file, int line, const char* cond, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

inline void Fail(const char* file, int line, const char* cond, const char* format, ...) {
    char detail[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(detail, sizeof detail, format, args);
    va_end(args);
    char reason[1024];
    std::snprintf(reason, sizeof reason, "invariant broken at %s:%d: %s: %s", file, line, cond, detail);
    if (FailHandler != nullptr) FailHandler(reason);
    std::fprintf(stderr, "%s\n", reason);
    std::abort();
}

// Takes parameters from the front of the input; reads past the end give 0.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
    std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    std::uint16_t U16() {
        const std::uint16_t hi = Byte();
        return static_cast<std::uint16_t>(hi << 8 | Byte());
    }
    std::uint32_t U32() {
        const std::uint32_t hi = U16();
        return hi << 16 | U16();
    }
    const std::uint8_t* Rest() const { return Data + (Pos < Size ? Pos : Size); }
    std::size_t RestSize() const { return Pos < Size ? Size - Pos : 0; }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t Pos = 0;
};

// Small deterministic generator for piece sizes (xorshift32).
class Pieces {
public:
    explicit Pieces(std::uint32_t seed) : State(seed ? seed : 0x9E3779B9u) {}
    std::uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
    // A piece length in [1, limit], mostly small so that codes and lines are
    // cut in awkward places, now and then large.
    std::uint32_t Length(std::uint32_t limit) {
        if (limit <= 1) return limit;
        const std::uint32_t r = Next();
        const std::uint32_t cap = (r & 3) == 0 ? limit : ((r >> 2) & 7) + 1;
        const std::uint32_t n = 1 + (r >> 8) % cap;
        return n < limit ? n : limit;
    }

private:
    std::uint32_t State;
};

// A destination line with a guard region behind it, so that any write past
// the line's bytes is caught.
class GuardedLine {
public:
    static constexpr std::size_t Guard = 64;
    static constexpr std::uint8_t Fill = 0xA5;

    explicit GuardedLine(std::size_t lineBytes) : Bytes(lineBytes), Storage(lineBytes + Guard, Fill) {}
    std::uint8_t* Data() { return Storage.data(); }
    const std::uint8_t* Data() const { return Storage.data(); }
    std::size_t Size() const { return Bytes; }
    // Refills the line with a marker so that stale bytes cannot pass for
    // delivered ones.
    void Poison() { std::memset(Storage.data(), 0x5A, Bytes); }
    bool GuardIntact() const {
        for (std::size_t i = Bytes; i < Storage.size(); ++i) {
            if (Storage[i] != Fill) return false;
        }
        return true;
    }

private:
    std::size_t Bytes;
    std::vector<std::uint8_t> Storage;
};

// An anonymous in-memory file reachable by name through /proc, so that the
// reader opens the fuzzer's bytes without touching the disk.
class MemFile {
public:
    MemFile() {
        Fd = memfd_create("tiffview-fuzz", 0);
        if (Fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        Name = "/proc/self/fd/" + std::to_string(Fd);
    }
    void Write(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(Fd, 0) != 0) std::abort();
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(Fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
    }
    const char* Path() const { return Name.c_str(); }

private:
    int Fd = -1;
    std::string Name;
};

// Removes the state logs a reader writes into <executable dir>/log/TiffParse
// after a strip fault, so long runs cannot fill the disk. Only files ending
// in ".log" are removed; the directories stay.
class LogSweeper {
public:
    LogSweeper() {
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return;
        buf[n] = 0;
        std::string path(buf);
        const std::string::size_type slash = path.rfind('/');
        if (slash == std::string::npos) return;
        Dir = path.substr(0, slash) + "/log/TiffParse";
    }
    // Returns the number of logs found (and removed).
    int Sweep() const {
        if (Dir.empty()) return 0;
        DIR* d = opendir(Dir.c_str());
        if (d == nullptr) return 0;
        int removed = 0;
        while (dirent* e = readdir(d)) {
            const std::size_t len = std::strlen(e->d_name);
            if (len > 4 && std::strcmp(e->d_name + len - 4, ".log") == 0) {
                unlink((Dir + "/" + e->d_name).c_str());
                ++removed;
            }
        }
        closedir(d);
        return removed;
    }

private:
    std::string Dir;
};

}  // namespace tvfuzz

#endif
