#include <gtest/gtest.h>

#include <immintrin.h>

#include <cmath>
#include <vector>

#include "collectors/processor/fpu_common.h"
#include "collectors/processor/fpu_sweep.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {
namespace {

bool HostHasAvx512f() { return __builtin_cpu_supports("avx512f"); }

// One scalar instruction per input, hashed in one piece: what a sweep's hash
// and error must equal.
__attribute__((target("avx512f"))) float Scalar14(bool sqrtForm, float x) {
    const __m128 v = _mm_set_ss(x);
    return _mm_cvtss_f32(sqrtForm ? _mm_rsqrt14_ss(v, v) : _mm_rcp14_ss(v, v));
}

float Scalar(ApproxKind kind, float x) {
    const __m128 v = _mm_set_ss(x);
    switch (kind) {
        case ApproxKind::Rcp: return _mm_cvtss_f32(_mm_rcp_ss(v));
        case ApproxKind::Rsqrt: return _mm_cvtss_f32(_mm_rsqrt_ss(v));
        case ApproxKind::Rcp14: return Scalar14(false, x);
        case ApproxKind::Rsqrt14: return Scalar14(true, x);
    }
    return 0;
}

ApproxTableResult OneShot(ApproxKind kind, uint32_t first, uint32_t count) {
    const bool sqrtForm = kind == ApproxKind::Rsqrt || kind == ApproxKind::Rsqrt14;
    std::vector<float> results(count);
    double max = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const float x = FloatFromBits(first + i);
        results[i] = Scalar(kind, x);
        const double e = sqrtForm ? std::fabs(std::sqrt(double(x)) * double(results[i]) - 1.0)
                                  : std::fabs(double(results[i]) * double(x) - 1.0);
        max = e > max ? e : max;
    }
    const std::vector<uint8_t> digest = Sha256(results.data(), results.size() * sizeof(float));
    return {HexEncode(digest.data(), 16), max};
}

TEST(FpuSweep, HashAndErrorEqualScalarResultsHashedAtOnce) {
    struct Case {
        ApproxKind kind;
        uint32_t first, count;
    } cases[] = {
        // Two full 256 KiB blocks and a partial one.
        {ApproxKind::Rcp, 0x3F800000, 2 * 65536 + 64},
        {ApproxKind::Rsqrt, 0x3F800000, 2 * 65536 + 64},
        // The ends of the ranges: the last inputs are 3FFFFFFF and 407FFFFF.
        {ApproxKind::Rcp, 0x3FFF0000, 65536},
        {ApproxKind::Rsqrt, 0x407F0000, 65536},
        {ApproxKind::Rcp14, 0x3F800000, 65536 + 16},
        {ApproxKind::Rsqrt14, 0x407F0000, 65536},
    };
    for (const Case& c : cases) {
        const bool wide = c.kind == ApproxKind::Rcp14 || c.kind == ApproxKind::Rsqrt14;
        if (wide && !HostHasAvx512f()) continue;
        const ApproxTableResult got = SweepApproximation(c.kind, c.first, c.count);
        const ApproxTableResult want = OneShot(c.kind, c.first, c.count);
        EXPECT_EQ(got.hash, want.hash) << int(c.kind) << " " << std::hex << c.first;
        EXPECT_EQ(got.maxRelError, want.maxRelError) << int(c.kind) << " " << std::hex << c.first;
        EXPECT_GT(got.maxRelError, 0.0);
        EXPECT_EQ(got.hash.size(), 32u);
    }
}

TEST(FpuSweep, FullRangeMatchesScalarResults) {
    const ApproxTableResult got = HashApproximationTable();
    const ApproxTableResult want = OneShot(ApproxKind::Rcp, 0x3F800000, 1u << 23);
    EXPECT_EQ(got.hash, want.hash);
    EXPECT_EQ(got.maxRelError, want.maxRelError);
    // RCPPS guarantees a relative error of at most 1.5 * 2^-12.
    EXPECT_LE(got.maxRelError, 1.5 * std::ldexp(1.0, -12));
}

TEST(FpuSweep, RelativeErrorText) {
    EXPECT_EQ(FormatRelativeError(0.0), "max rel. error 0");
    EXPECT_EQ(FormatRelativeError(-1.0), "max rel. error 0");
    EXPECT_EQ(FormatRelativeError(0.00032505), "max rel. error 3.2505e-04 (2^-11.59)");
    EXPECT_EQ(FormatRelativeError(std::ldexp(1.0, -14)), "max rel. error 6.1035e-05 (2^-14.00)");
}

TEST(FpuSweep, WideProbes) {
    if (!__builtin_cpu_supports("avx")) GTEST_SKIP() << "no AVX on this host";
    EXPECT_EQ(ProbeDoubleSqrt(), "3FF6A09E667F3BCD 3FFBB67AE8584CAA 4001E3779B97F4A8 40052A7FA9D2F8EA");
    // Each lane as the 128-bit instruction gives it.
    const uint32_t inputs[8] = {0x3F8CCCCD, 0x3F99999A, 0x3FA66666, 0x3FB33333,
                                0x3FC00000, 0x3FCCCCCD, 0x3FD9999A, 0x3FE66666};
    std::string rcp, rsqrt;
    for (int i = 0; i < 8; ++i) {
        if (i) rcp += ' ', rsqrt += ' ';
        rcp += FormatFloatBits(Scalar(ApproxKind::Rcp, FloatFromBits(inputs[i])));
        rsqrt += FormatFloatBits(Scalar(ApproxKind::Rsqrt, FloatFromBits(inputs[i])));
    }
    EXPECT_EQ(ProbeReciprocalApprox(), rcp);
    EXPECT_EQ(ProbeReciprocalSqrtApprox(), rsqrt);
}

}  // namespace
}  // namespace vorq
