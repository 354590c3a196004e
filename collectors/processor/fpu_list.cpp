#include "collectors/processor/fpu_list.h"

#include <immintrin.h>

#include "collectors/processor/fpu_x87.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr uint64_t kDblMax = 0x7FEFFFFFFFFFFFFFull;
constexpr uint64_t kDblMin = 0x0010000000000000ull;
constexpr uint64_t kDblTrueMin = 0x0000000000000001ull;
constexpr uint64_t kQNan1 = 0x7FF8000000000001ull;
constexpr uint64_t kQNan2 = 0x7FF8000000000002ull;
constexpr uint64_t kSNan1 = 0x7FF0000000000001ull;
constexpr uint64_t kPlusZero = 0x0000000000000000ull;
constexpr uint64_t kMinusZero = 0x8000000000000000ull;
constexpr uint64_t kOneD = 0x3FF0000000000000ull;
constexpr uint64_t kMinusOneD = 0xBFF0000000000000ull;
constexpr uint64_t kHalfD = 0x3FE0000000000000ull;
constexpr uint64_t kTwoD = 0x4000000000000000ull;
constexpr uint64_t kThreeD = 0x4008000000000000ull;
constexpr uint32_t kFltMin = 0x00800000;
constexpr uint32_t kFltQNan = 0x7FC00001;
constexpr uint32_t kFltSNan = 0x7F800001;
constexpr uint32_t kFlt1em40 = 0x000116C2;
constexpr uint32_t kFltOne = 0x3F800000;
constexpr uint32_t kFltMinusOne = 0xBF800000;
constexpr uint32_t kFltHalf = 0x3F000000;
constexpr uint32_t kFltTwo = 0x40000000;
constexpr uint32_t kFltThree = 0x40400000;
constexpr uint32_t kFltInf = 0x7F800000;

const char* const kApprox = "Approximation";
const char* const kIeee = "IEEE-exact";
const char* const kFma = "FMA";
const char* const kX86 = "x86 semantics";
const char* const kMxcsr = "MXCSR / subnormal";
const char* const kRounding = "Rounding";

const char* const kVendor = "vendor/uarch";
const char* const kSemantics = "x86-semantics";
const char* const kExact = "IEEE-exact";
const char* const kState = "state";

// Scalar operands, each through a barrier.
__m128d Od(uint64_t bits) { return _mm_set_sd(OpaqueDouble(DoubleFromBits(bits))); }
__m128 Of(uint32_t bits) { return _mm_set_ss(OpaqueFloat(FloatFromBits(bits))); }
double Lo(__m128d v) { return _mm_cvtsd_f64(v); }
float Lo(__m128 v) { return _mm_cvtss_f32(v); }

std::string D(double v) { return FormatDoubleBits(v); }
std::string F(float v) { return FormatFloatBits(v); }
std::string I64(int64_t v) { return Format("%016llX", static_cast<unsigned long long>(v)); }

// Runs op with MXCSR = mxcsr. Operands come from barrier calls made after the
// load and the result passes a barrier before the restore, so the operation
// cannot move out of the scope.
template <typename Op>
double DoubleUnder(uint32_t mxcsr, Op op) {
    MxcsrScope scope(mxcsr);
    return OpaqueDouble(op());
}
template <typename Op>
float FloatUnder(uint32_t mxcsr, Op op) {
    MxcsrScope scope(mxcsr);
    return OpaqueFloat(op());
}
template <typename Op>
int64_t IntUnder(uint32_t mxcsr, Op op) {
    MxcsrScope scope(mxcsr);
    return OpaqueI64(op());
}

double DivideThirds() { return Lo(_mm_div_sd(Od(kOneD), Od(kThreeD))); }

// The "mul+add" references: a separate multiply and add, in code built
// without FMA so nothing can fuse them.
double MulAddDouble(uint64_t a, uint64_t b, uint64_t c) { return Lo(_mm_add_sd(_mm_mul_sd(Od(a), Od(b)), Od(c))); }
float MulAddSingle(uint32_t a, uint32_t b, uint32_t c) { return Lo(_mm_add_ss(_mm_mul_ss(Of(a), Of(b)), Of(c))); }

