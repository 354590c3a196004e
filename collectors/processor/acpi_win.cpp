#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectAcpi(Snapshot&) {}

}  // namespace vorq
