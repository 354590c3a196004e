// Any processor: CPUID answers of any values (each leaf answers the same every
// time, as a processor does, including hypervisor and Xen leaves), any
// processor records, any update-revision blob, and affinity calls that fail.
// The collector ends, stays inside its buffers and writes UTF-8.
#include <cstdlib>
#include <map>
#include <utility>

#include "collectors/processor/cpu.h"
#include "tests/fuzz/fuzz_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorq;
    FuzzedDataProvider provider(data, size);
    fuzz::Feed f{provider};
    std::map<std::pair<uint32_t, uint32_t>, CpuidRegisters> leaves;
    CpuSource src;
    src.cpuid = [&](uint32_t leaf, uint32_t subleaf) {
        auto [it, fresh] = leaves.try_emplace({leaf, subleaf});
        if (fresh) {
            const bool small = (leaf & 0xFFFF) < 0x40;  // leaf counts and sub-leaf limits look like these
            for (uint32_t* r : {&it->second.eax, &it->second.ebx, &it->second.ecx, &it->second.edx})
                *r = small && f.Bool() ? f.in.ConsumeIntegralInRange<uint32_t>(0, 0x40) | (leaf & 0xFFFF0000u)
                                       : f.Int<uint32_t>();
        }
        return it->second;
    };
    src.probeArchitecture = [](Snapshot&) { return true; };
    src.probeCpuSets = [](Snapshot&) {};
    src.probeXState = [](Snapshot&) {};
    const Bytes records = f.Blob(2048);
    src.readTopology = [&] { return WalkProcessorRecords(records.data(), records.size()); };
    src.activeProcessorCount = [&] { return f.Int<uint32_t>(); };
    src.readMicrocode = [&](std::vector<uint8_t>& value) {
        value = f.Blob(16);
        return f.Bool();
    };
    src.affinity.save = [&] { return f.Bool(); };
    src.affinity.pinTo = [&](uint16_t, uint8_t) { return f.Bool(); };
    src.affinity.restore = [] {};
    src.affinity.processAffinity = [&](uint16_t& group, uint64_t& mask) {
        group = f.Bool() ? 0 : f.Int<uint16_t>();
        mask = f.Int<uint64_t>();
        return f.Bool();
    };
    Snapshot s;
    CollectCpuFrom(s, src);
    fuzz::CheckSnapshot(s);
    return 0;
}