__attribute__((target("fma"))) double FusedDouble(uint64_t a, uint64_t b, uint64_t c) {
    return OpaqueDouble(Lo(_mm_fmadd_sd(Od(a), Od(b), Od(c))));
}
__attribute__((target("fma"))) float FusedSingle(uint32_t a, uint32_t b, uint32_t c) {
    return OpaqueFloat(Lo(_mm_fmadd_ss(Of(a), Of(b), Of(c))));
}

__attribute__((target("sse4.1"))) std::string ProbeRoundModes() {
    const __m128d x = Od(0x4004000000000000ull);  // 2.5
    const __m128d z = _mm_setzero_pd();
    const double nearest = OpaqueDouble(Lo(_mm_round_sd(z, x, 8)));
    const double down = OpaqueDouble(Lo(_mm_round_sd(z, x, 9)));
    const double up = OpaqueDouble(Lo(_mm_round_sd(z, x, 10)));
    const double chop = OpaqueDouble(Lo(_mm_round_sd(z, x, 11)));
    return Format("%g / %g / %g / %g", nearest, down, up, chop);
}

// The four MXCSR rounding fields in the order nearest, down, up, toward zero.
const uint32_t kRoundingFields[4] = {0x0000, 0x2000, 0x4000, 0x6000};

}  // namespace

__m128 MakeOpaqueFloat4(float a, float b, float c, float d) {
    return _mm_setr_ps(OpaqueFloat(a), OpaqueFloat(b), OpaqueFloat(c), OpaqueFloat(d));
}

std::string FormatFloat4Bits(__m128 v) {
    float lanes[4];
    _mm_storeu_ps(lanes, v);
    return F(lanes[0]) + " " + F(lanes[1]) + " " + F(lanes[2]) + " " + F(lanes[3]);
}

std::string ProbeDivideRounding(uint32_t rc) { return D(DoubleUnder(rc | kMxcsrNearest, DivideThirds)); }

std::string ProbeConvertRounding(uint32_t rc) {
    const int64_t plus = IntUnder(rc | kMxcsrNearest, [] { return _mm_cvtsd_si32(Od(0x4004000000000000ull)); });
    const int64_t minus = IntUnder(rc | kMxcsrNearest, [] { return _mm_cvtsd_si32(Od(0xC004000000000000ull)); });
    return Format("%d/%d", static_cast<int>(plus), static_cast<int>(minus));
}

std::string ProbeFmaDouble() {
    const uint64_t a = 0x3FF0000002000000ull, b = 0x3FEFFFFFFC000000ull;
    return "fused " + D(FusedDouble(a, b, kMinusOneD)) + " / mul+add " + D(MulAddDouble(a, b, kMinusOneD));
}

std::string ProbeFmaSingle() {
    const uint32_t a = 0x3F800400, b = 0x3F7FF800;
    return "fused " + F(FusedSingle(a, b, kFltMinusOne)) + " / mul+add " + F(MulAddSingle(a, b, kFltMinusOne));
}

std::string ProbeFmaSignedZero() {
    return D(FusedDouble(kMinusZero, kOneD, kPlusZero)) + " " + D(FusedDouble(kOneD, kMinusZero, kMinusZero));
}

std::string ProbeFmaSubnormal() { return D(FusedDouble(kDblMin, 0x3FE8000000000000ull, kDblTrueMin)); }

__attribute__((target("avx512f"))) std::string ProbeScalarApprox14() {
    const __m128d x = Od(kThreeD);
    const __m128d z = _mm_setzero_pd();
    const double rcp = OpaqueDouble(Lo(_mm_rcp14_sd(z, x)));
    const double rsqrt = OpaqueDouble(Lo(_mm_rsqrt14_sd(z, x)));
    return D(rcp) + " " + D(rsqrt);
}

