#include "RawFaxInput.h"

#include <fstream>
#include <sstream>

#include "Pages.h"

namespace tvtool {

namespace {

bool ParseCount(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long long parsed = std::stoull(text);
    if (parsed > UINT32_MAX) return false;
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

bool ParseCoding(const std::string& text, tiffview::FaxCoding& coding) {
    static const struct {
        const char* name;
        tiffview::FaxCoding coding;
    } kCodings[] = {{"mh", tiffview::FaxCoding::mh},
                    {"g3", tiffview::FaxCoding::g3},
                    {"g3-2d", tiffview::FaxCoding::g3_2d},
                    {"g4", tiffview::FaxCoding::g4}};
    for (const auto& c : kCodings) {
        if (text == c.name) {
            coding = c.coding;
            return true;
        }
    }
    return false;
}

}  // namespace

Taken TakeRawFaxOption(const std::vector<std::string>& args, std::size_t& at, RawFaxOptions& options,
                       std::string& error) {
    const std::string& arg = args[at];
    std::string value;
    bool missing = false;
    if (TakeValue(args, at, "--raw", value, missing)) {
        tiffview::FaxCoding coding = tiffview::FaxCoding::g3;
        if (missing || !ParseCoding(value, coding)) {
            error = missing ? "option '--raw' needs a coding (mh, g3, g3-2d or g4)"
                            : "'" + value + "' is not a fax coding for --raw (mh, g3, g3-2d or g4)";
            return Taken::Error;
        }
        options.stream.coding(coding);
        options.raw = true;
        return Taken::Yes;
    }
    const bool flag = arg == "--black-is-1" || arg == "--byte-aligned";
    const char* const valued[] = {"--width", "--rows", "--fill-order"};
    const char* name = nullptr;
    for (const char* candidate : valued) {
        if (TakeValue(args, at, candidate, value, missing)) name = candidate;
    }
    if (!flag && name == nullptr) return Taken::No;
    const std::string option = flag ? arg : name;
    if (!options.raw) {
        error = "option '" + option + "' describes a raw fax stream: give --raw first";
        return Taken::Error;
    }
    if (option == "--black-is-1") {
        options.stream.black_is_1(true);
        return Taken::Yes;
    }
    if (option == "--byte-aligned") {
        options.stream.byte_aligned(true);
        return Taken::Yes;
    }
    std::uint32_t number = 0;
    if (missing || !ParseCount(value, number)) {
        error = missing ? "option '" + option + "' needs a value" : "'" + value + "' is not a number for " + option;
        return Taken::Error;
    }
    if (option == "--width") {
        if (number == 0) {
            error = "--width must be at least 1";
            return Taken::Error;
        }
        options.stream.width(number);
    } else if (option == "--rows") {
        options.stream.rows(number);
    } else {
        if (number != 1 && number != 2) {
            error = "--fill-order takes 1 (most significant bit first) or 2";
            return Taken::Error;
        }
        options.stream.lsb_first(number == 2);
    }
    return Taken::Yes;
}

bool ParseFaxParams(const std::string& text, tiffview::FaxStream& stream, std::string& error) {
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        std::uint32_t number = 0;
        if (word == "-1") {
            stream.coding(tiffview::FaxCoding::g3);
        } else if (word == "-2") {
            stream.coding(tiffview::FaxCoding::g3_2d);
        } else if (word == "-4") {
            stream.coding(tiffview::FaxCoding::g4);
        } else if (word == "-A" || word == "-P") {
            stream.byte_aligned(word == "-A");
        } else if (word == "-W" || word == "-B") {
            stream.black_is_1(word == "-W");
        } else if (word == "-M" || word == "-L") {
            stream.lsb_first(word == "-L");
        } else if (word == "-X" || word == "-H") {
            std::string value;
            if (!(words >> value) || !ParseCount(value, number) || (word == "-X" && number == 0)) {
                error = "'" + word + "' needs a number";
                return false;
            }
            if (word == "-X") {
                stream.width(number);
            } else {
                stream.rows(number);
            }
        } else {
            error = "'" + word + "' is no fax parameter";
            return false;
        }
    }
    return true;
}

bool RawStreamFor(const RawFaxOptions& options, const std::string& path, std::optional<tiffview::FaxStream>& stream,
                  std::string& error) {
    stream.reset();
    if (options.raw) {
        stream = options.stream;
        return true;
    }
    const std::string extension = ".ccitt";
    if (path.size() <= extension.size() || path.compare(path.size() - extension.size(), extension.size(), extension) != 0) {
        return true;
    }
    const std::string params = path.substr(0, path.size() - extension.size()) + ".params";
    std::ifstream in(params);
    if (!in) return true;  // a .ccitt file alone is read as whatever it is
    std::ostringstream text;
    text << in.rdbuf();
    tiffview::FaxStream described;
    if (!ParseFaxParams(text.str(), described, error)) {
        error = params + ": " + error;
        return false;
    }
    stream = described;
    return true;
}

}  // namespace tvtool
