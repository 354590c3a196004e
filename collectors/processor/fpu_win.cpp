#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectFpu(Snapshot&) {}

}  // namespace vorq
