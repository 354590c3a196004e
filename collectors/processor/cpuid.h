// CPUID values as the processor collectors pass them around. CPUID is reached
// through a CpuidFn so every decoder runs against recorded tables in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorq {

struct CpuidRegisters {
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
};

// One row of the CPUID dump (the table "cpu.leaves").
struct CpuidRow {
    uint32_t leaf = 0;
    uint32_t subleaf = 0;
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
};

inline CpuidRow MakeCpuidRow(uint32_t leaf, uint32_t subleaf, const CpuidRegisters& r) {
    return CpuidRow{leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx};
}
inline CpuidRegisters RegistersOf(const CpuidRow& r) { return CpuidRegisters{r.eax, r.ebx, r.ecx, r.edx}; }

// (leaf, sub-leaf) -> registers. The live one runs CPUID on the processor the
// calling thread currently runs on.
using CpuidFn = std::function<CpuidRegisters(uint32_t leaf, uint32_t subleaf)>;

// Executes CPUID with EAX = leaf and ECX = sub-leaf. Only meaningful when the
// process runs natively on x86-64 (see IsCpuidSafe in hypervisor.h).
CpuidRegisters QueryCpuid(uint32_t leaf, uint32_t subleaf);

}  // namespace vorq
