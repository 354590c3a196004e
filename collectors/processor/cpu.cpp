#include "collectors/processor/cpu.h"

#include "collectors/processor/cpuid_dump.h"
#include "collectors/processor/cpuid_names.h"
#include "collectors/processor/hypervisor.h"
#include "core/byte_order.h"
#include "core/text.h"

namespace vorq {

namespace {

bool Bit(uint32_t v, unsigned b) { return (v >> b) & 1u; }

std::string Dec(int64_t v) { return Format("%lld", static_cast<long long>(v)); }

Table MakeSummaryTable(const std::vector<std::vector<std::string>>& rows) {
    Table t = MakeTable("cpu", table::kCpuSummary, "Processor", {{"Property", Role::Program}, {"Value", Role::Maker}});
    for (const auto& r : rows) AddRow(t, r);
    return t;
}

Table MakeCachesTable(const ProcessorTopology& topo) {
    Table t = MakeTable("cpu", table::kCpuCaches, "Cache hierarchy",
                        {{"Level", Role::Program}, {"Type", Role::Program}, {"Size", Role::Maker}, {"Associativity", Role::Maker}, {"Line", Role::Maker}, {"Shared by", Role::Maker}, {"Instances", Role::Maker}},
                        "From GetLogicalProcessorInformationEx; CPUID leaf 4 / 0x8000001D decode is in the raw dump.");
    for (const CacheEntry& c : SortedCaches(topo.caches))
        AddRow(t, {Format("L%d", c.level), c.type, FormatBytes(c.size),
                   c.associativity == 255 ? std::string("fully") : Format("%d-way", c.associativity),
                   Format("%d B", c.lineSize), Format("%d LP", c.sharedBy), Dec(c.instances)});
    return t;
}

Table MakeLogicalProcessorsTable(const ProcessorTopology& topo, bool hybrid, bool amdTopology) {
    Table t = MakeTable("cpu", table::kCpuLps, "Logical processors",
                        {{"LP", Role::Program}, {"Group", Role::Maker}, {"Core", Role::Maker}, {"Initial APIC", Role::Maker}, {"x2APIC", Role::Maker}, {"Efficiency class", Role::Maker}, {"L3 domain", Role::Maker}, {"Core type / AMD core.node", Role::Maker}});
    unsigned index = 0;
    for (const auto& [key, lp] : topo.lps) {
        std::string last;
        if (hybrid) {
            last = lp.coreType == 0x40 ? "Core (P)" : lp.coreType == 0x20 ? "Atom (E)" : Format("0x%02X", lp.coreType);
        } else if (amdTopology) {
            last = Format("core %u, node %u", lp.amdCoreId, lp.amdNodeId);
        }
        AddRow(t, {Format("%u", index++), Format("%u", static_cast<unsigned>(lp.group)), Dec(lp.coreIndex),
                   Format("%u", lp.initialApic), Format("%u", lp.x2Apic), Dec(lp.efficiencyClass),
                   lp.l3Domain < 0 ? std::string("-") : Dec(lp.l3Domain), last});
    }
    return t;
}

}  // namespace

std::string MicrocodeText(const std::vector<uint8_t>& v) {
    if (v.size() < 4) return {};
    const uint32_t low = Le32(v.data());
    const uint32_t high = v.size() >= 8 ? Le32(v.data() + 4) : 0;
    return "0x" + Hex32(high != 0 ? high : low);
}

void CollectCpuFrom(Snapshot& s, const CpuSource& p) {
    SetFact(s, fact::kCpuTopologyStatus, "not_supported");
    SetFact(s, fact::kCpuSetsStatus, "not_supported");
    SetFact(s, fact::kCpuXStateStatus, "not_supported");
    SetFact(s, fact::kCpuXenSecondaryStatus, "not_supported");
    if (!p.probeArchitecture(s)) return;  // CPUID would describe an emulator
    p.probeCpuSets(s);
    p.probeXState(s);

    const CpuidFn& cpuid = p.cpuid;
    const CpuidRegisters l0 = cpuid(0, 0);
    const uint32_t maxBasic = l0.eax;
    const std::string vendor = RegisterText(l0.ebx) + RegisterText(l0.edx) + RegisterText(l0.ecx);
    const uint32_t maxExtended = cpuid(0x80000000u, 0).eax;
    const CpuidRegisters l1 = cpuid(1, 0);
    const bool hypervisorPresent = Bit(l1.ecx, 31);
    const std::string brand = ReadBrandString(cpuid, maxExtended);
    const CpuSignature sig = DecodeSignature(l1.eax);
    const std::string microarchitecture = GetMicroarchitectureName(vendor, sig.family, sig.model);
    const HypervisorContext hv = ReadHypervisorContext(cpuid, hypervisorPresent);

    SetFact(s, fact::kCpuVendor, vendor);
    SetFact(s, fact::kCpuBrand, brand);
    SetFact(s, fact::kHvRole, hv.role);
    SetFact(s, fact::kHvVendor, hv.vendor);
    SetFact(s, fact::kHvPresent, hypervisorPresent ? "1" : "0");

    std::vector<uint8_t> microcodeValue;
    const std::string microcode = p.readMicrocode(microcodeValue) ? MicrocodeText(microcodeValue) : std::string();

    ProcessorTopology topo = p.readTopology();
    SetFact(s, fact::kCpuTopologyStatus, topo.ok ? "complete" : "error");
    SetFact(s, fact::kCpuTopologyActive, Dec(p.activeProcessorCount()));
    SetFact(s, fact::kCpuLogical, Dec(topo.threads));
    SetFact(s, fact::kCpuCores, Dec(topo.cores));
    SetFact(s, fact::kCpuPackages, Dec(topo.packages));

    const bool hybrid = maxBasic >= 7 && Bit(cpuid(7, 0).edx, 15);
    const bool amdTopology = (vendor == "AuthenticAMD" || vendor == "HygonGenuine") && maxExtended >= 0x8000001Eu &&
                             Bit(cpuid(0x80000001u, 0).ecx, 22);
    const uint32_t topologyLeaf = ProbeTopologyLeaf(cpuid, maxBasic, 0x1F)  ? 0x1F
                                  : ProbeTopologyLeaf(cpuid, maxBasic, 0xB) ? 0xB
                                                                            : 0;
    const LpProbeResult probe =
        ProbeLogicalProcessors(topo, topologyLeaf, hybrid, amdTopology, maxBasic, cpuid, p.affinity);
    const bool apicAvailable = topologyLeaf != 0 || amdTopology;
    SetFact(s, fact::kCpuTopologyProbed, Dec(probe.probed));
    SetFact(s, fact::kCpuTopologyUniqueApic, Dec(static_cast<int64_t>(probe.distinctX2Apic.size())));
    SetFact(s, fact::kCpuTopologyApicAvailable, apicAvailable ? "1" : "0");

    // Leaves 1, 0xB and 0x8000001E carry the APIC id of the processor that
    // answers: one fixed processor keeps the dump the same from scan to scan.
    std::vector<CpuidRow> rows;
    RunOnFirstAllowedProcessor(p.affinity, [&] {
        AppendStandardLeaves(cpuid, maxBasic, maxExtended, rows);
        AppendHypervisorRows(cpuid, hv, rows);
        ScanSecondaryXenLeaves(cpuid, s, rows);
    });
    const std::string dumpHash = HashCpuidDump(rows);

    Table leaves = MakeCpuidLeavesTable(rows);
    const std::string features = BuildFeatureList(cpuid, maxBasic, maxExtended);
    const std::string topologyText = TopologyText(topo);

    std::vector<std::vector<std::string>> summary;
    summary.push_back({"Vendor", vendor});
    summary.push_back({"Brand string", brand});
    summary.push_back({"Signature (CPUID.1:EAX)", Format("%08X - family %Xh, model %Xh, stepping %u", sig.raw,
                                                         sig.family, sig.model, sig.stepping)});
    if (!microarchitecture.empty()) summary.push_back({"Microarchitecture (approx.)", microarchitecture});
    summary.push_back({"Topology", topologyText});
    summary.push_back({"NUMA nodes", Dec(topo.numaNodes)});
    summary.push_back({"Hybrid architecture", YesNo(hybrid)});
    if (!microcode.empty()) summary.push_back({"Microcode revision (registry)", microcode});
    summary.push_back({"Max basic / extended leaf", Format("%08X / %08X", maxBasic, maxExtended)});
    if (maxExtended >= 0x80000008u) {
        const uint32_t eax = cpuid(0x80000008u, 0).eax;
        summary.push_back({"Address sizes", Format("%u-bit physical, %u-bit linear", eax & 0xFF, (eax >> 8) & 0xFF)});
    }
    if (maxBasic >= 0x15) {
        const CpuidRegisters r = cpuid(0x15, 0);
        if (r.eax != 0 && r.ebx != 0)
            summary.push_back({"TSC / crystal ratio", Format("%u/%u, crystal %u Hz", r.ebx, r.eax, r.ecx)});
    }
    if (maxBasic >= 0x16) {
        const CpuidRegisters r = cpuid(0x16, 0);
        if (r.eax != 0)
            summary.push_back(
                {"Base / max frequency (CPUID.16h)", Format("%u / %u MHz", r.eax & 0xFFFF, r.ebx & 0xFFFF)});
    }
    const bool invariantTsc = maxExtended >= 0x80000007u && Bit(cpuid(0x80000007u, 0).edx, 8);
    summary.push_back({"Invariant TSC", YesNo(invariantTsc)});
    summary.push_back({"Hypervisor", hv.text});
    summary.push_back({"Instruction set extensions", features});
    summary.push_back({"CPUID dump hash (APIC IDs masked)", dumpHash});

    s.tables.push_back(MakeSummaryTable(summary));
    s.tables.push_back(MakeCachesTable(topo));
    s.tables.push_back(MakeLogicalProcessorsTable(topo, hybrid, amdTopology));
    s.tables.push_back(std::move(leaves));

    const std::string suffix = microarchitecture.empty() ? std::string() : " - " + microarchitecture;
    const std::string signatureNote =
        Format("family %Xh model %Xh stepping %u%s", sig.family, sig.model, sig.stepping, suffix.c_str());
    const auto model = SignalScope::PerModel;
    s.signals.push_back(MakeSignal(sig::kCpuVendor, "CPU", "CPU vendor", vendor, model, 2, "cpu", Role::Maker,
                                   "CPUID leaf 0", "", 1.0));
    s.signals.push_back(MakeSignal(sig::kCpuBrand, "CPU", "CPU brand string", brand, model, 3, "cpu", Role::Maker,
                                   "CPUID 0x80000002-4", "", 1.0));
    s.signals.push_back(MakeSignal(sig::kCpuSignature, "CPU", "CPU signature", Format("%08X", sig.raw), model, 3, "cpu",
                                   Role::Maker, "CPUID leaf 1 EAX", signatureNote, 1.0));
    s.signals.push_back(MakeSignal(sig::kCpuTopology, "CPU", "CPU topology", topologyText, model, 2, "cpu", Role::Maker,
                                   "GetLogicalProcessorInformationEx", "", 1.0));
    s.signals.push_back(MakeSignal(sig::kCpuCpuidHash, "CPU", "CPUID dump hash", dumpHash, model, 3, "cpu", Role::Maker,
                                   "CPUID",
                                   "changes when the hypervisor (VBS/Hyper-V) masks features or after microcode/BIOS "
                                   "updates",
                                   1.0));
    s.signals.push_back(MakeSignal(sig::kCpuFeatures, "CPU", "Instruction set extensions", features, model, 1, "cpu",
                                   Role::Maker, "CPUID", "", 1.0));
    if (!microcode.empty())
        s.signals.push_back(MakeSignal(sig::kCpuMicrocode, "CPU", "Microcode revision", microcode, SignalScope::State, 0,
                                       "", Role::Maker, "HKLM\\HARDWARE\\...\\CentralProcessor\\0", "", 1.0));
    s.signals.push_back(MakeSignal(sig::kCpuHypervisor, "CPU", "Hypervisor context", hv.text, SignalScope::State, 0, "",
                                   Role::Maker, "CPUID 0x40000000 / 0x40000003", "", 1.0));
}

}  // namespace vorq
