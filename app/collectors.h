// The program's collector table: every collector's entry point, in the order
// a scan runs them. Each collector declares its own entry point in its header;
// this is the one place that lists them all.
#pragma once

#include <array>

#include "core/driver.h"

namespace vorq {

// The collectors in dependency order, each with its progress weight.
extern const std::array<CollectorEntry, 17> kCollectorTable;

}  // namespace vorq
