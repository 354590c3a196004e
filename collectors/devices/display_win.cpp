#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectDisplay(Snapshot&) {}

}  // namespace vorq
