#include "core/text.h"

#include <cstdarg>
#include <cstdio>

namespace vorq {

std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n), '\0');
    va_start(ap, fmt);
    int m = std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    va_end(ap);
    if (m < 0) return {};
    return out;
}

std::string Hex16(uint32_t v) { return Format("%04X", static_cast<unsigned>(v & 0xFFFF)); }
std::string Hex32(uint64_t v) { return Format("%08X", static_cast<unsigned>(v & 0xFFFFFFFFu)); }
std::string Hex64(uint64_t v) { return Format("%016llX", static_cast<unsigned long long>(v)); }

std::string FormatGuid(const Guid& g) {
    return Format("%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
                  static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

Guid GuidFromBytes(const uint8_t* p) {
    Guid g;
    g.Data1 = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
              static_cast<uint32_t>(p[3]) << 24;
    g.Data2 = static_cast<uint16_t>(p[4] | p[5] << 8);
    g.Data3 = static_cast<uint16_t>(p[6] | p[7] << 8);
    for (int i = 0; i < 8; ++i) g.Data4[i] = p[8 + i];
    return g;
}

static const char kHex[] = "0123456789ABCDEF";

std::string HexEncode(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 15]);
    }
    return out;
}

std::string HexEncodeSep(const void* data, size_t n, char sep) {
    const auto* p = static_cast<const uint8_t*>(data);
    std::string out;
    out.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        if (i) out.push_back(sep);
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 15]);
    }
    return out;
}

std::string FormatBytes(uint64_t n) {
    double v = static_cast<double>(n);
    if (v < 1024.0) return Format("%llu B", static_cast<unsigned long long>(n));
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB"};
    int unit = -1;
    while (unit < 4 && (unit < 0 || v >= 1024.0)) {
        v *= 1.0 / 1024.0;
        ++unit;
    }
    if (v >= 100.0) return Format("%.0f %s", v, kUnits[unit]);
    if (v >= 10.0) return Format("%.1f %s", v, kUnits[unit]);
    return Format("%.2f %s", v, kUnits[unit]);
}

static inline unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }
static inline char16_t Fold16(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

static bool EqualFolded(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    if (part.size() > text.size()) return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (EqualFolded(text.data() + i, part.data(), part.size())) return true;
    return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && EqualFolded(a.data(), b.data(), a.size());
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualFolded(text.data(), prefix.data(), prefix.size());
}

bool WStartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Fold16(text[i]) != Fold16(prefix[i])) return false;
    return true;
}

std::vector<std::string_view> AsciiWords(std::string_view text, std::string_view inner) {
    std::vector<std::string_view> words;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size()) {
            const char c = text[i];
            if (IsAsciiDigit(c) || IsAsciiLetter(c) || inner.find(c) != std::string_view::npos)
                continue;
        }
        if (i > start) words.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return words;
}

std::string Join(const std::vector<std::string>& items, const char* sep) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += sep;
        out += items[i];
    }
    return out;
}

static inline bool IsTrimmed(char c) { return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' '; }

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsTrimmed(text[b])) ++b;
    while (e > b && IsTrimmed(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

std::string WithoutFinalStop(std::string_view text) {
    static constexpr std::string_view kIdeographicStop = "\xE3\x80\x82";
    std::string t = Trim(text);
    for (;;) {
        if (!t.empty() && t.back() == '.') t.pop_back();
        else if (t.ends_with(kIdeographicStop)) t.resize(t.size() - kIdeographicStop.size());
        else return Trim(t);
    }
}

std::string ToLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

std::string ToUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

template <typename Unit>
static std::string Utf16Walk(size_t n, Unit unit) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            uint32_t d = unit(i + 1);
            if (d >= 0xDC00 && d <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
                ++i;
                continue;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* p, size_t n) {
    if (!p) return {};
    return Utf16Walk(n, [p](size_t i) { return static_cast<uint32_t>(p[i]); });
}

std::string Utf16LeBytesToUtf8(const uint8_t* p, size_t nbytes) {
    if (!p) return {};
    return Utf16Walk(nbytes / 2, [p](size_t i) { return static_cast<uint32_t>(p[2 * i] | p[2 * i + 1] << 8); });
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    auto u = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    while (i < s.size()) {
        uint8_t b = u(i);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF && i + 1 < s.size() && (u(i + 1) & 0xC0) == 0x80) {
            cp = ((b & 0x1Fu) << 6) | (u(i + 1) & 0x3Fu);
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF && i + 2 < s.size() && (u(i + 1) & 0xC0) == 0x80 && (u(i + 2) & 0xC0) == 0x80) {
            uint32_t c = ((b & 0x0Fu) << 12) | ((u(i + 1) & 0x3Fu) << 6) | (u(i + 2) & 0x3Fu);
            if (c >= 0x800 && !(c >= 0xD800 && c <= 0xDFFF)) cp = c;
            len = 3;
        } else if (b >= 0xF0 && b <= 0xF4 && i + 3 < s.size() && (u(i + 1) & 0xC0) == 0x80 &&
                   (u(i + 2) & 0xC0) == 0x80 && (u(i + 3) & 0xC0) == 0x80) {
            uint32_t c = ((b & 0x07u) << 18) | ((u(i + 1) & 0x3Fu) << 12) | ((u(i + 2) & 0x3Fu) << 6) | (u(i + 3) & 0x3Fu);
            if (c >= 0x10000 && c <= 0x10FFFF) cp = c;
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Latin1ToUtf8(const uint8_t* p, size_t n) {
    std::string out;
    if (!p) return out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        if (b == 0) break;
        if (b < 0x20 || b == 0x7F) {
            out.push_back('.');
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back(static_cast<char>(0xC0 + (b >> 6)));
            out.push_back(static_cast<char>(0x80 + (b & 0x3F)));
        }
    }
    return out;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
static void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

static std::string FormatSeconds(int64_t secs, const char* fmt) {
    int64_t days = secs / 86400;
    int64_t rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    return Format(fmt, static_cast<int>(y), m, d, static_cast<unsigned>(rem / 3600), static_cast<unsigned>(rem / 60 % 60),
                  static_cast<unsigned>(rem % 60));
}

std::string FormatFileTimeUtc(uint64_t fileTime) {
    if (fileTime >= 0x8000000000000000ull) return {};
    // 11644473600 seconds lie between 1601-01-01 and 1970-01-01.
    int64_t secs = static_cast<int64_t>(fileTime / 10000000ull) - 11644473600ll;
    return FormatSeconds(secs, "%04d-%02u-%02u %02u:%02u:%02u UTC");
}

std::string FormatUnixTimeUtc(int64_t seconds) {
    if (seconds < 0 || seconds > 32535215999ll) return {};
    return FormatSeconds(seconds, "%04d-%02u-%02u %02u:%02u:%02u UTC");
}

}  // namespace vorq
