#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectUefi(Snapshot&) {}

}  // namespace vorq
