#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "collectors/processor/topology.h"

namespace vorq {
namespace {

using Buf = std::vector<uint8_t>;

void Put(Buf& b, size_t off, uint64_t v, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    for (size_t i = 0; i < n; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

Buf operator+(Buf a, const Buf& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Affinity {
    uint16_t group;
    uint64_t mask;
};

// PROCESSOR_RELATIONSHIP record (relationship 0 core, 3 package).
Buf Processor(uint32_t relation, uint8_t efficiencyClass, std::vector<Affinity> groups) {
    Buf b(32 + 16 * groups.size());
    Put(b, 0, relation, 4);
    Put(b, 4, b.size(), 4);
    b[9] = efficiencyClass;
    Put(b, 30, groups.size(), 2);
    for (size_t i = 0; i < groups.size(); ++i) {
        Put(b, 32 + 16 * i, groups[i].mask, 8);
        Put(b, 40 + 16 * i, groups[i].group, 2);
    }
    return b;
}
Buf Core(std::vector<Affinity> groups, uint8_t cls = 0) { return Processor(0, cls, groups); }
Buf Package(std::vector<Affinity> groups) { return Processor(3, 0, groups); }

Buf Numa() {
    Buf b(48);
    Put(b, 0, 1, 4);
    Put(b, 4, 48, 4);
    return b;
}

// CACHE_RELATIONSHIP record; type 0 unified, 1 instruction, 2 data, 3 trace.
Buf Cache(uint8_t level, uint32_t type, uint32_t size, uint8_t ways, Affinity a) {
    Buf b(56);
    Put(b, 0, 2, 4);
    Put(b, 4, 56, 4);
    b[8] = level;
    b[9] = ways;
    Put(b, 10, 64, 2);
    Put(b, 12, size, 4);
    Put(b, 16, type, 4);
    Put(b, 38, 1, 2);
    Put(b, 40, a.mask, 8);
    Put(b, 48, a.group, 2);
    return b;
}

ProcessorTopology Walk(const Buf& b) { return WalkProcessorRecords(b.data(), b.size()); }

// One package, two cores with two threads each, private L1d/L2, a shared L3.
Buf Desktop() {
    return Package({{0, 0xF}}) + Core({{0, 0x3}}) + Cache(1, 2, 48 << 10, 12, {0, 0x3}) +
           Cache(2, 0, 1280 << 10, 10, {0, 0x3}) + Core({{0, 0xC}}) + Cache(1, 2, 48 << 10, 12, {0, 0xC}) +
           Cache(2, 0, 1280 << 10, 10, {0, 0xC}) + Cache(3, 0, 24u << 20, 12, {0, 0xF}) + Numa();
}

TEST(TopologyWalk, CountsCachesAndProcessors) {
    const ProcessorTopology t = Walk(Desktop());
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.packages, 1);
    EXPECT_EQ(t.cores, 2);
    EXPECT_EQ(t.threads, 4);
    EXPECT_EQ(t.numaNodes, 1);
    ASSERT_EQ(t.caches.size(), 3u);  // identical private caches merge into instances
    EXPECT_EQ(t.caches[0].type, "Data");
    EXPECT_EQ(t.caches[0].instances, 2);
    EXPECT_EQ(t.caches[0].sharedBy, 2);
    EXPECT_EQ(t.caches[1].type, "Unified");
    EXPECT_EQ(t.caches[1].instances, 2);
    EXPECT_EQ(t.caches[2].level, 3);
    EXPECT_EQ(t.caches[2].sharedBy, 4);
    ASSERT_EQ(t.lps.size(), 4u);
    int n = 0;
    for (const auto& [key, lp] : t.lps) {
        EXPECT_EQ(lp.number, n);
        EXPECT_EQ(lp.coreIndex, n / 2);
        EXPECT_EQ(lp.l3Domain, 0);
        ++n;
    }
    EXPECT_EQ(TopologyText(t), "1 socket / 2 cores / 4 threads");
}

TEST(TopologyWalk, GroupsOrderL3DomainsAndEfficiencyClasses) {
    // Group 1 is listed first; the map still puts group 0 first. Each group has its own L3.
    const Buf b = Package({{1, 0x3}, {0, 0x3}}) + Package({{0, 0x4}}) + Core({{1, 0x3}}, 1) + Core({{0, 0x1}}, 1) +
                  Core({{0, 0x2}}) + Core({{0, 0x4}}) + Cache(3, 0, 8u << 20, 16, {1, 0x3}) +
                  Cache(3, 0, 8u << 20, 16, {0, 0x3});
    const ProcessorTopology t = Walk(b);
    ASSERT_TRUE(t.ok);
    std::vector<std::pair<int, int>> order;
    std::vector<int> domains;
    for (const auto& [key, lp] : t.lps) {
        order.push_back({lp.group, lp.number});
        domains.push_back(lp.l3Domain);
    }
    EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}}));
    EXPECT_EQ(domains, (std::vector<int>{1, 1, -1, 0, 0}));
    EXPECT_EQ(t.caches.size(), 1u);
    EXPECT_EQ(t.caches[0].instances, 2);
    EXPECT_EQ(TopologyText(t), "2 sockets / 4 cores / 5 threads / 2 L3 domains (2 x class 1, 2 x class 0)");
}

