#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectWindows(Snapshot&) {}

}  // namespace vorq
