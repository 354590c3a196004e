#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectDevices(Snapshot&) {}

}  // namespace vorq
