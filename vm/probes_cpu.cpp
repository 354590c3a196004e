// CPU interface probes: execution architecture, the Hv#1 interface's synthetic
// features and nesting level, a relocated Xen namespace, the Windows
// Hypervisor Platform's own report, and two consistency comparisons. All but
// the relocated Xen namespace are context without score effect.
#include <utility>

#include "collectors/processor/cpu.h"
#include "collectors/processor/hypervisor.h"
#include "vm/vm.h"
#include "vm/vm_cpu_interface.h"

namespace vorq {

namespace {

constexpr uint32_t kHvBase = 0x40000000u;
constexpr uint32_t kHvSignature = 0x31237648u;  // "Hv#1"

constexpr const char* kUnavailable = "The required CPU context is unavailable.";

const CpuLeafRow* FindRow(const std::vector<CpuLeafRow>& rows, uint32_t leaf) {
    for (const CpuLeafRow& r : rows)
        if (r.leaf == leaf && r.subleaf == 0) return &r;
    return nullptr;
}

bool ParseCell(const std::string& text, int base, uint32_t& value) {
    if (text.empty()) return false;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit && !(base == 16 && hex)) return false;
    }
    const uint64_t v = ParseWholeUnsigned(text, base);
    // ParseWholeUnsigned gives 0 on overflow; a 0 from non-zero digits is one.
    if (v > 0xFFFFFFFFull || (v == 0 && text.find_first_not_of('0') != std::string::npos)) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

VmProbe MakeCpuContextProbe(const char* id, const char* title, const char* method) {
    return MakeVmProbe(id, "cpu", title, method, kGroupCpu, kContext, 0);
}

std::string VendorOf(const CpuLeafRow& r) {
    CpuidLeafRegs regs;
    regs.ebx = r.ebx;
    regs.ecx = r.ecx;
    regs.edx = r.edx;
    regs.valid = true;
    return LeafVendorText(regs);
}

uint32_t FactNumber(const Snapshot& s, const char* key) {
    return static_cast<uint32_t>(ParseWholeUnsigned(GetFact(s, key), 10));
}

}  // namespace

uint64_t ParseWholeUnsigned(std::string_view text, int base) {
    uint64_t v = 0;
    for (char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0 || d >= base) return 0;
        const uint64_t b = static_cast<uint64_t>(base);
        if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / b) return 0;
        v = v * b + static_cast<uint64_t>(d);
    }
    return v;
}

std::vector<CpuLeafRow> ReadCpuLeaves(const Snapshot& s) {
    namespace c = col::cpu_leaves;
    std::vector<CpuLeafRow> rows;
    for (const Table& t : s.tables) {
        if (t.id != table::kCpuLeaves) continue;
        for (const TableRow& row : t.rows) {
            if (row.cells.size() < 6) continue;
            CpuLeafRow r;
            if (ParseCell(row.cells[c::kLeaf], 16, r.leaf) && ParseCell(row.cells[c::kSubleaf], 10, r.subleaf) &&
                ParseCell(row.cells[c::kEax], 16, r.eax) && ParseCell(row.cells[c::kEbx], 16, r.ebx) &&
                ParseCell(row.cells[c::kEcx], 16, r.ecx) && ParseCell(row.cells[c::kEdx], 16, r.edx))
                rows.push_back(r);
        }
    }
    return rows;
}

