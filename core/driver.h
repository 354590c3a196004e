// The collection driver: one scan runs the collectors of a collector table in
// order over one Snapshot, each timed and guarded, then the scoring stage. The caller has entered COM (multithreaded) on its thread.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/snapshot.h"

namespace vorq {

using CollectFn = void (*)(Snapshot&);

struct CollectorEntry {
    const char* name;  // also the progress stage text and the run's name
    CollectFn collect;
    int32_t weight;    // share of the progress bar
};

// Stage text and percentage; may be empty.
using ProgressCallback = std::function<void(const std::string& stage, int pct)>;

inline constexpr char kUnexpectedException[] =
    "unexpected exception (structured exception or unknown C++ exception)";

// Nanoseconds of a performance-counter reading, without an intermediate
// product that could overflow; 0 for a zero frequency.
uint64_t CounterToNs(uint64_t count, uint64_t frequency);

// Windows build only below.
uint64_t MonotonicNs();
double ElapsedMs(uint64_t startNs);

// True when collect(s) returned normally; otherwise false with `error` set
// (the exception's message, or kUnexpectedException for any other throw or a
// processor fault). `error` is not touched on success.
bool RunGuarded(CollectFn collect, Snapshot& s, std::string& error);

// One whole scan over a Snapshot. The program's own (its collector table and
// scoring stage) is assembled in app/ and handed down to the command line and
// the window, which know no collector.
using ScanFn = std::function<void(Snapshot& s, const ProgressCallback& progress)>;

// Runs `table` in order, then `score`: the body of a scan.
void RunCollectorTable(std::span<const CollectorEntry> table, CollectFn score, Snapshot& s,
                       const ProgressCallback& progress);

}  // namespace vorq
