#include <windows.h>

#include <exception>

#include "core/driver.h"
#include "core/fault_guard_win.h"
#include "core/win.h"

namespace vorq {

uint64_t MonotonicNs() {
    LARGE_INTEGER count{}, frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return CounterToNs(static_cast<uint64_t>(count.QuadPart), static_cast<uint64_t>(frequency.QuadPart));
}

double ElapsedMs(uint64_t startNs) { return static_cast<double>(MonotonicNs() - startNs) / 1e6; }

bool RunGuarded(CollectFn collect, Snapshot& s, std::string& error) {
    try {
        if (RunFaultGuarded([&] { collect(s); }).faulted) {
            error = kUnexpectedException;
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = kUnexpectedException;
    }
    return false;
}

void RunCollectorTable(std::span<const CollectorEntry> table, CollectFn score, Snapshot& s,
                       const ProgressCallback& progress) {
    const uint64_t start = MonotonicNs();
    s.created = NowIso8601();
    s.elevated = IsElevated();
    int32_t total = 0;
    for (const CollectorEntry& e : table) total += e.weight;
    int32_t done = 0;
    for (const CollectorEntry& e : table) {
        if (progress) progress(e.name, total ? done * 100 / total : 0);
        std::string error;
        const uint64_t t0 = MonotonicNs();
        const bool ok = RunGuarded(e.collect, s, error);
        const uint64_t t1 = MonotonicNs();
        s.collectors.push_back(CollectorRun{e.name, static_cast<double>(t1 - t0) / 1e6, ok ? "ok" : "error", error});
        done += e.weight;
    }
    std::string error;
    if (!RunGuarded(score, s, error)) AddFailureNote(s, "Scoring", error);
    s.durationMs = ElapsedMs(start);
    if (progress) progress("Done", 100);
}

}  // namespace vorq
