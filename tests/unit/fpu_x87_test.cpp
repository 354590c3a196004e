#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collectors/processor/fpu_common.h"
#include "collectors/processor/fpu_x87.h"

namespace vorq {
namespace {

std::string RowText(X87Kernel kernel, double a, double b, int count) {
    std::vector<FpuTestRow> rows;
    RunX87Test(rows, "C00", "title", kernel, a, b, count);
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].group, "x87 80-bit");
    EXPECT_EQ(rows[0].cls, "vendor/uarch");
    return rows[0].bits;
}

TEST(FpuX87, KernelsWithExactlyDefinedResults) {
    struct Case {
        const char* name;
        X87Kernel kernel;
        double a, b;
        int count;
        const char* text;
    } cases[] = {
        {"FSIN out of range", X87Sin, 18446744073709551616.0, 0, 1, "403F:8000000000000000 (1.8446744073709552e+19) [C2]"},
        {"FSQRT", X87Sqrt, 2.0, 0, 1, "3FFF:B504F333F9DE6484 (1.4142135623730951)"},
        {"FPREM1 completes in one pass", X87Rem1, 10.0, 3.0, 1, "3FFF:8000000000000000 (1)"},
        {"FSCALE", X87Scale, 1.5, 10.0, 1, "4009:C000000000000000 (1536)"},
        {"FXTRACT", X87Extract, 10.0, 0, 2, "3FFF:A000000000000000 (1.25) | 4000:C000000000000000 (3)"},
        {"precision control", X87ThirdPrecision, 1.0, 3.0, 3,
         "3FFD:AAAAAB0000000000 (0.3333333432674408) | 3FFD:AAAAAAAAAAAAA800 (0.33333333333333331) | "
         "3FFD:AAAAAAAAAAAAAAAB (0.33333333333333331)"},
        // pi's 64-bit significand ends in ...C234|0.11...: nearest and up round up, down and chop do not.
        {"pi under the rounding control", X87PiRounding, 0, 0, 4,
         "4000:C90FDAA22168C235 (3.1415926535897931) | 4000:C90FDAA22168C234 (3.1415926535897931) | "
         "4000:C90FDAA22168C235 (3.1415926535897931) | 4000:C90FDAA22168C234 (3.1415926535897931)"},
        {"FLDZ pad of an out-of-range FSINCOS", X87SinCos, 18446744073709551616.0, 0, 2,
         "403F:8000000000000000 (1.8446744073709552e+19) | 0000:0000000000000000 (0) [C2]"},
        {"FPTAN out of range keeps the operand", X87Tan, 18446744073709551616.0, 0, 1,
         "403F:8000000000000000 (1.8446744073709552e+19) [C2]"},
        {"FPATAN of a / b", X87Atan, 0.0, -1.0, 1, "4000:C90FDAA22168C235 (3.1415926535897931)"},
        {"FYL2X is y * log2 x", X87Yl2x, 8.0, 2.0, 1, "4001:C000000000000000 (6)"},
        {"F2XM1", X87Exp2m1, 0.0, 0, 1, "0000:0000000000000000 (0)"},
    };
    for (const Case& c : cases) EXPECT_EQ(RowText(c.kernel, c.a, c.b, c.count), c.text) << c.name;
}

TEST(FpuX87, ValueTexts) {
    struct Case {
        uint16_t word;
        uint64_t significand;
        const char* text;
    } cases[] = {
        {0x7FFF, 0x8000000000000000ull, "7FFF:8000000000000000 (Inf)"},
        {0xFFFF, 0x8000000000000000ull, "FFFF:8000000000000000 (Inf)"},
        {0x7FFF, 0xC000000000000000ull, "7FFF:C000000000000000 (NaN)"},  // quiet
        {0xFFFF, 0xC000000000000000ull, "FFFF:C000000000000000 (NaN)"},  // the x87 default NaN
        {0x7FFF, 0x8000000000000001ull, "7FFF:8000000000000001 (NaN)"},  // signalling
        {0x7FFF, 0x0000000000000001ull, "7FFF:0000000000000001 (NaN)"},  // no integer bit
        {0x8000, 0, "8000:0000000000000000 (-0)"},
        {0x0000, 0, "0000:0000000000000000 (0)"},
        {0x3FFF, 0x8000000000000000ull, "3FFF:8000000000000000 (1)"},
        {0xC000, 0xA000000000000000ull, "C000:A000000000000000 (-2.5)"},
        // Rounded to the nearest double: 2^64 - 1 becomes 2^64.
        {0x403E, 0xFFFFFFFFFFFFFFFFull, "403E:FFFFFFFFFFFFFFFF (1.8446744073709552e+19)"},
        // Beyond the double range.
        {0x7FFE, 0x8000000000000000ull, "7FFE:8000000000000000 (inf)"},
        {0x0001, 0x8000000000000000ull, "0001:8000000000000000 (0)"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatX87Value(X87Value::Make(c.word, c.significand)), c.text);
}

struct X87Env {
    uint16_t control, status, tag;
};

X87Env ReadEnv() {
    uint16_t env[14] = {};  // 28-byte protected-mode layout
    asm volatile("fnstenv %0\n\tfldcw %0" : "=m"(env) : : "memory");  // FNSTENV masks all exceptions; put the word back
    return {env[0], env[2], env[4]};
}

void LoadControlWord(uint16_t cw) { asm volatile("fldcw %0" : : "m"(cw) : "memory"); }

TEST(FpuX87, EveryKernelLeavesTheCallerStateAsFound) {
    const X87Kernel kernels[] = {X87Sin,  X87Cos,  X87Tan,     X87Atan,      X87Yl2x,       X87Yl2xp1,
                                 X87Exp2m1, X87Sqrt, X87SinCos, X87Rem1,    X87Scale,     X87Extract,
                                 X87Constants, X87PiRounding, X87ThirdPrecision};
    const uint16_t saved = ReadX87ControlWord();
    const uint32_t mxcsr = ReadMxcsr();
    for (uint16_t caller : {uint16_t(0x027F), uint16_t(0x0F7F), uint16_t(0x007F)}) {
        for (size_t i = 0; i < std::size(kernels); ++i) {
            LoadControlWord(caller);
            X87Value results[8] = {};
            uint16_t status = 0;
            // Operands that raise invalid, zero-divide and inexact inside the kernels.
            kernels[i](-1.0, 0.0, results, &status);
            const X87Env env = ReadEnv();
            EXPECT_EQ(env.control, caller) << "kernel " << i;
            EXPECT_EQ(env.status & 0x38FF, 0) << "kernel " << i;  // stack top 0, no exception flags
            EXPECT_EQ(env.tag, 0xFFFF) << "kernel " << i;         // register stack empty
            EXPECT_EQ(ReadMxcsr(), mxcsr) << "kernel " << i;
        }
    }
    LoadControlWord(saved);
}

}  // namespace
}  // namespace vorq
