// One line of the state log, built in a fixed buffer so that writing a log
// (which happens while a reader closes, possibly from its destructor) never
// allocates and never throws.
#ifndef TIFFVIEW_LOG_LOGLINE_H
#define TIFFVIEW_LOG_LOGLINE_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tvlog {

class CLogLine {
public:
    // The longest line holds a 260-character image name after its label;
    // every other line is a label and at most three numbers.
    static constexpr std::size_t Capacity = 512;

    CLogLine() { Text[0] = '\0'; }

    void Clear() {
        Size = 0;
        Text[0] = '\0';
    }
    // Appends the bytes up to the first zero or `limit`, whichever is first.
    // Whatever does not fit is dropped; the line stays terminated.
    CLogLine& Add(const char* text, std::size_t limit = SIZE_MAX) {
        std::size_t n = 0;
        while (n < limit && text[n] != '\0') ++n;
        return AddBytes(text, n);
    }
    // Form U: unsigned decimal.
    CLogLine& AddU(std::uint32_t value) {
        char digits[16];
        auto r = std::to_chars(digits, digits + sizeof digits, value);
        return AddBytes(digits, static_cast<std::size_t>(r.ptr - digits));
    }
    // Form S: signed decimal, "-" only for negative values.
    CLogLine& AddS(std::int32_t value) {
        char digits[16];
        auto r = std::to_chars(digits, digits + sizeof digits, value);
        return AddBytes(digits, static_cast<std::size_t>(r.ptr - digits));
    }
    // Form R: printf's %g with six significant digits, always with a full
    // stop as the decimal point. to_chars is defined to match printf in the
    // "C" locale, so the host's locale cannot turn the point into a comma.
    CLogLine& AddR(double value) {
        char digits[40];
        auto r = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
        if (r.ec != std::errc()) return *this;
        return AddBytes(digits, static_cast<std::size_t>(r.ptr - digits));
    }
    // Line end of the log: CR LF on every platform.
    CLogLine& End() { return AddBytes("\r\n", 2); }

    const char* Data() const { return Text; }
    std::size_t Length() const { return Size; }

private:
    CLogLine& AddBytes(const char* bytes, std::size_t n) {
        std::size_t room = Capacity - 1 - Size;
        if (n > room) n = room;
        std::memcpy(Text + Size, bytes, n);
        Size += n;
        Text[Size] = '\0';
        return *this;
    }

    char Text[Capacity];
    std::size_t Size = 0;
};

}  // namespace tvlog

#endif
