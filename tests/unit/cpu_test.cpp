#include <gtest/gtest.h>

#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "cpuid_fake.h"

namespace vorq {
namespace {

using test::FakeCpu;
using test::Reg;

// Two cores with two threads each in one package, a shared L3.
ProcessorTopology TwoCores() {
    ProcessorTopology t;
    t.ok = true;
    t.cores = 2;
    t.packages = 1;
    t.numaNodes = 1;
    t.threads = 4;
    t.efficiencyClasses = {{0, 2}};
    t.caches = {{3, "Unified", 32u << 20, 16, 64, 4, 1}, {1, "Data", 32u << 10, 8, 64, 2, 2}};
    t.l3Domains = {{0, 0xF}};
    for (uint8_t n = 0; n < 4; ++n) {
        LogicalProcessorInfo lp;
        lp.number = n;
        lp.coreIndex = n / 2;
        lp.l3Domain = 0;
        t.lps[LpKey{0, n}] = lp;
    }
    return t;
}

struct Machine {
    explicit Machine(std::shared_ptr<FakeCpu> c) : cpu(std::move(c)) {}
    std::shared_ptr<FakeCpu> cpu;
    bool native = true;
    ProcessorTopology topology = TwoCores();
    std::vector<uint8_t> microcode;
    bool microcodeRead = false;
    int pinned = -1;
    int restores = 0;
    uint64_t processMask = 0xF;  // 0: unknown
    bool apicPerProcessor = false;  // leaf 1 answers as the processor the thread is on
    int home = 3;                   // the processor the thread runs on when not pinned

