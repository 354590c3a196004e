// The gate that runs after every probe group: CPU evidence that may not be
// interpreted turns the CPU probes into Not Supported.
#include "collectors/processor/hypervisor.h"
#include "vm/vm.h"

namespace vorq {

void GateCpuProbes(const Snapshot& s, VmProbeList& probes) {
    if (!IsCpuidSafe(s)) MarkCpuProbesUnsupported(probes);
}

void MarkCpuProbesUnsupported(VmProbeList& probes) {
    for (VmProbe& p : probes) {
        if (p.id.rfind("cpu.", 0) != 0 || p.id == "cpu.architecture" || p.id == "cpu.whp_presence") continue;
        p.result = kNotSupported;
        p.strength = kContext;
        p.weight = 0;
        p.impact = 0;
        p.confirming = false;
        p.independent = false;
        p.families.clear();
        p.evidence = "x86 CPU evidence is unavailable for this process and native architecture combination.";
        p.caveat = "Instruction-set emulation does not establish that Windows is a virtual guest.";
    }
}

}  // namespace vorq
