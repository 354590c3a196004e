#include "collectors/processor/hypervisor.h"

#include "collectors/processor/cpu.h"
#include "collectors/processor/cpuid_dump.h"
#include "collectors/processor/cpuid_names.h"
#include "collectors/processor/topology.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kHvBase = 0x40000000u;

std::string VendorOf(const CpuidRegisters& r) {
    return Trim(RegisterText(r.ebx) + RegisterText(r.ecx) + RegisterText(r.edx));
}

// base <= v <= base + span without wrapping past 2^32.
bool InBlock(uint32_t v, uint32_t base, uint32_t lowOffset, uint32_t span) {
    const uint64_t lo = static_cast<uint64_t>(base) + lowOffset;
    const uint64_t hi = static_cast<uint64_t>(base) + span;
    return v >= lo && v <= hi;
}

}  // namespace

bool IsCpuidSafe(const Snapshot& s) { return GetFact(s, fact::kCpuArchCpuidSafe, "") == "1"; }

bool IsPlausibleHypervisorLeaf(uint32_t maxLeaf, uint32_t base, std::string_view vendor) {
    if (InBlock(maxLeaf, base, 0, 0xFF)) return true;
    return base == kHvBase && maxLeaf == 0 && vendor == "KVMKVMKVM";
}

bool CheckRelocatedXenLeaf(uint32_t base, uint32_t maxLeaf, std::string_view vendor, uint32_t versionEax) {
    if (base < 0x40000100u || base > 0x40000F00u || (base & 0xFF) != 0) return false;
    if (!InBlock(maxLeaf, base, 2, 0xFF)) return false;
    if (vendor != "XenVMMXenVMM") return false;
    return (versionEax & 0xFFFF0000u) != 0;
}

HypervisorContext ReadHypervisorContext(const CpuidFn& cpuid, bool present) {
    HypervisorContext hv;
    hv.present = present;
    hv.role = "none";
    hv.leaf0 = cpuid(kHvBase, 0);
    const std::string candidate = VendorOf(hv.leaf0);
    hv.plausible = IsPlausibleHypervisorLeaf(hv.leaf0.eax, kHvBase, candidate);
    if (hv.plausible || present) {
        hv.maxLeaf = hv.plausible ? hv.leaf0.eax : 0;
        if (hv.plausible) hv.vendor = candidate;
        if (hv.maxLeaf >= 0x40000003u && RegisterText(cpuid(0x40000001u, 0).eax) == "Hv#1") {
            // EBX bit 0 of 0x40000003: the CreatePartitions privilege of the root.
            hv.role = (cpuid(0x40000003u, 0).ebx & 1u) ? "root" : "unknown";
        } else {
            hv.role = "unknown";
        }
    }
    if (hv.role == "root")
        hv.text = "Hyper-V management partition; see VM Detection for guest evidence";
    else if (hv.role == "unknown")
        hv.text = "Hypervisor reported; see VM Detection for guest classification";
    else
        hv.text = "No hypervisor reported by CPUID";
    return hv;
}

void AppendHypervisorRows(const CpuidFn& cpuid, const HypervisorContext& hv, std::vector<CpuidRow>& rows) {
    rows.push_back(MakeCpuidRow(kHvBase, 0, hv.leaf0));
    if (!hv.plausible || hv.maxLeaf <= kHvBase) return;
    const uint32_t last = hv.maxLeaf < 0x40000010u ? hv.maxLeaf : 0x40000010u;
    for (uint32_t leaf = 0x40000001u; leaf <= last; ++leaf) EnumerateCpuidSubleaves(cpuid, leaf, rows);
}

void ScanSecondaryXenLeaves(const CpuidFn& cpuid, Snapshot& s, std::vector<CpuidRow>& rows) {
    SetFact(s, fact::kCpuXenSecondaryStatus, "complete");
    for (uint32_t base = 0x40000100u; base <= 0x40000F00u; base += 0x100) {
        const CpuidRegisters r = cpuid(base, 0);
        const std::string vendor = VendorOf(r);
        if (base == 0x40000100u) rows.push_back(MakeCpuidRow(base, 0, r));
        if (vendor != "XenVMMXenVMM") continue;
        const CpuidRegisters version = InBlock(r.eax, base, 2, 0xFF) ? cpuid(base + 1, 0) : CpuidRegisters{};
        if (CheckRelocatedXenLeaf(base, r.eax, vendor, version.eax)) {
            if (base != 0x40000100u) rows.push_back(MakeCpuidRow(base, 0, r));
            rows.push_back(MakeCpuidRow(base + 1, 0, version));
            SetFact(s, fact::kCpuXenSecondaryBase, Hex32(base));
            SetFact(s, fact::kCpuXenSecondaryStatus, "detected");
            return;
        }
        SetFact(s, fact::kCpuXenSecondaryStatus, "inconclusive");
    }
}

}  // namespace vorq