TEST(TopologyWalk, RecordsThatDoNotFitFailTheWholeWalk) {
    Buf lastTooLong = Desktop();
    Put(lastTooLong, lastTooLong.size() - 48 + 4, 49, 4);
    Buf tooManyGroups = Core({{0, 0x3}});
    Put(tooManyGroups, 30, 2, 2);
    Buf shortCache = Cache(2, 0, 1 << 20, 8, {0, 1});
    Put(shortCache, 4, 48, 4);
    shortCache.resize(48);
    Buf zeroSize = Numa();
    Put(zeroSize, 4, 0, 4);
    Buf shortCore = Core({});
    Put(shortCore, 4, 24, 4);
    shortCore.resize(24);
    struct Case {
        const char* name;
        Buf bytes;
    } cases[] = {
        {"last record claims more than remains", lastTooLong},
        {"group count beyond the record", Desktop() + tooManyGroups},
        {"cache record without its group mask", shortCache + Desktop()},
        {"record of size 0", zeroSize},
        {"core record shorter than its header", shortCore},
        {"trailing bytes shorter than a header", Desktop() + Buf(4)},
    };
    for (const Case& c : cases) {
        const ProcessorTopology t = Walk(c.bytes);
        EXPECT_FALSE(t.ok) << c.name;
        EXPECT_EQ(t.cores + t.packages + t.threads + t.numaNodes, 0) << c.name;
        EXPECT_TRUE(t.lps.empty() && t.caches.empty() && t.l3Domains.empty() && t.efficiencyClasses.empty()) << c.name;
        EXPECT_EQ(TopologyText(t), "0 sockets / 0 cores / 0 threads") << c.name;
    }
    Buf unknown(24);
    Put(unknown, 0, 7, 4);
    Put(unknown, 4, 24, 4);
    EXPECT_TRUE(Walk(unknown + Desktop()).ok);  // other relationships are skipped
}

TEST(TopologyRead, SizesTheBufferFromTheQuery) {
    const Buf records = Desktop();
    struct Case {
        const char* name;
        uint32_t reportedLength;
        bool secondCallOk;
        uint32_t returned;
        bool ok;
    } cases[] = {
        {"normal", static_cast<uint32_t>(records.size()), true, static_cast<uint32_t>(records.size()), true},
        {"nothing to read", 0, true, 0, false},
        {"above 16 MiB", kMaxSystemBuffer + 1, true, 0, false},
        {"second call fails", static_cast<uint32_t>(records.size()), false, 0, false},
        {"returned length beyond the buffer", static_cast<uint32_t>(records.size()), true,
         static_cast<uint32_t>(records.size()) + 1, false},
    };
    for (const Case& c : cases) {
        SizedQuery q = [&](uint8_t* buf, uint32_t size, uint32_t& returned, uint32_t& error) {
            if (!buf) {
                returned = c.reportedLength;
                error = 122;
                return false;
            }
            std::memcpy(buf, records.data(), std::min<size_t>(size, records.size()));
            returned = c.returned;
            return c.secondCallOk;
        };
        EXPECT_EQ(ReadProcessorTopologyWith(q).ok, c.ok) << c.name;
    }
}

