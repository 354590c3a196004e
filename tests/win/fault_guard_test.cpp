#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "core/fault_guard_win.h"

namespace vorq {
namespace {

void AccessViolation() {
    volatile int* volatile p = nullptr;
    *p = 1;
}
void DivideByZero() {
    volatile int seven = 7, zero = 0;  // both volatile: 1 / x compiles to a compare
    volatile int r = seven / zero;
    (void)r;
}
void IllegalInstruction() { __asm__ volatile("ud2"); }

TEST(FaultGuard, FaultsBecomeResultsWithTheirCode) {
    struct Case {
        const char* name;
        void (*fn)();
        bool faulted;
        DWORD code;
    } cases[] = {
        {"normal return", [] {}, false, 0},
        {"access violation", &AccessViolation, true, EXCEPTION_ACCESS_VIOLATION},
        {"integer division by zero", &DivideByZero, true, EXCEPTION_INT_DIVIDE_BY_ZERO},
        {"illegal instruction", &IllegalInstruction, true, EXCEPTION_ILLEGAL_INSTRUCTION},
    };
    for (const Case& c : cases) {
        int after = 0;
        FaultResult r = RunFaultGuarded([&] {
            c.fn();
            after = 1;
        });
        EXPECT_EQ(r.faulted, c.faulted) << c.name;
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(after, c.faulted ? 0 : 1) << c.name;
    }
}

TEST(FaultGuard, CppExceptionsPassThroughAndTheGuardStaysUsable) {
    EXPECT_THROW(RunFaultGuarded([] { throw std::runtime_error("x"); }), std::runtime_error);
    EXPECT_TRUE(RunFaultGuarded(&AccessViolation).faulted);
    bool caughtInside = false;
    FaultResult r = RunFaultGuarded([&] {
        try {
            throw 7;
        } catch (int) {
            caughtInside = true;
        }
    });
    EXPECT_TRUE(caughtInside);
    EXPECT_FALSE(r.faulted);
}

TEST(FaultGuard, NestedGuardsEachTakeTheirOwnFault) {
    FaultResult inner;
    bool outerWentOn = false;
    FaultResult outer = RunFaultGuarded([&] {
        inner = RunFaultGuarded(&DivideByZero);
        outerWentOn = true;
        AccessViolation();
    });
    EXPECT_EQ(inner.code, static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO));
    EXPECT_TRUE(outerWentOn);
    EXPECT_EQ(outer.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(FaultGuard, FaultsHandledBySystemCodeAreLeftToIt) {
    FaultResult r = RunFaultGuarded([] {
        // Probes the address under its own handler.
        EXPECT_TRUE(IsBadReadPtr(reinterpret_cast<const void*>(16), 4));
    });
    EXPECT_FALSE(r.faulted);
}

TEST(FaultGuard, RestoresFloatingPointControlAndAffinity) {
    uint16_t cw0 = 0, cw1 = 0;
    uint32_t mx0 = 0, mx1 = 0;
    GROUP_AFFINITY aff0{}, aff1{};
    __asm__ volatile("fnstcw %0" : "=m"(cw0));
    __asm__ volatile("stmxcsr %0" : "=m"(mx0));
    ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &aff0));
    FaultResult r = RunFaultGuarded([] {
        uint16_t cw = 0x0C7F;      // round toward zero, single precision
        uint32_t mx = 0x7F80;      // round toward zero, all exceptions masked
        __asm__ volatile("fldcw %0" : : "m"(cw));
        __asm__ volatile("ldmxcsr %0" : : "m"(mx));
        __asm__ volatile("fld1\n\tfld1" ::: "st", "st(1)");  // left on the x87 stack
        SetThreadAffinityMask(GetCurrentThread(), 1);
        AccessViolation();
    });
    ASSERT_TRUE(r.faulted);
    __asm__ volatile("fnstcw %0" : "=m"(cw1));
    __asm__ volatile("stmxcsr %0" : "=m"(mx1));
    ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &aff1));
    EXPECT_EQ(cw1, cw0);
    EXPECT_EQ(mx1, mx0);
    EXPECT_EQ(aff1.Mask, aff0.Mask);
    volatile double one = 1.0, three = 3.0;
    EXPECT_EQ(one / three, 1.0 / 3.0);  // x87 and SSE arithmetic as before
    uint16_t status = 0;
    __asm__ volatile("fnstsw %0" : "=m"(status));
    EXPECT_EQ((status >> 11) & 7, 0) << "x87 stack emptied";
}

TEST(FaultGuard, WorkerThreadsGuardTheirOwnWork) {
    FaultResult results[4];
    std::thread workers[4];
    for (int i = 0; i < 4; ++i)
        workers[i] = std::thread([&results, i] { results[i] = RunFaultGuarded(i % 2 ? &DivideByZero : &AccessViolation); });
    for (std::thread& t : workers) t.join();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(results[i].code, static_cast<DWORD>(i % 2 ? EXCEPTION_INT_DIVIDE_BY_ZERO : EXCEPTION_ACCESS_VIOLATION));
}

}  // namespace
}  // namespace vorq
