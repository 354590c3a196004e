#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectCpu(Snapshot&) {}

}  // namespace vorq