Buf CpuSet(uint16_t group, uint8_t index, uint32_t size = 32, uint32_t type = 0) {
    Buf b(size < 16 ? 16 : size);
    Put(b, 0, size, 4);
    Put(b, 4, type, 4);
    Put(b, 12, group, 2);
    b[14] = index;
    b.resize(size < 8 ? 8 : size);
    return b;
}

Buf Cut(Buf b, size_t n) {
    b.resize(n);
    return b;
}

TEST(CpuSets, CountsDistinctProcessorsOfWellFormedRecords) {
    struct Case {
        const char* name;
        Buf bytes;
        int64_t count;
    } cases[] = {
        {"two processors", CpuSet(0, 0) + CpuSet(0, 1), 2},
        {"a processor listed twice", CpuSet(0, 1) + CpuSet(0, 1) + CpuSet(1, 1), 2},
        {"larger records of a newer system", CpuSet(0, 0, 40) + CpuSet(0, 1, 40), 2},
        {"other record types are skipped", CpuSet(0, 0, 12, 5) + CpuSet(0, 3), 1},
        {"only other types", CpuSet(0, 0, 12, 5), 0},
        {"a type-0 record shorter than 32", CpuSet(0, 0, 24), -1},
        {"size below the header", CpuSet(0, 0) + CpuSet(0, 1, 4), -1},
        {"last record claims more than remains", CpuSet(0, 0) + Cut(CpuSet(0, 1), 31), -1},
        {"trailing bytes", CpuSet(0, 0) + Buf(7), -1},
    };
    for (const Case& c : cases) EXPECT_EQ(CountCpuSets(c.bytes.data(), c.bytes.size()), c.count) << c.name;
}

// Answers the size query with `first`, then plays one reply per buffer call.
struct ScriptedQuery {
    struct Reply {
        bool ok;
        uint32_t returned;
        uint32_t error;
    };
    uint32_t first;
    uint32_t firstError;
    std::vector<Reply> replies;
    Buf records;
    std::vector<uint32_t> sizes;  // buffer sizes seen

    SizedQuery Fn() {
        return [this](uint8_t* buf, uint32_t size, uint32_t& returned, uint32_t& error) {
            if (!buf) {
                returned = first;
                error = firstError;
                return false;
            }
            sizes.push_back(size);
            const Reply r = replies.at(sizes.size() - 1);
            if (r.ok) std::memcpy(buf, records.data(), std::min<size_t>(size, records.size()));
            returned = r.returned;
            error = r.error;
            return r.ok;
        };
    }
};

