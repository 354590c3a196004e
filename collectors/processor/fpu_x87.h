// The x87 kernels of the floating-point fingerprint: each runs one x87
// operation (or a short fixed sequence) from a clean x87 state and stores the
// raw 80-bit results and the status word. x86-64 only; no platform headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "collectors/processor/fpu_common.h"

namespace vorq {

// One 80-bit extended value exactly as FSTP m80 stores it: the 64-bit
// significand (explicit integer bit 63), then sign (bit 15) and biased exponent.
struct X87Value {
    uint8_t bytes[10] = {};

    uint64_t Significand() const;
    uint16_t SignExponent() const;
    static X87Value Make(uint16_t signExponent, uint64_t significand);
};
static_assert(sizeof(X87Value) == 10, "results are stored 10 bytes apart");

// a and b as doubles (a kernel reads the ones it needs), room for 8 results,
// and the status word read with FNSTSW after the operation.
using X87Kernel = void (*)(double a, double b, X87Value* results, uint16_t* status);

void X87Sin(double a, double b, X87Value* results, uint16_t* status);
void X87Cos(double a, double b, X87Value* results, uint16_t* status);
void X87Tan(double a, double b, X87Value* results, uint16_t* status);
void X87Atan(double a, double b, X87Value* results, uint16_t* status);
void X87Yl2x(double a, double b, X87Value* results, uint16_t* status);
void X87Yl2xp1(double a, double b, X87Value* results, uint16_t* status);
void X87Exp2m1(double a, double b, X87Value* results, uint16_t* status);
void X87Sqrt(double a, double b, X87Value* results, uint16_t* status);
void X87SinCos(double a, double b, X87Value* results, uint16_t* status);
void X87Rem1(double a, double b, X87Value* results, uint16_t* status);
void X87Scale(double a, double b, X87Value* results, uint16_t* status);
void X87Extract(double a, double b, X87Value* results, uint16_t* status);
void X87Constants(double a, double b, X87Value* results, uint16_t* status);
void X87PiRounding(double a, double b, X87Value* results, uint16_t* status);
void X87ThirdPrecision(double a, double b, X87Value* results, uint16_t* status);

// "SSSS:MMMMMMMMMMMMMMMM (value)"; (Inf) and (NaN) for the special exponent.
std::string FormatX87Value(const X87Value& v);

// Runs the kernel and appends one row of the group "x87 80-bit" holding the
// first `count` results joined by " | ", with " [C2]" when C2 was set.
void RunX87Test(std::vector<FpuTestRow>& rows, const char* id, const char* title, X87Kernel kernel, double a, double b,
                int count);

}  // namespace vorq
