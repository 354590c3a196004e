#include "collectors/processor/fpu_common.h"

#include "core/text.h"

namespace vorq {

__attribute__((noinline)) uint32_t OpaqueU32(uint32_t v) {
    volatile uint32_t slot = v;
    return slot;
}

__attribute__((noinline)) float OpaqueFloat(float v) {
    volatile float slot = v;
    return slot;
}

__attribute__((noinline)) double OpaqueDouble(double v) {
    volatile double slot = v;
    return slot;
}

__attribute__((noinline)) int64_t OpaqueI64(int64_t v) {
    volatile int64_t slot = v;
    return slot;
}

std::string FormatFloatBits(float f) { return Format("%08X", FloatBits(f)); }

std::string FormatDoubleBits(double d) { return Format("%016llX", static_cast<unsigned long long>(DoubleBits(d))); }

// Written as volatile statements with a memory clobber so the compiler keeps
// every floating-point operation on its side of the change.
uint32_t ReadMxcsr() {
    uint32_t v;
    asm volatile("stmxcsr %0" : "=m"(v) : : "memory");
    return v;
}

void WriteMxcsr(uint32_t value) { asm volatile("ldmxcsr %0" : : "m"(value) : "memory"); }

uint16_t ReadX87ControlWord() {
    uint16_t v;
    asm volatile("fnstcw %0" : "=m"(v) : : "memory");
    return v;
}

}  // namespace vorq
