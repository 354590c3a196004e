#include "core/fault_guard_win.h"

#include <malloc.h>

#include <cstdint>

// One process-wide unhandled-exception filter; a per-thread chain of armed
// frames in a TLS slot (TlsGetValue is safe inside the filter, unlike emulated
// thread_local, which may allocate). The filter, only for a thread with an
// armed frame, resumes the thread in a landing function that jumps back to
// the guard. A vectored handler for every fault would also take faults that
// system code handles itself and break C++ throws afterwards, so the one
// vectored handler takes stack overflows only.

namespace vorq {

namespace {

struct Frame {
    void* jump[5];
    Frame* prev;
    DWORD code;
    DWORD64 landingStack;  // where Landing runs: above every frame the fault abandons
};

struct SavedState {
    uint16_t x87Control;
    uint32_t mxcsr;
    GROUP_AFFINITY affinity;
    BOOL haveAffinity;
};

constexpr ULONG kOverflowGuarantee = 64 * 1024;

DWORD g_slot = TLS_OUT_OF_INDEXES;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;

Frame* ArmedFrame() { return g_slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<Frame*>(TlsGetValue(g_slot)); }

[[noreturn]] void Landing() {
    Frame* f = ArmedFrame();
    __builtin_longjmp(f->jump, 1);
}

// Resumes the thread in Landing, on the stack just below the guard's own
// frames: the faulting stack pointer may have no room left (a stack
// overflow), and nothing between the guard and the fault is used again.
LONG Land(Frame* f, EXCEPTION_POINTERS* info) {
    f->code = info->ExceptionRecord->ExceptionCode;
    info->ContextRecord->Rsp = f->landingStack;
    info->ContextRecord->Rip = reinterpret_cast<DWORD64>(&Landing);
    return EXCEPTION_CONTINUE_EXECUTION;
}

bool Landable(Frame* f, EXCEPTION_POINTERS* info) {
    return f && info && info->ExceptionRecord && info->ContextRecord &&
           !(info->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE);
}

LONG WINAPI Filter(EXCEPTION_POINTERS* info) {
    Frame* f = ArmedFrame();
    if (!Landable(f, info)) return g_previous ? g_previous(info) : EXCEPTION_CONTINUE_SEARCH;
    return Land(f, info);
}

// A stack overflow is taken first, before the search for handlers: that
// search and the unhandled-exception filter need more stack than the
// overflow leaves (under Wine the process ends on the way there). No code
// handles an overflow of its own, so taking it early changes nothing else.
LONG WINAPI OverflowHandler(EXCEPTION_POINTERS* info) {
    Frame* f = ArmedFrame();
    if (!Landable(f, info) || info->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW)
        return EXCEPTION_CONTINUE_SEARCH;
    return Land(f, info);
}

void InstallOnce() {
    static const bool installed = [] {
        g_slot = TlsAlloc();
        g_previous = SetUnhandledExceptionFilter(&Filter);
        AddVectoredExceptionHandler(1, &OverflowHandler);
        return true;
    }();
    (void)installed;
}

__attribute__((noinline)) void SaveState(SavedState* s) {
    __asm__ volatile("fnstcw %0" : "=m"(s->x87Control));
    __asm__ volatile("stmxcsr %0" : "=m"(s->mxcsr));
    s->haveAffinity = GetThreadGroupAffinity(GetCurrentThread(), &s->affinity);
}

__attribute__((noinline)) void RestoreState(const SavedState* s) {
    __asm__ volatile("fninit\n\tfldcw %0" : : "m"(s->x87Control));
    __asm__ volatile("ldmxcsr %0" : : "m"(s->mxcsr));
    if (s->haveAffinity) SetThreadGroupAffinity(GetCurrentThread(), &s->affinity, nullptr);
}

// Disarms on every way out of the callable but a fault (which the guard handles).
struct Armed {
    Frame* frame;
    ~Armed() { TlsSetValue(g_slot, frame->prev); }
};

__attribute__((noinline)) void CallArmed(void (*call)(void*), void* callable, Frame* frame) {
    // 16-byte aligned before the (absent) return address, below this frame.
    frame->landingStack = ((reinterpret_cast<DWORD64>(__builtin_frame_address(0)) - 64) & ~DWORD64{15}) - 8;
    TlsSetValue(g_slot, frame);
    Armed armed{frame};
    call(callable);
}

}  // namespace

FaultResult detail::RunFaultGuardedCall(void (*call)(void*), void* callable) {
    InstallOnce();
    if (g_slot == TLS_OUT_OF_INDEXES) {
        call(callable);  // no slot: run unguarded rather than not at all
        return {};
    }
    // Room the system keeps for dispatching a stack overflow (the default is
    // two pages, little beside the processor's extended state). Only ever
    // raised, per thread; Wine 8 does not use it.
    ULONG guarantee = kOverflowGuarantee;
    SetThreadStackGuarantee(&guarantee);
    Frame frame{};
    SavedState saved{};
    frame.prev = ArmedFrame();
    SaveState(&saved);
    if (__builtin_setjmp(frame.jump) == 0) {
        CallArmed(call, callable, &frame);
        return {};
    }
    TlsSetValue(g_slot, frame.prev);
    RestoreState(&saved);
    // The overflow used up the stack's guard page: without a new one the next
    // overflow on this thread ends the process.
    if (frame.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
    return FaultResult{true, frame.code};
}

}  // namespace vorq