TEST(CpuSets, ProbeStatuses) {
    const Buf two = CpuSet(0, 0) + CpuSet(0, 1);
    const uint32_t n = static_cast<uint32_t>(two.size());
    struct Case {
        const char* name;
        ScriptedQuery q;
        const char* status;
        const char* logical;  // null: no fact
        std::vector<uint32_t> sizes;
    } cases[] = {
        {"read at once", {n, 122, {{true, n, 0}}, two, {}}, "complete", "2", {n}},
        {"grew between the calls", {32, 122, {{false, n, 122}, {true, n, 0}}, two, {}}, "complete", "2", {32, n}},
        {"grew twice", {16, 122, {{false, 32, 122}, {false, n, 122}}, two, {}}, "error", nullptr, {16, 32}},
        {"insufficient without a larger size", {n, 122, {{false, n, 122}}, two, {}}, "error", nullptr, {n}},
        {"larger size above 16 MiB", {n, 122, {{false, kMaxSystemBuffer + 1, 122}}, two, {}}, "error", nullptr, {n}},
        {"not implemented at the size query", {0, 120, {}, two, {}}, "not_supported", nullptr, {}},
        {"not supported at the size query", {0, 50, {}, two, {}}, "not_supported", nullptr, {}},
        {"not supported at the read", {n, 122, {{false, 0, 50}}, two, {}}, "not_supported", nullptr, {n}},
        {"other failure", {n, 122, {{false, 0, 5}}, two, {}}, "error", nullptr, {n}},
        {"no length", {0, 122, {}, two, {}}, "error", nullptr, {}},
        {"length above 16 MiB", {kMaxSystemBuffer + 1, 122, {}, two, {}}, "error", nullptr, {}},
        {"returned beyond the buffer", {n, 122, {{true, n + 32, 0}}, two, {}}, "error", nullptr, {n}},
        {"malformed records", {n, 122, {{true, n, 0}}, CpuSet(0, 0) + CpuSet(0, 1, 64), {}}, "error", nullptr, {n}},
        {"no processor records", {12, 122, {{true, 12, 0}}, CpuSet(0, 0, 12, 5), {}}, "error", nullptr, {12}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Snapshot s;
        const SizedQuery fn = c.q.Fn();
        ProbeCpuSetsWith(s, &fn);
        EXPECT_EQ(GetFact(s, "cpu.sets.status"), c.status);
        EXPECT_EQ(HasFact(s, "cpu.sets.logical"), c.logical != nullptr);
        if (c.logical) {
            EXPECT_EQ(GetFact(s, "cpu.sets.logical"), c.logical);
        }
        EXPECT_EQ(c.q.sizes, c.sizes);
    }
    Snapshot s;
    ProbeCpuSetsWith(s, nullptr);
    EXPECT_EQ(GetFact(s, "cpu.sets.status"), "not_supported");
    EXPECT_FALSE(HasFact(s, "cpu.sets.logical"));
}

TEST(Architecture, Classification) {
    struct Case {
        bool ok;
        uint16_t process, native, compiled;
        ArchitectureKind kind;
        const char* text;
    } cases[] = {
        {true, 0, 0x8664, 0x8664, ArchitectureKind::NativeX64, "native_x64"},
        {true, 0x8664, 0x8664, 0x8664, ArchitectureKind::NativeX64, "native_x64"},
        {true, 0, 0xAA64, 0x8664, ArchitectureKind::Arm64Emulation, "arm64_emulation"},
        {true, 0x014C, 0x8664, 0x8664, ArchitectureKind::Unsupported, "unsupported"},  // a WOW64 x86 process
        {true, 0, 0x8664, 0x014C, ArchitectureKind::Unsupported, "unsupported"},
        {true, 0, 0x0000, 0x8664, ArchitectureKind::Unsupported, "unsupported"},
        {false, 0, 0x8664, 0x8664, ArchitectureKind::Unknown, "unknown"},
    };
    for (const Case& c : cases) {
        const ArchitectureKind k = ClassifyArchitecture(c.ok, c.process, c.native, c.compiled);
        EXPECT_EQ(k, c.kind) << std::hex << c.process << " " << c.native << " " << c.compiled;
        EXPECT_STREQ(ArchitectureKindText(k), c.text);
    }
    EXPECT_STREQ(ArchitectureKindText(static_cast<ArchitectureKind>(9)), "unknown");
}

TEST(Architecture, Facts) {
    Snapshot native;
    EXPECT_TRUE(RecordArchitecture(native, "complete", 0, 0x8664, ArchitectureKind::NativeX64));
    EXPECT_EQ(native.facts, (std::map<std::string, std::string>{{"cpu.arch.status", "complete"},
                                                               {"cpu.arch.process", "0000"},
                                                               {"cpu.arch.native", "8664"},
                                                               {"cpu.arch.compiled", "8664"},
                                                               {"cpu.arch.kind", "native_x64"},
                                                               {"cpu.arch.cpuid_safe", "1"}}));
    Snapshot arm;
    EXPECT_FALSE(RecordArchitecture(arm, "complete", 0, 0xAA64, ArchitectureKind::Arm64Emulation));
    EXPECT_EQ(GetFact(arm, "cpu.arch.native"), "AA64");
    EXPECT_EQ(GetFact(arm, "cpu.arch.cpuid_safe"), "0");
}

TEST(TopologyText, Forms) {
    ProcessorTopology t;
    t.packages = 2;
    t.cores = 16;
    t.threads = 32;
    EXPECT_EQ(TopologyText(t), "2 sockets / 16 cores / 32 threads");
    t.packages = 1;
    t.efficiencyClasses = {{0, 8}, {1, 6}};
    EXPECT_EQ(TopologyText(t), "1 socket / 16 cores / 32 threads (6 x class 1, 8 x class 0)");
    t.efficiencyClasses = {{0, 16}};
    t.l3Domains = {{0, 0xFF}, {0, 0xFF00}};
    EXPECT_EQ(TopologyText(t), "1 socket / 16 cores / 32 threads / 2 L3 domains");
}

TEST(Caches, SortedByLevelThenTypeKeepingWalkOrder) {
    std::vector<CacheEntry> in = {{3, "Unified", 1, 0, 0, 0, 1}, {1, "Instruction", 2, 0, 0, 0, 1},
                                  {2, "Unified", 3, 0, 0, 0, 1}, {1, "Data", 4, 0, 0, 0, 1},
                                  {1, "Data", 5, 0, 0, 0, 1}};
    std::vector<uint32_t> sizes;
    for (const CacheEntry& c : SortedCaches(in)) sizes.push_back(c.size);
    EXPECT_EQ(sizes, (std::vector<uint32_t>{4, 5, 2, 3, 1}));
}

// Four processors; APIC id 2 * number, x2APIC 0x10 + number.
struct PinnedCpu {
    int current = -1;
    std::vector<int> unreachable;
    int throwOn = -1;
    bool saved = false;
    int restores = 0;
    uint64_t processMask = 0xF;  // 0: the process's affinity is unknown

    ThreadAffinity Affinity(bool saveOk = true) {
        return ThreadAffinity{[this, saveOk] { return saved = saveOk; },
                              [this](uint16_t, uint8_t n) {
                                  for (int u : unreachable)
                                      if (u == n) return false;
                                  current = n;
                                  return true;
                              },
                              [this] {
                                  ++restores;
                                  current = -1;
                              },
                              [this](uint16_t& group, uint64_t& mask) {
                                  group = 0;
                                  mask = processMask;
                                  return processMask != 0;
                              }};
    }
    CpuidFn Cpuid() {
        return [this](uint32_t leaf, uint32_t) {
            if (current == throwOn) throw std::runtime_error("cpuid");
            const uint32_t n = static_cast<uint32_t>(current);
            if (leaf == 1) return CpuidRegisters{0, (2 * n) << 24, 0, 0};
            if (leaf == 0xB || leaf == 0x1F) return CpuidRegisters{0, 0, 0, 0x10 + n};
            if (leaf == 0x1A) return CpuidRegisters{(n < 2 ? 0x40u : 0x20u) << 24, 0, 0, 0};
            if (leaf == 0x8000001Eu) return CpuidRegisters{0x20 + n, 0x100 + n / 2, 0x300, 0};
            return CpuidRegisters{};
        };
    }
};

TEST(ProbeLogicalProcessors, ReadsEachReachableProcessorAndRestores) {
    struct Case {
        const char* name;
        uint32_t leaf;
        bool hybrid, amd;
        std::vector<int> unreachable;
        uint32_t probed;
        size_t distinct;
        std::vector<uint32_t> x2;
        std::vector<uint32_t> coreType;
    } cases[] = {
        {"leaf 0xB", 0xB, false, false, {}, 4, 4, {0x10, 0x11, 0x12, 0x13}, {0, 0, 0, 0}},
        {"hybrid with leaf 0x1F", 0x1F, true, false, {}, 4, 4, {0x10, 0x11, 0x12, 0x13}, {0x40, 0x40, 0x20, 0x20}},
        {"AMD without a topology leaf", 0, false, true, {}, 4, 4, {0x20, 0x21, 0x22, 0x23}, {0, 0, 0, 0}},
        {"no APIC source", 0, false, false, {}, 4, 0, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {"one processor unreachable", 0xB, false, false, {2}, 3, 3, {0x10, 0x11, 0, 0x13}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessorTopology t = Walk(Core({{0, 0xF}}));
        PinnedCpu cpu;
        cpu.unreachable = c.unreachable;
        const LpProbeResult r = ProbeLogicalProcessors(t, c.leaf, c.hybrid, c.amd, 0x20, cpu.Cpuid(), cpu.Affinity());
        EXPECT_EQ(r.probed, c.probed);
        EXPECT_EQ(r.distinctX2Apic.size(), c.distinct);
        EXPECT_EQ(cpu.restores, 1);
        std::vector<uint32_t> x2, types;
        for (const auto& [key, lp] : t.lps) {
            x2.push_back(lp.x2Apic);
            types.push_back(lp.coreType);
            const bool reached = std::find(c.unreachable.begin(), c.unreachable.end(), key.number) == c.unreachable.end();
            EXPECT_EQ(lp.initialApic, reached ? 2u * key.number : 0u);
            if (c.amd) {
                EXPECT_EQ(lp.amdCoreId, reached ? key.number / 2u : 0u);
            }
        }
        EXPECT_EQ(x2, c.x2);
        EXPECT_EQ(types, c.coreType);
    }
}

TEST(ProbeLogicalProcessors, AffinityIsRestoredOnEveryPathAfterASave) {
    ProcessorTopology t = Walk(Core({{0, 0xF}}));
    PinnedCpu failing;
    failing.throwOn = 3;
    EXPECT_THROW(ProbeLogicalProcessors(t, 0xB, false, false, 0x20, failing.Cpuid(), failing.Affinity()),
                 std::runtime_error);
    EXPECT_EQ(failing.restores, 1);

    PinnedCpu unsaved;
    const LpProbeResult r = ProbeLogicalProcessors(t, 0xB, false, false, 0x20, unsaved.Cpuid(), unsaved.Affinity(false));
    EXPECT_EQ(r.probed, 0u);
    EXPECT_EQ(unsaved.restores, 0);  // nothing saved, nothing moved
    EXPECT_EQ(unsaved.current, -1);
}

TEST(RunOnFirstAllowedProcessor, PinsToTheLowestAllowedProcessorAndRestores) {
    const struct {
        const char* what;
        uint64_t processMask;
        bool saveOk;
        std::vector<int> unreachable;
        int ranOn;  // -1: where the thread was
        int restores;
    } cases[] = {
        {"all allowed", 0xF, true, {}, 0, 1},
        {"the process may use 2 and 3", 0xC, true, {}, 2, 1},
        {"only the highest", 0x8000000000000000u, true, {}, 63, 1},
        {"the processor cannot be reached", 0xC, true, {2}, -1, 1},
        {"the process's affinity unknown", 0, true, {}, -1, 0},
        {"the thread's affinity not saved", 0xF, false, {}, -1, 0},
    };
    for (const auto& c : cases) {
        PinnedCpu cpu;
        cpu.processMask = c.processMask;
        cpu.unreachable = c.unreachable;
        int ranOn = -2;
        RunOnFirstAllowedProcessor(cpu.Affinity(c.saveOk), [&] { ranOn = cpu.current; });
        EXPECT_EQ(ranOn, c.ranOn) << c.what;
        EXPECT_EQ(cpu.restores, c.restores) << c.what;
        EXPECT_EQ(cpu.current, -1) << c.what;
    }
    PinnedCpu failing;
    EXPECT_THROW(RunOnFirstAllowedProcessor(failing.Affinity(), [] { throw std::runtime_error("cpuid"); }),
                 std::runtime_error);
    EXPECT_EQ(failing.restores, 1);
    EXPECT_EQ(failing.current, -1);
}

TEST(ProbeTopologyLeaf, NeedsProcessorsAndALevelType) {
    auto fn = [](uint32_t leaf, uint32_t) {
        if (leaf == 0xB) return CpuidRegisters{1, 2, 0x100, 0};
        if (leaf == 0x1F) return CpuidRegisters{1, 0, 0x100, 0};  // no processors at the level
        return CpuidRegisters{};
    };
    EXPECT_TRUE(ProbeTopologyLeaf(fn, 0x1F, 0xB));
    EXPECT_FALSE(ProbeTopologyLeaf(fn, 0xA, 0xB));
    EXPECT_FALSE(ProbeTopologyLeaf(fn, 0x1F, 0x1F));
    EXPECT_FALSE(ProbeTopologyLeaf(fn, 0x20, 0x4));
}

}  // namespace
}  // namespace vorq
