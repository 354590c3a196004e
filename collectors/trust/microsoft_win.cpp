#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectMicrosoft(Snapshot&) {}

}  // namespace vorq
