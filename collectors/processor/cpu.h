// The body of the collector "CPU" with every platform service injected, so
// the whole run (facts, tables, signals) is reproducible from recorded CPUID
// tables and record buffers. cpu_win.cpp supplies the live services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collectors/processor/cpuid.h"
#include "collectors/processor/topology.h"
#include "core/snapshot.h"

namespace vorq::sig {
inline constexpr char kCpuBrand[] = "cpu.brand";
}  // namespace vorq::sig

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kCpuArchCompiled[] = "cpu.arch.compiled";
inline constexpr char kCpuArchCpuidSafe[] = "cpu.arch.cpuid_safe";
inline constexpr char kCpuArchKind[] = "cpu.arch.kind";
inline constexpr char kCpuArchNative[] = "cpu.arch.native";
inline constexpr char kCpuArchProcess[] = "cpu.arch.process";
inline constexpr char kCpuArchStatus[] = "cpu.arch.status";
inline constexpr char kCpuBrand[] = "cpu.brand";
inline constexpr char kCpuCores[] = "cpu.cores";
inline constexpr char kCpuLogical[] = "cpu.logical";
inline constexpr char kCpuPackages[] = "cpu.packages";
inline constexpr char kCpuSetsLogical[] = "cpu.sets.logical";
inline constexpr char kCpuSetsStatus[] = "cpu.sets.status";
inline constexpr char kCpuTopologyActive[] = "cpu.topology.active";
inline constexpr char kCpuTopologyApicAvailable[] = "cpu.topology.apic_available";
inline constexpr char kCpuTopologyProbed[] = "cpu.topology.probed";
inline constexpr char kCpuTopologyStatus[] = "cpu.topology.status";
inline constexpr char kCpuTopologyUniqueApic[] = "cpu.topology.unique_apic";
inline constexpr char kCpuVendor[] = "cpu.vendor";
inline constexpr char kCpuXenSecondaryBase[] = "cpu.xen_secondary.base";
inline constexpr char kCpuXenSecondaryStatus[] = "cpu.xen_secondary.status";
inline constexpr char kCpuXStateEnabled[] = "cpu.xstate.enabled";
inline constexpr char kCpuXStateStatus[] = "cpu.xstate.status";
inline constexpr char kCpuXStateWindowsAvx[] = "cpu.xstate.windows_avx";
inline constexpr char kHvPresent[] = "hv.present";
inline constexpr char kHvRole[] = "hv.role";
inline constexpr char kHvVendor[] = "hv.vendor";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kCpuCpuidHash[] = "cpu.cpuid_hash";
inline constexpr char kCpuFeatures[] = "cpu.features";
inline constexpr char kCpuHypervisor[] = "cpu.hypervisor";
inline constexpr char kCpuMicrocode[] = "cpu.microcode";
inline constexpr char kCpuSignature[] = "cpu.signature";
inline constexpr char kCpuTopology[] = "cpu.topology";
inline constexpr char kCpuVendor[] = "cpu.vendor";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kCpuCaches[] = "cpu.caches";
inline constexpr char kCpuLeaves[] = "cpu.leaves";
inline constexpr char kCpuLps[] = "cpu.lps";
inline constexpr char kCpuSummary[] = "cpu.summary";
}  // namespace vorq::table

namespace vorq::col::cpu_leaves {
inline constexpr size_t kLeaf = 0, kSubleaf = 1, kEax = 2, kEbx = 3, kEcx = 4, kEdx = 5;
}  // namespace vorq::col::cpu_leaves

namespace vorq {

struct CpuSource {
    CpuidFn cpuid;
    // Writes the "cpu.arch." facts; false when CPUID must not be interpreted.
    std::function<bool(Snapshot&)> probeArchitecture;
    std::function<void(Snapshot&)> probeCpuSets;
    std::function<void(Snapshot&)> probeXState;
    std::function<ProcessorTopology()> readTopology;
    std::function<uint32_t()> activeProcessorCount;
    // The raw "Update Revision" value of processor 0; false when unreadable.
    std::function<bool(std::vector<uint8_t>&)> readMicrocode;
    ThreadAffinity affinity;
};

// "0x" and eight hex digits of the revision in the registry value, or empty
// when it holds fewer than 4 bytes.
std::string MicrocodeText(const std::vector<uint8_t>& value);

void CollectCpuFrom(Snapshot& s, const CpuSource& p);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectCpu(Snapshot& s);

}  // namespace vorq
