// The "VM Detection" collector over a Snapshot. Pure except for what the
// environment supplies (CPUID as a fallback, registry key scans), so it runs
// in host tests on hand-made Snapshots.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "vm/probes_consistency.h"
#include "vm/vm_model.h"
#include "vm/vm_scorer.h"
#include "vm/vm_system.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kVmClassification[] = "vm.classification";
inline constexpr char kVmCloud[] = "vm.cloud";
inline constexpr char kVmCoverage[] = "vm.coverage";
inline constexpr char kVmFamily[] = "vm.family";
inline constexpr char kVmGuest[] = "vm.guest";
inline constexpr char kVmHvPresent[] = "vm.hv_present";
inline constexpr char kVmHvRole[] = "vm.hv_role";
inline constexpr char kVmModel[] = "vm.model";
inline constexpr char kVmScore[] = "vm.score";
inline constexpr char kVmVps[] = "vm.vps";
}  // namespace vorq::fact

namespace vorq::table {
inline constexpr char kVmSummary[] = "vm.summary";
}  // namespace vorq::table

namespace vorq {

// What the VM detection asks the running system beyond what the collectors
// before it wrote.
struct VmSource {
    // Executes CPUID (leaf, sub-leaf 0) on this processor; only called when
    // the CPU evidence is usable.
    std::function<CpuidLeafRegs(uint32_t leaf)> cpuid;
    // Opens each HKLM key of the list for query access.
    std::function<ServiceKeyScan(const ServiceKey* keys, size_t count)> scanServiceKeys;
    // The running system as the artifact, process-context and hypervisor
    // platform probes see it, with the clock that bounds their walks.
    VmSystemAccess system;

    // Consistency context probes. An empty reader counts as a failed read,
    // an empty VHD query as a missing function.
    // The route walk is bounded by system.tickMs.
    std::function<RouteTablesRead()> readRouteTables;
    std::function<WtsProtocolRead()> queryWtsProtocol;
    std::function<NativeVhdRead()> queryNativeVhdBoot;
};

// What the collector derived from the CPU data; the outputs report it.
struct VmCpuContext {
    bool cpuidUsable = false;
    bool cpuData = false;
    bool hvBit = false;
    bool basePlausible = false;
    std::string vendor;
    std::string guestFamilies;
    bool hvPresent = false;
    bool rootPartition = false;
};

void CollectVmFrom(Snapshot& s, const VmSource& env);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectVm(Snapshot& s);

// ACPI OEM signatures of the "acpi" table: families, whether every row was
// usable, whether a row reported a read failure.
struct AcpiOemMatch {
    std::string families;
    bool complete = false;
    bool readFailed = false;
};
AcpiOemMatch MatchAcpiOemFamilies(const Table* acpi);

// The probe groups run after the inline probes, in this order. Each appends
// its probes to the list.
using VmProbeGroup = void (*)(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeInventorySignatures(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbePnpHardware(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeGuestArtifacts(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeProcessContext(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeRegistryArtifacts(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeCpuInterface(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeDisplayContext(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void ProbeConsistencyContext(const Snapshot&, VmProbeList&, const VmWeights&, const VmSource&);
void GateCpuProbes(const Snapshot& s, VmProbeList& probes);
void MarkCpuProbesUnsupported(VmProbeList& probes);

// The method catalog tables, written after the tests tables.
void AddCatalogTables(Snapshot& s, const VmProbeList& probes);

// Outputs: facts, the summary and tests tables, and the "physical" score.
void WriteVmOutputs(Snapshot& s, const VmProbeList& probes, const VmScoreResult& r, const VmCpuContext& cpu);
std::string VmClassificationText(int32_t verdict, bool hvPresent);

}  // namespace vorq
