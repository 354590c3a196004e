#include "core/registry.h"

namespace vorq {

namespace {

uint64_t LittleEndian(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = n; i > 0; --i) v = v << 8 | p[i - 1];
    return v;
}

// Units from `pos` up to the next NUL or the end; `pos` moves past the NUL.
std::u16string TakeString(const uint8_t* data, size_t units, size_t& pos) {
    std::u16string s;
    while (pos < units) {
        char16_t c = static_cast<char16_t>(data[2 * pos] | data[2 * pos + 1] << 8);
        ++pos;
        if (c == 0) break;
        s.push_back(c);
    }
    return s;
}

std::string U16ToUtf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }

}  // namespace

std::vector<std::u16string> SplitUtf16Strings(const uint8_t* data, size_t size) {
    std::vector<std::u16string> out;
    if (!data) return out;
    const size_t units = size / 2;
    size_t pos = 0;
    while (pos < units) {
        std::u16string s = TakeString(data, units, pos);
        if (s.empty()) break;
        out.push_back(std::move(s));
    }
    return out;
}

std::u16string FirstUtf16String(const uint8_t* data, size_t size) {
    if (!data) return {};
    size_t pos = 0;
    return TakeString(data, size / 2, pos);
}

std::string RegValueToText(uint32_t type, const uint8_t* data, size_t size) {
    if (!data) size = 0;
    switch (type) {
        case kRegSz:
        case kRegExpandSz:
            return U16ToUtf8(FirstUtf16String(data, size));
        case kRegMultiSz: {
            std::vector<std::string> parts;
            for (const auto& s : SplitUtf16Strings(data, size)) parts.push_back(U16ToUtf8(s));
            return Join(parts, "; ");
        }
        case kRegDword:
            if (size >= 4) {
                auto v = static_cast<unsigned>(LittleEndian(data, 4));
                return Format("%u (0x%X)", v, v);
            }
            break;
        case kRegQword:
            if (size >= 8) {
                auto v = static_cast<unsigned long long>(LittleEndian(data, 8));
                return Format("%llu (0x%llX)", v, v);
            }
            break;
        default:
            break;
    }
    constexpr size_t kShown = 64;
    std::string text = size ? HexEncode(data, size < kShown ? size : kShown) : std::string();
    if (size > kShown) text += "\xE2\x80\xA6";  // U+2026
    return text;
}

}  // namespace vorq
