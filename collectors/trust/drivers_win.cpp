#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectDrivers(Snapshot&) {}

}  // namespace vorq
