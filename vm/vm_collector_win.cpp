#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectVm(Snapshot&) {}

}  // namespace vorq
