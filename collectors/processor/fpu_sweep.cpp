#include "collectors/processor/fpu_sweep.h"

#include <immintrin.h>

#include <cmath>
#include <vector>

#include "collectors/processor/fpu_common.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint32_t kOne = 0x3F800000;          // 1.0
constexpr uint32_t kRcpCount = 1u << 23;       // [1,2)
constexpr uint32_t kRsqrtCount = 1u << 24;     // [1,4)
constexpr size_t kBufferFloats = 65536;        // 256 KiB per hash update

// Collects results and hashes them in 256 KiB blocks, in input order.
class ResultSink {
public:
    ResultSink() : buffer_(kBufferFloats) {}
    float* Next(size_t lanes) {
        if (fill_ + lanes > buffer_.size()) Flush();
        float* p = buffer_.data() + fill_;
        fill_ += lanes;
        return p;
    }
    std::string Finish() {
        Flush();
        const std::vector<uint8_t> digest = hash_.Finish();
        return HexEncode(digest.data(), 16);
    }

private:
    void Flush() {
        hash_.Update(buffer_.data(), fill_ * sizeof(float));
        fill_ = 0;
    }
    Sha256Stream hash_;
    std::vector<float> buffer_;
    size_t fill_ = 0;
};

double LargestLane(const double* lanes, int n) {
    double m = 0.0;
    for (int i = 0; i < n; ++i) m = lanes[i] > m ? lanes[i] : m;
    return m;
}

// |r * x - 1| or |sqrt(x) * r - 1| of two lanes, in double precision.
inline __m128d LaneErrors(__m128 x, __m128 r, bool sqrtForm) {
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
    __m128d xd = _mm_cvtps_pd(x);
    if (sqrtForm) xd = _mm_sqrt_pd(xd);
    return _mm_and_pd(_mm_sub_pd(_mm_mul_pd(xd, _mm_cvtps_pd(r)), _mm_set1_pd(1.0)), absMask);
}

ApproxTableResult Sweep128(bool sqrtForm, uint32_t first, uint32_t count) {
    ResultSink sink;
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    __m128d max = _mm_setzero_pd();
    for (uint32_t k = 0; k < count; k += 4) {
        const __m128 x = _mm_castsi128_ps(_mm_add_epi32(_mm_set1_epi32(static_cast<int>(first + k)), lanes));
        const __m128 r = sqrtForm ? _mm_rsqrt_ps(x) : _mm_rcp_ps(x);
        _mm_storeu_ps(sink.Next(4), r);
        max = _mm_max_pd(max, LaneErrors(x, r, sqrtForm));
        max = _mm_max_pd(max, LaneErrors(_mm_movehl_ps(x, x), _mm_movehl_ps(r, r), sqrtForm));
    }
    alignas(16) double m[2];
    _mm_store_pd(m, max);
    return {sink.Finish(), LargestLane(m, 2)};
}

__attribute__((target("avx512f"))) __m512d LaneErrors512(__m256 x, __m256 r, bool sqrtForm) {
    const __m512d absMask = _mm512_castsi512_pd(_mm512_set1_epi64(0x7FFFFFFFFFFFFFFFll));
    __m512d xd = _mm512_cvtps_pd(x);
    if (sqrtForm) xd = _mm512_sqrt_pd(xd);
    const __m512d e = _mm512_sub_pd(_mm512_mul_pd(xd, _mm512_cvtps_pd(r)), _mm512_set1_pd(1.0));
    return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(e), _mm512_castpd_si512(absMask)));
}

__attribute__((target("avx512f"))) ApproxTableResult Sweep512(bool sqrtForm, uint32_t first, uint32_t count) {
    ResultSink sink;
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512d max = _mm512_setzero_pd();
    for (uint32_t k = 0; k < count; k += 16) {
        const __m512 x = _mm512_castsi512_ps(_mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(first + k)), lanes));
        const __m512 r = sqrtForm ? _mm512_rsqrt14_ps(x) : _mm512_rcp14_ps(x);
        _mm512_storeu_ps(sink.Next(16), r);
        const __m256 xLow = _mm512_castps512_ps256(x);
        const __m256 rLow = _mm512_castps512_ps256(r);
        const __m256 xHigh = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(x), 1));
        const __m256 rHigh = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(r), 1));
        max = _mm512_max_pd(max, LaneErrors512(xLow, rLow, sqrtForm));
        max = _mm512_max_pd(max, LaneErrors512(xHigh, rHigh, sqrtForm));
    }
    alignas(64) double m[8];
    _mm512_store_pd(m, max);
    return {sink.Finish(), LargestLane(m, 8)};
}

std::string Float8Text(const float* v) {
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (i) text += ' ';
        text += FormatFloatBits(v[i]);
    }
    return text;
}

// 1.1, 1.2, ..., 1.8 as floats.
const uint32_t kProbeFloats[8] = {0x3F8CCCCD, 0x3F99999A, 0x3FA66666, 0x3FB33333,
                                  0x3FC00000, 0x3FCCCCCD, 0x3FD9999A, 0x3FE66666};

__attribute__((target("avx"))) __m256 ProbeVector() {
    float v[8];
    for (int i = 0; i < 8; ++i) v[i] = OpaqueFloat(FloatFromBits(kProbeFloats[i]));
    return _mm256_loadu_ps(v);
}

}  // namespace

ApproxTableResult SweepApproximation(ApproxKind kind, uint32_t first, uint32_t count) {
    switch (kind) {
        case ApproxKind::Rcp: return Sweep128(false, first, count);
        case ApproxKind::Rsqrt: return Sweep128(true, first, count);
        case ApproxKind::Rcp14: return Sweep512(false, first, count);
        case ApproxKind::Rsqrt14: return Sweep512(true, first, count);
    }
    return {};
}

ApproxTableResult HashApproximationTable() { return SweepApproximation(ApproxKind::Rcp, kOne, kRcpCount); }
ApproxTableResult HashRsqrtTable() { return SweepApproximation(ApproxKind::Rsqrt, kOne, kRsqrtCount); }
ApproxTableResult HashRcp14Table() { return SweepApproximation(ApproxKind::Rcp14, kOne, kRcpCount); }
ApproxTableResult HashRsqrt14Table() { return SweepApproximation(ApproxKind::Rsqrt14, kOne, kRsqrtCount); }

std::string FormatRelativeError(double x) {
    if (x > 0) return Format("max rel. error %.4e (2^%.2f)", x, std::log2(x));
    return "max rel. error 0";
}

__attribute__((target("avx"))) std::string ProbeReciprocalApprox() {
    alignas(32) float out[8];
    _mm256_store_ps(out, _mm256_rcp_ps(ProbeVector()));
    return Float8Text(out);
}

__attribute__((target("avx"))) std::string ProbeReciprocalSqrtApprox() {
    alignas(32) float out[8];
    _mm256_store_ps(out, _mm256_rsqrt_ps(ProbeVector()));
    return Float8Text(out);
}

__attribute__((target("avx"))) std::string ProbeDoubleSqrt() {
    double in[4] = {OpaqueDouble(2.0), OpaqueDouble(3.0), OpaqueDouble(5.0), OpaqueDouble(7.0)};
    alignas(32) double out[4];
    _mm256_store_pd(out, _mm256_sqrt_pd(_mm256_loadu_pd(in)));
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i) text += ' ';
        text += FormatDoubleBits(out[i]);
    }
    return text;
}

}  // namespace vorq
