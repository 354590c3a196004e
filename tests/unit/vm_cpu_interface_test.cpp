// CPU interface probes over CPU collector data made with its own table builder and names.
#include <gtest/gtest.h>

#include <array>

#include "collectors/processor/cpu.h"
#include "collectors/processor/cpuid_dump.h"
#include "core/text.h"
#include "vm/vm.h"
#include "vm/vm_cpu_interface.h"

namespace vorq {
namespace {

using Leaf = std::array<uint32_t, 5>;  // leaf, eax, ebx, ecx, edx; subleaf 0

Snapshot WithLeaves(const std::vector<Leaf>& leaves, bool safe = true) {
    Snapshot s;
    std::vector<CpuidRow> rows;
    for (const Leaf& l : leaves) rows.push_back(CpuidRow{l[0], 0, l[1], l[2], l[3], l[4]});
    s.tables.push_back(MakeCpuidLeavesTable(rows));
    SetFact(s, fact::kCpuArchCpuidSafe, safe ? "1" : "0");
    return s;
}

VmProbe ProbeOf(const Snapshot& s, const std::string& id, const VmSource& env = {}) {
    VmProbeList probes;
    ProbeCpuInterface(s, probes, kVmWeights, env);
    EXPECT_EQ(probes.size(), 7u);
    for (const VmProbe& p : probes)
        if (p.id == id) return p;
    ADD_FAILURE() << id;
    return {};
}

constexpr uint32_t kHv1 = 0x31237648;

TEST(CpuInterface, Architecture) {
    struct Case {
        const char* status;
        const char* kind;
        int32_t result;
        const char* evidence;
    } cases[] = {
        {"complete", "native_x64", kNotDetected, "Native x64 execution is confirmed by Windows."},
        {"complete", "arm64_emulation", kDetected, "This x64 process runs through ARM64 instruction-set emulation."},
        {"complete", "x86", kNotSupported, "The required CPU context is unavailable."},
        {"error", "native_x64", kProbeError, "The CPU context source could not be read."},
        {"", "", kInconclusive, "The required CPU context is unavailable."},
    };
    for (const Case& c : cases) {
        Snapshot s;
        if (*c.status) SetFact(s, fact::kCpuArchStatus, c.status);
        if (*c.kind) SetFact(s, fact::kCpuArchKind, c.kind);
        const VmProbe p = ProbeOf(s, "cpu.architecture");
        EXPECT_EQ(p.result, c.result) << c.kind;
        EXPECT_EQ(p.evidence, c.evidence);
        EXPECT_EQ(p.weight, 0);
        EXPECT_EQ(p.strength, kContext);
    }
}

TEST(CpuInterface, HvFeatures) {
    const std::vector<Leaf> base = {{0x40000000, 0x4000000B, 0, 0, 0}, {0x40000001, kHv1, 0, 0, 0}};
    EXPECT_EQ(ProbeOf(WithLeaves(base), "cpu.hv_features").result, kInconclusive);
    auto with3 = [&](uint32_t eax) {
        std::vector<Leaf> l = base;
        l.push_back({0x40000003, eax, 0, 0, 0});
        return WithLeaves(l);
    };
    EXPECT_EQ(ProbeOf(with3(0x1), "cpu.hv_features").result, kNotDetected);
    VmProbe p = ProbeOf(with3(0x2E), "cpu.hv_features");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.evidence, "A validated Hv#1 interface advertises synthetic processor features.");
    // A maximum leaf below 0x40000003 invalidates the interface for both Hv#1 probes.
    const Snapshot low = WithLeaves({{0x40000000, 0x40000002, 0, 0, 0}, {0x40000001, kHv1, 0, 0, 0}, {0x40000003, 0x2E, 0, 0, 0}});
    EXPECT_EQ(ProbeOf(low, "cpu.hv_features").result, kNotSupported);
    EXPECT_EQ(ProbeOf(low, "cpu.hv_nesting").result, kNotSupported);
    // Another interface signature is not decoded.
    const Snapshot other = WithLeaves({{0x40000000, 0x4000000B, 0, 0, 0}, {0x40000001, 0x12345678, 0, 0, 0}});
    EXPECT_EQ(ProbeOf(other, "cpu.hv_features").result, kNotSupported);
}

TEST(CpuInterface, HvNesting) {
    const std::vector<Leaf> base = {{0x40000000, 0x4000000B, 0, 0, 0}, {0x40000001, kHv1, 0, 0, 0}};
    std::vector<Leaf> l = base;
    l.push_back({0x40000006, 0x400, 0, 0, 0});
    VmProbe p = ProbeOf(WithLeaves(l), "cpu.hv_nesting");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.caveat, "A zero nesting level or absent nested capabilities does not establish a physical computer.");

