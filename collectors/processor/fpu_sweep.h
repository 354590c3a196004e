// Full-range sweeps over the reciprocal and reciprocal-square-root
// approximation instructions, hashed with SHA-256, and the 256-bit probes.
// x86-64 only; no platform headers.
#pragma once

#include <cstdint>
#include <string>

namespace vorq {

struct ApproxTableResult {
    std::string hash;         // first 16 digest bytes, 32 upper-case hex digits
    double maxRelError = 0.0;
};

enum class ApproxKind { Rcp, Rsqrt, Rcp14, Rsqrt14 };

// The sweep over `count` consecutive float patterns from `first` (count a
// multiple of the instruction's lane count). The 14-bit forms need AVX-512F.
ApproxTableResult SweepApproximation(ApproxKind kind, uint32_t first, uint32_t count);

// RCPPS over [1,2), RSQRTPS over [1,4), and their AVX-512 14-bit forms.
ApproxTableResult HashApproximationTable();
ApproxTableResult HashRsqrtTable();
ApproxTableResult HashRcp14Table();
ApproxTableResult HashRsqrt14Table();

// "max rel. error %.4e (2^%.2f)", or "max rel. error 0".
std::string FormatRelativeError(double x);

// Eight VRCPPS / VRSQRTPS results of 1.1 ... 1.8 and four VSQRTPD of 2, 3,
// 5, 7 on one 256-bit register; need AVX.
std::string ProbeReciprocalApprox();
std::string ProbeReciprocalSqrtApprox();
std::string ProbeDoubleSqrt();

}  // namespace vorq
