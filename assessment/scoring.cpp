#include "core/collectors.h"

namespace vorq {

// Not collected yet.
void ScoreSnapshot(Snapshot&) {}

}  // namespace vorq
