#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void CollectSmbios(Snapshot&) {}

}  // namespace vorq