    CpuSource Platform() {
        CpuSource p;
        // Leaf 1 carries the APIC id (2 * number) of the processor that answers.
        p.cpuid = [this, table = test::Fn(cpu)](uint32_t leaf, uint32_t sub) {
            CpuidRegisters r = table(leaf, sub);
            if (leaf == 1 && apicPerProcessor) r.ebx = (r.ebx & 0x00FFFFFFu) | static_cast<uint32_t>(2 * (pinned < 0 ? home : pinned)) << 24;
            return r;
        };
        p.probeArchitecture = [this](Snapshot& s) {
            return RecordArchitecture(s, "complete", 0, native ? 0x8664 : 0xAA64,
                                      native ? ArchitectureKind::NativeX64 : ArchitectureKind::Arm64Emulation);
        };
        p.probeCpuSets = [](Snapshot& s) { ProbeCpuSetsWith(s, nullptr); };
        p.probeXState = [](Snapshot& s) { SetFact(s, "cpu.xstate.status", "complete"); };
        p.readTopology = [this] { return topology; };
        p.activeProcessorCount = [] { return 4u; };
        p.readMicrocode = [this](std::vector<uint8_t>& v) {
            v = microcode;
            return microcodeRead;
        };
        p.affinity = {[] { return true; },
                      [this](uint16_t, uint8_t n) {
                          pinned = n;
                          return true;
                      },
                      [this] {
                          pinned = -1;
                          ++restores;
                      },
                      [this](uint16_t& group, uint64_t& mask) {
                          group = 0;
                          mask = processMask;
                          return processMask != 0;
                      }};
        return p;
    }
};

std::vector<std::string> Column(const Table& t, size_t col) {
    std::vector<std::string> out;
    for (const TableRow& r : t.rows) out.push_back(r.cells.at(col));
    return out;
}

std::string SummaryValue(const Snapshot& s, const std::string& property) {
    const Table* t = FindTable(s, "cpu.summary");
    for (const TableRow& r : t->rows)
        if (r.cells[0] == property) return r.cells[1];
    return "<absent>";
}

const Signal* FindSignal(const Snapshot& s, const std::string& key) {
    for (const Signal& g : s.signals)
        if (g.key == key) return &g;
    return nullptr;
}

TEST(CpuCollector, RecordedKvmGuest) {
    Machine m{test::LoadCpu("kvm-amd-guest.txt")};
    Snapshot s;
    CollectCpuFrom(s, m.Platform());

    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"cpu.summary", "cpu.caches", "cpu.lps", "cpu.leaves"}));
    for (const Table& t : s.tables) {
        EXPECT_EQ(t.tab, "cpu");
        EXPECT_TRUE(t.safe);
        EXPECT_EQ(t.sens, 0u);
    }

    const std::map<std::string, std::string> expectedFacts = {
        {"cpu.vendor", "AuthenticAMD"},   {"cpu.brand", "AMD EPYC"},
        {"hv.role", "unknown"},           {"hv.vendor", "KVMKVMKVM"},
        {"hv.present", "1"},              {"cpu.topology.status", "complete"},
        {"cpu.topology.active", "4"},     {"cpu.logical", "4"},
        {"cpu.cores", "2"},               {"cpu.packages", "1"},
        {"cpu.topology.probed", "4"},     {"cpu.topology.unique_apic", "1"},
        {"cpu.topology.apic_available", "1"}, {"cpu.xen_secondary.status", "complete"},
        {"cpu.sets.status", "not_supported"}, {"cpu.xstate.status", "complete"},
        {"cpu.arch.cpuid_safe", "1"},
    };
    for (const auto& [key, value] : expectedFacts) EXPECT_EQ(GetFact(s, key, "<absent>"), value) << key;
    EXPECT_TRUE(IsCpuidSafe(s));
    EXPECT_EQ(m.restores, 2);  // after the processor walk and after the dump

    const Table* leaves = FindTable(s, "cpu.leaves");
    std::vector<std::string> keys;
    for (const TableRow& r : leaves->rows) {
        ASSERT_EQ(r.cells.size(), 7u);
        for (size_t c = 2; c < 6; ++c) {
            EXPECT_EQ(r.cells[c].size(), 8u);
            EXPECT_EQ(r.cells[c].find_first_not_of("0123456789ABCDEF"), std::string::npos);
        }
        keys.push_back(r.cells[0] + "." + r.cells[1]);
    }
    auto subleaves = [&](const std::string& leaf) {
        std::vector<std::string> subs;
        for (const std::string& k : keys)
            if (k.rfind(leaf + ".", 0) == 0) subs.push_back(k.substr(9));
        return subs;
    };
    EXPECT_EQ(subleaves("00000004"), (std::vector<std::string>{"0"}));
    EXPECT_EQ(subleaves("00000007"), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(subleaves("0000000B"), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(subleaves("0000000D"), (std::vector<std::string>{"0", "1", "2", "5", "6", "7", "11", "12"}));
    EXPECT_EQ(subleaves("8000001D"), (std::vector<std::string>{"0", "1", "2", "3"}));
    EXPECT_EQ(subleaves("0000001D"), (std::vector<std::string>{}));  // beyond maxBasic 0x1C
    ASSERT_GE(keys.size(), 3u);
    EXPECT_EQ((std::vector<std::string>(keys.end() - 3, keys.end())),
              (std::vector<std::string>{"40000000.0", "40000001.0", "40000100.0"}));
    EXPECT_EQ(keys.front(), "00000000.0");

    EXPECT_EQ(Column(*FindTable(s, "cpu.summary"), 0),
              (std::vector<std::string>{"Vendor", "Brand string", "Signature (CPUID.1:EAX)",
                                        "Microarchitecture (approx.)", "Topology", "NUMA nodes",
                                        "Hybrid architecture", "Max basic / extended leaf", "Address sizes",
                                        "Invariant TSC", "Hypervisor", "Instruction set extensions",
                                        "CPUID dump hash (APIC IDs masked)"}));
    EXPECT_EQ(SummaryValue(s, "Signature (CPUID.1:EAX)"), "00A10F11 - family 19h, model 11h, stepping 1");
    EXPECT_EQ(SummaryValue(s, "Microarchitecture (approx.)"), "Zen 4 (Genoa)");
    EXPECT_EQ(SummaryValue(s, "Topology"), "1 socket / 2 cores / 4 threads");
    EXPECT_EQ(SummaryValue(s, "Max basic / extended leaf"), "0000001C / 80000021");
    EXPECT_EQ(SummaryValue(s, "Address sizes"), "48-bit physical, 48-bit linear");
    EXPECT_EQ(SummaryValue(s, "Invariant TSC"), "yes");
    EXPECT_EQ(SummaryValue(s, "Hypervisor"), "Hypervisor reported; see VM Detection for guest classification");

    std::vector<std::string> signalKeys;
    for (const Signal& g : s.signals) signalKeys.push_back(g.key);
    EXPECT_EQ(signalKeys, (std::vector<std::string>{"cpu.vendor", "cpu.brand", "cpu.signature", "cpu.topology",
                                                    "cpu.cpuid_hash", "cpu.features", "cpu.hypervisor"}));
    EXPECT_EQ(FindSignal(s, "cpu.cpuid_hash")->value, SummaryValue(s, "CPUID dump hash (APIC IDs masked)"));
    EXPECT_EQ(FindSignal(s, "cpu.signature")->note, "family 19h model 11h stepping 1 - Zen 4 (Genoa)");
    EXPECT_EQ(FindSignal(s, "cpu.hypervisor")->scope, 4);

    const Table* lps = FindTable(s, "cpu.lps");
    ASSERT_EQ(lps->rows.size(), 4u);
    // The table was recorded on the processor with APIC id 4.
    EXPECT_EQ(lps->rows[3].cells, (std::vector<std::string>{"3", "0", "1", "4", "4", "0", "0", "core 4, node 0"}));
    EXPECT_EQ(Column(*FindTable(s, "cpu.caches"), 0), (std::vector<std::string>{"L1", "L3"}));
    EXPECT_EQ(FindTable(s, "cpu.caches")->rows[1].cells,
              (std::vector<std::string>{"L3", "Unified", "32.0 MB", "16-way", "64 B", "4 LP", "1"}));
}

TEST(CpuCollector, DumpIsReadOnTheFirstProcessorTheProcessMayUse) {
    const struct {
        uint64_t processMask;
        const char* leaf1Ebx;
    } cases[] = {
        {0xF, "00"},  // processor 0, APIC id 0
        {0xC, "04"},  // processor 2
        {0, "06"},    // unknown: where the thread runs (processor 3)
    };
    for (const auto& c : cases) {
        Machine m{test::LoadCpu("kvm-amd-guest.txt")};
        m.processMask = c.processMask;
        m.apicPerProcessor = true;
        Snapshot s;
        CollectCpuFrom(s, m.Platform());
        std::string ebx;
        for (const TableRow& r : FindTable(s, "cpu.leaves")->rows)
            if (r.cells[0] == "00000001") ebx = r.cells[3];
        EXPECT_EQ(ebx.substr(0, 2), c.leaf1Ebx) << c.processMask;
        EXPECT_EQ(m.pinned, -1) << c.processMask;
        // The per-processor table still reads every processor.
        EXPECT_EQ(Column(*FindTable(s, "cpu.lps"), 3), (std::vector<std::string>{"0", "2", "4", "6"})) << c.processMask;
    }
}

TEST(CpuCollector, EmulatedProcessStopsAfterTheArchitectureFacts) {
    Machine m{test::LoadCpu("kvm-amd-guest.txt")};
    m.native = false;
    Snapshot s;
    CollectCpuFrom(s, m.Platform());
    std::vector<std::string> keys;
    for (const auto& [key, value] : s.facts) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"cpu.arch.compiled", "cpu.arch.cpuid_safe", "cpu.arch.kind",
                                              "cpu.arch.native", "cpu.arch.process", "cpu.arch.status",
                                              "cpu.sets.status", "cpu.topology.status", "cpu.xen_secondary.status",
                                              "cpu.xstate.status"}));
    EXPECT_EQ(GetFact(s, "cpu.xen_secondary.status"), "not_supported");
    EXPECT_TRUE(s.tables.empty());
    EXPECT_TRUE(s.signals.empty());
    EXPECT_TRUE(m.cpu->asked.empty());
    EXPECT_FALSE(IsCpuidSafe(s));
}

