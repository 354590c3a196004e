#include "collectors/trust/worker_pool.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace vorq {

namespace {
// A failure while recording a failure must not end a worker thread (and with
// it the process).
void Report(const PoolFailureFn& onFailure, size_t index, const char* what) noexcept {
    try {
        onFailure(index, what);
    } catch (...) {
    }
}
}  // namespace

void DrainWorkQueue(std::atomic<uint64_t>& next, size_t count, const PoolItemFn& item, const PoolFailureFn& onFailure) {
    for (;;) {
        const uint64_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= count) return;
        const size_t index = static_cast<size_t>(i);
        try {
            item(index);
        } catch (const std::exception& e) {
            Report(onFailure, index, e.what());
        } catch (...) {
            Report(onFailure, index, "unknown exception");
        }
    }
}

void RunOnThreads(unsigned threads, const std::function<void()>& body) {
    std::vector<std::thread> workers;
    try {
        workers.reserve(threads > 1 ? threads - 1 : 0);
        for (unsigned t = 1; t < threads; ++t) workers.emplace_back(body);
    } catch (...) {
        // Out of threads: the ones started and this one share the work.
    }
    body();
    for (std::thread& w : workers) w.join();
}

void RunWorkerPool(size_t count, unsigned threads, const PoolItemFn& item, const PoolFailureFn& onFailure) {
    std::atomic<uint64_t> next{0};
    const unsigned n = static_cast<unsigned>(std::min<size_t>(threads, count));
    RunOnThreads(n, [&] { DrainWorkQueue(next, count, item, onFailure); });
}

}  // namespace vorq
