#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectBattery(Snapshot&) {}

}  // namespace vorq
