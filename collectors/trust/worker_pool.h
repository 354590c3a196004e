// A fixed set of threads draining one shared index: every item is taken by
// exactly one worker, and every worker is joined before the call returns.
// Platform-free.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vorq {

using PoolItemFn = std::function<void(size_t index)>;
// Told about an item whose work threw; the text is the exception's.
using PoolFailureFn = std::function<void(size_t index, const std::string& what)>;

// One worker's loop: take the next index until it passes `count`. An exception
// from an item goes to `onFailure` and the loop goes on.
void DrainWorkQueue(std::atomic<uint64_t>& next, size_t count, const PoolItemFn& item, const PoolFailureFn& onFailure);

// Runs `body` on `threads` threads (at least one; the calling thread is one of
// them) and joins them before returning. A thread that cannot be started is
// left out; the bodies draining a shared queue do its share.
void RunOnThreads(unsigned threads, const std::function<void()>& body);

// DrainWorkQueue over a fresh index on up to `threads` threads.
void RunWorkerPool(size_t count, unsigned threads, const PoolItemFn& item, const PoolFailureFn& onFailure);

}  // namespace vorq