HvInterface ReadHvInterface(const std::vector<CpuLeafRow>& rows) {
    HvInterface hv;
    const CpuLeafRow* base = FindRow(rows, kHvBase);
    const CpuLeafRow* iface = FindRow(rows, kHvBase + 1);
    if (!base || base->eax < 0x40000003u || base->eax > 0x400000FFu || !iface || iface->eax != kHvSignature) return hv;
    hv.valid = true;
    const uint32_t maxLeaf = base->eax;
    if (const CpuLeafRow* features = FindRow(rows, 0x40000003u)) {
        hv.featuresKnown = true;
        hv.featuresAdvertised = (features->eax & 0x7Eu) != 0;
    }
    if (maxLeaf >= 0x40000006u)
        if (const CpuLeafRow* r = FindRow(rows, 0x40000006u)) {
            hv.nestingKnown = true;
            hv.nestingLevel = (r->eax >> 10) & 0xFu;
        }
    if (maxLeaf >= 0x40000009u)
        if (const CpuLeafRow* r = FindRow(rows, 0x40000009u))
            hv.nestedCapabilities = (r->eax & 0x1074u) != 0 || (r->edx & 0x28010u) != 0;
    if (maxLeaf >= 0x4000000Au)
        if (const CpuLeafRow* r = FindRow(rows, 0x4000000Au))
            hv.nestedCapabilities = hv.nestedCapabilities || (r->eax & 0xEFFFFu) != 0;
    return hv;
}

CpuTopologyInputs ReadCpuTopologyInputs(const Snapshot& s) {
    CpuTopologyInputs in;
    in.logical = FactNumber(s, fact::kCpuLogical);
    in.cores = FactNumber(s, fact::kCpuCores);
    in.packages = FactNumber(s, fact::kCpuPackages);
    in.active = FactNumber(s, fact::kCpuTopologyActive);
    in.setsLogical = FactNumber(s, fact::kCpuSetsLogical);
    in.probed = FactNumber(s, fact::kCpuTopologyProbed);
    in.uniqueApic = FactNumber(s, fact::kCpuTopologyUniqueApic);
    in.topologyComplete = GetFact(s, fact::kCpuTopologyStatus) == "complete";
    in.setsComplete = GetFact(s, fact::kCpuSetsStatus) == "complete";
    in.apicAvailable = GetFact(s, fact::kCpuTopologyApicAvailable) == "1";
    return in;
}

XStateInputs ReadXStateInputs(const Snapshot& s, const std::vector<CpuLeafRow>& rows) {
    XStateInputs in;
    for (const CpuLeafRow& r : rows) {
        if (r.leaf != 1 || r.subleaf != 0) continue;
        in.leaf1Found = true;  // the last such row counts
        in.xsave = (r.ecx >> 26) & 1u;
        in.osxsave = (r.ecx >> 27) & 1u;
        in.avx = (r.ecx >> 28) & 1u;
    }
    in.statusComplete = GetFact(s, fact::kCpuXStateStatus) == "complete";
    in.windowsAvx = GetFact(s, fact::kCpuXStateWindowsAvx) == "1";
    in.enabledMask = ParseWholeUnsigned(GetFact(s, fact::kCpuXStateEnabled), 16);
    return in;
}

int CpuTopologyVerdict(const CpuTopologyInputs& in) {
    if (!in.topologyComplete || in.logical == 0 || in.cores == 0 || in.packages == 0 || in.active == 0)
        return kCompareUnavailable;
    if (in.logical < in.cores || in.cores < in.packages || in.logical != in.active) return kCompareDisagree;
    if (in.setsComplete && in.setsLogical != 0 && in.setsLogical != in.logical) return kCompareDisagree;
    if (!in.apicAvailable) return kCompareConsistent;
    if (in.logical != in.probed) return kCompareLimited;
    return in.probed != in.uniqueApic ? kCompareDisagree : kCompareConsistent;
}

int XStateVerdict(const XStateInputs& in) {
    const bool avxState = (in.enabledMask & 6u) == 6u;
    if (!in.leaf1Found || !in.statusComplete) return kCompareUnavailable;
    if (in.windowsAvx && (!in.xsave || !in.osxsave || !in.avx || !avxState)) return kCompareDisagree;
    if (in.enabledMask & 4u) {
        if (!in.xsave || !in.osxsave || !in.avx) return kCompareDisagree;
    } else if (!in.avx) {
        return kCompareConsistent;
    }
    return in.osxsave && avxState && in.windowsAvx ? kCompareConsistent : kCompareLimited;
}

void SetCpuContextStatus(VmProbe& p, std::string_view status) {
    if (status == "error") {
        p.result = kProbeError;
        p.evidence = "The CPU context source could not be read.";
    } else {
        p.result = status == "not_supported" ? kNotSupported : kInconclusive;
        p.evidence = kUnavailable;
    }
}

