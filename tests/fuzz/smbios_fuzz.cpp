// The walks, the accessors and the rendering over arbitrary firmware bytes:
// nothing may read outside the buffer, and the facts stay well-formed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "collectors/processor/smbios.h"
#include "collectors/processor/smbios_walker.h"
#include "core/snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorq;
    if (size == 0) return 0;
    // The first byte chooses: the rest taken as a whole 'RSMB' buffer, or as a
    // structure area under a header whose stated length matches.
    const uint8_t mode = data[0];
    std::vector<uint8_t> buffer;
    if (mode & 1) {
        buffer.assign(data + 1, data + size);
    } else {
        const uint32_t len = static_cast<uint32_t>(size - 1);
        buffer = {0, static_cast<uint8_t>(mode & 2 ? 3 : 2), static_cast<uint8_t>(mode >> 4), 0,
                  static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len >> 16),
                  static_cast<uint8_t>(len >> 24)};
        buffer.insert(buffer.end(), data + 1, data + size);
    }

    if (buffer.size() >= kSmbiosHeaderSize) {
        const uint8_t* area = buffer.data() + kSmbiosHeaderSize;
        const size_t n = buffer.size() - kSmbiosHeaderSize;
        const SmbiosWalkResult r = ParseSmbiosTable(area, n);
        if (r.badReferences && !r.complete) abort();
        for (const SmbiosStructure& rec : SplitSmbiosStructures(area, n)) {
            if (rec.data < area || rec.data + rec.length > area + n || rec.length < 4) abort();
            for (size_t off = 0; off < 260; off += 7) {
                rec.FieldQword(off);
                rec.FieldString(off);
            }
        }
    }

    // Copy into an exact-size allocation so any overread is caught.
    std::vector<uint8_t> exact(buffer);
    Snapshot s;
    CollectSmbiosFrom(s, SmbiosSource{exact.data(), exact.size()});
    if (exact.size() >= kSmbiosHeaderSize) {
        const std::string status = GetFact(s, "vm.smbios.structure.status");
        if (status != "complete" && status != "malformed" && status != "limited") abort();
        if (s.tables.size() != 2) abort();
    }
    return 0;
}
