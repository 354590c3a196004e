#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectStorage(Snapshot&) {}

}  // namespace vorq
