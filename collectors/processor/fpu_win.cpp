// The live services of the collector "FPU": CPUID, the processor feature
// queries and XCR0.
#include <windows.h>

#include <stdexcept>

#include "collectors/processor/fpu.h"
#include "core/fault_guard_win.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr DWORD kStatusIllegalInstruction = 0xC000001D;
constexpr DWORD kStatusPrivilegedInstruction = 0xC0000096;

uint64_t Xgetbv0() {
    uint32_t lo = 0, hi = 0;
    asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return static_cast<uint64_t>(hi) << 32 | lo;
}

}  // namespace

// XGETBV faults where the operating system has not enabled XSAVE; only that
// outcome (an illegal or privileged instruction) means "no XCR0".
bool ReadXcr0(uint64_t& value) {
    uint64_t v = 0;
    const FaultResult r = RunFaultGuarded([&] { v = Xgetbv0(); });
    if (!r.faulted) {
        value = v;
        return true;
    }
    value = 0;
    if (r.code == kStatusIllegalInstruction || r.code == kStatusPrivilegedInstruction) return false;
    throw std::runtime_error(Format("XGETBV raised exception 0x%08lX", static_cast<unsigned long>(r.code)));
}

FpuSource LiveFpuSource() {
    FpuSource p;
    p.cpuid = QueryCpuid;
    p.featurePresent = [](uint32_t feature) { return IsProcessorFeaturePresent(feature) != FALSE; };
    p.readXcr0 = ReadXcr0;
    return p;
}

FpuCapabilities ProbeFpuCapabilities(const Snapshot& s) { return ProbeFpuCapabilitiesWith(s, LiveFpuSource()); }

void CollectFpu(Snapshot& s) { CollectFpuFrom(s, LiveFpuSource()); }

}  // namespace vorq
