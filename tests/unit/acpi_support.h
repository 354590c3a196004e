// Crafted ACPI tables and a firmware-table source over them, for tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "collectors/processor/acpi.h"

namespace vorq::test {

inline void FixChecksum(std::vector<uint8_t>& t) {
    t[9] = 0;
    uint8_t sum = 0;
    for (uint8_t b : t) sum = static_cast<uint8_t>(sum + b);
    t[9] = static_cast<uint8_t>(-sum);
}

// A table with a standard header ("OEMID ", "TABLEID ", creator "CRTR") and
// the body after it, Length and checksum filled in.
inline std::vector<uint8_t> AcpiTable(const char* sig, uint8_t rev, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> t(36 + body.size(), 0);
    std::memcpy(t.data(), sig, 4);
    const uint32_t len = static_cast<uint32_t>(36 + body.size());
    std::memcpy(t.data() + 4, &len, 4);
    t[8] = rev;
    std::memcpy(t.data() + 10, "OEMID ", 6);
    std::memcpy(t.data() + 16, "TABLEID ", 8);
    const uint32_t oemRev = 0x10, creatorRev = 0x20;
    std::memcpy(t.data() + 24, &oemRev, 4);
    std::memcpy(t.data() + 28, "CRTR", 4);
    std::memcpy(t.data() + 32, &creatorRev, 4);
    if (!body.empty()) std::memcpy(t.data() + 36, body.data(), body.size());
    FixChecksum(t);
    return t;
}

inline uint32_t AcpiId(const char* sig) {
    uint32_t id;
    std::memcpy(&id, sig, 4);
    return id;
}

// The firmware-table interface over a list of ids and their bytes.
struct FakeAcpi {
    std::vector<uint32_t> ids;
    std::map<uint32_t, std::vector<uint8_t>> tables;  // first instance of each id
    std::set<uint32_t> shortRead;                     // the read returns one byte less
    bool enumFails = false;
    int enumSecondDelta = 0;  // added to the byte count of the second enumeration call
    uint32_t enumExtraBytes = 0;

    void Add(const char* sig, std::vector<uint8_t> bytes) {
        ids.push_back(AcpiId(sig));
        tables.emplace(AcpiId(sig), std::move(bytes));
    }

    AcpiSource Source() {
        AcpiSource src;
        src.enumerate = [this](void* buffer, uint32_t size) -> uint32_t {
            if (enumFails) return 0;
            const uint32_t n = static_cast<uint32_t>(ids.size() * 4) + enumExtraBytes;
            if (!buffer) return n;
            std::memcpy(buffer, ids.data(), std::min<size_t>(size, ids.size() * 4));
            return static_cast<uint32_t>(static_cast<int64_t>(n) + enumSecondDelta);
        };
        src.read = [this](uint32_t id, void* buffer, uint32_t size) -> uint32_t {
            auto it = tables.find(id);
            if (it == tables.end()) return 0;
            const uint32_t n = static_cast<uint32_t>(it->second.size());
            if (!buffer) return n;
            const uint32_t give = shortRead.count(id) ? n - 1 : n;
            std::memcpy(buffer, it->second.data(), std::min(give, size));
            return give;
        };
        src.lastError = [] { return std::string("error 2: not found"); };
        return src;
    }
};

}  // namespace vorq::test
