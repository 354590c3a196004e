// Pieces shared by the floating-point fingerprint: its rows, the capability
// flags that decide which rows run, value barriers and the MXCSR scope.
// x86-64 only; no platform headers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vorq {

struct FpuCapabilities {
    bool sse41 = false;
    bool avx = false;
    bool fma3 = false;
    bool fma4 = false;
    bool avx512f = false;
};

struct FpuTestRow {
    std::string id;
    std::string group;
    std::string test;
    std::string bits;
    std::string cls;
};

inline void AddFpuRow(std::vector<FpuTestRow>& rows, const char* id, const char* group, std::string test,
                      std::string bits, const char* cls) {
    rows.push_back(FpuTestRow{id, group, std::move(test), std::move(bits), cls});
}

// Identity functions that are never inlined and pass the value through
// memory, so no operand of a probe is known when the program is built and
// every named instruction really runs, in the MXCSR state of its scope.
uint32_t OpaqueU32(uint32_t v);
float OpaqueFloat(float v);
double OpaqueDouble(double v);
int64_t OpaqueI64(int64_t v);

inline float FloatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
inline double DoubleFromBits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}
inline uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}
inline uint64_t DoubleBits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
}

// "%08X" of a float's pattern and "%016llX" of a double's.
std::string FormatFloatBits(float f);
std::string FormatDoubleBits(double d);

uint32_t ReadMxcsr();
void WriteMxcsr(uint32_t value);
uint16_t ReadX87ControlWord();

// Loads an MXCSR value for one scope and puts the previous one back when the
// scope ends, also when an exception passes.
class MxcsrScope {
public:
    explicit MxcsrScope(uint32_t value) : saved_(ReadMxcsr()) { WriteMxcsr(value); }
    ~MxcsrScope() { WriteMxcsr(saved_); }
    MxcsrScope(const MxcsrScope&) = delete;
    MxcsrScope& operator=(const MxcsrScope&) = delete;

private:
    uint32_t saved_;
};

// Every exception masked: nearest, down, up, toward zero; FTZ; DAZ; both.
constexpr uint32_t kMxcsrNearest = 0x1F80;
constexpr uint32_t kMxcsrDown = 0x3F80;
constexpr uint32_t kMxcsrUp = 0x5F80;
constexpr uint32_t kMxcsrTowardZero = 0x7F80;
constexpr uint32_t kMxcsrFtz = 0x9F80;
constexpr uint32_t kMxcsrDaz = 0x1FC0;
constexpr uint32_t kMxcsrFtzDaz = 0x9FC0;

}  // namespace vorq
