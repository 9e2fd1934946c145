// A small JSON writer for the stand-in servers' admin views: indented, two spaces a level, keys
// in the order written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The next member's name, inside an object.
    JsonWriter& key(std::string_view name);
    // Text must be UTF-8 (see isValidUtf8); control characters are escaped.
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(const std::string& text) { return value(std::string_view(text)); }
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(unsigned number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(double number);
    JsonWriter& value(bool flag);
    JsonWriter& null();

    // key(name) then value(v).
    template <class T>
    JsonWriter& member(std::string_view name, const T& v) {
        key(name);
        return value(v);
    }

    // The document, ending with a newline.
    std::string text() const { return out_ + "\n"; }

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);

    std::string out_;
    // One entry per open object or array: whether it has a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

// The text as a JSON string, quotes included.
std::string jsonQuoted(std::string_view text);
// Bytes as lower-case hexadecimal, two digits each.
std::string hexText(std::string_view bytes);
// Milliseconds since 1970 as the admin views show times: "2012-03-01T12:00:00.000Z".
std::string utcText(std::int64_t milliseconds);
// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace standin
