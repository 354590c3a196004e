// Any input quotes to one valid JSON string; valid UTF-8 decodes back to itself;
// the writer's UTF-8 test agrees with the reference decoder here.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/json.h"

namespace {

bool ValidUtf8(const uint8_t* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        uint8_t b = p[i];
        size_t len = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3 : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        if (!len || i + len > n) return false;
        uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

// A strict decoder of one JSON string literal; aborts on anything malformed.
std::string Decode(const std::string& q) {
    if (q.size() < 2 || q.front() != '"' || q.back() != '"') abort();
    std::string out;
    for (size_t i = 1; i + 1 < q.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(q[i]);
        if (c < 0x20 || c == '"') abort();
        if (c != '\\') {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (++i + 1 >= q.size()) abort();
        switch (q[i]) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'r': out.push_back('\r'); break;
            case 'u': {
                if (i + 4 >= q.size()) abort();
                unsigned v = static_cast<unsigned>(std::stoul(q.substr(i + 1, 4), nullptr, 16));
                i += 4;
                if (v == 0xFFFD) {
                    out += "\xEF\xBF\xBD";
                } else if (v < 0x80) {
                    out.push_back(static_cast<char>(v));
                } else {
                    abort();
                }
                break;
            }
            default: abort();
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size);
    std::string q;
    vorq::AppendJsonQuoted(q, in);
    if (vorq::IsWellFormedUtf8(in) != ValidUtf8(data, size)) abort();
    std::string back = Decode(q);
    if (!ValidUtf8(reinterpret_cast<const uint8_t*>(back.data()), back.size())) abort();
    if (ValidUtf8(data, size) && in.find("\xEF\xBF\xBD") == std::string::npos && back != in) abort();
    return 0;
}
