// Logical-processor and CPU-set record walks over arbitrary bytes: no fault,
// and a failed walk leaves nothing behind.
#include <cstdint>
#include <cstdlib>

#include "collectors/processor/topology.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::ProcessorTopology t = vorq::WalkProcessorRecords(data, size);
    if (!t.ok && (t.cores || t.packages || t.threads || t.numaNodes || !t.lps.empty() || !t.caches.empty() ||
                  !t.l3Domains.empty() || !t.efficiencyClasses.empty()))
        abort();
    if (t.lps.size() > static_cast<size_t>(t.threads)) abort();
    for (const auto& [key, lp] : t.lps) {
        if (lp.l3Domain >= static_cast<int32_t>(t.l3Domains.size()) || lp.coreIndex < 0 || lp.coreIndex >= t.cores)
            abort();
        if (lp.group != key.group || lp.number != key.number || lp.number > 63) abort();
    }
    (void)vorq::TopologyText(t);
    (void)vorq::SortedCaches(t.caches);
    const int64_t sets = vorq::CountCpuSets(data, size);
    if (sets > static_cast<int64_t>(size / 32)) abort();
    return 0;
}