void SetCpuComparisonOutcome(VmProbe& p, int code) {
    switch (code) {
        case kCompareUnavailable:
            p.result = kInconclusive;
            p.evidence = kUnavailable;
            break;
        case kCompareLimited:
            p.result = kInconclusive;
            p.evidence = "Windows feature support or processor access limits this comparison.";
            break;
        case kCompareDisagree:
            p.result = kDetected;
            p.evidence = "The selected CPU inventory sources disagree.";
            break;
        default:
            p.result = kNotDetected;
            p.evidence = "The selected CPU inventory sources are consistent.";
            break;
    }
    p.caveat =
        "Hot-plug, affinity, processor groups, OS feature policy and heterogeneous cores can affect CPU comparisons; no "
        "guest penalty is applied.";
}

void ApplyWhpPresence(VmProbe& p, const WhpPresenceRead* read) {
    if (!read) {
        SetCpuContextStatus(p, "not_supported");
        return;
    }
    if (read->loadError != 0) {
        const uint32_t e = read->loadError;
        const bool absent = e == kErrFileNotFound || e == kErrPathNotFound || e == kErrModNotFound ||
                            e == kErrBadExeFormat || e == kErrDllNotFound;
        SetCpuContextStatus(p, absent ? "not_supported" : "error");
        return;
    }
    if (!read->hasExport) {
        p.result = kNotSupported;
        p.evidence = kUnavailable;
        return;
    }
    if (read->hr < 0) {
        const uint32_t hr = static_cast<uint32_t>(read->hr);
        SetCpuContextStatus(p, hr == 0x80004001u || hr == 0x80070032u ? "not_supported" : "error");
        return;
    }
    if (read->written != 4) {
        SetCpuContextStatus(p, "error");
        return;
    }
    SetDetected(p, read->value != 0, "Windows Hypervisor Platform reports an active hypervisor.",
                "Windows Hypervisor Platform does not report an active hypervisor.");
}

