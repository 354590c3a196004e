#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectCrossChecks(Snapshot&) {}

}  // namespace vorq