// An Intel hybrid part without a hypervisor.
std::shared_ptr<FakeCpu> HybridIntel() {
    auto cpu = std::make_shared<FakeCpu>();
    cpu->Set(0, 0, {0x20, Reg("Genu"), Reg("ntel"), Reg("ineI")});
    cpu->Set(1, 0, {0x000B0671, 0x00800800, 0x7FFAFBFF, 0xBFEBFBFF});
    cpu->Set(7, 0, {0, 0, 0, 1u << 15});
    cpu->Set(0x15, 0, {2, 176, 38400000, 0});
    cpu->Set(0x16, 0, {3000, 5000, 100, 0});
    cpu->Set(0x1A, 0, {0x40000000u, 0, 0, 0});
    cpu->Set(0x1F, 0, {1, 2, 0x100, 0});
    cpu->Set(0x80000000u, 0, {0x80000006u, 0, 0, 0});
    return cpu;
}

TEST(CpuCollector, HybridIntelWithoutHypervisor) {
    Machine m{HybridIntel()};
    m.topology.efficiencyClasses = {{0, 1}, {1, 1}};
    m.microcode = {0x00, 0x00, 0x00, 0x00, 0x29, 0x01, 0x00, 0x00};
    m.microcodeRead = true;
    Snapshot s;
    CollectCpuFrom(s, m.Platform());
    EXPECT_EQ(GetFact(s, "hv.role"), "none");
    EXPECT_EQ(GetFact(s, "hv.present"), "0");
    EXPECT_EQ(GetFact(s, "hv.vendor", "<absent>"), "");
    EXPECT_EQ(GetFact(s, "cpu.brand", "<absent>"), "");
    EXPECT_EQ(SummaryValue(s, "Microarchitecture (approx.)"), "Raptor Lake");
    EXPECT_EQ(SummaryValue(s, "Hybrid architecture"), "yes");
    EXPECT_EQ(SummaryValue(s, "Topology"), "1 socket / 2 cores / 4 threads (1 x class 1, 1 x class 0)");
    EXPECT_EQ(SummaryValue(s, "TSC / crystal ratio"), "176/2, crystal 38400000 Hz");
    EXPECT_EQ(SummaryValue(s, "Base / max frequency (CPUID.16h)"), "3000 / 5000 MHz");
    EXPECT_EQ(SummaryValue(s, "Microcode revision (registry)"), "0x00000129");
    EXPECT_EQ(SummaryValue(s, "Address sizes"), "<absent>");
    EXPECT_EQ(SummaryValue(s, "Invariant TSC"), "no");
    EXPECT_EQ(SummaryValue(s, "Hypervisor"), "No hypervisor reported by CPUID");
    const Signal* mc = FindSignal(s, "cpu.microcode");
    ASSERT_NE(mc, nullptr);
    EXPECT_EQ(mc->value, "0x00000129");
    EXPECT_EQ(mc->scope, 4);
    EXPECT_EQ(FindTable(s, "cpu.lps")->rows[0].cells[7], "Core (P)");
    EXPECT_EQ(GetFact(s, "cpu.topology.apic_available"), "1");
    for (const auto& [leaf, sub] : m.cpu->asked)
        EXPECT_TRUE(leaf <= 0x20 || (leaf >= 0x80000000u && leaf <= 0x80000006u) ||
                    (leaf >= 0x40000000u && leaf <= 0x40000F00u))
            << std::hex << leaf;
}

