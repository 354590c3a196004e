#include "core/driver.h"

namespace vorq {

uint64_t CounterToNs(uint64_t count, uint64_t frequency) {
    constexpr uint64_t kNsPerSecond = 1000000000;
    if (frequency == 0) return 0;
    if (frequency == 10000000) return count * 100;
    return count / frequency * kNsPerSecond + count % frequency * kNsPerSecond / frequency;
}

}  // namespace vorq