    l = base;
    l.push_back({0x40000006, 0, 0, 0, 0});
    l.push_back({0x40000009, 0x4, 0, 0, 0});
    p = ProbeOf(WithLeaves(l), "cpu.hv_nesting");
    EXPECT_EQ(p.result, kNotDetected);
    EXPECT_EQ(p.caveat,
              "Nested optimization capabilities are advertised; capability support alone does not establish that nesting "
              "is active.");

    // Leaf 0x4000000A beyond the maximum leaf is ignored.
    const Snapshot beyond = WithLeaves({{0x40000000, 0x40000009, 0, 0, 0}, {0x40000001, kHv1, 0, 0, 0}, {0x4000000A, 1, 0, 0, 0}});
    EXPECT_FALSE(ReadHvInterface(ReadCpuLeaves(beyond)).nestedCapabilities);
    EXPECT_EQ(ProbeOf(beyond, "cpu.hv_nesting").result, kNotSupported);
}

TEST(CpuInterface, SecondaryXen) {
    // "XenVMMXenVMM" as EBX, ECX, EDX.
    const uint32_t b = 0x566E6558, c = 0x65584D4D, d = 0x4D4D566E;
    Snapshot s = WithLeaves({{0x40000100, 0x40000105, b, c, d}, {0x40000101, 0x0004000B, 0, 0, 0}});
    SetFact(s, fact::kCpuXenSecondaryStatus, "detected");
    VmProbe p = ProbeOf(s, "cpu.secondary_xen");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.families, "Xen");
    EXPECT_EQ(p.strength, kStrong);
    EXPECT_EQ(p.weight, 65);
    EXPECT_TRUE(p.confirming);
    EXPECT_TRUE(p.independent);

    Snapshot unaligned = WithLeaves({{0x40000180, 0x40000185, b, c, d}, {0x40000181, 0x0004000B, 0, 0, 0}});
    SetFact(unaligned, fact::kCpuXenSecondaryStatus, "complete");
    p = ProbeOf(unaligned, "cpu.secondary_xen");
    EXPECT_EQ(p.result, kNotDetected);
    EXPECT_EQ(p.evidence, "No valid relocated Xen namespace was found in the bounded range.");

    SetFact(unaligned, fact::kCpuXenSecondaryStatus, "error");
    EXPECT_EQ(ProbeOf(unaligned, "cpu.secondary_xen").result, kProbeError);
}

TEST(CpuInterface, RelocatedXenMakesTheCollectorNameAXenGuest) {
    // Hyper-V's interface at the base leaf (no guest family of its own) and
    // Xen relocated to 0x40000100, as Xen offers its interface beside Viridian.
    Snapshot s = WithLeaves({{1, 0, 0, 0x80000000u, 0},
                             {0x40000000, 0x40000005, 0x7263694D, 0x666F736F, 0x76482074},
                             {0x40000001, kHv1, 0, 0, 0},
                             {0x40000100, 0x40000105, 0x566E6558, 0x65584D4D, 0x4D4D566E},
                             {0x40000101, 0x0004000B, 0, 0, 0}});
    SetFact(s, fact::kCpuXenSecondaryStatus, "detected");
    VmSource env;
    env.cpuid = [](uint32_t) { return CpuidLeafRegs{}; };
    CollectVmFrom(s, env);
    EXPECT_EQ(GetFact(s, fact::kVmHvRole), "guest");
    EXPECT_EQ(GetFact(s, fact::kVmGuest), "1");
    EXPECT_EQ(GetFact(s, fact::kVmFamily), "Xen");
}

