// Compact JSON text builder (no whitespace). It places commas but does not
// check structure: callers pair keys with values and balance begin/end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorq {

class JsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void WriteKey(std::string_view key);
    void WriteString(std::string_view key, std::string_view value);
    void WriteInt(std::string_view key, int64_t n);
    void WriteNumber(std::string_view key, double x);
    void WriteBool(std::string_view key, bool b);
    void WriteStringValue(std::string_view text);
    void WriteIntValue(int64_t n);
    void WriteNumberValue(double x);
    void WriteBoolValue(bool b);
    // The quoted, escaped text with no separator. After a key it is the key's value.
    void WriteQuoted(std::string_view text);
    void WriteSeparator();

    const std::string& str() const { return out; }
    std::string Take() { return std::move(out); }

    std::string out;

private:
    void WriteNumberText(double x);
    void WriteIntText(int64_t n);
    std::vector<bool> firstFlags;
    bool afterKey = false;
};

// Appends the quoted, escaped form of `text` to `out` (the writer's quoting rules).
void AppendJsonQuoted(std::string& out, std::string_view text);

// True when every byte belongs to a well-formed UTF-8 sequence (the test the
// writer applies before passing text on unchanged).
bool IsWellFormedUtf8(std::string_view text);

}  // namespace vorq
