// The collection driver: one scan runs the seventeen collectors of the
// collector table in order over one Snapshot, each timed and guarded, then the
// scoring stage. The caller has entered COM (multithreaded) on its thread.
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

// The program's own collector table and scoring stage (defined beside the
// table, in app/).
void RunCollectors(Snapshot& s, const ProgressCallback& progress);
// The same over another table and scoring stage.
void RunCollectorTable(std::span<const CollectorEntry> table, CollectFn score, Snapshot& s,
                       const ProgressCallback& progress);

}  // namespace vorq
