#include <cpuid.h>

#include "collectors/processor/cpuid.h"

namespace vorq {

CpuidRegisters QueryCpuid(uint32_t leaf, uint32_t subleaf) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    // __cpuid_count, not __get_cpuid_count: the latter refuses leaves above the
    // reported maximum, and the hypervisor and Xen ranges must be read anyway.
    __cpuid_count(leaf, subleaf, a, b, c, d);
    return CpuidRegisters{a, b, c, d};
}

}  // namespace vorq
