// The subtest list of the floating-point fingerprint: every row's operation,
// title and result text, in list order, gated by the capability flags.
// x86-64 only; no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "collectors/processor/fpu_common.h"
#include "collectors/processor/fpu_sweep.h"
#include "core/snapshot.h"

#include <immintrin.h>

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kFpuDefaultNan[] = "fpu.default_nan";
inline constexpr char kFpuIntIndefinite[] = "fpu.int_indefinite";
}  // namespace vorq::fact

namespace vorq {

// The four table sweeps; tests pass quick stand-ins.
struct FpuSweeps {
    ApproxTableResult (*rcp)() = HashApproximationTable;
    ApproxTableResult (*rsqrt)() = HashRsqrtTable;
    ApproxTableResult (*rcp14)() = HashRcp14Table;
    ApproxTableResult (*rsqrt14)() = HashRsqrt14Table;
};

// Runs the list under the caller's MXCSR 0x1F80 and returns its rows; writes
// "fpu.default_nan" and "fpu.int_indefinite" on the way. entryMxcsr is the
// value shown in H01.
std::vector<FpuTestRow> BuildFpuRows(Snapshot& s, const FpuCapabilities& caps, uint32_t entryMxcsr,
                                     const FpuSweeps& sweeps);

// The small probes, each one result text.
std::string ProbeDivideRounding(uint32_t rc);
std::string ProbeConvertRounding(uint32_t rc);
std::string ProbeFmaDouble();
std::string ProbeFmaSingle();
std::string ProbeFmaSignedZero();
std::string ProbeFmaSubnormal();
std::string ProbeScalarApprox14();
__m128 MakeOpaqueFloat4(float a, float b, float c, float d);
std::string FormatFloat4Bits(__m128 v);

}  // namespace vorq
