#include "core/json.h"

#include <cmath>
#include <cstdio>

namespace vorq {

void JsonWriter::WriteSeparator() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!firstFlags.empty()) {
        if (!firstFlags.back()) out.push_back(',');
        firstFlags.back() = false;
    }
}

void JsonWriter::BeginObject() {
    WriteSeparator();
    out.push_back('{');
    firstFlags.push_back(true);
}

void JsonWriter::EndObject() {
    out.push_back('}');
    if (!firstFlags.empty()) firstFlags.pop_back();
}

void JsonWriter::BeginArray() {
    WriteSeparator();
    out.push_back('[');
    firstFlags.push_back(true);
}

void JsonWriter::EndArray() {
    out.push_back(']');
    if (!firstFlags.empty()) firstFlags.pop_back();
}

void JsonWriter::WriteKey(std::string_view key) {
    WriteSeparator();
    AppendJsonQuoted(out, key);
    out.push_back(':');
    afterKey = true;
}

void JsonWriter::WriteString(std::string_view key, std::string_view value) {
    WriteKey(key);
    WriteStringValue(value);
}

void JsonWriter::WriteInt(std::string_view key, int64_t n) {
    WriteKey(key);
    WriteIntValue(n);
}

void JsonWriter::WriteNumber(std::string_view key, double x) {
    WriteKey(key);
    WriteNumberValue(x);
}

void JsonWriter::WriteBool(std::string_view key, bool b) {
    WriteKey(key);
    WriteBoolValue(b);
}

void JsonWriter::WriteStringValue(std::string_view text) {
    WriteSeparator();
    AppendJsonQuoted(out, text);
}

void JsonWriter::WriteIntValue(int64_t n) {
    WriteSeparator();
    WriteIntText(n);
}

void JsonWriter::WriteNumberValue(double x) {
    WriteSeparator();
    WriteNumberText(x);
}

void JsonWriter::WriteBoolValue(bool b) {
    WriteSeparator();
    out += b ? "true" : "false";
}

void JsonWriter::WriteQuoted(std::string_view text) {
    // A string written after a key is that key's value: the next member needs its comma.
    afterKey = false;
    AppendJsonQuoted(out, text);
}

void JsonWriter::WriteIntText(int64_t n) {
    char buf[24];
    char* p = buf + sizeof buf;
    // Work on the unsigned magnitude so the most negative value is exact.
    uint64_t m = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m);
    if (n < 0) *--p = '-';
    out.append(p, static_cast<size_t>(buf + sizeof buf - p));
}

void JsonWriter::WriteNumberText(double x) {
    if (!std::isfinite(x)) {
        out += "null";
        return;
    }
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%.10g", x);
    if (n > 0) out.append(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

// Length of the well-formed UTF-8 sequence starting at p[0], or 0. The second
// byte's range depends on the lead (RFC 3629), which rules out overlong forms,
// encoded surrogates and code points above U+10FFFF.
static size_t Utf8SequenceLength(const uint8_t* p, size_t avail) {
    uint8_t b = p[0];
    size_t len;
    uint8_t lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (len > avail) return 0;
    if (p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 2; i < len; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return len;
}

bool IsWellFormedUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t len = Utf8SequenceLength(p + i, n - i);
        if (!len) return false;
        i += len;
    }
    return true;
}

namespace {

// Bytes below 0x80 that are copied as they are: printable ASCII except the
// double quote and the backslash.
struct PlainAscii {
    bool table[128] = {};
    constexpr PlainAscii() {
        for (int c = 0x20; c < 0x7F; ++c) table[c] = c != '"' && c != '\\';
    }
};
constexpr PlainAscii kPlain;

}  // namespace

void AppendJsonQuoted(std::string& out, std::string_view text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    out.reserve(out.size() + n + 2);
    out.push_back('"');
    size_t i = 0;
    while (i < n) {
        // Copy the longest run of bytes that need no escape (plain ASCII and
        // well-formed UTF-8 sequences) at once: most report text is such a run.
        const size_t start = i;
        for (;;) {
            while (i < n && p[i] < 0x80 && kPlain.table[p[i]]) ++i;
            if (i == n || p[i] < 0x80) break;
            const size_t len = Utf8SequenceLength(p + i, n - i);
            if (len == 0) break;
            i += len;
        }
        if (i > start) out.append(reinterpret_cast<const char*>(p + start), i - start);
        if (i == n) break;
        const uint8_t b = p[i++];
        switch (b) {
            case 0x22: out.append("\\\"", 2); break;
            case 0x5C: out.append("\\\\", 2); break;
            case 0x09: out.append("\\t", 2); break;
            case 0x0A: out.append("\\n", 2); break;
            case 0x0D: out.append("\\r", 2); break;
            default:
                if (b < 0x80) {  // another control byte, or 0x7F
                    static constexpr char kHex[] = "0123456789abcdef";
                    const char esc[6] = {'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]};
                    out.append(esc, 6);
                } else {  // a byte that does not start a well-formed sequence
                    out.append("\\ufffd", 6);
                }
        }
    }
    out.push_back('"');
}

}  // namespace vorq