TEST(CpuInterface, WhpPresence) {
    struct Case {
        bool reader;
        WhpPresenceRead read;
        int32_t result;
    } cases[] = {
        {false, {}, kNotSupported},
        {true, {kErrModNotFound, false, 0, 0, 0}, kNotSupported},
        {true, {kErrBadExeFormat, false, 0, 0, 0}, kNotSupported},
        {true, {kErrAccessDenied, false, 0, 0, 0}, kProbeError},
        {true, {0, false, 0, 0, 0}, kNotSupported},
        {true, {0, true, static_cast<int32_t>(0x80004001u), 0, 0}, kNotSupported},
        {true, {0, true, static_cast<int32_t>(0x80070032u), 0, 0}, kNotSupported},
        {true, {0, true, static_cast<int32_t>(0x80004005u), 0, 0}, kProbeError},
        {true, {0, true, 0, 2, 1}, kProbeError},
        {true, {0, true, 0, 4, 1}, kDetected},
        {true, {0, true, 0, 4, 0}, kNotDetected},
    };
    for (const Case& c : cases) {
        VmSource env;
        if (c.reader) env.system.whpHypervisorPresent = [&c] { return c.read; };
        // Not gated by whether CPUID may be interpreted.
        const VmProbe p = ProbeOf(WithLeaves({}, false), "cpu.whp_presence", env);
        EXPECT_EQ(p.result, c.result) << c.read.loadError << " " << c.read.hr << " " << c.read.written;
    }
    VmSource env;
    env.system.whpHypervisorPresent = [] { return WhpPresenceRead{0, true, 0, 4, 1}; };
    EXPECT_EQ(ProbeOf(Snapshot{}, "cpu.whp_presence", env).evidence, "Windows Hypervisor Platform reports an active hypervisor.");
}

TEST(CpuInterface, TopologyVerdict) {
    struct Case {
        CpuTopologyInputs in;
        int verdict;
    } cases[] = {
        {{8, 4, 1, 8, 0, 6, 6, true, false, true}, kCompareLimited},
        {{8, 4, 1, 7, 0, 8, 8, true, false, true}, kCompareDisagree},
        {{8, 4, 1, 8, 0, 8, 8, true, false, true}, kCompareConsistent},
        {{8, 4, 1, 8, 0, 8, 7, true, false, true}, kCompareDisagree},
        {{8, 4, 1, 8, 6, 8, 8, true, true, true}, kCompareDisagree},
        {{8, 4, 1, 8, 0, 0, 0, true, false, false}, kCompareConsistent},
        {{4, 8, 1, 4, 0, 0, 0, true, false, false}, kCompareDisagree},
        {{8, 4, 1, 8, 0, 8, 8, false, false, true}, kCompareUnavailable},
        {{8, 0, 1, 8, 0, 8, 8, true, false, true}, kCompareUnavailable},
    };
    for (const Case& c : cases) EXPECT_EQ(CpuTopologyVerdict(c.in), c.verdict) << c.in.logical << "/" << c.in.active;
}

TEST(CpuInterface, TopologyProbeFromFacts) {
    Snapshot s = WithLeaves({});
    for (auto [k, v] : {std::pair{"cpu.logical", "8"}, {"cpu.cores", "4"}, {"cpu.packages", "1"}, {"cpu.topology.active", "8"},
                        {"cpu.topology.probed", "6"}, {"cpu.topology.unique_apic", "6"}, {"cpu.topology.apic_available", "1"},
                        {"cpu.topology.status", "complete"}, {"cpu.sets.status", "not_supported"}})
        SetFact(s, k, v);
    VmProbe p = ProbeOf(s, "cpu.topology_consistency");
    EXPECT_EQ(p.result, kInconclusive);
    EXPECT_EQ(p.evidence, "Windows feature support or processor access limits this comparison.");
    SetFact(s, fact::kCpuTopologyActive, "7");
    p = ProbeOf(s, "cpu.topology_consistency");
    EXPECT_EQ(p.result, kDetected);
    EXPECT_EQ(p.evidence, "The selected CPU inventory sources disagree.");
    EXPECT_EQ(p.weight, 0);
    SetFact(s, fact::kCpuSetsStatus, "error");
    EXPECT_EQ(ProbeOf(s, "cpu.topology_consistency").result, kProbeError);
    SetFact(s, fact::kCpuArchCpuidSafe, "0");
    EXPECT_EQ(ProbeOf(s, "cpu.topology_consistency").result, kNotSupported);
}

TEST(CpuInterface, XStateVerdict) {
    // leaf1Found, xsave, osxsave, avx, statusComplete, windowsAvx, mask
    struct Case {
        XStateInputs in;
        int verdict;
    } cases[] = {
        {{true, true, true, true, true, false, 0x7}, kCompareLimited},
        {{true, true, true, true, true, true, 0x3}, kCompareDisagree},
        {{true, true, true, true, true, true, 0x7}, kCompareConsistent},
        {{true, false, true, true, true, false, 0x7}, kCompareDisagree},
        {{true, true, true, false, true, false, 0x3}, kCompareConsistent},
        {{true, true, true, true, true, false, 0x3}, kCompareLimited},
        {{false, true, true, true, true, true, 0x7}, kCompareUnavailable},
        {{true, true, true, true, false, true, 0x7}, kCompareUnavailable},
    };
    for (const Case& c : cases) EXPECT_EQ(XStateVerdict(c.in), c.verdict) << c.in.enabledMask;
}

