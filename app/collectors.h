// The program's collector table: every collector's entry point, in the order
// a scan runs them, and the scan built on it. Each collector declares its own entry point in its header;
// this is the one place that lists them all.
#pragma once

#include <array>

#include "core/driver.h"

namespace vorq {

// The collectors in dependency order, each with its progress weight.
extern const std::array<CollectorEntry, 17> kCollectorTable;
// The program's scan: the table, then the scoring stage. The entry hands it
// to the command line and the window.
void RunCollectors(Snapshot& s, const ProgressCallback& progress);

}  // namespace vorq
