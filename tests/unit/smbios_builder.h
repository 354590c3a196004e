// Builds SMBIOS structures and 'RSMB' buffers for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vorq::test {

// One structure: the formatted area (header included) and its string set.
struct SmbiosRec {
    std::vector<uint8_t> formatted;
    std::vector<std::string> strings;

    SmbiosRec(uint8_t type, uint8_t length, uint16_t handle) : formatted(length < 4 ? 4 : length, 0) {
        formatted[0] = type;
        formatted[1] = length;
        W(2, handle);
    }
    SmbiosRec& B(size_t off, uint8_t v) {
        formatted.at(off) = v;
        return *this;
    }
    SmbiosRec& W(size_t off, uint16_t v) { return B(off, v & 0xFF).B(off + 1, v >> 8); }
    SmbiosRec& D(size_t off, uint32_t v) { return W(off, v & 0xFFFF).W(off + 2, v >> 16); }
    SmbiosRec& Q(size_t off, uint64_t v) { return D(off, v & 0xFFFFFFFF).D(off + 4, v >> 32); }
    SmbiosRec& Bytes(size_t off, std::initializer_list<uint8_t> v) {
        for (uint8_t b : v) B(off++, b);
        return *this;
    }
    // Appends a string and stores its number at `off`.
    SmbiosRec& Str(size_t off, const std::string& s) {
        strings.push_back(s);
        return B(off, static_cast<uint8_t>(strings.size()));
    }
    SmbiosRec& Strings(std::initializer_list<std::string> list) {
        strings.insert(strings.end(), list);
        return *this;
    }
    void AppendTo(std::vector<uint8_t>& out) const {
        out.insert(out.end(), formatted.begin(), formatted.end());
        if (strings.empty()) out.push_back(0);
        for (const std::string& s : strings) {
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        }
        out.push_back(0);
    }
};

inline SmbiosRec SmbiosEnd(uint16_t handle = 0xFEFF) { return SmbiosRec(127, 4, handle); }

inline std::vector<uint8_t> SmbiosArea(std::initializer_list<SmbiosRec> recs) {
    std::vector<uint8_t> out;
    for (const SmbiosRec& r : recs) r.AppendTo(out);
    return out;
}

// The whole buffer: header (stated length = the area's size unless given), then the area.
inline std::vector<uint8_t> RsmbBuffer(const std::vector<uint8_t>& area, uint8_t major = 3, uint8_t minor = 4,
                                       int64_t stated = -1) {
    const uint32_t len = stated < 0 ? static_cast<uint32_t>(area.size()) : static_cast<uint32_t>(stated);
    std::vector<uint8_t> out(8 + area.size(), 0);
    out[1] = major;
    out[2] = minor;
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(len >> (8 * i));
    for (size_t i = 0; i < area.size(); ++i) out[8 + i] = area[i];
    return out;
}

}  // namespace vorq::test
