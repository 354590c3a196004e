// The hypervisor CPUID range (0x40000000 and up) read without a verdict, and
// the predicates other subsystems use to decide whether CPUID evidence may be
// trusted at all and whether a hypervisor leaf is genuine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collectors/processor/cpuid.h"
#include "core/snapshot.h"

namespace vorq {

// True exactly when the fact "cpu.arch.cpuid_safe" is the text "1": CPUID
// describes the real processor (native x86-64, not instruction-set emulation).
// The CPU collector writes that fact first of all. Every code path that
// interprets CPUID values or runs x86-specific probes asks this first.
bool IsCpuidSafe(const Snapshot& s);

// The highest leaf lies within base's block of 256 leaves, or KVM's maximum of 0
// at 0x40000000 with the exact vendor text "KVMKVMKVM".
bool IsPlausibleHypervisorLeaf(uint32_t maxLeaf, uint32_t base, std::string_view vendor);

// A Xen interface relocated to base (a multiple of 0x100 in 0x40000100..0x40000F00)
// with a consistent block and a non-zero major version in versionEax.
bool CheckRelocatedXenLeaf(uint32_t base, uint32_t maxLeaf, std::string_view vendor, uint32_t versionEax);

struct HypervisorContext {
    bool plausible = false;
    bool present = false;    // CPUID.1:ECX bit 31
    uint32_t maxLeaf = 0;    // EAX of 0x40000000 when plausible, else 0
    CpuidRegisters leaf0;    // raw 0x40000000, kept for the dump row
    std::string vendor;      // empty unless plausible
    std::string role;        // "none", "unknown" or "root"
    std::string text;        // the summary row and signal text of the role
};

HypervisorContext ReadHypervisorContext(const CpuidFn& cpuid, bool present);

// The dump rows of the hypervisor range: 0x40000000 always, then up to
// 0x40000010 when the context is plausible.
void AppendHypervisorRows(const CpuidFn& cpuid, const HypervisorContext& hv, std::vector<CpuidRow>& rows);

// Looks for a second Xen interface at 0x40000100..0x40000F00; writes the
// "cpu.xen_secondary." facts and appends its dump rows.
void ScanSecondaryXenLeaves(const CpuidFn& cpuid, Snapshot& s, std::vector<CpuidRow>& rows);

}  // namespace vorq
