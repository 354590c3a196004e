#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectNetwork(Snapshot&) {}

}  // namespace vorq