void ProbeCpuInterface(const Snapshot& s, VmProbeList& probes, const VmWeights& w, const VmSource& env) {
    const bool safe = IsCpuidSafe(s);
    const std::vector<CpuLeafRow> rows = ReadCpuLeaves(s);
    const HvInterface hv = ReadHvInterface(rows);

    {
        VmProbe p = MakeCpuContextProbe(
            "cpu.architecture", "CPU execution architecture",
            "Use IsWow64Process2 to distinguish native x64 execution from x64 instruction-set emulation on ARM64.");
        const std::string kind = GetFact(s, fact::kCpuArchKind);
        const std::string status = GetFact(s, fact::kCpuArchStatus);
        if (status != "complete") {
            SetCpuContextStatus(p, status);
        } else if (kind == "arm64_emulation") {
            p.result = kDetected;
            p.evidence = "This x64 process runs through ARM64 instruction-set emulation.";
        } else if (kind == "native_x64") {
            p.result = kNotDetected;
            p.evidence = "Native x64 execution is confirmed by Windows.";
        } else {
            SetCpuContextStatus(p, "not_supported");
        }
        p.caveat = "Instruction-set emulation does not establish that Windows is a virtual guest.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeCpuContextProbe(
            "cpu.hv_features", "Hypervisor synthetic feature interface",
            "Interpret selected synthetic access privileges only within a validated and supported Hv#1 CPUID namespace.");
        if (!safe || !hv.valid) {
            SetCpuContextStatus(p, "not_supported");
        } else if (!hv.featuresKnown) {
            SetCpuContextStatus(p, "");
        } else {
            SetDetected(p, hv.featuresAdvertised, "A validated Hv#1 interface advertises synthetic processor features.",
                        "The validated interface does not advertise the selected synthetic features.");
        }
        p.caveat = "The interface signature determines feature semantics; the vendor name alone is not used to decode them.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeCpuContextProbe(
            "cpu.hv_nesting", "Hypervisor nesting context",
            "Read the documented Hv#1 hypervisor-level field and separately inspect supported nested-capability leaves.");
        if (safe && hv.valid && hv.nestingKnown) {
            SetDetected(p, hv.nestingLevel != 0, "The supported hypervisor interface reports a nonzero nesting level.",
                        "The supported hypervisor interface reports a zero nesting level.");
        } else {
            SetCpuContextStatus(p, "not_supported");
        }
        p.caveat = hv.nestedCapabilities ? "Nested optimization capabilities are advertised; capability support alone does "
                                           "not establish that nesting is active."
                                         : "A zero nesting level or absent nested capabilities does not establish a physical "
                                           "computer.";
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeVmProbe(
            "cpu.secondary_xen", "cpu", "Relocated Xen CPUID namespace",
            "Check at most fifteen documented 0x100-aligned secondary namespaces for the exact Xen signature, supported range and version.",
            kGroupCpu, kStrong, w[kWCpuVendor]);
        p.confirming = true;
        p.independent = true;
        bool found = false;
        for (const CpuLeafRow& cand : rows) {
            if (found) break;
            if (cand.subleaf != 0 || cand.leaf < 0x40000100u || cand.leaf > 0x40000F00u || (cand.leaf & 0xFFu) != 0)
                continue;
            const std::string vendor = VendorOf(cand);
            for (const CpuLeafRow& version : rows)
                if (version.leaf == cand.leaf + 1 && version.subleaf == 0 &&
                    CheckRelocatedXenLeaf(cand.leaf, cand.eax, vendor, version.eax)) {
                    found = true;
                    break;
                }
        }
        const std::string status = GetFact(s, fact::kCpuXenSecondaryStatus);
        if (!safe) {
            SetCpuContextStatus(p, "not_supported");
        } else if (found) {
            p.result = kDetected;
            p.evidence = "A valid relocated Xen CPUID namespace is present.";
            p.families = "Xen";
        } else if (status == "complete") {
            p.result = kNotDetected;
            p.evidence = "No valid relocated Xen namespace was found in the bounded range.";
        } else {
            SetCpuContextStatus(p, status);
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeCpuContextProbe(
            "cpu.whp_presence", "Windows Hypervisor Platform presence",
            "Query only WHvCapabilityCodeHypervisorPresent from the optional System32 Windows Hypervisor Platform library.");
        p.caveat = "An active Windows hypervisor can provide VBS on a physical PC and does not establish a guest role.";
        if (env.system.whpHypervisorPresent) {
            const WhpPresenceRead read = env.system.whpHypervisorPresent();
            ApplyWhpPresence(p, &read);
        } else {
            ApplyWhpPresence(p, nullptr);
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeCpuContextProbe(
            "cpu.topology_consistency", "CPU topology consistency",
            "Compare group-aware Windows topology, active processor count, CPU-set inventory and available per-processor APIC observations.");
        if (!safe) {
            SetCpuContextStatus(p, "not_supported");
        } else if (GetFact(s, fact::kCpuTopologyStatus) == "error" || GetFact(s, fact::kCpuSetsStatus) == "error") {
            SetCpuContextStatus(p, "error");
        } else {
            SetCpuComparisonOutcome(p, CpuTopologyVerdict(ReadCpuTopologyInputs(s)));
        }
        AppendProbe(probes, std::move(p));
    }
    {
        VmProbe p = MakeCpuContextProbe(
            "cpu.xstate_consistency", "CPU instruction-state consistency",
            "Compare CPUID XSAVE and AVX declarations with GetEnabledXStateFeatures and Windows AVX availability without executing test instructions.");
        const std::string status = GetFact(s, fact::kCpuXStateStatus);
        if (!safe) {
            SetCpuContextStatus(p, "not_supported");
        } else if (status != "complete") {
            SetCpuContextStatus(p, status);
        } else {
            SetCpuComparisonOutcome(p, XStateVerdict(ReadXStateInputs(s, rows)));
        }
        AppendProbe(probes, std::move(p));
    }
}

}  // namespace vorq
