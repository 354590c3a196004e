#include "collectors/processor/topology.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <set>
#include <utility>

#include "collectors/processor/cpu.h"
#include "core/byte_order.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorInsufficientBuffer = 122;

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

// Layout of SYSTEM_CPU_SET_INFORMATION (type 0 entries).
constexpr size_t kCpuSetMinSize = 32;
constexpr size_t kCpuSetGroup = 12;
constexpr size_t kCpuSetLpIndex = 14;

// Layout of SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX: Relationship, Size, then the union.
constexpr uint32_t kRelationProcessorCore = 0;
constexpr uint32_t kRelationNumaNode = 1;
constexpr uint32_t kRelationCache = 2;
constexpr uint32_t kRelationProcessorPackage = 3;
constexpr size_t kProcessorEfficiencyClass = 9;
constexpr size_t kProcessorGroupCount = 30;
constexpr size_t kProcessorGroupMasks = 32;
constexpr size_t kGroupAffinitySize = 16;  // KAFFINITY Mask, WORD Group, WORD Reserved[3]
constexpr size_t kCacheLevel = 8;
constexpr size_t kCacheAssociativity = 9;
constexpr size_t kCacheLineSize = 10;
constexpr size_t kCacheSize = 12;
constexpr size_t kCacheType = 16;
constexpr size_t kCacheGroupMask = 40;
constexpr size_t kCacheMinSize = kCacheGroupMask + kGroupAffinitySize;

const char* CacheTypeText(uint32_t type) {
    switch (type) {
        case 1: return "Instruction";
        case 2: return "Data";
        case 3: return "Trace";
        default: return "Unified";
    }
}

bool Walk(const uint8_t* p, size_t length, ProcessorTopology& t) {
    size_t off = 0;
    while (off < length) {
        const size_t remaining = length - off;
        if (remaining < 8) return false;
        const uint8_t* r = p + off;
        const uint32_t relation = Le32(r);
        const uint32_t size = Le32(r + 4);
        if (size < 8 || size > remaining) return false;
        if (relation == kRelationProcessorCore || relation == kRelationProcessorPackage) {
            if (size < kProcessorGroupMasks) return false;
            const uint16_t groupCount = Le16(r + kProcessorGroupCount);
            if ((size - kProcessorGroupMasks) / kGroupAffinitySize < groupCount) return false;
            if (relation == kRelationProcessorPackage) {
                ++t.packages;
            } else {
                const int32_t coreIndex = t.cores++;
                const int32_t cls = r[kProcessorEfficiencyClass];
                ++t.efficiencyClasses[cls];
                for (uint16_t g = 0; g < groupCount; ++g) {
                    const uint8_t* ga = r + kProcessorGroupMasks + g * kGroupAffinitySize;
                    const uint64_t mask = Le64(ga);
                    const uint16_t group = Le16(ga + 8);
                    for (unsigned b = 0; b < 64; ++b) {
                        if (!((mask >> b) & 1u)) continue;
                        LogicalProcessorInfo& lp = t.lps[LpKey{group, static_cast<uint8_t>(b)}];
                        lp.group = group;
                        lp.number = static_cast<uint8_t>(b);
                        lp.coreIndex = coreIndex;
                        lp.efficiencyClass = cls;
                        ++t.threads;
                    }
                }
            }
        } else if (relation == kRelationCache) {
            if (size < kCacheMinSize) return false;
            CacheEntry c;
            c.level = r[kCacheLevel];
            c.type = CacheTypeText(Le32(r + kCacheType));
            c.size = Le32(r + kCacheSize);
            c.associativity = r[kCacheAssociativity];
            c.lineSize = Le16(r + kCacheLineSize);
            const uint64_t mask = Le64(r + kCacheGroupMask);
            c.sharedBy = std::popcount(mask);
            if (c.level == 3) t.l3Domains.push_back(L3Domain{Le16(r + kCacheGroupMask + 8), mask});
            auto same = std::find_if(t.caches.begin(), t.caches.end(), [&](const CacheEntry& e) {
                return e.level == c.level && e.type == c.type && e.size == c.size &&
                       e.associativity == c.associativity && e.lineSize == c.lineSize && e.sharedBy == c.sharedBy;
            });
            if (same != t.caches.end())
                ++same->instances;
            else
                t.caches.push_back(std::move(c));
        } else if (relation == kRelationNumaNode) {
            ++t.numaNodes;
        }
        off += size;
    }
    return true;
}

}  // namespace

