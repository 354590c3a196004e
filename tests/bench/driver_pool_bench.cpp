// Speedup of the driver verification pool over one thread, with stand-in
// verifiers of a fixed cost per row: one keeps the processor busy (bounded by
// the free cores of the machine), one waits (bounded by the pool itself). The
// real catalog and WinTrust calls do both, for milliseconds per driver.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "collectors/trust/drivers.h"
#include "collectors/trust/worker_pool.h"

namespace {

constexpr size_t kRows = 1000;
constexpr auto kCost = std::chrono::microseconds(1000);

double RunMs(unsigned threads, std::vector<vorq::DriverRow>& rows, bool busy) {
    const auto start = std::chrono::steady_clock::now();
    vorq::RunWorkerPool(
        rows.size(), threads,
        [&](size_t i) {
            if (busy) {
                const auto until = std::chrono::steady_clock::now() + kCost;
                while (std::chrono::steady_clock::now() < until) {
                }
            } else {
                std::this_thread::sleep_for(kCost);
            }
            rows[i].signatureClass = "WHQL";
        },
        [](size_t, const std::string&) {});
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    const unsigned threads = vorq::DriverPoolThreads(std::thread::hardware_concurrency());
    std::vector<vorq::DriverRow> rows(kRows);
    for (bool busy : {true, false}) {
        const double one = RunMs(1, rows, busy);
        const double pool = RunMs(threads, rows, busy);
        std::printf("Driver pool, %zu rows of %lld us %s: 1 thread %.1f ms, %u threads %.1f ms, speedup %.2f (target %.2f)\n",
                    kRows, static_cast<long long>(kCost.count()), busy ? "busy" : "waiting", one, threads, pool,
                    one / pool, 0.8 * threads);
    }
    return 0;
}