TEST(CpuInterface, XStateProbeFromFacts) {
    // Leaf 1 ECX with XSAVE, OSXSAVE and AVX (bits 26 to 28); the last leaf-1 row counts.
    Snapshot s = WithLeaves({{1, 0, 0, 0, 0}, {1, 0, 0, 0x1C000000, 0}});
    SetFact(s, fact::kCpuXStateStatus, "complete");
    SetFact(s, fact::kCpuXStateEnabled, "0000000000000007");
    SetFact(s, fact::kCpuXStateWindowsAvx, "1");
    VmProbe p = ProbeOf(s, "cpu.xstate_consistency");
    EXPECT_EQ(p.result, kNotDetected);
    EXPECT_EQ(p.evidence, "The selected CPU inventory sources are consistent.");
    EXPECT_EQ(p.caveat,
              "Hot-plug, affinity, processor groups, OS feature policy and heterogeneous cores can affect CPU comparisons; "
              "no guest penalty is applied.");
    SetFact(s, fact::kCpuXStateEnabled, "3");
    EXPECT_EQ(ProbeOf(s, "cpu.xstate_consistency").result, kDetected);
    SetFact(s, fact::kCpuXStateStatus, "not_supported");
    p = ProbeOf(s, "cpu.xstate_consistency");
    EXPECT_EQ(p.result, kNotSupported);
    EXPECT_TRUE(p.caveat.empty());
}

TEST(CpuInterface, LeafRowsAndNumbers) {
    Snapshot s = WithLeaves({{0x40000000, 0x4000000B, 0, 0, 0}});
    Table& t = s.tables.back();
    AddRow(t, {"0x1", "0", "1", "2", "3", "4", ""});         // prefix
    AddRow(t, {"1", "-0", "1", "2", "3", "4", ""});          // sign
    AddRow(t, {"1", "0", "100000000", "2", "3", "4", ""});   // above 32 bits
    AddRow(t, {"1", "0", "", "2", "3", "4", ""});            // empty
    AddRow(t, {"1", "A", "1", "2", "3", "4", ""});           // sub-leaf is decimal
    AddRow(t, {"2", "0", "1", "2", "3"});                    // short row
    AddRow(t, {"7", "1", "ffffffff", "2", "3", "4", ""});
    const std::vector<CpuLeafRow> rows = ReadCpuLeaves(s);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].leaf, 7u);
    EXPECT_EQ(rows[1].subleaf, 1u);
    EXPECT_EQ(rows[1].eax, 0xFFFFFFFFu);

    EXPECT_EQ(ParseWholeUnsigned("18446744073709551615", 10), UINT64_MAX);
    EXPECT_EQ(ParseWholeUnsigned("18446744073709551616", 10), 0u);
    EXPECT_EQ(ParseWholeUnsigned("12a", 10), 0u);
    EXPECT_EQ(ParseWholeUnsigned("", 16), 0u);
    EXPECT_EQ(ParseWholeUnsigned("fF", 16), 255u);
}

TEST(CpuInterface, UnusableCpuidGatesAllButArchitectureAndWhp) {
    Snapshot s = WithLeaves({{0x40000000, 0x4000000B, 0, 0, 0}, {0x40000001, kHv1, 0, 0, 0}}, false);
    SetFact(s, fact::kCpuArchStatus, "complete");
    SetFact(s, fact::kCpuArchKind, "arm64_emulation");
    VmSource env;
    env.system.whpHypervisorPresent = [] { return WhpPresenceRead{0, true, 0, 4, 1}; };
    VmProbeList probes;
    ProbeCpuInterface(s, probes, kVmWeights, env);
    GateCpuProbes(s, probes);
    for (const VmProbe& p : probes) {
        if (p.id == "cpu.architecture" || p.id == "cpu.whp_presence") {
            EXPECT_EQ(p.result, kDetected) << p.id;
        } else {
            EXPECT_EQ(p.result, kNotSupported) << p.id;
            EXPECT_EQ(p.weight, 0) << p.id;
        }
    }
}

}  // namespace
}  // namespace vorq
