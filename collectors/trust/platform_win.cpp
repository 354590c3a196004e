#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectPlatform(Snapshot&) {}

}  // namespace vorq