ArchitectureKind ClassifyArchitecture(bool ok, uint16_t process, uint16_t native, uint16_t compiled) {
    if (!ok) return ArchitectureKind::Unknown;
    if (compiled != kMachineAmd64) return ArchitectureKind::Unsupported;
    const bool x64Process = process == 0 || process == kMachineAmd64;
    if (native == kMachineAmd64 && x64Process) return ArchitectureKind::NativeX64;
    if (native == kMachineArm64 && x64Process) return ArchitectureKind::Arm64Emulation;
    return ArchitectureKind::Unsupported;
}

const char* ArchitectureKindText(ArchitectureKind kind) {
    switch (kind) {
        case ArchitectureKind::NativeX64: return "native_x64";
        case ArchitectureKind::Arm64Emulation: return "arm64_emulation";
        case ArchitectureKind::Unsupported: return "unsupported";
        default: return "unknown";
    }
}

bool RecordArchitecture(Snapshot& s, const char* status, uint16_t process, uint16_t native, ArchitectureKind kind) {
    SetFact(s, fact::kCpuArchStatus, status);
    SetFact(s, fact::kCpuArchProcess, Hex16(process));
    SetFact(s, fact::kCpuArchNative, Hex16(native));
    SetFact(s, fact::kCpuArchCompiled, Hex16(kMachineAmd64));
    SetFact(s, fact::kCpuArchKind, ArchitectureKindText(kind));
    const bool safe = kind == ArchitectureKind::NativeX64;
    SetFact(s, fact::kCpuArchCpuidSafe, safe ? "1" : "0");
    return safe;
}

int64_t CountCpuSets(const uint8_t* p, size_t length) {
    std::set<std::pair<uint16_t, uint8_t>> seen;
    size_t off = 0;
    while (off < length) {
        const size_t remaining = length - off;
        if (remaining < 8) return -1;
        const uint8_t* r = p + off;
        const uint32_t size = Le32(r);
        const uint32_t type = Le32(r + 4);
        if (size < 8 || size > remaining) return -1;
        if (type == 0) {
            if (size < kCpuSetMinSize) return -1;
            seen.emplace(Le16(r + kCpuSetGroup), r[kCpuSetLpIndex]);
        }
        off += size;
    }
    return static_cast<int64_t>(seen.size());
}

void ProbeCpuSetsWith(Snapshot& s, const SizedQuery* query) {
    SetFact(s, fact::kCpuSetsStatus, query ? "error" : "not_supported");
    if (!query) return;
    auto unsupported = [](uint32_t e) { return e == kErrorCallNotImplemented || e == kErrorNotSupported; };
    uint32_t length = 0, error = 0;
    if (!(*query)(nullptr, 0, length, error) && unsupported(error)) {
        SetFact(s, fact::kCpuSetsStatus, "not_supported");
        return;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (length == 0 || length > kMaxSystemBuffer) return;
        std::vector<uint8_t> buf(length);
        uint32_t returned = 0;
        error = 0;
        if (!(*query)(buf.data(), length, returned, error)) {
            if (unsupported(error)) {
                SetFact(s, fact::kCpuSetsStatus, "not_supported");
                return;
            }
            // The set can grow between the calls: take the larger size once.
            if (error == kErrorInsufficientBuffer && returned > length && returned <= kMaxSystemBuffer) {
                length = returned;
                continue;
            }
            return;
        }
        if (returned > length) return;
        const int64_t count = CountCpuSets(buf.data(), returned);
        if (count <= 0) return;
        SetFact(s, fact::kCpuSetsLogical, Format("%lld", static_cast<long long>(count)));
        SetFact(s, fact::kCpuSetsStatus, "complete");
        return;
    }
}

ProcessorTopology WalkProcessorRecords(const uint8_t* p, size_t length) {
    ProcessorTopology t;
    t.ok = Walk(p, length, t);
    if (!t.ok) t = ProcessorTopology{};
    for (auto& [key, lp] : t.lps) {
        for (size_t i = t.l3Domains.size(); i-- > 0;) {
            const L3Domain& d = t.l3Domains[i];
            if (d.group == key.group && ((d.mask >> key.number) & 1u)) {
                lp.l3Domain = static_cast<int32_t>(i);
                break;
            }
        }
    }
    return t;
}

