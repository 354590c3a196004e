// Turns a processor fault (access violation, integer division by zero, stack
// overflow, illegal instruction...) raised inside a callable into a result
// instead of the end of the process. GCC's catch (...) does not receive these
// here.
//
//   FaultResult r = RunFaultGuarded([&] { value = RiskyProbe(); });
//   if (r.faulted) status = Format("fault 0x%08lX", r.code);
//
// - Works on any thread; each call arms a frame for the calling thread only,
//   so worker threads guard their own work. Calls nest.
// - C++ exceptions pass through unchanged (catch them outside or inside).
// - Faults that code below the callable handles itself (system code with its
//   own handler) are left to it: only faults nobody handles come back here.
// - After a fault the frames between the fault and the guard are abandoned
//   without running destructors: keep owning objects outside the callable, or
//   accept the leak. The guard restores the x87 control word (and empties the
//   x87 register stack), MXCSR and the thread's affinity itself.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace vorq {

struct FaultResult {
    bool faulted = false;
    DWORD code = 0;  // the exception code when faulted, e.g. EXCEPTION_ACCESS_VIOLATION
};

namespace detail {
FaultResult RunFaultGuardedCall(void (*call)(void*), void* callable);
}

template <typename F>
FaultResult RunFaultGuarded(F&& f) {
    using Fn = std::remove_reference_t<F>;
    return detail::RunFaultGuardedCall([](void* p) { (*static_cast<Fn*>(p))(); },
                                       const_cast<void*>(static_cast<const void*>(std::addressof(f))));
}

}  // namespace vorq
