#include "collectors/processor/fpu_x87.h"

#include <cmath>
#include <cstring>

#include "core/text.h"

namespace vorq {

uint64_t X87Value::Significand() const {
    uint64_t v;
    std::memcpy(&v, bytes, 8);
    return v;
}

uint16_t X87Value::SignExponent() const {
    uint16_t v;
    std::memcpy(&v, bytes + 8, 2);
    return v;
}

X87Value X87Value::Make(uint16_t signExponent, uint64_t significand) {
    X87Value v;
    std::memcpy(v.bytes, &significand, 8);
    std::memcpy(v.bytes + 8, &signExponent, 2);
    return v;
}

// Every kernel: save the caller's control word, FNINIT (0x037F, empty stack),
// the operation, then clear the exception flags and put the control word back.
// The stack is empty again when the statement ends.
#define VORQ_X87_ENTER "fnstcw %[cw]\n\tfninit\n\t"
#define VORQ_X87_LEAVE "fnclex\n\tfldcw %[cw]\n\t"
#define VORQ_X87_CLOBBERS "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)", "memory", "cc"

void X87Sin(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fsin\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Cos(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fcos\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Tan(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    // FPTAN pushes 1.0 above the tangent only when it completed (C2 clear).
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fptan\n\t"
                 "fnstsw %%ax\n\t"
                 "movw %%ax, (%[st])\n\t"
                 "testw $0x400, %%ax\n\t"
                 "jnz 1f\n\t"
                 "fstp %%st(0)\n"
                 "1:\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS, "eax");
}

void X87Atan(double a, double b, X87Value* r, uint16_t* status) {
    uint16_t cw;
    // st1 = a, st0 = b: FPATAN gives the arctangent of a / b.
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fldl %[b]\n\t"
                 "fpatan\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [b] "m"(b), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Yl2x(double a, double b, X87Value* r, uint16_t* status) {
    uint16_t cw;
    // st1 = y = b, st0 = x = a.
    asm volatile(VORQ_X87_ENTER
                 "fldl %[b]\n\t"
                 "fldl %[a]\n\t"
                 "fyl2x\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [b] "m"(b), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Yl2xp1(double a, double b, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[b]\n\t"
                 "fldl %[a]\n\t"
                 "fyl2xp1\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [b] "m"(b), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Exp2m1(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "f2xm1\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Sqrt(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fsqrt\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87SinCos(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    // Completed: st0 = cosine, st1 = sine. Out of range (C2): st0 = a alone.
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fsincos\n\t"
                 "fnstsw %%ax\n\t"
                 "movw %%ax, (%[st])\n\t"
                 "testw $0x400, %%ax\n\t"
                 "jnz 1f\n\t"
                 "fstpt 10(%[r])\n\t"
                 "fstpt (%[r])\n\t"
                 "jmp 2f\n"
                 "1:\n\t"
                 "fstpt (%[r])\n\t"
                 "fldz\n\t"
                 "fstpt 10(%[r])\n"
                 "2:\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS, "eax");
}

void X87Rem1(double a, double b, X87Value* r, uint16_t* status) {
    uint16_t cw;
    // FPREM1 reduces in partial steps; C2 stays set until the remainder is complete.
    asm volatile(VORQ_X87_ENTER
                 "fldl %[b]\n\t"
                 "fldl %[a]\n"
                 "1:\n\t"
                 "fprem1\n\t"
                 "fnstsw %%ax\n\t"
                 "testw $0x400, %%ax\n\t"
                 "jnz 1b\n\t"
                 "movw %%ax, (%[st])\n\t"
                 "fstpt (%[r])\n\t"
                 "fstp %%st(0)\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [b] "m"(b), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS, "eax");
}

void X87Scale(double a, double b, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[b]\n\t"
                 "fldl %[a]\n\t"
                 "fscale\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t"
                 "fstp %%st(0)\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [b] "m"(b), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Extract(double a, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldl %[a]\n\t"
                 "fxtract\n\t"
                 "fnstsw (%[st])\n\t"
                 "fstpt (%[r])\n\t"
                 "fstpt 10(%[r])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [a] "m"(a), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87Constants(double, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldpi\n\t"
                 "fstpt (%[r])\n\t"
                 "fldl2e\n\t"
                 "fstpt 10(%[r])\n\t"
                 "fldl2t\n\t"
                 "fstpt 20(%[r])\n\t"
                 "fldlg2\n\t"
                 "fstpt 30(%[r])\n\t"
                 "fldln2\n\t"
                 "fstpt 40(%[r])\n\t"
                 "fnstsw (%[st])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

namespace {
// Nearest, down, up, toward zero; precision 64 bits.
const uint16_t kRoundingWords[4] = {0x037F, 0x077F, 0x0B7F, 0x0F7F};
// Precision 24, 53 and 64 bits; round to nearest.
const uint16_t kPrecisionWords[3] = {0x007F, 0x027F, 0x037F};
}  // namespace

void X87PiRounding(double, double, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldcw (%[w])\n\t"
                 "fldpi\n\t"
                 "fstpt (%[r])\n\t"
                 "fldcw 2(%[w])\n\t"
                 "fldpi\n\t"
                 "fstpt 10(%[r])\n\t"
                 "fldcw 4(%[w])\n\t"
                 "fldpi\n\t"
                 "fstpt 20(%[r])\n\t"
                 "fldcw 6(%[w])\n\t"
                 "fldpi\n\t"
                 "fstpt 30(%[r])\n\t"
                 "fnstsw (%[st])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [w] "r"(kRoundingWords), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

void X87ThirdPrecision(double a, double b, X87Value* r, uint16_t* status) {
    uint16_t cw;
    asm volatile(VORQ_X87_ENTER
                 "fldcw (%[w])\n\t"
                 "fldl %[a]\n\t"
                 "fdivl %[b]\n\t"
                 "fstpt (%[r])\n\t"
                 "fldcw 2(%[w])\n\t"
                 "fldl %[a]\n\t"
                 "fdivl %[b]\n\t"
                 "fstpt 10(%[r])\n\t"
                 "fldcw 4(%[w])\n\t"
                 "fldl %[a]\n\t"
                 "fdivl %[b]\n\t"
                 "fstpt 20(%[r])\n\t"
                 "fnstsw (%[st])\n\t" VORQ_X87_LEAVE
                 : [cw] "=m"(cw)
                 : [w] "r"(kPrecisionWords), [a] "m"(a), [b] "m"(b), [r] "r"(r), [st] "r"(status)
                 : VORQ_X87_CLOBBERS);
}

std::string FormatX87Value(const X87Value& x) {
    const uint16_t word = x.SignExponent();
    const uint64_t significand = x.Significand();
    std::string text = Format("%04X:%016llX", word, static_cast<unsigned long long>(significand));
    const int e = word & 0x7FFF;
    if (e == 0x7FFF) return text + ((significand & 0x7FFFFFFFFFFFFFFFull) ? " (NaN)" : " (Inf)");
    double v = 0.0;
    if (e != 0 || significand != 0) v = std::ldexp(static_cast<double>(significand), e - 16446);
    if (word & 0x8000) v = -v;
    return text + Format(" (%.17g)", v);
}

void RunX87Test(std::vector<FpuTestRow>& rows, const char* id, const char* title, X87Kernel kernel, double a, double b,
                int count) {
    X87Value results[8] = {};
    uint16_t status = 0;
    kernel(a, b, results, &status);
    std::string text;
    for (int i = 0; i < count && i < 8; ++i) {
        if (i > 0) text += " | ";
        text += FormatX87Value(results[i]);
    }
    if (status & 0x0400) text += " [C2]";
    AddFpuRow(rows, id, "x87 80-bit", title, std::move(text), "vendor/uarch");
}

}  // namespace vorq
