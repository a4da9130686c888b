// The little JSON the tool writes: strings escaped as RFC 8259 asks,
// numbers as JSON numbers, objects and arrays built up as text.
#ifndef TIFFVIEW_TOOLS_JSON_H
#define TIFFVIEW_TOOLS_JSON_H

#include <cstdint>
#include <string>

namespace tvtool {

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 are
// written as \u00XX, as if the text were Latin-1, so the output is always
// valid JSON whatever a file's ASCII tags hold.
std::string JsonString(const std::string& text);

// A finite number as JSON writes it; NaN and infinities, which JSON
// lacks, as null.
std::string JsonNumber(double value);

// An object written member by member: {"a":1,"b":"x"}.
class JsonObject {
public:
    JsonObject& Raw(const char* name, const std::string& json);
    JsonObject& String(const char* name, const std::string& text) { return Raw(name, JsonString(text)); }
    JsonObject& Number(const char* name, std::uint64_t value) { return Raw(name, std::to_string(value)); }
    JsonObject& Bool(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
    std::string Text() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

}  // namespace tvtool

#endif
