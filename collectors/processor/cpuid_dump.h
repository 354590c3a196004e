// The raw CPUID dump: which leaves and sub-leaves are read, the hash that
// identifies the processor model, and the decoded signature and brand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/processor/cpuid.h"
#include "core/snapshot.h"

namespace vorq {

// Appends the rows of one leaf by its sub-leaf rule (cache and topology leaves
// until their end marker, counted leaves up to their count, XSAVE components,
// resource leaves), bounded in every case.
void EnumerateCpuidSubleaves(const CpuidFn& cpuid, uint32_t leaf, std::vector<CpuidRow>& rows);

// Basic leaves up to min(maxBasic, 0x40), then extended leaves up to
// min(maxExtended, 0x80000040).
void AppendStandardLeaves(const CpuidFn& cpuid, uint32_t maxBasic, uint32_t maxExtended,
                          std::vector<CpuidRow>& rows);

// 32 upper-case hex digits over the non-hypervisor rows with the per-processor
// APIC ids and the hypervisor-present bit masked out.
std::string HashCpuidDump(const std::vector<CpuidRow>& rows);

struct CpuSignature {
    uint32_t raw = 0;  // CPUID.1:EAX
    uint32_t stepping = 0;
    uint32_t model = 0;   // display model
    uint32_t family = 0;  // display family
};
CpuSignature DecodeSignature(uint32_t eax);

// The brand string of 0x80000002..4, trimmed with space runs collapsed; empty
// when the extended leaves do not reach 0x80000004.
std::string ReadBrandString(const CpuidFn& cpuid, uint32_t maxExtended);

// The table "cpu.leaves"; later subsystems parse these cells back.
Table MakeCpuidLeavesTable(const std::vector<CpuidRow>& rows);

}  // namespace vorq
