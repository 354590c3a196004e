// OA3 hardware-hash record sets for the tests and the fuzz seeds: a header
// ("OA" and the total length) and records of type, reserved byte, size, data.
#pragma once

#include <cstdint>
#include <vector>

namespace vorq::test {

struct Oa3Record {
    uint8_t type;
    std::vector<uint8_t> data;
};

inline void PutLe16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// `totalOverride` replaces the computed total length when non-zero.
inline std::vector<uint8_t> Oa3Set(const std::vector<Oa3Record>& records, uint16_t totalOverride = 0) {
    std::vector<uint8_t> b = {'O', 'A', 0, 0};
    for (const Oa3Record& r : records) {
        const size_t at = b.size();
        b.resize(at + 4 + r.data.size());
        b[at] = r.type;
        PutLe16(b, at + 2, static_cast<uint16_t>(4 + r.data.size()));
        for (size_t i = 0; i < r.data.size(); ++i) b[at + 4 + i] = r.data[i];
    }
    PutLe16(b, 2, totalOverride ? totalOverride : static_cast<uint16_t>(b.size()));
    return b;
}

// A type-1 time-stamp record of 28 bytes: seconds since 2000 at record offset 20.
inline Oa3Record Oa3TimeStamp(uint32_t seconds) {
    Oa3Record r{1, std::vector<uint8_t>(24, 0)};
    for (int i = 0; i < 4; ++i) r.data[16 + i] = static_cast<uint8_t>(seconds >> (8 * i));
    return r;
}

}  // namespace vorq::test
