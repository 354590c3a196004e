// What Windows reports about the processors: the process architecture that
// decides whether CPUID may be interpreted, the CPU-set count, the
// logical-processor records (cores, packages, NUMA nodes, caches, efficiency
// classes, L3 domains) and the per-processor APIC walk. The record walks take
// bytes and the platform calls are injected, so all of it runs on the host.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "collectors/processor/cpuid.h"
#include "core/snapshot.h"

namespace vorq {

enum class ArchitectureKind : int32_t { Unknown = 0, NativeX64 = 1, Arm64Emulation = 2, Unsupported = 3 };

// Machine values are IMAGE_FILE_MACHINE codes (0 = not a WOW64 process).
ArchitectureKind ClassifyArchitecture(bool ok, uint16_t process, uint16_t native, uint16_t compiled);
const char* ArchitectureKindText(ArchitectureKind kind);

// Writes the six "cpu.arch." facts; true only for a native x86-64 process.
bool RecordArchitecture(Snapshot& s, const char* status, uint16_t process, uint16_t native, ArchitectureKind kind);

// A size-probing system query: fills at most `size` bytes of `buffer` (null
// with size 0 asks for the length), sets `returned`, and on failure `error`
// to the Win32 error code.
using SizedQuery = std::function<bool(uint8_t* buffer, uint32_t size, uint32_t& returned, uint32_t& error)>;

constexpr uint32_t kMaxSystemBuffer = 0x1000000;  // 16 MiB

// Number of distinct (group, logical processor) pairs among the CPU-set
// records, or -1 when a record's size does not fit.
int64_t CountCpuSets(const uint8_t* p, size_t length);

// Writes "cpu.sets.status" and on success "cpu.sets.logical". `query` is null
// when the system has no CPU-set query.
void ProbeCpuSetsWith(Snapshot& s, const SizedQuery* query);

struct CacheEntry {
    int32_t level = 0;
    std::string type;  // "Data", "Instruction", "Trace" or "Unified"
    uint32_t size = 0;
    int32_t associativity = 0;  // 255: fully associative
    int32_t lineSize = 0;
    int32_t sharedBy = 0;
    int32_t instances = 1;
};

struct L3Domain {
    uint16_t group = 0;
    uint64_t mask = 0;
};

struct LogicalProcessorInfo {
    uint16_t group = 0;
    uint8_t number = 0;
    uint32_t initialApic = 0;
    uint32_t x2Apic = 0;
    uint32_t coreType = 0;
    uint32_t amdCoreId = 0;
    uint32_t amdNodeId = 0;
    int32_t coreIndex = -1;
    int32_t efficiencyClass = 0;
    int32_t l3Domain = -1;
};

struct LpKey {
    uint16_t group = 0;
    uint8_t number = 0;
    bool operator<(const LpKey& o) const { return group != o.group ? group < o.group : number < o.number; }
};

struct ProcessorTopology {
    bool ok = false;
    int32_t cores = 0;
    int32_t packages = 0;
    int32_t numaNodes = 0;
    int32_t threads = 0;
    std::map<int32_t, int32_t> efficiencyClasses;  // class -> core records
    std::vector<CacheEntry> caches;                // walk order
    std::vector<L3Domain> l3Domains;               // walk order
    std::map<LpKey, LogicalProcessorInfo> lps;
};

// Walks SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX records. A record whose size
// does not fit fails the whole walk: the result is then empty with ok false.
ProcessorTopology WalkProcessorRecords(const uint8_t* p, size_t length);

// Sizes the buffer (at most 16 MiB), reads it and walks it.
ProcessorTopology ReadProcessorTopologyWith(const SizedQuery& query);

// Leaf exists and reports processors and a level type at sub-leaf 0.
bool ProbeTopologyLeaf(const CpuidFn& cpuid, uint32_t maxBasic, uint32_t leaf);

// Moves the calling thread. save() remembers the current affinity; pinTo()
// moves to one processor and yields once; restore() puts the saved one back.
// processAffinity() gives the processors the process may use: its group and
// the mask within it; false when unknown.
struct ThreadAffinity {
    std::function<bool()> save;
    std::function<bool(uint16_t group, uint8_t number)> pinTo;
    std::function<void()> restore;
    std::function<bool(uint16_t& group, uint64_t& mask)> processAffinity;
};

// Runs `work` on the first processor the process may use (the lowest set bit
// of its affinity mask), so that per-processor values such as APIC ids read
// the same on every run; restores the thread's affinity on every path out.
// When that processor is unknown or cannot be pinned, `work` runs where the
// thread is.
void RunOnFirstAllowedProcessor(const ThreadAffinity& affinity, const std::function<void()>& work);

struct LpProbeResult {
    uint32_t probed = 0;
    std::set<uint32_t> distinctX2Apic;
};

// Reads the APIC ids (and core type, AMD core/node ids) of every logical
// processor in map order; restores the saved affinity on every path out.
LpProbeResult ProbeLogicalProcessors(ProcessorTopology& topo, uint32_t topologyLeaf, bool hybrid, bool amdTopology,
                                     uint32_t maxBasic, const CpuidFn& cpuid, const ThreadAffinity& affinity);

// "1 socket / 4 cores / 8 threads", with L3 domains and efficiency classes
// when there are several.
std::string TopologyText(const ProcessorTopology& topo);

// Caches by level, then type text; equal entries keep their walk order.
std::vector<CacheEntry> SortedCaches(const std::vector<CacheEntry>& caches);

}  // namespace vorq