ProcessorTopology ReadProcessorTopologyWith(const SizedQuery& query) {
    uint32_t length = 0, error = 0;
    query(nullptr, 0, length, error);
    if (length == 0 || length > kMaxSystemBuffer) return ProcessorTopology{};
    std::vector<uint8_t> buf(length);
    uint32_t returned = 0;
    if (!query(buf.data(), length, returned, error) || returned > length) return ProcessorTopology{};
    return WalkProcessorRecords(buf.data(), returned);
}

bool ProbeTopologyLeaf(const CpuidFn& cpuid, uint32_t maxBasic, uint32_t leaf) {
    if (maxBasic < leaf) return false;
    const CpuidRegisters r = cpuid(leaf, 0);
    return (r.ebx & 0xFFFF) != 0 && ((r.ecx >> 8) & 0xFF) != 0;
}

void RunOnFirstAllowedProcessor(const ThreadAffinity& affinity, const std::function<void()>& work) {
    uint16_t group = 0;
    uint64_t mask = 0;
    if (!affinity.processAffinity || !affinity.processAffinity(group, mask) || mask == 0 || !affinity.save()) {
        work();
        return;
    }
    auto restore = [](const ThreadAffinity* a) { a->restore(); };
    std::unique_ptr<const ThreadAffinity, decltype(restore)> guard(&affinity, restore);
    affinity.pinTo(group, static_cast<uint8_t>(std::countr_zero(mask)));
    work();
}

LpProbeResult ProbeLogicalProcessors(ProcessorTopology& topo, uint32_t topologyLeaf, bool hybrid, bool amdTopology,
                                     uint32_t maxBasic, const CpuidFn& cpuid, const ThreadAffinity& affinity) {
    LpProbeResult res;
    if (!affinity.save()) return res;
    // The thread must not stay pinned to the last processor, whatever happens below.
    auto restore = [](const ThreadAffinity* a) { a->restore(); };
    std::unique_ptr<const ThreadAffinity, decltype(restore)> guard(&affinity, restore);
    for (auto& [key, lp] : topo.lps) {
        if (!affinity.pinTo(key.group, key.number)) continue;
        lp.initialApic = cpuid(1, 0).ebx >> 24;
        if (topologyLeaf != 0) lp.x2Apic = cpuid(topologyLeaf, 0).edx;
        if (hybrid && maxBasic >= 0x1A) lp.coreType = cpuid(0x1A, 0).eax >> 24;
        if (amdTopology) {
            const CpuidRegisters r = cpuid(0x8000001Eu, 0);
            if (topologyLeaf == 0) lp.x2Apic = r.eax;
            lp.amdCoreId = r.ebx & 0xFF;
            lp.amdNodeId = r.ecx & 0xFF;
        }
        ++res.probed;
        if (topologyLeaf != 0 || amdTopology) res.distinctX2Apic.insert(lp.x2Apic);
    }
    return res;
}

std::string TopologyText(const ProcessorTopology& topo) {
    std::string text = Format("%d socket%s / %d cores / %d threads", topo.packages, topo.packages == 1 ? "" : "s",
                              topo.cores, topo.threads);
    if (topo.l3Domains.size() >= 2) text += Format(" / %zu L3 domains", topo.l3Domains.size());
    if (topo.efficiencyClasses.size() > 1) {
        std::vector<std::string> items;
        for (auto it = topo.efficiencyClasses.rbegin(); it != topo.efficiencyClasses.rend(); ++it)
            items.push_back(Format("%d x class %d", it->second, it->first));
        text += " (" + Join(items, ", ") + ")";
    }
    return text;
}

std::vector<CacheEntry> SortedCaches(const std::vector<CacheEntry>& caches) {
    std::vector<CacheEntry> out = caches;
    std::stable_sort(out.begin(), out.end(), [](const CacheEntry& a, const CacheEntry& b) {
        return a.level != b.level ? a.level < b.level : a.type < b.type;
    });
    return out;
}

}  // namespace vorq
