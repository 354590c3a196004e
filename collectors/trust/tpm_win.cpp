#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectTpm(Snapshot&) {}

}  // namespace vorq