TEST(CpuCollector, TopologyFailureKeepsTheRest) {
    Machine m{test::LoadCpu("kvm-amd-guest.txt")};
    m.topology = ProcessorTopology{};
    Snapshot s;
    CollectCpuFrom(s, m.Platform());
    EXPECT_EQ(GetFact(s, "cpu.topology.status"), "error");
    EXPECT_EQ(GetFact(s, "cpu.topology.active"), "4");
    EXPECT_EQ(GetFact(s, "cpu.logical"), "0");
    EXPECT_EQ(GetFact(s, "cpu.topology.probed"), "0");
    EXPECT_EQ(SummaryValue(s, "Topology"), "0 sockets / 0 cores / 0 threads");
    EXPECT_TRUE(FindTable(s, "cpu.lps")->rows.empty());
    EXPECT_TRUE(FindTable(s, "cpu.caches")->rows.empty());
    EXPECT_FALSE(FindTable(s, "cpu.leaves")->rows.empty());
    EXPECT_EQ(s.signals.size(), 7u);
}

TEST(Microcode, RevisionFromTheRegistryValue) {
    struct Case {
        std::vector<uint8_t> value;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{0x29, 0x01, 0x00}, ""},
        {{0x29, 0x01, 0x00, 0x00}, "0x00000129"},
        {{0x29, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, "0x00000129"},           // second word incomplete
        {{0x29, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "0x00000129"},     // high word 0: the low one
        {{0x00, 0x00, 0x00, 0x00, 0x0B, 0xF0, 0x00, 0x0A}, "0x0A00F00B"},     // revision in the high word
        {{0x01, 0x00, 0x00, 0x00, 0xEA, 0x00, 0x00, 0x00, 0xFF}, "0x000000EA"},
    };
    for (const Case& c : cases) EXPECT_EQ(MicrocodeText(c.value), c.text);
}

}  // namespace
}  // namespace vorq
