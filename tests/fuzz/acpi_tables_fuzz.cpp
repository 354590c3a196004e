// Hostile firmware tables: the input is a list of records [id (4 bytes)]
// [mode (1)] [length (2, little-endian)] [bytes], mode bit 0 making the read
// come back one byte short and bit 1 failing the size query. Every table is
// also checked on its own. Nothing may crash, and the rows stay well formed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "collectors/processor/acpi.h"
#include "collectors/processor/acpi_scan.h"
#include "core/snapshot.h"

namespace {

struct Entry {
    std::vector<uint8_t> bytes;
    uint8_t mode = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint32_t> ids;
    std::map<uint32_t, Entry> tables;
    size_t off = 0;
    while (off + 7 <= size) {
        uint32_t id;
        std::memcpy(&id, data + off, 4);
        const uint8_t mode = data[off + 4];
        size_t len = data[off + 5] | data[off + 6] << 8;
        off += 7;
        if (len > size - off) len = size - off;
        vorq::ScanAcpiTable(data + off, len);
        ids.push_back(id);
        tables.emplace(id, Entry{std::vector<uint8_t>(data + off, data + off + len), mode});
        off += len;
    }

    vorq::AcpiSource src;
    src.enumerate = [&](void* buffer, uint32_t n) -> uint32_t {
        const uint32_t need = static_cast<uint32_t>(ids.size() * 4);
        if (buffer) std::memcpy(buffer, ids.data(), std::min<size_t>(n, need));
        return need;
    };
    src.read = [&](uint32_t id, void* buffer, uint32_t n) -> uint32_t {
        const Entry& e = tables[id];
        if (e.mode & 2) return 0;
        const uint32_t have = static_cast<uint32_t>(e.bytes.size());
        if (!buffer) return have;
        const uint32_t give = (e.mode & 1) && have ? have - 1 : have;
        std::memcpy(buffer, e.bytes.data(), std::min(give, n));
        return give;
    };
    src.lastError = [] { return std::string("error 1"); };

    vorq::Snapshot s;
    vorq::CollectAcpiFrom(s, src);
    const vorq::Table* t = vorq::FindTable(s, "acpi");
    if (!ids.empty() && !t) abort();
    if (t) {
        if (t->rows.size() > tables.size()) abort();
        for (const auto& r : t->rows)
            if (r.cells.size() != 10) abort();
    }
    return 0;
}
