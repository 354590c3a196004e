// The CPU interface probes' readings of the CPU collector's data: CPUID rows,
// the Microsoft-compatible hypervisor interface and two consistency verdicts.
// Platform-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"
#include "vm/vm_model.h"
#include "vm/vm_system.h"

namespace vorq {

struct CpuLeafRow {
    uint32_t leaf = 0, subleaf = 0, eax = 0, ebx = 0, ecx = 0, edx = 0;
};

struct HvInterface {
    bool valid = false;
    bool featuresKnown = false;
    bool featuresAdvertised = false;
    bool nestingKnown = false;
    uint32_t nestingLevel = 0;
    bool nestedCapabilities = false;
};

struct CpuTopologyInputs {
    uint32_t logical = 0, cores = 0, packages = 0, active = 0, setsLogical = 0, probed = 0, uniqueApic = 0;
    bool topologyComplete = false, setsComplete = false, apicAvailable = false;
};

struct XStateInputs {
    bool leaf1Found = false, xsave = false, osxsave = false, avx = false;
    bool statusComplete = false, windowsAvx = false;
    uint64_t enabledMask = 0;
};

// Verdict codes of the two comparisons.
enum CpuComparison : int { kCompareUnavailable = 0, kCompareConsistent = 1, kCompareDisagree = 2, kCompareLimited = 3 };

// A text of digits of `base` only, at most 64 bits; 0 otherwise.
uint64_t ParseWholeUnsigned(std::string_view text, int base);
std::vector<CpuLeafRow> ReadCpuLeaves(const Snapshot& s);
HvInterface ReadHvInterface(const std::vector<CpuLeafRow>& rows);
CpuTopologyInputs ReadCpuTopologyInputs(const Snapshot& s);
XStateInputs ReadXStateInputs(const Snapshot& s, const std::vector<CpuLeafRow>& rows);
int CpuTopologyVerdict(const CpuTopologyInputs& in);
int XStateVerdict(const XStateInputs& in);

void SetCpuContextStatus(VmProbe& p, std::string_view status);
void SetCpuComparisonOutcome(VmProbe& p, int code);
// The Windows Hypervisor Platform's answer as the cpu.whp_presence outcome;
// no answer at all (no reader) counts as an absent library.
void ApplyWhpPresence(VmProbe& p, const WhpPresenceRead* read);

}  // namespace vorq