std::vector<FpuTestRow> BuildFpuRows(Snapshot& s, const FpuCapabilities& caps, uint32_t entryMxcsr,
                                     const FpuSweeps& sweeps) {
    std::vector<FpuTestRow> rows;
    auto sweepText = [](const ApproxTableResult& r) { return r.hash + "  " + FormatRelativeError(r.maxRelError); };

    // Approximation instructions.
    AddFpuRow(rows, "E01", kApprox, "RCPSS(1.0)", F(Lo(_mm_rcp_ss(Of(kFltOne)))), kVendor);
    AddFpuRow(rows, "E02", kApprox, "RCPPS(1, 2, 3, 0.5)",
              FormatFloat4Bits(_mm_rcp_ps(MakeOpaqueFloat4(1.0f, 2.0f, 3.0f, 0.5f))), kVendor);
    AddFpuRow(rows, "E03", kApprox, "RSQRTSS(1.0)", F(Lo(_mm_rsqrt_ss(Of(kFltOne)))), kVendor);
    AddFpuRow(rows, "E04", kApprox, "RSQRTPS(2, 3, 5, 0.25)",
              FormatFloat4Bits(_mm_rsqrt_ps(MakeOpaqueFloat4(2.0f, 3.0f, 5.0f, 0.25f))), kVendor);
    AddFpuRow(rows, "E05", kApprox, "RCPPS(1.5, 1.25, 1.75, 1.999)",
              FormatFloat4Bits(_mm_rcp_ps(MakeOpaqueFloat4(1.5f, 1.25f, 1.75f, FloatFromBits(0x3FFFDF3B)))), kVendor);
    AddFpuRow(rows, "E06", kApprox, "RCPSS(denormal 1e-40)", F(Lo(_mm_rcp_ss(Of(kFlt1em40)))), kVendor);
    AddFpuRow(rows, "E07", kApprox, "RCPSS(3e38)", F(Lo(_mm_rcp_ss(Of(0x7F61B1E6)))), kVendor);
    AddFpuRow(rows, "E08", kApprox, "RSQRTSS(-1.0)", F(Lo(_mm_rsqrt_ss(Of(kFltMinusOne)))), kVendor);
    {
        const __m128 three = Of(kFltThree);
        const __m128 r = _mm_rcp_ss(three);
        const __m128 t = _mm_mul_ss(r, three);
        const __m128 u = _mm_sub_ss(Of(kFltOne), t);
        const __m128 v = _mm_mul_ss(u, r);
        const __m128 n = _mm_add_ss(v, r);
        AddFpuRow(rows, "E09", kApprox, "RCP(3.0) + one Newton-Raphson step", F(Lo(r)) + " -> " + F(Lo(n)), kVendor);
    }
    if (caps.avx) {
        AddFpuRow(rows, "E10", kApprox, "VRCPPS ymm(1.1 ... 1.8)", ProbeReciprocalApprox(), kVendor);
        AddFpuRow(rows, "E11", kApprox, "VRSQRTPS ymm(1.1 ... 1.8)", ProbeReciprocalSqrtApprox(), kVendor);
    }
    AddFpuRow(rows, "E12", kApprox, "RCPPS table: all 2^23 mantissas in [1,2)", sweepText(sweeps.rcp()), kVendor);
    AddFpuRow(rows, "E13", kApprox, "RSQRTPS table: all 2^24 floats in [1,4)", sweepText(sweeps.rsqrt()), kVendor);
    if (caps.avx512f) {
        AddFpuRow(rows, "E14", kApprox, "VRCP14PS (AVX-512) table: [1,2)", sweepText(sweeps.rcp14()), kVendor);
        AddFpuRow(rows, "E15", kApprox, "VRSQRT14PS (AVX-512) table: [1,4)", sweepText(sweeps.rsqrt14()), kVendor);
        AddFpuRow(rows, "E16", kApprox, "VRCP14SD / VRSQRT14SD (3.0)", ProbeScalarApprox14(), kVendor);
    }

    // Operations IEEE 754 defines exactly.
    {
        const __m128d two = Od(kTwoD);
        AddFpuRow(rows, "D01", kIeee, "SQRTSD(2.0)", D(Lo(_mm_sqrt_sd(two, two))), kExact);
    }
    AddFpuRow(rows, "D02", kIeee, "DIVSD(1, 3)", D(DivideThirds()), kExact);
    AddFpuRow(rows, "D03", kIeee, "ADDSD(0.1, 0.2)",
              D(Lo(_mm_add_sd(Od(0x3FB999999999999Aull), Od(0x3FC999999999999Aull)))), kExact);
    AddFpuRow(rows, "D04", kIeee, "MULSD(DBL_MAX, 2)", D(Lo(_mm_mul_sd(Od(kDblMax), Od(kTwoD)))), kExact);
    {
        const __m128 two = Of(kFltTwo);
        AddFpuRow(rows, "D05", kIeee, "SQRTSS(2.0)", F(Lo(_mm_sqrt_ss(two))), kExact);
    }
    AddFpuRow(rows, "D06", kIeee, "DIVSS(1, 3)", F(Lo(_mm_div_ss(Of(kFltOne), Of(kFltThree)))), kExact);
    AddFpuRow(rows, "D07", kIeee, "CVTSD2SS(1/3)",
              F(Lo(_mm_cvtsd_ss(_mm_setzero_ps(), _mm_set_sd(OpaqueDouble(DivideThirds()))))), kExact);
    AddFpuRow(rows, "D08", kIeee, "CVTSI2SD(2^63-1)",
              D(Lo(_mm_cvtsi64_sd(_mm_setzero_pd(), static_cast<long long>(OpaqueI64(INT64_MAX))))), kExact);
    if (caps.avx) AddFpuRow(rows, "D09", kIeee, "VSQRTPD ymm(2, 3, 5, 7)", ProbeDoubleSqrt(), kExact);
    if (caps.sse41) AddFpuRow(rows, "D10", kIeee, "ROUNDSD(2.5): nearest / floor / ceil / trunc", ProbeRoundModes(), kExact);

    // Fused multiply-add.
    if (caps.fma3) {
        AddFpuRow(rows, "F01", kFma, "(1+2^-27)(1-2^-27) - 1, double", ProbeFmaDouble(), kExact);
        AddFpuRow(rows, "F02", kFma, "(1+2^-13)(1-2^-13) - 1, single", ProbeFmaSingle(), kExact);
        AddFpuRow(rows, "F03", kFma, "FMA(-0,1,+0) / FMA(1,-0,-0)", ProbeFmaSignedZero(), kExact);
        AddFpuRow(rows, "F04", kFma, "FMA(DBL_MIN, 0.75, DBL_TRUE_MIN)", ProbeFmaSubnormal(), kExact);
    }
    AddFpuRow(rows, "F05", kFma, "FMA3 / FMA4 instruction sets",
              Format("FMA3 %s, FMA4 %s", YesNo(caps.fma3), YesNo(caps.fma4)), kVendor);

    // Behaviour the x86 architecture defines.
    {
        const __m128d zero = Od(kPlusZero);
        const std::string defaultNan = D(Lo(_mm_div_sd(zero, zero)));
        SetFact(s, fact::kFpuDefaultNan, defaultNan);
        AddFpuRow(rows, "I01", kX86, "0.0 / 0.0", defaultNan, kSemantics);
    }
    {
        const __m128d inf = _mm_cvtss_sd(_mm_setzero_pd(), Of(kFltInf));
        AddFpuRow(rows, "I02", kX86, "+Inf - +Inf", D(Lo(_mm_sub_sd(inf, inf))), kSemantics);
    }
    {
        const __m128d minusOne = Od(kMinusOneD);
        AddFpuRow(rows, "I03", kX86, "SQRTSD(-1)", D(Lo(_mm_sqrt_sd(minusOne, minusOne))), kSemantics);
    }
    AddFpuRow(rows, "I04", kX86, "NaN propagation ADDSD(qNaN#1, qNaN#2)", D(Lo(_mm_add_sd(Od(kQNan1), Od(kQNan2)))),
              kSemantics);
    AddFpuRow(rows, "I05", kX86, "sNaN quieting ADDSD(sNaN#1, 1.0)", D(Lo(_mm_add_sd(Od(kSNan1), Od(kOneD)))),
              kSemantics);
    AddFpuRow(rows, "I06", kX86, "MAXSD(+0,-0) / MAXSD(-0,+0)",
              D(Lo(_mm_max_sd(Od(kPlusZero), Od(kMinusZero)))) + " " + D(Lo(_mm_max_sd(Od(kMinusZero), Od(kPlusZero)))),
              kSemantics);
    AddFpuRow(rows, "I07", kX86, "MAXSD(NaN,1) / MAXSD(1,NaN)",
              D(Lo(_mm_max_sd(Od(kQNan1), Od(kOneD)))) + " " + D(Lo(_mm_max_sd(Od(kOneD), Od(kQNan1)))), kSemantics);
    AddFpuRow(rows, "I08", kX86, "MINSS(NaN,1) / MINSS(1,NaN)",
              F(Lo(_mm_min_ss(Of(kFltQNan), Of(kFltOne)))) + " " + F(Lo(_mm_min_ss(Of(kFltOne), Of(kFltQNan)))),
              kSemantics);
    const int64_t nanToInt = _mm_cvttsd_si64(Od(kQNan1));
    AddFpuRow(rows, "I09", kX86, "CVTTSD2SI64(NaN) / CVTTSD2SI64(1e20)",
              I64(nanToInt) + " " + I64(_mm_cvttsd_si64(Od(0x4415AF1D78B58C40ull))), kSemantics);
    AddFpuRow(rows, "I10", kX86, "CVTSD2SS(DBL_MAX) / CVTSS2SD(sNaN)",
              F(Lo(_mm_cvtsd_ss(_mm_setzero_ps(), Od(kDblMax)))) + " " +
                  D(Lo(_mm_cvtss_sd(_mm_setzero_pd(), Of(kFltSNan)))),
              kSemantics);
    AddFpuRow(rows, "I11", kX86, "(-0)+(-0) / (-0)+(+0) / (+0)*(-1)",
              D(Lo(_mm_add_sd(Od(kMinusZero), Od(kMinusZero)))) + " " +
                  D(Lo(_mm_add_sd(Od(kMinusZero), Od(kPlusZero)))) + " " +
                  D(Lo(_mm_mul_sd(Od(kPlusZero), Od(kMinusOneD)))),
              kSemantics);
    SetFact(s, fact::kFpuIntIndefinite, I64(nanToInt));

    // MXCSR modes and subnormals.
    AddFpuRow(rows, "H01", kMxcsr, "MXCSR at collector entry", Format("%04X", entryMxcsr), kState);
    AddFpuRow(rows, "H02", kMxcsr, "DBL_TRUE_MIN * 0.5 (round-to-nearest)",
              D(Lo(_mm_mul_sd(Od(kDblTrueMin), Od(kHalfD)))), kExact);
    AddFpuRow(rows, "H03", kMxcsr, "DBL_MIN * 0.5 (gradual underflow)", D(Lo(_mm_mul_sd(Od(kDblMin), Od(kHalfD)))),
              kExact);
    AddFpuRow(rows, "H04", kMxcsr, "FTZ=1: DBL_MIN * 0.5",
              D(DoubleUnder(kMxcsrFtz, [] { return Lo(_mm_mul_sd(Od(kDblMin), Od(kHalfD))); })), kSemantics);
    AddFpuRow(rows, "H05", kMxcsr, "DAZ=1: DBL_TRUE_MIN + 0",
              D(DoubleUnder(kMxcsrDaz, [] { return Lo(_mm_add_sd(Od(kDblTrueMin), Od(kPlusZero))); })), kSemantics);
    {
        float rcp = 0, half = 0;
        {
            MxcsrScope scope(kMxcsrFtzDaz);
            rcp = OpaqueFloat(Lo(_mm_rcp_ss(Of(kFlt1em40))));
            half = OpaqueFloat(Lo(_mm_mul_ss(Of(kFltMin), Of(kFltHalf))));
        }
        AddFpuRow(rows, "H06", kMxcsr, "FTZ+DAZ: RCPSS(1e-40) / FLT_MIN*0.5", F(rcp) + " " + F(half), kVendor);
    }

    // Rounding modes.
    {
        std::vector<std::string> parts;
        for (uint32_t rc : kRoundingFields) parts.push_back(ProbeDivideRounding(rc));
        AddFpuRow(rows, "G01", kRounding, "DIVSD(1,3) under RN / RD / RU / RZ", Join(parts, " "), kExact);
    }
    {
        auto root = [] {
            const __m128d two = Od(kTwoD);
            return Lo(_mm_sqrt_sd(two, two));
        };
        AddFpuRow(rows, "G02", kRounding, "SQRTSD(2) under RD / RU",
                  D(DoubleUnder(kMxcsrDown, root)) + " " + D(DoubleUnder(kMxcsrUp, root)), kExact);
    }
    {
        std::vector<std::string> parts;
        for (uint32_t rc : kRoundingFields) parts.push_back(ProbeConvertRounding(rc));
        AddFpuRow(rows, "G03", kRounding, "CVTSD2SI(2.5 / -2.5) under RN, RD, RU, RZ", Join(parts, "  "), kExact);
    }
    {
        auto sum = [] { return Lo(_mm_add_ss(Of(kFltOne), Of(0x33800000))); };
        AddFpuRow(rows, "G04", kRounding, "ADDSS(1, 2^-24) under RN / RU",
                  F(FloatUnder(kMxcsrNearest, sum)) + " " + F(FloatUnder(kMxcsrUp, sum)), kExact);
    }

    // x87 extended precision.
    RunX87Test(rows, "C01", "FSIN(1.0)", X87Sin, 1.0, 0, 1);
    RunX87Test(rows, "C02", "FSIN(pi rounded to double)", X87Sin, DoubleFromBits(0x400921FB54442D18ull), 0, 1);
    RunX87Test(rows, "C03", "FSIN(1e18) - large argument reduction", X87Sin, 1e18, 0, 1);
    RunX87Test(rows, "C04", "FSIN(2^64) - out of range", X87Sin, DoubleFromBits(0x43F0000000000000ull), 0, 1);
    RunX87Test(rows, "C05", "FCOS(1.0)", X87Cos, 1.0, 0, 1);
    RunX87Test(rows, "C06", "FPTAN(0.5)", X87Tan, 0.5, 0, 1);
    RunX87Test(rows, "C07", "FPATAN(1, 3)", X87Atan, 1.0, 3.0, 1);
    RunX87Test(rows, "C08", "FYL2X(10, 1) = log2(10)", X87Yl2x, 10.0, 1.0, 1);
    RunX87Test(rows, "C09", "FYL2XP1(0.25, 1)", X87Yl2xp1, 0.25, 1.0, 1);
    RunX87Test(rows, "C10", "F2XM1(0.5)", X87Exp2m1, 0.5, 0, 1);
    RunX87Test(rows, "C11", "FSQRT(2) 64-bit precision", X87Sqrt, 2.0, 0, 1);
    RunX87Test(rows, "C12", "FSINCOS(1e5)", X87SinCos, 100000.0, 0, 2);
    RunX87Test(rows, "C13", "FPREM1(10, 3)", X87Rem1, 10.0, 3.0, 1);
    RunX87Test(rows, "C14", "FSCALE(1.5, 10)", X87Scale, 1.5, 10.0, 1);
    RunX87Test(rows, "C15", "FXTRACT(10)", X87Extract, 10.0, 0, 2);
    RunX87Test(rows, "C16", "FLDPI / FLDL2E / FLDL2T / FLDLG2 / FLDLN2", X87Constants, 0, 0, 5);
    RunX87Test(rows, "C17", "FLDPI under RC nearest / down / up / chop", X87PiRounding, 0, 0, 4);
    RunX87Test(rows, "C18", "1/3 under precision control 24 / 53 / 64", X87ThirdPrecision, 1.0, 3.0, 3);
    return rows;
}

}  // namespace vorq
