#include "core/fault_guard_win.h"

#include <cstdint>

// One process-wide unhandled-exception filter; a per-thread chain of armed
// frames in a TLS slot (TlsGetValue is safe inside the filter, unlike emulated
// thread_local, which may allocate). The filter, only for a thread with an
// armed frame, resumes the thread in a landing function that jumps back to
// the guard. A vectored handler would also take faults that system code
// handles itself and break C++ throws afterwards.

namespace vorq {

namespace {

struct Frame {
    void* jump[5];
    Frame* prev;
    DWORD code;
};

struct SavedState {
    uint16_t x87Control;
    uint32_t mxcsr;
    GROUP_AFFINITY affinity;
    BOOL haveAffinity;
};

DWORD g_slot = TLS_OUT_OF_INDEXES;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;

Frame* ArmedFrame() { return g_slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<Frame*>(TlsGetValue(g_slot)); }

[[noreturn]] void Landing() {
    Frame* f = ArmedFrame();
    __builtin_longjmp(f->jump, 1);
}

LONG WINAPI Filter(EXCEPTION_POINTERS* info) {
    Frame* f = ArmedFrame();
    if (!f || !info || !info->ExceptionRecord || !info->ContextRecord ||
        (info->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
        return g_previous ? g_previous(info) : EXCEPTION_CONTINUE_SEARCH;
    f->code = info->ExceptionRecord->ExceptionCode;
    CONTEXT* c = info->ContextRecord;
    // Enter Landing as if called: below the faulting frame, 16-byte aligned
    // before the (absent) return address.
    c->Rsp = ((c->Rsp - 256) & ~static_cast<DWORD64>(15)) - 8;
    c->Rip = reinterpret_cast<DWORD64>(&Landing);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void InstallOnce() {
    static const bool installed = [] {
        g_slot = TlsAlloc();
        g_previous = SetUnhandledExceptionFilter(&Filter);
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
    return FaultResult{true, frame.code};
}

}  // namespace vorq
